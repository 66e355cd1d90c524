// Zip64 both ways through quarn-cli: a file past 4 GiB (sparse, so the test
// stays quick) and more than 65,535 entries, written by the peers and read
// back, written here and checked by the peers.

#include "CliTools.h"

#include <QtTest>

using namespace clitools;

namespace {

constexpr qint64 kBigSize = 4600000000LL;

// A sparse file of kBigSize bytes with a few marks, one across the 4 GiB line.
void makeBigFile(const QString& path)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QVERIFY(f.resize(kBigSize));
    for (const qint64 at : {qint64(0), (qint64(1) << 32) - 3, kBigSize - 16}) {
        QVERIFY(f.seek(at));
        QVERIFY(f.write("quarn-zip64-mark") == 16);
    }
}

void peerSaysOk(const QString& program, const QStringList& args)
{
    const Run r = run(program, args);
    QVERIFY2(r.code == 0, qPrintable(program + ": " + r.outText() + r.errText()));
}

} // namespace

class TestCliZip64 : public QObject {
    Q_OBJECT
    FreshFolders tmp;
    QString bigDir;
    QString oursZip;  // made by ourZip64OfAFilePast4GiBPassesThePeers

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(cliPath()), "quarn-cli not built");
        for (const char* peer : {"zip", "unzip", "7z", "cmp"})
            QVERIFY2(havePeer(peer), peer);
        bigDir = tmp.fresh();
        makeBigFile(bigDir + "/big.bin");
    }

    void peerZip64OfAFilePast4GiBExtractsIdentically()
    {
        const QString d = tmp.fresh();
        peerSaysOk("zip", {"-q", "-1", "-j", d + "/peer.zip", bigDir + "/big.bin"});
        Run r = cli({"list", d + "/peer.zip"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.outText().section('\t', 0, 0), QString::number(kBigSize));
        QCOMPARE(cli({"extract", d + "/peer.zip", "-d", d + "/out"}).code, 0);
        QCOMPARE(QFileInfo(d + "/out/big.bin").size(), kBigSize);
        peerSaysOk("cmp", {bigDir + "/big.bin", d + "/out/big.bin"});
        QFile::remove(d + "/out/big.bin");
    }

    void ourZip64OfAFilePast4GiBPassesThePeers()
    {
        const QString d = tmp.fresh();
        Run r = cli({"create", d + "/ours.zip", "--level", "1", bigDir + "/big.bin"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        QCOMPARE(cli({"list", d + "/ours.zip"}).outText().section('\t', 0, 0), QString::number(kBigSize));
        peerSaysOk("unzip", {"-tq", d + "/ours.zip"});
        peerSaysOk("7z", {"t", d + "/ours.zip"});
        r = python("import sys, zipfile\n"
                   "z = zipfile.ZipFile(sys.argv[1])\n"
                   "i = z.infolist()[0]\n"
                   "assert i.file_size == int(sys.argv[2]), i.file_size\n"
                   "sys.exit(0 if z.testzip() is None else 1)\n",
                   {d + "/ours.zip", QString::number(kBigSize)});
        QVERIFY2(r.code == 0, qPrintable(r.outText() + r.errText()));
        oursZip = d + "/ours.zip";
    }

    // Added to, the entry past 4 GiB is copied and the new one lands behind
    // it, at an offset only Zip64 can hold. (A function of its own: each
    // checks gigabytes and has Qt Test's time limit to itself.)
    void addingBehindTheEntryPast4GiB()
    {
        QVERIFY2(!oursZip.isEmpty(), "the zip of the test before is needed");
        const QString d = QFileInfo(oursZip).absolutePath();
        writeFile(d + "/after.txt", "behind the big one");
        QCOMPARE(cli({"add", d + "/ours.zip", d + "/after.txt"}).code, 0);
        peerSaysOk("unzip", {"-tq", d + "/ours.zip"});
        const Run r = run("unzip", {"-p", d + "/ours.zip", "after.txt"});
        QCOMPARE(r.out, QByteArray("behind the big one"));
    }

    void seventyThousandEntriesBothWays()
    {
        const QString d = tmp.fresh();
        Run r = python("import sys, zipfile\n"
                       "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                       "    for i in range(70000): z.writestr('d%d/f%05d.txt' % (i % 7, i), str(i))\n",
                       {d + "/peer.zip"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        r = cli({"list", d + "/peer.zip"});
        QCOMPARE(r.code, 0);
        const QStringList lines = r.outText().split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 70000);
        QCOMPARE(lines.last().section('\t', 2), QStringLiteral("d6/f69999.txt"));
        QCOMPARE(cli({"test", d + "/peer.zip"}).code, 0);

        for (int i = 0; i < 70000; ++i)
            writeFile(QStringLiteral("%1/tree/d%2/f%3.txt").arg(d).arg(i % 7).arg(i, 5, 10, QLatin1Char('0')),
                      QByteArray::number(i));
        r = cli({"create", d + "/ours.zip", d + "/tree"});
        QVERIFY2(r.code == 0, qPrintable(r.errText()));
        r = python("import sys, zipfile\n"
                   "z = zipfile.ZipFile(sys.argv[1])\n"
                   "files = [i for i in z.infolist() if not i.is_dir()]\n"
                   "assert len(files) == 70000, len(files)\n"
                   "assert z.read('tree/d6/f69999.txt') == b'69999'\n"
                   "sys.exit(0 if z.testzip() is None else 1)\n",
                   {d + "/ours.zip"});
        QVERIFY2(r.code == 0, qPrintable(r.outText() + r.errText()));
        peerSaysOk("unzip", {"-tq", d + "/ours.zip"});
    }
};

QTEST_GUILESS_MAIN(TestCliZip64)
#include "test_cli_zip64.moc"
