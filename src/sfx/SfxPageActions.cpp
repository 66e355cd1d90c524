// The self-extracting page's commands: OPEN, the option rules, the icon, the
// auto-start file and CONVERT in both directions.

#include "sfx/TSfxAutoStartForm.h"
#include "sfx/TSfxPage.h"

#include "platform/MainHost.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "zipengine/SfxRequest.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/TZipFile.h"
#include "zipengine/ZipListing.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

namespace {

bool isZipName(const QString& path) { return path.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive); }

} // namespace

void TSfxPage::connectHandlers()
{
    connect(OpenSFXZipButton, &QPushButton::clicked, this, &TSfxPage::OpenSFXZipButtonClick);
    connect(SFXCreateButton, &QPushButton::clicked, this, &TSfxPage::SFXCreateButtonClick);
    connect(SFXResetButton, &QPushButton::clicked, this, &TSfxPage::SFXResetButtonClick);
    connect(SelectAutoStartButton, &QPushButton::clicked, this, &TSfxPage::SelectAutoStartButtonClick);
    connect(SFXIconButton, &QPushButton::clicked, this, &TSfxPage::SFXIconButtonClick);
    connect(SFXDirComboBox, &QComboBox::currentIndexChanged, this, &TSfxPage::SFXDirComboBoxChange);
    connect(AutoUnzipCheckBox, &QCheckBox::toggled, this, &TSfxPage::AutoUnzipCheckBoxClick);
    connect(SFXMessageTypeButtons, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on)
            SFXMessageTypeRadioGroupClick(id);
    });
    connect(ShowContentsCheckBox, &QCheckBox::toggled, this, &TSfxPage::ShowContentsCheckBoxClick);
    connect(SuccessMessageCheckBox, &QCheckBox::toggled, this, &TSfxPage::SuccessMessageCheckBoxClick);
    connect(CancelAutoStartCheckBox, &QCheckBox::toggled, this, &TSfxPage::CancelAutoStartCheckBoxClick);
}

// ---- Open and reset ----------------------------------------------------------

void TSfxPage::OpenSFXZipButtonClick()
{
    DisableSFXControls();
    FileDialogRequest request;
    request.title = QStringLiteral("Choose a zip file to Open");
    request.filter = QStringLiteral("Zip and Self Extracting Files (*.zip *.exe);;Zip Files (*.zip);;"
                                    "Self Extracting Zip (*.exe)");
    request.startFolder = settings_.LastOpenFolder;
    const QString chosen = host_.prompter().openFile(request);
    if (chosen.isEmpty())
        return;
    state_.BatchState.ReloadOnReturn = false;
    TZipEngine& engine = host_.zipEngine();
    engine.ErrCode = 0;
    if (SetEngineZipFile)
        SetEngineZipFile(chosen);
    else
        engine.SetZipFileName(chosen);
    if (engine.ErrCode != 0)
        return;
    const QFileInfo fi(chosen);
    settings_.LastOpenFolder = fi.absolutePath();
    state_.CurrentArchive = chosen;
    if (isZipName(chosen)) {
        EnableSFXControls();
    } else {
        SFXCreateButton->setEnabled(true);
        SFXResetButton->setEnabled(true);
    }
    ZipFileNameLabel->setText(chosen);
}

void TSfxPage::SFXResetButtonClick() { DisableSFXControls(); }

// ---- Option rules ------------------------------------------------------------

void TSfxPage::AutoUnzipCheckBoxClick()
{
    if (!AutoUnzipCheckBox->isChecked())
        return;
    SetMessageType(0);
    CancelAutoStartCheckBox->setChecked(false);
    ShowContentsCheckBox->setChecked(false);
    SuccessMessageCheckBox->setChecked(true);
    ResetFolderChoice();
}

void TSfxPage::SFXMessageTypeRadioGroupClick(int kind)
{
    if (kind != 0)
        AutoUnzipCheckBox->setChecked(false);
}

void TSfxPage::ShowContentsCheckBoxClick()
{
    if (ShowContentsCheckBox->isChecked())
        AutoUnzipCheckBox->setChecked(false);
}

void TSfxPage::SuccessMessageCheckBoxClick()
{
    if (!SuccessMessageCheckBox->isChecked())
        AutoUnzipCheckBox->setChecked(false);
}

void TSfxPage::CancelAutoStartCheckBoxClick()
{
    if (CancelAutoStartCheckBox->isChecked())
        AutoUnzipCheckBox->setChecked(false);
}

void TSfxPage::SFXDirComboBoxChange(int index)
{
    if (index > 0)
        AutoUnzipCheckBox->setChecked(false);
    if (index <= 1) {
        SelDirEdit->setText(SFXDirComboBox->itemText(qMax(index, 0)));
        return;
    }
    const QString folder = host_.BrowseforFolder(
        QStringLiteral("SELECT THE FOLDER FOR SELF EXTRACTING ZIP FILE OPERATION ON THE USERS COMPUTER"), false, true);
    if (folder.isEmpty()) {
        ResetFolderChoice();
        return;
    }
    SelDirEdit->setText(folder);
}

// ---- Icon and auto-start file ------------------------------------------------

bool TSfxPage::CheckOutIcon(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = f.readAll();
    if (!SfxIconImage::HeaderIs32x32x16(bytes))
        return false;
    settings_.SfxIconFile = path;
    SFXIconImage->setPixmap(QPixmap::fromImage(QImage::fromData(bytes, "ICO")));
    host_.zipEngine().SFXIcon = bytes;
    return true;
}

void TSfxPage::SFXIconButtonClick()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Select an Icon for the Self Extracting Zip File");
    request.filter = QStringLiteral("Icons (*.ico)");
    request.startFolder = settings_.LastIconFolder;
    const QString chosen = host_.prompter().openFile(request);
    if (chosen.isEmpty())
        return;
    settings_.LastIconFolder = QFileInfo(chosen).absolutePath();
    if (!CheckOutIcon(chosen))
        host_.prompter().information(SfxTexts::IconRefusedText());
}

void TSfxPage::SelectAutoStartButtonClick()
{
    TZipFile lister;
    lister.SetFileName(state_.CurrentArchive);
    if (lister.FileCount() == 0) {
        host_.prompter().information(ZipListing::NoReadableFilesText());
        return;
    }
    TSfxAutoStartForm form(this);
    for (const ZipFile& entry : lister.Records()) {
        QString caption, folder;
        ZipListing::SplitStoredName(entry.FileName, caption, folder);
        form.AddEntry(caption, folder);
    }
    host_.prompter().runDialog(form);
    const QString choice = form.Choice();
    if (!choice.isEmpty())
        AutoStartFileNameLabel->setText(choice);
}

// ---- Convert -----------------------------------------------------------------

void TSfxPage::SFXCreateButtonClick()
{
    if (isZipName(host_.zipEngine().ZipFileName()))
        convertToProgram();
    else
        convertToZip();
}

void TSfxPage::convertToProgram()
{
    TZipEngine& engine = host_.zipEngine();
    Prompter& prompter = host_.prompter();
    SfxRequest request;
    request.AutoRun = AutoUnzipCheckBox->isChecked();
    request.AskFiles = ShowContentsCheckBox->isChecked();
    request.NoSuccessMsg = SuccessMessageCheckBox->isChecked();
    request.AskCmdLine = CancelAutoStartCheckBox->isChecked();
    request.Title = CaptionEdit->text();
    request.FolderChoice = SFXDirComboBox->currentIndex();
    request.Folder = SelDirEdit->text();
    request.MessageKind = MessageType();
    request.Message = MessageTextEdit->text();
    request.AutoStart = AutoStartFileNameLabel->text();

    const QString zip = engine.ZipFileName();
    QString source = zip;
    if (request.AutoRun) {
        source = SfxTexts::AutoRunName(zip);
        if (source != zip) {
            QFile f(zip);
            if (!f.rename(source)) {
                prompter.information(f.errorString());
                return;
            }
            engine.SetZipFileName(source);
        }
    }
    request.ApplyTo(engine);
    const int32_t result = engine.MakeSelfExtracting();
    if (result == 0) {
        prompter.information(SfxTexts::ConvertedToProgramText(state_.CurrentArchive));
    } else {
        // A failed conversion leaves the zip as it was, name included; where
        // its name cannot be given back, the user is told where it is.
        QString text = SfxTexts::FailureText(true, result);
        QFile renamed(source);
        if (source != zip) {
            if (renamed.rename(zip))
                engine.SetZipFileName(zip);
            else
                text += QStringLiteral("\n\nThe zip file is left as %1: %2").arg(source, renamed.errorString());
        }
        prompter.information(text);
    }
    DisableSFXControls();
}

void TSfxPage::convertToZip()
{
    TZipEngine& engine = host_.zipEngine();
    const int32_t result = engine.MakePlainZip();
    if (result == 0) {
        host_.prompter().information(SfxTexts::ConvertedToZipText(state_.CurrentArchive));
        state_.BatchState.ReloadOnReturn = true;
        const QFileInfo fi(state_.CurrentArchive);
        state_.CurrentArchive = fi.path() + QLatin1Char('/') + fi.completeBaseName() + QStringLiteral(".zip");
        if (engine.ZipFileName() != state_.CurrentArchive)
            engine.SetZipFileName(state_.CurrentArchive);
    } else {
        host_.prompter().information(SfxTexts::FailureText(false, result));
    }
    DisableSFXControls();
}
