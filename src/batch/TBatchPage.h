#pragma once
// Page 3, "BATCH UNZIP  .": the controls and the page's own state rules.
// The list commands, the folder scan and the batch worker live in the other
// files of this folder.

#include <QWidget>
#include <cstdint>

class QCheckBox;
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

class TBatchPage : public QWidget {
    Q_OBJECT
public:
    TBatchPage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent = nullptr);

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

private:
    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
};
