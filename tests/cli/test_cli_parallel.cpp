// Zips whose entries were compressed on several threads at once, through
// quarn-cli: every level, files compressed whole and in blocks (one exactly
// on block boundaries, one that does not compress), empty files, and both
// kinds of encryption. Each archive passes the peers, extracts to the same
// bytes and lists the same entries in the same order as one written on a
// single thread (QUARN_ZIP_THREADS=1).

#include "CliTools.h"

#include "EntryPipeline.h"

#include <QtTest>

using namespace clitools;

namespace {

constexpr int kBlock = int(qz::EntryPipeline::kBlock);
constexpr int kWhole = int(qz::EntryPipeline::kWholeLimit);

// Runs quarn-cli with `threads` compressing threads (0: as many as cores).
Run cliThreads(int threads, const QStringList& args)
{
    if (threads > 0)
        qputenv("QUARN_ZIP_THREADS", QByteArray::number(threads));
    else
        qunsetenv("QUARN_ZIP_THREADS");
    const Run r = cli(args);
    qunsetenv("QUARN_ZIP_THREADS");
    return r;
}

void peerSaysOk(const QString& program, const QStringList& args)
{
    const Run r = run(program, args);
    QVERIFY2(r.code == 0, qPrintable(program + " " + args.join(' ') + ": " + r.outText() + r.errText()));
}

// unzip -t, 7z t and Python's zipfile (unzip and Python know no AES).
void peersAccept(const QString& zip, const QString& password = QString(), bool aes = false)
{
    if (!aes)
        peerSaysOk("unzip", password.isEmpty() ? QStringList{"-tq", zip} : QStringList{"-tq", "-P", password, zip});
    peerSaysOk("7z", {"t", "-p" + password, zip});
    if (aes || !password.isEmpty())
        return;
    const Run r = python("import sys, zipfile\n"
                         "sys.exit(0 if zipfile.ZipFile(sys.argv[1]).testzip() is None else 1)\n",
                         {zip});
    QVERIFY2(r.code == 0, qPrintable(r.outText() + r.errText()));
}

// Extracted by a peer into `out`, the archive gives back the tree (stored
// under its folder's name).
void extractsTheTree(const QString& zip, const QString& tree, const QString& out, const QString& password = QString())
{
    peerSaysOk("7z", {"x", "-y", "-bd", "-bso0", "-p" + password, "-o" + out, zip});
    sameFiles(tree, out + "/" + QFileInfo(tree).fileName());
}

} // namespace

class TestCliParallel : public QObject {
    Q_OBJECT
    FreshFolders tmp;
    QString smallTree, largeTree;

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(cliPath()), "quarn-cli not built");
        for (const char* peer : {"unzip", "7z", "python3"})
            QUARN_REQUIRE_PEER(peer);
        // Many small files, empty ones, one that does not compress, one
        // or two bytes that deflate would make larger.
        smallTree = tmp.fresh() + "/tree";
        makeTree(smallTree);
        for (int i = 0; i < 150; ++i)
            writeFile(QString("%1/many/f%2.txt").arg(smallTree).arg(i, 3, 10, QChar('0')), sampleData(100 + i * 37, quint32(100 + i)));
        for (int i = 0; i < 5; ++i)
            writeFile(QString("%1/many/empty%2").arg(smallTree).arg(i), QByteArray());
        writeFile(smallTree + "/tiny1", "x");
        writeFile(smallTree + "/tiny2", "yz");
        writeFile(smallTree + "/mixed.dat", sampleData(2 * kBlock + 12345, 7) + randomData(kBlock / 3, 8));
        // Past the size compressed whole: in blocks, one file ending inside
        // a block, one exactly on a block boundary, and one that does not
        // compress (stored after all); one file exactly at the limit.
        largeTree = tmp.fresh() + "/large";
        writeFile(largeTree + "/blocks.txt", sampleData(kWhole + 2 * kBlock + 777, 9));
        writeFile(largeTree + "/boundary.txt", sampleData(kWhole + kBlock, 10));
        writeFile(largeTree + "/noise.bin", randomData(kWhole + kBlock / 2, 11));
        writeFile(largeTree + "/limit.txt", sampleData(kWhole, 12));
        writeFile(largeTree + "/small.txt", sampleData(3000, 13));
    }

    void everyLevel_data()
    {
        QTest::addColumn<int>("level");
        for (int level = 0; level <= 9; ++level)
            QTest::newRow(qPrintable(QString("level %1").arg(level))) << level;
    }

    void everyLevel()
    {
        QFETCH(int, level);
        const QString d = tmp.fresh();
        const QString zip = d + "/par.zip", one = d + "/one.zip";
        Run r = cliThreads(4, {"create", zip, "--level", QString::number(level), smallTree});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        peersAccept(zip);
        extractsTheTree(zip, smallTree, d + "/out");
        r = cliThreads(1, {"create", one, "--level", QString::number(level), smallTree});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        QCOMPARE(cli({"list", zip}).outText(), cli({"list", one}).outText());
    }

    void largeFilesInBlocks_data()
    {
        QTest::addColumn<int>("level");
        QTest::newRow("stored") << 0;
        QTest::newRow("level 1") << 1;
        QTest::newRow("level 9") << 9;
    }

    void largeFilesInBlocks()
    {
        QFETCH(int, level);
        const QString d = tmp.fresh();
        const QString zip = d + "/large.zip";
        const Run r = cliThreads(0, {"create", zip, "--level", QString::number(level), largeTree});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        peersAccept(zip);
        extractsTheTree(zip, largeTree, d + "/out");
        // The file that does not compress is stored; the others deflated.
        const Run methods = python("import sys, zipfile\n"
                                   "for i in zipfile.ZipFile(sys.argv[1]).infolist():\n"
                                   "    if not i.is_dir(): print(i.filename, i.compress_type)\n",
                                   {zip});
        QCOMPARE(methods.code, 0);
        const QString deflated = level > 0 ? "8" : "0";
        QCOMPARE(methods.outText().split('\n', Qt::SkipEmptyParts),
                 (QStringList{"large/blocks.txt " + deflated, "large/boundary.txt " + deflated, "large/limit.txt " + deflated,
                              "large/noise.bin 0", "large/small.txt " + deflated}));
    }

    void encrypted_data()
    {
        QTest::addColumn<bool>("aes");
        QTest::newRow("traditional") << false;
        QTest::newRow("AES") << true;
    }

    void encrypted()
    {
        QFETCH(bool, aes);
        const QString d = tmp.fresh();
        const QString tree = d + "/enc";
        makeTree(tree);
        for (int i = 0; i < 20; ++i)
            writeFile(QString("%1/f%2.txt").arg(tree).arg(i), sampleData(500 + 300 * i, quint32(200 + i)));
        writeFile(tree + "/blocks.txt", sampleData(kWhole + kBlock + 99, 14));
        const QString zip = d + "/enc.zip";
        QStringList args{"create", zip, "--level", "6", "--password", "s3cret", tree};
        if (aes)
            args << "--aes";
        const Run r = cliThreads(0, args);
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        peersAccept(zip, "s3cret", aes);
        extractsTheTree(zip, tree, d + "/out", "s3cret");
        QCOMPARE(cli({"test", zip, "--password", "s3cret"}).code, 0);
        // The wrong password opens nothing.
        QVERIFY(run("7z", {"t", "-pwrong", zip}).code != 0);
    }
};

QTEST_GUILESS_MAIN(TestCliParallel)
#include "test_cli_parallel.moc"
