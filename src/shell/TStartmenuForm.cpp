#include "shell/TStartmenuForm.h"

#include "platform/Controls.h"
#include "platform/Prompter.h"
#include "shell/StartupLinks.h"
#include "shell/TStartMenuTreeForm.h"

#include <QCheckBox>
#include <QPushButton>

using namespace Controls;
using StartupLinks::Place;

TStartmenuForm::TStartmenuForm(const QString& target, Prompter& prompter, QWidget* parent)
    : QDialog(parent), target_(target), prompter_(prompter)
{
    setObjectName(QStringLiteral("StartmenuForm"));
    setWindowTitle(QStringLiteral("Insert a link onto the Windows Start Menu"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(470, 170);
    setModal(true);

    StartmenuCheckBox = CheckBox(this, "StartmenuCheckBox",
                                 QStringLiteral("Check  this box to add a link to the Pop up Windows Start Menu"), 16, 16, 440);
    QuicklaunchCheckBox = CheckBox(this, "QuicklaunchCheckBox",
                                   QStringLiteral("Check  this box to add a link to the Quick Launch Toolbar"), 16, 46, 440);
    DesktopCheckBox = CheckBox(this, "DesktopCheckBox", QStringLiteral("Check  this box to add a link on the Desktop"),
                               16, 76, 440);
    OKButton = Button(this, "OKButton", QStringLiteral("OK"), 286, 126, 80);
    CancelButton = Button(this, "CancelButton", QStringLiteral("Cancel"), 374, 126, 80);
    StartmenuCheckBox->setChecked(true);
    CheckBoxClick();

    for (QCheckBox* box : {StartmenuCheckBox, QuicklaunchCheckBox, DesktopCheckBox})
        connect(box, &QCheckBox::clicked, this, &TStartmenuForm::CheckBoxClick);
    connect(OKButton, &QPushButton::clicked, this, &TStartmenuForm::OKClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TStartmenuForm::CheckBoxClick()
{
    OKButton->setEnabled(StartmenuCheckBox->isChecked() || QuicklaunchCheckBox->isChecked() ||
                         DesktopCheckBox->isChecked());
}

void TStartmenuForm::OKClick()
{
    if (DesktopCheckBox->isChecked())
        StartupLinks::Create(target_, Place::Desktop, QString());
    if (QuicklaunchCheckBox->isChecked())
        StartupLinks::Create(target_, Place::QuickLaunch, QString());
    if (StartmenuCheckBox->isChecked()) {
        const QString folder = StartupLinks::Folder(Place::StartMenu);
        if (folder.isEmpty()) {
            prompter_.information(QStringLiteral("Windows returned an error when trying to locate the Start Menu "
                                                 "directory.  The link to this program was not created."));
        } else {
            TStartMenuTreeForm chooser(folder, prompter_, this);
            if (prompter_.runDialog(chooser) == QDialog::Accepted)
                StartupLinks::Create(target_, Place::StartMenu, chooser.ChosenFolder());
        }
    }
    accept();
}
