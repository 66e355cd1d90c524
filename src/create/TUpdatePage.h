#pragma once
// Page 1, "ADD UPDATE  .": the controls and the page's own state rules.
// Listing, adding and deleting live in the other files of this folder.

#include <QWidget>
#include <cstdint>

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
    int32_t UpdateListTotal = 0;

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

private:
    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
};
