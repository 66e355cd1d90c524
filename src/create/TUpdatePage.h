#pragma once
// Page 1, "ADD UPDATE  .": the controls and the page's own state rules.
// Listing, adding and deleting live in the other files of this folder.

#include <QHash>
#include <QStringList>
#include <QWidget>
#include <cstdint>

class QFileInfo;
class QFrame;
class QIcon;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStandardItem;
class QStandardItemModel;
class QStatusBar;
class QTreeView;
struct Settings;
struct TAppState;
class TMainHost;

class TUpdatePage : public QWidget {
    Q_OBJECT
public:
    TUpdatePage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent = nullptr);

    QFrame* Step1Panel;
    QPushButton* OpenUpdateButton;
    QPushButton* UpdateResetButton;
    QPushButton* Button1;  // "Properties"
    QFrame* Step2Panel;
    QPushButton* OpenFilesUpdateButton;  // "ADD FILES"
    QPushButton* AddfolderUpdatebutton;  // "ADD FOLDER"
    QPushButton* UpdateDeleteButton;
    QPushButton* UpdateHelpButton;
    QPushButton* UpdateExitButton;

    QTreeView* UpdateListView;
    QStandardItemModel* UpdateListModel;
    int32_t UpdateListTotal = 0;

    QFrame* UpdateTotalsPanel;
    QLineEdit* UpDateNumFilesEdit;
    QLineEdit* UpdatetotalFileSizeEdit;
    QStatusBar* UpdateStatusBar;
    QProgressBar* UpdateProgressBar;

    int RowCount() const;
    // The window's layout rule for an outer size W x H.
    void FormResize(int W, int H);
    // Empties the list and its totals.
    void ClearList();
    // ADD FILES, ADD FOLDER, DELETE and RESET on or off together.
    void SetZipButtonsEnabled(bool on);
    void ShowTotals();

    // Columns of UpdateListView and the data its cells carry.
    enum Column { FileColumn = 0, SizeColumn, DateColumn, PathColumn };
    static constexpr int ImageIndexRole = Qt::UserRole + 64;  // the caption's image
    static constexpr int SizeRole = Qt::UserRole + 65;        // the size as a number
    static constexpr int DosTimeRole = Qt::UserRole + 66;     // the DOS date-time of the Date cell

    // The zip the list shows; every add and delete writes to it.
    // An archive is loaded here (its RESET button is on).
    bool ArchiveLoaded() const;
    const QString& ListedArchive() const { return listedArchive_; }

    // ---- Listing (UpdateListing.cpp)
    // OPEN: the reload question, the open dialog, the listing.
    void OpenUpdateButtonClick();
    // Lists the zip at `path` (after DisableAll; ends with EnableAll).
    void UpDateUpdateWindow(const QString& path);
    // Lists the zip again after a change that did not reach it as the list shows it.
    void ReloadUpdateListviewOnZipError(const QString& path);
    // Takes over the unzip page's rows of the zip `path` (the page switch
    // from the unzip page); `total` is that list's running total.
    void MoveZipfileToUpdate(const QString& path, const QStandardItemModel& from, int32_t total);
    // RESET: empties the list; the archive is not touched.
    void UpdateResetButtonClick();
    // The entry name of row `row` inside the archive (Path and File joined by "\").
    QString EntryName(int row) const;
    // Whether the rows name exactly the entries the archive holds.
    bool ListMatchesArchive() const;

    // ---- Adding and deleting (UpdateChanges.cpp)
    // The Path under which the file `fullPath` is stored: `walkRoot` is the
    // folder ADD FOLDER or a drop walks ("" for a file chosen or dropped
    // alone). Ends with "\" unless empty.
    QString UpdatePathFor(const QString& fullPath, const QString& walkRoot) const;
    // The filter and replace test: true when the file is not to get a new row
    // (older than the cut-off, or matching a row, which it replaces when newer).
    bool CheckForDupeUpdateFileDrop(const QFileInfo& file, const QString& walkRoot);
    // Adds a row for a new file and remembers it for writing.
    void DropFileToUpdate(const QFileInfo& file, const QString& walkRoot);
    void OpenFilesUpdateButtonClick();
    void AddfolderUpdatebuttonClick();
    // Walks `folder` and passes each file found through the filter and replace test.
    void UpdateFileLook(const QString& folder);
    // Files and folders dropped on the list (only while RESET is enabled).
    void UpdateDropUpdateWindow(const QStringList& paths);
    // Writes the remembered replacements and additions to the archive.
    void UpdatingAZipFile();
    void UpdateDeleteButtonClick();
    // "Properties": the options dialog on its "ADD Files" page.
    void Button1Click();

    // What one add operation will write: entry names to replace, files to add and their Paths.
    QStringList ReplaceList, AddFileList, AddPathList;

private:
    void FocusList();
    // The date dialog when the date filter is on and no cut-off is set yet.
    void CheckCutOffDate();
    // Empties the operation lists and the engine's argument lists.
    void StartOperation();
    // The end of every add operation: write, then show what the archive holds.
    void FinishOperation();
    // The cells of one row; the caption's icon is looked up by its type.
    QList<QStandardItem*> MakeRow(const QString& caption, int64_t size, uint32_t dosTime, const QString& dateText,
                                  const QString& path);
    // Runs the engine's Add or Delete, turning an exception into "FATAL DLL
    // ERROR" (then false).
    bool RunEngine(bool adding);
    // The enabled states after the list became empty.
    void SetEmptyState();

    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
    QString listedArchive_;
    // During one add operation: each row's match key (see CheckForDupeUpdateFileDrop) and its row.
    QHash<QString, int> rowIndex_;
};
