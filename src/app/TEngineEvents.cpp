#include "app/TEngineEvents.h"

#include "platform/Prompter.h"
#include "settings/Settings.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/ZipFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QThread>

TEngineEvents::TEngineEvents(TZipEngine& engine, Prompter& prompter, Settings& settings, TAppState& state)
    : engine_(engine), prompter_(prompter), settings_(settings), state_(state)
{
}

void TEngineEvents::Install()
{
    engine_.OnExtractOverwrite = [this](TZipEngine&, const QString& forFile, bool isOlder, bool& doOverwrite, int32_t) {
        ZipEngineExtractOverwrite(forFile, isOlder, doOverwrite);
    };
    engine_.OnProgress = [this](TZipEngine&, TZipEngine::ProgressType type, const QString& fileName, int32_t fileSize) {
        ZipEngineProgress(type, fileName, fileSize);
    };
    engine_.OnMessage = [this](TZipEngine&, int32_t errCode, const QString& text) { ZipEngineMessage(errCode, text); };
}

void TEngineEvents::SetProgressBar(TProgressTarget target, QProgressBar* bar)
{
    bars_[target] = bar;
}

bool TEngineEvents::BatchRunInProgress() const
{
    return state_.BatchState.Running && !state_.BatchState.ScanMode;
}

void TEngineEvents::ZipEngineExtractOverwrite(const QString& forFile, bool isOlder, bool& doOverwrite)
{
    TBatchState& b = state_.BatchState;
    if (BatchRunInProgress() || b.NoToAll) {
        doOverwrite = false;
        return;
    }
    if (b.YesToAll || b.OverwriteAll) {
        doOverwrite = true;
        return;
    }
    if (engine_.ExtrOptions & TZipEngine::ExtrOverWrite)
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

bool TEngineEvents::ArchiveCopyIsOlder(const QString& diskFile) const
{
    const QFileInfo disk(diskFile);
    const QString base = QDir::cleanPath(engine_.ExtrBaseDir);
    for (const ZipDirEntry& e : engine_.Entries) {
        QString stored = e.FileName;
        stored.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (QDir::cleanPath(base + QLatin1Char('/') + stored) != QDir::cleanPath(diskFile))
            continue;
        const QDateTime entryTime = DosDateTimeToQDateTime(e.DateTime);
        return entryTime.isValid() && entryTime.toSecsSinceEpoch() < disk.lastModified().toSecsSinceEpoch();
    }
    return false;
}

void TEngineEvents::ZipEngineProgress(int type, const QString& fileName, int32_t fileSize)
{
    Q_UNUSED(fileName);
    TBatchState& b = state_.BatchState;
    const int64_t total = b.ZipUnzippedSize;
    const int32_t target = b.ProgressTarget;
    if (total == 0 || type != TZipEngine::ProgressBytes || target < 0 || target >= ProgressTargetCount ||
        target == NoProgress || (target == CreateProgress && settings_.RelativePaths))
        return;
    const int64_t done = (b.BytesDone += fileSize);
    QProgressBar* bar = bars_[target];
    if (!bar)
        return;
    const int value = int(done * 100 / total);
    if (QThread::currentThread() == bar->thread())
        bar->setValue(value);
    else
        QMetaObject::invokeMethod(bar, [bar, value] { bar->setValue(value); }, Qt::QueuedConnection);
}

void TEngineEvents::ZipEngineMessage(int32_t errCode, const QString& text)
{
    if (errCode == 0 || BatchRunInProgress())
        return;
    prompter_.information(QStringLiteral("ERROR : ") + text);
}
