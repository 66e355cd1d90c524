// The stub as a real Windows program under wine: an auto-run program extracts
// the exact tree into its current folder and starts its file; a program with
// dialogs, answered through the stub's test switch under a virtual X server,
// asks, extracts the chosen entries, keeps an existing file and asks for the
// password. One wine prefix serves both runs (its first start is the slow one).

#include "TestTools.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>
#include <QtTest>

using namespace testtools;

namespace {

const QString kWine = QStringLiteral("/usr/lib/wine/wine64");
const QString kWineServer = QStringLiteral("/usr/lib/wine/wineserver64");
QString cli() { return QStringLiteral(QUARN_BIN_DIR "/quarn-cli"); }

bool waitForFile(const QString& path, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!QFileInfo::exists(path) && t.elapsed() < ms)
        QTest::qWait(100);
    return QFileInfo::exists(path);
}

} // namespace

class TestStubWine : public QObject {
    Q_OBJECT
private:
    FreshFolders tmp;
    QString prefix;

    // A fresh prefix is set up by the first start; when that start loses a
    // race with the prefix's own set-up, wine cannot load its core libraries
    // and the program never ran, so it is started once more.
    Run wine(const QStringList& args, const QString& cwd, bool withX)
    {
        Run r = wineOnce(args, cwd, withX);
        if (r.code != 0 && (r.err.contains("could not load kernel32.dll") || r.err.contains("has been updated")))
            r = wineOnce(args, cwd, withX);
        return r;
    }

    Run wineOnce(const QStringList& args, const QString& cwd, bool withX)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("WINEPREFIX", prefix);
        env.insert("WINEDEBUG", "-all");
        env.insert("WINEDLLOVERRIDES", "mscoree,mshtml=");
        env.remove("DISPLAY");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(cwd);
        if (withX)
            p.start("xvfb-run", QStringList{"-a", kWine} + args);
        else
            p.start(kWine, args);
        Run r;
        if (!p.waitForStarted(20000))
            return r;
        p.waitForFinished(240000);
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        // The prefix's server outlives the program for a while, with the
        // display it started with, and with what the program started.
        QProcess server;
        server.setProcessEnvironment(env);
        server.start(kWineServer, {"-w"});
        server.waitForFinished(120000);
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(kWine).isExecutable(), "wine64 is not installed (scripts/setup.sh installs it)");
        QVERIFY2(havePeer("xvfb-run"), "xvfb-run is not installed (scripts/setup.sh installs xvfb)");
        QVERIFY2(havePeer("zip"), "zip");
        QVERIFY2(QFileInfo(cli()).isExecutable(), "quarn-cli is not built");
        prefix = tmp.fresh();
    }

    void autoRunExtractsTheTree()
    {
        const QString dir = tmp.fresh();
        makeTree(dir + "/src");
        writeFile(dir + "/src/start.bat", "echo started> started.txt\r\n");
        QCOMPARE(run("zip", {"-qr", dir + "/tree.zip", "."}, dir + "/src").code, 0);
        Run made = run(cli(), {"sfx", dir + "/tree.zip", "--auto", "--run", "start.bat"});
        QVERIFY2(made.code == 0, made.err.constData());
        const QString exe = dir + "/!tree.exe";
        QCOMPARE(made.outText().trimmed(), exe);

        const QString target = tmp.fresh();
        QVERIFY(QFile::copy(exe, target + "/setup.exe"));
        Run r = wine({"setup.exe"}, target, false);
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY2(waitForFile(target + "/started.txt", 30000), "the auto-start file did not run");
        QCOMPARE(readFile(target + "/started.txt").trimmed(), QByteArray("started"));
        QFile::remove(target + "/setup.exe");
        QFile::remove(target + "/started.txt");
        sameFiles(dir + "/src", target);
    }

    void dialogsAnsweredThroughTheTestSwitch()
    {
        const QString dir = tmp.fresh();
        writeFile(dir + "/src/a.txt", "from the archive\n");
        writeFile(dir + "/src/b.txt", "not chosen\n");
        writeFile(dir + "/src/sub/secret.txt", sampleData(4000, 5));
        QCOMPARE(run("zip", {"-q", dir + "/d.zip", "a.txt", "b.txt"}, dir + "/src").code, 0);
        QCOMPARE(run("zip", {"-q", "-P", "sesame", dir + "/d.zip", "sub/secret.txt"}, dir + "/src").code, 0);
        Run made = run(cli(), {"sfx", dir + "/d.zip", "--title", "Quarn test", "--message", "Go on?", "--message-box",
                               "yesno", "--ask-files", "--folder", "temp", "--run", "a.txt"});
        QVERIFY2(made.code == 0, made.err.constData());

        const QString target = tmp.fresh();
        QVERIFY(QFile::copy(dir + "/d.exe", target + "/d.exe"));
        writeFile(target + "/out/a.txt", "already here\n");
        // One line per window, in the order they come.
        writeFile(target + "/answers.txt", "button=Yes\n"
                                           "edit=out\tselect=a.txt|sub/secret.txt\tbutton=Ok\n"
                                           "button=No\n"
                                           "edit=wrong\tbutton=Ok\n"
                                           "edit=sesame\tbutton=Ok\n"
                                           "button=No\n"
                                           "button=Ok\n");
        Run r = wine({"d.exe", "/sfxtest=answers.txt;log.txt"}, target, true);
        const QString log = QString::fromUtf8(readFile(target + "/log.txt"));
        QVERIFY2(r.code == 0, qPrintable(log + r.errText()));
        const QStringList expected{
            "FORM Quarn test | Go on?",
            "PRESSED Yes",
            "FORM Quarn test | Choose the files to extract and the folder to extract them to:",
            "PRESSED OK",
            "FORM Quarn test | The file out\\a.txt already exists.",
            "Replace it?",
            "PRESSED No",
            "KEPT a.txt",
            "FORM Quarn test | Enter the password for sub/secret.txt",
            "PRESSED OK",
            "FORM Quarn test | The password is wrong. Enter the password for sub/secret.txt",
            "PRESSED OK",
            "EXTRACTED sub/secret.txt",
            "FORM Quarn test | Run out\\a.txt now?",
            "PRESSED No",
            "FORM Quarn test | 1 file was extracted to out.",
            "PRESSED OK",
            "EXIT 0",
        };
        QCOMPARE(log.split('\n', Qt::SkipEmptyParts), expected);
        QCOMPARE(readFile(target + "/out/a.txt"), QByteArray("already here\n"));
        QCOMPARE(readFile(target + "/out/sub/secret.txt"), sampleData(4000, 5));
        QVERIFY(!QFileInfo::exists(target + "/out/b.txt"));
    }
};

QTEST_MAIN(TestStubWine)
#include "test_stub_wine.moc"
