#pragma once
// The two small dialogs of a batch run: where the unzipped files go, and how
// moved zips are filed.

#include <QDialog>

class QGroupBox;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// "Select Destination for Unzipped files": OK ends it with the chosen item's
// position plus one (1 = beside each zip, 2 = a folder to choose). Closing it
// any other way ends it with 0.
class TBatchDestinationForm : public QDialog {
    Q_OBJECT
public:
    enum Result { Closed = 0, SameFolder = 1, ChooseFolder = 2 };
    explicit TBatchDestinationForm(QWidget* parent = nullptr);

    int ItemIndex() const;

    QGroupBox* DestinationRadioGroup;
    QRadioButton* SameFolderRadioButton;
    QRadioButton* ChooseFolderRadioButton;
    QPushButton* OKButton;
};

// "Move Zip File Folder Creation Options": OK gives 255, Cancel -1; closing
// the window counts as Cancel.
class TMoveOptionsForm : public QDialog {
    Q_OBJECT
public:
    static constexpr int OkResult = 255;
    static constexpr int CancelResult = -1;
    explicit TMoveOptionsForm(QWidget* parent = nullptr);

    bool RecreateChosen() const;
    void reject() override;

    QPlainTextEdit* ExplanationMemo;
    QGroupBox* FolderCreationRadioGroup;
    QRadioButton* RecreateRadioButton;
    QRadioButton* FlatRadioButton;
    QPushButton* OKButton;
    QPushButton* CancelButton;
};
