// Zip sets on the command line: create --split, and list, test and extract
// given the last part; sets going both ways between quarn-cli and the peers
// (7z and Info-ZIP's zip -s), renamed between archive001.zip and archive.z01
// naming.

#include "CliTools.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace clitools;

namespace {

// A tree of compressible text and incompressible bytes.
void makeSource(const QString& root)
{
    QDir().mkpath(root + "/sub");
    QByteArray text;
    for (int i = 0; i < 40000; ++i)
        text += QByteArray::number(i) + " lines of text\n";
    writeFile(root + "/text.txt", text);
    writeFile(root + "/sub/noise.bin", randomData(400000, 7));
    writeFile(root + "/sub/small.txt", "small");
}

// archive001.zip ... archiveNNN.zip as archive.z01 ... archive.zip; returns
// the last part's new name.
QString toInfoZipNames(const QStringList& parts, const QString& folder, const QString& base)
{
    for (int i = 0; i < parts.size(); ++i) {
        const QString to = i + 1 == parts.size() ? QStringLiteral("%1/%2.zip").arg(folder, base)
                                                 : QStringLiteral("%1/%2.z%3").arg(folder, base).arg(i + 1, 2, 10, QLatin1Char('0'));
        if (!QFile::copy(parts[i], to))
            return QString();
    }
    return QStringLiteral("%1/%2.zip").arg(folder, base);
}

} // namespace

class TestCliSpan : public QObject {
    Q_OBJECT
    FreshFolders tmp;

    // Writes the set of `source` in parts of `size`; returns the part names.
    QStringList createSet(const QString& folder, const QString& source, const QString& size)
    {
        QDir().mkpath(folder);
        const Run r = cli({"create", folder + "/archive.zip", "--split", size, source});
        if (r.code != 0)
            qWarning() << r.errText();
        return r.code == 0 ? r.outText().split('\n', Qt::SkipEmptyParts) : QStringList();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(cliPath()), "quarn-cli not built");
        QVERIFY(tmp.isValid());
    }

    void createListTestExtract()
    {
        const QString d = tmp.fresh();
        makeSource(d + "/src");
        const QStringList parts = createSet(d + "/out", d + "/src", "100k");
        QVERIFY(parts.size() >= 4);
        for (int i = 0; i < parts.size(); ++i) {
            QCOMPARE(parts[i], QStringLiteral("%1/out/archive%2.zip").arg(d).arg(i + 1, 3, 10, QLatin1Char('0')));
            QVERIFY(QFileInfo(parts[i]).size() <= 100 * 1024);
        }
        QVERIFY(!QFileInfo::exists(d + "/out/archive.zip"));
        QCOMPARE(QDir(d + "/out").entryList(QDir::Files | QDir::Hidden).size(), parts.size());

        Run r = cli({"list", parts.last()});
        QCOMPARE(r.code, 0);
        QVERIFY(r.outText().contains("\tsrc/sub/noise.bin\n"));
        QVERIFY(r.outText().contains("\tsrc/text.txt\n"));
        r = cli({"test", parts.last()});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        QCOMPARE(r.outText(), "No errors detected in compressed data of " + parts.last() + "\n");
        r = cli({"extract", parts.last(), "-d", d + "/x"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        sameFiles(d + "/src", d + "/x/src");

        // Any other part says which it is and where the directory is.
        r = cli({"list", parts[1]});
        QCOMPARE(r.code, 1);
        QVERIFY(r.errText().contains("This is the 2th disk in a backup set,\nplease insert the last disk of this set"));
        r = cli({"extract", parts[0], "-d", d + "/y"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.errText().contains("This is the first disk in a backup set,\nplease insert the last disk of this set"));
        r = cli({"test", parts[0]});
        QCOMPARE(r.code, 1);

        // A set made again under the same name replaces its parts.
        QCOMPARE(createSet(d + "/out", d + "/src", "100k"), parts);
        QCOMPARE(cli({"test", parts.last()}).code, 0);
    }

    void splitSizes()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/a.txt", "a");
        for (const char* bad : {"1000", "63k", "0", "-5m", "2g", "12q", "k"}) {
            const Run r = cli({"create", d + "/x.zip", "--split", bad, d + "/a.txt"});
            QVERIFY2(r.code == 2, bad);
            QVERIFY(r.errText().contains("--split takes a size from 64k to 2147483647 bytes"));
        }
        QCOMPARE(cli({"add", d + "/x.zip", "--split", "1m", d + "/a.txt"}).code, 2);
        QVERIFY(QDir(d).entryList({"x*"}).isEmpty());
        for (const char* good : {"65536", "64K", "1m", "1G"}) {
            const Run r = cli({"create", d + "/x.zip", "--split", good, d + "/a.txt"});
            QCOMPARE(r.code, 0);
            QCOMPARE(r.outText(), d + "/x001.zip\n");
        }
        QVERIFY(cli({"--help"}).outText().contains("--split SIZE"));
    }

    void damagedSets()
    {
        const QString d = tmp.fresh();
        makeSource(d + "/src");
        const QStringList parts = createSet(d + "/out", d + "/src", "64k");
        QVERIFY(parts.size() >= 5);
        const QString scratch = d + "/tmp";
        QDir().mkpath(scratch);
        const QByteArray removed = readFile(parts[2]);
        QVERIFY(QFile::remove(parts[2]));
        Run r = cli({"extract", parts.last(), "-d", d + "/x"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errText().contains("Input file does not exist"), qPrintable(r.errText()));
        QVERIFY(filesBelow(d + "/x").isEmpty());
        writeFile(parts[2], removed.left(removed.size() / 3));
        r = cli({"test", parts.last()});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errText().contains("Error while reading"), qPrintable(r.errText()));
        // No joined copy is left behind in the temporary folder.
        QVERIFY(QDir(QDir::tempPath()).entryList({"zip*.zip"}).filter(QRegularExpression("^zip[0-9a-f]+\\.zip$")).isEmpty());
    }

    // Our set under the other naming: 7z reads it, and Info-ZIP joins it
    // with zip -s 0 into a zip unzip finds whole.
    void peersReadOurSets()
    {
        QUARN_REQUIRE_PEER("7z");
        QUARN_REQUIRE_PEER("zip");
        QUARN_REQUIRE_PEER("unzip");
        const QString d = tmp.fresh();
        makeSource(d + "/src");
        const QStringList parts = createSet(d + "/out", d + "/src", "100k");
        QVERIFY(parts.size() >= 4);
        QDir().mkpath(d + "/iz");
        const QString last = toInfoZipNames(parts, d + "/iz", "archive");
        QVERIFY(!last.isEmpty());
        Run r = run("7z", {"t", last});
        QVERIFY2(r.code == 0 && r.outText().contains("Everything is Ok"), qPrintable(r.outText() + r.errText()));
        r = run("7z", {"x", "-o" + d + "/by7z", last});
        QCOMPARE(r.code, 0);
        sameFiles(d + "/src", d + "/by7z/src");
        r = run("zip", {"-s", "0", last, "--out", d + "/joined.zip"});
        QVERIFY2(r.code == 0, qPrintable(r.outText() + r.errText()));
        r = run("unzip", {"-t", d + "/joined.zip"});
        QVERIFY2(r.code == 0, qPrintable(r.outText() + r.errText()));
    }

    // A set zip -s wrote, renamed to archive001.zip naming, is read here.
    void weReadInfoZipSets()
    {
        QUARN_REQUIRE_PEER("zip");
        const QString d = tmp.fresh();
        makeSource(d + "/src");
        Run r = run("zip", {"-q", "-r", "-s", "100k", "set.zip", "src"}, d);
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        const QStringList split = QDir(d).entryList({"set.z[0-9][0-9]"}, QDir::Files, QDir::Name);
        QVERIFY(split.size() >= 3);
        QDir().mkpath(d + "/ours");
        for (int i = 0; i < split.size(); ++i)
            QVERIFY(QFile::copy(d + "/" + split[i], QStringLiteral("%1/ours/set%2.zip").arg(d).arg(i + 1, 3, 10, QLatin1Char('0'))));
        const QString last = QStringLiteral("%1/ours/set%2.zip").arg(d).arg(split.size() + 1, 3, 10, QLatin1Char('0'));
        QVERIFY(QFile::copy(d + "/set.zip", last));
        r = cli({"list", last});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.outText().count('\n'), 5);
        r = cli({"test", last});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        r = cli({"extract", last, "-d", d + "/x"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        sameFiles(d + "/src", d + "/x/src");
    }
};

QTEST_GUILESS_MAIN(TestCliSpan)
#include "test_cli_span.moc"
