#include "app/TForm1.h"

#include "app/TAboutBox.h"
#include "app/TBusyBracket.h"
#include "app/TCloseSequence.h"
#include "app/TDropFileTarget.h"
#include "app/TDropRouter.h"
#include "app/TEngineEvents.h"
#include "app/TFolderChooser.h"
#include "app/TPageSwitcher.h"
#include "app/TPasswordDlg.h"
#include "app/TScreenshots.h"
#include "app/TSettingsKeeper.h"
#include "app/TStartup.h"
#include "archive/ArchiveKind.h"
#include "batch/TBatchPage.h"
#include "codecs/Gzip.h"
#include "create/TCreatePage.h"
#include "create/TUpdatePage.h"
#include "platform/Controls.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/TPropertiesForm.h"
#include "sfx/TSfxPage.h"
#include "shell/TShellPages.h"
#include "unzip/TUnzipPage.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/TZipEngineUser.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

TForm1::TForm1(Prompter& prompter, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), prompter_(prompter)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quarn"));
    keeper_ = std::make_unique<TSettingsKeeper>(settings_, prompter_);
    DropFileTarget = new TDropFileTarget(this);
    DropFileTarget->setObjectName(QStringLiteral("DropFileTarget"));
    buildZipEngine();
    buildMenu();
    buildTimers();
    buildPages();
    buildBusyBracket();
    connectPages();

    // The window starts at its designed size, which is also its smallest; it
    // can be maximised, and the layout rule then lets the lists grow.
    const int menuHeight = menuBar()->sizeHint().height();
    setMinimumSize(ClientWidth, ClientHeight + menuHeight);
    resize(ClientWidth, ClientHeight + menuHeight);
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());

    // 1: page 0; the rest is the start-up sequence's.
    switcher_->ShowPageQuietly(UnzipPageIndex);
    TStartup({*this, settings_, state_, *keeper_, *UnzipPage, *UpdatePage, *CreatePage, *BatchPage, *SfxPage, style()})
        .FormCreate(arguments);
}

TForm1::~TForm1()
{
    DoCloseCode();
}

void TForm1::buildPages()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    setCentralWidget(client);
    TabbedNotebook = new QTabWidget(client);
    TabbedNotebook->setObjectName(QStringLiteral("TabbedNotebook"));
    TabbedNotebook->setGeometry(9, 3, ClientWidth - 19, ClientHeight - 5);
    // The five captions are long: tighter tabs keep them all in view.
    TabbedNotebook->tabBar()->setStyleSheet(QStringLiteral("QTabBar::tab { padding: 3px 5px; }"));
    {
        QFont f = TabbedNotebook->tabBar()->font();
        f.setPointSizeF(f.pointSizeF() * 0.85);
        TabbedNotebook->tabBar()->setFont(f);
    }

    UnzipPage = new TUnzipPage(*this, settings_, state_);
    UpdatePage = new TUpdatePage(*this, settings_, state_);
    CreatePage = new TCreatePage(*this, settings_, state_);
    BatchPage = new TBatchPage(*this, settings_, state_);
    SfxPage = new TSfxPage(*this, settings_, state_);
    TabbedNotebook->addTab(UnzipPage, QStringLiteral("UNZIP A ZIP FILE   ."));
    TabbedNotebook->addTab(UpdatePage, QStringLiteral("ADD UPDATE  ."));
    TabbedNotebook->addTab(CreatePage, QStringLiteral("CREATE A NEW ZIP FILE  ."));
    TabbedNotebook->addTab(BatchPage, QStringLiteral("BATCH UNZIP  ."));
    TabbedNotebook->addTab(SfxPage, QStringLiteral("SELF EXTRACTING ZIP   ."));
    switcher_ = new TPageSwitcher(*TabbedNotebook, {UnzipPage, UpdatePage, CreatePage, BatchPage, SfxPage}, *this,
                                  settings_, state_, this);
    switcher_->Busy = [this] { return SingleArchiveOperationRunning(); };
}

void TForm1::buildMenu()
{
    // "&" marks each caption's mnemonic letter (Alt+F, then the letter).
    FileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    FileMenu->setObjectName(QStringLiteral("File1"));
    auto item = [this](const char* name, const QString& caption) { return Controls::MenuItem(FileMenu, name, caption); };
    PProperties = item("PProperties", QStringLiteral("&Properties"));
    PAbout = item("PAbout", QStringLiteral("&About"));
    PDonation = item("PDonation", QStringLiteral("&Donation Ware"));
    PSoftware = item("PSoftware", QStringLiteral("&Software"));
    PExit = item("PExit", QStringLiteral("E&xit"));
    connect(PProperties, &QAction::triggered, this, [this] { ShowProperties(TPropertiesForm::TarGzPage); });
    connect(PAbout, &QAction::triggered, this, [this] {
        TAboutBox box(TAboutBox::About, this);
        prompter_.runDialog(box);
    });
    connect(PDonation, &QAction::triggered, this, [this] {
        TAboutBox box(TAboutBox::Donation, this);
        prompter_.runDialog(box);
    });
    connect(PSoftware, &QAction::triggered, this, [this] { OpenHelp("software.html"); });
    // Exit closes the program like the create and batch EXIT buttons: not while a run is going.
    connect(PExit, &QAction::triggered, this, &TForm1::ZipExitButtonClick);
}

void TForm1::buildTimers()
{
    auto make = [this](const char* name, int ms) {
        auto* t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(ms);
        return t;
    };
    Timer = make("Timer", 500);
    GzipTimer = make("GzipTimer", 100);
    BatchUnzipTimer = make("BatchUnzipTimer", 50);
    // Their handlers are connected by the pages that poll with them.
}

void TForm1::buildZipEngine()
{
    zipEngine_ = std::make_unique<TZipEngine>();
    zipUser_ = std::make_unique<TPrompterZipUser>(prompter_);
    ZipEngine = zipEngine_.get();
    TZipEngine& e = *ZipEngine;
    e.SetUser(zipUser_.get());
    zipUser_->PasswordDialog = [this](const QString& title, const QString& prompt, int buttons, QString& entry,
                                      bool* aes) {
        return TPasswordDlg::Ask(prompter_, title, prompt, buttons, entry, this, aes);
    };
    e.Verbose = true;
    e.Trace = false;
    e.Unattended = false;
    e.AddCompLevel = 8;
    e.AddOptions = TZipEngine::AddDirNames | TZipEngine::AddHiddenFiles;
    e.ExtrOptions = TZipEngine::ExtrDirNames | TZipEngine::ExtrOverWrite;
    e.SetMinZipLibVers(170);
    e.SetMinUnzLibVers(170);
    e.AddStoreSuffixes = TZipEngine::AllStoreSuffixesButExe;
    engineEvents_ = std::make_unique<TEngineEvents>(e, prompter_, settings_, state_);
    engineEvents_->Install();
}

void TForm1::buildBusyBracket()
{
    busy_ = std::make_unique<TBusyBracket>();
    busy_->AddGroup([this] { return CreatePage->BusyControls(); });
    busy_->AddGroup([this] {
        return QList<TBusyControl>{{PAbout, false}, {PDonation, false}, {PExit, false}};
    });
    busy_->AddGroup([this] { return UnzipPage->BusyControls(); },
                    [this](const TBusyBracket::WasEnabled& wasOn) { UnzipPage->RestoreAfterBusy(wasOn); });
    busy_->AddGroup([this] { return BatchPage->BusyControls(); });
}

void TForm1::connectPages()
{
    closer_ = new TCloseSequence({*this, state_, *keeper_, *UnzipPage, *CreatePage, *BatchPage,
                                  {Timer, GzipTimer, BatchUnzipTimer}, [this] { gzip_.reset(); }},
                                 this);
    closer_->OperationRunning = [this] { return SingleArchiveOperationRunning(); };

    dropRouter_ = std::make_unique<TDropRouter>(*this, settings_, state_, *UnzipPage, *UpdatePage, *CreatePage);
    DropFileTarget->Accepting = [this] { return !busy_->Busy(); };
    DropFileTarget->OnDrop = [this] { dropRouter_->DropFileTargetDrop(DropTarget(), DropFileTarget->Files()); };

    engineEvents_->SetProgressBar(UnzipProgress, UnzipPage->UnzipProgressBar);
    engineEvents_->SetProgressBar(CreateProgress, CreatePage->ZipProgressBar);
    engineEvents_->SetProgressBar(BatchFileProgress, BatchPage->BatchFileProgressBar);
    engineEvents_->SetProgressBar(UpdateProgress, UpdatePage->UpdateProgressBar);

    // EXIT buttons
    for (QPushButton* b : {UnzipPage->UnzipCloseButton, UpdatePage->UpdateExitButton, SfxPage->SFXExitButton})
        connect(b, &QPushButton::clicked, this, &TForm1::UnzipCloseButtonClick);
    for (QPushButton* b : {CreatePage->ZipExitButton, BatchPage->BatchExitButton})
        connect(b, &QPushButton::clicked, this, &TForm1::ZipExitButtonClick);

    // HELP buttons
    connect(UnzipPage->UnzipHelpButton, &QPushButton::clicked, this, [this] { OpenHelp("unzip.html"); });
    connect(UpdatePage->UpdateHelpButton, &QPushButton::clicked, this, [this] { OpenHelp("create.html"); });
    connect(CreatePage->ZipHelpButton, &QPushButton::clicked, this, [this] { OpenHelp("create.html"); });
    connect(BatchPage->BatchHelpButton, &QPushButton::clicked, this, [this] { OpenHelp("batch.html"); });
    connect(SfxPage->SFXHelpButton, &QPushButton::clicked, this, [this] { OpenHelp("sezip.html"); });

    // The unzip page's "Properties" button
    connect(UnzipPage->UnzipPropertiesButton, &QPushButton::clicked, this, [this] {
        const bool zip = archivekind::fromName(state_.CurrentArchive) == ArchiveKind::Zip;
        ShowProperties(zip ? TPropertiesForm::UnzipPage : TPropertiesForm::TarGzPage);
        UnzipPage->FocusVisibleList();
    });

    SfxPage->SetEngineZipFile = [this](const QString& zip) { ZipEngine->SetZipFileName(zip); };
    connect(GzipTimer, &QTimer::timeout, CreatePage, &TCreatePage::GzipTimerTimer);
}

// ---------------------------------------------------------------- the window's services

void TForm1::DisableAll()
{
    busy_->DisableAll();
}

void TForm1::EnableAll()
{
    busy_->EnableAll();
    TabbedNotebook->tabBar()->setEnabled(true);
    TabbedNotebook->setEnabled(true);
}

bool TForm1::SingleArchiveOperationRunning() const
{
    return busy_->Busy() && !state_.BatchState.Running;
}

void TForm1::MoveDropTarget(QWidget* list)
{
    DropFileTarget->Attach(list);
}

QWidget* TForm1::DropTarget() const
{
    return DropFileTarget->Target();
}

TGzip& TForm1::Gzip()
{
    if (!gzip_) {
        gzip_ = std::make_unique<TGzip>();
        gzip_->prompter = &prompter_;
    }
    return *gzip_;
}

void TForm1::SetPageTabsEnabled(bool on)
{
    TabbedNotebook->tabBar()->setEnabled(on);
}

bool TForm1::SelectPage(int page)
{
    return switcher_->SelectPage(page);
}

int TForm1::CurrentPage() const
{
    return switcher_->CurrentPage();
}

bool TForm1::ShowProperties(int page)
{
    TPropertiesForm dlg(settings_, [this] { return SaveSettings(); }, this);
    new TShellPages(dlg, settings_, [this] { return SaveSettings(); }, prompter_, state_.ProgramPath);
    dlg.SelectPage(page);
    return prompter_.runDialog(dlg) == QDialog::Accepted;
}

QString TForm1::BrowseforFolder(const QString& title, bool classic, bool allowCreate)
{
    return TFolderChooser::BrowseforFolder(prompter_, settings_, title, classic, allowCreate);
}

void TForm1::OpenHelp(const char* page)
{
    // As the shell reports it when neither the page nor a program to show it
    // can be found.
    if (!Platform::OpenHelpPage(QString::fromLatin1(page)))
        prompter_.error(QStringLiteral("The specified file was not found."));
}

bool TForm1::SaveSettings()
{
    return keeper_->Save();
}

void TForm1::ZipEngineExtractOverwrite(const QString& forFile, bool isOlder, bool& doOverwrite)
{
    engineEvents_->ZipEngineExtractOverwrite(forFile, isOlder, doOverwrite);
}

void TForm1::ZipEngineProgress(int type, const QString& fileName, int32_t fileSize)
{
    engineEvents_->ZipEngineProgress(type, fileName, fileSize);
}

void TForm1::ZipEngineMessage(int32_t errCode, const QString& text)
{
    engineEvents_->ZipEngineMessage(errCode, text);
}

// ---------------------------------------------------------------- layout

void TForm1::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    const QWidget* client = centralWidget();
    FormResize(client->width() + FrameWidth, client->height() + FrameHeight);
}

void TForm1::FormResize(int W, int H)
{
    TabbedNotebook->resize(W - 27, H - 51);
    UnzipPage->FormResize(W, H);
    UpdatePage->FormResize(W, H);
    CreatePage->FormResize(W, H);
    BatchPage->FormResize(W, H);
    SfxPage->FormResize(W, H);
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // FormShow
    if (TabbedNotebook->currentIndex() == UnzipPageIndex)
        UnzipPage->FocusVisibleList();
}

// ---------------------------------------------------------------- closing

void TForm1::UnzipCloseButtonClick()
{
    CloseProgram();
}

void TForm1::ZipExitButtonClick()
{
    if (state_.BatchState.Running)
        return;
    CloseProgram();
}

void TForm1::CloseProgram()
{
    DoCloseCode();
    close();
    QCoreApplication::quit();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // A single-archive operation running under this call ends first; a scan
    // or batch run is stopped by the close sequence, which waits for its thread.
    if (!closer_->MayCloseNow([this] { close(); })) {
        event->ignore();
        return;
    }
    DoCloseCode();
    event->accept();
    QCoreApplication::processEvents();
    QCoreApplication::quit();
}

void TForm1::DoCloseCode()
{
    closer_->DoCloseCode();
}

bool TForm1::CloseCodeDone() const
{
    return closer_->Done();
}

QStringList TForm1::SaveScreenshots(const QString& folder)
{
    return TScreenshots::Save(*this, *switcher_, *UnzipPage, settings_, folder);
}
