// Raw deflate streams walked block by block, reopened and joined: whatever
// libdeflate or zlib wrote, at every level, the joined fragments must inflate
// (with zlib) to the joined inputs; damaged or cut streams must be refused.
// Also the block compressor that chooses between the two libraries.

#include "RawDeflate.h"
#include "TestTools.h"
#include "codecs/deflate/BlockCompressor.h"
#include "codecs/deflate/DeflateScan.h"

#include <QRandomGenerator>
#include <QtTest>
#include <libdeflate.h>
#include <zlib.h>

#include <vector>

using namespace testtools;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes bytesOf(const QByteArray& b) { return Bytes(b.begin(), b.end()); }

Bytes libdeflateOf(const Bytes& in, int level)
{
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    Bytes out(libdeflate_deflate_compress_bound(c, in.size()));
    out.resize(libdeflate_deflate_compress(c, in.data(), in.size(), out.data(), out.size()));
    libdeflate_free_compressor(c);
    return out;
}

Bytes zlibOf(const Bytes& in, int level, int strategy)
{
    z_stream zs{};
    deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, strategy);
    Bytes out(deflateBound(&zs, uLong(in.size())) + 16);
    zs.next_in = const_cast<uint8_t*>(in.data());
    zs.avail_in = uInt(in.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    const int r = deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return r == Z_STREAM_END ? out : Bytes();
}

// Short repeats of a few words in no order, with stray bytes: text libdeflate
// does worse on than zlib.
Bytes wordSoup(size_t size, quint32 seed) { return bytesOf(sampleData(int(size), seed)); }
Bytes noise(size_t size, quint32 seed) { return bytesOf(randomData(int(size), seed)); }
Bytes runs(size_t size, quint32 seed)
{
    QRandomGenerator rng(seed);
    Bytes out;
    while (out.size() < size)
        out.insert(out.end(), 1 + rng.bounded(300), uint8_t(rng.bounded(4)));
    out.resize(size);
    return out;
}
// Real-looking text: lines of a program, numbered.
Bytes lines(size_t size, quint32 seed)
{
    QRandomGenerator rng(seed);
    static const char* parts[] = {"    int ", "return ", "if (n > ", "for (size_t i = 0; i < ", "std::vector<uint8_t> ",
                                  "// the block ", "out.push_back(", "}\n", "{\n", ");\n"};
    Bytes out;
    while (out.size() < size) {
        const QByteArray l = QByteArray(parts[rng.bounded(10)]) + QByteArray::number(rng.bounded(100000)) + ";\n";
        out.insert(out.end(), l.begin(), l.end());
    }
    out.resize(size);
    return out;
}

Bytes kindOf(int kind, size_t size, quint32 seed)
{
    switch (kind % 4) {
    case 0: return wordSoup(size, seed);
    case 1: return noise(size, seed);
    case 2: return runs(size, seed);
    default: return lines(size, seed);
    }
}

// Compresses each piece on its own with `compress`, reopens all but the last
// and joins them; checks the join inflates to the joined pieces.
template <typename F>
void checkJoin(const std::vector<Bytes>& pieces, F compress, const QByteArray& what)
{
    Bytes joined, expected;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const size_t at = joined.size();
        const Bytes c = compress(pieces[i]);
        QVERIFY2(!c.empty(), what.constData());
        joined.insert(joined.end(), c.begin(), c.end());
        expected.insert(expected.end(), pieces[i].begin(), pieces[i].end());
        if (i + 1 < pieces.size()) {
            QVERIFY2(qdeflate::openFinalBlock(joined, at), what.constData());
            // Ends as a sync flush does.
            QVERIFY(joined.size() >= at + 4);
            QCOMPARE(Bytes(joined.end() - 4, joined.end()), Bytes({0x00, 0x00, 0xff, 0xff}));
        }
    }
    Bytes back;
    QVERIFY2(inflateRaw(joined, back), what.constData());
    QVERIFY2(back == expected, what.constData());
}

} // namespace

class TestDeflateScan : public QObject {
    Q_OBJECT

private slots:
    void endOfStream_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("size");
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("one byte") << 1 << 1;
        QTest::newRow("word soup") << 0 << 150000;
        QTest::newRow("incompressible") << 1 << 100000;
        QTest::newRow("runs") << 2 << 150000;
        QTest::newRow("program text") << 3 << 200000;
    }
    void endOfStream()
    {
        // The end found is the stream's: within its last byte, for either
        // library's output, at every level and strategy.
        QFETCH(int, kind);
        QFETCH(int, size);
        const Bytes in = kindOf(kind, size_t(size), 7);
        auto check = [](const Bytes& c, const char* what) {
            qdeflate::StreamEnd end;
            QVERIFY2(qdeflate::scanStream(c.data(), c.size(), end), what);
            QCOMPARE((end.endBit + 7) / 8, uint64_t(c.size()));
            QVERIFY(end.finalHeaderBit < end.endBit);
            // The final block's BFINAL bit is set.
            QVERIFY((c[end.finalHeaderBit / 8] >> (end.finalHeaderBit % 8)) & 1);
        };
        for (int level = 0; level <= 12; ++level)
            check(libdeflateOf(in, level), qPrintable(QStringLiteral("libdeflate %1").arg(level)));
        for (int level = 0; level <= 9; ++level)
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED})
                check(zlibOf(in, level, strategy), qPrintable(QStringLiteral("zlib %1/%2").arg(level).arg(strategy)));
    }

    void joinsAtEveryLevel()
    {
        // Random, text, incompressible and empty pieces, in mixed order.
        const std::vector<Bytes> pieces{wordSoup(200000, 1), Bytes(), noise(70000, 2), lines(300000, 3),
                                        runs(90000, 4), Bytes{'x'}, wordSoup(5, 5), noise(40, 6), lines(123457, 7)};
        for (int level = 0; level <= 12; ++level)
            checkJoin(pieces, [&](const Bytes& p) { return libdeflateOf(p, level); },
                      "libdeflate level " + QByteArray::number(level));
        for (int level = 0; level <= 9; ++level)
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED, Z_HUFFMAN_ONLY})
                checkJoin(pieces, [&](const Bytes& p) { return zlibOf(p, level, strategy); },
                          "zlib level " + QByteArray::number(level) + " strategy " + QByteArray::number(strategy));
        // Joined after a zlib sync flush, and a zlib stream after a reopened one.
        std::vector<Bytes> two{lines(100000, 8), wordSoup(100000, 9)};
        Bytes joined = libdeflateOf(two[0], 6);
        QVERIFY(qdeflate::openFinalBlock(joined, 0));
        const Bytes tail = zlibOf(two[1], 6, Z_DEFAULT_STRATEGY);
        joined.insert(joined.end(), tail.begin(), tail.end());
        Bytes back, expected = two[0];
        expected.insert(expected.end(), two[1].begin(), two[1].end());
        QVERIFY(inflateRaw(joined, back));
        QVERIFY(back == expected);
    }

    void manyRandomJoins()
    {
        // Many random inputs of every kind and size, cut in random pieces at
        // random levels: every join inflates back.
        QRandomGenerator rng(20261209);
        for (int round = 0; round < 300; ++round) {
            std::vector<Bytes> pieces(1 + rng.bounded(5));
            for (Bytes& p : pieces) {
                const size_t size = rng.bounded(4) == 0 ? rng.bounded(64) : rng.bounded(60000);
                p = kindOf(int(rng.bounded(4)), size, rng.generate());
                // Mixed kinds within one piece, too.
                if (rng.bounded(3) == 0) {
                    const Bytes more = kindOf(int(rng.bounded(4)), rng.bounded(30000), rng.generate());
                    p.insert(p.begin() + qsizetype(rng.bounded(quint32(p.size() + 1))), more.begin(), more.end());
                }
            }
            const int level = int(rng.bounded(13));
            checkJoin(pieces, [&](const Bytes& p) { return libdeflateOf(p, level); },
                      "round " + QByteArray::number(round) + " level " + QByteArray::number(level));
            if (QTest::currentTestFailed())
                return;
        }
    }

    void refusesDamage()
    {
        // A stream cut anywhere before its end is refused; so are reserved
        // block types, a stored block's bad length check and codes that are
        // over-subscribed; random bytes never crash the walk.
        const Bytes whole = libdeflateOf(lines(20000, 11), 6);
        qdeflate::StreamEnd end;
        QVERIFY(qdeflate::scanStream(whole.data(), whole.size(), end));
        const size_t needed = size_t((end.endBit + 7) / 8);
        for (size_t n = 0; n < needed; ++n)
            QVERIFY2(!qdeflate::scanStream(whole.data(), n, end), qPrintable(QString::number(n)));
        Bytes cut(whole.begin(), whole.begin() + qsizetype(needed / 2));
        const Bytes before = cut;
        QVERIFY(!qdeflate::openFinalBlock(cut, 0));
        QVERIFY(cut == before);

        const Bytes reserved{0x07, 0x00};
        QVERIFY(!qdeflate::scanStream(reserved.data(), reserved.size(), end));
        const Bytes badStored{0x01, 0x05, 0x00, 0xfa, 0xfe, 1, 2, 3, 4, 5};
        QVERIFY(!qdeflate::scanStream(badStored.data(), badStored.size(), end));
        const Bytes goodStored{0x01, 0x05, 0x00, 0xfa, 0xff, 1, 2, 3, 4, 5};
        QVERIFY(qdeflate::scanStream(goodStored.data(), goodStored.size(), end));
        QCOMPARE(end.endBit, uint64_t(80));
        // A dynamic block whose code-length code gives three symbols one bit,
        // and one that gives a single symbol two bits.
        const Bytes incomplete{0x05, 0x00, 0x04, 0x00, 0x00};
        QVERIFY(!qdeflate::scanStream(incomplete.data(), incomplete.size(), end));
        const Bytes oversubscribed{0x05, 0x00, 0x92, 0x00, 0x00};
        QVERIFY(!qdeflate::scanStream(oversubscribed.data(), oversubscribed.size(), end));

        // Random bytes and bit flips: the walk agrees with zlib whenever it
        // accepts (zlib may refuse more: distances are not checked here).
        QRandomGenerator rng(99);
        for (int round = 0; round < 3000; ++round) {
            Bytes b;
            if (round % 2 == 0) {
                b = noise(1 + rng.bounded(200), rng.generate());
            } else {
                b = whole;
                for (int flips = 1 + int(rng.bounded(3)); flips > 0; --flips)
                    b[rng.bounded(quint32(b.size()))] ^= uint8_t(1u << rng.bounded(8));
            }
            if (qdeflate::scanStream(b.data(), b.size(), end)) {
                QVERIFY(end.endBit <= uint64_t(b.size()) * 8);
                Bytes trimmed(b.begin(), b.begin() + qsizetype((end.endBit + 7) / 8));
                z_stream zs{};
                inflateInit2(&zs, -MAX_WBITS);
                zs.next_in = trimmed.data();
                zs.avail_in = uInt(trimmed.size());
                uint8_t out[65536];
                int r = Z_OK;
                while (r == Z_OK) {
                    zs.next_out = out;
                    zs.avail_out = sizeof out;
                    r = inflate(&zs, Z_NO_FLUSH);
                }
                inflateEnd(&zs);
                // zlib either ends the stream where the walk did, or finds a
                // distance too far back; never a structure the walk missed.
                QVERIFY2(r == Z_STREAM_END ? zs.avail_in == 0 : zs.msg && QByteArray(zs.msg) == "invalid distance too far back",
                         zs.msg ? zs.msg : "no message");
            }
        }
    }

    void compressorChoosesPerBlock()
    {
        // Blocks chained as the parallel writers chain them: each with the
        // 32 KiB before it as its dictionary, the last one finishing the
        // stream. Each library takes some of the blocks (zlib the short last
        // one), and the whole inflates back, at every level and with zlib's
        // strategies.
        const size_t block = qdeflate::BlockCompressor::MinChoiceSize * 2;
        Bytes in = wordSoup(block * 2, 1);
        for (const Bytes& more : {noise(block, 2), lines(block * 2, 3), runs(block, 4), wordSoup(block / 3, 5)})
            in.insert(in.end(), more.begin(), more.end());
        for (int level = 0; level <= 9; ++level) {
            for (int strategy : {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY}) {
                if (strategy != Z_DEFAULT_STRATEGY && level != 1 && level != 6)
                    continue;
                qdeflate::BlockCompressor c(level, strategy);
                Bytes out;
                for (size_t at = 0; at < in.size(); at += block) {
                    const size_t n = std::min(block, in.size() - at);
                    const size_t dict = std::min(at, qdeflate::BlockCompressor::Window);
                    QVERIFY(c.compress(in.data() + at - dict, dict, in.data() + at, n, at + n == in.size(), out));
                }
                Bytes back;
                QVERIFY2(inflateRaw(out, back), qPrintable(QStringLiteral("level %1 strategy %2").arg(level).arg(strategy)));
                QVERIFY(back == in);
                const size_t blocks = (in.size() + block - 1) / block;
                QCOMPARE(c.zlibBlocks() + c.libdeflateBlocks(), blocks);
                if (level == 0 || strategy != Z_DEFAULT_STRATEGY) {
                    QCOMPARE(c.libdeflateBlocks(), size_t(0));
                } else {
                    QVERIFY2(c.libdeflateBlocks() >= 1, qPrintable(QString::number(level)));
                    QVERIFY(c.zlibBlocks() >= 1);
                }
                // Not larger than zlib alone on the same blocks, give or take
                // the dictionary libdeflate goes without.
                if (strategy == Z_DEFAULT_STRATEGY && level > 0) {
                    const Bytes z = zlibOf(in, level, Z_DEFAULT_STRATEGY);
                    QVERIFY2(out.size() <= z.size() + z.size() / 200,
                             qPrintable(QStringLiteral("level %1: %2 against %3").arg(level).arg(out.size()).arg(z.size())));
                }
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDeflateScan)
#include "test_deflatescan.moc"
