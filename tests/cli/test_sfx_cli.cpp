// quarn-cli sfx and unsfx: options in, options back out, the "!" rename of
// auto-run programs, refused icons, and a zip that stays as it was whenever
// the conversion fails.

#include "CliTools.h"

#include "zipengine/SfxParts.h"

#include <QtTest>

using namespace clitools;

class TestSfxCli : public QObject {
    Q_OBJECT
private:
    FreshFolders tmp;

    QString zipIn(const QString& dir, const QString& name = "t.zip")
    {
        writeFile(dir + "/src/a.txt", sampleData(3000, 1));
        writeFile(dir + "/src/docs/b.txt", sampleData(500, 2));
        const QString zip = dir + "/" + name;
        Run r = run("zip", {"-qr", zip, "."}, dir + "/src");
        return r.code == 0 ? zip : QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(cliPath()).isExecutable(), "quarn-cli is not built");
        QVERIFY2(QFileInfo(QStringLiteral(QUARN_BIN_DIR "/sfxstub.bin")).isFile(), "sfxstub.bin is not built");
        QVERIFY2(havePeer("zip") && havePeer("unzip"), "zip and unzip");
    }

    // Every option goes into the program and comes back out of it.
    void optionsThereAndBack()
    {
        const QString dir = tmp.fresh();
        const QString zip = zipIn(dir);
        const QByteArray original = readFile(zip);
        Run r = cli({"sfx", zip, "--title", "Setup", "--message", "Install now?", "--message-box", "yesno", "--folder",
                     "temp", "--ask-files", "--run", "docs/b.txt"});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(r.outText().trimmed(), dir + "/t.exe");
        QVERIFY(!QFileInfo::exists(zip));
        QCOMPARE(run("unzip", {"-tq", dir + "/t.exe"}).code, 0);

        r = cli({"unsfx", dir + "/t.exe"});
        QVERIFY2(r.code == 0, r.err.constData());
        const QStringList lines = r.outText().split('\n', Qt::SkipEmptyParts);
        for (const char* want : {"title: Setup", "folder: temp", "message-box: yesno", "message: Install now?",
                                 "run: docs\\b.txt", "ask-files: yes", "auto: no", "ask-run: yes",
                                 "success-message: yes", "check-size: yes", "overwrite: confirm", "icon: found"})
            QVERIFY2(lines.contains(QString::fromUtf8(want)), want);
        QCOMPARE(readFile(zip), original);
        QVERIFY(!QFileInfo::exists(dir + "/t.exe"));

        // A folder of the user's choice, and no message at all.
        r = cli({"sfx", zip, "--folder", "C:\\Apps\\x"});
        QVERIFY2(r.code == 0, r.err.constData());
        r = cli({"unsfx", dir + "/t.exe"});
        QVERIFY(r.outText().contains("folder: C:\\Apps\\x\n"));
        QVERIFY(r.outText().contains("message-box: none\n"));
        QVERIFY(r.outText().contains("title: Self Extracting Zip File\n"));
    }

    // Auto-run renames the zip to "!" + its name first, unless it has it already.
    void autoRunRename()
    {
        const QString dir = tmp.fresh();
        const QString zip = zipIn(dir);
        Run r = cli({"sfx", zip, "--auto"});
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(r.outText().trimmed(), dir + "/!t.exe");
        QVERIFY(!QFileInfo::exists(zip));
        QVERIFY(!QFileInfo::exists(dir + "/!t.zip"));
        r = cli({"unsfx", dir + "/!t.exe"});
        QVERIFY(r.outText().contains("auto: yes\n"));
        QVERIFY(r.outText().contains("folder: current\n"));
        QVERIFY(QFileInfo::exists(dir + "/!t.zip"));
        r = cli({"sfx", dir + "/!t.zip", "--auto"});
        QCOMPARE(r.outText().trimmed(), dir + "/!t.exe");
    }

    // Icons: a 48x48 one is refused before anything happens; one of two
    // images is refused by the conversion; the zip stays either way.
    void icons()
    {
        const QString dir = tmp.fresh();
        const QString zip = zipIn(dir);
        const QByteArray original = readFile(zip);
        QByteArray big = SfxIconImage::BuiltIn();
        big[6] = 48;
        big[7] = 48;
        writeFile(dir + "/big.ico", big);
        Run r = cli({"sfx", zip, "--icon", dir + "/big.ico"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.errText().contains(
            "YOU MUST CHOOSE AN ICON THAT IS 32 BY 32 PIXELS AND WHICH CONTAINS ONLY 16 COLORS."));
        QByteArray two = SfxIconImage::BuiltIn();
        two[4] = 2;
        two += QByteArray(744, '\0');
        writeFile(dir + "/two.ico", two);
        r = cli({"sfx", zip, "--auto", "--icon", dir + "/two.ico"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.errText().contains("Error in size of the supplied icon."));
        QVERIFY(!QFileInfo::exists(dir + "/t.exe"));
        QVERIFY(!QFileInfo::exists(dir + "/!t.exe"));
        // The auto-run rename is undone with the failed conversion.
        QVERIFY(!QFileInfo::exists(dir + "/!t.zip"));
        QCOMPARE(readFile(zip), original);
        // A good icon goes in.
        QByteArray mine = SfxIconImage::BuiltIn();
        mine[40] = char(0x7F);
        writeFile(dir + "/mine.ico", mine);
        QCOMPARE(cli({"sfx", zip, "--icon", dir + "/mine.ico"}).code, 0);
        QVERIFY(readFile(dir + "/t.exe").contains(mine.mid(22)));
    }

    // Without a stub beside the program there is no program and the zip stays.
    void stubMissing()
    {
        const QString dir = tmp.fresh();
        const QString zip = zipIn(dir);
        const QString lone = tmp.fresh() + "/quarn-cli";
        QVERIFY(QFile::copy(cliPath(), lone));
        QFile::setPermissions(lone, QFile::permissions(cliPath()));
        Run r = run(lone, {"sfx", zip}, dir);
        QCOMPARE(r.code, 1);
        QVERIFY(r.errText().contains("Error - SFXSTUB.BIN not found!"));
        QVERIFY(r.errText().contains("ERROR : General failure during copy."));
        QVERIFY(QFileInfo::exists(zip));
        QVERIFY(!QFileInfo::exists(dir + "/t.exe"));
    }

    void usageAndRefusals()
    {
        const QString dir = tmp.fresh();
        const QString zip = zipIn(dir);
        QCOMPARE(cli({"sfx", zip, "--auto", "--message", "x"}).code, 2);
        QCOMPARE(cli({"sfx", zip, "--auto", "--ask-files"}).code, 2);
        QCOMPARE(cli({"sfx", zip, "--message-box", "yesno"}).code, 2);
        QCOMPARE(cli({"sfx", zip, "--message", "x", "--message-box", "maybe"}).code, 2);
        QCOMPARE(cli({"sfx", zip, "--title"}).code, 2);
        QCOMPARE(cli({"sfx", zip, "--colour", "red"}).code, 2);
        QCOMPARE(cli({"sfx", zip, "--title", QString(51, 'T')}).code, 2);
        QCOMPARE(cli({"unsfx", dir + "/x.exe", "more"}).code, 2);
        QVERIFY(QFileInfo::exists(zip));
        // Not a zip, not there, not a program.
        Run r = cli({"sfx", dir + "/src/a.txt"});
        QCOMPARE(r.code, 1);
        QCOMPARE(cli({"sfx", dir + "/none.zip"}).code, 1);
        QVERIFY(QFile::copy(zip, dir + "/plain.exe"));
        r = cli({"unsfx", dir + "/plain.exe"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.errText().contains("Error determining the type of SFX archive"));
        QVERIFY(r.errText().contains("ERROR : General failure during copy."));
        QVERIFY(QFileInfo::exists(dir + "/plain.exe"));
        QVERIFY(!QFileInfo::exists(dir + "/plain.zip"));
        QVERIFY(cli({"--help"}).outText().contains("unsfx EXE"));
    }
};

QTEST_GUILESS_MAIN(TestSfxCli)
#include "test_sfx_cli.moc"
