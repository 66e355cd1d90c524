#pragma once
// Page 2, "CREATE A NEW ZIP FILE  .": the controls and the page's own state
// rules. Adding files, undo and writing archives live in the other files of
// this folder.

#include "create/SourceList.h"
#include "create/TarOptions.h"
#include "platform/BusyControl.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

class QAction;
class QFileInfo;
class QStandardItem;
struct TFolderScan;
class QFrame;
class QLineEdit;
class QMenu;
class QProgressBar;
class QPushButton;
class QStandardItemModel;
class QStatusBar;
class QTreeView;
struct Settings;
struct TAppState;
class TMainHost;

class TCreatePage : public QWidget {
    Q_OBJECT
public:
    TCreatePage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent = nullptr);

    QFrame* Step1Panel;
    QPushButton* OpenFilesZipButton;   // "ADD FILES"
    QPushButton* OpenFolderzipButton;  // "ADD FOLDER"
    QPushButton* ZipUndoButton;
    QPushButton* ZipResetButton;
    QPushButton* ZipPropertiesButton;
    QFrame* Step2Panel;
    QPushButton* ZipButton;
    QPushButton* ZipHelpButton;
    QPushButton* ZipExitButton;

    QTreeView* ZipListView;
    QStandardItemModel* ZipListModel;
    // The running size total. Kept 64 bits wide: a list over 2 GiB must not
    // turn it negative (the room checks read it).
    int64_t ZipListTotal = 0;

    QFrame* ZipTotalsPanel;
    QLineEdit* NumfilesEdit;
    QLineEdit* TotalFileSizeEdit;
    QStatusBar* ZipStatusBar;
    QProgressBar* ZipProgressBar;

    // The list's pop-up menu.
    QMenu* PopupMenu;
    QAction* SelectAll2;  // "Select All"
    QAction* Delete2;     // "Remove"

    // The page's index in the window's notebook.
    static constexpr int PageIndex = 2;

    int RowCount() const;
    // The controls the window's busy bracket disables, in order.
    QList<TBusyControl> BusyControls() const;
    // The window's layout rule for an outer size W x H.
    void FormResize(int W, int H);
    // Empties the list, its totals and the undo history, disables "Remove"
    // and makes the add options editable again.
    void ClearList();
    // Disposes the undo history (and with it UNDO, RESET and ZIP).
    void DisposeUndoHistory();
    void ShowTotals();

    // Columns of ZipListView.
    enum Column { FileColumn = 0, SizeColumn, DateColumn, PathColumn, SourceColumn };
    // The row's size in bytes (on the Size item under this role).
    static constexpr int SizeRole = Qt::UserRole + 65;
    // The row's image index of the shared lists (on the File item).
    static constexpr int ImageIndexRole = Qt::UserRole + 64;

    // ---- The source list (CreateSourceList.cpp)
    void OpenFilesZipButtonClick();
    void OpenFolderzipButtonClick();
    // Adds the dropped files and folders (reached from the drop routing).
    void UpdateZipWindow(const QStringList& paths);
    void ZipUndoButtonClick();
    void ZipResetButtonClick();
    void SelectAll2Click();
    void Delete2Click();
    void ZipListViewSelectItem();
    TUndoHistory UndoHistory;

    // ---- Writing a zip (CreateZip.cpp)
    void ZipButtonClick();
    void ZipPropertiesButtonClick();
    // The two zip runs over the list, into the archive `zipName`.
    void MakeZipFDLL(const QString& zipName);
    void MakeZipRelPath(const QString& zipName);
    // Looks for a drive root with more than `required` + 65000 bytes free and
    // makes its "quarntemp" folder the scratch folder for the temporary tar.
    bool ChooseNewTempFolder(int64_t required);
    // The scratch folder ChooseNewTempFolder chose ("" for DataFolder/temp).
    QString TarScratchFolder;
    // The segment size chosen for a spanned zip.
    qint64 MaxVolumeSize = 0;
    // The archive type dialog's and the span dialog's answers come from these
    // (the dialogs are shown through the prompter).
    int AskArchiveType();
    // The name the last ZIP run wrote (CurrentArchive).
    QString FinalArchiveName;

    // ---- Writing tar, tar.gz and gz (CreateTar.cpp)
    TTarOptions TarOptions;
    void MakeTarFileThread(const QString& finalName);
    void MakeTarGzFilethread(const QString& finalName);
    void MakeGZFileThread(const QString& finalName);
    // Writes the list as a tar at `path`; returns whether every row was
    // written. Messages name the file `shownAs` (empty: `path`).
    bool MakeTarFile(const QString& path, const QString& shownAs = QString());
    bool TarGZDo(const QString& finalName);
    // The bracket of both gzip runs: buttons off and the gzip progress on this
    // page while `work` runs.
    void RunGzipCreate(const std::function<void()>& work);
    // Compresses `source` beside `finalName`, which the result then replaces,
    // with the progress timer running; whether it did.
    bool GzipToFinal(const QString& source, const QString& finalName);
    void ZipTarGZButtonsOff();
    void ZipTarGZButtonsOn();
    // The gzip component's progress, shown on this page while `GzipCreateMode`
    // is set (the unzip page shows it otherwise).
    void GZipProgress(int percent);
    void GzipTimerTimer();
    bool GzipCreateMode = false;
    bool TarCompleted = false;
    // The last tar stopped early because the drive ran out of room.
    bool TarStoppedForRoom = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The cut-off date check before every addition.
    void CheckCutOffDate();
    // Before adding to an empty list the add options stop being editable.
    void LockAddOptionsIfEmpty();
    // Whether the filter skips the file at `fullPath`.
    bool CheckForDupeZipFileDrop(const QString& fullPath, const QFileInfo& info) const;
    // Appends one row and its undo record.
    void DropFileToZip(const QFileInfo& info, int rootLength);
    // Appends the rows a folder scan collected.
    void ZipListViewdisplay(TFolderScan& scan);
    // Scans `folder` behind the modal scan window, then appends what it found.
    void AddFolder(const QString& folder);
    // After an addition: UNDO, RESET and ZIP on when it added rows, else its
    // empty action is dropped.
    void FinishAddition();
    void AppendRow(const QString& name, const QString& sizeText, int64_t size, const QString& dateText,
                   const QString& path, const QString& source, QList<QList<QStandardItem*>>& rows);
    void SetHistoryButtons(bool on);
    // Removes the rows marked true, a run of neighbours at a time.
    void RemoveMarkedRows(const std::vector<bool>& marked);
    // The engine's add options for a zip run (and the segment size question).
    void SetEngineOptions();
    // The common start and end of both zip runs: the new archive is written
    // under `newName` and replaces `zipName` only when the engine succeeded.
    bool BeginZipRun(const QString& zipName, QString& newName);
    // `leftOut` holds the library's warnings about files it could not add.
    void EndZipRun(const QString& zipName, const QString& newName, bool failed, const QStringList& leftOut);
    // Copies the finished zip `scratch` out as the set named after `archive`
    // (which becomes the name of its last part) and removes the scratch zip.
    bool WriteZipSet(const QString& scratch, QString& archive);
    // Renames the archive written at `scratch` to `finalName`; when that fails
    // the user is told why and where the archive was left.
    bool MoveToFinalName(const QString& scratch, const QString& finalName);
    // Gives a compressed file its final name and reports the result (`why`:
    // the compression's failure reason); whether it has it.
    bool FinishGzip(int result, const QString& why, const QString& source, const QString& scratch,
                    const QString& finalName);
    void FocusList();

    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
};
