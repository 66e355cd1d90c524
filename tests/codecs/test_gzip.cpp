// Gzip codec: the bytes written, header reading, result codes, progress events,
// damaged input, and round trips with gzip and pigz.

#include "TestTools.h"
#include "FileSizeLimit.h"
#include "ScriptedPrompter.h"
#include "codecs/Gzip.h"
#include "codecs/GzipReader.h"
#include "codecs/GzipWriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>
#include <zlib.h>

using namespace testtools;

class TestGzip : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString p(const QString& n) const { return tmp.filePath(n); }

    static quint32 le32(const QByteArray& b, int at)
    {
        return quint32(uchar(b[at])) | quint32(uchar(b[at + 1])) << 8 | quint32(uchar(b[at + 2])) << 16
               | quint32(uchar(b[at + 3])) << 24;
    }

private slots:
    void headerBytes()
    {
        const QByteArray data = sampleData(50000, 11);
        writeFile(p("report.txt"), data);
        TGzip g;
        g.FileSource = p("report.txt");
        g.FileDestination = p("report.txt.gz");
        QCOMPARE(g.compress(), 0);
        const QByteArray gz = readFile(p("report.txt.gz"));
        QCOMPARE(gz.left(10), QByteArray("\x1f\x8b\x08\x08\x00\x00\x00\x00\x00\x00", 10));
        QCOMPARE(gz.mid(10, 11), QByteArray("report.txt\0", 11));
        QCOMPARE(le32(gz, gz.size() - 8), quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()))));
        QCOMPARE(le32(gz, gz.size() - 4), quint32(data.size()));
        QVERIFY(QFile::exists(p("report.txt")));

        // Comment field, level and strategies: all still plain gzip.
        g.GzipHeader = TGzip::filename | TGzip::comment;
        g.Comments = "note";
        for (auto type : {TGzip::Standard, TGzip::Filtered, TGzip::HuffmanOnly}) {
            g.CompressionType = type;
            g.CompressionLevel = type == TGzip::Standard ? 9 : 1;
            QCOMPARE(g.compress(), 0);
            QCOMPARE(uchar(readFile(p("report.txt.gz"))[3]), uchar(0x18));
            g.FileSource = p("report.txt.gz");
            QCOMPARE(g.readHeader(), 0);
            QCOMPARE(g.storedName(), QString("report.txt"));
            QCOMPARE(g.headerComment(), QString("note"));
            g.FileDestination = p("back.txt");
            QCOMPARE(g.decompress(), 0);
            QCOMPARE(readFile(p("back.txt")), data);
            g.FileSource = p("report.txt");
            g.FileDestination = p("report.txt.gz");
        }
        // DeleteSource removes the source only after success.
        writeFile(p("del.txt"), "x");
        g.FileSource = p("del.txt");
        g.FileDestination = p("del.txt.gz");
        g.DeleteSource = true;
        QCOMPARE(g.compress(), 0);
        QVERIFY(!QFile::exists(p("del.txt")));
        g.FileSource = p("del.txt.gz");
        g.FileDestination = p("del.txt");
        QCOMPARE(g.decompress(), 0);
        QVERIFY(!QFile::exists(p("del.txt.gz")));
        QCOMPARE(readFile(p("del.txt")), QByteArray("x"));
    }

    void readHeaderCodes()
    {
        TGzip g;
        auto code = [&](const QByteArray& bytes) {
            writeFile(p("h.gz"), bytes);
            g.FileSource = p("h.gz");
            return g.readHeader();
        };
        const QByteArray base("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
        QCOMPARE(code(base + "rest"), 0);
        QCOMPARE(g.storedName(), QString());
        QCOMPARE(code(base.left(9)), 2);
        QCOMPARE(code("PK\x03\x04" + base), 2);
        QByteArray m = base;
        m[2] = 7;
        QCOMPARE(code(m), 3);
        for (char f : {'\x20', '\x40', '\x80'}) {
            m = base;
            m[3] = f;
            QCOMPARE(code(m), 3);
        }
        // Extra field: skipped when it fits, code 2 when it claims too much.
        QByteArray x = base;
        x[3] = 0x0c;
        QCOMPARE(code(x + QByteArray("\x03\x00" "abc" "name.tar\0", 15)), 0);
        QCOMPARE(g.storedName(), QString("name.tar"));
        QCOMPARE(code(x + QByteArray("\xff\x00" "abc" "name.tar\0", 15)), 2);
        QCOMPARE(g.storedName(), QString());
        // A name without its zero byte.
        x[3] = 0x08;
        QCOMPARE(code(x + "unterminated"), 2);
        g.FileSource = p("no-such.gz");
        QCOMPARE(g.readHeader(), 1);
        // Names written by gzip itself.
        QUARN_REQUIRE_PEER("gzip");
        {
            writeFile(p("notes.TAR"), "n");
            QCOMPARE(run("gzip", {"-k", "-f", p("notes.TAR")}).code, 0);
            g.FileSource = p("notes.TAR.gz");
            QCOMPARE(g.readHeader(), 0);
            QCOMPARE(g.storedName(), QString("notes.TAR"));
            QCOMPARE(run("gzip", {"-n", "-k", "-f", p("h.gz")}).code, 0);
            g.FileSource = p("h.gz.gz");
            QCOMPARE(g.readHeader(), 0);
            QCOMPARE(g.storedName(), QString());
        }
    }

    void errorsAndMessages()
    {
        ScriptedPrompter prompter;
        TGzip g;
        g.prompter = &prompter;
        g.FileSource = p("missing.txt");
        g.FileDestination = p("out.gz");
        prompter.answer(PromptButton::Abort);
        QCOMPARE(g.compress(), 1);
        QCOMPARE(prompter.lastText(), "Can't open: " + p("missing.txt"));
        QCOMPARE(prompter.messages.last().kind, PromptKind::Error);
        QCOMPARE(prompter.messages.last().buttons, unsigned(PromptButton::Abort));
        writeFile(p("src.txt"), sampleData(40000, 5));
        g.FileSource = p("src.txt");
        g.FileDestination = p("no/dir/out.gz");
        prompter.answer(PromptButton::Abort);
        QCOMPARE(g.compress(), 2);
        QCOMPARE(prompter.lastText(), "Can't open: " + p("no/dir/out.gz"));
        g.FileSource = p("missing.gz");
        prompter.answer(PromptButton::Abort);
        QCOMPARE(g.decompress(), 1);
        QCOMPARE(prompter.lastText(), "Can't open: " + p("missing.gz"));
        g.FileSource = p("src.txt");
        g.FileDestination = p("src.txt.gz");
        QCOMPARE(g.compress(), 0);
        g.FileSource = p("src.txt.gz");
        g.FileDestination = p("no/dir/x");
        prompter.answer(PromptButton::Abort);
        QCOMPARE(g.decompress(), 2);
        QCOMPARE(prompter.lastText(), "Can't create: " + p("no/dir/x"));

        // Without WindowOnError nothing is shown.
        const int shown = prompter.messages.size();
        g.WindowOnError = false;
        QCOMPARE(g.decompress(), 2);
        QCOMPARE(prompter.messages.size(), shown);
        g.WindowOnError = true;

        if (QFile::exists("/dev/full")) {
            // A destination that cannot take the data: an error code, the
            // source kept, the program still running.
            g.FileDestination = "/dev/full";
            g.DeleteSource = true;
            prompter.answer(PromptButton::Abort);
            QCOMPARE(g.decompress(), int(TGzip::DestinationCloseError));
            QCOMPARE(prompter.lastText(), QString("Can't close file /dev/full"));
            QVERIFY(QFile::exists(p("src.txt.gz")));
            g.FileSource = p("src.txt");
            QCOMPARE(g.compress(), 102);
            QVERIFY(QFile::exists(p("src.txt")));
            g.DeleteSource = false;
        }
    }

    void damagedStreams()
    {
        ScriptedPrompter prompter;
        prompter.failOnUnexpected = false;
        TGzip g;
        g.prompter = &prompter;
        const QByteArray data = sampleData(200000, 6);
        writeFile(p("d.txt"), data);
        g.FileSource = p("d.txt");
        g.FileDestination = p("d.gz");
        QCOMPARE(g.compress(), 0);
        QByteArray gz = readFile(p("d.gz"));

        // Altered trailer: all data out, then "gzclose Error." and an error code.
        QByteArray t = gz;
        for (int i = 1; i <= 8; ++i)
            t[t.size() - i] = char(~t[t.size() - i]);
        writeFile(p("t.gz"), t);
        g.FileSource = p("t.gz");
        g.FileDestination = p("t.out");
        prompter.answer(PromptButton::Abort);
        QCOMPARE(g.decompress(), int(TGzip::DataError));
        QCOMPARE(prompter.lastText(), QString("gzclose Error."));
        QCOMPARE(readFile(p("t.out")), data);

        // Truncated and corrupted bodies: an error, never a crash.
        writeFile(p("cut.gz"), gz.left(gz.size() / 2));
        g.FileSource = p("cut.gz");
        prompter.answer(PromptButton::Abort);
        QCOMPARE(g.decompress(), int(TGzip::DataError));
        QVERIFY(readFile(p("t.out")).size() < data.size());
        QByteArray c = gz;
        for (int i = 40; i < c.size() - 20; i += 97)
            c[i] = char(c[i] ^ 0x5a);
        writeFile(p("c.gz"), c);
        g.FileSource = p("c.gz");
        prompter.answer(PromptButton::Abort);
        QCOMPARE(g.decompress(), int(TGzip::DataError));

        // Plain data is copied unchanged; members one after another are joined.
        g.FileSource = p("d.txt");
        QCOMPARE(g.decompress(), 0);
        QCOMPARE(readFile(p("t.out")), data);
        writeFile(p("two.gz"), gz + gz);
        g.FileSource = p("two.gz");
        QCOMPARE(g.decompress(), 0);
        QCOMPARE(readFile(p("t.out")), data + data);
        writeFile(p("empty.gz"), QByteArray());
        g.FileSource = p("empty.gz");
        QCOMPARE(g.decompress(), 0);
        QCOMPARE(readFile(p("t.out")), QByteArray());

        // The reading device in odd-sized pieces: members and trailing junk
        // as above, damage told apart from the end of the data.
        auto readAll = [](const QString& path, qint64 piece, bool& damaged) {
            TGzipReader r(path);
            QByteArray all;
            if (!r.open(QIODevice::ReadOnly))
                return QByteArray("not opened");
            std::vector<char> buf(static_cast<size_t>(piece));
            qint64 n;
            while ((n = r.read(buf.data(), piece)) > 0)
                all.append(buf.data(), n);
            damaged = n < 0 && r.damaged();
            return all;
        };
        writeFile(p("junk.gz"), gz + gz + "junk after the members");
        for (const qint64 piece : {1, 511, 65536, 1 << 20}) {
            bool damaged = true;
            QCOMPARE(readAll(p("junk.gz"), piece, damaged), data + data);
            QVERIFY(!damaged);
            QVERIFY(readAll(p("cut.gz"), piece, damaged).size() < data.size());
            QVERIFY(damaged);
        }
        bool damaged = false;
        QCOMPARE(readAll(p("t.gz"), 4096, damaged), data);
        QVERIFY(damaged);
        QCOMPARE(readAll(p("missing.gz"), 4096, damaged), QByteArray("not opened"));
        TGzipReader w(p("d.txt"));
        QVERIFY(!w.open(QIODevice::ReadWrite));
    }

    void progressEvents()
    {
        TGzip g;
        QList<int> seen;
        g.OnProgress = [&](TGzip& s) { seen << s.progress(); };
        writeFile(p("hundred"), QByteArray(100, 'h'));
        g.FileSource = p("hundred");
        g.FileDestination = p("hundred.gz");
        QCOMPARE(g.compress(), 0); // ProgressStep 0: no events
        QVERIFY(seen.isEmpty());
        g.ProgressStep = 1;
        QCOMPARE(g.compress(), 0);
        QCOMPARE(seen, QList<int>({0, 100}));

        // A larger source: steps never smaller than ProgressStep, ends at 100.
        seen.clear();
        writeFile(p("big"), sampleData(16384 * 40, 8));
        g.FileSource = p("big");
        g.FileDestination = p("big.gz");
        g.ProgressStep = 10;
        QCOMPARE(g.compress(), 0);
        QCOMPARE(seen.first(), 0);
        QCOMPARE(seen.last(), 100);
        for (int i = 1; i + 1 < seen.size(); ++i)
            QVERIFY(seen[i] - seen[i - 1] >= 10);

        // Decompression measures against the compressed size: past 100.
        seen.clear();
        writeFile(p("zeros"), QByteArray(1 << 20, '\0'));
        g.FileSource = p("zeros");
        g.FileDestination = p("zeros.gz");
        g.ProgressStep = 0;
        QCOMPARE(g.compress(), 0);
        g.ProgressStep = 50;
        g.FileSource = p("zeros.gz");
        g.FileDestination = p("zeros.out");
        QCOMPARE(g.decompress(), 0);
        QCOMPARE(seen.first(), 0);
        QVERIFY(seen.last() > 100);
        QCOMPARE(g.progress(), seen.last());
        QCOMPARE(readFile(p("zeros.out")), QByteArray(1 << 20, '\0'));
    }

    // How many gzip members `gz` holds, each inflated and checked by zlib (-1: damaged).
    static int members(const QByteArray& gz)
    {
        z_stream zs{};
        if (inflateInit2(&zs, MAX_WBITS + 16) != Z_OK)
            return -1;
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.constData()));
        zs.avail_in = uInt(gz.size());
        std::vector<unsigned char> out(1 << 16);
        int n = 0;
        for (;;) {
            zs.next_out = out.data();
            zs.avail_out = uInt(out.size());
            const int r = inflate(&zs, Z_NO_FLUSH);
            if (r == Z_STREAM_END) {
                ++n;
                if (zs.avail_in == 0)
                    break;
                inflateReset(&zs);
            } else if (r != Z_OK) {
                n = -1;
                break;
            }
        }
        inflateEnd(&zs);
        return n;
    }

    void parallelBlocks_data()
    {
        QTest::addColumn<int>("size");
        const int block = int(TGzipWriter::BlockSize);
        QTest::newRow("empty") << 0;
        QTest::newRow("smaller than a block") << 1000;
        QTest::newRow("one block") << block;
        QTest::newRow("one block and a byte") << block + 1;
        QTest::newRow("many blocks") << 5 * block + 777;
    }
    void parallelBlocks()
    {
        // Written in blocks on every core, read by every peer as one member,
        // at the levels that go to either library.
        QFETCH(int, size);
        QUARN_REQUIRE_PEER("gzip");
        QUARN_REQUIRE_PEER("pigz");
        QUARN_REQUIRE_PEER("python3");
        const QByteArray data = sampleData(size, 31);
        const QString src = p(QStringLiteral("par%1.dat").arg(size));
        writeFile(src, data);
        for (int level : {0, 1, 6, 9}) {
            TGzip g;
            g.CompressionLevel = level;
            g.FileSource = src;
            g.FileDestination = src + ".gz";
            QCOMPARE(g.compress(), 0);
            const QByteArray gz = readFile(src + ".gz");
            QCOMPARE(members(gz), 1);
            QCOMPARE(le32(gz, gz.size() - 8), quint32(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()))));
            QCOMPARE(le32(gz, gz.size() - 4), quint32(size));
            QCOMPARE(run("gzip", {"-t", src + ".gz"}).code, 0);
            QCOMPARE(run("pigz", {"-t", src + ".gz"}).code, 0);
            const Run py = python("import gzip,sys,zlib; d=gzip.open(sys.argv[1]).read(); print(len(d), zlib.crc32(d))",
                                  {src + ".gz"});
            QCOMPARE(py.code, 0);
            QCOMPARE(py.out.trimmed(), QByteArray::number(size) + ' ' + QByteArray::number(crc32(0, reinterpret_cast<const Bytef*>(data.constData()), uInt(data.size()))));
            g.FileSource = src + ".gz";
            g.FileDestination = src + ".back";
            QCOMPARE(g.decompress(), 0);
            QCOMPARE(readFile(src + ".back"), data);
            // No larger than gzip's own at that level, give or take what
            // zlib and the block boundaries add (well below 1%).
            if (level > 0) {
                const Run theirs = run("gzip", {QStringLiteral("-%1").arg(level), "-n", "-c", src});
                QVERIFY2(gz.size() <= theirs.out.size() + theirs.out.size() / 100 + 64,
                         qPrintable(QStringLiteral("level %1: %2 against gzip's %3").arg(level).arg(gz.size()).arg(theirs.out.size())));
            }
        }
    }

    void blocksInOrder()
    {
        // However many threads compress, the bytes are the same: the blocks
        // come out in order, each primed with the data before it.
        const QByteArray data = sampleData(int(TGzipWriter::BlockSize) * 9 + 12345, 77) + randomData(300000, 5)
                                + QByteArray(400000, 'z');
        QByteArray first;
        for (int threads : {1, 2, 7}) {
            for (int level : {1, 6}) {
                const QString path = p(QStringLiteral("t%1_%2.gz").arg(threads).arg(level));
                TGzipWriter w(path);
                w.threads = threads;
                w.level = level;
                w.storedName = "t.dat";
                QVERIFY(w.open(QIODevice::WriteOnly));
                // Odd-sized writes across the block boundaries.
                for (qsizetype at = 0; at < data.size(); at += 70001)
                    QCOMPARE(w.write(data.constData() + at, std::min<qsizetype>(70001, data.size() - at)),
                             std::min<qsizetype>(70001, data.size() - at));
                QCOMPARE(w.totalIn(), qint64(data.size()));
                QVERIFY(w.finish());
                const QByteArray gz = readFile(path);
                QCOMPARE(members(gz), 1);
                QCOMPARE(gz.mid(3, 1), QByteArray("\x08"));
                QCOMPARE(gz.mid(10, 6), QByteArray("t.dat\0", 6));
                TGzip g;
                g.FileSource = path;
                g.FileDestination = path + ".out";
                QCOMPARE(g.decompress(), 0);
                QCOMPARE(readFile(path + ".out"), data);
                if (level == 6) {
                    if (first.isEmpty())
                        first = gz;
                    QCOMPARE(gz, first);
                }
            }
        }
    }

    void stopAndDiscard()
    {
        // A stop asked for during the write: the code says so, and neither
        // the destination nor anything else is left in its folder.
        QDir().mkpath(p("stop"));
        const QString src = p("stop.src");
        writeFile(src, sampleData(16384 * 200, 3));
        TGzip g;
        g.FileSource = src;
        g.FileDestination = p("stop/out.gz");
        g.ProgressStep = 1;
        QList<int> seen;
        g.OnProgress = [&](TGzip& s) {
            seen << s.progress();
            if (s.progress() >= 40)
                s.requestStop();
        };
        QCOMPARE(g.compress(), int(TGzip::Stopped));
        QVERIFY(seen.last() >= 40 && seen.last() < 100);
        QCOMPARE(QDir(p("stop")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(QFile::exists(src));
        // The same instance then runs to the end, with every progress step.
        seen.clear();
        g.OnProgress = [&](TGzip& s) { seen << s.progress(); };
        QCOMPARE(g.compress(), 0);
        QCOMPARE(seen.size(), 101);
        QCOMPARE(seen.last(), 100);
        QVERIFY(QFile::remove(p("stop/out.gz")));

        // A writer closed or destroyed before finish() removes its file; a
        // device it writes to is never removed.
        {
            TGzipWriter w(p("stop/gone.gz"));
            QVERIFY(w.open(QIODevice::WriteOnly));
            w.write(sampleData(1 << 20, 4));
        }
        TGzipWriter closed(p("stop/closed.gz"));
        QVERIFY(closed.open(QIODevice::WriteOnly));
        closed.write("abc");
        closed.close();
        QCOMPARE(QDir(p("stop")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        if (QFile::exists("/dev/full")) {
            TGzipWriter full("/dev/full");
            QVERIFY(full.open(QIODevice::WriteOnly));
            QCOMPARE(full.write(QByteArray(10, 'x')), qint64(-1));
            QVERIFY(!full.finish());
            QVERIFY(QFile::exists("/dev/full"));
        }
        // A disk that fills up in the middle: a write error, no file left.
        QVERIFY(WithFileSizeLimit(100000, [&] {
            g.FileSource = src;
            g.FileDestination = p("stop/full.gz");
            g.OnProgress = nullptr;
            const int r = g.compress();
            QVERIFY2(r == TGzip::WriteError || r == TGzip::CloseError, qPrintable(QString::number(r)));
        }));
        QCOMPARE(QDir(p("stop")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
    }

    void peers()
    {
        QUARN_REQUIRE_PEER("gzip");
        const QByteArray data = sampleData(3 << 20, 9);
        writeFile(p("peer.bin"), data);
        TGzip g;
        g.FileSource = p("peer.bin");
        g.FileDestination = p("peer.bin.gz");
        QCOMPARE(g.compress(), 0);
        Run r = run("gzip", {"-t", p("peer.bin.gz")});
        QCOMPARE(r.code, 0);
        r = run("gzip", {"-dc", p("peer.bin.gz")});
        QCOMPARE(r.out, data);
        r = run("gzip", {"-lN", p("peer.bin.gz")});
        QVERIFY(r.out.contains("peer.bin"));

        QCOMPARE(run("gzip", {"-6", "-k", "-f", "-c", p("peer.bin")}).code, 0);
        writeFile(p("theirs.gz"), run("gzip", {"-6", "-c", p("peer.bin")}).out);
        g.FileSource = p("theirs.gz");
        g.FileDestination = p("theirs.out");
        QCOMPARE(g.decompress(), 0);
        QCOMPARE(readFile(p("theirs.out")), data);
        QUARN_REQUIRE_PEER("pigz");
        {
            writeFile(p("pigz.gz"), run("pigz", {"-c", p("peer.bin")}).out);
            g.FileSource = p("pigz.gz");
            QCOMPARE(g.decompress(), 0);
            QCOMPARE(readFile(p("theirs.out")), data);
            r = run("pigz", {"-dc", p("peer.bin.gz")});
            QCOMPARE(r.out, data);
        }
    }
};

QTEST_GUILESS_MAIN(TestGzip)
#include "test_gzip.moc"
