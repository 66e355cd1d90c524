#include "batch/TBatchPage.h"

#include "batch/BatchRules.h"
#include "batch/TScanZipFileThread.h"
#include "batch/TUnzipthread.h"
#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/ZipListing.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QSet>
#include <QTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

using namespace Controls;

TBatchPage::TBatchPage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent)
    : QWidget(parent), host_(host), settings_(settings), state_(state)
{
    setObjectName(QStringLiteral("BatchPage"));

    Step1Panel = Panel(this, "BatchStep1Panel", 4, 4, 578, 88);
    Label(Step1Panel, nullptr, QStringLiteral("Step 1...."), 6, 3);
    BatchUnzipOpenFileButton = Button(Step1Panel, "BatchUnzipOpenFileButton", QStringLiteral("SELECT FILES"), 6, 22, 100, 28);
    ScanFolderForZipFilesButton = Button(Step1Panel, "ScanFolderForZipFilesButton", QStringLiteral("SCAN FOLDER"), 110, 22, 100, 28);
    BatchDeleteButton = Button(Step1Panel, "BatchDeleteButton", QStringLiteral("DELETE"), 214, 22, 76, 28);
    BatchThreadStopButton = Button(Step1Panel, "BatchThreadStopButton", QStringLiteral("STOP"), 294, 22, 70, 28);
    BatchSelectAllButton = Button(Step1Panel, "BatchSelectAllButton", QStringLiteral("Select All"), 368, 22, 80, 28);
    BatchResetButton = Button(Step1Panel, "BatchResetButton", QStringLiteral("RESET"), 452, 22, 76, 28);
    ScanSubDirCheckBox = CheckBox(Step1Panel, "ScanSubDirCheckBox", QStringLiteral("Scan  all folders inside selected folder"),
                                  6, 58, 250);
    ScanSubDirCheckBox->setChecked(true);
    MoveZipFileCheckBox = CheckBox(Step1Panel, "MoveZipFileCheckBox", QStringLiteral("Move Zip Files"), 262, 58, 112);
    MoveFolderEdit = ReadOnlyEdit(Step1Panel, "MoveFolderEdit", QString(), 376, 57, 166);
    MoveZipFileButton = Button(Step1Panel, "MoveZipFileButton", QStringLiteral("?"), 546, 57, 24, 22);
    MoveZipFileButton->setToolTip(QStringLiteral("Select a Folder.  the Zip Files will be moved here."));

    Step2Panel = Panel(this, "BatchStep2Panel", 4, 96, 300, 38);
    Label(Step2Panel, nullptr, QStringLiteral("Step 2...."), 6, 10);
    BatchUnzipButton = Button(Step2Panel, "BatchUnzipButton", QStringLiteral("UNZIP"), 80, 5, 110, 28);
    BatchHelpButton = Button(this, "BatchHelpButton", QStringLiteral("HELP"), 420, 101, 75, 28);
    BatchExitButton = Button(this, "BatchExitButton", QStringLiteral("EXIT"), 504, 101, 75, 28);

    BatchListView = ReportView(this, "BatchListView",
                               {QStringLiteral("File "), QStringLiteral("Size"), QStringLiteral("Unzipped Size"),
                                QStringLiteral("Date"), QStringLiteral("Path")},
                               {150, 120, 120, 128, 600}, &BatchListModel);
    BatchListView->setGeometry(4, 138, 570, 102);
    ShowGridLines(BatchListView);

    Panel13 = Panel(this, "Panel13", 4, 242, 570, 34);
    Label(Panel13, nullptr, QStringLiteral("Zip Files"), 6, 8);
    BatchNumEdit = ReadOnlyEdit(Panel13, "BatchNumEdit", QStringLiteral("0"), 62, 6, 60);
    Label(Panel13, nullptr, QStringLiteral("Completed"), 128, 8);
    BatchCompleteEdit = ReadOnlyEdit(Panel13, "BatchCompleteEdit", QStringLiteral("0"), 196, 6, 50);
    Label(Panel13, nullptr, QStringLiteral("Zip Size"), 252, 8);
    ZipSizeEdit = ReadOnlyEdit(Panel13, "ZipSizeEdit", QStringLiteral("0"), 306, 6, 80);
    Label(Panel13, nullptr, QStringLiteral("Unzipped Size"), 392, 8);
    BatchTotalSizeEdit = ReadOnlyEdit(Panel13, "BatchTotalSizeEdit", QStringLiteral("0"), 484, 6, 80);

    Panel11 = Panel(this, "Panel11", 4, 278, 570, 22);
    BatchPathStatusBar = StatusBar(Panel11, "BatchPathStatusBar", 2, 1, 566, 20);
    BatchProgressBar = ProgressBar(this, "BatchProgressBar", 4, 302, 570);

    Panel10 = Panel(this, "Panel10", 4, 322, 570, 34);
    Label(Panel10, nullptr, QStringLiteral("Number of files : "), 6, 8);
    BatchFileNumEdit = ReadOnlyEdit(Panel10, "BatchFileNumEdit", QStringLiteral("0"), 112, 6, 70);
    Label(Panel10, nullptr, QStringLiteral("File Size :"), 190, 8);
    BatchFileSizeEdit = ReadOnlyEdit(Panel10, "BatchFileSizeEdit", QStringLiteral("0"), 256, 6, 100);
    Label(Panel10, nullptr, QStringLiteral("Total Done"), 364, 8);
    BatchTotalDoneEdit = ReadOnlyEdit(Panel10, "BatchTotalDoneEdit", QStringLiteral("0"), 436, 6, 110);
    BatchFileProgressBar = ProgressBar(this, "BatchFileProgressBar", 4, 358, 570);

    // Nothing listed yet: nothing to delete, stop, select, reset or unzip.
    for (QPushButton* b : {BatchDeleteButton, BatchThreadStopButton, BatchSelectAllButton, BatchResetButton, BatchUnzipButton})
        b->setEnabled(false);

    BatchListView->header()->setSectionsClickable(true);
    connect(BatchListView->header(), &QHeaderView::sectionClicked, this, &TBatchPage::BatchListViewColumnClick);
    connect(BatchListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TBatchPage::BatchListViewSelectItem);
    connect(BatchUnzipOpenFileButton, &QPushButton::clicked, this, &TBatchPage::BatchUnzipOpenFileButtonClick);
    connect(ScanFolderForZipFilesButton, &QPushButton::clicked, this, &TBatchPage::ScanFolderForZipFilesButtonClick);
    connect(BatchSelectAllButton, &QPushButton::clicked, this, &TBatchPage::BatchSelectAllButtonClick);
    connect(BatchDeleteButton, &QPushButton::clicked, this, &TBatchPage::BatchDeleteButtonClick);
    connect(BatchResetButton, &QPushButton::clicked, this, &TBatchPage::BatchResetButtonClick);
    connect(MoveZipFileCheckBox, &QCheckBox::clicked, this, &TBatchPage::MoveZipFileCheckBoxClick);
    connect(MoveZipFileButton, &QPushButton::clicked, this, &TBatchPage::MoveZipFileButtonClick);
    connect(BatchThreadStopButton, &QPushButton::clicked, this, &TBatchPage::BatchThreadStopButtonClick);
    connect(BatchUnzipButton, &QPushButton::clicked, this, &TBatchPage::BatchUnzipButtonClick);
}

void TBatchPage::startPolling(int interval)
{
    // The window makes its timers after its pages: the handler is attached at first use.
    QTimer* timer = host_.BatchTimer();
    connect(timer, &QTimer::timeout, this, &TBatchPage::BatchUnzipTimerTimer, Qt::UniqueConnection);
    timer->setInterval(interval);
    timer->start();
}

TBatchPage::~TBatchPage()
{
    StopThreads();
}

QList<TBusyControl> TBatchPage::BusyControls() const
{
    return {{BatchUnzipOpenFileButton, false}, {ScanFolderForZipFilesButton, false}, {BatchDeleteButton, true},
            {BatchUnzipButton, true},          {BatchHelpButton, false},             {BatchExitButton, false},
            {BatchSelectAllButton, true},      {BatchResetButton, true},             {MoveZipFileButton, false},
            {ScanSubDirCheckBox, false},       {MoveZipFileCheckBox, false},         {BatchListView, false}};
}

void TBatchPage::FormResize(int W, int H)
{
    const int width = W - 51;
    BatchListView->resize(width, H - 357);
    Controls::PlaceAt(Panel13, H - 217, width);
    Controls::PlaceAt(Panel11, H - 181, width);
    Controls::PlaceAt(Panel10, H - 137, width);
    Controls::PlaceAt(BatchFileProgressBar, H - 101, width);
    Controls::PlaceAt(BatchProgressBar, H - 157, width);
}

int TBatchPage::RowCount() const
{
    return BatchListModel->rowCount();
}

QString TBatchPage::RowZipPath(int row) const
{
    return BatchListModel->item(row, 0)->data(ZipPathRole).toString();
}

// ---------------------------------------------------------------- rows

namespace {
// Row captions sort with the platform's comparison of texts.
class TBatchItem : public QStandardItem {
public:
    using QStandardItem::QStandardItem;
    bool operator<(const QStandardItem& other) const override
    {
        return QString::localeAwareCompare(text(), other.text()) < 0;
    }
};

QString rowKey(const QString& folder, const QString& name)
{
    return Platform::JoinPath(folder, name).toLower();
}
} // namespace

void TBatchPage::addRow(const QString& caption, const QString& zipPath, const QString& size, const QString& unzipped,
                        const QString& date, const QString& folder)
{
    const QList<QIcon>& icons = state_.BatchImageList.Images;
    auto* first = new TBatchItem(caption);
    first->setData(zipPath, ZipPathRole);
    first->setData(int(ZipIcon), ImageIndexRole);
    if (icons.size() > ZipIcon)
        first->setIcon(icons[ZipIcon]);
    auto* path = new QStandardItem(folder);
    if (icons.size() > FolderIcon)
        path->setIcon(icons[FolderIcon]);
    BatchListModel->appendRow({first, new QStandardItem(size), new QStandardItem(unzipped), new QStandardItem(date), path});
}

void TBatchPage::selectRows(int first, int last)
{
    if (first > last)
        return;
    const QItemSelection range(BatchListModel->index(first, 0), BatchListModel->index(last, 0));
    BatchListView->selectionModel()->select(range, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TBatchPage::keepSorted()
{
    if (sorted_)
        BatchListModel->sort(0, Qt::AscendingOrder);
}

void TBatchPage::setListButtons(bool on)
{
    for (QPushButton* b : {BatchResetButton, BatchUnzipButton, BatchSelectAllButton, BatchDeleteButton})
        b->setEnabled(on);
}

bool TBatchPage::CheckForDupeBatchZipDrop(const QString& path) const
{
    const QFileInfo fi(path);
    const QString key = rowKey(fi.absolutePath(), fi.fileName());
    for (int r = 0; r < RowCount(); ++r)
        if (rowKey(BatchListModel->item(r, 4)->text(), BatchListModel->item(r, 0)->text()) == key)
            return true;
    return false;
}

QList<int> TBatchPage::rowsOf(const QStringList& paths) const
{
    QSet<QString> keys;
    for (const QString& p : paths) {
        const QFileInfo fi(p);
        keys.insert(rowKey(fi.absolutePath(), fi.fileName()));
    }
    QList<int> rows;
    for (int r = RowCount() - 1; r >= 0; --r)
        if (keys.contains(rowKey(BatchListModel->item(r, 4)->text(), BatchListModel->item(r, 0)->text())))
            rows << r;
    return rows;
}

int32_t TBatchPage::TallyZipFile(const QString& path)
{
    const int32_t size = BatchRules::UnzippedSize(path);
    state_.BatchState.UnzippedTotal = ZipListing::AddToTotal(state_.BatchState.UnzippedTotal, uint64_t(size));
    return size;
}

void TBatchPage::DropFileToBatchZip(const QString& path, const QFileInfo& info)
{
    addRow(info.fileName(), path, AddCommas(info.size()), AddCommas(TallyZipFile(path)),
           BatchRules::FileDateText(info.lastModified()), BatchRules::FolderOf(path));
    const int row = RowCount() - 1;
    selectRows(row, row);
    if (!filling_)
        keepSorted();
}

// ---------------------------------------------------------------- counters

void TBatchPage::BatchListViewSelectItem()
{
    if (state_.BatchState.Running || filling_)
        return;
    int32_t zipSize = 0, unzipped = 0;
    int selected = 0;
    const QItemSelectionModel* sel = BatchListView->selectionModel();
    for (int r = 0; r < RowCount(); ++r) {
        if (!sel->isRowSelected(r, QModelIndex()))
            continue;
        ++selected;
        zipSize = ZipListing::AddToTotal(zipSize, uint64_t(qMax<int64_t>(0, RemoveCommas(BatchListModel->item(r, 1)->text()))));
        unzipped = ZipListing::AddToTotal(unzipped, uint64_t(qMax<int64_t>(0, RemoveCommas(BatchListModel->item(r, 2)->text()))));
    }
    ZipSizeEdit->setText(AddCommas(zipSize));
    BatchTotalSizeEdit->setText(AddCommas(unzipped));
    BatchNumEdit->setText(AddCommas(selected));
}

// ---------------------------------------------------------------- list commands

void TBatchPage::BatchUnzipOpenFileButtonClick()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Choose the zip files to Open");
    request.filter = QStringLiteral("Zip Files (*.zip);;RAR Files (*.rar)");
    const QStringList files = host_.prompter().openFiles(request);
    if (files.isEmpty())
        return;
    const bool several = files.size() > 1;
    std::unique_ptr<Platform::BusyCursor> busy;
    if (several) {
        host_.DisableAll();
        busy = std::make_unique<Platform::BusyCursor>();
    }
    filling_ = true;
    for (const QString& path : files) {
        if (CheckForDupeBatchZipDrop(path))
            continue;
        const QFileInfo info(path);
        if (!info.isFile())
            continue;  // gone since it was chosen
        DropFileToBatchZip(path, info);
    }
    filling_ = false;
    keepSorted();
    if (several)
        host_.EnableAll();
    BatchListViewSelectItem();
    if (RowCount() > 0)
        setListButtons(true);
    BatchNumEdit->setText(AddCommas(RowCount()));
    if (RowCount() > 0) {
        BatchListView->setEnabled(true);
        BatchListView->setFocus();
    }
}

void TBatchPage::BatchSelectAllButtonClick()
{
    if (RowCount() == 0)
        return;
    {
        Platform::BusyCursor busy;
        BatchListView->selectAll();
    }
    BatchListView->setEnabled(true);
    BatchListView->setFocus();
}

void TBatchPage::BatchDeleteButtonClick()
{
    QList<int> rows;
    const QItemSelectionModel* sel = BatchListView->selectionModel();
    for (int r = RowCount() - 1; r >= 0; --r)
        if (sel->isRowSelected(r, QModelIndex()))
            rows << r;
    for (int r : rows)
        BatchListModel->removeRow(r);
    // Removed rows leave the selection without a change signal.
    BatchListViewSelectItem();
    if (RowCount() > 0)
        BatchListView->setFocus();
    else
        for (QPushButton* b : {BatchDeleteButton, BatchSelectAllButton, BatchResetButton, BatchUnzipButton})
            b->setEnabled(false);
}

void TBatchPage::BatchResetButtonClick()
{
    host_.DisableAll();
    BatchListModel->removeRows(0, RowCount());
    BatchListTotal = 0;
    state_.WorkList.clear();
    state_.InfoList.clear();
    state_.DoneList.clear();
    state_.ErrorList.clear();
    host_.EnableAll();
    setListButtons(false);
    for (QLineEdit* e : {BatchNumEdit, BatchCompleteEdit, ZipSizeEdit, BatchTotalSizeEdit, BatchFileNumEdit,
                         BatchFileSizeEdit, BatchTotalDoneEdit})
        e->setText(QStringLiteral("0"));
    BatchPathStatusBar->clearMessage();
}

void TBatchPage::BatchListViewColumnClick(int column)
{
    if (column != 0 || RowCount() <= 1)
        return;
    sorted_ = true;
    keepSorted();
}

// ---------------------------------------------------------------- "Move Zip Files"

bool TBatchPage::roomToMove(const QString& folder)
{
    const qint64 free = Platform::FreeOnDisk(folder);
    // An unknown figure (-1) does not refuse: the checks are advisory.
    if (free < 0 || free > RemoveCommas(ZipSizeEdit->text()))
        return true;
    host_.prompter().information(QStringLiteral(
        "THERE IS NO ENOUGH ROOM ON THE SELECTED DRIVE TO MOVE THE ZIP FILES.  CHOOSE ANOTHER DRIVE WITH MORE FREE SPACE."));
    return false;
}

void TBatchPage::afterMoveCommand()
{
    if (MoveFolderEdit->text().isEmpty())
        MoveZipFileCheckBox->setChecked(false);
    if (RowCount() > 0 && BatchListView->isEnabled())
        BatchListView->setFocus();
}

void TBatchPage::MoveZipFileCheckBoxClick()
{
    if (MoveZipFileCheckBox->isChecked() && MoveFolderEdit->text().isEmpty()) {
        const QString folder = host_.BrowseforFolder(QStringLiteral("DOUBLE CLICK TO Select Folder"), true, true);
        if (!folder.isEmpty() && roomToMove(folder))
            MoveFolderEdit->setText(folder);
    }
    afterMoveCommand();
}

void TBatchPage::MoveZipFileButtonClick()
{
    const QString folder = host_.BrowseforFolder(QStringLiteral("DOUBLE CLICK TO Select Folder"), true, true);
    if (!folder.isEmpty() && roomToMove(folder)) {
        MoveFolderEdit->setText(folder);
        MoveZipFileCheckBox->setChecked(true);
    }
    afterMoveCommand();
}

// ---------------------------------------------------------------- the folder scan

void TBatchPage::LoadThreadlist()
{
    state_.WorkList.clear();
    state_.InfoList.clear();
    for (int r = 0; r < RowCount(); ++r) {
        state_.WorkList << RowZipPath(r) + QLatin1Char('*') +
                               QString::number(RemoveCommas(BatchListModel->item(r, 2)->text()));
        state_.InfoList << QStringLiteral("*");
    }
    state_.BatchState.Listed = RowCount();
}

void TBatchPage::ScanFolderForZipFilesButtonClick()
{
    TBatchState& b = state_.BatchState;
    if (b.Running)
        return;
    // 1
    const QString folder =
        host_.BrowseforFolder(QStringLiteral("SELECT DRIVE OR FOLDER TO SCAN FOR ZIP FILES..."), false, false);
    if (folder.isEmpty()) {
        if (RowCount() > 0)
            BatchListView->setFocus();
        BatchNumEdit->setText(AddCommas(RowCount()));
        return;
    }
    // 2
    if (RowCount() > 0) {
        LoadThreadlist();
    } else {
        b.Listed = 0;
        state_.WorkList.clear();
        state_.InfoList.clear();
        state_.DoneList.clear();
        state_.ErrorList.clear();
    }
    // 3
    host_.DisableAll();
    busy_ = std::make_unique<Platform::BusyCursor>();
    b.ScanSubfolders = ScanSubDirCheckBox->isChecked();
    b.Running = true;
    b.ScanMode = true;
    b.StopRequested = false;
    BatchThreadStopButton->setEnabled(true);
    // 4
    b.Counter = int32_t(RemoveCommas(BatchNumEdit->text()));
    b.UnzippedTotal = int32_t(RemoveCommas(BatchTotalSizeEdit->text()));
    b.ZipTotal = int32_t(RemoveCommas(ZipSizeEdit->text()));
    // 5
    BatchListView->hide();
    scan_ = std::make_unique<TScanZipFileThread>(folder, state_.WorkList, b);
    scan_->start();
    startPolling(50);
}

void TBatchPage::ScanFolderToBatchListView()
{
    TBatchState& b = state_.BatchState;
    if (scan_) {
        QStringList paths, infos;
        const QString folder = scan_->TakeResults(paths, infos);
        state_.WorkList += paths;
        state_.InfoList += infos;
        if (!folder.isEmpty())
            BatchPathStatusBar->showMessage(folder);
    }
    const int shown = b.Listed;
    if (b.Counter != 0 && state_.InfoList.size() > shown) {
        const int first = RowCount();
        filling_ = true;
        for (qsizetype i = shown; i < state_.InfoList.size(); ++i) {
            const QString& path = state_.WorkList[i];
            const QString& info = state_.InfoList[i];
            const qsizetype star = info.indexOf(QLatin1Char('*'));
            addRow(QFileInfo(path).fileName().toLower(), path, AddCommas(info.left(star).toLongLong()),
                   AddCommas(TallyZipFile(path)), info.mid(star + 1), BatchRules::FolderOf(path));
        }
        filling_ = false;
        selectRows(first, RowCount() - 1);
        keepSorted();
        b.Listed = int32_t(state_.InfoList.size());
    }
    BatchNumEdit->setText(AddCommas(b.Counter));
    BatchTotalSizeEdit->setText(AddCommas(b.UnzippedTotal));
    ZipSizeEdit->setText(AddCommas(b.ZipTotal));
}

void TBatchPage::finishScan()
{
    BatchThreadStopButton->setEnabled(false);
    QCoreApplication::processEvents();
    scan_->wait();
    ScanFolderToBatchListView();
    scan_.reset();
    BatchListView->setEnabled(true);
    BatchListView->show();
    BatchListView->setFocus();
    if (RowCount() > 0) {
        setListButtons(true);
        host_.prompter().information(QStringLiteral(
            "SCAN COMPLETE.\r\rYOU CAN SCAN ANOTHER FOLDER, OR USE THE \"ADD FILES\" BOX TO ADD MORE FILES OR YOU CAN "
            "PRESS THE UNZIP BUTTON TO BEGIN THE BATCH UNZIP PROCESS.\r\rIF YOU WISH TO MOVE THE ZIP FILES TO A NEW "
            "LOCATION REMEMBER TO CHECKMARK THE MOVE BOX BEFORE PRESSING THE UNZIP BUTTON.\r\rYOU CAN ALSO CLICK ONLY "
            "THOSE ZIP FILES YOU WANT TO UNZIP TO HIGHLIGHT THEM.  ONLY HIGHLIGHTED (BLUE) ZIP FILES WILL BE PROCESSED."));
    }
    endThreadRun();
}

void TBatchPage::endThreadRun()
{
    busy_.reset();
    host_.EnableAll();
    // The restore step puts back the states from before the run; the list
    // buttons follow what the list holds now.
    setListButtons(RowCount() > 0);
    BatchPathStatusBar->clearMessage();
    state_.WorkList.clear();
    state_.InfoList.clear();
}

// ---------------------------------------------------------------- both threads

void TBatchPage::BatchThreadStopButtonClick()
{
    state_.BatchState.StopRequested = true;
    // The zip being extracted stops at the library's next callback.
    if (worker_)
        host_.zipEngine().CancelFlag = true;
    BatchThreadStopButton->setEnabled(false);
}

void TBatchPage::BatchUnzipTimerTimer()
{
    QTimer* timer = host_.BatchTimer();
    timer->stop();
    if (!scan_ && !worker_)
        return;
    const TBatchState& b = state_.BatchState;
    if (!b.Running) {
        if (scan_)
            finishScan();
        else
            finishRun();
        return;
    }
    if (scan_)
        ScanFolderToBatchListView();
    else
        UnzipInfoToBatchInfo();
    timer->start();
}

void TBatchPage::StopThreads()
{
    state_.BatchState.StopRequested = true;
    if (worker_)
        host_.zipEngine().CancelFlag = true;
    if (runUser_)
        runUser_->Abandon();
    if (scan_) {
        scan_->wait();
        scan_.reset();
    }
    if (worker_) {
        worker_->wait();
        worker_.reset();
        giveEngineBack();
    }
    busy_.reset();
}
