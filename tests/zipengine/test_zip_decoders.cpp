// The unzip module's decompressors on their own: streams that 7z wrote come
// out whole however the input and output are cut up, and damaged, cut or
// random streams end in an error, never a crash, a hang or output past what
// was asked.

#include "Decoders.h"
#include "TestTools.h"

#include <QtTest>

using namespace testtools;

namespace {

struct Result {
    QByteArray out;
    bool ended = false;
    QString problem;
};

// Drives a decoder as the module does, `inStep` input bytes and `outStep`
// bytes of room at a time.
Result decodeAll(uint16_t method, bool eos, uint64_t size, const QByteArray& data, size_t inStep, size_t outStep)
{
    Result r;
    std::unique_ptr<qz::Decoder> dec = qz::makeDecoder(method, eos, size, uint64_t(data.size()));
    if (!dec) {
        r.problem = "no decoder";
        return r;
    }
    std::vector<uint8_t> out(outStep);
    size_t pos = 0;
    const auto* base = reinterpret_cast<const uint8_t*>(data.constData());
    const uint8_t* next = base;
    size_t avail = 0;
    for (int rounds = 0; rounds < 50'000'000; ++rounds) {
        if (avail == 0 && pos < size_t(data.size())) {
            avail = std::min(inStep, size_t(data.size()) - pos);
            next = base + pos;
            pos += avail;
        }
        const size_t before = avail;
        size_t made = 0;
        const bool last = pos == size_t(data.size());
        const qz::Decoder::Status st = dec->step(next, avail, last, out.data(), out.size(), made);
        if (made > out.size()) {
            r.problem = "made more than asked";
            return r;
        }
        r.out.append(reinterpret_cast<const char*>(out.data()), qsizetype(made));
        if (st == qz::Decoder::Status::End) {
            r.ended = true;
            return r;
        }
        if (st == qz::Decoder::Status::Error) {
            r.problem = QString::fromStdString(dec->problem());
            return r;
        }
        if (qsizetype(r.out.size()) > qsizetype(size) + (1 << 20)) {
            r.problem = "runs on";
            return r;
        }
        // No progress: at the end of the input the module calls that a cut
        // stream; with input left it would be a decoder that stalls.
        if (made == 0 && avail == before && (avail > 0 || last)) {
            r.problem = avail > 0 ? "stuck" : "cut short";
            return r;
        }
    }
    r.problem = "too many rounds";
    return r;
}

struct Stream {
    QString name;
    uint16_t method = 0;
    bool eos = false;
    QByteArray data;
    uint64_t size = 0;
};

// The compressed data of each entry of a zip, read with python's zipfile.
QList<Stream> streamsOf(const QString& zip)
{
    const Run r = python("import sys, struct, zipfile\n"
                         "z = zipfile.ZipFile(sys.argv[1]); f = open(sys.argv[1], 'rb')\n"
                         "for i in z.infolist():\n"
                         "    f.seek(i.header_offset); h = f.read(30)\n"
                         "    n, x = struct.unpack('<HH', h[26:30])\n"
                         "    f.seek(i.header_offset + 30 + n + x)\n"
                         "    print(i.filename, i.compress_type, i.flag_bits, i.file_size, f.read(i.compress_size).hex())\n",
                         {zip});
    QList<Stream> out;
    for (const QString& line : r.outText().split('\n', Qt::SkipEmptyParts)) {
        const QStringList f = line.split(' ');
        if (f.size() == 5)
            out << Stream{f[0], uint16_t(f[1].toUInt()), (f[2].toUInt() & 2) != 0, QByteArray::fromHex(f[4].toLatin1()),
                          f[3].toULongLong()};
    }
    return out;
}

} // namespace

class TestZipDecoders : public QObject {
    Q_OBJECT
    FreshFolders tmp;

    QList<Stream> streams_;
    QMap<QString, QByteArray> sources_;

private slots:
    void initTestCase()
    {
        QVERIFY(tmp.isValid());
        QUARN_REQUIRE_PEER("7z");
        const QString d = tmp.fresh();
        QByteArray text = sampleData(300000, 21);
        text += text.mid(1000, 70000); // matches past 32 KiB, the Deflate64 distance codes
        sources_["text.txt"] = text;
        sources_["runs.bin"] = QByteArray(200000, 'x') + randomData(3000, 22) + QByteArray(70000, 'y');
        for (auto it = sources_.cbegin(); it != sources_.cend(); ++it)
            writeFile(d + "/src/" + it.key(), it.value());
        for (const QString method : {"Deflate64", "BZip2", "LZMA", "XZ", "PPMd", "PPMd:o=4:mem=1m", "PPMd:o=16:mem=24m"}) {
            const QString zip = d + "/" + QString(method).replace(':', '_') + ".zip";
            const Run r = run("7z", {"a", "-tzip", "-mx=9", "-mm=" + method, zip, "."}, d + "/src");
            QVERIFY2(r.code == 0, qPrintable(r.outText()));
            const QList<Stream> s = streamsOf(zip);
            QCOMPARE(s.size(), 2);
            streams_ += s;
        }
    }

    // Byte by byte in, a few bytes of room out, or everything at once: the same.
    void wholeHoweverCut()
    {
        for (const Stream& s : streams_) {
            const QString what = QStringLiteral("%1 (method %2)").arg(s.name).arg(s.method);
            const QByteArray& want = sources_[s.name];
            for (const auto& [in, out] : {std::pair<size_t, size_t>{1 << 20, 1 << 18}, {1, 7}, {4093, 65536}}) {
                if (in == 1 && s.data.size() > 60000 && s.method != 9)
                    continue; // the library decoders: once is enough for the slow way
                const Result r = decodeAll(s.method, s.eos, s.size, s.data, in, out);
                QVERIFY2(r.ended, qPrintable(what + ": " + r.problem));
                QVERIFY2(r.out == want, qPrintable(what + " differs"));
            }
        }
    }

    // Cut short, the stream is an error (or at least ends short), never a hang.
    void cutShort()
    {
        for (const Stream& s : streams_) {
            const Result r = decodeAll(s.method, s.eos, s.size, s.data.left(s.data.size() / 2), 1000, 4096);
            QVERIFY2(!r.ended || r.out.size() < qsizetype(s.size), qPrintable(s.name));
            if (!r.ended)
                QVERIFY2(!r.problem.isEmpty() && r.problem != "stuck" && r.problem != "runs on", qPrintable(r.problem));
        }
    }

    // Flipped bytes and random input: an error or a short end, bounded output.
    void damagedAndRandom()
    {
        for (const Stream& s : streams_) {
            for (int k = 0; k < 8; ++k) {
                QByteArray bad = s.data;
                const int at = 8 + int(quint32(k * 7919) % quint32(bad.size() - 8));
                bad[at] = char(bad[at] ^ (1 << k));
                const Result r = decodeAll(s.method, s.eos, s.size, bad, 777, 10000);
                QVERIFY2(r.problem != "stuck" && r.problem != "runs on" && r.problem != "made more than asked"
                             && r.problem != "too many rounds",
                         qPrintable(s.name + ": " + r.problem));
            }
        }
        for (const uint16_t method : {9, 12, 14, 20, 95, 98}) {
            for (quint32 seed = 1; seed <= 30; ++seed) {
                const Result r = decodeAll(method, seed & 1, 100000, randomData(int(seed * 97), seed), 13, 1000);
                QVERIFY2(r.problem != "stuck" && r.problem != "runs on" && r.problem != "made more than asked"
                             && r.problem != "too many rounds",
                         qPrintable(QStringLiteral("method %1: %2").arg(method).arg(r.problem)));
            }
        }
    }

    // An xz header may ask for a 2 GiB dictionary: refused with a message
    // before anything is allocated for it.
    void xzAskingForAHugeDictionary()
    {
        const Run r = python("import lzma, sys, zlib\n"
                             "d = bytearray(lzma.compress(b'hello world' * 100, format=lzma.FORMAT_XZ))\n"
                             "assert d[12:16] == b'\\x02\\x00\\x21\\x01'\n"
                             "d[16] = 38\n"
                             "d[20:24] = zlib.crc32(bytes(d[12:20])).to_bytes(4, 'little')\n"
                             "sys.stdout.write(bytes(d).hex())\n");
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        const Result res = decodeAll(95, false, 1100, QByteArray::fromHex(r.out), 4096, 65536);
        QVERIFY(!res.ended);
        QVERIFY2(res.problem.contains("dictionary larger than 1 GiB"), qPrintable(res.problem));
    }

    // Deflate64 blocks by hand: a stored block, and a fixed-code block whose
    // length code 285 takes 16 extra bits (a length of 3 + 1000 here, which
    // plain deflate cannot say).
    void deflate64ByHand()
    {
        const QByteArray stored("\x01\x05\x00\xfa\xffhello", 10);
        Result r = decodeAll(9, false, 5, stored, 1, 1);
        QVERIFY2(r.ended, qPrintable(r.problem));
        QCOMPARE(r.out, QByteArray("hello"));

        // Bits, first bit lowest: BFINAL 1, BTYPE 01; literal 'a' (0x61: code
        // 0x30 + 0x61 in 8 bits); length code 285 (11000101 in 8 bits) with 16
        // extra bits 1000; distance code 0 (00000 in 5 bits); end of block (7
        // zero bits).
        QList<std::pair<uint32_t, int>> fields; // value, bit count; Huffman codes go top bit first
        auto code = [&](uint32_t c, int n) {
            uint32_t rev = 0;
            for (int i = 0; i < n; ++i)
                rev |= ((c >> i) & 1) << (n - 1 - i);
            fields << std::pair{rev, n};
        };
        fields << std::pair{1u, 1} << std::pair{1u, 2};
        code(0x30 + 'a', 8);
        code(0xC5, 8);
        fields << std::pair{1000u, 16};
        code(0, 5);
        code(0, 7);
        QByteArray bytes;
        uint64_t acc = 0;
        int count = 0;
        for (const auto& [v, n] : fields) {
            acc |= uint64_t(v) << count;
            count += n;
            while (count >= 8) {
                bytes += char(acc & 0xFF);
                acc >>= 8;
                count -= 8;
            }
        }
        if (count)
            bytes += char(acc & 0xFF);
        r = decodeAll(9, false, 1004, bytes, 1, 3);
        QVERIFY2(r.ended, qPrintable(r.problem));
        QCOMPARE(r.out, QByteArray(1004, 'a'));
    }
};

QTEST_GUILESS_MAIN(TestZipDecoders)
#include "test_zip_decoders.moc"
