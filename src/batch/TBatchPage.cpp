#include "batch/TBatchPage.h"

#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QCheckBox>
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
}

int TBatchPage::RowCount() const
{
    return BatchListModel->rowCount();
}
