#pragma once
// "Open With": the chooser shown for a file whose type no application
// opens. It lists the applications installed for the type (and the types
// it is a kind of) and takes a command typed instead; "OK" accepts the
// highlighted application, or the command when one is typed.

#include "viewers/ViewerPrograms.h"

#include <QDialog>
#include <QList>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class TOpenWithForm : public QDialog {
    Q_OBJECT
public:
    TOpenWithForm(const QString& file, const QList<ViewerProgram>& programs, QWidget* parent = nullptr);

    QLabel* FileLabel;
    QListWidget* ProgramList;
    QLineEdit* CommandEdit;
    QPushButton* OKButton;
    QPushButton* CancelButton;

    // The program chosen: the typed command when there is one, else the
    // highlighted application; empty when neither.
    ViewerProgram Choice() const;

private:
    void UpdateOkButton();
    QList<ViewerProgram> programs_;
};
