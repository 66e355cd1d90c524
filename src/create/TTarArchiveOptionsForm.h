#pragma once
// "Tar Archive Options": the attributes of the next tar's entries. A fresh
// dialog shows the defaults, with the permission boxes ticked as the files'
// own bits are; OK copies every control into the options record.

#include "create/TarOptions.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TTarArchiveOptionsForm : public QDialog {
    Q_OBJECT
public:
    TTarArchiveOptionsForm(TTarOptions& options, uint16_t startPermissions, QWidget* parent = nullptr);

    QCheckBox *OwnerReadCheckBox, *OwnerWriteCheckBox, *OwnerExecuteCheckBox;
    QCheckBox *GroupReadCheckBox, *GroupWriteCheckBox, *GroupExecuteCheckBox;
    QCheckBox *OtherReadCheckBox, *OtherWriteCheckBox, *OtherExecuteCheckBox;
    QCheckBox* ContiguousCheckBox;
    QLineEdit* VHEdit;
    QSpinBox* UIDSpinEdit;
    QSpinBox* GIDSpinEdit;
    QLineEdit* UserNameEdit;
    QLineEdit* GroupNameEdit;
    QLineEdit* MagicEdit;
    QPushButton* Button1;  // OK
    QPushButton* Button2;  // Cancel

    void Button1Click();
    void Button2Click();

private:
    TTarOptions& options_;
};
