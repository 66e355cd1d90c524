// The create page's ZIP button: type, name and room, then the zip runs over
// the engine (the tar kinds continue in CreateTar.cpp).

#include "create/TCreatePage.h"
#include "create/TZipTypeForm.h"

#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "settings/TPropertiesForm.h"
#include "zipdir/ScratchFiles.h"
#include "zipengine/TZipEngine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

#include <cerrno>
#include <cstring>

namespace {

enum ArchiveType { TypeAsk = 0, TypeZip = 1, TypeTarGz = 2, TypeTar = 3, TypeGz = 4 };

const QString NoFilesText = QStringLiteral("YOU HAVE NOT SELECTED ANY FILES TO ADD TO THIS ZIP FILE");

struct TypeInfo {
    const char* filter;
    const char* suffix;
};
TypeInfo InfoOf(int type)
{
    switch (type) {
    case TypeTarGz: return {"GZipped TAR Files (*.tar.gz)", ".tar.gz"};
    case TypeTar: return {"TAR Files (*.tar)", ".tar"};
    case TypeGz: return {"GZip Files (*.gz)", ".gz"};
    default: return {"ZIP Files (*.zip)", ".zip"};
    }
}

// The engine's messages while a zip run lasts: they name the user's archive,
// not the scratch file it is written under, and the library's warnings about
// files it left out ("... (skipped)") are noted. The window still shows each.
class ZipRunMessages {
public:
    ZipRunMessages(TZipEngine& engine, const QString& scratch, const QString& finalName)
        : engine_(engine), saved_(engine.OnMessage)
    {
        engine.OnMessage = [this, scratch, finalName](TZipEngine& sender, int32_t code, const QString& message) {
            QString text = message;
            text.replace(scratch, finalName);
            sender.LastMessage = text;
            if (saved_)
                saved_(sender, code, text);
            if ((code & 0xFF) == 1 && text.endsWith(QLatin1String("(skipped)")))
                lines << text;
        };
    }
    ~ZipRunMessages() { engine_.OnMessage = saved_; }
    ZipRunMessages(const ZipRunMessages&) = delete;
    ZipRunMessages& operator=(const ZipRunMessages&) = delete;

    QStringList lines;

private:
    TZipEngine& engine_;
    decltype(TZipEngine::OnMessage) saved_;
};

} // namespace

// ---------------------------------------------------------------- ZIP

int TCreatePage::AskArchiveType()
{
    TZipTypeForm dlg(RowCount() == 1, this);
    const int result = host_.prompter().runDialog(dlg);
    const int type = result >= TypeZip && result <= TypeGz ? result : TypeZip;
    if (dlg.SetAsDefault())
        settings_.DefaultArchiveType = type;
    return type;
}

void TCreatePage::ZipButtonClick()
{
    Prompter& prompter = host_.prompter();
    // 1
    if (RowCount() == 0) {
        prompter.information(NoFilesText);
        return;
    }
    // 2, 3
    int type = settings_.DefaultArchiveType;
    if (type == TypeAsk)
        type = AskArchiveType();
    if (type < TypeAsk || type > TypeGz)
        type = TypeZip;
    if (type == TypeGz && RowCount() > 1)
        type = TypeZip;
    // 4, 5
    const TypeInfo info = InfoOf(type);
    FileDialogRequest request;
    request.title = QStringLiteral("Choose a name for your zip file ");
    request.filter = QString::fromLatin1(info.filter);
    request.defaultSuffix = QString::fromLatin1(info.suffix + 1);
    if (!settings_.LastSaveFolder.isEmpty())
        request.startFolder = settings_.LastSaveFolder;
    const QString chosenText = prompter.saveFile(request);
    if (chosenText.isEmpty()) {
        SetHistoryButtons(true);
        FocusList();
        return;
    }
    const QString chosen = QFileInfo(chosenText).absoluteFilePath();
    const QString chosenFolder = QFileInfo(chosen).absolutePath();
    // 6
    settings_.LastSaveFolder = chosenFolder;
    // 7
    const int64_t total = ZipListTotal;
    const int64_t required = type == TypeTar ? total : total / 10 * 7;
    if (Platform::FreeOnDisk(chosen) < required) {
        const PromptButton b = prompter.message(
            PromptKind::Warning,
            QStringLiteral("THERE MAY NOT BE ENOUGH ROOM ON THE DISK\rTO SAVE THIS ZIP FILE.  CHOOSE CANCEL TO SELECT A "
                           "NEW DRIVE\rATTEMPT TO SAVE THIS ZIP FILE ON THE SELECTED DRIVE?"),
            PromptButtons::YesCancel);
        if (b != PromptButton::Yes)
            return;
    }
    // 8: the temporary tar's folder is chosen afresh for every run.
    TarScratchFolder.clear();
    if (type == TypeTarGz) {
        const int64_t packed = int64_t(double(total) * 0.65);
        const QString programDrive = state_.DataFolder;
        if (Platform::SameFileSystem(chosen, programDrive)) {
            if (Platform::FreeOnDisk(programDrive) < total + packed) {
                prompter.information(QStringLiteral(
                    "THE PROGRAM MUST CREATE A TAR FILE BEFORE CREATING THE GZIPPED FILE, AND THERE IS NOT ENOUGH ROOM "
                    "ON THE DRIVE YOU HAVE CHOSEN FOR BOTH FILES.  CHOOSE ANOTHER FOLDER IN WHICH TO SAVE THE GZIPPED "
                    "FILE AND TRY AGAIN."));
                return;
            }
        } else {
            if (Platform::FreeOnDisk(programDrive) < total && !ChooseNewTempFolder(total))
                return;
            if (Platform::FreeOnDisk(chosen) + 65000 < packed) {
                prompter.information(QStringLiteral(
                    "THERE MAY NOT BE ENOUGH ROOM ON THE DRIVE YOU HAVE SELECTED TO SAVE THE GZIPPED FILE.  TRY "
                    "SELECTING ANOTHER DRIVE OR FREEING UP SOME ROOM ON DISK AND TRY AGAIN."));
                TarScratchFolder.clear();
                return;
            }
        }
    }
    // 9
    QString finalName = chosen;
    const QString suffix = QString::fromLatin1(info.suffix);
    if (!finalName.toLower().contains(suffix))
        finalName += suffix;
    // The dialog asked about the name it returned; a name the ending changed
    // has not been asked about yet.
    if (finalName != chosen && QFileInfo::exists(finalName) &&
        prompter.question(QStringLiteral("THE FILE ") + QDir::toNativeSeparators(finalName) +
                          QStringLiteral(" ALREADY EXISTS.\rDO YOU WANT TO REPLACE IT?")) != PromptButton::Yes) {
        SetHistoryButtons(true);
        FocusList();
        return;
    }
    state_.CurrentArchive = finalName;
    FinalArchiveName = finalName;
    // 10: an archive of that name is replaced only once the new one is complete.
    // 11
    switch (type) {
    case TypeTarGz: MakeTarGzFilethread(finalName); return;
    case TypeTar: MakeTarFileThread(finalName); return;
    case TypeGz: MakeGZFileThread(finalName); return;
    default: break;
    }
    {
        Platform::BusyCursor busy;
        if (settings_.RelativePaths)
            MakeZipRelPath(finalName);
        else
            MakeZipFDLL(finalName);
    }
    host_.EnableAll();
    SetHistoryButtons(true);
    FocusList();
}

void TCreatePage::ZipPropertiesButtonClick()
{
    host_.ShowProperties(settings_.DefaultArchiveType == TypeZip ? TPropertiesForm::AddFilesPage
                                                                 : TPropertiesForm::DefaultTypePage);
    FocusList();
}

// ---------------------------------------------------------------- the zip runs

void TCreatePage::SetEngineOptions()
{
    host_.DisableAll();
    TZipEngine& e = host_.zipEngine();
    uint16_t o = TZipEngine::AddHiddenFiles;
    if (settings_.SaveFolders)
        o |= TZipEngine::AddDirNames;
    if (settings_.ArchiveBitOnly)
        o |= TZipEngine::AddArchiveOnly | TZipEngine::AddResetArchive;
    if (!settings_.LongNames)
        o |= TZipEngine::AddForceDOS;
    if (settings_.PasswordProtect)
        o |= TZipEngine::AddEncrypt;
    if (settings_.SetZipTime)
        o |= TZipEngine::AddZipTime;
    // A set is written whole under the scratch name first and then copied
    // out part by part (EndZipRun), so that the per-file run can add to it.
    if (settings_.SpanDisks || settings_.EraseDisk) {
        TSpanSizeForm dlg(this);
        host_.prompter().runDialog(dlg);
        MaxVolumeSize = dlg.ChosenSize();
        e.MaxVolumeSize = int32_t(MaxVolumeSize);
    }
    e.AddOptions = o;
    e.AddAes = settings_.PasswordProtect && settings_.AesEncryption;
}

bool TCreatePage::BeginZipRun(const QString& zipName, QString& newName)
{
    if (RowCount() == 0) {
        host_.prompter().information(NoFilesText);
        return false;
    }
    SetEngineOptions();
    TZipEngine& e = host_.zipEngine();
    newName = Platform::ScratchNameBeside(zipName);
    e.SetZipFileName(newName);
    e.FSpecArgs.clear();
    e.FSpecArgsExcl.clear();
    e.RootDir.clear();
    e.ErrCode = 0;
    state_.BatchState.BytesDone = 0;
    state_.BatchState.ZipUnzippedSize = 0;
    state_.BatchState.ProgressTarget = CreateProgress;
    return true;
}

void TCreatePage::EndZipRun(const QString& zipName, const QString& newName, bool failed, const QStringList& leftOut)
{
    TZipEngine& e = host_.zipEngine();
    Prompter& prompter = host_.prompter();
    ZipProgressBar->setValue(0);
    e.FSpecArgs.clear();
    const bool written = QFileInfo(newName).isFile();
    // Files the library could not read are left out with a warning; the
    // archive of the others is still worth keeping.
    const bool onlyLeftOut = e.ErrCode == 1 && !leftOut.isEmpty();
    if (failed || (e.ErrCode != 0 && !onlyLeftOut) || !written) {
        // The archive of that name, if there was one, stays as it was.
        if (written)
            Platform::RemoveScratch(newName);
        e.SetZipFileName(zipName);
        if (!failed && e.ErrCode == 0 && leftOut.isEmpty())
            prompter.information(QStringLiteral("THERE WERE NO FILES TO ZIP\rADD FILES TO THE GRID LIST AND TRY AGAIN"));
        return;
    }
    QString madeName = zipName;
    if (settings_.SpanDisks || settings_.EraseDisk) {
        if (!WriteZipSet(newName, madeName))
            return;
    } else if (!MoveToFinalName(newName, zipName)) {
        // Kept under its scratch name when it could not take its own.
        e.SetZipFileName(QFileInfo::exists(newName) ? newName : zipName);
        return;
    }
    e.SetZipFileName(madeName);
    QString text = QStringLiteral("THE ARCHIVE FILE ") + QFileInfo(madeName).fileName() + QStringLiteral("\r") +
                   QStringLiteral("WAS CREATED IN THE FOLDER ") + QDir::toNativeSeparators(settings_.LastSaveFolder);
    if (!leftOut.isEmpty())
        text += QStringLiteral("\r\rTHESE FILES WERE LEFT OUT OF IT:\r") + leftOut.join(QLatin1Char('\r'));
    prompter.information(text);
}

void TCreatePage::MakeZipFDLL(const QString& zipName)
{
    QString newName;
    if (!BeginZipRun(zipName, newName))
        return;
    TZipEngine& e = host_.zipEngine();
    int64_t total = 0;
    const int rows = RowCount();
    for (int r = 0; r < rows; ++r) {
        e.FSpecArgs << ZipListModel->item(r, SourceColumn)->text();
        total += ZipListModel->item(r, SizeColumn)->data(SizeRole).toLongLong();
    }
    state_.BatchState.ZipUnzippedSize = total;
    if (e.FSpecArgs.isEmpty()) {
        host_.prompter().information(QStringLiteral("THERE WERE NO FILES TO ZIP\rADD FILES TO THE GRID LIST AND TRY AGAIN"));
        return;
    }
    ZipProgressBar->setRange(0, 100);
    ZipProgressBar->setValue(0);
    bool failed = false;
    ZipRunMessages leftOut(e, newName, zipName);
    try {
        e.Add();
    } catch (...) {
        host_.prompter().information(QStringLiteral("FATAL DLL ERROR"));
        failed = true;
    }
    EndZipRun(zipName, newName, failed, leftOut.lines);
}

void TCreatePage::MakeZipRelPath(const QString& zipName)
{
    QString newName;
    if (!BeginZipRun(zipName, newName))
        return;
    TZipEngine& e = host_.zipEngine();
    const int rows = RowCount();
    ZipProgressBar->setRange(0, rows);
    ZipProgressBar->setValue(0);
    bool failed = false;
    ZipRunMessages leftOut(e, newName, zipName);
    for (int r = 0; r < rows && e.ErrCode == 0; ++r) {
        const QString source = ZipListModel->item(r, SourceColumn)->text();
        const QString path = ZipListModel->item(r, PathColumn)->text();
        e.FSpecArgs = QStringList{source};
        const QString folder = SourceList::FileFolder(source);
        QString root = path.isEmpty() ? folder : folder.left(folder.size() - (path.size() + 1));
        if (root.isEmpty())
            root = QStringLiteral("/");
        e.RootDir = root;
        const qsizetype leftOutBefore = leftOut.lines.size();
        try {
            e.Add();
        } catch (...) {
            host_.prompter().information(QStringLiteral("FATAL DLL ERROR"));
            failed = true;
        }
        // A file the library could not read is left out (a warning, or
        // "nothing added" when it was the run's only file); the rest go on.
        if (leftOut.lines.size() > leftOutBefore && (e.ErrCode == 1 || e.ErrCode == 11))
            e.ErrCode = 0;
        e.FSpecArgs.clear();
        ZipProgressBar->setValue(r + 1);
    }
    e.RootDir.clear();
    if (e.ErrCode == 0 && !leftOut.lines.isEmpty())
        e.ErrCode = 1;
    EndZipRun(zipName, newName, failed, leftOut.lines);
}

bool TCreatePage::WriteZipSet(const QString& scratch, QString& archive)
{
    TZipEngine& e = host_.zipEngine();
    e.AddOptions |= TZipEngine::AddDiskSpan | (settings_.EraseDisk ? TZipEngine::AddDiskSpanErase : 0);
    const int32_t result = e.WriteSpan(scratch, archive);
    Platform::RemoveScratch(scratch);
    if (result != 0) {
        e.SetZipFileName(archive);
        return false;
    }
    // On a fixed drive the set is known by its last part, which holds the directory.
    if (!Platform::IsRemovableDrive(archive))
        archive = TZipEngine::PartFileName(archive, e.CurrentDisk + 1);
    state_.CurrentArchive = archive;
    FinalArchiveName = archive;
    return true;
}

bool TCreatePage::MoveToFinalName(const QString& scratch, const QString& finalName)
{
    std::string why;
    bool synced = true;
    if (zipdir::ReplaceFile(QFile::encodeName(scratch).toStdString(), QFile::encodeName(finalName).toStdString(), why,
                            &synced))
        return true;
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    if (!synced) {
        // Not whole on disk: no archive to keep under any name.
        Platform::RemoveScratch(scratch);
        host_.prompter().information(QStringLiteral("THE ARCHIVE FILE COULD NOT BE SAVED AS\r") +
                                     QDir::toNativeSeparators(finalName) + QStringLiteral("\r(") + reason +
                                     QStringLiteral(")"));
        return false;
    }
    host_.prompter().information(QStringLiteral("THE ARCHIVE FILE COULD NOT BE SAVED AS\r") +
                                 QDir::toNativeSeparators(finalName) + QStringLiteral("\r(") + reason +
                                 QStringLiteral(")\rIT WAS SAVED AS\r") + QDir::toNativeSeparators(scratch));
    return false;
}

// ---------------------------------------------------------------- scratch folder

bool TCreatePage::ChooseNewTempFolder(int64_t required)
{
    for (const QString& root : Platform::LogicalDriveRoots()) {
        if (Platform::FreeOnDisk(root) <= required + 65000)
            continue;
        const QString folder = Platform::JoinPath(root, QStringLiteral("quarntemp"));
        // A root the user may not write in is passed over like a full one.
        if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable())
            continue;
        TarScratchFolder = folder;
        state_.ScratchFolderList << folder;
        return true;
    }
    host_.prompter().information(
        QStringLiteral("THE COMPUTER CANNOT FIND ENOUGH ROOM ON ANY OF YOUR DISK DRIVES ON WHICH IT CAN CREATE THE "
                       "TEMPORARY TAR FILE.  YOU NEED ROOM ON A DISK WITH AT LEAST ") +
        QString::number(required / 1024) + QStringLiteral(" KB FREE (WHICH IS ") + QString::number(required) +
        QStringLiteral(" BYTES OF REQUIRED FREE SPACE FOR THE TAR FILE.  TRY FREEING UP SOME ROOM SOMEWHERE ON DISK "
                       "AND TRY AGAIN."));
    return false;
}
