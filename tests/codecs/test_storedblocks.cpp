// Data that deflate cannot shrink is told apart and written as stored blocks:
// the test must say yes to random bytes only, and no wherever a compressor
// would gain (uneven byte values, even when even on the whole; repeats,
// within the data or from the dictionary); stored blocks, joined with
// compressed ones either side, must inflate back to the input.

#include "RawDeflate.h"
#include "TestTools.h"
#include "codecs/deflate/BlockCompressor.h"
#include "codecs/deflate/StoredBlocks.h"

#include <QtTest>
#include <zlib.h>

#include <vector>

using namespace testtools;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes noise(size_t size, quint32 seed)
{
    const QByteArray b = randomData(int(size), seed);
    return Bytes(b.begin(), b.end());
}

Bytes text(size_t size, quint32 seed)
{
    const QByteArray b = sampleData(int(size), seed);
    return Bytes(b.begin(), b.end());
}

// The size zlib makes of `in` at level 9, primed with `dict`.
size_t zlibSize(const Bytes& dict, const Bytes& in)
{
    z_stream zs{};
    deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    if (!dict.empty())
        deflateSetDictionary(&zs, dict.data(), uInt(dict.size()));
    Bytes out(deflateBound(&zs, uLong(in.size())) + 64);
    zs.next_in = const_cast<uint8_t*>(in.data());
    zs.avail_in = uInt(in.size());
    zs.next_out = out.data();
    zs.avail_out = uInt(out.size());
    deflate(&zs, Z_FINISH);
    const size_t n = zs.total_out;
    deflateEnd(&zs);
    return n;
}

} // namespace

class TestStoredBlocks : public QObject {
    Q_OBJECT

private slots:
    void tellsIncompressible_data()
    {
        QTest::addColumn<QByteArray>("dict");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("stored");
        auto qb = [](const Bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())); };
        const size_t n = 1 << 20;
        QTest::newRow("noise") << QByteArray() << qb(noise(n, 1)) << true;
        QTest::newRow("noise after noise") << qb(noise(32768, 2)) << qb(noise(n, 3)) << true;
        QTest::newRow("shortest tested") << QByteArray() << qb(noise(qdeflate::MinStoredTest, 4)) << true;
        QTest::newRow("too short to test") << QByteArray() << qb(noise(qdeflate::MinStoredTest - 1, 5)) << false;
        QTest::newRow("text") << QByteArray() << qb(text(n, 6)) << false;
        QTest::newRow("noise then text") << QByteArray() << qb(noise(n, 7)) + qb(text(40000, 8)) << false;
        // Even over the whole, uneven in each part: a Huffman code per block gains.
        Bytes halves = noise(n, 9);
        for (size_t i = 0; i < halves.size(); ++i)
            halves[i] = uint8_t(i < n / 2 ? halves[i] & 0x7f : halves[i] | 0x80);
        QTest::newRow("even only on the whole") << QByteArray() << qb(halves) << false;
        // Random bytes that repeat within the window.
        Bytes period = noise(20000, 10), repeated;
        while (repeated.size() < n)
            repeated.insert(repeated.end(), period.begin(), period.end());
        QTest::newRow("repeated noise") << QByteArray() << qb(repeated) << false;
        // The first 24 KiB repeat the dictionary, and nothing else does.
        const Bytes dict = noise(32768, 11);
        Bytes echo(dict.begin() + 8192, dict.end());
        const Bytes rest = noise(n, 12);
        echo.insert(echo.end(), rest.begin(), rest.end());
        QTest::newRow("repeats the dictionary") << qb(dict) << qb(echo) << false;
    }

    void tellsIncompressible()
    {
        QFETCH(QByteArray, dict);
        QFETCH(QByteArray, data);
        QFETCH(bool, stored);
        const auto* d = reinterpret_cast<const uint8_t*>(dict.constData());
        const auto* p = reinterpret_cast<const uint8_t*>(data.constData());
        QCOMPARE(qdeflate::incompressible(d, size_t(dict.size()), p, size_t(data.size())), stored);
        // Where it says so, zlib at its best gains nothing worth a compressor's time.
        if (stored) {
            const Bytes in(p, p + data.size());
            QVERIFY(zlibSize(Bytes(d, d + dict.size()), in) * 1000 > in.size() * 999);
        }
    }

    void storedBlocksJoin()
    {
        // Stored blocks of every awkward length between compressed ones, as
        // the parallel writers chain them; the last one stored or compressed.
        for (const size_t size : {size_t(0), size_t(1), size_t(65535), size_t(65536), size_t(3 * 65535 + 7)}) {
            for (const bool storedLast : {false, true}) {
                const Bytes a = text(300000, 20), b = noise(size, 21), c = text(5000, 22);
                Bytes in = a, out;
                in.insert(in.end(), b.begin(), b.end());
                qdeflate::BlockCompressor z(6);
                QVERIFY(z.compress(nullptr, 0, a.data(), a.size(), false, out));
                qdeflate::appendStored(b.data(), b.size(), storedLast, out);
                if (!storedLast) {
                    QVERIFY(z.compress(in.data() + in.size() - std::min<size_t>(in.size(), 32768),
                                       std::min<size_t>(in.size(), 32768), c.data(), c.size(), true, out));
                    in.insert(in.end(), c.begin(), c.end());
                }
                Bytes back;
                const QByteArray what = QByteArray::number(qulonglong(size)) + (storedLast ? " last" : " between");
                QVERIFY2(inflateRaw(out, back), what.constData());
                QVERIFY2(back == in, what.constData());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestStoredBlocks)
#include "test_storedblocks.moc"
