#include "unzip/TUnzipPage.h"

#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "viewers/ImageLoader.h"
#include "viewers/TImageBrowse.h"

#include <QAction>
#include <QActionGroup>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

using namespace Controls;

TUnzipPage::TUnzipPage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent)
    : QWidget(parent), host_(host), settings_(settings), state_(state)
{
    setObjectName(QStringLiteral("UnzipPage"));

    Step1Panel = Panel(this, "UnzipStep1Panel", 4, 4, 578, 58);
    Label(Step1Panel, nullptr, QStringLiteral("Step 1...."), 6, 3);
    OpenUnzipButton = Button(Step1Panel, "OpenUnzipButton", QStringLiteral("OPEN"), 6, 24, 70, 28);
    OpenUnzipButton->setDefault(true);
    UnzipPropertiesButton = Button(Step1Panel, "UnzipPropertiesButton", QStringLiteral("Properties"), 80, 24, 80, 28);
    SelectAllButton = Button(Step1Panel, "SelectAllButton", QStringLiteral("Select All"), 164, 24, 76, 28);
    UnSelectAllButton = Button(Step1Panel, "UnSelectAllButton", QStringLiteral("UnSelect All"), 244, 24, 90, 28);
    SelectButton = Button(Step1Panel, "SelectButton", QStringLiteral("Filter"), 338, 24, 64, 28);
    UnzipResetButton = Button(Step1Panel, "UnzipResetButton", QStringLiteral("RESET"), 406, 24, 70, 28);
    TreeButton = Button(Step1Panel, "TreeButton", QStringLiteral("TREE"), 480, 24, 70, 28);
    TreeButton->setToolTip(QStringLiteral("TREE"));

    Step2Panel = Panel(this, "UnzipStep2Panel", 4, 66, 300, 58);
    Label(Step2Panel, nullptr, QStringLiteral("Step 2...."), 6, 3);
    UnzipButton = Button(Step2Panel, "UnzipButton", QStringLiteral("UNZIP"), 6, 24, 110, 28);
    UnzipHelpButton = Button(this, "UnzipHelpButton", QStringLiteral("HELP"), 420, 90, 75, 28);
    UnzipCloseButton = Button(this, "UnzipCloseButton", QStringLiteral("EXIT"), 504, 90, 75, 28);

    const QStringList cols{QStringLiteral("File "), QStringLiteral("Size"), QStringLiteral("Date"), QStringLiteral("Path")};
    const QList<int> widths{150, 120, 128, 600};
    UnzipListView = ReportView(this, "UnzipListView", cols, widths, &UnzipListModel);
    UnzipListView->setGeometry(4, 128, 570, 187);
    UnzipFilteredListView = ReportView(this, "UnzipFilteredListView", cols, widths, &UnzipFilteredListModel);
    UnzipFilteredListView->setGeometry(4, 128, 570, 187);
    UnzipFilteredListView->hide();
    ShowGridLines(UnzipListView);
    ShowGridLines(UnzipFilteredListView);
    UnzipFilteredListView->setEnabled(false);

    Panel6 = Panel(this, "Panel6", 4, 319, 570, 36);
    Label(Panel6, nullptr, QStringLiteral("Number of files : "), 6, 9);
    UnzipNumFilesEdit = ReadOnlyEdit(Panel6, "UnzipNumFilesEdit", QStringLiteral("0"), 112, 7, 70);
    Label(Panel6, nullptr, QStringLiteral("Total File Size :"), 190, 9);
    UnzipTotalFileSizeEdit = ReadOnlyEdit(Panel6, "UnzipTotalFileSizeEdit", QStringLiteral("0"), 290, 7, 110);
    UnzipStatusBar = StatusBar(Panel6, "UnzipStatusBar", 406, 7, 158);
    UnzipProgressBar = ProgressBar(this, "UnzipProgressBar", 4, 359, 570);

    UnzipPopupMenu = new QMenu(this);
    UnzipPopupMenu->setObjectName(QStringLiteral("UnzipPopupMenu"));
    const auto item = &Controls::MenuItem;
    Open1 = item(UnzipPopupMenu, "Open1", QStringLiteral("Open"));
    NotePad1 = item(UnzipPopupMenu, "NotePad1", QStringLiteral("Note Pad"));
    WordPad1 = item(UnzipPopupMenu, "WordPad1", QStringLiteral("Word Pad"));
    QuickView1 = item(UnzipPopupMenu, "QuickView1", QStringLiteral("Quick View"));
    ImageView1 = item(UnzipPopupMenu, "ImageView1", QStringLiteral("Image View"));
    UnzipPopupMenu->addSeparator();
    ImageBrowser1 = item(UnzipPopupMenu, "ImageBrowser1", QStringLiteral("Image Browser"));
    ThumbnailSizeMenu = UnzipPopupMenu->addMenu(QStringLiteral("Thumbnail Size"));
    ThumbnailSizeMenu->setObjectName(QStringLiteral("ThumbnailSize1"));
    ThumbnailSizeGroup = new QActionGroup(this);
    ThumbnailSizeGroup->setExclusive(true);
    Thumb32 = item(ThumbnailSizeMenu, "Thumb32", QStringLiteral("32 X 32"));
    Thumb64 = item(ThumbnailSizeMenu, "Thumb64", QStringLiteral("64 X 64"));
    Thumb128 = item(ThumbnailSizeMenu, "Thumb128", QStringLiteral("128 X 128"));
    Thumb192 = item(ThumbnailSizeMenu, "Thumb192", QStringLiteral("192 X 192"));
    ThumbOther = item(ThumbnailSizeMenu, "ThumbOther", QStringLiteral("Other"));
    for (QAction* a : {Thumb32, Thumb64, Thumb128, Thumb192, ThumbOther}) {
        a->setCheckable(true);
        ThumbnailSizeGroup->addAction(a);
    }
    for (QTreeView* v : {UnzipListView, UnzipFilteredListView}) {
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(v, &QWidget::customContextMenuRequested, this,
                [this, v](const QPoint& p) { UnzipPopupMenu->popup(v->viewport()->mapToGlobal(p)); });
    }

    connect(OpenUnzipButton, &QPushButton::clicked, this, &TUnzipPage::OpenUnzipButtonClick);
    connect(UnzipResetButton, &QPushButton::clicked, this, &TUnzipPage::UnzipResetButtonClick);
    connect(UnzipButton, &QPushButton::clicked, this, &TUnzipPage::UnzipButtonClick);
    connect(SelectAllButton, &QPushButton::clicked, this, &TUnzipPage::SelectAllButtonClick);
    connect(UnSelectAllButton, &QPushButton::clicked, this, &TUnzipPage::UnSelectAllButtonClick);
    connect(SelectButton, &QPushButton::clicked, this, &TUnzipPage::SelectButtonClick);
    connect(TreeButton, &QPushButton::clicked, this, &TUnzipPage::TreeButtonClick);
    for (QTreeView* v : {UnzipListView, UnzipFilteredListView})
        v->viewport()->installEventFilter(this);

    ListTar = [this](const QString& p) { UpdateTarWindow(p); };
    ListTarGz = [this](const QString& p) { UpDateTarGZipWindow(p); };
    ListGz = [this](const QString& p) { UpdateGZipWindow(p); };
    GzipHoldsTar = [this](const QString& p) { return IsaGzippedTarBall(p); };
    ExtractTar = [this](const QString& d) { UnzipTarFile(d); };
    // A gzip file listed as the tar it holds has rows that name its entries.
    ExtractGz = [this](const QString& d) {
        if (RowCount() > 0 && UnzipListModel->item(0, 0)->data(RowDataRole).isValid())
            UnzipTarFile(d);
        else
            UnzipGZFile(d);
    };
    ConnectImageCommands();
    ConnectLaunchCommands();
    ListRar = [this](const QString& p) { UpDateRARWindow(p); };
    ExtractRar = [this](const QString& d) { UnzipRarFile(d); };

    ClearUnzipListView();
}

QTreeView* TUnzipPage::VisibleListView() const
{
    return FilteredViewShowing() ? UnzipFilteredListView : UnzipListView;
}

bool TUnzipPage::FilteredViewShowing() const
{
    return !UnzipFilteredListView->isHidden();
}

int TUnzipPage::RowCount() const
{
    return UnzipListModel->rowCount();
}

int TUnzipPage::FilteredRowCount() const
{
    return UnzipFilteredListModel->rowCount();
}

void TUnzipPage::ShowFullList()
{
    UnzipFilteredListView->hide();
    UnzipFilteredListView->setEnabled(false);
    UnzipListView->show();
    UnzipListView->setEnabled(true);
}

void TUnzipPage::ClearUnzipListView()
{
    // The models own their items and the rows' attached data.
    UnzipListModel->removeRows(0, UnzipListModel->rowCount());
    UnzipFilteredListviewClear();
    UnzipListTotal = 0;
    for (QPushButton* b : {SelectAllButton, UnSelectAllButton, TreeButton, SelectButton, UnzipResetButton, UnzipButton})
        b->setEnabled(false);
    UnzipNumFilesEdit->setText(QStringLiteral("0"));
    UnzipTotalFileSizeEdit->setText(QStringLiteral("0"));
}

void TUnzipPage::SetLoadedButtonStates()
{
    UnzipResetButton->setEnabled(true);
    UnzipButton->setEnabled(true);
    SetSelectionButtons(true);
}

void TUnzipPage::SetSelectionButtons(bool on)
{
    for (QPushButton* b : {SelectAllButton, SelectButton, UnSelectAllButton})
        b->setEnabled(on);
    TreeButton->setEnabled(on && RowCount() >= 2);
}

QList<TBusyControl> TUnzipPage::BusyControls() const
{
    return {{UnzipListView, false},   {OpenUnzipButton, false}, {SelectAllButton, true},  {UnSelectAllButton, false},
            {TreeButton, false},      {SelectButton, false},    {UnzipResetButton, true}, {UnzipButton, true},
            {UnzipHelpButton, false}, {UnzipCloseButton, false}};
}

void TUnzipPage::RestoreAfterBusy(const std::function<bool(QObject*)>& wasEnabled)
{
    SetSelectionButtons(wasEnabled(SelectAllButton));
}

void TUnzipPage::FormResize(int W, int H)
{
    Controls::PlaceAt(Panel6, H - 140, W - 51);
    Controls::PlaceAt(UnzipProgressBar, H - 100, W - 51);
    UnzipListView->resize(W - 51, H - 272);
    UnzipFilteredListView->resize(UnzipListView->size());
}

void TUnzipPage::ShowTotals(bool separators)
{
    UnzipNumFilesEdit->setText(separators ? AddCommas(RowCount()) : QString::number(RowCount()));
    UnzipTotalFileSizeEdit->setText(separators ? AddCommas(UnzipListTotal) : QString::number(UnzipListTotal));
}

void TUnzipPage::SetPathHeaderImage(const QIcon& folder)
{
    UnzipListModel->horizontalHeaderItem(3)->setIcon(folder);
    UnzipFilteredListModel->horizontalHeaderItem(3)->setIcon(folder);
}

void TUnzipPage::CheckThumbnailSizeItem(int size)
{
    switch (size) {
    case 32: Thumb32->setChecked(true); break;
    case 64: Thumb64->setChecked(true); break;
    case 128: Thumb128->setChecked(true); break;
    case 192: Thumb192->setChecked(true); break;
    default: ThumbOther->setChecked(true); break;
    }
}
