// Zips whose records lie or disagree, and archives in awkward places: every
// command takes the same view of them, refusals leave the file byte for byte,
// and what surrounds a zip (a stub, a link, other hard links) survives an update.

#include "CliTools.h"
#include "../zipengine/ZipBuilder.h"

#include <QtTest>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

using namespace clitools;

namespace {

// Names quarn-cli lists, one per line.
QStringList listed(const QString& zip)
{
    Run r = cli({"list", zip});
    QStringList names;
    for (const QString& line : r.outText().split('\n', Qt::SkipEmptyParts))
        names << line.section('\t', 2);
    return names;
}

void putLe16(QByteArray& b, qsizetype at, uint16_t v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

// Files (and folders) below `root` other than those named.
QStringList leftovers(const QString& root, const QStringList& expected)
{
    QStringList extra;
    for (const QString& f : QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        if (!expected.contains(f))
            extra << f;
    return extra;
}

} // namespace

class TestCliLying : public QObject {
    Q_OBJECT
    FreshFolders tmp;

    // list, test and extract of `zip` agree on `names`; add and delete are
    // refused with `why` and leave the file as it was.
    void sameViewAndNoRewrite(const QString& zip, const QStringList& names, const QString& why)
    {
        const QString d = QFileInfo(zip).absolutePath();
        QCOMPARE(listed(zip), names);
        Run t = cli({"test", zip});
        for (const QString& n : names)
            QVERIFY2(!t.errText().contains(n), qPrintable(t.errText()));
        const QString out = d + "/out-" + QFileInfo(zip).baseName();
        cli({"extract", zip, "-d", out});
        QStringList got = filesBelow(out);
        QStringList want = names;
        got.sort();
        want.sort();
        QCOMPARE(got, want);

        const QByteArray before = readFile(zip);
        writeFile(d + "/new.txt", "new");
        for (const QStringList& cmd : {QStringList{"add", zip, d + "/new.txt"}, QStringList{"delete", zip, names.first()}}) {
            Run r = cli(cmd);
            QVERIFY2(r.code == 1, qPrintable(cmd.join(' ')));
            QVERIFY2(r.errText().contains(why), qPrintable(r.errText()));
            QCOMPARE(readFile(zip), before);
        }
    }

private slots:
    void initTestCase() { QVERIFY2(QFileInfo::exists(cliPath()), "quarn-cli not built"); }

    void endRecordCountingFewerEntries()
    {
        const QString d = tmp.fresh();
        ZipBuilder z;
        z.add("first.txt", "one");
        z.add("second.txt", "two");
        QByteArray b = z.build();
        putLe16(b, b.size() - 22 + 8, 1);
        putLe16(b, b.size() - 22 + 10, 1);
        writeFile(d + "/count.zip", b);
        sameViewAndNoRewrite(d + "/count.zip", {"first.txt", "second.txt"}, "structure");
        // The test says so too.
        QVERIFY(cli({"test", d + "/count.zip"}).errText().contains("counts 1 entries"));
    }

    void secondEndRecordBehindACommentRunningPastTheEnd()
    {
        // An innocent archive, then another whose end record declares a
        // comment longer than the file: every reader takes the last end record.
        const QString d = tmp.fresh();
        ZipBuilder shown, hidden;
        shown.add("invoice.pdf", "%PDF");
        hidden.add("run_me.sh", "#!/bin/sh\necho gotcha\n");
        hidden.declaredCommentLength = 4000;
        writeFile(d + "/two.zip", shown.build() + hidden.build());
        sameViewAndNoRewrite(d + "/two.zip", {"run_me.sh"}, "structure");
    }

    void unicodePathFieldNamesTheEntryEverywhere()
    {
        const QString d = tmp.fresh();
        ZipBuilder z;
        const QByteArray raw = "caf\x82.txt"; // CP437 é
        const QByteArray utf8 = "cafe\xcc\x81-unicode.txt";
        QByteArray field;
        ZipBuilder::le16(field, 0x7075);
        ZipBuilder::le16(field, uint32_t(5 + utf8.size()));
        field += char(1);
        ZipBuilder::le32(field, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(raw.constData()), uInt(raw.size()))));
        field += utf8;
        z.add(raw, "data").extra = field;
        writeFile(d + "/u.zip", z.build());
        QCOMPARE(listed(d + "/u.zip"), QStringList{QString::fromUtf8(utf8)});
        QCOMPARE(cli({"extract", d + "/u.zip", "-d", d + "/out"}).code, 0);
        QCOMPARE(readFile(d + "/out/" + QString::fromUtf8(utf8)), QByteArray("data"));
        QCOMPARE(cli({"delete", d + "/u.zip", QString::fromUtf8(utf8)}).code, 0);
        QCOMPARE(listed(d + "/u.zip"), QStringList());
    }

    void overlappingEntriesAreRefused()
    {
        // 50 central records on one local header, and two entries whose data
        // ranges overlap: refused before anything is written.
        const QString d = tmp.fresh();
        ZipBuilder one;
        one.add("bomb.txt", QByteArray(1000, 'b'));
        QByteArray b = one.build();
        const qsizetype cen = b.indexOf("PK\x01\x02");
        const QByteArray record = b.mid(cen, b.size() - 22 - cen);
        QByteArray many = b.left(cen);
        for (int i = 0; i < 50; ++i)
            many += record;
        QByteArray end = b.right(22);
        putLe16(end, 8, 50);
        putLe16(end, 10, 50);
        const uint32_t dirSize = uint32_t(record.size() * 50);
        for (int k = 0; k < 4; ++k)
            end[12 + k] = char((dirSize >> (8 * k)) & 0xFF);
        writeFile(d + "/bomb.zip", many + end);

        ZipBuilder two;
        two.add("a.txt", QByteArray(300, 'a'));
        two.add("b.txt", QByteArray(300, 'b'));
        QByteArray o = two.build();
        // b's record points into a's data.
        const qsizetype secondCen = o.indexOf("PK\x01\x02", o.indexOf("PK\x01\x02") + 4);
        for (int k = 0; k < 4; ++k)
            o[secondCen + 42 + k] = char(k == 0 ? 100 : 0);
        writeFile(d + "/overlap.zip", o);

        for (const QString& name : {QStringLiteral("bomb.zip"), QStringLiteral("overlap.zip")}) {
            const QString zip = d + "/" + name;
            const QByteArray before = readFile(zip);
            for (const QStringList& cmd : {QStringList{"list", zip}, QStringList{"test", zip},
                                           QStringList{"extract", zip, "-d", d + "/out"}}) {
                Run r = cli(cmd);
                QVERIFY2(r.code == 1, qPrintable(cmd.join(' ')));
                QVERIFY2(r.errText().contains("overlapped components"), qPrintable(r.errText()));
            }
            QCOMPARE(readFile(zip), before);
        }
        QCOMPARE(filesBelow(d + "/out"), QStringList());
    }

    void truncatedZipExtractsWhatIsWhole()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/in/a.txt", sampleData(5000, 1));
        writeFile(d + "/in/b.txt", sampleData(5000, 2));
        writeFile(d + "/in/c.bin", randomData(50000, 3));
        QCOMPARE(cli({"create", d + "/full.zip", d + "/in/a.txt", d + "/in/b.txt", d + "/in/c.bin"}).code, 0);
        const QByteArray full = readFile(d + "/full.zip");
        writeFile(d + "/cut.zip", full.left(full.indexOf("c.bin") + 20000));

        Run r = cli({"extract", d + "/cut.zip", "-d", d + "/out"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errText().contains("c.bin") && r.errText().contains("unexpected end"), qPrintable(r.errText()));
        QStringList out = filesBelow(d + "/out");
        out.sort();
        QCOMPARE(out, (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(readFile(d + "/out/b.txt"), readFile(d + "/in/b.txt"));
        r = cli({"test", d + "/cut.zip"});
        QCOMPARE(r.code, 1);
        QVERIFY(!r.outText().contains("No errors"));
        // Nothing is written over a cut archive.
        const QByteArray before = readFile(d + "/cut.zip");
        QCOMPARE(cli({"add", d + "/cut.zip", d + "/in/a.txt"}).code, 1);
        QCOMPARE(readFile(d + "/cut.zip"), before);
    }

    void selfExtractorKeepsItsStub()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/a.txt", sampleData(2000, 4));
        writeFile(d + "/b.txt", sampleData(2000, 5));
        QCOMPARE(run("zip", {"-q", "-j", d + "/plain.zip", d + "/a.txt"}).code, 0);
        const QByteArray stub = randomData(35000, 6);
        writeFile(d + "/sfx.exe", stub + readFile(d + "/plain.zip"));
        QCOMPARE(run("zip", {"-q", "-A", d + "/sfx.exe"}).code, 0);
        QCOMPARE(cli({"add", d + "/sfx.exe", d + "/b.txt"}).code, 0);
        QCOMPARE(readFile(d + "/sfx.exe").left(stub.size()), stub);
        Run t = run("unzip", {"-t", d + "/sfx.exe"});
        QVERIFY2(t.code == 0, qPrintable(t.outText() + t.errText()));
        QCOMPARE(cli({"delete", d + "/sfx.exe", "a.txt"}).code, 0);
        QCOMPARE(readFile(d + "/sfx.exe").left(stub.size()), stub);
        QCOMPARE(listed(d + "/sfx.exe"), QStringList{"b.txt"});
        t = run("unzip", {"-t", d + "/sfx.exe"});
        QVERIFY2(t.code == 0, qPrintable(t.outText() + t.errText()));
    }

    void symlinkReadOnlyAndHardLinks()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/a.txt", "alpha");
        writeFile(d + "/b.txt", "beta");
        QCOMPARE(cli({"create", d + "/real.zip", d + "/a.txt"}).code, 0);

        // Through a link: the target changes, the link stays.
        QVERIFY(QFile::link("real.zip", d + "/link.zip"));
        QCOMPARE(cli({"add", d + "/link.zip", d + "/b.txt"}).code, 0);
        QVERIFY(QFileInfo(d + "/link.zip").isSymLink());
        QCOMPARE(listed(d + "/real.zip"), (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(cli({"delete", d + "/link.zip", "a.txt"}).code, 0);
        QVERIFY(QFileInfo(d + "/link.zip").isSymLink());
        QCOMPARE(listed(d + "/real.zip"), QStringList{"b.txt"});
        QCOMPARE(cli({"create", d + "/link.zip", d + "/a.txt"}).code, 0);
        QVERIFY(QFileInfo(d + "/link.zip").isSymLink());
        QCOMPARE(listed(d + "/real.zip"), QStringList{"a.txt"});

        // Other names of the same file see the new content.
        QVERIFY(::link(QFile::encodeName(d + "/real.zip").constData(), QFile::encodeName(d + "/hard.zip").constData()) == 0);
        QCOMPARE(cli({"add", d + "/real.zip", d + "/b.txt"}).code, 0);
        QCOMPARE(listed(d + "/hard.zip"), (QStringList{"a.txt", "b.txt"}));
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(d + "/hard.zip").constData(), &st) == 0);
        QCOMPARE(int(st.st_nlink), 2);

        // A read-only zip is refused.
        QVERIFY(QFile::setPermissions(d + "/real.zip", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const QByteArray before = readFile(d + "/real.zip");
        writeFile(d + "/c.txt", "gamma");
        for (const QStringList& cmd : {QStringList{"add", d + "/real.zip", d + "/c.txt"},
                                       QStringList{"delete", d + "/real.zip", "a.txt"},
                                       QStringList{"create", d + "/real.zip", d + "/c.txt"}}) {
            Run r = cli(cmd);
            QVERIFY2(r.code == 1 && r.errText().contains("read-only"), qPrintable(cmd.join(' ') + ": " + r.errText()));
            QCOMPARE(readFile(d + "/real.zip"), before);
        }
        QCOMPARE(leftovers(d, {"a.txt", "b.txt", "c.txt", "real.zip", "link.zip", "hard.zip", "new.txt"}), QStringList());
    }

    void scratchFilesNeverOutliveTheRun()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/small.txt", "small");
        QCOMPARE(cli({"create", d + "/t.zip", d + "/small.txt"}).code, 0);
        const QByteArray before = readFile(d + "/t.zip");
        // A sparse file large enough to be caught in the middle.
        QFile big(d + "/big.bin");
        QVERIFY(big.open(QIODevice::WriteOnly) && big.resize(qint64(400) << 20));
        big.close();

        // Past the file-size limit: refused with a message, no scratch file.
        Run r = run("sh", {"-c", "ulimit -f 2048; exec \"$0\" add \"$1\" --level 0 \"$2\"", cliPath(), d + "/t.zip", d + "/big.bin"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errText().contains("too large") || r.errText().contains("full"), qPrintable(r.errText()));
        QCOMPARE(readFile(d + "/t.zip"), before);
        QCOMPARE(leftovers(d, {"small.txt", "t.zip", "big.bin"}), QStringList());

        // Interrupted and terminated while writing.
        for (int sig : {SIGTERM, SIGINT}) {
            QProcess p;
            p.start(cliPath(), {"add", d + "/t.zip", "--level", "9", d + "/big.bin"});
            QVERIFY(p.waitForStarted());
            QElapsedTimer clock;
            clock.start();
            while (leftovers(d, {"small.txt", "t.zip", "big.bin"}).isEmpty() && clock.elapsed() < 60000
                   && p.state() == QProcess::Running)
                QThread::msleep(5);
            QVERIFY2(p.state() == QProcess::Running, "the add ended before it could be interrupted");
            ::kill(pid_t(p.processId()), sig);
            QVERIFY(p.waitForFinished(60000));
            QCOMPARE(p.exitStatus(), QProcess::CrashExit);
            QCOMPARE(readFile(d + "/t.zip"), before);
            QCOMPARE(leftovers(d, {"small.txt", "t.zip", "big.bin"}), QStringList());
        }
    }
};

QTEST_GUILESS_MAIN(TestCliLying)
#include "test_cli_lying.moc"
