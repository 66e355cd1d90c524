#include "sfx/TSfxPage.h"

#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

using namespace Controls;

TSfxPage::TSfxPage(TMainHost& host, Settings& settings, TAppState& state, QWidget* parent)
    : QWidget(parent), host_(host), settings_(settings), state_(state)
{
    setObjectName(QStringLiteral("SfxPage"));

    Step1Panel = Panel(this, "SFXStep1Panel", 4, 4, 120, 58);
    Label(Step1Panel, nullptr, QStringLiteral("Step 1...."), 6, 3);
    OpenSFXZipButton = Button(Step1Panel, "OpenSFXZipButton", QStringLiteral("OPEN"), 6, 24, 100, 28);
    Step2Panel = Panel(this, "SFXStep2Panel", 128, 4, 200, 58);
    Label(Step2Panel, nullptr, QStringLiteral("Step 2...."), 6, 3);
    SFXCreateButton = Button(Step2Panel, "SFXCreateButton", QStringLiteral("CONVERT"), 6, 24, 100, 28);
    SFXResetButton = Button(this, "SFXResetButton", QStringLiteral("RESET"), 340, 28, 75, 28);
    SFXHelpButton = Button(this, "SFXHelpButton", QStringLiteral("HELP"), 420, 28, 75, 28);
    SFXExitButton = Button(this, "SFXExitButton", QStringLiteral("EXIT"), 504, 28, 75, 28);
    FileNameCaption = Label(this, "FileNameCaption", QStringLiteral("File Name : "), 8, 72);
    ZipFileNameLabel = Label(this, "ZipFileNameLabel", QStringLiteral("-"), 80, 72, 500);

    SFXPanel = Panel(this, "SFXPanel", 1, 99, 584, 278);
    CaptionPrompt = Label(SFXPanel, "CaptionPrompt", QStringLiteral("Enter an Optional Title in the box below"), 8, 4);
    CaptionEdit = Edit(SFXPanel, "CaptionEdit", 8, 22, 270);
    CaptionEdit->setMaxLength(50);
    DirPrompt = Label(SFXPanel, "DirPrompt", QStringLiteral("Select the default Unzip folder"), 296, 4);
    SFXDirComboBox = new QComboBox(SFXPanel);
    SFXDirComboBox->setObjectName(QStringLiteral("SFXDirComboBox"));
    SFXDirComboBox->addItems({QStringLiteral("The Users Currently Open Folder"),
                              QStringLiteral("The Users Temporary Directory"), QStringLiteral("A Selected Folder")});
    SFXDirComboBox->setGeometry(296, 22, 280, 24);
    SelDirEdit = ReadOnlyEdit(SFXPanel, "SelDirEdit", QString(), 296, 50, 280);

    SFXMessageTypeRadioGroup = new QGroupBox(QStringLiteral("You can display an optional message "), SFXPanel);
    SFXMessageTypeRadioGroup->setObjectName(QStringLiteral("SFXMessageTypeRadioGroup"));
    SFXMessageTypeRadioGroup->setGeometry(8, 52, 270, 112);
    SFXMessageTypeButtons = new QButtonGroup(this);
    const QStringList kinds{QStringLiteral("No Message Box"), QStringLiteral("Message Box : OK Button"),
                            QStringLiteral("Introduction OK, CANCEL Buttons"),
                            QStringLiteral("Confirmation : YES, NO Buttons")};
    for (int i = 0; i < kinds.size(); ++i) {
        auto* r = new QRadioButton(kinds[i], SFXMessageTypeRadioGroup);
        r->setObjectName(QStringLiteral("SFXMessageType%1").arg(i));
        r->setGeometry(8, 20 + i * 22, 254, 20);
        SFXMessageTypeButtons->addButton(r, i);
    }
    MessagePrompt = Label(SFXPanel, "MessagePrompt", QStringLiteral("Message :"), 8, 170);
    MessageTextEdit = Edit(SFXPanel, "MessageTextEdit", 70, 168, 506);
    MessageTextEdit->setMaxLength(160);

    ShowContentsCheckBox = CheckBox(SFXPanel, "ShowContentsCheckBox", QStringLiteral("Allow user to select files to unzip"), 296, 80, 280);
    ShowContentsCheckBox->setChecked(true);
    SuccessMessageCheckBox = CheckBox(SFXPanel, "SuccessMessageCheckBox", QStringLiteral("Do not show success message"), 296, 102, 280);
    AutoUnzipCheckBox = CheckBox(SFXPanel, "AutoUnzipCheckBox", QStringLiteral("Automatically Unzip to user's"), 296, 124, 200);
    AutoUnzipNote = Label(SFXPanel, "AutoUnzipNote", QStringLiteral("current folder"), 316, 144);
    SFXIconButton = Button(SFXPanel, "SFXIconButton", QStringLiteral("Select Icon"), 500, 122, 76, 25);
    SFXIconImage = new QLabel(SFXPanel);
    SFXIconImage->setObjectName(QStringLiteral("SFXIconImage"));
    SFXIconImage->setGeometry(522, 84, 32, 32);
    SFXIconImage->setFrameShape(QFrame::Box);

    AutoStartPrompt = Label(SFXPanel, "AutoStartPrompt", QStringLiteral("Automatically launch a file..."), 8, 200);
    SelectAutoStartButton = Button(SFXPanel, "SelectAutoStartButton", QStringLiteral("Select File to Auto Start"), 8, 220, 170, 26);
    AutoStartFileNameLabel = Label(SFXPanel, "AutoStartFileNameLabel", QString(), 184, 222, 392, 22);
    AutoStartFileNameLabel->setFrameShape(QFrame::StyledPanel);
    AutoStartFileNameLabel->setFrameShadow(QFrame::Sunken);
    CancelAutoStartCheckBox = CheckBox(SFXPanel, "CancelAutoStartCheckBox", QStringLiteral("Allow user to cancel Auto Start"), 8, 250, 280);
    CancelAutoStartCheckBox->setChecked(true);

    DisableSFXControls();
    ZipFileNameLabel->setText(QStringLiteral("-"));
    connectHandlers();
}

int TSfxPage::MessageType() const
{
    const int id = SFXMessageTypeButtons->checkedId();
    return id < 0 ? 0 : id;
}

void TSfxPage::SetMessageType(int kind)
{
    if (QAbstractButton* b = SFXMessageTypeButtons->button(kind))
        b->setChecked(true);
}

void TSfxPage::FormResize(int, int H)
{
    if (H <= 490)
        SFXPanel->move(1, 99);
    else
        SFXPanel->move(58, 145);
}

void TSfxPage::ResetFolderChoice()
{
    SFXDirComboBox->setCurrentIndex(0);
    SelDirEdit->setText(SFXDirComboBox->itemText(0));
}

QList<QWidget*> TSfxPage::optionControls() const
{
    return {CaptionPrompt, CaptionEdit, DirPrompt, SFXDirComboBox, SelDirEdit, SFXMessageTypeRadioGroup,
            MessagePrompt, MessageTextEdit, ShowContentsCheckBox, SuccessMessageCheckBox, AutoUnzipCheckBox,
            AutoUnzipNote, SFXIconButton, SFXIconImage, AutoStartPrompt, SelectAutoStartButton,
            AutoStartFileNameLabel, CancelAutoStartCheckBox, FileNameCaption, ZipFileNameLabel};
}

void TSfxPage::DisableSFXControls()
{
    for (QWidget* w : optionControls())
        w->setEnabled(false);
    SFXCreateButton->setEnabled(false);
    SFXResetButton->setEnabled(false);
    ZipFileNameLabel->clear();
    CaptionEdit->clear();
    MessageTextEdit->clear();
    AutoStartFileNameLabel->clear();
    SetMessageType(0);
    ResetFolderChoice();
}

void TSfxPage::EnableSFXControls()
{
    for (QWidget* w : optionControls())
        w->setEnabled(true);
    SFXCreateButton->setEnabled(true);
    SFXResetButton->setEnabled(true);
    ResetFolderChoice();
}

void TSfxPage::ReceiveZip(const QString& zip)
{
    ZipFileNameLabel->setText(zip);
    if (SetEngineZipFile)
        SetEngineZipFile(zip);
    EnableSFXControls();
}
