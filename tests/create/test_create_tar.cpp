// The create page's tar, tar.gz and gz archives, checked with GNU tar and gzip:
// member names, the scratch tar, the options dialog for one archive, the
// volume header, room running out, the page lock, and the messages.

#include "CreateFixture.h"
#include "FileSizeLimit.h"

#include "create/TTarArchiveOptionsForm.h"
#include "codecs/Gzip.h"
#include "codecs/TarReader.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>

using namespace CreateFixture;

class TestCreateTar : public QObject {
    Q_OBJECT

    Scratch dir_;
    Window w_;

    QString file(const QString& rel, const QByteArray& data = "tar me\n") { return dir_.file(rel, data); }
    QString out(const QString& name) const { return dir_.out(name); }
    // "mode user/group size date time name" lines of GNU tar's verbose list.
    QStringList tarLines(const QString& tar, const QStringList& extra = {})
    {
        const Run r = run(QStringLiteral("tar"), QStringList{QStringLiteral("-tvf"), tar} + extra);
        if (r.code != 0)
            return {QStringLiteral("<tar failed>")};
        return r.outText().split('\n', Qt::SkipEmptyParts);
    }
    QStringList tarNames(const QString& tar, const QStringList& extra = {})
    {
        const Run r = run(QStringLiteral("tar"), QStringList{QStringLiteral("-tf"), tar} + extra);
        if (r.code != 0)
            return {QStringLiteral("<tar failed>")};
        return r.outText().split('\n', Qt::SkipEmptyParts);
    }
    void addTree()
    {
        file(QStringLiteral("photos/2001/a.jpg"), QByteArray(513, 'j'));
        file(QStringLiteral("photos/empty.txt"), QByteArray());
        w_.settings().RelativePaths = true;
        w_.addFolder(dir_.filePath(QStringLiteral("photos")));
    }

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        dir_.reset();
        w_.open();
    }
    void cleanup()
    {
        Platform::SetFreeOnDiskHook({});
        w_.closeWindow();
    }

    void tarWithDefaultsAndOneOptionsRun()
    {
        addTree();
        QVERIFY(QFile::setPermissions(dir_.filePath(QStringLiteral("photos/2001/a.jpg")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
        QVERIFY(QFile::setPermissions(dir_.filePath(QStringLiteral("photos/empty.txt")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                          QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther));
        w_.settings().DefaultArchiveType = 3;
        w_.zip(out(QStringLiteral("pics")));
        const QString tar = out(QStringLiteral("pics.tar"));
        QCOMPARE(w_.prompter.lastText(), QStringLiteral("THE TAR FILE CREATION HAS BEEN COMPLETED."));
        QStringList names = tarNames(tar);
        names.sort();
        // No folder entries; members named by Path and File.
        QCOMPARE(names, (QStringList{QStringLiteral("photos/2001/a.jpg"), QStringLiteral("photos/empty.txt")}));
        // The defaults: each file's own permission bits, ids 0.
        QStringList lines = tarLines(tar, {QStringLiteral("--numeric-owner")});
        lines.sort();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(QStringLiteral("-rw-r----- 0/0")), qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(QStringLiteral("-rwxr-xr-x 0/0")), qPrintable(lines[1]));
        // A user who is not root extracts it with GNU tar and reads the files.
        const QString mine = folderForUser(dir_.path(), QStringLiteral("user"));
        const Run x = runAsUser(QStringLiteral("tar"), {QStringLiteral("-xf"), QStringLiteral("-"), QStringLiteral("-C"), mine},
                                readFile(tar));
        QCOMPARE(x.errText(), QString());
        QCOMPARE(x.code, 0);
        QCOMPARE(runAsUser(QStringLiteral("cat"), {mine + QStringLiteral("/photos/2001/a.jpg")}).out, QByteArray(513, 'j'));

        // The options dialog starts from the first file's bits and applies to the next tar only.
        const QString first = w_.cell(0, TCreatePage::SourceColumn);
        const bool firstIsExecutable = QFileInfo(first).permissions() & QFile::ExeOwner;
        w_.settings().TarAttributes = true;
        bool startedFromFile = false;
        w_.prompter.onDialog([&startedFromFile, firstIsExecutable](QDialog& d) {
            auto& f = static_cast<TTarArchiveOptionsForm&>(d);
            startedFromFile = f.OwnerReadCheckBox->isChecked() && f.GroupReadCheckBox->isChecked() &&
                              !f.OtherWriteCheckBox->isChecked() &&
                              f.OwnerExecuteCheckBox->isChecked() == firstIsExecutable &&
                              f.VHEdit->text().isEmpty() && f.UIDSpinEdit->value() == 0;
            f.OwnerReadCheckBox->setChecked(true);
            f.OwnerWriteCheckBox->setChecked(true);
            f.OwnerExecuteCheckBox->setChecked(false);
            f.GroupReadCheckBox->setChecked(false);
            f.GroupExecuteCheckBox->setChecked(false);
            f.OtherReadCheckBox->setChecked(true);
            f.OtherWriteCheckBox->setChecked(false);
            f.OtherExecuteCheckBox->setChecked(false);
            f.UIDSpinEdit->setValue(1234);
            f.GIDSpinEdit->setValue(99);
            f.UserNameEdit->setText(QStringLiteral("alice"));
            f.GroupNameEdit->setText(QStringLiteral("staff"));
            f.VHEdit->setText(QStringLiteral("BACKUP 1"));
            QTest::mouseClick(f.Button1, Qt::LeftButton);
            return d.result();
        });
        w_.zip(out(QStringLiteral("opts.tar")));
        QVERIFY(startedFromFile);
        QCOMPARE(w_.prompter.dialogTitles.last(), QStringLiteral("Tar Archive Options"));
        {
            TTarReader r(out(QStringLiteral("opts.tar")));
            TTarEntry e;
            QVERIFY(r.nextEntry(e));
            QCOMPARE(e.fileType, TTarFileType::VolumeHeader);
            QCOMPARE(e.name, QStringLiteral("BACKUP 1"));
            QCOMPARE(e.size, 0);
            for (int i = 0; i < 2; ++i) {
                QVERIFY(r.nextEntry(e));
                QCOMPARE(e.permissions, quint16(0604));
                QCOMPARE(e.userId, 1234u);
                QCOMPARE(e.groupId, 99u);
                QCOMPARE(e.userName, QStringLiteral("alice"));
                QCOMPARE(e.groupName, QStringLiteral("staff"));
            }
        }
        // Cancel leaves the record at its defaults: the files' own bits again.
        w_.prompter.onDialog([](QDialog& d) {
            QTest::mouseClick(static_cast<TTarArchiveOptionsForm&>(d).Button2, Qt::LeftButton);
            return d.result();
        });
        w_.zip(out(QStringLiteral("again.tar")));
        lines = tarLines(out(QStringLiteral("again.tar")), {QStringLiteral("--numeric-owner")});
        lines.sort();
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(QStringLiteral("-rw-r----- 0/0")), qPrintable(lines[0]));
        QVERIFY2(lines[1].startsWith(QStringLiteral("-rwxr-xr-x 0/0")), qPrintable(lines[1]));
        // The page is unlocked afterwards.
        QVERIFY(w_.page->ZipButton->isEnabled());
        QVERIFY(w_.page->OpenFilesZipButton->isEnabled());
        QVERIFY(w_.form->TabbedNotebook->tabBar()->isEnabled());
        QCOMPARE(w_.page->ZipProgressBar->maximum(), 100);
    }

    void tarGzLeavesItsTarInTheScratchFolder()
    {
        addTree();
        w_.settings().DefaultArchiveType = 2;
        w_.zip(out(QStringLiteral("backup.tar.gz")));
        const QString tgz = out(QStringLiteral("backup.tar.gz"));
        QCOMPARE(w_.prompter.lastText(), QStringLiteral("THE PROGRAM HAS COMPLETED PROCESSING THE FILE \r") + tgz);
        QCOMPARE(w_.prompter.fileRequests.last().filter, QStringLiteral("GZipped TAR Files (*.tar.gz)"));
        QCOMPARE(run(QStringLiteral("gzip"), {QStringLiteral("-t"), tgz}).code, 0);
        QStringList names = tarNames(tgz, {QStringLiteral("-z")});
        names.sort();
        QCOMPARE(names, (QStringList{QStringLiteral("photos/2001/a.jpg"), QStringLiteral("photos/empty.txt")}));
        const QString scratchTar = w_.form->appState().TempFolder() + QStringLiteral("/backup.tar");
        QVERIFY(QFileInfo(scratchTar).isFile());
        TGzip gz;
        gz.FileSource = tgz;
        QCOMPARE(gz.readHeader(), 0);
        QCOMPARE(gz.storedName(), QStringLiteral("backup.tar"));
        QVERIFY(!w_.page->GzipCreateMode);
        QVERIFY(w_.page->ZipStatusBar->currentMessage().isEmpty());
    }

    void gzOfOneFile()
    {
        const QString report = file(QStringLiteral("report.txt"), QByteArray(70000, 'r'));
        w_.addFiles({report});
        w_.settings().DefaultArchiveType = 4;
        QList<int> seen;
        connect(w_.page->ZipProgressBar, &QProgressBar::valueChanged, this, [&seen](int v) { seen << v; });
        w_.zip(out(QStringLiteral("renamed")));
        const QString gzPath = out(QStringLiteral("renamed.gz"));
        QCOMPARE(w_.prompter.lastText(), QStringLiteral("THE PROGRAM HAS COMPLETED PROCESSING THE FILE \r") + gzPath);
        const Run r = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), gzPath});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray(70000, 'r'));
        TGzip gz;
        gz.FileSource = gzPath;
        QCOMPARE(gz.readHeader(), 0);
        QCOMPARE(gz.storedName(), QStringLiteral("report.txt"));
        QVERIFY(seen.contains(100));
        QCOMPARE(w_.page->ZipProgressBar->value(), 0);
    }

    void tarStopsWhenTheDiskIsFull()
    {
        for (int i = 0; i < 4; ++i)
            file(QStringLiteral("f/%1.txt").arg(i));
        w_.addFolder(dir_.filePath(QStringLiteral("f")));
        w_.settings().DefaultArchiveType = 2;
        int calls = 0;
        // Room for the checks of the ZIP button and two rows, then none.
        Platform::SetFreeOnDiskHook([&calls](const QString&) { return ++calls <= 4 ? qint64(1) << 40 : qint64(100); });
        w_.zip(out(QStringLiteral("full.tar.gz")));
        QVERIFY2(w_.prompter.texts().contains(
            QStringLiteral("THERE WAS NOT ENOUGH ROOM ON THE DRIVE TO COMPLETE THE CREATION OF THE TAR FILE.")), qPrintable(w_.prompter.texts().join(" | ") + QString::number(calls)));
        // No compression of an incomplete tar; the incomplete tar stays in the scratch folder.
        QVERIFY(!QFileInfo::exists(out(QStringLiteral("full.tar.gz"))));
        const QString scratchTar = w_.form->appState().TempFolder() + QStringLiteral("/full.tar");
        QVERIFY(QFileInfo(scratchTar).isFile());
        const int members = int(tarNames(scratchTar).size());
        QVERIFY(members >= 1 && members < 4);
        QVERIFY(w_.page->ZipButton->isEnabled());
    }

    void diskFillingUpDuringATarIsOutOfRoom()
    {
        constexpr qint64 limit = 200 * 1024;
        w_.addFiles({file(QStringLiteral("a.txt")), file(QStringLiteral("big.bin"), randomData(1 << 20, 7))});
        w_.settings().DefaultArchiveType = 3;
        // The disk is full once a file has reached the limit.
        Platform::SetFreeOnDiskHook([](const QString& path) {
            return QFileInfo(path).size() >= limit ? qint64(100) : qint64(1) << 40;
        });
        QVERIFY(WithFileSizeLimit(rlim_t(limit), [&] { w_.zip(out(QStringLiteral("full.tar"))); }));
        QCOMPARE(w_.prompter.texts(),
                 QStringList{QStringLiteral("THERE WAS NOT ENOUGH ROOM ON THE DRIVE TO COMPLETE THE CREATION OF THE TAR FILE.")});
        QVERIFY(w_.page->ZipButton->isEnabled());
    }

    void messagesNameTheUsersFile()
    {
        w_.addFiles({file(QStringLiteral("a.txt"))});
        // A folder that does not exist: the tar cannot be created.
        const QString tar = out(QStringLiteral("missing/x.tar"));
        w_.settings().DefaultArchiveType = 3;
        w_.zip(tar);
        QVERIFY2(w_.prompter.messages.size() == 1, qPrintable(w_.prompter.texts().join(QLatin1Char('|'))));
        QVERIFY2(w_.prompter.lastText().startsWith(QStringLiteral("Cannot create file \"") + tar + QLatin1Char('"')),
                 qPrintable(w_.prompter.lastText()));
        // The gzip component's box likewise.
        w_.prompter.clear();
        const QString gz = out(QStringLiteral("missing/x.gz"));
        w_.settings().DefaultArchiveType = 4;
        w_.prompter.answer(PromptButton::Abort);  // the component's error box
        w_.zip(gz);
        QCOMPARE(w_.prompter.texts(), QStringList{QStringLiteral("Can't open: ") + gz});
    }

    void aFailedRenameSaysWhereTheArchiveIs()
    {
        w_.addFiles({file(QStringLiteral("a.txt"))});
        // A folder (not empty) has the name: the finished tar cannot take it.
        const QString tar = out(QStringLiteral("taken.tar"));
        writeFile(tar + QStringLiteral("/inside.txt"), "x");
        w_.settings().DefaultArchiveType = 3;
        w_.zip(tar);
        QCOMPARE(w_.prompter.messages.size(), 1);
        const QString text = w_.prompter.lastText();
        QVERIFY2(text.startsWith(QStringLiteral("THE ARCHIVE FILE COULD NOT BE SAVED AS\r") + tar + QStringLiteral("\r(")),
                 qPrintable(text));
        const QString savedAs = text.section(QLatin1Char('\r'), -1);
        QVERIFY(QFileInfo(savedAs).fileName().startsWith(QStringLiteral(".quarn-")));
        const QStringList members = tarNames(savedAs);
        QCOMPARE(members.size(), 1);
        QVERIFY(members.first().endsWith(QStringLiteral("/a.txt")));
        QCOMPARE(readFile(tar + QStringLiteral("/inside.txt")), QByteArray("x"));
    }

    void temporaryTarFolderIsChosenForEachRun()
    {
        w_.addFiles({file(QStringLiteral("a.txt"))});
        w_.settings().DefaultArchiveType = 2;
        // A scratch folder an earlier run chose is not used again.
        const QString stale = dir_.filePath(QStringLiteral("stale"));
        w_.page->TarScratchFolder = stale;
        w_.zip(out(QStringLiteral("fresh.tar.gz")));
        QVERIFY(QFileInfo::exists(out(QStringLiteral("fresh.tar.gz"))));
        QVERIFY(QFileInfo(w_.form->appState().TempFolder() + QStringLiteral("/fresh.tar")).isFile());
        QVERIFY(!QFileInfo::exists(stale));
    }

    void unreadableSourceEndsWithItsMessage()
    {
        const QString a = file(QStringLiteral("a.txt"));
        w_.addFiles({a, file(QStringLiteral("b.txt"))});
        const QString tar = out(QStringLiteral("old.tar"));
        writeFile(tar, "earlier archive");
        QFile::remove(a);
        w_.settings().DefaultArchiveType = 3;
        w_.zip(tar);
        QVERIFY(!w_.prompter.texts().contains(QStringLiteral("THE TAR FILE CREATION HAS BEEN COMPLETED.")));
        QVERIFY(!w_.prompter.messages.isEmpty());
        // The earlier archive is kept, and no scratch file is left beside it.
        QCOMPARE(readFile(tar), QByteArray("earlier archive"));
        QCOMPARE(QDir(out(QString())).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("old.tar")});
        QVERIFY(w_.page->ZipListView->isEnabled());
        QVERIFY(w_.form->TabbedNotebook->tabBar()->isEnabled());
    }

    void scratchFolderOnAnotherDrive()
    {
        w_.addFiles({file(QStringLiteral("a.txt"), QByteArray(1000, 'a'))});
        // Too little room everywhere: the message names the size needed.
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(10); });
        QVERIFY(!w_.page->ChooseNewTempFolder(4096));
        QCOMPARE(w_.prompter.lastText(),
                 QStringLiteral("THE COMPUTER CANNOT FIND ENOUGH ROOM ON ANY OF YOUR DISK DRIVES ON WHICH IT CAN CREATE "
                                "THE TEMPORARY TAR FILE.  YOU NEED ROOM ON A DISK WITH AT LEAST 4 KB FREE (WHICH IS 4096 "
                                "BYTES OF REQUIRED FREE SPACE FOR THE TAR FILE.  TRY FREEING UP SOME ROOM SOMEWHERE ON "
                                "DISK AND TRY AGAIN."));
        QVERIFY(w_.page->TarScratchFolder.isEmpty());
    }
};

QTEST_MAIN(TestCreateTar)
#include "test_create_tar.moc"
