#pragma once
// "Insert a link onto the Windows Start Menu": where to put launchers of the
// program (the application menu, the Quick Launch toolbar, the desktop).

#include <QDialog>

class Prompter;
class QCheckBox;
class QPushButton;

class TStartmenuForm : public QDialog {
    Q_OBJECT
public:
    // `target`: the program the links start.
    TStartmenuForm(const QString& target, Prompter& prompter, QWidget* parent = nullptr);

    void CheckBoxClick();
    void OKClick();

    QCheckBox* StartmenuCheckBox;
    QCheckBox* QuicklaunchCheckBox;
    QCheckBox* DesktopCheckBox;
    QPushButton* OKButton;
    QPushButton* CancelButton;

private:
    QString target_;
    Prompter& prompter_;
};
