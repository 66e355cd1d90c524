// Zips that other tools write with the compression methods beyond deflate and
// with WinZip's AES encryption come back byte for byte through quarn-cli and
// the unzip module; wrong passwords and damaged AES data write nothing.

#include "CliTools.h"

#include <QtTest>

using namespace clitools;

namespace {

// A zip of `files` (names relative to `dir`) whose entries are compressed by
// the zstd program and stored under `method`: 7z writes no zstd into zips.
const char* kZstdZip = R"(
import struct, subprocess, sys, zlib
out, method, folder = sys.argv[1], int(sys.argv[2]), sys.argv[3]
body, central = b'', b''
for name in sys.argv[4:]:
    data = open(folder + '/' + name, 'rb').read()
    packed = subprocess.run(['zstd', '-q', '-c', '-19'], input=data, stdout=subprocess.PIPE, check=True).stdout
    crc, n = zlib.crc32(data), name.encode()
    fields = struct.pack('<HHHHHIII', 63, 0, method, 0x6000, 0x5A21, crc, len(packed), len(data))
    central += b'PK\x01\x02' + struct.pack('<H', 63) + fields + struct.pack('<HHHHHII', len(n), 0, 0, 0, 0, 0, len(body)) + n
    body += b'PK\x03\x04' + fields + struct.pack('<HH', len(n), 0) + n + packed
end = b'PK\x05\x06' + struct.pack('<HHHHIIH', 0, 0, len(sys.argv) - 4, len(sys.argv) - 4, len(central), len(body), 0)
open(out, 'wb').write(body + central + end)
)";

// Turns the AE-2 entries of a zip into AE-1 ones: the AES field's version
// becomes 1 and the CRC fields (local and central) get the CRC of the file in
// `folder` of the same name, or that CRC with one bit flipped when asked.
// AE-1 and AE-2 differ in nothing else.
const char* kMakeAe1 = R"(
import struct, sys, zlib
path, folder, flip = sys.argv[1], sys.argv[2], sys.argv[3] == '1'
data = bytearray(open(path, 'rb').read())
def to_ae1(start, length):
    p = start
    while p + 4 <= start + length:
        tag, n = struct.unpack_from('<HH', data, p)
        if tag == 0x9901:
            assert struct.unpack_from('<H', data, p + 4)[0] == 2
            struct.pack_into('<H', data, p + 4, 1)
            return
        p += 4 + n
    raise SystemExit('no AES field')
end = data.rfind(b'PK\x05\x06')
count, = struct.unpack_from('<H', data, end + 10)
at, = struct.unpack_from('<I', data, end + 16)
for _ in range(count):
    n, x, c = struct.unpack_from('<HHH', data, at + 28)
    name = bytes(data[at + 46:at + 46 + n]).decode()
    if name.endswith('/'):
        at += 46 + n + x + c
        continue
    crc = zlib.crc32(open(folder + '/' + name, 'rb').read()) ^ (1 if flip else 0)
    struct.pack_into('<I', data, at + 16, crc)
    to_ae1(at + 46 + n, x)
    local, = struct.unpack_from('<I', data, at + 42)
    assert struct.unpack_from('<H', data, local + 6)[0] & 8 == 0
    struct.pack_into('<I', data, local + 14, crc)
    ln, lx = struct.unpack_from('<HH', data, local + 26)
    to_ae1(local + 30 + ln, lx)
    at += 46 + n + x + c
open(path, 'wb').write(data)
)";

} // namespace

class TestCliMethods : public QObject {
    Q_OBJECT
    FreshFolders tmp;

    // Files that exercise the decoders: empty, small, long and repetitive
    // (past the 64 KiB window), incompressible, in a subfolder.
    static QStringList makeSources(const QString& dir)
    {
        writeFile(dir + "/empty.txt", QByteArray());
        writeFile(dir + "/small.txt", "a few bytes\n");
        QByteArray longText = sampleData(700000, 3);
        longText += longText.left(200000);
        writeFile(dir + "/sub/long.txt", longText);
        writeFile(dir + "/random.bin", randomData(90000, 4));
        // Binary that compresses: little-endian counters with noise in the top byte.
        QByteArray table;
        const QByteArray noise = randomData(100000, 9);
        for (int i = 0; i < 100000; ++i) {
            const quint32 v = quint32(i) | quint32(quint8(noise[i]) & 0x0F) << 24;
            table.append(reinterpret_cast<const char*>(&v), 4);
        }
        writeFile(dir + "/sub/table.bin", table);
        return {"empty.txt", "small.txt", "sub/long.txt", "random.bin", "sub/table.bin"};
    }

    static void compareTrees(const QString& from, const QString& to, const QStringList& names)
    {
        for (const QString& n : names)
            QVERIFY2(readFile(from + "/" + n) == readFile(to + "/" + n), qPrintable(n + " differs"));
    }

    static void sevenZip(const QString& dir, const QStringList& options, const QString& zip)
    {
        QUARN_REQUIRE_PEER("7z");
        const Run r = run("7z", QStringList{"a", "-tzip"} + options + QStringList{zip, "."}, dir);
        QVERIFY2(r.code == 0, qPrintable(r.outText() + r.errText()));
    }

    // What extracting and testing `zip` give: the same bytes, and no errors.
    static void extractsIdentically(const QString& d, const QString& zip, const QStringList& names,
                                    const QString& password = QString())
    {
        const QStringList pw = password.isEmpty() ? QStringList() : QStringList{"--password", password};
        Run r = cli(QStringList{"extract", zip, "-d", d + "/out"} + pw);
        QVERIFY2(r.code == 0, qPrintable(r.outText() + r.errText()));
        compareTrees(d + "/src", d + "/out", names);
        r = cli(QStringList{"test", zip} + pw);
        QVERIFY2(r.code == 0, qPrintable(r.outText() + r.errText()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(cliPath()), "quarn-cli not built");
        QVERIFY(tmp.isValid());
    }

    void methodsOf7z_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<int>("number");
        QTest::newRow("bzip2") << "BZip2" << 12;
        QTest::newRow("lzma") << "LZMA" << 14;
        QTest::newRow("lzma-without-end-marker") << "LZMA:eos=off" << 14;
        QTest::newRow("xz") << "XZ" << 95;
        QTest::newRow("deflate64") << "Deflate64" << 9;
        QTest::newRow("ppmd") << "PPMd" << 98;
        QTest::newRow("ppmd-order4-1m") << "PPMd:o=4:mem=1m" << 98;
        QTest::newRow("ppmd-order16-64m") << "PPMd:o=16:mem=64m" << 98;
    }

    void methodsOf7z()
    {
        QFETCH(QString, method);
        QFETCH(int, number);
        const QString d = tmp.fresh();
        const QStringList names = makeSources(d + "/src");
        const QString zip = d + "/m.zip";
        sevenZip(d + "/src", {"-mm=" + method}, zip);
        if (QTest::currentTestFailed()) return;
        // The entries really use the method (7z stores the small ones).
        const Run r = python("import sys, zipfile\nprint(sorted({i.compress_type for i in zipfile.ZipFile(sys.argv[1]).infolist()}))", {zip});
        QVERIFY2(r.outText().contains(QString::number(number)), qPrintable(r.outText() + r.errText()));
        extractsIdentically(d, zip, names);
    }

    void zstdUnderBothNumbers()
    {
        QUARN_REQUIRE_PEER("zstd");
        for (const int method : {93, 20}) {
            const QString d = tmp.fresh();
            const QStringList names = makeSources(d + "/src");
            const QString zip = d + "/z.zip";
            const Run r = python(kZstdZip, QStringList{zip, QString::number(method), d + "/src"} + names);
            QVERIFY2(r.code == 0, qPrintable(r.errText()));
            extractsIdentically(d, zip, names);
            if (QTest::currentTestFailed()) return;
        }
    }

    // A damaged stream is an error with a message, never a crash or a file.
    void damagedCompressedData()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/src/long.txt", sampleData(400000, 8));
        for (const QString method : {"BZip2", "LZMA", "XZ", "Deflate64", "PPMd"}) {
            const QString zip = d + "/" + method + ".zip";
            sevenZip(d + "/src", {"-mm=" + method}, zip);
            if (QTest::currentTestFailed()) return;
            QByteArray bytes = readFile(zip);
            for (int i = 2000; i < 2040; ++i)
                bytes[i] = char(bytes[i] ^ 0x5A);
            writeFile(zip, bytes);
            const Run r = cli({"extract", zip, "-d", d + "/out" + method});
            QVERIFY2(r.code != 0, qPrintable(method));
            QVERIFY2(r.errText().contains("long.txt"), qPrintable(r.errText()));
            QCOMPARE(filesBelow(d + "/out" + method), QStringList());
        }
    }

    void aesOf7z_data()
    {
        QTest::addColumn<QString>("cipher");
        QTest::addColumn<QString>("method");
        QTest::newRow("aes128-deflate") << "AES128" << "Deflate";
        QTest::newRow("aes192-bzip2") << "AES192" << "BZip2";
        QTest::newRow("aes256-deflate") << "AES256" << "Deflate";
        QTest::newRow("aes256-lzma") << "AES256" << "LZMA";
        QTest::newRow("aes128-ppmd") << "AES128" << "PPMd";
        QTest::newRow("aes256-ppmd") << "AES256" << "PPMd:o=4:mem=1m";
    }

    void aesOf7z()
    {
        QFETCH(QString, cipher);
        QFETCH(QString, method);
        const QString d = tmp.fresh();
        const QStringList names = makeSources(d + "/src");
        const QString zip = d + "/aes.zip";
        // 7z refuses passwords beyond ASCII for zip AES.
        const QString password = QStringLiteral("open sesame 42");
        sevenZip(d + "/src", {"-p" + password, "-mem=" + cipher, "-mm=" + method}, zip);
        if (QTest::currentTestFailed()) return;
        extractsIdentically(d, zip, names, password);

        // A wrong or missing password writes nothing.
        Run r = cli({"extract", zip, "-d", d + "/wrong", "--password", "sesame"});
        QCOMPARE(r.code, 1);
        QVERIFY(!r.errText().isEmpty());
        QCOMPARE(filesBelow(d + "/wrong"), QStringList());
        r = cli({"extract", zip, "-d", d + "/none"});
        QCOMPARE(r.code, 1);
        QCOMPARE(filesBelow(d + "/none"), QStringList());
        QCOMPARE(cli({"test", zip, "--password", "sesame"}).code, 1);
    }

    // 7z writes AE-2 only, whatever the size; the same entries made AE-1 (the
    // CRC stored and checked) read alike with each key size, and a CRC that
    // does not match is an error with nothing written.
    void ae1Entries()
    {
        for (const QString cipher : {"AES128", "AES192", "AES256"}) {
            const QString d = tmp.fresh();
            const QStringList names = makeSources(d + "/src");
            const QString zip = d + "/ae1.zip", bad = d + "/bad.zip";
            sevenZip(d + "/src", {"-ppw", "-mem=" + cipher, "-mm=Deflate"}, zip);
            if (QTest::currentTestFailed()) return;
            QVERIFY(QFile::copy(zip, bad));
            Run r = python(kMakeAe1, {zip, d + "/src", "0"});
            QVERIFY2(r.code == 0, qPrintable(r.errText()));
            QVERIFY2(python(kMakeAe1, {bad, d + "/src", "1"}).code == 0, qPrintable(cipher));
            r = run("7z", {"t", "-ppw", zip});
            QVERIFY2(r.code == 0, qPrintable(r.outText()));
            extractsIdentically(d, zip, names, "pw");
            if (QTest::currentTestFailed()) return;

            r = cli({"extract", bad, "-d", d + "/bad", "--password", "pw"});
            QCOMPARE(r.code, 1);
            QVERIFY2(r.errText().contains("CRC error in sub/long.txt"), qPrintable(r.errText()));
            // The empty file's CRC is 0, flipped 1: nothing comes out.
            QCOMPARE(filesBelow(d + "/bad"), QStringList());
            QCOMPARE(cli({"test", bad, "--password", "pw"}).code, 1);
        }
    }

    // One flipped byte in the encrypted data: the authentication code says so,
    // nothing of that entry is written, the others still come out.
    void damagedAesEntry()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/src/a.txt", sampleData(200000, 5));
        writeFile(d + "/src/b.txt", sampleData(3000, 6));
        const QString zip = d + "/aes.zip";
        sevenZip(d + "/src", {"-ppw", "-mem=AES256", "-mm=Deflate"}, zip);
        if (QTest::currentTestFailed()) return;
        QByteArray bytes = readFile(zip);
        // a.txt comes first; its data runs well past this byte.
        bytes[20000] = char(bytes[20000] ^ 1);
        writeFile(zip, bytes);
        Run r = cli({"extract", zip, "-d", d + "/out", "--password", "pw"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errText().contains("authentication"), qPrintable(r.errText()));
        QCOMPARE(filesBelow(d + "/out"), QStringList{"b.txt"});
        r = cli({"test", zip, "--password", "pw"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errText().contains("authentication"), qPrintable(r.errText()));
    }

    // Our AES-256 zips: 7z reads them with the password and refuses them
    // without; we read them back; without --aes the encryption stays the
    // traditional one that Info-ZIP's unzip reads.
    void writesAes256()
    {
        const QString d = tmp.fresh();
        const QStringList names = makeSources(d + "/src");
        const QString zip = d + "/ours.zip";
        Run r = cli({"create", zip, "--password", "pw 1", "--aes", "--level", "6", d + "/src"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        writeFile(d + "/more/late.txt", sampleData(5000, 11));
        r = cli({"add", zip, "--password", "pw 1", "--aes", d + "/more/late.txt"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        r = python("import sys, zipfile\n"
                   "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                   "    if not i.is_dir(): print(i.compress_type, i.flag_bits & 1, i.CRC, i.extra[-11:].hex())",
                   {zip});
        const QStringList lines = r.outText().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), names.size() + 1);
        for (const QString& line : lines)  // method 99, encrypted, AE-2 without CRC, 256-bit key
            QVERIFY2(QRegularExpression("^99 1 0 019907000200414503(00|08)00$").match(line).hasMatch(), qPrintable(line));

        QUARN_REQUIRE_PEER("7z");
        r = run("7z", {"t", "-ppw 1", zip});
        QVERIFY2(r.code == 0, qPrintable(r.outText()));
        QVERIFY(run("7z", {"t", "-pwrong", zip}).code != 0);
        QVERIFY(run("7z", {"t", "-p", zip}, QString(), "\n").code != 0);
        r = run("7z", {"x", "-ppw 1", "-o" + d + "/by7z", zip});
        QVERIFY2(r.code == 0, qPrintable(r.outText()));
        compareTrees(d + "/src", d + "/by7z/src", names);
        QCOMPARE(readFile(d + "/by7z/late.txt"), readFile(d + "/more/late.txt"));

        r = cli({"extract", zip, "-d", d + "/back", "--password", "pw 1"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        compareTrees(d + "/src", d + "/back/src", names);
        r = cli({"extract", zip, "-d", d + "/wrong", "--password", "pw 2"});
        QCOMPARE(r.code, 1);
        QCOMPARE(filesBelow(d + "/wrong"), QStringList());

        // The default stays traditional.
        const QString plain = d + "/plain.zip";
        QCOMPARE(cli({"create", plain, "--password", "pw 1", d + "/src"}).code, 0);
        QUARN_REQUIRE_PEER("unzip");
        r = run("unzip", {"-t", "-P", "pw 1", plain});
        QVERIFY2(r.code == 0, qPrintable(r.outText()));
        QCOMPARE(python("import sys, zipfile\nprint(max(i.compress_type for i in zipfile.ZipFile(sys.argv[1]).infolist()))",
                        {plain}).outText().trimmed(), QString("8"));
        // --aes means nothing without a password.
        QCOMPARE(cli({"create", d + "/x.zip", "--aes", d + "/src"}).code, 2);
    }

    // A method still unknown is named in the message.
    void unknownMethodNamed()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/src/a.txt", "data");
        const QString zip = d + "/u.zip";
        QCOMPARE(python(kZstdZip, {zip, "77", d + "/src", "a.txt"}).code, 0);
        const Run r = cli({"extract", zip, "-d", d + "/out"});
        QVERIFY(r.code != 0);
        QVERIFY2(r.errText().contains("compression method 77"), qPrintable(r.errText()));
        QCOMPARE(filesBelow(d + "/out"), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCliMethods)
#include "test_cli_methods.moc"
