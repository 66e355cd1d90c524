#pragma once
// Page 1, "ADD UPDATE  .": the controls and the page's own state rules.
// Listing, adding and deleting live in the other files of this folder.

#include <QDateTime>
#include <QStringList>
#include <QWidget>
#include <cstdint>

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
    // The running size total (64 bits wide: it must not turn negative).
    int64_t UpdateListTotal = 0;

    QFrame* UpdateTotalsPanel;
    QLineEdit* UpDateNumFilesEdit;
    QLineEdit* UpdatetotalFileSizeEdit;
    QStatusBar* UpdateStatusBar;
    QProgressBar* UpdateProgressBar;

    int RowCount() const;
    // Empties the list and its totals.
    void ClearList();
    // ADD FILES, ADD FOLDER, DELETE and RESET on or off together.
    void SetZipButtonsEnabled(bool on);
    void ShowTotals();

    enum Column { FileColumn = 0, SizeColumn, DateColumn, PathColumn };
    // The row's date as a DOS date-time (on the Date item), its size in bytes
    // (on the Size item) and its image index (on the File item).
    static constexpr int DosTimeRole = Qt::UserRole + 66;
    static constexpr int SizeRole = Qt::UserRole + 65;
    static constexpr int ImageIndexRole = Qt::UserRole + 64;

    // ---- Listing, adding and deleting (UpdateZip.cpp)
    void OpenUpdateButtonClick();
    // Lists the zip at `path`; ends with the window's controls re-enabled.
    void UpDateUpdateWindow(const QString& path);
    void ReloadUpdateListviewOnZipError(const QString& path);
    void OpenFilesUpdateButtonClick();
    void AddfolderUpdatebuttonClick();
    // Adds the dropped files and folders (reached from the drop routing).
    void UpdateDropUpdateWindow(const QStringList& paths);
    void UpdateDeleteButtonClick();
    void UpdateResetButtonClick();
    void Button1Click();
    // The archive name of row `row`: Path and File joined by "\".
    QString EntryName(int row) const;

private:
    // The Path of a file added here: `root` is the chosen folder for files
    // found under a folder, empty for a file added by itself.
    QString AddedPath(const QString& fullPath, const QString& root) const;
    // True when the file is not to get a new row (filtered, unchanged, or it
    // replaces the entry of its row).
    bool CheckForDupeUpdateFileDrop(const QFileInfo& file, const QString& path);
    void DropFileToUpdate(const QFileInfo& file, const QString& path);
    // Walks `folder` (root for the Paths: `root`), counting on the status bar.
    void UpdateFileLook(const QString& folder, const QString& root, int& found);
    // Writes the replacements and additions collected by one operation.
    void UpdatingAZipFile();
    void CheckUpdateCutOff();
    void StartOperation();
    void FinishOperation();
    void FocusList();
    void AppendRow(const QString& name, int64_t size, uint32_t dosTime, const QString& path);
    // The row's DOS date-time (from the archive's directory when the row does not carry it).
    uint32_t RowTime(int row) const;

    // The lists of one add operation.
    QStringList replaceEntries_;
    QStringList addFiles_;
    QStringList addPaths_;

    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
};
