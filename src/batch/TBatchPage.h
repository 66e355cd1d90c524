#pragma once
// Page 3, "BATCH UNZIP  .": the batch list with its counters and commands,
// the folder scan and the batch run. The two worker threads, the run's
// dialogs and the rules without widgets live in the other files of this folder.

#include "batch/TUnzipthread.h"
#include "platform/BusyControl.h"

#include <QList>
#include <QString>
#include <QHash>
#include <QWidget>
#include <cstdint>
#include <memory>

class QCheckBox;
class QFileInfo;
class QFrame;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QStatusBar;
class QTreeView;
struct Settings;
struct TAppState;
class TMainHost;
class TBatchZipUser;
class TScanZipFileThread;
class TUnzipthread;
class TZipEngineUser;
namespace Platform {
class BusyCursor;
}

class TBatchPage : public QWidget {
    Q_OBJECT
public:
    TBatchPage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent = nullptr);
    ~TBatchPage() override;

    // The row icon's index in BatchImageList (column 0) and, on column 0,
    // the zip's path on disk (the "File " text of a scanned zip is in lower case).
    static constexpr int ImageIndexRole = Qt::UserRole + 64;
    static constexpr int ZipPathRole = Qt::UserRole + 65;
    enum Icon { FolderIcon = 0, ZipIcon = 1, FailedIcon = 2 };

    QFrame* Step1Panel;
    QPushButton* BatchUnzipOpenFileButton;     // "SELECT FILES"
    QPushButton* ScanFolderForZipFilesButton;  // "SCAN FOLDER"
    QPushButton* BatchDeleteButton;
    QPushButton* BatchThreadStopButton;        // "STOP"
    QPushButton* BatchSelectAllButton;
    QPushButton* BatchResetButton;
    QCheckBox* ScanSubDirCheckBox;
    QCheckBox* MoveZipFileCheckBox;
    QLineEdit* MoveFolderEdit;  // filled only through the folder chooser
    QPushButton* MoveZipFileButton;  // "?"
    QFrame* Step2Panel;
    QPushButton* BatchUnzipButton;
    QPushButton* BatchHelpButton;
    QPushButton* BatchExitButton;

    QTreeView* BatchListView;
    // The controls the window's busy bracket disables, in order.
    QList<TBusyControl> BusyControls() const;
    // The window's layout rule for an outer size W x H.
    void FormResize(int W, int H);
    QStandardItemModel* BatchListModel;
    int32_t BatchListTotal = 0;

    QFrame* Panel13;
    QLineEdit* BatchNumEdit;        // "Zip Files"
    QLineEdit* BatchCompleteEdit;   // "Completed"
    QLineEdit* ZipSizeEdit;         // "Zip Size"
    QLineEdit* BatchTotalSizeEdit;  // "Unzipped Size"
    QFrame* Panel11;
    QStatusBar* BatchPathStatusBar;
    QProgressBar* BatchProgressBar;
    QFrame* Panel10;
    QLineEdit* BatchFileNumEdit;    // "Number of files : "
    QLineEdit* BatchFileSizeEdit;   // "File Size :"
    QLineEdit* BatchTotalDoneEdit;  // "Total Done"
    QProgressBar* BatchFileProgressBar;

    int RowCount() const;
    // The zip on disk of a row.
    QString RowZipPath(int row) const;

    // ---- Commands
    void BatchUnzipOpenFileButtonClick();      // "SELECT FILES"
    void ScanFolderForZipFilesButtonClick();   // "SCAN FOLDER"
    void BatchSelectAllButtonClick();
    void BatchDeleteButtonClick();
    void BatchResetButtonClick();
    void BatchListViewColumnClick(int column);
    void BatchListViewSelectItem();            // any change of selection
    void MoveZipFileCheckBoxClick();
    void MoveZipFileButtonClick();             // "?"
    void BatchThreadStopButtonClick();         // "STOP"
    void BatchUnzipTimerTimer();
    void BatchUnzipButtonClick();              // "UNZIP"

    // ---- Routines
    // True when a row has the path's file name and folder (compared in lower case).
    bool CheckForDupeBatchZipDrop(const QString& path) const;
    // Adds one selected row for the file.
    void DropFileToBatchZip(const QString& path, const QFileInfo& info);
    // The zip's unzipped size, also added to BatchState.UnzippedTotal.
    int32_t TallyZipFile(const QString& path);
    void LoadThreadlist();
    void ScanFolderToBatchListView();
    void UnzipInfoToBatchInfo();
    void DeleteDunListItem();
    // Marks the rows of the failed zips with the red cross and gives each the
    // reason it failed (`reasons`, by zip path) as its tooltip.
    void ChangeErrorIconItem(const QHash<QString, QString>& reasons = {});

    // Ends a scan or batch run at once and waits for its thread (the
    // window is going away).
    void StopThreads();

    // The run's destination (empty: beside each zip) and move folder (empty: no moving).
    const QString& UnzipFolder() const { return unzipFolder_; }
    const QString& MoveFolder() const { return moveFolder_; }
    // Rows are kept in file-name order (after a click on "File ").
    bool SortedByName() const { return sorted_; }

private:
    void addRow(const QString& caption, const QString& zipPath, const QString& size, const QString& unzipped,
                const QString& date, const QString& folder);
    void selectRows(int first, int last);
    void keepSorted();
    void setListButtons(bool on);
    bool roomToMove(const QString& folder);
    void afterMoveCommand();
    // Rows whose zip matches `paths` (lower-case file name and folder), highest first.
    QList<int> rowsOf(const QStringList& paths) const;
    bool prepareRun();
    void startRun();
    void startPolling(int interval);
    void finishScan();
    void finishRun();
    void reportFatalErrors();
    // The engine's own user and options again, once the worker has ended.
    void giveEngineBack();
    void endThreadRun();

    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
    bool sorted_ = false;
    bool filling_ = false;  // rows are being added in bulk: counters wait
    QString unzipFolder_;
    QString moveFolder_;
    std::unique_ptr<TScanZipFileThread> scan_;
    std::unique_ptr<TUnzipthread> worker_;
    QList<TBatchWorkItem> runItems_;  // the prepared run's zips
    std::unique_ptr<TBatchZipUser> runUser_;
    std::unique_ptr<Platform::BusyCursor> busy_;
    TZipEngineUser* windowUser_ = nullptr;
    uint8_t windowExtrOptions_ = 0;
    int fatalShown_ = 0;
};
