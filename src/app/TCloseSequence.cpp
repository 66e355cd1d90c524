#include "app/TCloseSequence.h"

#include "app/TSettingsKeeper.h"
#include "batch/TBatchPage.h"
#include "create/TCreatePage.h"
#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "settings/AppState.h"
#include "unzip/TUnzipPage.h"
#include "zipengine/TZipEngine.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

bool TCloseSequence::MayCloseNow(const std::function<void()>& close)
{
    if (!OperationRunning || !OperationRunning())
        return true;
    close_ = close;
    if (!waiter_) {
        waiter_ = new QTimer(this);
        waiter_->setInterval(50);
        connect(waiter_, &QTimer::timeout, this, [this] {
            if (OperationRunning() || QApplication::activeModalWidget())
                return;
            waiter_->stop();
            close_();
        });
    }
    waiter_->start();
    return false;
}

void TCloseSequence::DoCloseCode()
{
    if (done_)
        return;
    done_ = true;
    Platform::BusyCursor busy;
    if (waiter_)
        waiter_->stop();
    for (QTimer* t : p_.timers)
        t->stop();
    TAppState& state = p_.state;
    // A scan or batch thread still running is ended before what it uses goes.
    p_.batch.StopThreads();
    // 1: the add-folder window's shared icon lists
    state.SmallImages.Images.clear();
    state.LargeImages.Images.clear();
    // 2
    p_.unzip.UnloadImageLibrary();
    // 3
    if (p_.freeGzip)
        p_.freeGzip();
    p_.host.zipEngine().UnloadZipLibrary();
    p_.host.zipEngine().UnloadUnzipLibrary();
    // 4
    p_.unzip.ClearUnzipListView();
    // 5
    state.IconCache.clear();
    state.ScratchFolderList.removeDuplicates();
    const QStringList scratch = state.ScratchFolderList;
    state.ClearBatchLists();
    state.SharedList.clear();
    p_.create.DisposeUndoHistory();
    // 6
    if (QFileInfo(state.TempFolder()).isDir())
        Platform::EmptyFolder(state.TempFolder());
    // 7
    for (const QString& f : scratch)
        if (QFileInfo(f).isDir())
            Platform::RemoveFolderTree(f);
    state.ScratchFolderList.clear();
    // 8
    p_.keeper.Save();
    // 9
    QDir().rmdir(state.TempFolder());
}
