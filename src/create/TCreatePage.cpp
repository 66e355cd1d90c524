#include "create/TCreatePage.h"

#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QAction>
#include <QFrame>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

using namespace Controls;

TCreatePage::TCreatePage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent)
    : QWidget(parent), host_(host), settings_(settings), state_(state)
{
    setObjectName(QStringLiteral("CreatePage"));

    Step1Panel = Panel(this, "ZipStep1Panel", 4, 4, 578, 58);
    Label(Step1Panel, nullptr, QStringLiteral("Step 1...."), 6, 3);
    OpenFilesZipButton = Button(Step1Panel, "OpenFilesZipButton", QStringLiteral("ADD FILES"), 6, 24, 90, 28);
    OpenFolderzipButton = Button(Step1Panel, "OpenFolderzipButton", QStringLiteral("ADD FOLDER"), 100, 24, 96, 28);
    ZipUndoButton = Button(Step1Panel, "ZipUndoButton", QStringLiteral("UNDO"), 200, 24, 70, 28);
    ZipResetButton = Button(Step1Panel, "ZipResetButton", QStringLiteral("RESET"), 274, 24, 70, 28);
    ZipPropertiesButton = Button(Step1Panel, "ZipPropertiesButton", QStringLiteral("Properties"), 348, 24, 84, 28);

    Step2Panel = Panel(this, "ZipStep2Panel", 4, 66, 300, 58);
    Label(Step2Panel, nullptr, QStringLiteral("Step 2...."), 6, 3);
    ZipButton = Button(Step2Panel, "ZipButton", QStringLiteral("ZIP"), 6, 24, 110, 28);
    ZipHelpButton = Button(this, "ZipHelpButton", QStringLiteral("HELP"), 420, 90, 75, 28);
    ZipExitButton = Button(this, "ZipExitButton", QStringLiteral("EXIT"), 504, 90, 75, 28);

    ZipListView = ReportView(this, "ZipListView",
                             {QStringLiteral("File "), QStringLiteral("Size"), QStringLiteral("Date"),
                              QStringLiteral("Path"), QStringLiteral("Source")},
                             {150, 120, 128, 200, 600}, &ZipListModel);
    ZipListView->setGeometry(4, 128, 570, 187);

    ZipTotalsPanel = Panel(this, "ZipTotalsPanel", 4, 319, 570, 36);
    Label(ZipTotalsPanel, nullptr, QStringLiteral("Number of files : "), 6, 9);
    NumfilesEdit = ReadOnlyEdit(ZipTotalsPanel, "NumfilesEdit", QStringLiteral("0"), 112, 7, 70);
    Label(ZipTotalsPanel, nullptr, QStringLiteral("Total File Size :"), 190, 9);
    TotalFileSizeEdit = ReadOnlyEdit(ZipTotalsPanel, "TotalFileSizeEdit", QStringLiteral("0"), 290, 7, 110);
    ZipStatusBar = StatusBar(ZipTotalsPanel, "ZipStatusBar", 406, 7, 158);
    ZipProgressBar = ProgressBar(this, "ZipProgressBar", 4, 359, 570);

    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName(QStringLiteral("PopupMenu"));
    SelectAll2 = PopupMenu->addAction(QStringLiteral("Select All"));
    SelectAll2->setObjectName(QStringLiteral("SelectAll2"));
    Delete2 = PopupMenu->addAction(QStringLiteral("Remove"));
    Delete2->setObjectName(QStringLiteral("Delete2"));
    Delete2->setEnabled(false);
    // The Delete key removes the highlighted rows, as "Remove" does.
    Delete2->setShortcut(QKeySequence::Delete);
    ZipListView->installEventFilter(this);
    ZipListView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ZipListView, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { PopupMenu->popup(ZipListView->viewport()->mapToGlobal(p)); });

    // An empty list has nothing to write, undo or reset.
    ZipButton->setEnabled(false);
    ZipUndoButton->setEnabled(false);
    ZipResetButton->setEnabled(false);

    connect(OpenFilesZipButton, &QPushButton::clicked, this, &TCreatePage::OpenFilesZipButtonClick);
    connect(OpenFolderzipButton, &QPushButton::clicked, this, &TCreatePage::OpenFolderzipButtonClick);
    connect(ZipUndoButton, &QPushButton::clicked, this, &TCreatePage::ZipUndoButtonClick);
    connect(ZipResetButton, &QPushButton::clicked, this, &TCreatePage::ZipResetButtonClick);
    connect(ZipPropertiesButton, &QPushButton::clicked, this, &TCreatePage::ZipPropertiesButtonClick);
    connect(ZipButton, &QPushButton::clicked, this, &TCreatePage::ZipButtonClick);
    connect(SelectAll2, &QAction::triggered, this, &TCreatePage::SelectAll2Click);
    connect(Delete2, &QAction::triggered, this, &TCreatePage::Delete2Click);
    connect(ZipListView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TCreatePage::ZipListViewSelectItem);
}

bool TCreatePage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ZipListView && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Delete)) {
        if (Delete2->isEnabled())
            Delete2->trigger();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

QList<TBusyControl> TCreatePage::BusyControls() const
{
    return {{ZipExitButton, false}, {OpenFilesZipButton, false}, {OpenFolderzipButton, false}, {ZipButton, true},
            {ZipUndoButton, true},  {ZipResetButton, true},      {ZipHelpButton, false},       {ZipListView, false},
            {SelectAll2, false},    {Delete2, true}};
}

void TCreatePage::FormResize(int W, int H)
{
    Controls::PlaceAt(ZipTotalsPanel, H - 140, W - 51);
    Controls::PlaceAt(ZipProgressBar, H - 100, W - 51);
    ZipListView->resize(W - 51, H - 272);
}

int TCreatePage::RowCount() const
{
    return ZipListModel->rowCount();
}

void TCreatePage::ClearList()
{
    ZipListModel->removeRows(0, ZipListModel->rowCount());
    ZipListTotal = 0;
    NumfilesEdit->setText(QStringLiteral("0"));
    TotalFileSizeEdit->setText(QStringLiteral("0"));
    DisposeUndoHistory();
    Delete2->setEnabled(false);
    settings_.AddOptionsEditable = true;
}
