#pragma once
// The zip engine's events as the window answers them: the overwrite
// question, the progress bar of the page whose operation runs, and the
// engine's messages. The batch worker raises them on its own thread: they
// then never ask or show anything, and the bar is set through a queued call.

#include "settings/AppState.h"

#include <QString>
#include <cstdint>

class Prompter;
class QProgressBar;
class TZipEngine;
struct Settings;

class TEngineEvents {
public:
    TEngineEvents(TZipEngine& engine, Prompter& prompter, Settings& settings, TAppState& state);

    // Installs the handlers on the engine.
    void Install();
    // The bar that progress for `target` drives.
    void SetProgressBar(TProgressTarget target, QProgressBar* bar);

    void ZipEngineExtractOverwrite(const QString& forFile, bool isOlder, bool& doOverwrite);
    void ZipEngineProgress(int type, const QString& fileName, int32_t fileSize);
    void ZipEngineMessage(int32_t errCode, const QString& text);
    // Whether the archive's copy of the disk file `diskFile`, which an
    // extraction is about to replace, is older than that file.
    bool ArchiveCopyIsOlder(const QString& diskFile) const;

private:
    bool BatchRunInProgress() const;

    TZipEngine& engine_;
    Prompter& prompter_;
    Settings& settings_;
    TAppState& state_;
    QProgressBar* bars_[ProgressTargetCount] = {};
};
