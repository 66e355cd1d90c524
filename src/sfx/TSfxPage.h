#pragma once
// Page 4, "SELF EXTRACTING ZIP   .": the controls and the page's own state
// rules (enable, disable, receiving a zip). Opening, the option rules and the
// conversion live in the other files of this folder.

#include <QWidget>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
struct Settings;
struct TAppState;
class TMainHost;

class TSfxPage : public QWidget {
    Q_OBJECT
public:
    TSfxPage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent = nullptr);

    QFrame* Step1Panel;
    QPushButton* OpenSFXZipButton;
    QFrame* Step2Panel;
    QPushButton* SFXCreateButton;  // "CONVERT"
    QPushButton* SFXResetButton;
    QPushButton* SFXHelpButton;
    QPushButton* SFXExitButton;
    QLabel* FileNameCaption;  // "File Name : "
    QLabel* ZipFileNameLabel;

    QFrame* SFXPanel;
    // The window's layout rule for an outer size W x H.
    void FormResize(int W, int H);
    QLabel* CaptionPrompt;
    QLineEdit* CaptionEdit;
    QLabel* DirPrompt;
    QComboBox* SFXDirComboBox;
    QLineEdit* SelDirEdit;
    QGroupBox* SFXMessageTypeRadioGroup;
    QButtonGroup* SFXMessageTypeButtons;
    QLabel* MessagePrompt;
    QLineEdit* MessageTextEdit;
    QCheckBox* ShowContentsCheckBox;
    QCheckBox* SuccessMessageCheckBox;
    QCheckBox* AutoUnzipCheckBox;
    QLabel* AutoUnzipNote;
    QPushButton* SFXIconButton;
    QLabel* SFXIconImage;
    QLabel* AutoStartPrompt;
    QPushButton* SelectAutoStartButton;
    QLabel* AutoStartFileNameLabel;
    QCheckBox* CancelAutoStartCheckBox;

    // The chosen message kind, 0..3.
    int MessageType() const;
    void SetMessageType(int kind);
    // Folder choice back to the first item, copied into SelDirEdit.
    void ResetFolderChoice();
    // Every option control, CONVERT, RESET and the static texts off; the texts
    // emptied, message kind and folder choice reset. Tick boxes keep their states.
    void DisableSFXControls();
    // All of them on, CONVERT and RESET included; the folder choice reset.
    void EnableSFXControls();
    // Hands `zip` to the page: it shows the name and enables the controls.
    // `SetEngineZipFile` (when set) points the zip engine at it.
    void ReceiveZip(const QString& zip);
    std::function<void(const QString&)> SetEngineZipFile;

    // Handlers (SfxPageActions.cpp).
    void OpenSFXZipButtonClick();
    void SFXCreateButtonClick();
    void SFXResetButtonClick();
    void SelectAutoStartButtonClick();
    void SFXIconButtonClick();
    void SFXDirComboBoxChange(int index);
    void AutoUnzipCheckBoxClick();
    void SFXMessageTypeRadioGroupClick(int kind);
    void ShowContentsCheckBoxClick();
    void SuccessMessageCheckBoxClick();
    void CancelAutoStartCheckBoxClick();
    // Loads `path` as the program icon when its first image is 32 by 32 with
    // 16 colours (SfxIconFile, the image, the engine's SFXIcon); otherwise
    // returns false and leaves the icon as it was.
    bool CheckOutIcon(const QString& path);

private:
    void connectHandlers();
    void convertToProgram();
    void convertToZip();
    QList<QWidget*> optionControls() const;
    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
};
