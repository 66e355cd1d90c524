// Tar reader and writer: header bytes, block layout, end blocks, extension
// records, damaged input, and round trips with GNU tar and bsdtar.

#include "TestTools.h"
#include "codecs/GzipReader.h"
#include "codecs/TarFormat.h"
#include "codecs/TarReader.h"
#include "codecs/TarWriter.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

using namespace testtools;

namespace {

QList<TTarEntry> listAll(const QString& path)
{
    QList<TTarEntry> out;
    TTarReader r(path);
    TTarEntry e;
    while (r.nextEntry(e))
        out << e;
    return out;
}

QStringList names(const QList<TTarEntry>& entries)
{
    QStringList n;
    for (const auto& e : entries)
        n << e.name;
    return n;
}

// Reads every entry's data through the reader: name -> bytes.
QMap<QString, QByteArray> contents(const QString& path)
{
    QMap<QString, QByteArray> out;
    TTarReader r(path);
    TTarEntry e;
    while (r.nextEntry(e)) {
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        r.copyEntryData(b);
        if (e.fileType == TTarFileType::Regular)
            out.insert(e.name, b.data());
    }
    return out;
}

// A hand-made header block with a valid checksum.
QByteArray header(const QByteArray& name, qint64 size, char type)
{
    QByteArray h(512, '\0');
    tarformat::putText(h.data(), 100, name);
    tarformat::putShortOctal(h.data() + 100, 0644);
    tarformat::putShortOctal(h.data() + 108, 0);
    tarformat::putShortOctal(h.data() + 116, 0);
    tarformat::putLongOctal(h.data() + 124, uint64_t(size));
    tarformat::putLongOctal(h.data() + 136, 1000000000);
    h[156] = type;
    tarformat::putShortOctal(h.data() + 148, tarformat::checksum345(h.constData()));
    return h;
}

QByteArray pad(const QByteArray& data) { return data + QByteArray(tarformat::roundUp(data.size()) - data.size(), '\0'); }

} // namespace

class TestTar : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString p(const QString& n) const { return tmp.filePath(n); }

private slots:
    void numberEncodings()
    {
        char f[12];
        tarformat::putShortOctal(f, 0644);
        QCOMPARE(QByteArray(f, 8), QByteArray("   644 \0", 8));
        tarformat::putShortOctal(f, 0);
        QCOMPARE(QByteArray(f, 8), QByteArray("     0 \0", 8));
        tarformat::putLongOctal(f, 513);
        QCOMPARE(QByteArray(f, 12), QByteArray("       1001 "));
        tarformat::putLongOctal(f, (uint64_t(1) << 33) - 1);
        QCOMPARE(QByteArray(f, 12), QByteArray("77777777777 "));
        QCOMPARE(tarformat::getNumber(f, 12), qint64((uint64_t(1) << 33) - 1));

        // 8^11 and beyond: base-256, read back exactly.
        const uint64_t big = uint64_t(1) << 33;
        tarformat::putLongOctal(f, big);
        QCOMPARE(uchar(f[0]), uchar(0x80));
        QCOMPARE(tarformat::getNumber(f, 12), qint64(big));
        tarformat::putLongOctal(f, 5000000000000ull);
        QCOMPARE(tarformat::getNumber(f, 12), qint64(5000000000000ll));
        tarformat::putShortOctal(f, 3000000);
        QCOMPARE(tarformat::getNumber(f, 8), qint64(3000000));

        // Negative base-256 (GNU tar's pre-1970 times) and an overflowing one.
        QByteArray neg(12, char(0xff));
        neg[11] = char(0xfe);
        QCOMPARE(tarformat::getNumber(neg.constData(), 12), qint64(-2));
        QByteArray huge(12, char(0x7f));
        huge[0] = char(0x81);
        bool ok = true;
        tarformat::getNumber(huge.constData(), 12, &ok);
        QVERIFY(!ok);
        // Octal read stops at a space or zero byte; leading spaces skipped.
        QCOMPARE(tarformat::getNumber("  17 9\0\0", 8), qint64(15));
        QCOMPARE(tarformat::getNumber("0000017\0", 8), qint64(15));
    }

    void headerLayout()
    {
        writeFile(p("hl.txt"), QByteArray(513, 'x'));
        {
            TTarWriter w(p("hl.tar"));
            w.permissions = 0644;
            w.userId = 1000;
            w.groupId = 100;
            w.userName = "alice";
            w.groupName = "staff";
            QBuffer empty;
            empty.open(QIODevice::ReadOnly);
            w.addStream(empty, "empty", QDateTime());
            QFile in(p("hl.txt"));
            QVERIFY(in.open(QIODevice::ReadOnly));
            w.addStream(in, "dir/hl.txt", QDateTime::fromSecsSinceEpoch(1234567890, Qt::UTC));
        }
        const QByteArray a = readFile(p("hl.tar"));
        // empty: one header; 513 bytes: header + two blocks; two end blocks,
        // then zeros to a whole record of 20 blocks.
        QCOMPARE(a.size(), 10240);
        QCOMPARE(a.mid(512 + 512 + 1024), QByteArray(10240 - 2048, '\0'));
        const char* h = a.constData() + 512;
        QCOMPARE(QByteArray(h, 10), QByteArray("dir/hl.txt"));
        QCOMPARE(QByteArray(h + 100, 8), QByteArray("   644 \0", 8));
        QCOMPARE(QByteArray(h + 108, 8), QByteArray("  1750 \0", 8));
        QCOMPARE(QByteArray(h + 124, 12), QByteArray("       1001 "));
        QCOMPARE(QByteArray(h + 136, 12), QByteArray("11145401322 "));
        QCOMPARE(h[156], '0');
        QCOMPARE(QByteArray(h + 257, 8), QByteArray("ustar   "));
        QCOMPARE(QByteArray(h + 265, 6), QByteArray("alice\0", 6));
        QCOMPARE(QByteArray(h + 345, 167), QByteArray(167, '\0'));
        QCOMPARE(unsigned(tarformat::getNumber(h + 148, 8)), tarformat::checksum345(h));
        QCOMPARE(a.mid(512 + 512 + 513, 511), QByteArray(511, '\0'));
        QCOMPARE(a.right(512), QByteArray(512, '\0'));

        const auto entries = listAll(p("hl.tar"));
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries[0].size, 0);
        QCOMPARE(entries[1].name, QString("dir/hl.txt"));
        QCOMPARE(entries[1].size, 513);
        QCOMPARE(entries[1].permissions, quint16(0644));
        QCOMPARE(entries[1].userId, 1000u);
        QCOMPARE(entries[1].userName, QString("alice"));
        QCOMPARE(entries[1].groupName, QString("staff"));
        QCOMPARE(entries[1].magic, QString("ustar"));
        QVERIFY(entries[1].checksumOk);
        QCOMPARE(entries[1].time, QDateTime::fromSecsSinceEpoch(1234567890, Qt::UTC));
        QCOMPARE(entries[1].headerPosition, 512);
        QCOMPARE(contents(p("hl.tar")).value("dir/hl.txt"), QByteArray(513, 'x'));
    }

    // GNU tar reads what the writer wrote without a word on standard error,
    // and a user who is not root can read the files it extracts.
    void gnuTarReadsOurTarsQuietly()
    {
        QTemporaryDir dir;
        writeFile(dir.filePath("run.sh"), "#!/bin/sh\n");
        writeFile(dir.filePath("notes.txt"), "private notes");
        QVERIFY(QFile::setPermissions(dir.filePath("run.sh"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                                  QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther |
                                                                  QFile::ExeOther));
        QVERIFY(QFile::setPermissions(dir.filePath("notes.txt"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        const QString tar = dir.filePath("modes.tar");
        for (int records : {1, 2}) {
            {
                TTarWriter w(tar);
                w.modesFromFiles = true;
                w.addFile(dir.filePath("run.sh"), "run.sh");
                w.addFile(dir.filePath("notes.txt"), "notes.txt");
                if (records == 2) {  // past one record
                    QBuffer big;
                    big.setData(QByteArray(9000, 'b'));
                    big.open(QIODevice::ReadOnly);
                    w.addStream(big, "big", QDateTime());
                }
            }
            const QByteArray bytes = readFile(tar);
            QCOMPARE(bytes.size() % 10240, 0);
            QCOMPARE(bytes.size() / 10240, records);
            const auto entries = listAll(tar);
            QCOMPARE(entries[0].permissions, quint16(0755));
            QCOMPARE(entries[1].permissions, quint16(0640));
            const Run list = run("tar", {"-tvf", tar});
            QCOMPARE(list.code, 0);
            QCOMPARE(list.errText(), QString());
            const Run bsd = run("bsdtar", {"-tf", tar});
            QCOMPARE(bsd.code, 0);
            QCOMPARE(bsd.errText(), QString());
        }
        // Extracted by an ordinary user, from standard input.
        const QString dest = folderForUser(dir.path(), "as-user");
        const Run x = runAsUser("tar", {"-xf", "-", "-C", dest, "run.sh", "notes.txt"}, readFile(tar));
        QCOMPARE(x.errText(), QString());
        QCOMPARE(x.code, 0);
        QCOMPARE(runAsUser("cat", {dest + "/notes.txt"}).outText(), QString("private notes"));
        QCOMPARE(runAsUser("test", {"-x", dest + "/run.sh"}).code, 0);
        // Without modesFromFiles every entry gets `permissions`.
        {
            TTarWriter w(tar);
            w.permissions = 0600;
            w.addFile(dir.filePath("run.sh"), "run.sh");
        }
        QCOMPARE(listAll(tar).value(0).permissions, quint16(0600));
    }

    void namesAndTimes()
    {
        const QString n100 = QString(96, 'n') + ".txt";
        const QString n250 = QString("deep/") + QString(240, 'L') + ".bin";
        QBuffer data;
        data.setData("abc");
        {
            TTarWriter w(p("names.tar"));
            data.open(QIODevice::ReadOnly);
            w.addStream(data, n100, QDateTime(QDate(1960, 5, 1), QTime(0, 0), Qt::UTC));
            data.seek(0);
            w.addStream(data, n250, QDateTime::currentDateTimeUtc());
            w.addVolumeHeader("LABEL", QDateTime::currentDateTimeUtc());
        }
        const QByteArray a = readFile(p("names.tar"));
        QCOMPARE(a.mid(0, 100), n100.toLatin1()); // no terminating zero byte
        QCOMPARE(a.mid(100, 1), QByteArray("   7", 1)); // next field follows at once
        QCOMPARE(tarformat::getNumber(a.constData() + 136, 12), qint64(0)); // before 1970
        const auto e = listAll(p("names.tar"));
        QCOMPARE(names(e), QStringList() << n100 << n250 << "LABEL");
        QCOMPARE(e[0].mtimeSeconds, 0);
        QCOMPARE(e[2].fileType, TTarFileType::VolumeHeader);
        QCOMPARE(e[2].size, 0);
        QCOMPARE(contents(p("names.tar")).value(n250), QByteArray("abc"));
    }

    void endBlocksAndDataless()
    {
        // Entries: a, a directory claiming 1000 bytes (no data follows), b.
        const QByteArray body = header("a", 3, '0') + pad("abc") + header("d/", 1000, '5')
                                + header("b", 2, '0') + pad("xy");
        writeFile(p("none.tar"), body);
        writeFile(p("one.tar"), body + QByteArray(512, '\0'));
        writeFile(p("two.tar"), body + QByteArray(1024, '\0') + "trailing garbage");
        for (const char* n : {"none.tar", "one.tar", "two.tar"}) {
            const auto e = listAll(p(n));
            QCOMPARE(names(e), QStringList() << "a" << "d/" << "b");
            QCOMPARE(e[1].fileType, TTarFileType::Directory);
            QCOMPARE(contents(p(n)).value("b"), QByteArray("xy"));
        }
        // Unknown type byte and zero byte are regular files.
        QByteArray u = header("u", 1, 'Z') + pad("u");
        QByteArray z = header("z", 1, '0');
        z[156] = '\0';
        z.replace(148, 8, QByteArray(8, ' '));
        QByteArray zf(8, '\0');
        tarformat::putShortOctal(zf.data(), tarformat::checksum345(z.constData()));
        z.replace(148, 8, zf);
        writeFile(p("types.tar"), u + z + pad("z"));
        const auto t = listAll(p("types.tar"));
        QCOMPARE(t.size(), 2);
        QCOMPARE(t[0].fileType, TTarFileType::Regular);
        QCOMPARE(t[1].fileType, TTarFileType::Regular);
    }

    void extensionRecords()
    {
        // pax path/size/mtime override the header; a global record applies on.
        auto rec = [](const QByteArray& kv) {
            QByteArray r = " " + kv + "\n";
            int len = r.size() + 1;
            while (QByteArray::number(len).size() + r.size() != len)
                ++len;
            return QByteArray::number(len) + r;
        };
        const QByteArray g = rec("mtime=1700000000.5");
        const QByteArray x = rec("path=p\xc3\xa4x/long name.txt") + rec("size=5") + rec("bogus=1");
        QByteArray ustar = header("file", 1, '0');
        ustar.replace(257, 8, QByteArray("ustar\0" "00", 8));
        tarformat::putText(ustar.data() + 345, 155, "pre/fix");
        ustar.replace(148, 8, QByteArray(8, ' '));
        QByteArray cs(8, '\0');
        tarformat::putShortOctal(cs.data(), tarformat::checksum512(ustar.constData()));
        ustar.replace(148, 8, cs);
        const QByteArray body = header("g", g.size(), 'g') + pad(g) + header("x", x.size(), 'x') + pad(x)
                                + header("short", 0, '0') + pad("hello")
                                + header("././@LongLink", 9, 'L') + pad("gnu/long\0")
                                + header("ignored", 0, '2').replace(157, 3, "tgt")
                                + ustar + pad("q");
        writeFile(p("ext.tar"), body);
        const auto e = listAll(p("ext.tar"));
        QCOMPARE(names(e), QStringList() << QString::fromUtf8("p\xc3\xa4x/long name.txt") << "gnu/long"
                                         << "pre/fix/file");
        QCOMPARE(e[0].size, 5);
        QCOMPARE(e[0].mtimeSeconds, 1700000000);
        QCOMPARE(e[1].fileType, TTarFileType::SymbolicLink);
        QCOMPARE(e[1].linkName, QString("tgt"));
        QCOMPARE(e[1].mtimeSeconds, 1700000000); // global record
        QVERIFY(e[2].checksumOk);                // full-block checksum of a ustar writer
        QCOMPARE(contents(p("ext.tar")).value(e[0].name), QByteArray("hello"));
    }

    void damagedInput()
    {
        // Wrong checksum: returned, flagged.
        QByteArray bad = header("bad", 1, '0');
        bad[0] = 'B';
        writeFile(p("cs.tar"), bad + pad("1"));
        auto e = listAll(p("cs.tar"));
        QCOMPARE(e.size(), 1);
        QVERIFY(!e[0].checksumOk);

        // Data shorter than the size claims: the walk past it and copying raise.
        writeFile(p("short.tar"), header("big", 1ll << 40, '0') + "abc");
        QVERIFY_THROWS_EXCEPTION(TTarError, listAll(p("short.tar")));
        {
            TTarReader r(p("short.tar"));
            TTarEntry t;
            QVERIFY(r.nextEntry(t));
            QBuffer b;
            b.open(QIODevice::WriteOnly);
            QVERIFY_THROWS_EXCEPTION(TTarError, r.copyEntryData(b));
            QVERIFY_THROWS_EXCEPTION(TTarError, r.copyRange(512, 1 << 20, b));
        }
        // A last header cut short, an oversized extension record, one cut
        // short, and a size no offset sum can hold: each raises.
        writeFile(p("trunc.tar"), header("a", 1, '0') + pad("a") + QByteArray(300, 'x'));
        QVERIFY_THROWS_EXCEPTION(TTarError, listAll(p("trunc.tar")));
        writeFile(p("ext.tar"), header("././@LongLink", 1 << 30, 'L') + QByteArray(512, 'a'));
        QVERIFY_THROWS_EXCEPTION(TTarError, listAll(p("ext.tar")));
        writeFile(p("extshort.tar"), header("././@LongLink", 4000, 'L') + QByteArray(512, 'a'));
        QVERIFY_THROWS_EXCEPTION(TTarError, listAll(p("extshort.tar")));
        const QByteArray huge = "28 size=9223372036854775807\n";
        writeFile(p("hugepax.tar"), header("x", huge.size(), 'x') + pad(huge) + header("h", 0, '0') + QByteArray(1024, '\0'));
        QVERIFY_THROWS_EXCEPTION(TTarError, listAll(p("hugepax.tar")));
        // Malformed pax records are ignored, not trusted.
        const QByteArray x = "99999 path=zzz\n5 a\n";
        writeFile(p("pax.tar"), header("x", x.size(), 'x') + pad(x) + header("real", 0, '0'));
        QCOMPARE(names(listAll(p("pax.tar"))), QStringList() << "real");
        // Random blocks never crash the walk.
        QRandomGenerator rng(7);
        for (int i = 0; i < 200; ++i) {
            QByteArray junk(512 * (1 + rng.bounded(4)), '\0');
            for (auto& c : junk)
                c = char(rng.bounded(256));
            if (i % 2)
                junk.replace(0, 512, header("r", rng.bounded(1 << 20), "0125LKxg"[rng.bounded(8)]));
            writeFile(p("junk.tar"), junk);
            try {
                listAll(p("junk.tar"));
            } catch (const TTarError&) {
            }
        }
        QVERIFY_THROWS_EXCEPTION(TTarError, TTarReader(p("missing.tar")));
    }

    void streamedReading()
    {
        // The same archives read from a file and from a forward-only stream
        // (plain data passes through TGzipReader unchanged, gzip is unpacked).
        const QByteArray data = sampleData(70000, 3);
        const QByteArray x = "15 path=longer\n";
        const QByteArray good = header("skipped", 1000, '0') + pad(QByteArray(1000, 's'))
                                + header("x", x.size(), 'x') + pad(x) + header("kept", data.size(), '0') + pad(data)
                                + QByteArray(1024, '\0');
        writeFile(p("s_good.tar"), good);
        writeFile(p("s_trunc.tar"), header("a", 1, '0') + pad("a") + QByteArray(300, 'x'));
        writeFile(p("s_short.tar"), header("big", 1ll << 40, '0') + "abc");
        writeFile(p("s_ext.tar"), header("././@LongLink", 4000, 'L') + QByteArray(512, 'a'));
        QCOMPARE(run("sh", {"-c", "gzip -c '" + p("s_good.tar") + "' > '" + p("s_good.tar.gz") + "'"}).code, 0);

        auto walk = [](TTarReader& r, bool copy) {
            QStringList seen;
            TTarEntry e;
            try {
                while (r.nextEntry(e)) {
                    seen << e.name;
                    if (copy) {
                        QBuffer b;
                        b.open(QIODevice::WriteOnly);
                        r.copyEntryData(b);
                        seen << QString::number(qChecksum(b.data()));
                    }
                }
            } catch (const TTarError&) {
                seen << "<cut short>";
            }
            return seen;
        };
        for (const QString f : {"s_good.tar", "s_trunc.tar", "s_short.tar", "s_ext.tar", "s_good.tar.gz"}) {
            const QString plain = p(f).remove(".gz");
            for (const bool copy : {false, true}) {
                if (copy && f == QLatin1String("s_short.tar"))
                    continue;
                TTarReader fromFile(plain);
                TGzipReader gz(p(f));
                QVERIFY(gz.open(QIODevice::ReadOnly));
                TTarReader fromStream(gz, f);
                QCOMPARE(walk(fromStream, copy), walk(fromFile, copy));
                QCOMPARE(fromStream.size(), -1);
            }
        }
        QCOMPARE(names(listAll(p("s_good.tar"))), QStringList({"skipped", "longer"}));

        // Data cut short raises on copying; going back is refused.
        TGzipReader gz(p("s_short.tar"));
        QVERIFY(gz.open(QIODevice::ReadOnly));
        TTarReader r(gz, "short");
        TTarEntry e;
        QVERIFY(r.nextEntry(e));
        QBuffer b;
        b.open(QIODevice::WriteOnly);
        QVERIFY_THROWS_EXCEPTION(TTarError, r.copyEntryData(b));
        QVERIFY_THROWS_EXCEPTION(TTarError, r.rewind());
        QVERIFY_THROWS_EXCEPTION(TTarError, r.copyRange(512, 3, b));
    }

    void writerErrors()
    {
        QVERIFY_THROWS_EXCEPTION(TTarError, TTarWriter(p("no/such/dir/x.tar")));
        TTarWriter w(p("err.tar"));
        QVERIFY_THROWS_EXCEPTION(TTarError, w.addFile(p("missing.txt"), "m"));
        w.close();
        // An empty archive: the end marker alone, one record of zeros.
        QCOMPARE(readFile(p("err.tar")), QByteArray(10240, '\0'));
        // A full disk is a raised error, not a silent short archive.
        if (QFile::exists("/dev/full")) {
            writeFile(p("f.bin"), QByteArray(1 << 20, 'f'));
            TTarWriter full("/dev/full", QIODevice::WriteOnly);
            QVERIFY_THROWS_EXCEPTION(TTarError, {
                full.addFile(p("f.bin"), "f.bin");
                full.finish();
            });
        }
    }

    void safeNames()
    {
        QCOMPARE(tarSafeRelativePath("../../etc/passwd"), QString("etc/passwd"));
        QCOMPARE(tarSafeRelativePath("/abs/./x"), QString("abs/x"));
        QCOMPARE(tarSafeRelativePath("a/../b"), QString("a/b"));
        QCOMPARE(tarSafeRelativePath("C:\\win\\x.txt"), QString("win/x.txt"));
        QCOMPARE(tarSafeRelativePath("../"), QString());
        QCOMPARE(tarSafeRelativePath("docs/readme.txt"), QString("docs/readme.txt"));
    }

    void peersReadOurs()
    {
        QUARN_REQUIRE_PEER("tar");
        QUARN_REQUIRE_PEER("bsdtar");
        const QString src = p("ours_src");
        QDir().mkpath(src + "/sub");
        const QString longName = QString("sub/") + QString(150, 'q') + ".dat";
        writeFile(src + "/a.txt", sampleData(70000, 1));
        writeFile(src + "/empty", QByteArray());
        writeFile(src + "/" + longName, sampleData(1234, 2));
        {
            TTarWriter w(p("ours.tar"));
            w.permissions = 0644;
            w.addDirectory("sub", QDateTime::currentDateTimeUtc());
            w.addFile(src + "/a.txt", "a.txt");
            w.addFile(src + "/empty", "empty");
            w.addFile(src + "/" + longName, longName);
        }
        const QStringList expected{"sub/", "a.txt", "empty", longName};
        for (const QString tool : {"tar", "bsdtar"}) {
            const Run l = run(tool, {"-tf", p("ours.tar")});
            QCOMPARE(l.code, 0);
            QCOMPARE(QString::fromUtf8(l.out).split('\n', Qt::SkipEmptyParts), expected);
            const QString out = p("x_" + tool);
            QDir().mkpath(out);
            QCOMPARE(run(tool, {"-xf", p("ours.tar"), "-C", out}).code, 0);
            for (const QString& f : {QString("a.txt"), QString("empty"), longName})
                QCOMPARE(readFile(out + "/" + f), readFile(src + "/" + f));
        }
    }

    void oursReadPeers_data()
    {
        QTest::addColumn<QString>("tool");
        QTest::addColumn<QStringList>("flags");
        QTest::newRow("gnu") << "tar" << QStringList{"--format=gnu"};
        QTest::newRow("pax") << "tar" << QStringList{"--format=pax"};
        QTest::newRow("ustar") << "tar" << QStringList{"--format=ustar"};
        QTest::newRow("bsdtar") << "bsdtar" << QStringList{};
        QTest::newRow("bsdtar-pax") << "bsdtar" << QStringList{"--format=pax"};
    }
    void oursReadPeers()
    {
        QFETCH(QString, tool);
        QFETCH(QStringList, flags);
        QUARN_REQUIRE_PEER(tool);
        const QString tag = QTest::currentDataTag();
        const QString root = p("peer_" + tag);
        // ustar keeps names up to 256 bytes split at a "/": keep within that.
        const QString longDir = QString(tag == "ustar" ? 90 : 130, 'D');
        const QString longFile = QString(tag == "ustar" ? 90 : 120, 'f') + ".txt";
        QDir().mkpath(root + "/top/" + longDir);
        writeFile(root + "/top/plain.txt", sampleData(5000, 3));
        writeFile(root + "/top/" + longDir + "/" + longFile, sampleData(100000, 4));
        writeFile(root + "/top/zero", QByteArray());
        writeFile(root + "/top/ünï.txt", "unicode");
        const QString linkTarget = tag == "ustar" ? QString("plain.txt") : longDir + "/" + longFile;
        QFile::link(linkTarget, root + "/top/" + QString(tag == "ustar" ? 90 : 110, 'S'));
        QStringList args = flags;
        args << "-cf" << p(tag + ".tar") << "top";
        QCOMPARE(run(tool, args, root).code, 0);

        const auto e = listAll(p(tag + ".tar"));
        QStringList n = names(e);
        QVERIFY2(n.contains("top/" + longDir + "/" + longFile), qPrintable(n.join(",")));
        QVERIFY(n.contains("top/ünï.txt"));
        for (const auto& t : e) {
            QVERIFY2(!t.name.contains("PaxHeader") && !t.name.contains("@LongLink"), qPrintable(t.name));
            QVERIFY(t.checksumOk);
            if (t.name.startsWith("top/SSS")) {
                QCOMPARE(t.fileType, TTarFileType::SymbolicLink);
                QCOMPARE(t.linkName, linkTarget);
            }
            if (t.name == "top/" + longDir + "/")
                QCOMPARE(t.fileType, TTarFileType::Directory);
        }
        const auto c = contents(p(tag + ".tar"));
        QCOMPARE(c.value("top/" + longDir + "/" + longFile), readFile(root + "/top/" + longDir + "/" + longFile));
        QCOMPARE(c.value("top/plain.txt"), readFile(root + "/top/plain.txt"));
        QVERIFY(c.contains("top/zero"));
        QCOMPARE(c.value("top/ünï.txt"), QByteArray("unicode"));
    }

    void largeSizeHeader()
    {
        // A size of 8^11 bytes cannot be octal; GNU tar must read our base-256
        // header. Only the header is checked (no 8 GiB of data is written).
        QByteArray h = header("huge", 0, '0');
        tarformat::putLongOctal(h.data() + 124, uint64_t(1) << 33);
        h.replace(148, 8, QByteArray(8, ' '));
        QByteArray cs(8, '\0');
        tarformat::putShortOctal(cs.data(), tarformat::checksum345(h.constData()));
        h.replace(148, 8, cs);
        writeFile(p("huge.tar"), h);
        TTarReader reader(p("huge.tar"));
        TTarEntry e;
        QVERIFY(reader.nextEntry(e));
        QCOMPARE(e.size, qint64(1) << 33);
        QUARN_REQUIRE_PEER("tar");
        const Run r = run("tar", {"-tvf", p("huge.tar")});
        QVERIFY2(r.out.contains("8589934592"), r.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestTar)
#include "test_tar.moc"
