// The installed layout: `cmake --install` into a temporary prefix, the
// programs run from there, the desktop files pass the desktop's validators,
// and `cpack -G DEB` makes a package with its dependencies.

#include "TestTools.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

using namespace testtools;

namespace {

const QString kBuild = QStringLiteral(QUARN_BUILD_DIR);
const QString kBin = QStringLiteral(QUARN_BIN_DIR);

// Every file in the build's bin folder the installed program needs beside
// its modules: the modules, the image decoder, the self-extractor stub.
QStringList privateFilesBuilt()
{
    QStringList out;
    const QStringList names = QDir(kBin).entryList(QDir::Files);
    for (const QString& n : names)
        if ((n.startsWith("lib") && n.endsWith(".so")) || n == "quarn-imagedecode" || n == "sfxstub.bin")
            out << n;
    return out;
}
} // namespace

class TestInstall : public QObject {
    Q_OBJECT
    QTemporaryDir work;
    QString prefix;

private slots:
    void initTestCase()
    {
        prefix = work.filePath("prefix");
        const Run r = run(QStringLiteral(QUARN_CMAKE), {"--install", kBuild, "--prefix", prefix});
        QVERIFY2(r.code == 0, r.out + r.err);
    }

    void layout()
    {
        const QString bin = prefix + "/" QUARN_BINDIR;
        const QString lib = prefix + "/" QUARN_PKGLIBDIR;
        const QString share = prefix + "/" QUARN_DATADIR;
        for (const QString& p : {bin + "/quarn", bin + "/quarn-cli"})
            QVERIFY2(QFileInfo(p).isExecutable(), qPrintable(p));
        QVERIFY(!privateFilesBuilt().isEmpty());
        for (const QString& n : privateFilesBuilt())
            QVERIFY2(QFileInfo::exists(lib + "/" + n), qPrintable(n + " is built but not installed in lib/quarn"));
        // Nothing but the programs in bin: the modules are found in lib/quarn.
        QCOMPARE(QDir(bin).entryList(QDir::Files), (QStringList{"quarn", "quarn-cli"}));
        for (const QString& page : QDir(QStringLiteral(QUARN_SOURCE_DIR "/help")).entryList(QDir::Files))
            QVERIFY2(QFileInfo::exists(prefix + "/" QUARN_HELPDIR "/" + page), qPrintable(page));
        QVERIFY(QFileInfo::exists(share + "/applications/quarn.desktop"));
        QVERIFY(QFileInfo::exists(share + "/icons/hicolor/scalable/apps/quarn.svg"));
        QVERIFY(QFileInfo::exists(share + "/icons/hicolor/48x48/apps/quarn.png"));
        QCOMPARE(QImage(share + "/icons/hicolor/48x48/apps/quarn.png").size(), QSize(48, 48));
        QVERIFY(QFileInfo::exists(prefix + "/" QUARN_MANDIR "/man1/quarn-cli.1.gz"));
    }

    void desktopFilesPassTheirValidators()
    {
        QUARN_REQUIRE_PEER("desktop-file-validate");
        QUARN_REQUIRE_PEER("appstreamcli");
        const QString share = prefix + "/" QUARN_DATADIR;
        const Run d = run("desktop-file-validate", {share + "/applications/quarn.desktop"});
        QVERIFY2(d.code == 0 && d.out.isEmpty(), d.out + d.err);
        const QStringList metainfo = QDir(share + "/metainfo").entryList({"*.metainfo.xml"});
        QCOMPARE(metainfo.size(), 1);
        const Run a = run("appstreamcli", {"validate", "--no-net", share + "/metainfo/" + metainfo[0]});
        QVERIFY2(a.code == 0, a.out + a.err);
        QVERIFY(readFile(share + "/metainfo/" + metainfo[0]).contains("<launchable type=\"desktop-id\">quarn.desktop</launchable>"));
    }

    void installedCliExtractsAZip()
    {
        QUARN_REQUIRE_PEER("zip");
        const QString src = work.filePath("src"), out = work.filePath("out");
        makeTree(src);
        const Run z = run("zip", {"-r", "-q", work.filePath("t.zip"), "."}, src);
        QVERIFY2(z.code == 0, z.err);
        const Run x = run(prefix + "/" QUARN_BINDIR "/quarn-cli", {"extract", work.filePath("t.zip"), "-d", out});
        QVERIFY2(x.code == 0, x.out + x.err);
        sameFiles(src, out);
    }

    void installedCliFindsTheStub()
    {
        QUARN_REQUIRE_PEER("zip");
        const QString src = work.filePath("sfxsrc"), dir = work.filePath("sfx");
        makeTree(src);
        QDir().mkpath(dir);
        QVERIFY2(run("zip", {"-r", "-q", dir + "/s.zip", "."}, src).code == 0, "zip failed");
        const QString cli = prefix + "/" QUARN_BINDIR "/quarn-cli";
        const Run x = run(cli, {"sfx", dir + "/s.zip"});
        QVERIFY2(x.code == 0, x.out + x.err);
        QVERIFY(readFile(dir + "/s.exe").startsWith("MZ"));
        QFile::remove(dir + "/s.zip");  // the conversion may have taken it
        const Run back = run(cli, {"unsfx", dir + "/s.exe"});
        QVERIFY2(back.code == 0, back.out + back.err);
        const Run out = run(cli, {"extract", dir + "/s.zip", "-d", dir + "/out"});
        QVERIFY2(out.code == 0, out.out + out.err);
        sameFiles(src, dir + "/out");
    }

    void installedWindowKeepsItsDataInTheXdgFolder()
    {
        // The installed window, in a home of its own, without the tests' data folder.
        const QString home = work.filePath("home");
        QDir().mkpath(home);
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("QUARN_DATA_DIR");
        env.insert("HOME", home);
        env.insert("XDG_DATA_HOME", home + "/data");
        env.insert("XDG_CONFIG_HOME", home + "/config");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(prefix + "/" QUARN_BINDIR "/quarn", {});
        QVERIFY(p.waitForStarted(20000));
        // The window writes a fresh config at start-up; then it is closed.
        const QString config = home + "/data/quarn/config";
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(config), 60000);
        p.terminate();
        QVERIFY(p.waitForFinished(30000));
        QVERIFY(!QFileInfo::exists(prefix + "/" QUARN_BINDIR "/config"));
        // Its desktop entry names the installed program and the theme icon.
        const QByteArray entry = readFile(home + "/data/applications/quarn.desktop");
        QVERIFY2(entry.contains("\nExec=" + QFile::encodeName(prefix) + "/" QUARN_BINDIR "/quarn %f\n"), entry);
        QVERIFY(entry.contains("\nIcon=quarn\n"));
    }

    void manPageCoversEveryCommand()
    {
        QUARN_REQUIRE_PEER("man");
        const QString page = QStringLiteral(QUARN_SOURCE_DIR "/data/quarn-cli.1");
        const Run m = run("man", {"--warnings", "-l", page});
        QVERIFY2(m.code == 0 && m.err.isEmpty(), m.err);
        const Run help = run(kBin + "/quarn-cli", {"--help"});
        QCOMPARE(help.code, 0);
        const QString text = QString::fromUtf8(readFile(page));
        // Every command and option the program lists is described.
        static const QRegularExpression command(QStringLiteral("^  ([a-z]+) "), QRegularExpression::MultilineOption);
        QStringList commands;
        for (auto it = command.globalMatch(help.outText()); it.hasNext();)
            commands << it.next().captured(1);
        QVERIFY(commands.size() >= 6);
        for (const QString& c : commands)
            QVERIFY2(text.contains(".BI " + c + " "), qPrintable(c));
        static const QRegularExpression option(QStringLiteral("(--[a-z]+|-d )"));
        for (auto it = option.globalMatch(help.outText()); it.hasNext();) {
            QString o = it.next().captured(1).trimmed();
            o.replace("-", "\\-");
            QVERIFY2(text.contains(o), qPrintable(o));
        }
    }

    void debianPackage()
    {
        QUARN_REQUIRE_PEER("dpkg-deb");
        QUARN_REQUIRE_PEER("dpkg-shlibdeps");
        const QString out = work.filePath("deb");
        const Run c = run(QStringLiteral(QUARN_CPACK), {"-G", "DEB", "--config", kBuild + "/CPackConfig.cmake", "-B", out});
        QVERIFY2(c.code == 0, c.out + c.err);
        const QStringList debs = QDir(out).entryList({"*.deb"});
        QCOMPARE(debs.size(), 1);
        const QString deb = out + "/" + debs[0];
        auto field = [&](const char* name) { return run("dpkg-deb", {"-f", deb, name}).outText().trimmed(); };
        QCOMPARE(field("Package"), QStringLiteral("quarn"));
        QCOMPARE(field("Section"), QStringLiteral("utils"));
        QVERIFY(!field("Description").isEmpty());
        const QString depends = field("Depends");
        QStringList libs{"libc6", "libqt6widgets6", "libqt6core6", "zlib1g"};
        if (privateFilesBuilt().contains("libunrar.so"))
            libs << "libarchive13";
        // The unzip module's decompressors and both modules' AES.
        if (privateFilesBuilt().contains("libunzlib.so"))
            libs << "libbz2-1.0" << "liblzma5" << "libzstd1" << "libnettle8";
        for (const QString& lib : libs)
            QVERIFY2(depends.contains(lib), qPrintable(depends));
        const QString files = run("dpkg-deb", {"-c", deb}).outText();
        for (const QString& f : QStringList{"./usr/bin/quarn", "./usr/bin/quarn-cli", "./usr/share/applications/quarn.desktop",
                                            "./usr/share/quarn/help/unzip.html"})
            QVERIFY2(files.contains(" " + f + "\n"), qPrintable(f));
        for (const QString& n : privateFilesBuilt())
            QVERIFY2(files.contains(" ./usr/" QUARN_PKGLIBDIR "/" + n + "\n"), qPrintable(n));
    }
};

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
