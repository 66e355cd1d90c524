// The create page's tar, tar.gz and gz archives, checked with GNU tar and gzip:
// member names, the scratch tar, the options dialog for one archive, the
// volume header, room running out, the page lock, and the messages.

#include "CreateFixture.h"

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
        w_.settings().DefaultArchiveType = 3;
        w_.zip(out(QStringLiteral("pics")));
        const QString tar = out(QStringLiteral("pics.tar"));
        QCOMPARE(w_.prompter.lastText(), QStringLiteral("THE TAR FILE CREATION HAS BEEN COMPLETED."));
        QStringList names = tarNames(tar);
        names.sort();
        // No folder entries; members named by Path and File.
        QCOMPARE(names, (QStringList{QStringLiteral("photos/2001/a.jpg"), QStringLiteral("photos/empty.txt")}));
        // The defaults: others only, ids 0.
        for (const QString& l : tarLines(tar, {QStringLiteral("--numeric-owner")}))
            QVERIFY2(l.startsWith(QStringLiteral("-------rwx 0/0")), qPrintable(l));
        QCOMPARE(run(QStringLiteral("tar"), {QStringLiteral("-xf"), tar, QStringLiteral("-C"), out(QString())}).code, 0);
        QCOMPARE(readFile(out(QStringLiteral("photos/2001/a.jpg"))), QByteArray(513, 'j'));

        // The options dialog applies to the next tar only.
        w_.settings().TarAttributes = true;
        bool freshDefaults = false;
        w_.prompter.onDialog([&freshDefaults](QDialog& d) {
            auto& f = static_cast<TTarArchiveOptionsForm&>(d);
            freshDefaults = f.OtherReadCheckBox->isChecked() && !f.OwnerReadCheckBox->isChecked() &&
                            f.VHEdit->text().isEmpty() && f.UIDSpinEdit->value() == 0;
            f.OwnerReadCheckBox->setChecked(true);
            f.OwnerWriteCheckBox->setChecked(true);
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
        QVERIFY(freshDefaults);
        QCOMPARE(w_.prompter.dialogTitles.last(), QStringLiteral("Tar Archive Options"));
        {
            TTarReader r(out(QStringLiteral("opts.tar")));
            TTarEntry e;
            QVERIFY(r.nextEntry(e));
            QCOMPARE(e.fileType, TTarFileType::VolumeHeader);
            QCOMPARE(e.name, QStringLiteral("BACKUP 1"));
            QCOMPARE(e.size, 0);
            QVERIFY(r.nextEntry(e));
            QCOMPARE(e.permissions, quint16(0604));
            QCOMPARE(e.userId, 1234u);
            QCOMPARE(e.groupId, 99u);
            QCOMPARE(e.userName, QStringLiteral("alice"));
            QCOMPARE(e.groupName, QStringLiteral("staff"));
        }
        // Cancel leaves the record at its defaults: mode 0007 again.
        w_.prompter.onDialog([](QDialog& d) {
            QTest::mouseClick(static_cast<TTarArchiveOptionsForm&>(d).Button2, Qt::LeftButton);
            return d.result();
        });
        w_.zip(out(QStringLiteral("again.tar")));
        for (const QString& l : tarLines(out(QStringLiteral("again.tar")), {QStringLiteral("--numeric-owner")}))
            QVERIFY2(l.startsWith(QStringLiteral("-------rwx 0/0")), qPrintable(l));
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
