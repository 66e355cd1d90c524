#include "batch/TUnzipthread.h"

#include "batch/BatchRules.h"
#include "settings/AppState.h"
#include "zipengine/TZipEngine.h"

#include <QDir>
#include <QMetaObject>
#include <QSemaphore>
#include <memory>

// ---------------------------------------------------------------- the engine's user

template <class Job>
bool TBatchZipUser::onWindowThread(Job job)
{
    if (abandoned_ || !gui_)
        return false;
    auto done = std::make_shared<QSemaphore>(0);
    QMetaObject::invokeMethod(
        gui_, [job, done]() mutable {
            job();
            done->release();
        },
        Qt::QueuedConnection);
    // The window may stop waiting for the worker (it is closing): then no
    // answer comes and the question counts as cancelled.
    while (!done->tryAcquire(1, 50))
        if (abandoned_)
            return false;
    return true;
}

PromptButton TBatchZipUser::Ask(const QString& text, PromptButtonSet buttons)
{
    if (!window_)
        return PromptButton::Cancel;
    auto answer = std::make_shared<PromptButton>(PromptButton::Cancel);
    TZipEngineUser* window = window_;
    if (!onWindowThread([window, text, buttons, answer] { *answer = window->Ask(text, buttons); }))
        return PromptButton::Cancel;
    return *answer;
}

int TBatchZipUser::AskPassword(const QString& title, const QString& prompt, int buttons, QString& entry)
{
    constexpr int cancel = 2;
    if (!window_)
        return cancel;
    struct Reply {
        int result = cancel;
        QString entry;
    };
    auto reply = std::make_shared<Reply>();
    reply->entry = entry;
    TZipEngineUser* window = window_;
    if (!onWindowThread([window, title, prompt, buttons, reply] {
            reply->result = window->AskPassword(title, prompt, buttons, reply->entry);
        }))
        return cancel;
    entry = reply->entry;
    return reply->result;
}

// ---------------------------------------------------------------- the worker

TUnzipthread::TUnzipthread(TZipEngine& engine, TBatchState& state, QList<TBatchWorkItem> items, QString unzipFolder,
                           QString moveFolder, QStringList& doneList, QStringList& errorList, QObject* parent)
    : QThread(parent), engine_(engine), state_(state), items_(std::move(items)), unzipFolder_(std::move(unzipFolder)),
      moveFolder_(std::move(moveFolder)), doneList_(doneList), errorList_(errorList)
{
}

void TUnzipthread::run()
{
    // Stored folder names are recreated; nothing is overwritten, freshened,
    // updated or tested.
    engine_.ExtrOptions = TZipEngine::ExtrDirNames;
    state_.Counter = 0;
    engine_.FSpecArgsExcl.clear();

    const int count = int(items_.size());
    for (int i = 0; i < count;) {
        const TBatchWorkItem& item = items_[i];
        const bool failed = !extractOne(item);
        (failed ? errorList_ : doneList_) << item.ZipPath;
        if (!moveFolder_.isEmpty())
            moveOne(item, failed);
        ++i;
        if (i != count && !state_.StopRequested)
            state_.Counter = i;
        if (state_.StopRequested)
            break;
    }
    state_.ProgressTarget = 0;
    state_.Running = false;
}

bool TUnzipthread::extractOne(const TBatchWorkItem& item)
{
    const QString base = unzipFolder_.isEmpty() ? BatchRules::FolderOf(item.ZipPath) : unzipFolder_;
    const QString folder = BatchRules::UniqueExtractFolder(base, item.FolderName);
    const bool made = QDir().mkpath(folder);
    engine_.ExtrBaseDir = folder;

    engine_.SetZipFileName(item.ZipPath);
    state_.Listed = engine_.Count;
    engine_.FSpecArgs = QStringList{QStringLiteral("*.*")};
    state_.BytesDone = 0;
    state_.ZipUnzippedSize = item.UnzippedSize;
    state_.ProgressTarget = 2;
    engine_.ErrCode = 0;
    if (!made) {
        // No folder to extract into: the zip counts as failed without an engine call.
        engine_.FSpecArgs.clear();
        return false;
    }
    try {
        engine_.Extract();
    } catch (...) {
        ++fatalErrors_;
    }
    return engine_.ErrCode == 0;
}

void TUnzipthread::moveOne(const TBatchWorkItem& item, bool failed)
{
    if (BatchRules::KeepInPlace(item.ZipPath))
        return;
    const QString target = BatchRules::MoveTarget(moveFolder_, item.ZipPath, failed, state_.RecreateFolders);
    BatchRules::MoveZip(item.ZipPath, target);
}
