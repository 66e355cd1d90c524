#pragma once
// Process-wide state shared by the window, the pages and the worker threads.
// Worker threads write only the atomic fields (and lists they append to before
// publishing a count); the window's timers read them.

#include <QIcon>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>

// Which progress bar the engine's progress events drive.
enum TProgressTarget : int32_t {
    UnzipProgress = 0,      // the unzip page
    CreateProgress = 1,     // the create page
    BatchFileProgress = 2,  // the batch page's file bar
    NoProgress = 3,
    UpdateProgress = 4,     // the update page
    ProgressTargetCount
};

// The batch, scan and engine-progress record.
struct TBatchState {
    // Overwrite answers of the current extraction.
    std::atomic<bool> OverwriteAll{false};
    std::atomic<bool> YesToAll{false};
    std::atomic<bool> NoToAll{false};
    // A self-extracting program was turned back into a zip: list it again on return.
    std::atomic<bool> ReloadOnReturn{false};

    // A scan or batch run is in progress (set by the window, cleared by the thread last).
    std::atomic<bool> Running{false};
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> ScanMode{false};
    std::atomic<bool> ScanSubfolders{false};
    std::atomic<bool> RecreateFolders{false};

    std::atomic<int32_t> Counter{0};
    std::atomic<int32_t> Listed{0};
    std::atomic<int32_t> UnzippedTotal{0};
    std::atomic<int32_t> ZipTotal{0};
    std::atomic<int64_t> ZipUnzippedSize{0};
    std::atomic<int64_t> BytesDone{0};
    // Which progress bar the engine's progress events drive (a TProgressTarget).
    std::atomic<int32_t> ProgressTarget{UnzipProgress};

    // Clears the running flag and the counters (start-up).
    void ResetRun()
    {
        Running = false;
        StopRequested = false;
        ScanMode = false;
        Counter = 0;
        Listed = 0;
        UnzippedTotal = 0;
        ZipTotal = 0;
        ZipUnzippedSize = 0;
        BytesDone = 0;
        ProgressTarget = UnzipProgress;
    }
};

// The small and large image lists every list view shows. Images 0 to 3 are
// fixed; per-type icons are appended from index 4.
struct TIconList {
    QList<QIcon> Images;
    int Add(const QIcon& icon)
    {
        Images << icon;
        return int(Images.size() - 1);
    }
};

struct TAppState {
    TBatchState BatchState;

    QString ProgramPath;
    QString ProgramFolder;  // no trailing separator
    // Where "config" and "temp" live (the program folder when writable).
    QString DataFolder;
    // The archive loaded on the unzip page.
    QString CurrentArchive;
    // False only while the image browser extracts.
    bool ShowSuccessMessage = true;

    // File endings (lower case) whose icons are in the icon lists, in order of
    // their images from index 4.
    QStringList IconCache;
    // Endings for which no type icon could be found this run (looked up once).
    QSet<QString> NoIconTypes;
    TIconList SmallImages;
    TIconList LargeImages;

    // Drive-root scratch folders ("<root>/quarntemp") made during this run.
    QStringList ScratchFolderList;
    // The batch page's three row icons: folder, zip, failed zip.
    TIconList BatchImageList;
    // 255 tab characters, the tree browser's indentation text.
    QString TabText;
    // Quick View's location (none on this platform).
    QString QuickViewPath;

    // The batch lists.
    QStringList WorkList, InfoList, DoneList, ErrorList;
    void ClearBatchLists()
    {
        WorkList.clear();
        InfoList.clear();
        DoneList.clear();
        ErrorList.clear();
    }
    // Shared by the RAR listing and the create page.
    QStringList SharedList;

    // DataFolder + "/temp" and "/temp/img".
    QString TempFolder() const { return DataFolder + QStringLiteral("/temp"); }
    QString ImageTempFolder() const { return DataFolder + QStringLiteral("/temp/img"); }
};
