// quarn-cli's zip commands, run as a program: what it writes is checked by
// the peer tools, what the peer tools write must come back byte for byte.

#include "CliTools.h"

#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

using namespace clitools;

class TestCli : public QObject {
    Q_OBJECT
    FreshFolders tmp;

    // A fresh folder for one case.
    QString fresh() { return tmp.fresh(); }

    static void checkWithPeers(const QString& zip, const QString& password)
    {
        Run r = run("unzip", password.isEmpty() ? QStringList{"-t", zip} : QStringList{"-t", "-P", password, zip});
        QVERIFY2(r.code == 0, qPrintable("unzip -t: " + r.outText() + r.errText()));
        QUARN_REQUIRE_PEER("7z");
        {
            r = run("7z", {"t", "-p" + (password.isEmpty() ? QString("x") : password), zip});
            QVERIFY2(r.code == 0, qPrintable("7z t: " + r.outText() + r.errText()));
        }
        QUARN_REQUIRE_PEER("bsdtar");
        {
            r = run("bsdtar", {"-tf", zip});
            QVERIFY2(r.code == 0, qPrintable("bsdtar -tf: " + r.outText() + r.errText()));
        }
        r = python("import sys, zipfile\n"
                   "z = zipfile.ZipFile(sys.argv[1])\n"
                   "if sys.argv[2]: z.setpassword(sys.argv[2].encode())\n"
                   "bad = z.testzip()\n"
                   "sys.exit(0 if bad is None else 1)\n",
                   {zip, password});
        QVERIFY2(r.code == 0, qPrintable("python testzip: " + r.outText() + r.errText()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(cliPath()), "quarn-cli not built");
        QVERIFY(tmp.isValid());
    }

    void helpAndUsage()
    {
        Run r = cli({"--help"});
        QCOMPARE(r.code, 0);
        for (const char* c : {"list", "extract", "create", "add", "delete", "test", "--overwrite", "--password", "--level"})
            QVERIFY2(r.outText().contains(c), c);
        QCOMPARE(cli({"extract", "a.zip", "--help"}).code, 0);

        const QString d = fresh();
        QCOMPARE(cli({}).code, 2);
        QCOMPARE(cli({"frobnicate", "a.zip"}).code, 2);
        QCOMPARE(cli({"list"}).code, 2);
        QCOMPARE(cli({"list", "a.zip", "extra"}).code, 2);
        QCOMPARE(cli({"create", d + "/a.zip"}).code, 2);
        QCOMPARE(cli({"create", d + "/a.zip", "--level", "10", d}).code, 2);
        QCOMPARE(cli({"create", d + "/a.zip", "--level", "x", d}).code, 2);
        QCOMPARE(cli({"extract", d + "/a.zip", "-d"}).code, 2);
        QCOMPARE(cli({"extract", d + "/a.zip", "--bogus"}).code, 2);
        QCOMPARE(cli({"delete", d + "/a.zip"}).code, 2);
        QCOMPARE(cli({"test", d + "/a.zip", "name"}).code, 2);
        // The zip-only commands on a tar name.
        QCOMPARE(cli({"test", d + "/a.tar"}).code, 2);
        QCOMPARE(cli({"delete", d + "/a.tgz", "x"}).code, 2);
        // Nothing was made by any of these.
        QVERIFY(!QFileInfo::exists(d + "/a.zip"));
    }

    void roundTrip_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("password");
        QTest::newRow("deflated") << 8 << QString();
        QTest::newRow("stored") << 0 << QString();
        QTest::newRow("deflated-fast") << 1 << QString();
        QTest::newRow("deflated-password") << 6 << QString("s3cret pass");
        QTest::newRow("stored-password") << 0 << QString::fromUtf8("pässwörd");
    }

    void roundTrip()
    {
        QFETCH(int, level);
        QFETCH(QString, password);
        const QString d = fresh();
        makeTree(d + "/in/tree");
        const QString zip = d + "/out.zip";
        QStringList args{"create", zip, "--level", QString::number(level)};
        if (!password.isEmpty())
            args << "--password" << password;
        args << d + "/in/tree";
        Run r = cli(args);
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        checkWithPeers(zip, password);
        if (QTest::currentTestFailed())
            return;

        // The listing: size, date, name with "/", folders (also the empty one) included.
        r = cli({"list", zip});
        QCOMPARE(r.code, 0);
        const QStringList lines = r.outText().split('\n', Qt::SkipEmptyParts);
        QMap<QString, QString> sizes;
        for (const QString& line : lines) {
            const QStringList f = line.split('\t');
            QCOMPARE(f.size(), 3);
            QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$").match(f[1]).hasMatch(), qPrintable(f[1]));
            sizes.insert(f[2], f[0]);
        }
        QCOMPARE(sizes.value("tree/noise.bin"), QString("150000"));
        QCOMPARE(sizes.value("tree/docs/zero.txt"), QString("0"));
        QVERIFY(sizes.contains("tree/docs/empty/"));
        QVERIFY(sizes.contains("tree/docs/.hidden"));
        QVERIFY(sizes.contains(QString::fromUtf8("tree/Grüße/Ünïcødé ✓.txt")));
        // Python sees the same names (the UTF-8 flag is set where needed).
        r = python("import sys, zipfile\nprint('\\n'.join(zipfile.ZipFile(sys.argv[1]).namelist()))", {zip});
        QVERIFY(r.outText().contains(QString::fromUtf8("tree/Grüße/Ünïcødé ✓.txt")));

        if (level == 0) {
            r = python("import sys, zipfile\nprint(set(i.compress_type for i in zipfile.ZipFile(sys.argv[1]).infolist()))", {zip});
            QCOMPARE(r.outText().trimmed(), QString("{0}"));
        }

        // And back, byte for byte.
        QStringList ex{"extract", zip, "-d", d + "/back"};
        if (!password.isEmpty())
            ex << "--password" << password;
        r = cli(ex);
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        QCOMPARE(snapshot(d + "/back/tree"), snapshot(d + "/in/tree"));
        r = cli(password.isEmpty() ? QStringList{"test", zip} : QStringList{"test", zip, "--password", password});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        QVERIFY(r.outText().contains("No errors"));
    }

    void createNamesRelativeToEachParent()
    {
        const QString d = fresh();
        writeFile(d + "/one/deep/a.txt", "a");
        writeFile(d + "/two/b.txt", "b");
        const QString zip = d + "/set.zip";
        Run r = cli({"create", zip, d + "/one/deep", d + "/two/b.txt"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        r = cli({"list", zip});
        QStringList names;
        for (const QString& l : r.outText().split('\n', Qt::SkipEmptyParts))
            names << l.section('\t', 2);
        names.sort();
        QCOMPARE(names, (QStringList{"b.txt", "deep/", "deep/a.txt"}));

        // create replaces what was there; the old entries are gone.
        r = cli({"create", zip, d + "/two"});
        QCOMPARE(r.code, 0);
        r = cli({"list", zip});
        QVERIFY(!r.outText().contains("deep"));
        QVERIFY(r.outText().contains("two/b.txt"));

        // A missing path: nothing is made or changed.
        const QByteArray before = readFile(zip);
        r = cli({"create", zip, d + "/two", d + "/missing"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.errText().contains("missing"));
        QCOMPARE(readFile(zip), before);
        QCOMPARE(cli({"create", d + "/never.zip", d + "/missing"}).code, 1);
        QVERIFY(!QFileInfo::exists(d + "/never.zip"));
        // No scratch files are left beside the archives.
        QCOMPARE(QDir(d).entryList(QDir::Files | QDir::Hidden), (QStringList{"set.zip"}));
    }

    void peerArchivesExtract_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("zip -r") << "zip";
        QTest::newRow("zip -e") << "zip-encrypted";
        QTest::newRow("zip streamed") << "zip-stream";
        QTest::newRow("zip -0") << "zip-stored";
        QTest::newRow("python deflated") << "python";
        QTest::newRow("python stored") << "python-stored";
        QTest::newRow("7z") << "7z";
    }

    void peerArchivesExtract()
    {
        QFETCH(QString, kind);
        const QString d = fresh();
        makeTree(d + "/src/tree");
        const QString zip = d + "/peer.zip";
        QString password;
        Run r;
        if (kind == "zip") {
            r = run("zip", {"-r", "-q", zip, "tree"}, d + "/src");
        } else if (kind == "zip-stored") {
            r = run("zip", {"-r", "-q", "-0", zip, "tree"}, d + "/src");
        } else if (kind == "zip-encrypted") {
            password = "peer pw";
            r = run("zip", {"-r", "-q", "-e", "-P", password, zip, "tree"}, d + "/src");
        } else if (kind == "zip-stream") {
            // Streamed output: sizes and CRCs only in data descriptors.
            r = run("sh", {"-c", "zip -q -r - tree | cat > '" + zip + "'"}, d + "/src");
        } else if (kind.startsWith("python")) {
            const QString method = kind == "python" ? "zipfile.ZIP_DEFLATED" : "zipfile.ZIP_STORED";
            r = python("import os, sys, zipfile\n"
                       "with zipfile.ZipFile(sys.argv[1], 'w', " + method + ") as z:\n"
                       "    for base, dirs, files in os.walk('tree'):\n"
                       "        for n in dirs: z.write(os.path.join(base, n))\n"
                       "        for n in files: z.write(os.path.join(base, n))\n",
                       {zip}, d + "/src");
        } else if (kind == "7z") {
            QUARN_REQUIRE_PEER("7z");
            r = run("7z", {"a", "-tzip", "-bd", zip, "tree"}, d + "/src");
        }
        QVERIFY2(r.code == 0, qPrintable(kind + ": " + r.outText() + r.errText()));
        if (kind == "zip-stream") {
            // The descriptor flag is really there.
            QCOMPARE(descriptorFlags(zip), QString("True"));
        }
        QStringList ex{"extract", zip, "-d", d + "/out"};
        if (!password.isEmpty())
            ex << "--password" << password;
        r = cli(ex);
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        // Every file is there byte for byte (empty folders only where the tool stores them).
        sameFiles(d + "/src/tree", d + "/out/tree");
        if (QTest::currentTestFailed())
            return;
        r = cli(password.isEmpty() ? QStringList{"test", zip} : QStringList{"test", zip, "--password", password});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
    }

    void hostileNamesStayInside()
    {
        const QString d = fresh();
        const QString zip = d + "/evil.zip";
        Run r = python("import sys, zipfile\n"
                       "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                       "    for n in ['../x1', '/etc/x2', 'a/../../x3', 'C:\\\\x4', '..\\\\..\\\\x5', './/./x6', 'C:/x7']:\n"
                       "        i = zipfile.ZipInfo('tmp')\n"
                       "        i.filename = n\n"
                       "        z.writestr(i, 'payload ' + n)\n",
                       {zip});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        const QString dest = d + "/jail/dest";
        QDir().mkpath(dest);
        r = cli({"extract", zip, "-d", dest});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        // Nothing outside the destination: d holds only the archive and jail/dest.
        QCOMPARE(QDir(d).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), (QStringList{"evil.zip", "jail"}));
        QCOMPARE(QDir(d + "/jail").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"dest"});
        const QStringList files = filesBelow(dest);
        QCOMPARE(files.size(), 7);
        for (int i = 1; i <= 7; ++i) {
            bool found = false;
            for (const QString& f : files)
                found = found || f.endsWith("x" + QString::number(i));
            QVERIFY2(found, qPrintable(QString::number(i)));
        }
        QVERIFY(QFileInfo::exists(dest + "/x1"));
        QVERIFY(QFileInfo::exists(dest + "/etc/x2"));
        QVERIFY(QFileInfo::exists(dest + "/a/x3"));
        QCOMPARE(readFile(dest + "/x1"), QByteArray("payload ../x1"));
    }

    void wrongPasswordWritesNothing()
    {
        const QString d = fresh();
        writeFile(d + "/in/a.txt", sampleData(4000, 9));
        writeFile(d + "/in/b.txt", sampleData(10, 10));
        const QString zip = d + "/enc.zip";
        QCOMPARE(run("zip", {"-q", "-j", "-P", "right", zip, d + "/in/a.txt", d + "/in/b.txt"}).code, 0);
        Run r = cli({"extract", zip, "-d", d + "/out", "--password", "wrong"});
        QCOMPARE(r.code, 1);
        QVERIFY(!r.errText().isEmpty());
        QCOMPARE(filesBelow(d + "/out"), QStringList());
        // No password at all: the same.
        r = cli({"extract", zip, "-d", d + "/out2"});
        QCOMPARE(r.code, 1);
        QCOMPARE(filesBelow(d + "/out2"), QStringList());
        QCOMPARE(cli({"test", zip, "--password", "wrong"}).code, 1);
        QCOMPARE(cli({"test", zip, "--password", "right"}).code, 0);
    }

    void overwriteAndSelection()
    {
        const QString d = fresh();
        makeTree(d + "/in/tree");
        const QString zip = d + "/t.zip";
        QCOMPARE(cli({"create", zip, d + "/in/tree"}).code, 0);
        const QString out = d + "/out";
        Run r = cli({"extract", zip, "-d", out, "tree/docs/readme.txt", "tree/Gr*"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        QStringList got = filesBelow(out);
        got.sort();
        QCOMPARE(got, (QStringList{QString::fromUtf8("tree/Grüße/Ünïcødé ✓.txt"), "tree/docs/readme.txt"}));

        writeFile(out + "/tree/docs/readme.txt", "mine");
        r = cli({"extract", zip, "-d", out});
        QCOMPARE(r.code, 0);
        QVERIFY(r.errText().contains("readme.txt"));
        QCOMPARE(readFile(out + "/tree/docs/readme.txt"), QByteArray("mine"));
        QCOMPARE(readFile(out + "/tree/text.txt"), readFile(d + "/in/tree/text.txt"));
        r = cli({"extract", zip, "-d", out, "--overwrite"});
        QCOMPARE(r.code, 0);
        QCOMPARE(readFile(out + "/tree/docs/readme.txt"), readFile(d + "/in/tree/docs/readme.txt"));

        // A name that picks nothing is a failure.
        QCOMPARE(cli({"extract", zip, "-d", d + "/none", "no/such/name"}).code, 1);
    }

    void addAndDelete()
    {
        const QString d = fresh();
        makeTree(d + "/in/tree");
        const QString zip = d + "/t.zip";
        QCOMPARE(cli({"create", zip, d + "/in/tree"}).code, 0);

        // add: a new file, and one that replaces an entry of the same name.
        writeFile(d + "/extra/new.txt", "new");
        writeFile(d + "/other/tree/text.txt", "replaced");
        Run r = cli({"add", zip, d + "/extra/new.txt"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        r = cli({"add", zip, d + "/other/tree"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        checkWithPeers(zip, QString());
        r = cli({"extract", zip, "-d", d + "/o1"});
        QCOMPARE(r.code, 0);
        QCOMPARE(readFile(d + "/o1/new.txt"), QByteArray("new"));
        QCOMPARE(readFile(d + "/o1/tree/text.txt"), QByteArray("replaced"));
        QCOMPARE(readFile(d + "/o1/tree/noise.bin"), readFile(d + "/in/tree/noise.bin"));
        // add makes a missing archive.
        QCOMPARE(cli({"add", d + "/made.zip", d + "/extra/new.txt"}).code, 0);
        QVERIFY(cli({"list", d + "/made.zip"}).outText().contains("new.txt"));

        // delete: a file and a whole folder by pattern.
        r = cli({"delete", zip, "tree/text.txt", "tree/docs/*"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        r = cli({"list", zip});
        QVERIFY(!r.outText().contains("tree/text.txt"));
        QVERIFY(!r.outText().contains("readme.txt"));
        QVERIFY(r.outText().contains("tree/noise.bin"));
        checkWithPeers(zip, QString());
        r = cli({"extract", zip, "-d", d + "/o2"});
        QCOMPARE(readFile(d + "/o2/tree/noise.bin"), readFile(d + "/in/tree/noise.bin"));

        // Deleting what is not there changes nothing.
        const QByteArray before = readFile(zip);
        r = cli({"delete", zip, "no/such"});
        QCOMPARE(r.code, 1);
        QVERIFY(!r.errText().isEmpty());
        QCOMPARE(readFile(zip), before);
        QCOMPARE(cli({"delete", d + "/missing.zip", "x"}).code, 1);
    }

    // Names that differ only in case are different entries: naming one
    // deletes or extracts that one alone; a pattern still ignores case.
    void namesDifferingInCaseStayApart()
    {
        const QString d = fresh();
        writeFile(d + "/in/a.txt", "lower");
        writeFile(d + "/in/A.TXT", "upper");
        writeFile(d + "/in/b.txt", "b");
        const QString zip = d + "/c.zip";
        QCOMPARE(cli({"create", zip, d + "/in/a.txt", d + "/in/A.TXT", d + "/in/b.txt"}).code, 0);

        Run r = cli({"extract", zip, "-d", d + "/o", "a.txt"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        QCOMPARE(filesBelow(d + "/o"), QStringList{"a.txt"});
        QCOMPARE(readFile(d + "/o/a.txt"), QByteArray("lower"));

        r = cli({"delete", zip, "a.txt"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        r = cli({"list", zip});
        QVERIFY(r.outText().contains("\tA.TXT\n"));
        QVERIFY(!r.outText().contains("\ta.txt\n"));

        r = cli({"delete", zip, "*.TXT"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        QCOMPARE(cli({"list", zip}).outText(), QString());
    }

    void unreadableFileLeavesArchiveAlone()
    {
        const QString d = fresh();
        writeFile(d + "/in/a.txt", sampleData(3000, 5));
        const QString zip = d + "/t.zip";
        QCOMPARE(cli({"create", zip, d + "/in/a.txt"}).code, 0);
        const QByteArray before = readFile(zip);
        // Reading /proc/self/mem from its start fails for everyone, root included.
        QStringList unreadable{"/proc/self/mem"};
        if (::geteuid() != 0) {
            writeFile(d + "/locked.txt", "locked");
            QFile::setPermissions(d + "/locked.txt", QFileDevice::Permissions());
            unreadable << d + "/locked.txt";
        }
        for (const QString& u : unreadable) {
            Run r = cli({"add", zip, u});
            QVERIFY2(r.code == 1, qPrintable(u));
            QVERIFY(!r.errText().isEmpty());
            QCOMPARE(readFile(zip), before);
            // Nor is an archive made out of nothing.
            r = cli({"add", d + "/new.zip", u});
            QCOMPARE(r.code, 1);
            QVERIFY(!QFileInfo::exists(d + "/new.zip"));
        }
        // With a second folder (built under a scratch name) the same holds.
        Run r = cli({"add", zip, d + "/in/a.txt", "/proc/self/mem"});
        QCOMPARE(r.code, 1);
        QCOMPARE(readFile(zip), before);
        QCOMPARE(QDir(d).entryList(QDir::Files | QDir::Hidden), (QStringList{"t.zip"}));
    }

    // Warnings the engine reads past do not fail a command; names are listed
    // one per line whatever they hold; .tgz opens like .tar.gz.
    void warningsEscapesAndTgz()
    {
        const QString d = fresh();
        writeFile(d + "/in/a.txt", "a");
        QCOMPARE(cli({"create", d + "/good.zip", d + "/in/a.txt"}).code, 0);
        writeFile(d + "/tail.zip", readFile(d + "/good.zip") + QByteArray(17, 'x'));
        for (const QStringList& cmd : {QStringList{"list", d + "/tail.zip"}, QStringList{"test", d + "/tail.zip"},
                                       QStringList{"extract", d + "/tail.zip", "-d", d + "/out"}}) {
            const Run r = cli(cmd);
            QVERIFY2(r.code == 0, qPrintable(cmd.join(' ') + ": " + r.errText()));
            QVERIFY2(!r.errText().isEmpty(), qPrintable(cmd.join(' ')));
        }
        QCOMPARE(readFile(d + "/out/a.txt"), QByteArray("a"));

        const Run made = python("import sys, io, tarfile\n"
                                "t = tarfile.open(sys.argv[1], 'w:gz')\n"
                                "for n in ['two\\nlines', 'esc\\x1b[31m', 'back\\\\slash\\tab']:\n"
                                "    i = tarfile.TarInfo(n); i.size = 1; t.addfile(i, io.BytesIO(b'x'))\n"
                                "t.close()\n",
                                {d + "/names.tgz"});
        QCOMPARE(made.code, 0);
        const Run l = cli({"list", d + "/names.tgz"});
        QCOMPARE(l.code, 0);
        const QStringList lines = l.outText().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0].section('\t', 2), QString("two\\nlines"));
        QCOMPARE(lines[1].section('\t', 2), QString("esc\\x1b[31m"));
        QCOMPARE(lines[2].section('\t', 2), QString("back\\\\slash\\tab"));
        QVERIFY(!l.out.contains('\x1b'));

        // A ".zip" that is a gzip stream gets a message that says so.
        QCOMPARE(run("sh", {"-c", "gzip -c a.txt > ../fake.zip"}, d + "/in").code, 0);
        const Run f = cli({"list", d + "/fake.zip"});
        QCOMPARE(f.code, 1);
        QVERIFY2(f.errText().contains("gzip"), qPrintable(f.errText()));
    }

    void damagedArchives()
    {
        const QString d = fresh();
        writeFile(d + "/junk.zip", "this is not a zip archive at all");
        writeFile(d + "/empty.zip", QByteArray());
        makeTree(d + "/in/tree");
        QCOMPARE(cli({"create", d + "/good.zip", d + "/in/tree"}).code, 0);
        const QByteArray good = readFile(d + "/good.zip");
        // Cut short inside its directory: what is whole is still read (tested
        // with the other lying zips), but nothing is written over it.
        writeFile(d + "/cut.zip", good.left(good.size() - 60));
        // One byte of compressed data changed: the CRC or the inflater notices.
        QByteArray flipped = good;
        const qsizetype at = flipped.indexOf("tree/text.txt") + 13 + 200;
        flipped[at] = char(flipped[at] ^ 0x55);
        writeFile(d + "/flipped.zip", flipped);

        const QByteArray cutBefore = readFile(d + "/cut.zip");
        QCOMPARE(cli({"delete", d + "/cut.zip", "tree/text.txt"}).code, 1);
        QCOMPARE(readFile(d + "/cut.zip"), cutBefore);
        for (const char* name : {"junk.zip", "empty.zip", "missing.zip"}) {
            const QString zip = d + "/" + name;
            for (const QStringList& cmd : {QStringList{"list", zip}, QStringList{"test", zip},
                                           QStringList{"extract", zip, "-d", d + "/out"},
                                           QStringList{"delete", zip, "tree/text.txt"}}) {
                const QByteArray before = readFile(zip);
                Run r = cli(cmd);
                QVERIFY2(r.code == 1, qPrintable(cmd.join(' ') + " -> " + QString::number(r.code)));
                QVERIFY2(!r.errText().isEmpty(), qPrintable(cmd.join(' ')));
                QCOMPARE(readFile(zip), before);
            }
        }
        QCOMPARE(filesBelow(d + "/out"), QStringList());
        Run r = cli({"test", d + "/flipped.zip"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.errText().contains("text.txt"));
        r = cli({"extract", d + "/flipped.zip", "-d", d + "/out3"});
        QCOMPARE(r.code, 1);
        QVERIFY(!QFileInfo::exists(d + "/out3/tree/text.txt"));
        QCOMPARE(readFile(d + "/out3/tree/noise.bin"), readFile(d + "/in/tree/noise.bin"));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
