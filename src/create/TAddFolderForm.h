#pragma once
// ADD FOLDER's scan: TAddFolderThread walks a folder tree on its own thread
// and fills a TFolderScan; TAddFolderForm ("Adding Folder...") is the modal
// window the user waits in, showing the scan's progress and offering STOP.
// The thread never touches a widget: the window polls the scan every 100 ms.

#include "create/SourceList.h"

#include <QDialog>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <atomic>
#include <cstdint>

class QLabel;
class QPushButton;
class QTimer;

// The state one scan shares between the window, the dialog and the worker.
// The lists and the undo action are written only by the worker and read only
// after it has ended.
struct TFolderScan {
    // The five row texts, one index per file found.
    QStringList names, sizes, dates, paths, sources;
    int64_t totalSize = 0;
    std::atomic<int32_t> found{0};

    QString folder;     // the chosen folder (no trailing "/" except the root)
    int rootLength = 0; // for the path rule
    bool saveFolders = true;
    bool relativePaths = true;
    bool recurse = true;
    int cutOffDay = 0;  // 0: no date filter

    // Receives one record per file found.
    UndoAction* action = nullptr;

    std::atomic<bool> stop{false};

    // What the worker is looking at, for the dialog's status lines.
    void SetCurrent(const QString& folder, const QString& file);
    void Current(QString& folder, QString& file) const;

    // The text the dialog shows for the scan (folder plus the "*.*" mask).
    QString SearchText() const;

private:
    mutable QMutex mutex_;
    QString currentFolder_, currentFile_;
};

class TAddFolderThread : public QThread {
    Q_OBJECT
public:
    explicit TAddFolderThread(TFolderScan& scan, QObject* parent = nullptr) : QThread(parent), scan_(scan) {}

protected:
    void run() override;

private:
    void scanFolder(const QString& folder);
    TFolderScan& scan_;
};

class TAddFolderForm : public QDialog {
    Q_OBJECT
public:
    explicit TAddFolderForm(TFolderScan& scan, QWidget* parent = nullptr);
    ~TAddFolderForm() override;

    QLabel* SearchLabel;
    QLabel* FolderLabel;  // the folder being read
    QLabel* FileLabel;    // the last file found
    QLabel* CountLabel;   // the number found
    QPushButton* StopButton;
    QTimer* Timer;

    // STOP: the worker stops at its next entry.
    void StopButtonClick();
    // Every 100 ms: the status lines; when the scan has stopped, waits for the
    // worker and closes.
    void TimerTimer();

protected:
    void showEvent(QShowEvent* event) override;
    // The window closes only when the scan has ended (Escape stops it).
    void reject() override;

private:
    void start();
    TFolderScan& scan_;
    TAddFolderThread* thread_ = nullptr;
};
