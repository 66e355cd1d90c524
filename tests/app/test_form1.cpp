// The main window: the busy bracket, the page-switch rules, the command line,
// the close sequence, the settings folder and the compression libraries.

#include "ScriptedPrompter.h"
#include "TestTools.h"

#include "app/TForm1.h"
#include "batch/TBatchPage.h"
#include "create/TCreatePage.h"
#include "create/TUpdatePage.h"
#include "platform/Platform.h"
#include "settings/Settings.h"
#include "settings/TPropertiesForm.h"
#include "shell/TStartmenuForm.h"
#include "XdgSandbox.h"
#include "sfx/TSfxPage.h"
#include "unzip/TUnzipPage.h"
#include "zipengine/TZipEngine.h"

#include <QAction>
#include <QMenu>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <sys/fsuid.h>
#include <unistd.h>

#include <memory>

using testtools::writeFile;

namespace {

void addRows(QStandardItemModel* m, int n)
{
    for (int i = 0; i < n; ++i) {
        QList<QStandardItem*> row;
        for (int c = 0; c < m->columnCount(); ++c)
            row << new QStandardItem(QStringLiteral("f%1.txt").arg(m->rowCount()));
        m->appendRow(row);
    }
}

// Line `n` (1-based) of a config file.
QByteArray configLine(const QByteArray& config, int n)
{
    return config.split('\n').value(n - 1).chopped(1);
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> data_;
    ScriptedPrompter prompter_;

    QString dataDir() const { return data_->path(); }
    std::unique_ptr<TForm1> makeForm(const QStringList& args = {})
    {
        return std::make_unique<TForm1>(prompter_, args);
    }

private slots:
    void init()
    {
        data_ = std::make_unique<QTemporaryDir>();
        QVERIFY(data_->isValid());
        qputenv("QUARN_DATA_DIR", data_->path().toLocal8Bit());
        prompter_.clear();
        prompter_.failOnUnexpected = true;
    }

    void cleanup()
    {
        QVERIFY2(prompter_.allAnswersUsed(), "scripted answers left over");
        data_.reset();
    }

    // A fresh start writes a config of defaults and shows nothing.
    void startupWritesFreshConfigSilently()
    {
        auto f = makeForm();
        QCOMPARE(prompter_.messages.size(), 0);
        QCOMPARE(f->CurrentPage(), int(TForm1::UnzipPageIndex));
        Settings fresh;
        QVERIFY(QDir().mkpath(dataDir() + "/fresh"));
        QVERIFY(SettingsFile::WriteDefaults(dataDir() + "/fresh", fresh));
        QCOMPARE(testtools::readFile(dataDir() + "/config"), testtools::readFile(dataDir() + "/fresh/config"));
        QVERIFY(QFileInfo(dataDir() + "/temp/img").isDir());
        QCOMPARE(f->DropTarget(), static_cast<QWidget*>(f->UnzipPage->UnzipListView));
    }

    void compressionLibrariesLoadAtStartAndUnloadAtClose()
    {
        auto f = makeForm();
        TZipEngine* e = f->ZipEngine;
        QVERIFY(e);
        QCOMPARE(e->DLLDirectory(), f->appState().ProgramFolder);
        QVERIFY2(e->ZipLibVersion() >= 170, qPrintable(e->LastMessage));
        QVERIFY2(e->UnzLibVersion() >= 170, qPrintable(e->LastMessage));
        QCOMPARE(e->AddCompLevel, 8);
        QCOMPARE(e->AddOptions, uint16_t(TZipEngine::AddDirNames | TZipEngine::AddHiddenFiles));
        QCOMPARE(e->ExtrOptions, uint8_t(TZipEngine::ExtrDirNames | TZipEngine::ExtrOverWrite));
        QVERIFY(e->Verbose);
        QVERIFY(!e->Unattended);
        f->DoCloseCode();
        QCOMPARE(e->ZipLibVersion(), 0);
        QCOMPARE(e->UnzLibVersion(), 0);
        QCOMPARE(prompter_.messages.size(), 0);
    }

    void enableAllRestoresRememberedStates()
    {
        auto f = makeForm();
        TUnzipPage* u = f->UnzipPage;
        TCreatePage* c = f->CreatePage;
        TBatchPage* b = f->BatchPage;
        addRows(u->UnzipListModel, 3);
        // A mixed state: Select All and RESET on, UNZIP off; create ZIP on, undo off.
        u->SelectAllButton->setEnabled(true);
        u->UnzipResetButton->setEnabled(true);
        u->UnzipButton->setEnabled(false);
        c->ZipButton->setEnabled(true);
        c->ZipUndoButton->setEnabled(false);
        c->ZipResetButton->setEnabled(true);
        c->Delete2->setEnabled(true);
        b->BatchDeleteButton->setEnabled(false);
        b->BatchUnzipButton->setEnabled(true);
        // Controls that are not remembered come back on whatever they were.
        u->OpenUnzipButton->setEnabled(false);
        b->ScanSubDirCheckBox->setEnabled(false);

        f->DisableAll();
        for (QWidget* w : std::initializer_list<QWidget*>{
                 u->SelectAllButton, u->UnzipResetButton, u->UnzipButton, u->OpenUnzipButton, u->UnzipListView,
                 u->UnzipCloseButton, c->ZipButton, c->ZipExitButton, c->ZipListView, b->BatchUnzipButton,
                 b->BatchListView, b->MoveZipFileCheckBox})
            QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(!c->Delete2->isEnabled());
        QVERIFY(!f->PExit->isEnabled());
        QVERIFY(!f->PAbout->isEnabled());
        // The tab strip and Properties stay usable while busy.
        QVERIFY(f->PProperties->isEnabled());
        QVERIFY(f->TabbedNotebook->tabBar()->isEnabled());

        // A nested DisableAll must not record the disabled states.
        f->DisableAll();
        f->EnableAll();

        QVERIFY(u->SelectAllButton->isEnabled());
        QVERIFY(u->UnzipResetButton->isEnabled());
        QVERIFY(!u->UnzipButton->isEnabled());
        QVERIFY(u->UnSelectAllButton->isEnabled());
        QVERIFY(u->SelectButton->isEnabled());
        QVERIFY(u->TreeButton->isEnabled());
        QVERIFY(c->ZipButton->isEnabled());
        QVERIFY(!c->ZipUndoButton->isEnabled());
        QVERIFY(c->ZipResetButton->isEnabled());
        QVERIFY(c->Delete2->isEnabled());
        QVERIFY(!b->BatchDeleteButton->isEnabled());
        QVERIFY(b->BatchUnzipButton->isEnabled());
        QVERIFY(u->OpenUnzipButton->isEnabled());
        QVERIFY(b->ScanSubDirCheckBox->isEnabled());
        QVERIFY(f->PExit->isEnabled());
        QVERIFY(u->UnzipListView->isEnabled());
    }

    void enableAllSelectionButtonsFollowSelectAll_data()
    {
        QTest::addColumn<bool>("selectAll");
        QTest::addColumn<int>("rows");
        QTest::addColumn<bool>("tree");
        QTest::newRow("one entry keeps TREE off") << true << 1 << false;
        QTest::newRow("two entries") << true << 2 << true;
        QTest::newRow("select all off") << false << 5 << false;
    }

    void enableAllSelectionButtonsFollowSelectAll()
    {
        QFETCH(bool, selectAll);
        QFETCH(int, rows);
        QFETCH(bool, tree);
        auto f = makeForm();
        TUnzipPage* u = f->UnzipPage;
        addRows(u->UnzipListModel, rows);
        u->SelectAllButton->setEnabled(selectAll);
        u->UnSelectAllButton->setEnabled(!selectAll);
        u->SelectButton->setEnabled(!selectAll);
        u->TreeButton->setEnabled(!tree);
        f->DisableAll();
        f->EnableAll();
        QCOMPARE(u->SelectAllButton->isEnabled(), selectAll);
        QCOMPARE(u->UnSelectAllButton->isEnabled(), selectAll);
        QCOMPARE(u->SelectButton->isEnabled(), selectAll);
        QCOMPARE(u->TreeButton->isEnabled(), tree);
    }

    void leavingFilledCreatePage_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<bool>("yes");
        QTest::newRow("batch, No") << int(TForm1::BatchPageIndex) << false;
        QTest::newRow("batch, Yes") << int(TForm1::BatchPageIndex) << true;
        QTest::newRow("unzip, No") << int(TForm1::UnzipPageIndex) << false;
        QTest::newRow("update, Yes") << int(TForm1::UpdatePageIndex) << true;
    }

    void leavingFilledCreatePage()
    {
        QFETCH(int, target);
        QFETCH(bool, yes);
        auto f = makeForm();
        QVERIFY(f->SelectPage(TForm1::CreatePageIndex));
        TCreatePage* c = f->CreatePage;
        addRows(c->ZipListModel, 2);
        c->ZipButton->setEnabled(true);
        c->Delete2->setEnabled(true);
        f->settings().AddOptionsEditable = false;

        prompter_.answer(yes ? PromptButton::Yes : PromptButton::No);
        QCOMPARE(f->SelectPage(target), yes);
        QCOMPARE(prompter_.lastText(), QStringLiteral("CLEAR THE CURRENT ENTRIES AND SWITCH TO A NEW WINDOW?"));
        QCOMPARE(prompter_.messages.last().buttons, PromptButtons::YesNo);
        if (yes) {
            QCOMPARE(f->CurrentPage(), target);
            QCOMPARE(f->TabbedNotebook->currentIndex(), target);
            QCOMPARE(c->RowCount(), 0);
            QVERIFY(!c->Delete2->isEnabled());
            QVERIFY(f->settings().AddOptionsEditable);
        } else {
            QCOMPARE(f->CurrentPage(), int(TForm1::CreatePageIndex));
            QCOMPARE(f->TabbedNotebook->currentIndex(), int(TForm1::CreatePageIndex));
            QCOMPARE(c->RowCount(), 2);
            QVERIFY(c->ZipButton->isEnabled());
            QVERIFY(c->Delete2->isEnabled());
            QVERIFY(!f->settings().AddOptionsEditable);
            QCOMPARE(f->DropTarget(), static_cast<QWidget*>(c->ZipListView));
        }
    }

    // The same No through a mouse press on the tab strip.
    void tabClickRefusedKeepsCreatePage()
    {
        auto f = makeForm();
        f->show();
        QVERIFY(f->SelectPage(TForm1::CreatePageIndex));
        addRows(f->CreatePage->ZipListModel, 1);
        prompter_.answer(PromptButton::No);
        QTabBar* bar = f->TabbedNotebook->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(TForm1::BatchPageIndex).center());
        QCOMPARE(f->TabbedNotebook->currentIndex(), int(TForm1::CreatePageIndex));
        QCOMPARE(f->CreatePage->RowCount(), 1);
        prompter_.answer(PromptButton::Yes);
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(TForm1::BatchPageIndex).center());
        QCOMPARE(f->TabbedNotebook->currentIndex(), int(TForm1::BatchPageIndex));
        QCOMPARE(f->CurrentPage(), int(TForm1::BatchPageIndex));
        QCOMPARE(prompter_.messages.size(), 2);
    }

    void filledCreatePageToSelfExtractingAsksNothing()
    {
        auto f = makeForm();
        QVERIFY(f->SelectPage(TForm1::CreatePageIndex));
        addRows(f->CreatePage->ZipListModel, 2);
        f->CreatePage->ZipButton->setEnabled(true);  // not made yet: the list stays
        QVERIFY(f->SelectPage(TForm1::SfxPageIndex));
        QCOMPARE(prompter_.messages.size(), 0);
        QCOMPARE(f->CreatePage->RowCount(), 2);
        QCOMPARE(f->DropTarget(), static_cast<QWidget*>(nullptr));
    }

    void loadedUnzipPageToCreatePage_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No") << false;
        QTest::newRow("Yes") << true;
    }

    void loadedUnzipPageToCreatePage()
    {
        QFETCH(bool, yes);
        auto f = makeForm();
        TUnzipPage* u = f->UnzipPage;
        addRows(u->UnzipListModel, 3);
        f->appState().CurrentArchive = dataDir() + "/a.zip";
        prompter_.answer(yes ? PromptButton::Yes : PromptButton::No);
        QCOMPARE(f->SelectPage(TForm1::CreatePageIndex), yes);
        QCOMPARE(prompter_.lastText(),
                 QStringLiteral("WOULD YOU LIKE TO CLEAR THE LOADED FILE AND CREATE A NEW ZIPFILE?"));
        QCOMPARE(u->RowCount(), yes ? 0 : 3);
        QCOMPARE(f->CurrentPage(), yes ? int(TForm1::CreatePageIndex) : int(TForm1::UnzipPageIndex));
        QCOMPARE(f->DropTarget(), yes ? static_cast<QWidget*>(f->CreatePage->ZipListView)
                                      : static_cast<QWidget*>(u->UnzipListView));
    }

    void listedZipMovesToUpdatePage()
    {
        auto f = makeForm();
        TUnzipPage* u = f->UnzipPage;
        addRows(u->UnzipListModel, 4);
        u->UnzipListTotal = 1234;
        f->appState().CurrentArchive = dataDir() + "/A.ZIP";
        QVERIFY(f->SelectPage(TForm1::UpdatePageIndex));
        QCOMPARE(prompter_.messages.size(), 0);
        QCOMPARE(u->RowCount(), 0);
        QCOMPARE(f->UpdatePage->RowCount(), 4);
        QCOMPARE(f->UpdatePage->UpdateListModel->item(3, 0)->text(), QStringLiteral("f3.txt"));
        QCOMPARE(f->UpdatePage->UpdateListTotal, 1234);
        QCOMPARE(f->DropTarget(), static_cast<QWidget*>(f->UpdatePage->UpdateListView));
        QCOMPARE(f->ZipEngine->ZipFileName(), dataDir() + "/A.ZIP");
    }

    void nonZipDoesNotMoveToUpdatePage()
    {
        auto f = makeForm();
        addRows(f->UnzipPage->UnzipListModel, 2);
        f->appState().CurrentArchive = dataDir() + "/a.tar";
        QVERIFY(f->SelectPage(TForm1::UpdatePageIndex));
        QCOMPARE(f->UpdatePage->RowCount(), 0);
        QCOMPARE(f->UnzipPage->RowCount(), 2);
        // The update page has no archive: the drop target stays where it was.
        QCOMPARE(f->DropTarget(), static_cast<QWidget*>(f->UnzipPage->UnzipListView));
    }

    void commandLineOpensNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("setsArchive");
        // (".tgz" and ".rar" open since the program registers itself as their opener.)
        QTest::newRow(".txt") << QStringList{"/tmp/somewhere/a.txt"} << true;
        QTest::newRow("two arguments") << QStringList{"/tmp/somewhere/a.zip", "/tmp/somewhere/b.zip"} << false;
    }

    void commandLineOpensNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(bool, setsArchive);
        auto f = makeForm(args);
        TUnzipPage* u = f->UnzipPage;
        QCOMPARE(prompter_.messages.size(), 0);
        QCOMPARE(u->RowCount(), 0);
        QCOMPARE(f->appState().CurrentArchive, setsArchive ? args.first() : QString());
        QCOMPARE(f->settings().LastOpenFolder, setsArchive ? QStringLiteral("/tmp/somewhere") : QString());
        // Usable: the busy bracket is closed and nothing of a listing is on.
        for (QWidget* w : std::initializer_list<QWidget*>{u->OpenUnzipButton, u->UnzipListView, u->UnzipCloseButton,
                                                          u->UnzipHelpButton, f->CreatePage->OpenFilesZipButton,
                                                          f->BatchPage->BatchUnzipOpenFileButton})
            QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
        QVERIFY(f->PExit->isEnabled());
        for (QPushButton* b : {u->UnzipButton, u->SelectAllButton, u->TreeButton, u->UnzipResetButton})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        QVERIFY(f->SelectPage(TForm1::CreatePageIndex));
        QCOMPARE(prompter_.messages.size(), 0);
    }

    void closeRemovesScratchAndSavesSettings()
    {
        auto f = makeForm();
        const QString temp = dataDir() + "/temp";
        writeFile(temp + "/a.txt", "a");
        writeFile(temp + "/.hidden", "h");
        writeFile(temp + "/img/thumb.png", "png");
        writeFile(temp + "/x/y/z/deep.bin", "deep");
        QDir().mkpath(temp + "/empty/folder");
        // A link inside the scratch folder is removed, never what it points to.
        QTemporaryDir outside;
        writeFile(outside.path() + "/keep.txt", "keep");
        QVERIFY(QFile::link(outside.path(), temp + "/x/link"));
        QFile::setPermissions(temp + "/a.txt", QFileDevice::ReadOwner);
        QTemporaryDir root;
        const QString scratch = root.path() + "/quarntemp";
        writeFile(scratch + "/part/file.tar", "tar");
        f->appState().ScratchFolderList << scratch << scratch;
        addRows(f->UnzipPage->UnzipListModel, 2);
        f->settings().LastOpenFolder = QStringLiteral("/home/someone/zips");
        f->settings().ThumbnailSize = 128;

        f->DoCloseCode();
        QVERIFY(f->CloseCodeDone());
        QVERIFY(!QFileInfo::exists(temp));
        QVERIFY(!QFileInfo::exists(scratch));
        QVERIFY(QFileInfo(root.path()).isDir());
        QCOMPARE(testtools::readFile(outside.path() + "/keep.txt"), QByteArray("keep"));
        QCOMPARE(f->UnzipPage->RowCount(), 0);
        const QByteArray config = testtools::readFile(dataDir() + "/config");
        QCOMPARE(configLine(config, 20), QByteArray("/home/someone/zips"));
        QCOMPARE(configLine(config, 50), QByteArray("128"));
        QCOMPARE(prompter_.messages.size(), 0);
        // Running it again (the destructor does) changes nothing.
        QFile::remove(dataDir() + "/config");
        f.reset();
        QVERIFY(!QFileInfo::exists(dataDir() + "/config"));
    }

    void exitButtonsWaitForARunningBatch()
    {
        auto f = makeForm();
        f->show();
        f->appState().BatchState.Running = true;
        f->CreatePage->ZipExitButton->click();
        f->BatchPage->BatchExitButton->click();
        QVERIFY(!f->CloseCodeDone());
        QVERIFY(f->isVisible());
        f->appState().BatchState.Running = false;
        f->BatchPage->BatchExitButton->click();
        QVERIFY(f->CloseCodeDone());
        QVERIFY(QFileInfo(dataDir() + "/config").isFile());
        QVERIFY(!QFileInfo::exists(dataDir() + "/temp"));
    }

    void titleBarCloseEndsARun()
    {
        auto f = makeForm();
        f->show();
        f->appState().BatchState.Running = true;
        QVERIFY(f->close());
        QVERIFY(f->CloseCodeDone());
        QVERIFY(QFileInfo(dataDir() + "/config").isFile());
    }

    void unzipExitClosesEvenDuringARun()
    {
        auto f = makeForm();
        f->appState().BatchState.Running = true;
        f->UnzipPage->UnzipCloseButton->click();
        QVERIFY(f->CloseCodeDone());
        f->appState().BatchState.Running = false;
    }

    void switchingClearsCutOffDates()
    {
        auto f = makeForm();
        f->settings().CreateCutOff = 700000;
        f->settings().UpdateCutOff = 700001;
        QVERIFY(f->SelectPage(TForm1::CreatePageIndex));
        QCOMPARE(f->settings().CreateCutOff, 0);
        QCOMPARE(f->settings().UpdateCutOff, 700001);
        QVERIFY(f->SelectPage(TForm1::UpdatePageIndex));
        QCOMPARE(f->settings().UpdateCutOff, 0);
        QCOMPARE(f->DropTarget(), static_cast<QWidget*>(f->CreatePage->ZipListView));
        QVERIFY(f->SelectPage(TForm1::BatchPageIndex));
        QVERIFY(f->BatchPage->BatchListView->isEnabled());
        QCOMPARE(f->DropTarget(), static_cast<QWidget*>(f->CreatePage->ZipListView));
    }

    // A config from an earlier run is read, not replaced.
    void startupKeepsExistingConfig()
    {
        Settings s;
        s.LastBatchFolder = QStringLiteral("/data/batch");
        s.DefaultArchiveType = 3;
        s.ThumbnailSize = 192;
        QVERIFY(SettingsFile::Save(dataDir(), s));
        const QByteArray before = testtools::readFile(dataDir() + "/config");
        auto f = makeForm();
        QCOMPARE(f->settings().LastBatchFolder, QStringLiteral("/data/batch"));
        QCOMPARE(f->settings().DefaultArchiveType, 3);
        QCOMPARE(testtools::readFile(dataDir() + "/config"), before);
        f->DoCloseCode();
        QCOMPARE(testtools::readFile(dataDir() + "/config"), before);
    }

    void readOnlyDataFolder()
    {
        Settings s;
        s.LastUnzipFolder = QStringLiteral("/data/out");
        s.ExtractOverwrite = true;
        QVERIFY(SettingsFile::Save(dataDir(), s));
        const QByteArray before = testtools::readFile(dataDir() + "/config");
        // Everyone may read, nobody may write.
        QFile::setPermissions(dataDir(), QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                             QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
        QFile::setPermissions(dataDir() + "/config", QFileDevice::ReadOwner | QFileDevice::ReadOther |
                                                         QFileDevice::ReadGroup);
        // Root ignores permissions; a file-system identity without privileges does not.
        const bool root = ::geteuid() == 0;
        if (root)
            ::setfsuid(65534);
        QFile probe(dataDir() + "/probe");
        const bool writable = probe.open(QIODevice::WriteOnly);
        if (writable) {
            probe.close();
            probe.remove();
        }
        std::unique_ptr<TForm1> f;
        if (!writable) {
            f = makeForm();
            f->settings().LastOpenFolder = QStringLiteral("/changed");
            // The options dialog's OK tries to save again: no second message.
            prompter_.onDialog([](QDialog& d) {
                static_cast<TPropertiesForm&>(d).OkButton(TPropertiesForm::TarGzPage)->click();
                return d.result();
            });
            QVERIFY(f->ShowProperties(TPropertiesForm::TarGzPage));
            f->DoCloseCode();
        }
        if (root)
            ::setfsuid(0);
        QFile::setPermissions(dataDir(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        if (writable)
            QSKIP("the data folder stays writable here");
        QCOMPARE(f->settings().LastUnzipFolder, QStringLiteral("/data/out"));
        QVERIFY(f->settings().ExtractOverwrite);
        QCOMPARE(prompter_.messages.size(), 1);
        QVERIFY(prompter_.messages.first().text.startsWith(QStringLiteral("THE SETTINGS CANNOT BE SAVED")));
        QCOMPARE(testtools::readFile(dataDir() + "/config"), before);
        QVERIFY(f->UnzipPage->OpenUnzipButton->isEnabled());
    }

    void missingDataFolderIsCreated()
    {
        const QString nested = dataDir() + "/a/b";
        qputenv("QUARN_DATA_DIR", nested.toLocal8Bit());
        auto f = makeForm();
        QCOMPARE(prompter_.messages.size(), 0);
        QVERIFY(QFileInfo(nested + "/config").isFile());
        QVERIFY(QFileInfo(nested + "/temp/img").isDir());
    }

    // A data folder that cannot exist at all (its parent is a file).
    void impossibleDataFolderStillStarts()
    {
        writeFile(dataDir() + "/file", "x");
        qputenv("QUARN_DATA_DIR", (dataDir() + "/file/sub").toLocal8Bit());
        auto f = makeForm();
        QCOMPARE(prompter_.messages.size(), 1);
        QVERIFY(prompter_.messages.first().text.startsWith(QStringLiteral("THE SETTINGS CANNOT BE SAVED")));
        QCOMPARE(f->settings().DefaultArchiveType, 1);
        f->DoCloseCode();
        QCOMPARE(prompter_.messages.size(), 1);
        QCOMPARE(testtools::readFile(dataDir() + "/file"), QByteArray("x"));
    }

    // Start-up writes the program's desktop entry; the options dialog's
    // Default Program and Startup Links pages act on the desktop's files.
    void startupRegistersTheDesktopEntryAndTheShellPagesWork()
    {
        XdgSandbox box;
        XdgSandbox::addApplication(box.systemApps(), "ark.desktop", "Ark");
        writeFile(box.systemConfig + "/mimeapps.list", "[Default Applications]\napplication/zip=ark.desktop\n");
        auto f = makeForm();
        const QByteArray entry = testtools::readFile(box.userApps() + "/quarn.desktop");
        QVERIFY2(entry.contains("\nExec=" + QFile::encodeName(f->appState().ProgramPath) + " %f\n"), entry);
        prompter_.onDialog([](QDialog& d) {
            auto& p = static_cast<TPropertiesForm&>(d);
            p.DZipCheckBox->setChecked(true);
            p.setQuarnDefaultButton->click();
            p.StartUpButton->click();
            p.CancelButton(TPropertiesForm::DefaultProgramPage)->click();
            return p.result();
        });
        prompter_.onDialog([](QDialog& d) {
            static_cast<TStartmenuForm&>(d).CancelButton->click();
            return d.result();
        });
        f->ShowProperties(TPropertiesForm::DefaultProgramPage);
        QCOMPARE(prompter_.dialogTitles, (QStringList{"Zip File Properties", "Insert a link onto the Windows Start Menu"}));
        QVERIFY(testtools::readFile(box.configHome + "/mimeapps.list").contains("application/zip=quarn.desktop;"));
        QCOMPARE(f->settings().PreviousZip, (TPreviousOpener{"ark.desktop", "Ark"}));
        QCOMPARE(configLine(testtools::readFile(dataDir() + "/config"), 26), QByteArray("ark.desktop"));
        QCOMPARE(prompter_.messages.size(), 0);
    }

    void propertiesMenuSavesOnOk()
    {
        auto f = makeForm();
        prompter_.onDialog([](QDialog& d) {
            auto& p = static_cast<TPropertiesForm&>(d);
            if (p.CurrentPageIndex() != TPropertiesForm::TarGzPage)
                return int(QDialog::Rejected);
            p.OpenTarCheckBox->setChecked(false);
            p.OkButton(TPropertiesForm::TarGzPage)->click();
            return p.result();
        });
        f->PProperties->trigger();
        QCOMPARE(prompter_.dialogTitles, QStringList{QStringLiteral("Zip File Properties")});
        QVERIFY(!f->settings().OpenTarInGzip);
        QCOMPARE(configLine(testtools::readFile(dataDir() + "/config"), 41), QByteArray("F"));
    }

    void createPropertiesPageFollowsDefaultType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("page");
        QTest::newRow("zip") << 1 << int(TPropertiesForm::AddFilesPage);
        QTest::newRow("ask") << 0 << int(TPropertiesForm::DefaultTypePage);
        QTest::newRow("tar") << 3 << int(TPropertiesForm::DefaultTypePage);
    }

    void createPropertiesPageFollowsDefaultType()
    {
        QFETCH(int, type);
        QFETCH(int, page);
        auto f = makeForm();
        f->settings().DefaultArchiveType = type;
        int shown = -1;
        prompter_.onDialog([&shown](QDialog& d) {
            shown = static_cast<TPropertiesForm&>(d).CurrentPageIndex();
            return int(QDialog::Rejected);
        });
        f->CreatePage->ZipPropertiesButton->click();
        QCOMPARE(shown, page);
        QCOMPARE(f->settings().DefaultArchiveType, type);
    }

    void resizeRule()
    {
        auto f = makeForm();
        f->FormResize(800, 600);
        QCOMPARE(f->TabbedNotebook->width(), 773);
        QCOMPARE(f->TabbedNotebook->height(), 549);
        QCOMPARE(f->UnzipPage->UnzipListView->size(), QSize(749, 328));
        QCOMPARE(f->CreatePage->ZipListView->size(), QSize(749, 328));
        QCOMPARE(f->BatchPage->BatchListView->size(), QSize(749, 243));
        QCOMPARE(f->UnzipPage->Panel6->y(), 460);
        QCOMPARE(f->BatchPage->BatchProgressBar->y(), 443);
        QCOMPARE(f->SfxPage->SFXPanel->pos(), QPoint(58, 145));
        f->FormResize(621, 490);
        QCOMPARE(f->SfxPage->SFXPanel->pos(), QPoint(1, 99));
    }

    void pagesThatCannotBeOpenedAreReported()
    {
        auto f = makeForm();
        QStringList opened;
        bool works = false;
        Platform::SetOpenUrlHook([&](const QString& u) {
            opened << u;
            return works;
        });
        f->UnzipPage->UnzipHelpButton->click();
        f->PSoftware->trigger();
        QCOMPARE(opened.size(), 2);
        QVERIFY(opened[0].endsWith(QStringLiteral("/help/unzip.html")));
        QCOMPARE(prompter_.texts(), (QStringList{QStringLiteral("The specified file was not found."),
                                                 QStringLiteral("The specified file was not found.")}));
        QCOMPARE(prompter_.messages[0].kind, PromptKind::Error);
        works = true;
        prompter_.clear();
        f->CreatePage->ZipHelpButton->click();
        QVERIFY(prompter_.messages.isEmpty());
        Platform::SetOpenUrlHook({});
    }

    void classicFolderChooserCreatesATypedFolder()
    {
        auto f = makeForm();
        QTemporaryDir d;
        const QString fresh = d.path() + QStringLiteral("/new/deeper");
        prompter_.answerFolder(fresh);
        QCOMPARE(f->BrowseforFolder(QStringLiteral("T"), true, true), fresh);
        QVERIFY(prompter_.fileRequests.last().allowNewFolder);
        QVERIFY(QFileInfo(fresh).isDir());
        QCOMPARE(f->settings().LastUnzipFolder, fresh);
        // A folder that cannot be made gets the message and no result.
        QFile file(d.path() + QStringLiteral("/plain"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        prompter_.answerFolder(d.path() + QStringLiteral("/plain/sub"));
        QCOMPARE(f->BrowseforFolder(QStringLiteral("T"), true, true), QString());
        QCOMPARE(prompter_.lastText(), QStringLiteral("ERROR.  THE FOLDER DOES NOT EXIST OR CANNOT BE CREATED.\r"
                                                      "YOU MAY HAVE ENTERED CHARACTERS THAT ARE NOT ALLOWED IN FOLDER "
                                                      "NAMES.\rTHE FOLLOWING CHARACTERS ARE NOT ALLOWED : \r* ? / : \" < > |"));
        // The shell's folder browser (not classic) only picks existing folders.
        prompter_.answerFolder(d.path());
        QCOMPARE(f->BrowseforFolder(QStringLiteral("SCAN"), false, false), d.path());
        QVERIFY(!prompter_.fileRequests.last().allowNewFolder);
        QCOMPARE(prompter_.fileRequests.last().title, QStringLiteral("SCAN"));
    }

    void keyboard()
    {
        auto f = makeForm();
        f->show();
        // Enter (and Return) on a focused button presses it.
        prompter_.answerFile(QString());
        QTest::keyClick(f->UnzipPage->OpenUnzipButton, Qt::Key_Return);
        prompter_.answerFile(QString());
        QTest::keyClick(f->UnzipPage->OpenUnzipButton, Qt::Key_Enter);
        QCOMPARE(prompter_.fileRequests.size(), 2);
        // The File menu and its items carry mnemonics.
        QCOMPARE(f->FileMenu->title(), QStringLiteral("&File"));
        for (QAction* a : f->FileMenu->actions())
            QVERIFY2(a->text().contains(QLatin1Char('&')), qPrintable(a->text()));
        QCOMPARE(f->PExit->text().remove(QLatin1Char('&')), QStringLiteral("Exit"));
    }

    void maximisedWindowGrowsItsLists()
    {
        auto f = makeForm();
        f->show();
        const QSize start = f->size();
        const int startRows = f->UnzipPage->UnzipListView->height();
        QCOMPARE(f->minimumSize(), start);
        QVERIFY(f->maximumWidth() > 2000 && f->maximumHeight() > 2000);
        // Maximised (here: made larger), the rule gives the lists the room.
        f->resize(1000, 760);
        QTRY_COMPARE(f->size(), QSize(1000, 760));
        const int H = f->centralWidget()->height() + TForm1::FrameHeight;
        const int W = f->centralWidget()->width() + TForm1::FrameWidth;
        QCOMPARE(f->UnzipPage->UnzipListView->size(), QSize(W - 51, H - 272));
        QCOMPARE(f->BatchPage->BatchListView->height(), H - 357);
        QVERIFY(f->UnzipPage->UnzipListView->height() > startRows + 300);
        // Restored, everything is back where it started.
        f->resize(start);
        QTRY_COMPARE(f->UnzipPage->UnzipListView->height(), startRows);
    }
};

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
