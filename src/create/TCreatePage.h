#pragma once
// Page 2, "CREATE A NEW ZIP FILE  .": the controls and the page's own state
// rules. Adding files, undo and writing archives live in the other files of
// this folder.

#include <QWidget>
#include <cstdint>
#include <functional>

class QAction;
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
    int32_t ZipListTotal = 0;

    QFrame* ZipTotalsPanel;
    QLineEdit* NumfilesEdit;
    QLineEdit* TotalFileSizeEdit;
    QStatusBar* ZipStatusBar;
    QProgressBar* ZipProgressBar;

    // The list's pop-up menu.
    QMenu* PopupMenu;
    QAction* SelectAll2;  // "Select All"
    QAction* Delete2;     // "Remove"

    int RowCount() const;
    // Empties the list, its totals and the undo history, disables "Remove"
    // and makes the add options editable again.
    void ClearList();
    // Disposes the undo history; set by the code that owns it.
    std::function<void()> DisposeUndoHistory;

private:
    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
};
