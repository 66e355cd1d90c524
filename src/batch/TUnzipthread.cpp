#include "batch/TUnzipthread.h"

#include "archive/ArchiveKind.h"
#include "archive/ZipArchive.h"
#include "batch/BatchRules.h"
#include "settings/AppState.h"
#include "zipengine/TZipEngine.h"

#include <QDir>
#include <QMetaObject>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

// ---------------------------------------------------------------- the engine's user

template <class Job>
bool TBatchZipUser::onWindowThread(Job job)
{
    if (abandoned_ || !gui_)
        return false;
    // The answer is handed back under a standard mutex: what the window's
    // thread wrote is then visibly ordered before the worker reads it (Qt's
    // own semaphore would order it as well, but out of sight of the thread
    // sanitizer).
    struct Handoff {
        std::mutex lock;
        std::condition_variable answered;
        bool done = false;
    };
    auto handoff = std::make_shared<Handoff>();
    QMetaObject::invokeMethod(
        gui_, [job, handoff]() mutable {
            job();
            {
                std::lock_guard<std::mutex> g(handoff->lock);
                handoff->done = true;
            }
            handoff->answered.notify_all();
        },
        Qt::QueuedConnection);
    // The window may stop waiting for the worker (it is closing): then no
    // answer comes and the question counts as cancelled.
    std::unique_lock<std::mutex> g(handoff->lock);
    while (!handoff->answered.wait_for(g, std::chrono::milliseconds(50), [&] { return handoff->done; }))
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
        QString reason;
        const bool failed = !extractOne(item, reason);
        // STOP cut this zip short: it stays in the list as it was, neither
        // done nor failed, and is not moved.
        if (failed && state_.StopRequested)
            break;
        (failed ? errorList_ : doneList_) << item.ZipPath;
        if (failed)
            reasons_.insert(item.ZipPath, reason);
        if (!moveFolder_.isEmpty())
            moveOne(item, failed);
        ++i;
        if (i != count && !state_.StopRequested)
            state_.Counter = i;
        if (state_.StopRequested)
            break;
    }
    state_.ProgressTarget = UnzipProgress;
    state_.Running = false;
}

bool TUnzipthread::extractOne(const TBatchWorkItem& item, QString& reason)
{
    const QString base = unzipFolder_.isEmpty() ? BatchRules::FolderOf(item.ZipPath) : unzipFolder_;
    const QString folder = BatchRules::UniqueExtractFolder(base, item.FolderName);
    const bool made = QDir().mkpath(folder);
    state_.Listed = 0;
    state_.BytesDone = 0;
    state_.ZipUnzippedSize = item.UnzippedSize;
    state_.ProgressTarget = BatchFileProgress;
    if (!made) {
        // No folder to extract into: the archive counts as failed without being read.
        reason = QStringLiteral("THE FOLDER ") + QDir::toNativeSeparators(folder) + QStringLiteral(" COULD NOT BE CREATED");
        return false;
    }
    // Every entry, into the fresh folder, nothing replaced.
    ExtractRequest request;
    request.destination = folder;
    request.folderNames = true;
    request.replace = ReplacePolicy::Never;
    request.counted = [this](int entries) { state_.Listed = entries; };
    const bool extracted = archivekind::fromName(item.ZipPath) == ArchiveKind::Zip ? extractZip(item, request, reason)
                                                                                   : extractOther(item, request, reason);
    if (!extracted)
        QDir().rmdir(folder);  // a folder made for this archive and left empty goes again
    return extracted;
}

bool TUnzipthread::extractZip(const TBatchWorkItem& item, const ExtractRequest& request, QString& reason)
{
    // The engine's first error text tells why a zip failed (the window does
    // not show engine messages during a run).
    QString firstError;
    const auto windowHandler = engine_.OnMessage;
    engine_.OnMessage = [&firstError, windowHandler](TZipEngine& e, int32_t code, const QString& text) {
        if (code != 0 && firstError.isEmpty())
            firstError = text;
        if (windowHandler)
            windowHandler(e, code, text);
    };
    struct Restore {
        TZipEngine& engine;
        decltype(TZipEngine::OnMessage) handler;
        ~Restore() { engine.OnMessage = handler; }
    } restore{engine_, windowHandler};
    engine_.ErrCode = 0;
    engine_.LastMessage.clear();
    bool fatal = false;
    int code = 0;
    try {
        // Through the worker's engine and its event handlers, which read the
        // zip's directory once.
        ZipArchive zip(item.ZipPath, engine_);
        const ExtractResult result = zip.extract(request);
        if (result.code == 0 && result.error.isEmpty())
            return true;
        code = result.code;
        if (firstError.isEmpty())
            firstError = result.error;
    } catch (...) {
        // A call that raised failed, whatever the error code says.
        ++fatalErrors_;
        fatal = true;
    }
    // The engine's own errors (a zip it could not open) come without a code.
    if (firstError.isEmpty() && code != 0)
        firstError = engine_.LastMessage;
    reason = !firstError.isEmpty() ? firstError
             : fatal               ? QStringLiteral("FATAL DLL ERROR")
                                   : QStringLiteral("ERROR CODE ") + QString::number(code);
    return false;
}

bool TUnzipthread::extractOther(const TBatchWorkItem& item, ExtractRequest request, QString& reason)
{
    const std::unique_ptr<Archive> archive = openArchive(item.ZipPath);
    if (!archive) {
        reason = QStringLiteral("NOT AN ARCHIVE THIS PROGRAM READS");
        return false;
    }
    const QString mismatch = archivekind::contentMismatch(item.ZipPath, archive->kind());
    if (!mismatch.isEmpty()) {
        reason = mismatch;
        return false;
    }
    // Progress as the archive is read; the page's timer shows it.
    request.progress = [this](int, qint64 bytes) {
        state_.BytesDone = bytes;
        return true;
    };
    QStringList notes;
    request.note = [&notes](const QString& text) { notes << text; };
    const ExtractResult result = archive->extract(request);
    if (result.error.isEmpty() && result.failed == 0 && !result.stopped)
        return true;
    reason = !result.error.isEmpty() ? result.error : notes.value(0, QStringLiteral("ERROR"));
    return false;
}

void TUnzipthread::moveOne(const TBatchWorkItem& item, bool failed)
{
    if (BatchRules::KeepInPlace(item.ZipPath))
        return;
    const QString target = BatchRules::MoveTarget(moveFolder_, item.ZipPath, failed, state_.RecreateFolders);
    if (BatchRules::MoveZip(item.ZipPath, target) != BatchRules::MoveResult::Moved)
        notMoved_ << item.ZipPath;
}
