// quarn-cli's tar, tar.gz and gz commands, run through their entry function.

#include "ArchiveCli.h"
#include "FileSizeLimit.h"
#include "TarCli.h"
#include "TestTools.h"
#include "codecs/TarWriter.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <thread>

using namespace testtools;

namespace {
struct Result {
    std::optional<int> code;
    QString out, err;
};

Result cli(const QString& command, const QStringList& args)
{
    Result r;
    QTextStream out(&r.out), err(&r.err);
    r.code = command == "create" ? runTarCli(command, args, err) : runArchiveCli(command, args, out, err);
    out.flush();
    err.flush();
    return r;
}

ino_t inodeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

QStringList listedNames(const QString& out)
{
    QStringList n;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
        n << line.section('\t', 2);
    return n;
}
} // namespace

class TestTarCli : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    QString p(const QString& n) const { return tmp.filePath(n); }

    void makeTree(const QString& root)
    {
        QDir().mkpath(root + "/docs/empty");
        writeFile(root + "/docs/readme.txt", sampleData(3000, 1));
        writeFile(root + "/docs/zero.txt", QByteArray());
        writeFile(root + "/big.bin", sampleData(300000, 2));
        writeFile(root + "/docs/.hidden", "h");
    }

private slots:
    void notOurs()
    {
        QVERIFY(!cli("create", {p("a.zip"), p("x")}).code);
        QVERIFY(!cli("test", {p("a.tar")}).code);
        QCOMPARE(cli("list", {}).code, 2);
        QCOMPARE(tarKindOf("X.TAR.GZ"), TarKind::TarGz);
        QCOMPARE(tarKindOf("a.tgz"), TarKind::TarGz);
        QCOMPARE(tarKindOf("a.Tar"), TarKind::Tar);
        QCOMPARE(tarKindOf("notes.gz"), TarKind::Gz);
        QCOMPARE(tarKindOf("a.tar.zip"), TarKind::None);
        QCOMPARE(cli("extract", {p("a.tar"), "-d"}).code, 2);
        QCOMPARE(cli("extract", {p("a.tar"), "--bogus"}).code, 2);
        QCOMPARE(cli("create", {p("a.tar")}).code, 2);
        QCOMPARE(cli("list", {p("a.tar"), "extra"}).code, 2);
        const Result missing = cli("list", {p("missing.tar")});
        QCOMPARE(missing.code, 1);
        QVERIFY(missing.err.contains("missing.tar"));
    }

    void tarRoundTrip_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::newRow("tar") << "out.tar";
        QTest::newRow("tar.gz") << "out.tar.gz";
        QTest::newRow("tgz") << "out.TGZ";
    }
    void tarRoundTrip()
    {
        QFETCH(QString, archive);
        const QString src = p("src_" + archive);
        makeTree(src + "/tree");
        writeFile(src + "/single.txt", "single");
        QFile(src + "/tree/big.bin").setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const Result c = cli("create", {p(archive), src + "/tree", src + "/single.txt"});
        QCOMPARE(c.code, 0);
        QVERIFY(QDir(p("")).entryList({".quarn-*"}, QDir::AllEntries | QDir::Hidden).isEmpty());

        const Result l = cli("list", {p(archive)});
        QCOMPARE(l.code, 0);
        const QStringList expected{"tree/", "tree/big.bin", "tree/docs/", "tree/docs/.hidden", "tree/docs/empty/",
                                   "tree/docs/readme.txt", "tree/docs/zero.txt", "single.txt"};
        QCOMPARE(listedNames(l.out), expected);
        const QString first = l.out.split('\n').value(1);
        QVERIFY2(QRegularExpression("^300000\t\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\ttree/big.bin$").match(first).hasMatch(),
                 qPrintable(first));

        // The peers read it the same way.
        const Run t = run("tar", {"-tf", p(archive)});
        QCOMPARE(t.code, 0);
        QCOMPARE(QString::fromUtf8(t.out).split('\n', Qt::SkipEmptyParts), expected);
        const Run v = run("tar", {"-tvf", p(archive), "tree/big.bin"});
        QVERIFY2(v.out.startsWith("-rwx------"), v.out.constData());

        const QString out = p("x_" + archive);
        const Result x = cli("extract", {p(archive), "-d", out});
        QCOMPARE(x.code, 0);
        for (const QString f : {"tree/big.bin", "tree/docs/readme.txt", "tree/docs/zero.txt", "tree/docs/.hidden", "single.txt"})
            QCOMPARE(readFile(out + "/" + f), readFile(src + "/" + f));
        QVERIFY(QFileInfo(out + "/tree/docs/empty").isDir());
        QCOMPARE(QFileInfo(out + "/tree/big.bin").lastModified().toSecsSinceEpoch(),
                 QFileInfo(src + "/tree/big.bin").lastModified().toSecsSinceEpoch());

        // Picking names: a folder, a wildcard, and one that matches nothing.
        const QString pick = p("pick_" + archive);
        QCOMPARE(cli("extract", {p(archive), "-d", pick, "tree/docs", "*.txt"}).code, 0);
        QVERIFY(QFile::exists(pick + "/tree/docs/.hidden"));
        QVERIFY(QFile::exists(pick + "/single.txt"));
        QVERIFY(!QFile::exists(pick + "/tree/big.bin"));
        const Result none = cli("extract", {p(archive), "-d", pick, "nothing/here"});
        QCOMPARE(none.code, 1);
        QVERIFY(none.err.contains("no entry matches nothing/here"));
    }

    void overwriteAndHostileNames()
    {
        {
            TTarWriter w(p("hostile.tar"));
            QBuffer b;
            b.setData("evil");
            for (const QString n : {"../evil.txt", "/abs.txt", "ok/../../up.txt", "C:\\win.txt", "ok/file.txt"}) {
                b.open(QIODevice::ReadOnly);
                w.addStream(b, n, QDateTime::currentDateTimeUtc());
                b.close();
            }
        }
        const QString dest = p("hx/dest");
        const Result r = cli("extract", {p("hostile.tar"), "-d", dest});
        QCOMPARE(r.code, 0);
        QVERIFY(QFile::exists(dest + "/evil.txt"));
        QVERIFY(QFile::exists(dest + "/abs.txt"));
        QVERIFY(QFile::exists(dest + "/ok/up.txt"));
        QVERIFY(QFile::exists(dest + "/win.txt"));
        QVERIFY(!QFile::exists(p("hx/evil.txt")));
        QVERIFY(!QFile::exists(p("up.txt")));

        // Existing files are kept unless --overwrite.
        writeFile(dest + "/ok/file.txt", "mine");
        Result k = cli("extract", {p("hostile.tar"), "-d", dest, "ok/file.txt"});
        QCOMPARE(k.code, 0);
        QVERIFY(k.err.contains("exists"));
        QCOMPARE(readFile(dest + "/ok/file.txt"), QByteArray("mine"));
        k = cli("extract", {p("hostile.tar"), "-d", dest, "--overwrite", "ok/file.txt"});
        QCOMPARE(k.code, 0);
        QCOMPARE(readFile(dest + "/ok/file.txt"), QByteArray("evil"));

        // Links from GNU tar: one inside (made), ones pointing out (refused),
        // and a file behind a link that points out is never written through it.
        const QString root = p("links");
        QDir().mkpath(root + "/in");
        writeFile(root + "/in/target.txt", "target");
        QFile::link("target.txt", root + "/in/good");
        QFile::link("../../../outside", root + "/in/bad");
        QFile::link("/etc", root + "/in/abs");
        QCOMPARE(run("tar", {"-cf", p("links.tar"), "in"}, root).code, 0);
        QCOMPARE(run("tar", {"--hard-dereference", "-rf", p("links.tar"), "in/target.txt"}, root).code, 0);
        const QString ld = p("lx");
        const Result lr = cli("extract", {p("links.tar"), "-d", ld});
        QCOMPARE(lr.code, 0);
        QCOMPARE(QFileInfo(ld + "/in/good").symLinkTarget(), QFileInfo(ld + "/in/target.txt").absoluteFilePath());
        QVERIFY(!QFileInfo(ld + "/in/bad").isSymLink());
        QVERIFY(!QFileInfo(ld + "/in/abs").isSymLink());
        QVERIFY(lr.err.contains("outside"));

        // Hard links are links to the file this run extracted, never copies;
        // a hard link to nothing is reported.
        QDir().mkpath(root + "/h");
        writeFile(root + "/h/a", "hard");
        QVERIFY(QFile::exists(root + "/h/a"));
        QCOMPARE(run("ln", {root + "/h/a", root + "/h/b"}).code, 0);
        QCOMPARE(run("tar", {"-cf", p("hard.tar"), "h/a", "h/b"}, root).code, 0);
        QCOMPARE(cli("extract", {p("hard.tar"), "-d", p("hardx")}).code, 0);
        QCOMPARE(readFile(p("hardx/h/b")), QByteArray("hard"));
        QCOMPARE(inodeOf(p("hardx/h/b")), inodeOf(p("hardx/h/a")));
        QCOMPARE(cli("extract", {p("hard.tar"), "-d", p("hardy"), "h/b"}).code, 1);
    }

    void peerArchives()
    {
        const QString root = p("peer");
        makeTree(root + "/t");
        const QString deep = "t/" + QString(120, 'd') + "/" + QString(110, 'f');
        QDir().mkpath(root + "/" + deep.section('/', 0, -2));
        writeFile(root + "/" + deep, "deep");
        QCOMPARE(run("tar", {"-czf", p("gnu.tgz"), "t"}, root).code, 0);
        QCOMPARE(run("bsdtar", {"--format=pax", "-cf", p("bsd.tar"), "t"}, root).code, 0);
        for (const QString a : {"gnu.tgz", "bsd.tar"}) {
            const QString out = p("px_" + a);
            QCOMPARE(cli("extract", {p(a), "-d", out}).code, 0);
            QCOMPARE(readFile(out + "/" + deep), QByteArray("deep"));
            QCOMPARE(readFile(out + "/t/big.bin"), readFile(root + "/t/big.bin"));
            QVERIFY(listedNames(cli("list", {p(a)}).out).contains(deep));
        }
    }

    void streamedTarGz()
    {
        // .tar.gz is read as it is decompressed: no scratch file anywhere.
        const QString scratch = p("scratch");
        QDir().mkpath(scratch);
        const QByteArray oldTmp = qgetenv("TMPDIR");
        qputenv("TMPDIR", scratch.toLocal8Bit());
        const QString root = p("st");
        makeTree(root + "/t");
        writeFile(root + "/t/" + QString(150, 'n') + ".txt", sampleData(5000, 9));
        QCOMPARE(run("ln", {"-s", "big.bin", root + "/t/link"}).code, 0);
        QCOMPARE(run("tar", {"-czf", p("st.tar.gz"), "t"}, root).code, 0);
        QDir().mkpath(p("st_gnu"));
        QCOMPARE(run("tar", {"-xzf", p("st.tar.gz"), "-C", p("st_gnu")}).code, 0);

        const Result l = cli("list", {p("st.tar.gz")});
        QCOMPARE(l.code, 0);
        const Run gnuList = run("tar", {"-tzf", p("st.tar.gz")});
        QCOMPARE(listedNames(l.out), QString::fromUtf8(gnuList.out).split('\n', Qt::SkipEmptyParts));
        QCOMPARE(cli("extract", {p("st.tar.gz"), "-d", p("st_q")}).code, 0);
        QCOMPARE(run("diff", {"-r", "--no-dereference", p("st_gnu"), p("st_q")}).code, 0);

        // Gzip members one after another, split in the middle of an entry.
        QCOMPARE(run("tar", {"-cf", p("st.tar"), "t"}, root).code, 0);
        const QByteArray tar = readFile(p("st.tar"));
        const QByteArray one = run("gzip", {"-c"}, QString(), tar.left(100001)).out;
        const QByteArray two = run("gzip", {"-c"}, QString(), tar.mid(100001)).out;
        writeFile(p("cat.tgz"), one + two);
        QCOMPARE(cli("extract", {p("cat.tgz"), "-d", p("st_cat")}).code, 0);
        QCOMPARE(run("diff", {"-r", "--no-dereference", p("st_gnu"), p("st_cat")}).code, 0);

        // Cut short, or with a damaged trailer after the last entry: exit 1,
        // and every file that was written is whole.
        QByteArray gz = readFile(p("st.tar.gz"));
        writeFile(p("cut.tar.gz"), gz.left(gz.size() / 2));
        gz[gz.size() - 6] = char(~gz[gz.size() - 6]);
        writeFile(p("crc.tar.gz"), gz);
        for (const QString a : {"cut.tar.gz", "crc.tar.gz"}) {
            Result r = cli("list", {p(a)});
            QCOMPARE(r.code, 1);
            QVERIFY(r.err.contains(p(a) + " is damaged"));
            const QString out = p("st_" + a);
            r = cli("extract", {p(a), "-d", out});
            QCOMPARE(r.code, 1);
            QVERIFY(r.err.contains(p(a) + " is damaged"));
            QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString f = it.next();
                QCOMPARE(readFile(f), readFile(root + f.mid(out.size())));
            }
        }
        QVERIFY(QDir(scratch).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
        if (oldTmp.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", oldTmp);
    }

    void gzFiles()
    {
        const QByteArray data = sampleData(100000, 4);
        writeFile(p("notes.txt"), data);
        QCOMPARE(cli("create", {p("any name.gz"), p("notes.txt")}).code, 0);
        const Run d = run("gzip", {"-dc", p("any name.gz")});
        QCOMPARE(d.code, 0);
        QCOMPARE(d.out, data);
        const Result l = cli("list", {p("any name.gz")});
        QCOMPARE(l.code, 0);
        QCOMPARE(listedNames(l.out), QStringList{"notes.txt"});
        QVERIFY(l.out.startsWith(QString::number(QFileInfo(p("any name.gz")).size()) + "\t"));

        QCOMPARE(cli("extract", {p("any name.gz"), "-d", p("gzx")}).code, 0);
        QCOMPARE(readFile(p("gzx/notes.txt")), data);
        QCOMPARE(cli("create", {p("two.gz"), p("notes.txt"), p("notes.txt")}).code, 2);
        QCOMPARE(cli("create", {p("dir.gz"), p("gzx")}).code, 2);

        // A damaged gz fails and leaves an existing file as it was.
        QByteArray gz = readFile(p("any name.gz"));
        gz.chop(20);
        writeFile(p("cut.gz"), gz);
        writeFile(p("gzx/notes.txt"), "keep me");
        const Result bad = cli("extract", {p("cut.gz"), "-d", p("gzx"), "--overwrite"});
        QCOMPARE(bad.code, 1);
        QVERIFY(bad.err.contains("damaged"));
        QCOMPARE(readFile(p("gzx/notes.txt")), QByteArray("keep me"));
        QVERIFY(QDir(p("gzx")).entryList(QDir::Files) == QStringList{"notes.txt"});

        // No stored name: the archive's name without ".gz".
        QCOMPARE(run("sh", {"-c", "gzip -n -c '" + p("notes.txt") + "' > '" + p("plain.gz") + "'"}).code, 0);
        QCOMPARE(cli("extract", {p("plain.gz"), "-d", p("gzy")}).code, 0);
        QCOMPARE(readFile(p("gzy/plain")), data);
    }

    // The part file has a name of its own: a file of the user's with any
    // name beside the archive stays, and two runs making the same archive at
    // once both succeed, one of them leaving its whole archive.
    void scratchNamesOfTheirOwn()
    {
        const QString folder = p("own");
        QDir().mkpath(folder);
        const QString archive = folder + "/same.tar";
        writeFile(archive + ".quarn-part", "the user's file");
        QMap<QString, QByteArray> sources;
        for (const char* name : {"first", "second"}) {
            const QByteArray data = sampleData(12 << 20, qHash(QByteArray(name)));
            writeFile(p(name) + "/data.bin", data);
            sources.insert(QString::fromLatin1(name), data);
        }
        QCOMPARE(cli("create", {archive, p("first")}).code, 0);
        QCOMPARE(readFile(archive + ".quarn-part"), QByteArray("the user's file"));
        Result results[2];
        std::thread second([&] { results[1] = cli("create", {archive, p("second")}); });
        results[0] = cli("create", {archive, p("first")});
        second.join();
        QCOMPARE(results[0].code, 0);
        QVERIFY2(results[1].code == 0, qPrintable(results[1].err));
        QCOMPARE(readFile(archive + ".quarn-part"), QByteArray("the user's file"));
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), (QStringList{"same.tar", "same.tar.quarn-part"}));
        const Result x = cli("extract", {archive, "-d", p("own-out")});
        QCOMPARE(x.code, 0);
        const QStringList made = QDir(p("own-out")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(made.size(), 1);
        QCOMPARE(readFile(p("own-out/") + made[0] + "/data.bin"), sources.value(made[0]));
    }

    void failures()
    {
        // A corrupt tar and a corrupt tar.gz: exit 1 with a message.
        writeFile(p("junk.tar"), QByteArray(512, 'j') + QByteArray(512, '\0'));
        Result r = cli("extract", {p("junk.tar"), "-d", p("jx")});
        QCOMPARE(r.code, 1);
        QVERIFY(!r.err.isEmpty());
        writeFile(p("junk.tgz"), "\x1f\x8b\x08\x00garbage garbage");
        r = cli("list", {p("junk.tgz")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("damaged"));
        // A missing source and an unwritable folder: nothing half-made is left.
        r = cli("create", {p("m.tar"), p("no-such-file")});
        QCOMPARE(r.code, 1);
        QVERIFY(!QFile::exists(p("m.tar")));
        QVERIFY(QDir(p("")).entryList({".quarn-*"}, QDir::AllEntries | QDir::Hidden).isEmpty());
        // A tar.gz stopped after its compressors have started, by a missing
        // source or a full disk: no archive, no part file, no scratch files.
        QDir().mkpath(p("stopped"));
        writeFile(p("big.dat"), sampleData(3 << 20, 12));
        r = cli("create", {p("stopped/m.tar.gz"), p("big.dat"), p("no-such-file")});
        QCOMPARE(r.code, 1);
        QVERIFY(r.err.contains("no-such-file"));
        QCOMPARE(QDir(p("stopped")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        QVERIFY(WithFileSizeLimit(200000, [&] { r = cli("create", {p("stopped/full.tar.gz"), p("big.dat")}); }));
        QCOMPARE(r.code, 1);
        QCOMPARE(QDir(p("stopped")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        // A destination below a plain file cannot be made (works as root too).
        writeFile(p("f.txt"), "f");
        r = cli("create", {p("f.txt/a.tar.gz"), p("f.txt")});
        QCOMPARE(r.code, 1);
        QVERIFY(!r.err.isEmpty());
        r = cli("create", {p("f.txt/a.tar"), p("f.txt")});
        QCOMPARE(r.code, 1);
        r = cli("extract", {p("hostile.tar"), "-d", p("f.txt/sub")});
        QCOMPARE(r.code, 1);
        QCOMPARE(readFile(p("f.txt")), QByteArray("f"));
        // Recreating an archive inside the folder being stored skips itself.
        QDir().mkpath(p("self"));
        writeFile(p("self/a.txt"), "a");
        QCOMPARE(cli("create", {p("self/self.tar"), p("self")}).code, 0);
        QCOMPARE(cli("create", {p("self/self.tar"), p("self")}).code, 0);
        QCOMPARE(listedNames(cli("list", {p("self/self.tar")}).out), QStringList({"self/", "self/a.txt"}));
    }
};

QTEST_GUILESS_MAIN(TestTarCli)
#include "test_tarcli.moc"
