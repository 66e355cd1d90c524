#include "create/TTarArchiveOptionsForm.h"

#include "platform/Controls.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

using namespace Controls;

uint16_t TTarOptions::Permissions() const
{
    uint16_t m = 0;
    const bool bits[9] = {ownerRead, ownerWrite, ownerExecute, groupRead, groupWrite,
                          groupExecute, otherRead, otherWrite, otherExecute};
    for (int i = 0; i < 9; ++i)
        if (bits[i])
            m |= uint16_t(0400 >> i);
    return m;
}

void TTarOptions::SetPermissions(uint16_t mode)
{
    bool* bits[9] = {&ownerRead, &ownerWrite, &ownerExecute, &groupRead, &groupWrite,
                     &groupExecute, &otherRead, &otherWrite, &otherExecute};
    for (int i = 0; i < 9; ++i)
        *bits[i] = (mode & (0400 >> i)) != 0;
}

namespace {
QSpinBox* IdSpin(QWidget* parent, const char* name, int x, int y)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(0, 0x7fffffff);
    s->setGeometry(x, y, 110, 24);
    return s;
}
} // namespace

TTarArchiveOptionsForm::TTarArchiveOptionsForm(TTarOptions& options, uint16_t startPermissions, QWidget* parent)
    : QDialog(parent), options_(options)
{
    setObjectName(QStringLiteral("TarArchiveOptionsForm"));
    setWindowTitle(QStringLiteral("Tar Archive Options"));
    setFixedSize(460, 330);
    Label(this, "HeadingLabel", QStringLiteral("Tar Archive Options..."), 10, 8);

    OwnerReadCheckBox = CheckBox(this, "OwnerReadCheckBox", QStringLiteral("Read By Owner"), 10, 36, 140);
    OwnerWriteCheckBox = CheckBox(this, "OwnerWriteCheckBox", QStringLiteral("Write by Owner"), 10, 60, 140);
    OwnerExecuteCheckBox = CheckBox(this, "OwnerExecuteCheckBox", QStringLiteral("Execute by Owner"), 10, 84, 140);
    GroupReadCheckBox = CheckBox(this, "GroupReadCheckBox", QStringLiteral("Read by Group"), 160, 36, 140);
    GroupWriteCheckBox = CheckBox(this, "GroupWriteCheckBox", QStringLiteral("Write by Group"), 160, 60, 140);
    GroupExecuteCheckBox = CheckBox(this, "GroupExecuteCheckBox", QStringLiteral("Execute by Group"), 160, 84, 140);
    OtherReadCheckBox = CheckBox(this, "OtherReadCheckBox", QStringLiteral("Read by All"), 310, 36, 140);
    OtherWriteCheckBox = CheckBox(this, "OtherWriteCheckBox", QStringLiteral("Write by All"), 310, 60, 140);
    OtherExecuteCheckBox = CheckBox(this, "OtherExecuteCheckBox", QStringLiteral("Execute by All"), 310, 84, 140);
    ContiguousCheckBox = CheckBox(this, "ContiguousCheckBox", QStringLiteral("Contiguous"), 10, 112, 140);
    // The permission boxes start from the files' own bits.
    QCheckBox* const boxes[9] = {OwnerReadCheckBox, OwnerWriteCheckBox, OwnerExecuteCheckBox,
                                 GroupReadCheckBox, GroupWriteCheckBox, GroupExecuteCheckBox,
                                 OtherReadCheckBox, OtherWriteCheckBox, OtherExecuteCheckBox};
    for (int i = 0; i < 9; ++i)
        boxes[i]->setChecked((startPermissions & (0400 >> i)) != 0);

    Label(this, nullptr, QStringLiteral("Volume Header "), 10, 144);
    VHEdit = Edit(this, "VHEdit", 110, 142, 330);
    Label(this, nullptr, QStringLiteral("UID"), 10, 176);
    UIDSpinEdit = IdSpin(this, "UIDSpinEdit", 110, 174);
    Label(this, nullptr, QStringLiteral("GID"), 240, 176);
    GIDSpinEdit = IdSpin(this, "GIDSpinEdit", 290, 174);
    Label(this, nullptr, QStringLiteral("User Name"), 10, 208);
    UserNameEdit = Edit(this, "UserNameEdit", 110, 206, 330);
    Label(this, nullptr, QStringLiteral("Group Name"), 10, 238);
    GroupNameEdit = Edit(this, "GroupNameEdit", 110, 236, 330);
    Label(this, nullptr, QStringLiteral("Magic"), 10, 268);
    MagicEdit = Edit(this, "MagicEdit", 110, 266, 330);
    for (QLineEdit* e : {VHEdit, UserNameEdit, GroupNameEdit, MagicEdit})
        e->setMaxLength(255);

    Button1 = Button(this, "Button1", QStringLiteral("OK"), 270, 296, 80, 26);
    Button2 = Button(this, "Button2", QStringLiteral("Cancel"), 360, 296, 80, 26);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &TTarArchiveOptionsForm::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TTarArchiveOptionsForm::Button2Click);
}

void TTarArchiveOptionsForm::Button1Click()
{
    TTarOptions& o = options_;
    o.ownerRead = OwnerReadCheckBox->isChecked();
    o.ownerWrite = OwnerWriteCheckBox->isChecked();
    o.ownerExecute = OwnerExecuteCheckBox->isChecked();
    o.groupRead = GroupReadCheckBox->isChecked();
    o.groupWrite = GroupWriteCheckBox->isChecked();
    o.groupExecute = GroupExecuteCheckBox->isChecked();
    o.otherRead = OtherReadCheckBox->isChecked();
    o.otherWrite = OtherWriteCheckBox->isChecked();
    o.otherExecute = OtherExecuteCheckBox->isChecked();
    o.permissionsChosen = true;
    o.contiguous = ContiguousCheckBox->isChecked();
    o.volumeHeader = VHEdit->text();
    o.userId = uint32_t(UIDSpinEdit->value());
    o.groupId = uint32_t(GIDSpinEdit->value());
    o.userName = UserNameEdit->text();
    o.groupName = GroupNameEdit->text();
    o.magic = MagicEdit->text();
    accept();
}

void TTarArchiveOptionsForm::Button2Click()
{
    reject();
}
