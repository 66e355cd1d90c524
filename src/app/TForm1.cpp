#include "app/TForm1.h"

#include "app/TAboutBox.h"
#include "app/TDropFileTarget.h"
#include "app/TDropRouter.h"
#include "app/TPasswordDlg.h"
#include "archive/ArchiveKind.h"
#include "codecs/Gzip.h"
#include "batch/TBatchPage.h"
#include "create/TCreatePage.h"
#include "create/TUpdatePage.h"
#include "platform/Controls.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/TPropertiesForm.h"
#include "shell/FileClass.h"
#include "shell/TShellPages.h"
#include "sfx/TSfxPage.h"
#include "unzip/TUnzipPage.h"
#include "viewers/ViewerPrograms.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/TZipEngineUser.h"
#include "zipengine/ZipFormat.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStandardItemModel>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryFile>
#include <QThread>
#include <QTimer>
#include <QTreeView>

namespace {

void setOn(QObject* o, bool on)
{
    if (auto* w = qobject_cast<QWidget*>(o))
        w->setEnabled(on);
    else if (auto* a = qobject_cast<QAction*>(o))
        a->setEnabled(on);
}

bool isOn(QObject* o)
{
    if (auto* w = qobject_cast<QWidget*>(o))
        return w->isEnabled();
    if (auto* a = qobject_cast<QAction*>(o))
        return a->isEnabled();
    return false;
}

bool endsWithZip(const QString& path)
{
    return archivekind::fromName(path) == ArchiveKind::Zip;
}

QIcon redCross()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::red, 3));
    p.drawLine(3, 3, 12, 12);
    p.drawLine(12, 3, 3, 12);
    p.end();
    pm.setMask(pm.createMaskFromColor(Qt::white));
    return QIcon(pm);
}

} // namespace

TForm1::TForm1(Prompter& prompter, const QStringList& arguments, QWidget* parent)
    : QMainWindow(parent), prompter_(prompter)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quarn"));

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

    DropFileTarget = new TDropFileTarget(this);
    DropFileTarget->setObjectName(QStringLiteral("DropFileTarget"));
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
    TabbedNotebook->tabBar()->installEventFilter(this);
    connect(TabbedNotebook, &QTabWidget::currentChanged, this, [this](int index) {
        if (switching_ || index == currentPage_)
            return;
        // A change that did not come through the tab bar's mouse press
        // (keyboard): the rules run now and a refusal puts the old page back.
        if (!TabbedNotebookChange(index)) {
            switching_ = true;
            TabbedNotebook->setCurrentIndex(currentPage_);
            switching_ = false;
            return;
        }
        currentPage_ = index;
        TabbedNotebookClick();
    });

    dropRouter_ = std::make_unique<TDropRouter>(*this, settings_, state_, *UnzipPage, *UpdatePage, *CreatePage);
    DropFileTarget->Accepting = [this] { return !disabled_; };
    DropFileTarget->OnDrop = [this] { dropRouter_->DropFileTargetDrop(DropTarget(), DropFileTarget->Files()); };

    buildMenu();
    buildTimers();
    buildZipEngine();
    connectPages();

    // The window starts at its designed size, which is also its smallest; it
    // can be maximised, and the layout rule then lets the lists grow.
    const int menuHeight = menuBar()->sizeHint().height();
    setMinimumSize(ClientWidth, ClientHeight + menuHeight);
    resize(ClientWidth, ClientHeight + menuHeight);
    if (QScreen* s = screen())
        move(s->availableGeometry().center() - rect().center());

    FormCreate(arguments);
}

TForm1::~TForm1()
{
    DoCloseCode();
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
    connect(PProperties, &QAction::triggered, this, &TForm1::PropertiesClick);
    connect(PAbout, &QAction::triggered, this, &TForm1::AboutClick);
    connect(PDonation, &QAction::triggered, this, &TForm1::DonationClick);
    connect(PSoftware, &QAction::triggered, this, &TForm1::SoftwareClick);
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
    zipUser_->PasswordDialog = [this](const QString& title, const QString& prompt, int buttons, QString& entry) {
        return TPasswordDlg::Ask(prompter_, title, prompt, buttons, entry, this);
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
    e.OnExtractOverwrite = [this](TZipEngine&, const QString& forFile, bool isOlder, bool& doOverwrite, int32_t) {
        ZipEngineExtractOverwrite(forFile, isOlder, doOverwrite);
    };
    e.OnProgress = [this](TZipEngine&, TZipEngine::ProgressType type, const QString& fileName, int32_t fileSize) {
        ZipEngineProgress(type, fileName, fileSize);
    };
    e.OnMessage = [this](TZipEngine&, int32_t errCode, const QString& text) { ZipEngineMessage(errCode, text); };
}

bool TForm1::SingleArchiveOperationRunning() const
{
    return disabled_ && !state_.BatchState.Running;
}

bool TForm1::BatchRunInProgress() const
{
    return state_.BatchState.Running && !state_.BatchState.ScanMode;
}

// ---------------------------------------------------------------- engine events

void TForm1::ZipEngineExtractOverwrite(const QString& forFile, bool isOlder, bool& doOverwrite)
{
    TBatchState& b = state_.BatchState;
    if (BatchRunInProgress()) {
        doOverwrite = false;
        return;
    }
    if (b.NoToAll) {
        doOverwrite = false;
        return;
    }
    if (b.YesToAll || b.OverwriteAll) {
        doOverwrite = true;
        return;
    }
    if (ZipEngine->ExtrOptions & TZipEngine::ExtrOverWrite)
        return;  // the engine's proposal stands
    // The engine's IsOlder says the file on disk is strictly older than the
    // archive's copy. Otherwise the two may as well be equally old (the same
    // zip extracted twice): the archive's copy is older only when its time is
    // before the disk file's. The name keeps its case: it names a real file.
    const bool entryOlder = !isOlder && ArchiveCopyIsOlder(forFile);
    const QString tail = entryOlder
        ? QStringLiteral("THE FILE IN THE ZIP FILE IS OLDER THAN THE FILE ON DISK\r")
        : QStringLiteral("THE FILE IN THE ZIP FILE WILL REPLACE THE FILE ON DISK\r");
    const QString text = forFile + QStringLiteral("\r\r") + tail +
                         QStringLiteral("TO REPLACE THIS FILE CHOOSE  YES\r"
                                        "TO REPLACE ALL FILES AND AVOID RECEIVING THIS MESSAGE AGAIN CHOOSE  ALL");
    switch (prompter_.question(text, PromptButtons::YesNoAll)) {
    case PromptButton::Yes: doOverwrite = true; break;
    case PromptButton::YesToAll:
        doOverwrite = true;
        b.OverwriteAll = true;
        b.YesToAll = true;
        break;
    case PromptButton::NoToAll:
        doOverwrite = false;
        b.NoToAll = true;
        b.OverwriteAll = false;
        break;
    default: doOverwrite = false; break;
    }
}

bool TForm1::ArchiveCopyIsOlder(const QString& diskFile) const
{
    const QFileInfo disk(diskFile);
    const QString base = QDir::cleanPath(ZipEngine->ExtrBaseDir);
    for (const ZipDirEntry& e : ZipEngine->Entries) {
        QString stored = e.FileName;
        stored.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (QDir::cleanPath(base + QLatin1Char('/') + stored) != QDir::cleanPath(diskFile))
            continue;
        const QDateTime entryTime = DosDateTimeToQDateTime(e.DateTime);
        return entryTime.isValid() && entryTime.toSecsSinceEpoch() < disk.lastModified().toSecsSinceEpoch();
    }
    return false;
}

void TForm1::ZipEngineProgress(int type, const QString& fileName, int32_t fileSize)
{
    Q_UNUSED(fileName);
    TBatchState& b = state_.BatchState;
    const int64_t total = b.ZipUnzippedSize;
    const int target = b.ProgressTarget;
    if (total == 0 || target == 3 || (target == 1 && settings_.RelativePaths) || type != TZipEngine::ProgressBytes)
        return;
    const int64_t done = (b.BytesDone += fileSize);
    QProgressBar* bar = nullptr;
    switch (target) {
    case 0: bar = UnzipPage->UnzipProgressBar; break;
    case 1: bar = CreatePage->ZipProgressBar; break;
    case 2: bar = BatchPage->BatchFileProgressBar; break;
    case 4: bar = UpdatePage->UpdateProgressBar; break;
    default: return;
    }
    const int value = int(done * 100 / total);
    if (QThread::currentThread() == thread())
        bar->setValue(value);
    else
        QMetaObject::invokeMethod(bar, [bar, value] { bar->setValue(value); }, Qt::QueuedConnection);
}

void TForm1::ZipEngineMessage(int32_t errCode, const QString& text)
{
    if (errCode == 0 || BatchRunInProgress())
        return;
    prompter_.information(QStringLiteral("ERROR : ") + text);
}

void TForm1::connectPages()
{
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

    // The pages' "Properties" buttons
    connect(UnzipPage->UnzipPropertiesButton, &QPushButton::clicked, this, [this] {
        const int page = endsWithZip(state_.CurrentArchive) ? TPropertiesForm::UnzipPage : TPropertiesForm::TarGzPage;
        ShowProperties(page);
        QTreeView* v = UnzipPage->VisibleListView();
        v->setEnabled(true);
        v->setFocus();
    });

    SfxPage->SetEngineZipFile = [this](const QString& zip) { SetEngineZipFileName(zip); };
    connect(GzipTimer, &QTimer::timeout, CreatePage, &TCreatePage::GzipTimerTimer);
}

// ---------------------------------------------------------------- start-up

void TForm1::FormCreate(const QStringList& arguments)
{
    // 1
    switching_ = true;
    TabbedNotebook->setCurrentIndex(UnzipPageIndex);
    switching_ = false;
    currentPage_ = UnzipPageIndex;
    // 2
    state_.ProgramPath = Platform::ProgramPath();
    state_.ProgramFolder = Platform::ProgramFolder();
    state_.DataFolder = Platform::DataFolder();
    // 3
    ResetCreateScratchState();
    state_.ScratchFolderList.clear();
    CreateGzipComponent();
    state_.ShowSuccessMessage = true;
    // 4: best effort; a read-only data folder is reported with the settings.
    if (!QFileInfo(state_.ImageTempFolder()).isDir())
        QDir().mkpath(state_.ImageTempFolder());
    // 5
    ResetTarAttributeOptions();
    // 6
    state_.BatchState.ReloadOnReturn = false;
    state_.BatchState.OverwriteAll = false;
    state_.BatchState.YesToAll = false;
    state_.BatchState.NoToAll = false;
    settings_.CreateCutOff = 0;
    settings_.UpdateCutOff = 0;
    // 7
    RegisterFileClass();
    DiscoverViewers();
    state_.TabText = QString(255, QLatin1Char('\t'));
    // 8
    UnzipPage->QuickView1->setEnabled(!state_.QuickViewPath.isEmpty());
    UnzipPage->WordPad1->setEnabled(settings_.WordPadPresent);
    // 9
    state_.BatchState.ResetRun();
    state_.WorkList.clear();
    state_.InfoList.clear();
    state_.DoneList.clear();
    state_.ErrorList.clear();
    // 10
    SfxPage->ResetFolderChoice();
    // 11
    FillBatchImageList();
    // 12
    PointEngineAtProgramFolder();
    // 13
    UnzipPage->UnzipListTotal = 0;
    UpdatePage->UpdateListTotal = 0;
    CreatePage->ZipListTotal = 0;
    BatchPage->BatchListTotal = 0;
    // 14
    state_.IconCache.clear();
    state_.SharedList.clear();
    // 15
    LoadSettings();
    // 16
    UnzipPage->CheckThumbnailSizeItem(settings_.ThumbnailSize);
    // 17
    if (!settings_.SfxIconFile.isEmpty() && QFileInfo(settings_.SfxIconFile).isFile())
        LoadSfxIconAtStartup();
    // 18
    LoadCompressionLibraries();
    // 19
    CreateAddFolderWindow();
    // 20
    OpenCommandLine(arguments);
    MoveDropTarget(UnzipPage->VisibleListView());
}

void TForm1::ResetCreateScratchState()
{
    CreatePage->TarScratchFolder.clear();
}

void TForm1::CreateGzipComponent()
{
    gzip_ = std::make_unique<TGzip>();
    gzip_->prompter = &prompter_;
}

TGzip& TForm1::Gzip()
{
    if (!gzip_)
        CreateGzipComponent();
    return *gzip_;
}

void TForm1::SetPageTabsEnabled(bool on)
{
    TabbedNotebook->tabBar()->setEnabled(on);
}

void TForm1::ResetTarAttributeOptions()
{
    CreatePage->TarOptions.Reset();
}

void TForm1::RegisterFileClass()
{
    FileClass::Register(state_.ProgramPath);
}

void TForm1::DiscoverViewers()
{
    state_.QuickViewPath = ViewerPrograms::QuickViewPath();
    settings_.WordPadPresent = ViewerPrograms::WordPadAvailable();
}

void TForm1::FillBatchImageList()
{
    state_.BatchImageList.Images.clear();
    QStyle* st = style();
    state_.BatchImageList.Add(st->standardIcon(QStyle::SP_DirIcon));
    state_.BatchImageList.Add(QIcon::fromTheme(QStringLiteral("package-x-generic"), st->standardIcon(QStyle::SP_FileIcon)));
    state_.BatchImageList.Add(redCross());
}

void TForm1::PointEngineAtProgramFolder()
{
    ZipEngine->SetDLLDirectory(Platform::ProgramFilesFolder(Platform::ProgramFiles::Modules));
}

void TForm1::LoadSettings()
{
    const QString folder = state_.DataFolder;
    settings_.ApplyDefaults();
    settings_.ClearTexts();
    bool readError = false;
    const bool found = SettingsFile::Load(folder, settings_, &readError);
    if (readError) {
        // A file we cannot read is not replaced by defaults: the user keeps it.
        settingsReadOnly_ = true;
        settings_.AddOptionsEditable = true;
        ReportSettingsNotSaved();
        return;
    }
    if (!found) {
        QDir().mkpath(folder);
        if (!SettingsFile::WriteDefaults(folder, settings_))
            ReportSettingsNotSaved();
        settings_.AddOptionsEditable = true;
        return;
    }
    // Found and read: tell the user now if the close sequence could not save it.
    QTemporaryFile probe(Platform::JoinPath(folder, QStringLiteral(".config-XXXXXX")));
    if (!probe.open())
        ReportSettingsNotSaved();
}

void TForm1::LoadSfxIconAtStartup()
{
    SfxPage->CheckOutIcon(settings_.SfxIconFile);
}

void TForm1::LoadCompressionLibraries()
{
    // A library that cannot be loaded is reported by the engine; each
    // operation tries again to load what it needs.
    ZipEngine->LoadZipLibrary();
    ZipEngine->LoadUnzipLibrary();
}

void TForm1::CreateAddFolderWindow()
{
    // The shared icon lists with their four fixed images (folder, unknown
    // file, program, selected folder). The folder-scan window that owns them
    // arrives with the create page's change.
    QStyle* st = style();
    const QIcon fixed[4] = {st->standardIcon(QStyle::SP_DirIcon), st->standardIcon(QStyle::SP_FileIcon),
                            QIcon::fromTheme(QStringLiteral("application-x-executable"),
                                             st->standardIcon(QStyle::SP_ComputerIcon)),
                            st->standardIcon(QStyle::SP_DirOpenIcon)};
    state_.SmallImages.Images.clear();
    state_.LargeImages.Images.clear();
    for (const QIcon& i : fixed) {
        state_.SmallImages.Add(i);
        state_.LargeImages.Add(i);
    }
    UnzipPage->SetPathHeaderImage(fixed[0]);
}

void TForm1::OpenCommandLine(const QStringList& arguments)
{
    if (arguments.size() != 1)
        return;
    const QString arg = arguments.first();
    const QFileInfo fi(arg);
    settings_.LastOpenFolder = fi.absolutePath();
    state_.CurrentArchive = fi.absoluteFilePath();
    const QString path = state_.CurrentArchive;
    const ArchiveKind kind = archivekind::fromName(path);
    DisableAll();
    if (kind == ArchiveKind::Zip) {
        ListZip(path);
        return;
    }
    // The program registers itself as the opener of RAR and the other kinds,
    // so a double-click on one lists it as OPEN does; these listers end with
    // EnableAll like the zip one.
    if (kind == ArchiveKind::Rar) {
        UnzipPage->UpDateRARWindow(path);
        UnzipPage->UnzipListView->setEnabled(true);
        return;
    }
    if (kind == ArchiveKind::Other) {
        UnzipPage->UpdateOtherWindow(path);
        UnzipPage->UnzipListView->setEnabled(true);
        return;
    }
    // The command line lists the tar inside a ".tar.gz" or ".tgz" (the
    // program opens both when asked to) whatever OpenTarInGzip says.
    if (kind == ArchiveKind::TarGz)
        ListTarGzFromCommandLine(path);
    else if (kind == ArchiveKind::Gz)
        ListGzFromCommandLine(path);
    else if (kind == ArchiveKind::Tar)
        ListTarFromCommandLine(path);
    else {
        EnableAll();
        return;
    }
    EnableAll();
    UnzipPage->SetLoadedButtonStates();
    UnzipPage->UnzipListView->setEnabled(true);
    UnzipPage->UnzipListView->setFocus();
}

void TForm1::ListZip(const QString& path)
{
    // UpdateUnzipWindow ends with EnableAll on every path.
    UnzipPage->UpdateUnzipWindow(path);
}

void TForm1::ListTarGzFromCommandLine(const QString& path)
{
    UnzipPage->UpDateTarGZipWindow(path);
}

void TForm1::ListGzFromCommandLine(const QString& path)
{
    UnzipPage->UpdateGZipWindow(path);
}

void TForm1::ListTarFromCommandLine(const QString& path)
{
    UnzipPage->UpdateTarWindow(path);
}

void TForm1::SetEngineZipFileName(const QString& path)
{
    // The engine reads the archive's directory at once.
    ZipEngine->SetZipFileName(path);
}

QString TForm1::EngineZipFileName() const
{
    return ZipEngine->ZipFileName();
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    FormShow();
}

void TForm1::FormShow()
{
    if (TabbedNotebook->currentIndex() == UnzipPageIndex) {
        QTreeView* v = UnzipPage->VisibleListView();
        v->setEnabled(true);
        v->setFocus();
    }
}

// ---------------------------------------------------------------- busy bracket

namespace {
struct BusyItem {
    QObject* control;
    bool remembered;
};
} // namespace

static QList<BusyItem> busyItems(TForm1* f)
{
    TCreatePage* c = f->CreatePage;
    TUnzipPage* u = f->UnzipPage;
    TBatchPage* b = f->BatchPage;
    return {
        {c->ZipExitButton, false}, {u->UnzipCloseButton, false}, {c->OpenFilesZipButton, false},
        {c->OpenFolderzipButton, false}, {c->ZipButton, true}, {c->ZipUndoButton, true},
        {c->ZipResetButton, true}, {c->ZipHelpButton, false}, {c->ZipListView, false},
        {c->SelectAll2, false}, {c->Delete2, true}, {f->PAbout, false}, {f->PDonation, false}, {f->PExit, false},
        {u->UnzipListView, false}, {u->OpenUnzipButton, false}, {u->SelectAllButton, true},
        {u->UnSelectAllButton, false}, {u->TreeButton, false}, {u->SelectButton, false},
        {u->UnzipResetButton, true}, {u->UnzipButton, true}, {u->UnzipHelpButton, false},
        {b->BatchUnzipOpenFileButton, false}, {b->ScanFolderForZipFilesButton, false},
        {b->BatchDeleteButton, true}, {b->BatchUnzipButton, true}, {b->BatchHelpButton, false},
        {b->BatchExitButton, false}, {b->BatchSelectAllButton, true}, {b->BatchResetButton, true},
        {b->MoveZipFileButton, false}, {b->ScanSubDirCheckBox, false}, {b->MoveZipFileCheckBox, false},
        {b->BatchListView, false},
    };
}

void TForm1::DisableAll()
{
    const QList<BusyItem> items = busyItems(this);
    // A second DisableAll before EnableAll keeps the states recorded by the
    // first: recording again would remember everything as disabled.
    if (!disabled_) {
        remembered_.clear();
        for (const BusyItem& i : items)
            if (i.remembered)
                remembered_.insert(i.control, isOn(i.control));
    }
    disabled_ = true;
    for (const BusyItem& i : items)
        setOn(i.control, false);
}

void TForm1::EnableAll()
{
    TUnzipPage* u = UnzipPage;
    for (const BusyItem& i : busyItems(this)) {
        if (i.remembered)
            setOn(i.control, remembered_.value(i.control, isOn(i.control)));
        else
            setOn(i.control, true);
    }
    const bool selectAll = remembered_.value(u->SelectAllButton, u->SelectAllButton->isEnabled());
    u->SelectAllButton->setEnabled(selectAll);
    u->UnSelectAllButton->setEnabled(selectAll);
    u->SelectButton->setEnabled(selectAll);
    u->TreeButton->setEnabled(selectAll && u->RowCount() >= 2);
    TabbedNotebook->tabBar()->setEnabled(true);
    TabbedNotebook->setEnabled(true);
    disabled_ = false;
    remembered_.clear();
}

// ---------------------------------------------------------------- drop target

void TForm1::MoveDropTarget(QWidget* list)
{
    DropFileTarget->Attach(list);
}

QWidget* TForm1::DropTarget() const
{
    return DropFileTarget->Target();
}

// ---------------------------------------------------------------- pages

int TForm1::CurrentPage() const
{
    return currentPage_;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == TabbedNotebook->tabBar() && event->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(event);
        const int index = TabbedNotebook->tabBar()->tabAt(me->position().toPoint());
        if (me->button() == Qt::LeftButton && index >= 0 && index != currentPage_) {
            SelectPage(index);
            return true;  // the switch is done (or refused) here
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool TForm1::SelectPage(int page)
{
    if (page < 0 || page >= TabbedNotebook->count())
        return false;
    if (page == currentPage_)
        return true;
    if (!TabbedNotebookChange(page))
        return false;
    switching_ = true;
    TabbedNotebook->setCurrentIndex(page);
    switching_ = false;
    currentPage_ = page;
    TabbedNotebookClick();
    return true;
}

bool TForm1::TabbedNotebookChange(int requested)
{
    const int current = currentPage_;
    if (requested == current)
        return true;
    // While a scan or batch run goes on, the batch page with its STOP button
    // stays in front and no other page reaches the engine. While a
    // single-archive operation runs (its progress lets the window handle
    // input) the page under it stays too.
    if (state_.BatchState.Running || disabled_)
        return false;
    const bool zip = endsWithZip(state_.CurrentArchive);

    // 1: a listed zip moves on to the update page.
    if (current == UnzipPageIndex && requested == UpdatePageIndex && UnzipPage->RowCount() > 0 && zip)
        MoveZipfileToUpdate();

    // 2: the self-extracting page receives the zip in hand.
    if (requested == SfxPageIndex && zip) {
        if (current == UnzipPageIndex && UnzipPage->RowCount() > 0) {
            if (UnzipPage->FilteredViewShowing())
                UnzipPage->ShowFullList();
            UnzipPage->ClearUnzipListView();
            SfxPage->ReceiveZip(state_.CurrentArchive);
            MoveDropTarget(nullptr);
        } else if (current == UpdatePageIndex && UpdatePage->RowCount() > 0) {
            UpdatePage->ClearList();
            SfxPage->ReceiveZip(state_.CurrentArchive);
            MoveDropTarget(nullptr);
        } else if (current == CreatePageIndex && CreatePage->RowCount() > 0 && !CreatePage->ZipButton->isEnabled()) {
            ClearCreatePageForSwitch();
            SfxPage->ReceiveZip(EngineZipFileName());
        }
    }

    // 3: leaving a filled create page.
    if (current == CreatePageIndex && requested != CreatePageIndex && requested != SfxPageIndex &&
        CreatePage->RowCount() > 0) {
        if (prompter_.question(QStringLiteral("CLEAR THE CURRENT ENTRIES AND SWITCH TO A NEW WINDOW?"),
                               PromptButtons::YesNo) != PromptButton::Yes)
            return false;
        ClearCreatePageForSwitch();
    }

    // 4: from a loaded unzip page to the create page.
    if (current == UnzipPageIndex && requested == CreatePageIndex && UnzipPage->RowCount() > 0) {
        if (prompter_.question(QStringLiteral("WOULD YOU LIKE TO CLEAR THE LOADED FILE AND CREATE A NEW ZIPFILE?"),
                               PromptButtons::YesNo) != PromptButton::Yes)
            return false;
        if (UnzipPage->FilteredViewShowing())
            UnzipPage->ShowFullList();
        UnzipPage->ClearUnzipListView();
    }

    // 5: back from the self-extracting page after a conversion to zip.
    if (current == SfxPageIndex && requested == UnzipPageIndex && zip && state_.BatchState.ReloadOnReturn) {
        state_.BatchState.ReloadOnReturn = false;
        DisableAll();
        ListZip(state_.CurrentArchive);
    }

    // 6: the drop target follows the page.
    switch (requested) {
    case CreatePageIndex: MoveDropTarget(CreatePage->ZipListView); break;
    case UnzipPageIndex: MoveDropTarget(UnzipPage->VisibleListView()); break;
    case SfxPageIndex: MoveDropTarget(nullptr); break;
    case UpdatePageIndex:
        if (UpdatePage->UpdateResetButton->isEnabled())
            MoveDropTarget(UpdatePage->UpdateListView);
        break;
    default: break;
    }
    return true;
}

void TForm1::TabbedNotebookClick()
{
    QTreeView* list = nullptr;
    switch (currentPage_) {
    case UnzipPageIndex: list = UnzipPage->VisibleListView(); break;
    case UpdatePageIndex:
        list = UpdatePage->UpdateListView;
        settings_.UpdateCutOff = 0;
        break;
    case CreatePageIndex:
        list = CreatePage->ZipListView;
        settings_.CreateCutOff = 0;
        break;
    case BatchPageIndex: list = BatchPage->BatchListView; break;
    default: break;
    }
    if (list) {
        list->setEnabled(true);
        list->setFocus();
    }
}

void TForm1::MoveZipfileToUpdate()
{
    Platform::BusyCursor busy;
    SetEngineZipFileName(state_.CurrentArchive);
    if (UnzipPage->FilteredViewShowing()) {
        UnzipPage->UnzipFilteredListModel->removeRows(0, UnzipPage->UnzipFilteredListModel->rowCount());
        UnzipPage->ShowFullList();
    }
    UpdatePage->MoveZipfileToUpdate(state_.CurrentArchive, *UnzipPage->UnzipListModel,
                                    int32_t(qMin<int64_t>(UnzipPage->UnzipListTotal, INT32_MAX)));
    EnableAll();
    UpdatePage->SetZipButtonsEnabled(true);
    UnzipPage->ClearUnzipListView();
    MoveDropTarget(UpdatePage->UpdateListView);
    settings_.UpdateCutOff = 0;
}

void TForm1::ClearCreatePageForSwitch()
{
    CreatePage->ClearList();
    CreatePage->ZipButton->setEnabled(false);
    CreatePage->ZipResetButton->setEnabled(false);
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
    QFrame* sfx = SfxPage->SFXPanel;
    if (H <= 490)
        sfx->move(1, 99);
    else
        sfx->move(58, 145);
    TabbedNotebook->resize(W - 27, H - 51);

    const int width = W - 51;
    auto place = [](QWidget* w, int top, int wid, int height) { w->setGeometry(w->x(), top, wid, height); };
    place(UnzipPage->Panel6, H - 140, width, UnzipPage->Panel6->height());
    place(CreatePage->ZipTotalsPanel, H - 140, width, CreatePage->ZipTotalsPanel->height());
    place(UpdatePage->UpdateTotalsPanel, H - 140, width, UpdatePage->UpdateTotalsPanel->height());
    for (QProgressBar* p : {UnzipPage->UnzipProgressBar, CreatePage->ZipProgressBar, UpdatePage->UpdateProgressBar})
        place(p, H - 100, width, p->height());
    for (QTreeView* v : {UnzipPage->UnzipListView, UnzipPage->UnzipFilteredListView, CreatePage->ZipListView,
                         UpdatePage->UpdateListView})
        v->resize(width, H - 272);
    BatchPage->BatchListView->resize(width, H - 357);
    place(BatchPage->Panel13, H - 217, width, BatchPage->Panel13->height());
    place(BatchPage->Panel11, H - 181, width, BatchPage->Panel11->height());
    place(BatchPage->Panel10, H - 137, width, BatchPage->Panel10->height());
    place(BatchPage->BatchFileProgressBar, H - 101, width, BatchPage->BatchFileProgressBar->height());
    place(BatchPage->BatchProgressBar, H - 157, width, BatchPage->BatchProgressBar->height());
}

// ---------------------------------------------------------------- menu and dialogs

bool TForm1::ShowProperties(int page)
{
    TPropertiesForm dlg(settings_, [this] { return SaveSettings(); }, this);
    new TShellPages(dlg, settings_, [this] { return SaveSettings(); }, prompter_, state_.ProgramPath);
    dlg.SelectPage(page);
    return prompter_.runDialog(dlg) == QDialog::Accepted;
}

QString TForm1::BrowseforFolder(const QString& title, bool classic, bool allowCreate)
{
    if (!classic) {
        FileDialogRequest request;
        request.title = title;
        return prompter_.chooseFolder(request);
    }

    FileDialogRequest request;
    request.title = QStringLiteral("DOUBLE CLICK TO Select Folder");
    request.startFolder = settings_.LastUnzipFolder;
    request.allowNewFolder = allowCreate;
    const QString folder = prompter_.chooseFolder(request);
    if (folder.isEmpty())
        return QString();
    if (allowCreate && !QFileInfo(folder).exists())
        QDir().mkpath(folder);
    if (QFileInfo(folder).isDir()) {
        settings_.LastUnzipFolder = folder;
        return folder;
    }
    prompter_.information(QStringLiteral(
        "ERROR.  THE FOLDER DOES NOT EXIST OR CANNOT BE CREATED.\r"
        "YOU MAY HAVE ENTERED CHARACTERS THAT ARE NOT ALLOWED IN FOLDER NAMES.\r"
        "THE FOLLOWING CHARACTERS ARE NOT ALLOWED : \r* ? / : \" < > |"));
    return QString();
}

void TForm1::PropertiesClick()
{
    ShowProperties(TPropertiesForm::TarGzPage);
}

void TForm1::AboutClick()
{
    TAboutBox box(TAboutBox::About, this);
    prompter_.runDialog(box);
}

void TForm1::DonationClick()
{
    TAboutBox box(TAboutBox::Donation, this);
    prompter_.runDialog(box);
}

void TForm1::SoftwareClick()
{
    OpenHelp("software.html");
}

void TForm1::OpenHelp(const char* page)
{
    // As the shell reports it when neither the page nor a program to show it
    // can be found.
    if (!Platform::OpenHelpPage(QString::fromLatin1(page)))
        prompter_.error(QStringLiteral("The specified file was not found."));
}

// ---------------------------------------------------------------- settings

bool TForm1::SaveSettings()
{
    if (settingsReadOnly_) {
        ReportSettingsNotSaved();
        return false;
    }
    QDir().mkpath(state_.DataFolder);
    const bool ok = SettingsFile::Save(state_.DataFolder, settings_);
    if (!ok)
        ReportSettingsNotSaved();
    return ok;
}

void TForm1::ReportSettingsNotSaved()
{
    if (settingsWarned_)
        return;
    settingsWarned_ = true;
    prompter_.warning(QStringLiteral("THE SETTINGS CANNOT BE SAVED IN THE FOLDER\r") +
                      QDir::toNativeSeparators(state_.DataFolder) +
                      QStringLiteral("\rTHE PROGRAM WORKS AS USUAL, BUT CHANGES TO THE OPTIONS WILL BE LOST WHEN IT CLOSES."));
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
    // A single-archive operation is running under this call: the window
    // closes once it has ended.
    if (SingleArchiveOperationRunning()) {
        event->ignore();
        if (!closeWaiter_) {
            closeWaiter_ = new QTimer(this);
            closeWaiter_->setInterval(50);
            connect(closeWaiter_, &QTimer::timeout, this, [this] {
                if (SingleArchiveOperationRunning() || QApplication::activeModalWidget())
                    return;
                closeWaiter_->stop();
                close();
            });
        }
        closeWaiter_->start();
        return;
    }
    // A scan or batch run is stopped first: the close sequence ends it and
    // waits for its thread, as EXIT does.
    DoCloseCode();
    event->accept();
    QCoreApplication::processEvents();
    QCoreApplication::quit();
}

void TForm1::FreeAddFolderWindow()
{
    state_.SmallImages.Images.clear();
    state_.LargeImages.Images.clear();
}

void TForm1::UnloadImageLibrary()
{
    UnzipPage->UnloadImageLibrary();
}

void TForm1::FreeGzipComponent()
{
    gzip_.reset();
}

void TForm1::UnloadCompressionLibraries()
{
    ZipEngine->UnloadZipLibrary();
    ZipEngine->UnloadUnzipLibrary();
}

void TForm1::DoCloseCode()
{
    if (closeDone_)
        return;
    closeDone_ = true;
    Platform::BusyCursor busy;
    for (QTimer* t : {Timer, GzipTimer, BatchUnzipTimer})
        t->stop();
    // A scan or batch thread still running is ended before what it uses goes.
    BatchPage->StopThreads();
    // 1-3
    FreeAddFolderWindow();
    UnloadImageLibrary();
    FreeGzipComponent();
    UnloadCompressionLibraries();
    // 4
    UnzipPage->ClearUnzipListView();
    // 5
    state_.IconCache.clear();
    state_.ScratchFolderList.removeDuplicates();
    const QStringList scratch = state_.ScratchFolderList;
    state_.WorkList.clear();
    state_.InfoList.clear();
    state_.DoneList.clear();
    state_.ErrorList.clear();
    state_.SharedList.clear();
    CreatePage->DisposeUndoHistory();
    // 6
    if (QFileInfo(state_.TempFolder()).isDir())
        Platform::EmptyFolder(state_.TempFolder());
    // 7
    for (const QString& f : scratch)
        if (QFileInfo(f).isDir())
            Platform::RemoveFolderTree(f);
    state_.ScratchFolderList.clear();
    // 8
    SaveSettings();
    // 9
    QDir().rmdir(state_.TempFolder());
}

// ---------------------------------------------------------------- screenshots

QStringList TForm1::SaveScreenshots(const QString& folder)
{
    QStringList written;
    QDir().mkpath(folder);
    const int keep = currentPage_;
    static const char* names[] = {"page0-unzip", "page1-update", "page2-create", "page3-batch", "page4-sfx"};
    for (int i = 0; i < TabbedNotebook->count(); ++i) {
        switching_ = true;
        TabbedNotebook->setCurrentIndex(i);
        switching_ = false;
        QCoreApplication::processEvents();
        const QString file = Platform::JoinPath(folder, QString::fromLatin1(names[i]) + QStringLiteral(".png"));
        if (grab().save(file))
            written << file;
        if (i == 0) {
            const QString main = Platform::JoinPath(folder, QStringLiteral("mainwindow.png"));
            if (grab().save(main))
                written << main;
        }
    }
    switching_ = true;
    TabbedNotebook->setCurrentIndex(keep);
    switching_ = false;
    // With an archive listed: the tree browser on it.
    const QString tree = Platform::JoinPath(folder, QStringLiteral("tree.png"));
    if (UnzipPage->SaveTreeScreenshot(tree))
        written << tree;

    TPropertiesForm dlg(settings_, [] { return true; }, this);
    dlg.show();
    for (int p = 0; p < TPropertiesForm::PageCount; ++p) {
        dlg.SelectPage(p);
        QCoreApplication::processEvents();
        const QString file = Platform::JoinPath(folder, QStringLiteral("properties%1.png").arg(p));
        if (dlg.grab().save(file))
            written << file;
    }
    dlg.hide();
    // With an archive loaded: its pictures in the viewer and the browser.
    written << UnzipPage->SaveImageScreenshots(folder);
    return written;
}
