#include "TestTools.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {
QList<QByteArray> fileLines(const QByteArray& data)
{
    QList<QByteArray> l = data.split('\n');
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    for (QByteArray& x : l)
        x.chop(x.endsWith('\r') ? 1 : 0);
    return l;
}
// A fresh file with line `n` (1-based) replaced.
QByteArray withLine(int n, const QByteArray& value)
{
    QList<QByteArray> l = fileLines(SettingsFile::Serialize(Settings{}));
    l[n - 1] = value;
    return l.join("\r\n") + "\r\n";
}
} // namespace

class TestSettingsFile : public QObject {
    Q_OBJECT
private slots:
    void freshFileByteForByte()
    {
        QTemporaryDir dir;
        Settings s;
        s.ExtractOverwrite = true;  // overwritten by the fresh values
        s.LastOpenFolder = QStringLiteral("/x");
        QVERIFY(SettingsFile::WriteDefaults(dir.path(), s));
        const QByteArray expected =
            "T\r\nF\r\nF\r\nF\r\nF\r\nT\r\nT\r\nF\r\nT\r\nF\r\nF\r\nF\r\nF\r\nF\r\nF\r\nF\r\nT\r\nF\r\n"
            "F\r\nF\r\nF\r\nF\r\nF\r\n0\r\nF\r\nF\r\nF\r\nT\r\nT\r\nF\r\nT\r\nF\r\nF\r\nF\r\nF\r\nF\r\n"
            "F\r\nF\r\nF\r\n1\r\nT\r\nT\r\nF\r\nF\r\nF\r\nT\r\nT\r\nT\r\nT\r\n64\r\nF\r\nF\r\nF\r\nF\r\n";
        QCOMPARE(testtools::readFile(SettingsFile::ConfigPath(dir.path())), expected);
        QCOMPARE(fileLines(expected).size(), 54);
        QVERIFY(!s.ExtractOverwrite);
        QVERIFY(s.LastOpenFolder.isEmpty());
    }

    void roundTripOfEveryField()
    {
        Settings s;
        // Every stored field away from its default.
        s.ExtractFolderNames = false; s.ExtractOverwrite = true; s.ExtractUpdate = true;
        s.ExtractFreshen = true; s.SaveFolders = false; s.RecurseFolders = false;
        s.ArchiveBitOnly = true; s.LongNames = false; s.PasswordProtect = true;
        s.SetZipTime = true; s.DateFilter = true; s.SpanDisks = true; s.EraseDisk = true;
        s.SelfExtracting = true; s.OpenTarInGzip = false; s.ShortGzipPaths = false;
        s.TarAttributes = true; s.RelativePaths = false; s.ImageViewerOnClick = false;
        s.FitImageToScreen = false; s.SelectAllOnLoad = false; s.DefaultArchiveType = 4;
        s.ThumbnailSize = 192;
        s.LastBatchFolder = QStringLiteral("/b"); s.LastOpenFolder = QStringLiteral("/o p");
        s.LastAddFolder = QStringLiteral("/a"); s.LastSaveFolder = QStringLiteral("/s");
        s.LastIconFolder = QStringLiteral("/i"); s.SfxIconFile = QStringLiteral("/i/x.ico");
        s.LastUnzipFolder = QStringLiteral("/u/Ünïcödé");
        s.PreviousZip = {QStringLiteral("zipc"), QStringLiteral("zipd")};
        s.PreviousGz = {QStringLiteral("gzc"), QStringLiteral("gzd")};
        s.PreviousTar = {QStringLiteral("tarc"), QStringLiteral("tard")};
        s.PreviousTgz = {QStringLiteral("tgzc"), QStringLiteral("tgzd")};
        s.PreviousRar = {QStringLiteral("rarc"), QStringLiteral("rard")};
        s.UpdateSubfolders = false; s.UpdatePageFlag = false;
        s.Reserved23 = QStringLiteral("r23"); s.Reserved24 = 3; s.Reserved25 = true;
        s.AesEncryption = true; s.Reserved31 = false; s.Reserved32 = true; s.Reserved33 = true;

        QTemporaryDir dir;
        QVERIFY(SettingsFile::Save(dir.path(), s));
        Settings back;
        QVERIFY(SettingsFile::Load(dir.path(), back));
        // Line 17 is always written "T": the one stored value that does not round-trip.
        QVERIFY(back.Reserved17);
        QCOMPARE(back, s);
        QCOMPARE(fileLines(testtools::readFile(SettingsFile::ConfigPath(dir.path()))).size(), 54);
    }

    void folderNamedF()
    {
        Settings s;
        s.LastAddFolder = QStringLiteral("F");
        const QByteArray data = SettingsFile::Serialize(s);
        QCOMPARE(fileLines(data)[20], QByteArray("F"));
        Settings back;
        back.LastAddFolder = QStringLiteral("junk");
        SettingsFile::Parse(data, back);
        QVERIFY(back.LastAddFolder.isEmpty());
    }

    void thumbnailLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("size");
        QTest::newRow("8") << QByteArray("8") << 16;
        QTest::newRow("15") << QByteArray("15") << 16;
        QTest::newRow("16") << QByteArray("16") << 16;
        QTest::newRow("-5") << QByteArray("-5") << 16;
        QTest::newRow("128") << QByteArray("128") << 128;
        QTest::newRow("256") << QByteArray("256") << 256;
        QTest::newRow("257") << QByteArray("257") << 64;
        QTest::newRow("300") << QByteArray("300") << 64;
        QTest::newRow("abc") << QByteArray("abc") << 64;
        QTest::newRow("empty") << QByteArray("") << 64;
        QTest::newRow("huge") << QByteArray("99999999999999999999") << 64;
    }
    void thumbnailLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, size);
        Settings s;
        SettingsFile::Parse(withLine(50, line), s);
        QCOMPARE(s.ThumbnailSize, size);
    }

    void choiceLines()
    {
        Settings s;
        SettingsFile::Parse(withLine(40, "3"), s);
        QCOMPARE(s.DefaultArchiveType, 3);
        SettingsFile::Parse(withLine(40, "5"), s);
        QCOMPARE(s.DefaultArchiveType, 0);
        SettingsFile::Parse(withLine(40, " 2"), s);
        QCOMPARE(s.DefaultArchiveType, 0);
        SettingsFile::Parse(withLine(24, "3"), s);
        QCOMPARE(s.Reserved24, 3);
        SettingsFile::Parse(withLine(24, "4"), s);
        QCOMPARE(s.Reserved24, 0);
    }

    void shortFileTakesMissingValues()
    {
        // 39 lines, all written "F": the rest take their missing-line values.
        QByteArray data;
        for (int i = 0; i < 39; ++i)
            data += "F\r\n";
        Settings s;
        s.DefaultArchiveType = 2;
        s.TarAttributes = false;
        s.ThumbnailSize = 128;
        SettingsFile::Parse(data, s);
        QCOMPARE(s.DefaultArchiveType, 0);
        QVERIFY(s.TarAttributes);
        QVERIFY(s.OpenTarInGzip);
        QVERIFY(s.SelectAllOnLoad);
        QCOMPARE(s.ThumbnailSize, 64);
        QVERIFY(!s.ExtractFolderNames);  // line 1 was present

        // An empty file: every line missing.
        Settings e;
        e.ExtractFolderNames = false;
        SettingsFile::Parse(QByteArray(), e);
        QVERIFY(e.ExtractFolderNames);
        QVERIFY(e.Reserved17);
        QCOMPARE(e.DefaultArchiveType, 0);
    }

    void flagsAreExactlyUpperT()
    {
        Settings s;
        SettingsFile::Parse(withLine(1, "t"), s);
        QVERIFY(!s.ExtractFolderNames);
        SettingsFile::Parse(withLine(1, "T "), s);
        QVERIFY(!s.ExtractFolderNames);
        SettingsFile::Parse(withLine(1, "T"), s);
        QVERIFY(s.ExtractFolderNames);
    }

    void lineEndsOtherThanCrLf()
    {
        Settings s;
        s.LastOpenFolder = QStringLiteral("/home/me");
        s.ThumbnailSize = 32;
        QByteArray lf = SettingsFile::Serialize(s);
        lf.replace("\r\n", "\n");
        lf.chop(1);  // no line end after the last line
        Settings back;
        SettingsFile::Parse(lf, back);
        QCOMPARE(back.LastOpenFolder, s.LastOpenFolder);
        QCOMPARE(back.PreviousRar.Description, QString());
        QCOMPARE(back.ThumbnailSize, 32);
    }

    void reservedLinesKeepTheirValues()
    {
        Settings s;
        QByteArray data = withLine(5, "T");
        SettingsFile::Parse(data, s);
        s.ExtractOverwrite = true;
        const QList<QByteArray> l = fileLines(SettingsFile::Serialize(s));
        for (int n : {5, 16, 18, 34})
            QCOMPARE(l[n - 1], QByteArray("F"));
        QCOMPARE(l[16], QByteArray("T"));
    }

    void textsWithLineBreaksDoNotShiftLines()
    {
        Settings s;
        s.LastSaveFolder = QStringLiteral("/a\nb\rc");
        const QByteArray data = SettingsFile::Serialize(s);
        QCOMPARE(fileLines(data).size(), 54);
        Settings back;
        SettingsFile::Parse(data, back);
        QCOMPARE(back.LastSaveFolder, QStringLiteral("/a b c"));
        QCOMPARE(back.ThumbnailSize, 64);
    }

    void openerTextsAreCut()
    {
        Settings s;
        SettingsFile::Parse(withLine(53, QByteArray(300, 'x')), s);
        QCOMPARE(s.PreviousRar.ClassName.size(), 255);
        s.PreviousGz.Description = QString(400, QLatin1Char('y'));
        QCOMPARE(fileLines(SettingsFile::Serialize(s))[38].size(), 255);
    }

    void loadMissingAndUnreadable()
    {
        QTemporaryDir dir;
        Settings s;
        bool err = true;
        QVERIFY(!SettingsFile::Load(dir.path(), s, &err));
        QVERIFY(!err);
        // A folder where the file should be.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("config")));
        QVERIFY(!SettingsFile::Load(dir.path(), s, &err));
        QVERIFY(err);
        QVERIFY(!SettingsFile::Save(dir.path(), s));
    }

    void failedSaveKeepsTheOldFile()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        QTemporaryDir dir;
        Settings s;
        s.LastOpenFolder = QStringLiteral("/kept");
        QVERIFY(SettingsFile::Save(dir.path(), s));
        const QByteArray before = testtools::readFile(SettingsFile::ConfigPath(dir.path()));
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        s.LastOpenFolder = QStringLiteral("/lost");
        QVERIFY(!SettingsFile::Save(dir.path(), s));
        QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(testtools::readFile(SettingsFile::ConfigPath(dir.path())), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    }

    void defaultsAndClearTexts()
    {
        Settings s;
        s.ExtractUpdate = true;
        s.DefaultArchiveType = 0;
        s.LastOpenFolder = QStringLiteral("/keep");
        s.ThumbnailSize = 128;
        s.ApplyDefaults();
        QVERIFY(!s.ExtractUpdate);
        QCOMPARE(s.DefaultArchiveType, 1);
        QCOMPARE(s.LastOpenFolder, QStringLiteral("/keep"));
        QCOMPARE(s.ThumbnailSize, 128);
        s.Reserved24 = 2;
        s.PreviousTgz.ClassName = QStringLiteral("x");
        s.ClearTexts();
        QVERIFY(s.LastOpenFolder.isEmpty());
        QVERIFY(s.PreviousTgz.ClassName.isEmpty());
        QCOMPARE(s.Reserved24, 0);
    }
};

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settings_file.moc"
