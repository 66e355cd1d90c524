// The batch run: preparing it (destination, room, moving), starting the
// worker, showing its position on the timer's ticks, and its end.

#include "batch/BatchRules.h"
#include "batch/TBatchDestinationForm.h"
#include "batch/TBatchPage.h"
#include "batch/TUnzipthread.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/ZipListing.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

void TBatchPage::BatchUnzipButtonClick()
{
    if (RowCount() == 0)
        return;
    if (prepareRun())
        startRun();
}

bool TBatchPage::prepareRun()
{
    Prompter& prompter = host_.prompter();
    TBatchState& b = state_.BatchState;
    // 1: a run never replaces a file.
    b.OverwriteAll = false;
    b.YesToAll = false;
    b.NoToAll = true;

    // 2
    {
        TBatchDestinationForm form(this);
        const int result = prompter.runDialog(form);
        if (result == TBatchDestinationForm::SameFolder) {
            unzipFolder_.clear();
        } else if (result == TBatchDestinationForm::ChooseFolder) {
            const QString folder = host_.BrowseforFolder(QStringLiteral("DOUBLE CLICK TO Select Folder"), true, true);
            if (folder.isEmpty())
                return false;
            unzipFolder_ = folder;
        } else {
            return false;  // closed without a choice
        }
    }

    const bool moving = MoveZipFileCheckBox->isChecked();
    const qint64 zipSize = RemoveCommas(ZipSizeEdit->text());
    const qint64 unzipped = RemoveCommas(BatchTotalSizeEdit->text());
    // 3: the figures are advisory; an unknown free space (-1) refuses nothing.
    if (!unzipFolder_.isEmpty()) {
        const qint64 free = Platform::FreeOnDisk(unzipFolder_);
        const bool otherDrive = moving && !Platform::SameFileSystem(MoveFolderEdit->text(), unzipFolder_);
        const bool skip = free < 0 || (otherDrive && free > unzipped - zipSize);
        if (!skip) {
            if (free <= unzipped) {
                prompter.information(QStringLiteral(
                    "THERE IS NOT ENOUGH ROOM ON THE SLECTED DISK DRIVE FOR THE UNZIPPED FILES.\r\r"
                    "SELECT A NEW FOLDER ON A DRIVE WITH MORE FREE SPACE"));
                return false;
            }
            if (Platform::IsOnSystemFileSystem(unzipFolder_) && free < 50000000) {
                const QString text =
                    QStringLiteral("YOU ARE ATTEMPTING TO EXTRACT THE ZIP FILES TO DRIVE \"C\"\rON A TYPICAL COMPUTER "
                                   "THIS WOULD BE THE DISK DRIVE ON WHICH\rWINDOWS IS INSTALLED.  THIS DRIVE HAS LESS "
                                   "THAN 50 MEGABYTES\rOF FREE SPACE REMAINING.  WINDOWS CAN BECOME UNSTABLE WHEN\rTHE "
                                   "WINDOWS DRIVE HAS LITTLE SPACE REMAINING.  THIS DRIVE HAS\r") +
                    QString::number(free / 1000000) +
                    QStringLiteral(" MEGABYTES OF FREE SPACE REMAINING\r\rTO EXTRACT THE ZIP FILE TO THIS DRIVE CHOOSE "
                                   "\"YES\"\rCHOOSE CANCEL TO SELECT A DIFFERENT DRIVE\r\rEXTRACT THE ZIP FILE TO THE "
                                   "\"C\" DRIVE?");
                if (prompter.message(PromptKind::Warning, text, PromptButtons::YesCancel) != PromptButton::Yes)
                    return false;
            }
        }
    }

    // 4
    if (moving) {
        const qint64 free = Platform::FreeOnDisk(MoveFolderEdit->text());
        if (free >= 0 && free < zipSize) {
            prompter.information(QStringLiteral(
                "THERE IS NOT ENOUGH ROOM TO MOVE THE ZIP FILES TO THE DRIVE YOU HAVE CHOSEN.YOU MUST EITHER UNCHECK THE "
                "MOVE ZIP FILE CHECKBOX OR CHOOSE ANOTHER DRIVE WITH MORE FREE SPACE."));
            moveFolder_.clear();
            MoveFolderEdit->clear();
            MoveZipFileCheckBox->setChecked(false);
            return false;
        }
        moveFolder_ = MoveFolderEdit->text();
        TMoveOptionsForm form(this);
        if (prompter.runDialog(form) == TMoveOptionsForm::CancelResult)
            return false;
        b.RecreateFolders = form.RecreateChosen();
    } else {
        moveFolder_.clear();
    }

    // 5
    state_.WorkList.clear();
    state_.InfoList.clear();
    state_.DoneList.clear();
    state_.ErrorList.clear();
    // The worker gets each zip with its extraction folder's name, taken from
    // the row's "File " text.
    runItems_.clear();
    int32_t runningSize = 0;
    const QItemSelectionModel* sel = BatchListView->selectionModel();
    for (int r = 0; r < RowCount(); ++r) {
        if (!sel->isRowSelected(r, QModelIndex()))
            continue;
        const qint64 unzippedSize = RemoveCommas(BatchListModel->item(r, 2)->text());
        state_.WorkList << RowZipPath(r) + QLatin1Char('*') + QString::number(unzippedSize);
        runningSize = ZipListing::AddToTotal(
            runningSize, uint64_t(qMax<int64_t>(0, RemoveCommas(BatchListModel->item(r, 1)->text()))));
        state_.InfoList << QString::number(runningSize);
        runItems_.append({RowZipPath(r), BatchRules::ExtractFolderName(BatchListModel->item(r, 0)->text()), unzippedSize});
    }

    // 6
    if (state_.WorkList.isEmpty()) {
        prompter.information(QStringLiteral(
            "YOU MUST HIGHLIGHT AT LEAST ONE ZIP FILE TO SELECT IT. Highlighted Zipfiles will be unzipped.   Press "
            "SELECT ALL to highlight all the zip files or click on the Zipfiles you want to batch unzip (while holding "
            "down the CTRL or SHIFT keys to make multiple selections)."));
        return false;
    }
    return true;
}

void TBatchPage::startRun()
{
    TBatchState& b = state_.BatchState;
    host_.DisableAll();
    busy_ = std::make_unique<Platform::BusyCursor>();
    b.StopRequested = false;
    b.ScanMode = false;
    BatchProgressBar->setRange(0, int(runItems_.size()));

    // The worker drives the engine alone: its messages are kept off the
    // screen and its questions go through the window's thread.
    TZipEngine& engine = host_.zipEngine();
    windowUser_ = engine.User();
    windowExtrOptions_ = engine.ExtrOptions;
    runUser_ = std::make_unique<TBatchZipUser>(windowUser_, this);
    engine.SetUser(runUser_.get());
    fatalShown_ = 0;

    b.Running = true;
    worker_ = std::make_unique<TUnzipthread>(engine, b, std::move(runItems_), unzipFolder_, moveFolder_, state_.DoneList,
                                             state_.ErrorList);
    worker_->start();
    BatchThreadStopButton->setEnabled(true);
    startPolling(100);
}

void TBatchPage::giveEngineBack()
{
    TZipEngine& engine = host_.zipEngine();
    engine.SetUser(windowUser_);
    engine.ExtrOptions = windowExtrOptions_;
    // A STOP that came after the last zip ended must not cancel the next operation.
    engine.CancelFlag = false;
    runUser_.reset();
}

void TBatchPage::UnzipInfoToBatchInfo()
{
    const TBatchState& b = state_.BatchState;
    const int i = b.Counter;
    BatchProgressBar->setValue(i);
    if (i >= 0 && i < state_.WorkList.size()) {
        const QString& line = state_.WorkList[i];
        const qsizetype star = line.lastIndexOf(QLatin1Char('*'));
        BatchPathStatusBar->showMessage(line.left(star));
        BatchFileSizeEdit->setText(AddCommas(line.mid(star + 1).toLongLong()));
    }
    BatchCompleteEdit->setText(AddCommas(i + 1));
    BatchFileNumEdit->setText(AddCommas(b.Listed));
    // Archives read through the archive layer report their bytes here (the
    // engine's progress events move the bar for zips as they come).
    const int64_t total = b.ZipUnzippedSize;
    if (b.ProgressTarget == BatchFileProgress && total > 0)
        BatchFileProgressBar->setValue(int(qMin<int64_t>(b.BytesDone, total) * 100 / total));
    if (i >= 0 && i < state_.InfoList.size())
        BatchTotalDoneEdit->setText(AddCommas(state_.InfoList[i].toLongLong()));
    reportFatalErrors();
}

void TBatchPage::reportFatalErrors()
{
    // Failures the engine call raised on the worker are shown on the window's thread.
    for (; worker_ && fatalShown_ < worker_->FatalErrors(); ++fatalShown_)
        host_.prompter().information(QStringLiteral("FATAL DLL ERROR"));
}

void TBatchPage::DeleteDunListItem()
{
    for (int r : rowsOf(state_.DoneList))
        BatchListModel->removeRow(r);
}

void TBatchPage::ChangeErrorIconItem(const QHash<QString, QString>& reasons)
{
    const QList<QIcon>& icons = state_.BatchImageList.Images;
    for (const QString& path : state_.ErrorList) {
        const QList<int> rows = rowsOf({path});
        for (int r : rows) {
            QStandardItem* item = BatchListModel->item(r, 0);
            item->setData(int(FailedIcon), ImageIndexRole);
            if (icons.size() > FailedIcon)
                item->setIcon(icons[FailedIcon]);
            const QString reason = reasons.value(path);
            for (int c = 0; c < BatchListModel->columnCount(); ++c)
                BatchListModel->item(r, c)->setToolTip(reason);
        }
    }
}

void TBatchPage::finishRun()
{
    // 1
    BatchThreadStopButton->setEnabled(false);
    QCoreApplication::processEvents();
    worker_->wait();
    reportFatalErrors();
    const QHash<QString, QString> reasons = worker_->FailureReasons();
    const QStringList notMoved = worker_->NotMoved();
    const qsizetype failedCount = state_.ErrorList.size();
    const qsizetype doneCount = state_.DoneList.size();
    worker_.reset();
    giveEngineBack();
    host_.EnableAll();
    // 2
    BatchProgressBar->setValue(0);
    BatchFileProgressBar->setValue(0);
    for (QLineEdit* e : {BatchFileNumEdit, BatchFileSizeEdit, BatchCompleteEdit, BatchTotalDoneEdit})
        e->setText(QStringLiteral("0"));
    BatchListView->setEnabled(true);
    // 3
    DeleteDunListItem();
    ChangeErrorIconItem(reasons);
    state_.DoneList.clear();
    state_.ErrorList.clear();
    BatchListViewSelectItem();
    // 4
    BatchListView->show();
    if (RowCount() > 0)
        BatchListView->setFocus();
    // 5
    // Failed zips are counted first; the rest of the report is about the others.
    QString text = QStringLiteral("THE BATCH UNZIP PROCESS IS COMPLETE.\r\r");
    if (failedCount > 0)
        text += QString::number(failedCount) + QStringLiteral(" OF THE ") + QString::number(failedCount + doneCount) +
                QStringLiteral(" ZIP FILES COULD NOT BE UNZIPPED.  THEIR ROWS ARE MARKED WITH A RED CROSS; POINT AT A "
                               "ROW TO SEE WHY.\r\r");
    if (doneCount > 0) {
        text += failedCount > 0 ? QStringLiteral("THE OTHER ZIP FILES HAVE BEEN UNZIPPED ")
                                : QStringLiteral("THE ZIP FILES HAVE BEEN UNZIPPED ");
        if (!unzipFolder_.isEmpty())
            text += QStringLiteral("INTO THE FOLDER ") + unzipFolder_ + QStringLiteral(". ") + QStringLiteral("\r\r");
        else
            text += QStringLiteral("INTO THE SAME FOLDER IN WHICH THE ZIP FILE WAS LOCATED. \r\r");
    }
    // Only unzipped zips are moved: a run stopped before any zip ended moved none.
    const bool moved = !moveFolder_.isEmpty() && doneCount > 0;
    if (moved)
        text += QStringLiteral("THE ZIP FILES WERE MOVED TO THE FOLDER ") + moveFolder_ + QStringLiteral(". ") +
                QStringLiteral("\r\r");
    else
        text += QStringLiteral("THE ZIP FILES WERE NOT MOVED. \r\r");
    if (moved)
        text += QStringLiteral("THE DIRECTORY STRUCTURE WHERE THE ZIP FILES WERE FOUND ") +
                (state_.BatchState.RecreateFolders ? QStringLiteral("WAS RECREATED.") : QStringLiteral("WAS NOT RECREATED."));
    // A zip that could not be moved is never reported as moved.
    if (!notMoved.isEmpty())
        text += QStringLiteral("\r\rTHESE ZIP FILES COULD NOT BE MOVED AND ARE STILL WHERE THEY WERE:\r") +
                notMoved.join(QLatin1Char('\r'));
    host_.prompter().information(text);
    // 6
    endThreadRun();
}
