#pragma once
// The batch extraction worker: extracts the selected zips one after another
// with the window's zip engine (RAR archives through the archive layer), each
// into a fresh folder, and moves each afterwards when asked. It never touches a widget; the page's timer reads
// its position from the shared batch record, and the engine's questions are
// carried to the window's thread by TBatchZipUser.

#include "archive/Archive.h"
#include "zipengine/TZipEngineUser.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>
#include <atomic>

class TZipEngine;
struct TBatchState;

// One zip of the run.
struct TBatchWorkItem {
    QString ZipPath;
    QString FolderName;  // the extraction folder's name (see BatchRules::ExtractFolderName)
    qint64 UnzippedSize = 0;
};

// The engine's user while the worker drives it. Messages are not shown
// during a run; questions (a password, a disk) are put to the window's own
// user on the window's thread while the worker waits for the answer.
class TBatchZipUser : public TZipEngineUser {
public:
    // `window` is the user the engine had before the run (may be null);
    // `gui` lives on the window's thread.
    TBatchZipUser(TZipEngineUser* window, QObject* gui) : window_(window), gui_(gui) {}

    void ShowMessage(const QString&) override {}
    PromptButton Ask(const QString& text, PromptButtonSet buttons) override;
    int AskPassword(const QString& title, const QString& prompt, int buttons, QString& entry) override;

    // The window stops waiting for the worker: questions pending or still to
    // come are answered Cancel at once.
    void Abandon() { abandoned_ = true; }

private:
    // Runs `job` on the window's thread and waits for it; false when abandoned.
    template <class Job> bool onWindowThread(Job job);

    TZipEngineUser* window_;
    QObject* gui_;
    std::atomic<bool> abandoned_{false};
};

class TUnzipthread : public QThread {
    Q_OBJECT
public:
    // `doneList` and `errorList` receive the paths of the zips that ended
    // with engine error code 0 and with another code; the window reads them
    // only after the worker has ended.
    TUnzipthread(TZipEngine& engine, TBatchState& state, QList<TBatchWorkItem> items, QString unzipFolder,
                 QString moveFolder, QStringList& doneList, QStringList& errorList, QObject* parent = nullptr);

    // Engine calls that raised a failure so far (the window shows one
    // "FATAL DLL ERROR" for each).
    int FatalErrors() const { return fatalErrors_; }
    // Why each zip of the error list failed (by its path); read once the
    // worker has ended.
    const QHash<QString, QString>& FailureReasons() const { return reasons_; }
    // The zips that were to be moved and are still where they were (a copy
    // may have been made); read once the worker has ended.
    const QStringList& NotMoved() const { return notMoved_; }

protected:
    void run() override;

private:
    bool extractOne(const TBatchWorkItem& item, QString& reason);
    // A zip through the window's engine; a RAR through the archive layer.
    bool extractZip(const TBatchWorkItem& item, const ExtractRequest& request, QString& reason);
    bool extractOther(const TBatchWorkItem& item, ExtractRequest request, QString& reason);
    void moveOne(const TBatchWorkItem& item, bool failed);

    TZipEngine& engine_;
    TBatchState& state_;
    const QList<TBatchWorkItem> items_;
    const QString unzipFolder_;
    const QString moveFolder_;
    QStringList& doneList_;
    QStringList& errorList_;
    std::atomic<int> fatalErrors_{0};
    QHash<QString, QString> reasons_;
    QStringList notMoved_;
};
