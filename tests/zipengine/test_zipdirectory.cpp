// The engine's directory reader: end-record search, garbage and zero fill,
// self-extracting offsets, folder entries, name conversion, failures.
#include "RecordingZipUser.h"
#include "ZipBuilder.h"
#include "zipengine/TZipEngine.h"

#include <QTemporaryDir>
#include <QtTest>

class TestZipDirectory : public QObject {
    Q_OBJECT

    QTemporaryDir tmp;
    RecordingZipUser user;
    TZipEngine engine;
    QStringList onMessage;

    QString path(const QString& name) const { return tmp.filePath(name); }

    // Writes `z` and points the engine at it.
    void load(const ZipBuilder& z, const QString& name = QStringLiteral("t.zip"))
    {
        QVERIFY(z.write(path(name)));
        engine.SetZipFileName(path(name));
    }

private slots:
    void init()
    {
        user.shown.clear();
        onMessage.clear();
        engine.SetUser(&user);
        engine.Unattended = false;
        engine.UseDirOnlyEntries = false;
        engine.CodePage = TCodePage::cpAuto;
        engine.ErrCode = 0;
        engine.OnMessage = [this](TZipEngine&, int code, const QString& text) {
            QCOMPARE(code, 0);
            onMessage << text;
        };
    }

    void emptyArchiveOfEndRecordOnly()
    {
        ZipBuilder z;
        QCOMPARE(z.build().size(), 22);
        load(z);
        QCOMPARE(engine.Count, 0);
        QCOMPARE(engine.DataStart, 0);
        QCOMPARE(engine.ErrCode, 0);
        QCOMPARE(engine.EndRecordOffset, 0);
        QVERIFY(user.shown.isEmpty());
    }

    void plainArchiveListsEntriesAndState()
    {
        ZipBuilder z;
        z.add("a.txt", "hello");
        z.add("dir/b.bin", QByteArray(1000, 'x')).comment = "entry note";
        z.entries.back().extra = QByteArray("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9);
        load(z);
        QCOMPARE(engine.Count, 2);
        QCOMPARE(int(engine.Entries.size()), 2);
        QCOMPARE(engine.Entries[0].FileName, QStringLiteral("a.txt"));
        QCOMPARE(engine.Entries[1].FileName, QStringLiteral("dir\\b.bin"));
        QCOMPARE(engine.Entries[1].UncompressedSize, 1000u);
        QCOMPARE(engine.Entries[1].FileComment, QStringLiteral("entry note"));
        QCOMPARE(engine.Entries[1].ExtraData.size(), 9);
        QCOMPARE(engine.Entries[1].ExtraData.constData()[9], '\0');
        QVERIFY(engine.Entries[0].ExtraData.isEmpty());
        QCOMPARE(engine.Entries[1].DateTime, (0x5A21u << 16) | 0x6000u);
        QCOMPARE(engine.DataStart, 0);
        QCOMPARE(engine.RealSize, z.build().size());
        QCOMPARE(engine.EffectiveSize, engine.RealSize);
        QCOMPARE(engine.EndRecordOffset, engine.RealSize - 22);
        QVERIFY(!engine.StructureWarning);
        QVERIFY(!engine.Spanned);
        QCOMPARE(engine.ErrCode, 0);
        QVERIFY(user.shown.isEmpty());
        QVERIFY(!engine.InFile.isOpen());
    }

    void longCommentFoundByBackwardSearch()
    {
        ZipBuilder z;
        z.add("a.txt", "abc");
        z.archiveComment = QByteArray(1000, 'c');
        load(z);
        QCOMPARE(engine.Count, 1);
        QCOMPARE(engine.ArchiveComment, QString(1000, QLatin1Char('c')));
        QCOMPARE(engine.EndRecordOffset, engine.RealSize - 22 - 1000);
        QCOMPARE(engine.EffectiveSize, engine.RealSize);
        QVERIFY(user.shown.isEmpty());
        QCOMPARE(engine.ErrCode, 0);
    }

    void zeroFillToBlockIsSilentButGarbageWarns()
    {
        // Pick a comment length so that 100 appended bytes end on a 512 boundary.
        ZipBuilder z;
        z.add("a.txt", "abc");
        const int base = int(z.build().size());
        z.archiveComment = QByteArray((512 - (base + 100) % 512) % 512, 'k');
        const qint64 zipSize = z.build().size();
        z.trailing = QByteArray(100, '\0');
        QCOMPARE((zipSize + 100) % 512, 0);
        load(z);
        QVERIFY(user.shown.isEmpty());
        QCOMPARE(engine.Count, 1);
        QCOMPARE(engine.EffectiveSize, zipSize);

        z.trailing[50] = 1;
        load(z);
        QCOMPARE(user.shown, QStringList{QStringLiteral("Warning - Garbage at the end of the zipfile!")});
        QCOMPARE(engine.ErrCode, 10204);
        QCOMPARE(engine.EffectiveSize, zipSize);
        QCOMPARE(engine.RealSize, zipSize + 100);
        QCOMPARE(engine.Count, 1);
        QVERIFY(!engine.StructureWarning);
    }

    void zeroTailOffBlockBoundaryWarns()
    {
        ZipBuilder z;
        z.add("a.txt", "abc");
        z.trailing = QByteArray(100, '\0');
        QVERIFY(z.build().size() % 512 != 0);
        load(z);
        QCOMPARE(engine.ErrCode, 10204);
        QCOMPARE(engine.Count, 1);
    }

    void selfExtractorWithUnadjustedOffsets()
    {
        ZipBuilder z;
        z.prefix = QByteArray(4096, 'M');
        z.add("a.txt", "one");
        z.add("b.txt", "two");
        z.adjustOffsets = false;
        load(z);
        QVERIFY(engine.StructureWarning);
        QCOMPARE(user.shown, QStringList{QStringLiteral("Warning - Error in zip structure!")});
        QCOMPARE(engine.ErrCode, 10203);
        QCOMPARE(engine.Count, 2);
        QCOMPARE(engine.Entries[1].FileName, QStringLiteral("b.txt"));

        user.shown.clear();
        z.adjustOffsets = true;
        load(z);
        QVERIFY(!engine.StructureWarning);
        QVERIFY(user.shown.isEmpty());
        QCOMPARE(engine.DataStart, 4096);
        QCOMPARE(engine.Count, 2);
    }

    void folderEntriesCountedApartUnlessWanted()
    {
        ZipBuilder z;
        z.add("docs/");
        z.add("docs/a.txt", "x");
        z.add("C:");
        load(z);
        QCOMPARE(engine.Count, 1);
        QCOMPARE(engine.DirectoryOnlyCount, 2);
        QCOMPARE(engine.Entries[0].FileName, QStringLiteral("docs\\a.txt"));

        engine.UseDirOnlyEntries = true;
        engine.ReadDirectory();
        QCOMPARE(engine.Count, 3);
        QCOMPARE(engine.DirectoryOnlyCount, 0);
        QCOMPARE(engine.Entries[0].FileName, QStringLiteral("docs\\"));
    }

    void missingFileIsSilent()
    {
        engine.ErrCode = 4711;
        int updates = 0;
        engine.OnDirUpdate = [&](TZipEngine&) { ++updates; };
        engine.SetZipFileName(path("nothing-here.zip"));
        engine.OnDirUpdate = nullptr;
        QCOMPARE(engine.Count, 0);
        QCOMPARE(engine.ErrCode, 4711);
        QCOMPARE(updates, 1);
        QVERIFY(user.shown.isEmpty());
        QVERIFY(onMessage.isEmpty());
    }

    void eventsInOrder()
    {
        ZipBuilder z;
        z.add("a/");
        z.add("a/1", "1");
        z.add("a/2", "2");
        QList<int> seq;
        QStringList names;
        int updates = 0;
        engine.OnNewName = [&](TZipEngine& e, int n, const ZipDirEntry& entry) {
            QCOMPARE(e.Count, n);
            seq << n;
            names << entry.FileName;
        };
        engine.OnDirUpdate = [&](TZipEngine&) { ++updates; };
        load(z);
        engine.OnNewName = nullptr;
        engine.OnDirUpdate = nullptr;
        QCOMPARE(seq, (QList<int>{1, 2}));
        QCOMPARE(names, (QStringList{"a\\1", "a\\2"}));
        QCOMPARE(updates, 1);
    }

    void notAZipAndBackupSetParts()
    {
        QVERIFY(WriteBytes(path("junk.zip"), QByteArray(3000, 'j')));
        engine.SetZipFileName(path("junk.zip"));
        QCOMPARE(engine.ErrCode, 11036);
        QCOMPARE(user.shown.last(), QStringLiteral("This archive is not a valid Zip archive"));
        QCOMPARE(engine.Count, 0);

        // The first part of a split set: the spanning marker, then a local header.
        ZipBuilder z;
        z.add("a.txt", "abc");
        QByteArray part = z.build();
        part.truncate(part.indexOf("PK\x01\x02"));
        part.prepend(QByteArray("PK\x07\x08", 4));
        QVERIFY(WriteBytes(path("part1.zip"), part));
        engine.SetZipFileName(path("part1.zip"));
        QCOMPARE(engine.ErrCode, 11045);
        QVERIFY(engine.Spanned);
        QCOMPARE(user.shown.last(),
                 QStringLiteral("This is the first file in a backup set,\nplease choose the last file of this set"));

        QVERIFY(WriteBytes(path("tiny.zip"), QByteArray("PK")));
        engine.SetZipFileName(path("tiny.zip"));
        QCOMPARE(engine.ErrCode, 11036);
    }

    void lastDiskWithoutEarlierDisks()
    {
        // An end record of disk 2 whose directory lies on disk 0, which is
        // not there (it would be disk3001.zip).
        ZipBuilder z;
        z.add("a.txt", "abc");
        QByteArray b = z.build();
        const qsizetype end = b.size() - 22;
        b[end + 4] = 2;
        QVERIFY(WriteBytes(path("disk3.zip"), b));
        engine.SetZipFileName(path("disk3.zip"));
        QVERIFY(engine.Spanned);
        QCOMPARE(engine.LastDiskNumber, 2);
        QCOMPARE(engine.ErrCode, 11001);
        QCOMPARE(engine.Count, 0);
    }

    void brokenCentralHeaderKeepsEarlierEntries()
    {
        ZipBuilder z;
        z.add("a.txt", "abc");
        z.add("b.txt", "def");
        QByteArray b = z.build();
        const qsizetype second = b.indexOf("PK\x01\x02", b.indexOf("PK\x01\x02") + 1);
        b[second + 2] = 9;
        QVERIFY(WriteBytes(path("bad.zip"), b));
        engine.SetZipFileName(path("bad.zip"));
        QCOMPARE(engine.ErrCode, 11015);
        QCOMPARE(engine.Count, 1);
        QCOMPARE(engine.Entries[0].FileName, QStringLiteral("a.txt"));
    }

    void truncatedDeclaredCommentIsCut()
    {
        ZipBuilder z;
        z.add("a.txt", "abc");
        z.archiveComment = "short";
        z.declaredCommentLength = 500;
        load(z);
        QCOMPARE(engine.ArchiveComment, QStringLiteral("short"));
        QCOMPARE(engine.Count, 1);
        QVERIFY(!engine.StructureWarning);
    }

    void unattendedStillReportsThroughEvents()
    {
        engine.Unattended = true;
        ZipBuilder z;
        z.add("a.txt", "abc");
        z.trailing = "rubbish";
        load(z);
        QVERIFY(user.shown.isEmpty());
        QCOMPARE(onMessage, QStringList{QStringLiteral("Warning - Garbage at the end of the zipfile!")});
        QCOMPARE(engine.ErrCode, 10204);
        QCOMPARE(engine.LastMessage, onMessage.first());
    }

    void nameConversionByHostAndFlags_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("host");
        QTest::addColumn<int>("madeBy");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("codePage");
        QTest::addColumn<QString>("expected");
        const int autoCp = int(TCodePage::cpAuto), none = int(TCodePage::cpNone), oem = int(TCodePage::cpOEM);
        QTest::newRow("dos host is OEM") << QByteArray("\x81" "ber.txt") << 0 << 20 << 0 << autoCp << QString::fromUtf8("über.txt");
        QTest::newRow("cpNone leaves dos bytes as ANSI") << QByteArray("\xe9.txt") << 0 << 20 << 0 << none << QString::fromUtf8("é.txt");
        QTest::newRow("unix host, windows-1252") << QByteArray("\x80\xe9.txt") << 3 << 30 << 0 << autoCp << QString::fromUtf8("€é.txt");
        QTest::newRow("unix host, valid utf-8") << QByteArray("\xc3\xa9t\xc3\xa9.txt") << 3 << 30 << 0 << autoCp << QString::fromUtf8("été.txt");
        QTest::newRow("bit 11 beats dos host") << QByteArray("\xc3\xa9.txt") << 0 << 20 << 0x800 << autoCp << QString::fromUtf8("é.txt");
        QTest::newRow("hpfs is OEM") << QByteArray("\x94.txt") << 6 << 20 << 0 << none << QString::fromUtf8("ö.txt");
        QTest::newRow("ntfs by 5.0 is OEM") << QByteArray("\x94.txt") << 11 << 50 << 0 << none << QString::fromUtf8("ö.txt");
        QTest::newRow("ntfs by 2.0 is ANSI") << QByteArray("\xf6.txt") << 11 << 20 << 0 << autoCp << QString::fromUtf8("ö.txt");
        QTest::newRow("cpOEM forces OEM") << QByteArray("\xe1.txt") << 3 << 30 << 0 << oem << QString::fromUtf8("ß.txt");
        QTest::newRow("ascii with slashes") << QByteArray("a/b/c.txt") << 3 << 30 << 0 << autoCp << QStringLiteral("a\\b\\c.txt");
    }

    void nameConversionByHostAndFlags()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, host);
        QFETCH(int, madeBy);
        QFETCH(int, flags);
        QFETCH(int, codePage);
        QFETCH(QString, expected);
        ZipBuilder z;
        BuildEntry& e = z.add(name, "x");
        e.host = uint8_t(host);
        e.madeBy = uint8_t(madeBy);
        e.flags = uint16_t(flags);
        e.comment = name;
        engine.CodePage = TCodePage(codePage);
        load(z);
        QCOMPARE(engine.Count, 1);
        QCOMPARE(engine.Entries[0].FileName, expected);
        QCOMPARE(engine.Entries[0].FileComment.size(), expected.size());
    }

    void encryptedFlag()
    {
        ZipBuilder z;
        z.add("s.txt", "x").flags = 1;
        z.add("p.txt", "x");
        load(z);
        QVERIFY(engine.Entries[0].Encrypted);
        QVERIFY(!engine.Entries[1].Encrypted);
    }

    void readEndRecordKeepsFileOpen()
    {
        ZipBuilder z;
        z.add("a.txt", "abc");
        QVERIFY(z.write(path("open.zip")));
        engine.SetZipFileName(path("open.zip"));
        QVERIFY(engine.ReadEndRecord(false));
        QVERIFY(engine.InFile.isOpen());
        QCOMPARE(engine.EndRecord.TotalEntries, 1);
        engine.CloseInFile();

        QVERIFY(WriteBytes(path("open.zip"), QByteArray(100, 'z')));
        QVERIFY(!engine.ReadEndRecord(false));
        QVERIFY_THROWS_EXCEPTION(EZipEngine, engine.ReadEndRecord(true));
        engine.CloseInFile();
    }

    void messageTexts()
    {
        QCOMPARE(LoadZipStr(10804), QStringLiteral("SFX not supported"));
        QCOMPARE(LoadZipStr(11048), QStringLiteral("Span not supported"));
        QCOMPARE(LoadZipStr(10605), QStringLiteral("Attempted to load old ZipLib from "));
        QCOMPARE(LoadZipStr(12345),
                 QStringLiteral("The message resource is probably not linked to the executable\nMissing String ID is: 12345"));
        QCOMPARE(LoadZipStr(11099, QStringLiteral("Overwrite previous disk no %d")),
                 QStringLiteral("Overwrite previous disk no %d"));
        QCOMPARE(LoadZipStr(11039, QStringLiteral("stand-by")),
                 QStringLiteral("There is already a file %s\nDo you want to overwrite this file"));

        const EZipEngine a(11038, 3);
        QCOMPARE(a.Message(), QStringLiteral("This is the 3th disk in a backup set,\nplease insert the last disk of this set"));
        QCOMPARE(a.ResourceId(), 11038);
        QVERIFY(a.Display());
        const EZipEngine b(11003, QStringLiteral("Q:\\"));
        QCOMPARE(b.Message(), QStringLiteral("Not a valid drive: Q:\\"));
        const EZipEngine c(11001, false);
        QVERIFY(!c.Display());
        QCOMPARE(c.Message(), QStringLiteral("Input file does not exist"));

        QCOMPARE(ZipFormat(LoadZipStr(11034), {"2", "5"}), QStringLiteral("Please insert disk volume 2 of 5"));
        QCOMPARE(ZipFormat(QStringLiteral("100%% of %s"), {"x"}), QStringLiteral("100% of x"));
    }

    void issueMessageAndException()
    {
        engine.IssueMessage(10202, QStringLiteral("boom"));
        QCOMPARE(engine.ErrCode, 10202);
        QCOMPARE(engine.LastMessage, QStringLiteral("Unknown error in List() function\nboom"));
        QCOMPARE(user.shown.last(), engine.LastMessage);
        QCOMPARE(onMessage.last(), engine.LastMessage);

        user.shown.clear();
        engine.IssueException(EZipEngine(11007, false));
        QVERIFY(user.shown.isEmpty()); // not for display
        QCOMPARE(engine.ErrCode, 11007);
        QCOMPARE(onMessage.last(), QStringLiteral("User canceled operation"));
    }

    void busyCursorNests()
    {
        QCOMPARE(engine.BusyDepth(), 0);
        engine.BeginBusy();
        engine.BeginBusy();
        engine.EndBusy();
        QCOMPARE(engine.BusyDepth(), 1);
        engine.EndBusy();
        engine.EndBusy(); // an unmatched end does nothing
        QCOMPARE(engine.BusyDepth(), 0);
    }

    void codePageHelpers()
    {
        QCOMPARE(ZipText::ToOem(QString::fromUtf8("über")), QByteArray("\x81""ber"));
        QCOMPARE(ZipText::FromOem(ZipText::ToOem(QString::fromUtf8("Åß½"))), QString::fromUtf8("Åß½"));
        QVERIFY(!ZipText::IsValidUtf8("\xc0\xaf", 2)); // over-long "/"
        QVERIFY(!ZipText::IsValidUtf8("\xed\xa0\x80", 3)); // a surrogate
        QVERIFY(!ZipText::IsValidUtf8("\xe2\x82", 2)); // cut short
        QVERIFY(ZipText::IsValidUtf8("\xf0\x9f\x98\x80", 4));
    }

    void dosDates()
    {
        const QDateTime t = DosDateTimeToQDateTime((0x5A21u << 16) | 0x6000u);
        QCOMPARE(t.date(), QDate(2025, 1, 1));
        QCOMPARE(t.time(), QTime(12, 0, 0));
        QVERIFY(!DosDateTimeToQDateTime(0).isValid()); // month 0
        QCOMPARE(QDateTimeToDosDateTime(t), (0x5A21u << 16) | 0x6000u);
    }
};

QTEST_GUILESS_MAIN(TestZipDirectory)
#include "test_zipdirectory.moc"
