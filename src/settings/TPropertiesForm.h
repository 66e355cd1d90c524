#pragma once
// The options dialog "Zip File Properties": eight pages editing the option
// part of Settings. OK copies every control into Settings and saves; Cancel
// leaves Settings alone; "Restore" puts the defaults back and saves at once.

#include <QDialog>
#include <functional>

class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;
struct Settings;

class TPropertiesForm : public QDialog {
    Q_OBJECT
public:
    enum PageIndex {
        DefaultProgramPage = 0,
        StartupLinksPage = 1,
        UnzipPage = 2,
        TarGzPage = 3,
        DefaultTypePage = 4,
        AddFilesPage = 5,
        ZipPage = 6,
        ViewerPage = 7,
        PageCount = 8
    };

    // `save` writes the settings file (the window's save, which tells the
    // user when it cannot).
    TPropertiesForm(Settings& settings, std::function<bool()> save, QWidget* parent = nullptr);

    void SelectPage(int page);
    int CurrentPageIndex() const;

    QTabWidget* TabbedNotebook;

    // Page 0 "Default Program"
    QLabel* DefaultZipProgramLabel;
    QLabel* DefaultGZProgramLabel;
    QLabel* DefaultTARProgramLabel;
    QLabel* DefaultTGZProgramLabel;
    QLabel* DefaultRARProgramLabel;
    QCheckBox* DZipCheckBox;
    QCheckBox* DGZCheckbox;
    QCheckBox* DTARCheckBox;
    QCheckBox* DTGZCheckBox;
    QCheckBox* DRARCheckBox;
    QPushButton* setQuarnDefaultButton;
    QPushButton* RestorePreviousZipDefaultButton;
    // Page 1 "Startup Links   ."
    QPushButton* StartUpButton;
    // Page 2 "UNZIP"
    QCheckBox* UnzipFoldersCheckbox;
    QCheckBox* OverwriteCheckBox;
    QCheckBox* UpdateFilesCheckBox;
    QCheckBox* FreshenFilesCheckBox;
    QCheckBox* SaveUnzipDefaultCheckBox;  // hidden
    // Page 3 "Tar GZ "
    QCheckBox* OpenTarCheckBox;
    QCheckBox* TarAttrCheckBox;
    QCheckBox* ShortGZPathCheckBox;
    // Page 4 "Default Type"
    QGroupBox* ZipTypeRadioGroup;
    QButtonGroup* ZipTypeButtons;
    QCheckBox* SelectAllCheckBox;
    // Page 5 "ADD Files"
    QCheckBox* SaveZipFoldersCheckBox;
    QCheckBox* RecurseFoldersCheckBox;
    QCheckBox* RelativePathCheckBox;
    // Page 6 "ZIP "
    QCheckBox* ArchiveBitCheckBox;
    QCheckBox* LongFileNamesCheckBox;
    QCheckBox* AddPasswordCheckBox;
    QCheckBox* AesCheckBox;
    QCheckBox* SetTimeCheckBox;
    QCheckBox* OnlybyDateCheckBox;
    QCheckBox* SpanCheckBox;            // hidden
    QCheckBox* EraseDiskCheckBox;       // hidden
    QCheckBox* SelfExtractingCheckBox;  // hidden
    QCheckBox* SaveZipDefaultCheckBox;  // hidden
    // Page 7 "Viewer"
    QGroupBox* PictureRadioGroup;
    QButtonGroup* PictureButtons;
    QGroupBox* PictureFitRadioGroup;
    QButtonGroup* PictureFitButtons;

    // The OK, Cancel, "Restore" and HELP buttons of page `page` (nullptr
    // where the page has none).
    QPushButton* OkButton(int page) const;
    QPushButton* CancelButton(int page) const;
    QPushButton* RestoreButton(int page) const;
    QPushButton* HelpButton(int page) const;

    // Shows the record's values in every control.
    void LoadControls();
    // Copies every control into the record.
    void StoreControls();

    void OKClick();
    void RestoreClick();

private:
    QWidget* addPage(const QString& caption, const QString& heading);
    void addButtons(int page, QWidget* w, bool restore, const char* help);

    Settings& settings_;
    std::function<bool()> save_;
    QList<QPushButton*> ok_, cancel_, restore_, help_;
};
