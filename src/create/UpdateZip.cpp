// The update page: OPEN and the listing, adding files and folders (replacing
// entries that are older than the file), DELETE, RESET. Every change is
// written to the zip before the command returns, and the list mirrors the zip.

#include "create/TUpdatePage.h"
#include "create/SourceList.h"
#include "create/TDatePickForm.h"

#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "settings/TPropertiesForm.h"
#include "unzip/FileIcons.h"
#include "unzip/UnzipListing.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/ZipFormat.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

namespace {

// Path cells compare without regard to case and to a trailing "\".
QString Comparable(QString path)
{
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return path.toLower();
}

// A file's last-write time at the zip format's two-second resolution.
uint32_t FileDosTime(const QFileInfo& info)
{
    return QDateTimeToDosDateTime(info.lastModified().toLocalTime());
}

bool IsZip(const QString& path)
{
    return path.toLower().endsWith(QStringLiteral(".zip"));
}

} // namespace

// ---------------------------------------------------------------- helpers

void TUpdatePage::FocusList()
{
    UpdateListView->setEnabled(true);
    UpdateListView->setFocus();
}

QString TUpdatePage::EntryName(int row) const
{
    const QString path = UpdateListModel->item(row, PathColumn)->text();
    const QString file = UpdateListModel->item(row, FileColumn)->text();
    if (path.isEmpty())
        return file;
    return path.endsWith(QLatin1Char('\\')) ? path + file : path + QLatin1Char('\\') + file;
}

uint32_t TUpdatePage::RowTime(int row) const
{
    const QVariant v = UpdateListModel->item(row, DateColumn)->data(DosTimeRole);
    if (v.isValid())
        return v.toUInt();
    // A row carried over from the unzip page: its entry in the directory.
    const QString name = EntryName(row);
    for (const ZipDirEntry& e : host_.zipEngine().Entries)
        if (e.FileName.compare(name, Qt::CaseInsensitive) == 0)
            return e.DateTime;
    return 0;
}

void TUpdatePage::AppendRow(const QString& name, int64_t size, uint32_t dosTime, const QString& path)
{
    auto* file = new QStandardItem(name);
    const int image = FileIcons::ImageFor(state_, name);
    file->setData(image, ImageIndexRole);
    if (image >= 0 && image < state_.SmallImages.Images.size())
        file->setIcon(state_.SmallImages.Images[image]);
    auto* sizeItem = new QStandardItem(AddCommas(size));
    sizeItem->setData(qint64(size), SizeRole);
    auto* date = new QStandardItem(UnzipListing::DateText(dosTime));
    date->setData(dosTime, DosTimeRole);
    auto* pathItem = new QStandardItem(path);
    if (!state_.SmallImages.Images.isEmpty())
        pathItem->setIcon(state_.SmallImages.Images.first());
    UpdateListModel->appendRow({file, sizeItem, date, pathItem});
    UpdateListTotal += size;
}

namespace {
int64_t RowSize(const QStandardItem* sizeItem, int role)
{
    const QVariant v = sizeItem->data(role);
    return v.isValid() ? v.toLongLong() : RemoveCommas(sizeItem->text());
}
} // namespace

void TUpdatePage::CheckUpdateCutOff()
{
    if (!settings_.DateFilter || settings_.UpdateCutOff > 0)
        return;
    TDatePickForm dlg(this);
    const int day = host_.prompter().runDialog(dlg);
    if (day <= 0) {
        settings_.DateFilter = false;
        settings_.UpdateCutOff = 0;
        return;
    }
    settings_.UpdateCutOff = day;
}

// ---------------------------------------------------------------- listing

void TUpdatePage::UpDateUpdateWindow(const QString& path)
{
    TZipEngine& e = host_.zipEngine();
    // 1
    if (e.ZipFileName() != path)
        e.SetZipFileName(path);
    else
        e.ReadDirectory();
    state_.CurrentArchive = path;
    // 2
    if (e.Entries.empty()) {
        host_.prompter().information(QStringLiteral("THERE ARE NO FILES IN THE ZIPFILE THAT THIS PROGRAM CAN READ"));
        host_.EnableAll();
        return;
    }
    // 3
    Platform::BusyCursor busy;
    UpdateListView->setUpdatesEnabled(false);
    QString caption, folder;
    for (size_t i = 0; i < e.Entries.size(); ++i) {
        const ZipDirEntry& entry = e.Entries[i];
        if (i % 256 == 0)
            UpdateStatusBar->showMessage(QString::number(i));
        UnzipListing::SplitStoredName(entry.FileName, caption, folder);
        AppendRow(caption, entry.UncompressedSize, entry.DateTime, folder);
    }
    UpdateListView->setUpdatesEnabled(true);
    // 4
    UpdateStatusBar->clearMessage();
    ShowTotals();
    host_.EnableAll();
    SetZipButtonsEnabled(true);
}

void TUpdatePage::ReloadUpdateListviewOnZipError(const QString& path)
{
    state_.CurrentArchive = path;
    ClearList();
    host_.DisableAll();
    UpDateUpdateWindow(path);
    if (RowCount() == 0)
        SetZipButtonsEnabled(false);
    FocusList();
}

void TUpdatePage::OpenUpdateButtonClick()
{
    Prompter& prompter = host_.prompter();
    // 1
    if (RowCount() > 0) {
        if (prompter.question(QStringLiteral("CLEAR THE ENTRIES AND LOAD A NEW ZIP FILE?"), PromptButtons::YesNoCancel) !=
            PromptButton::Yes) {
            FocusList();
            return;
        }
        ClearList();
    }
    // 2
    FileDialogRequest request;
    request.title = QStringLiteral("Choose a zip file to Open");
    request.filter = QStringLiteral("ZIP files (*.zip)");
    request.startFolder = settings_.LastOpenFolder;
    const QString chosen = prompter.openFile(request);
    if (chosen.isEmpty() || !QFileInfo(chosen).isFile())
        return;
    // 3
    const QString path = QFileInfo(chosen).absoluteFilePath();
    settings_.UpdateSubfolders = true;
    settings_.UpdateCutOff = 0;
    settings_.LastOpenFolder = QFileInfo(path).absolutePath();
    state_.CurrentArchive = path;
    host_.DisableAll();
    UpDateUpdateWindow(path);
    FocusList();
    if (RowCount() > 0)
        host_.MoveDropTarget(UpdateListView);
}

// ---------------------------------------------------------------- adding

QString TUpdatePage::AddedPath(const QString& fullPath, const QString& root) const
{
    if (!settings_.SaveFolders)
        return QString();
    const QString folder = SourceList::FileFolder(fullPath);
    QString path;
    if (!settings_.RelativePaths) {
        path = folder.mid(1);
    } else if (root.isEmpty()) {
        path = folder == QLatin1String("/") ? QString() : folder.mid(SourceList::FindEndingSlash(folder));
    } else {
        const QString base = root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/');
        if ((folder + QLatin1Char('/')).startsWith(base))
            path = folder.mid(base.size());
    }
    if (path.isEmpty())
        return path;
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return path + QLatin1Char('\\');
}

bool TUpdatePage::CheckForDupeUpdateFileDrop(const QFileInfo& file, const QString& path)
{
    // 1
    if (settings_.DateFilter && SourceList::OlderThanCutOff(file.lastModified(), settings_.UpdateCutOff))
        return true;
    // 2
    const QString name = file.fileName().toLower();
    const QString wanted = Comparable(path);
    for (int r = 0; r < RowCount(); ++r) {
        if (UpdateListModel->item(r, FileColumn)->text().toLower() != name ||
            Comparable(UpdateListModel->item(r, PathColumn)->text()) != wanted)
            continue;
        // 4
        const uint32_t fileTime = FileDosTime(file);
        if (DosDateTimeToQDateTime(fileTime) > DosDateTimeToQDateTime(RowTime(r))) {
            replaceEntries_ << EntryName(r);
            addFiles_ << file.absoluteFilePath();
            addPaths_ << path;
            QStandardItem* sizeItem = UpdateListModel->item(r, SizeColumn);
            UpdateListTotal += file.size() - RowSize(sizeItem, SizeRole);
            sizeItem->setText(AddCommas(file.size()));
            sizeItem->setData(qint64(file.size()), SizeRole);
            QStandardItem* date = UpdateListModel->item(r, DateColumn);
            date->setText(UnzipListing::DateText(fileTime));
            date->setData(fileTime, DosTimeRole);
        }
        return true;
    }
    // 3
    return false;
}

void TUpdatePage::DropFileToUpdate(const QFileInfo& file, const QString& path)
{
    AppendRow(file.fileName(), file.size(), FileDosTime(file), path);
    addFiles_ << file.absoluteFilePath();
    addPaths_ << path;
}

void TUpdatePage::UpdateFileLook(const QString& folder, const QString& root, int& found)
{
    if (!QFileInfo(folder).isDir())
        return;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        if (fi.fileName().startsWith(QLatin1Char('.')))
            continue;
        if (fi.isDir()) {
            // A linked folder is not followed: a link back up the tree would never end.
            if (settings_.UpdateSubfolders && !fi.isSymLink())
                UpdateFileLook(fi.filePath(), root, found);
            continue;
        }
        if (!fi.exists())
            continue;
        const QString path = AddedPath(fi.absoluteFilePath(), root);
        if (CheckForDupeUpdateFileDrop(fi, path))
            continue;
        DropFileToUpdate(fi, path);
        UpdateStatusBar->showMessage(QString::number(++found));
    }
}

void TUpdatePage::StartOperation()
{
    replaceEntries_.clear();
    addFiles_.clear();
    addPaths_.clear();
    TZipEngine& e = host_.zipEngine();
    e.FSpecArgs.clear();
    e.FSpecArgsExcl.clear();
}

void TUpdatePage::FinishOperation()
{
    if (IsZip(state_.CurrentArchive))
        UpdatingAZipFile();
    ShowTotals();
    UpdateStatusBar->clearMessage();
    FocusList();
}

void TUpdatePage::OpenFilesUpdateButtonClick()
{
    // 1
    CheckUpdateCutOff();
    // 2
    FileDialogRequest request;
    request.title = QStringLiteral("Select files to include in the Zip File");
    request.filter = QStringLiteral("All files (*)");
    request.startFolder = settings_.LastAddFolder;
    const QStringList files = host_.prompter().openFiles(request);
    if (files.isEmpty()) {
        FocusList();
        return;
    }
    // 3
    settings_.LastAddFolder = QFileInfo(files.first()).absolutePath();
    Platform::BusyCursor busy;
    StartOperation();
    // 4
    const bool several = files.size() > 1;
    if (several)
        host_.DisableAll();
    for (int i = 0; i < files.size(); ++i) {
        const QFileInfo fi(QFileInfo(files[i]).absoluteFilePath());
        if (!fi.isFile())
            continue;
        const QString path = AddedPath(fi.absoluteFilePath(), QString());
        if (CheckForDupeUpdateFileDrop(fi, path))
            continue;
        DropFileToUpdate(fi, path);
        UpdateStatusBar->showMessage(QString::number(i + 1));
    }
    if (several)
        host_.EnableAll();
    // 5, 6
    FinishOperation();
}

void TUpdatePage::AddfolderUpdatebuttonClick()
{
    // 1
    CheckUpdateCutOff();
    const QString chosen = host_.BrowseforFolder(QStringLiteral("SELECT FOLDER TO INCLUDE IN ZIP FILE..."), false, false);
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) {
        FocusList();
        return;
    }
    // 2
    const QString root = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    StartOperation();
    host_.DisableAll();
    Platform::BusyCursor busy;
    UpdateStatusBar->showMessage(QStringLiteral("0"));
    // 3
    int found = 0;
    UpdateFileLook(root, root, found);
    // 4
    host_.EnableAll();
    UpdateStatusBar->clearMessage();
    FinishOperation();
}

void TUpdatePage::UpdateDropUpdateWindow(const QStringList& paths)
{
    if (!UpdateResetButton->isEnabled())
        return;
    Platform::BusyCursor busy;
    UpdateStatusBar->showMessage(QStringLiteral("0"));
    StartOperation();
    host_.DisableAll();
    int found = 0;
    for (int i = 0; i < paths.size(); ++i) {
        const QFileInfo fi(QDir::cleanPath(QFileInfo(paths[i]).absoluteFilePath()));
        if (!fi.exists())
            continue;
        if (fi.isDir()) {
            UpdateFileLook(fi.absoluteFilePath(), fi.absoluteFilePath(), found);
            continue;
        }
        const QString path = AddedPath(fi.absoluteFilePath(), QString());
        if (CheckForDupeUpdateFileDrop(fi, path))
            continue;
        DropFileToUpdate(fi, path);
        UpdateStatusBar->showMessage(QString::number(i + 1));
    }
    host_.EnableAll();
    FinishOperation();
}

// ---------------------------------------------------------------- writing

void TUpdatePage::UpdatingAZipFile()
{
    if (replaceEntries_.isEmpty() && addFiles_.isEmpty())
        return;
    TZipEngine& e = host_.zipEngine();
    Prompter& prompter = host_.prompter();
    const QString archive = state_.CurrentArchive;
    // The changes go to a copy that replaces the archive only when every step
    // succeeded: a replacement whose add fails must not lose the old entry,
    // and a run that fails part-way leaves the zip as it was.
    const QString work = SourceList::ScratchNameBeside(archive);
    bool failed = !QFile::copy(archive, work);
    if (failed)
        prompter.information(QStringLiteral("Can't open: ") + work);
    else
        e.SetZipFileName(work);
    TBatchState& b = state_.BatchState;
    // 1
    if (!failed && !replaceEntries_.isEmpty()) {
        b.ProgressTarget = 3;
        UpdateStatusBar->showMessage(QStringLiteral("Deleting..."));
        e.ErrCode = 0;
        e.FSpecArgs = replaceEntries_;
        try {
            e.Delete();
        } catch (...) {
            prompter.information(QStringLiteral("FATAL DLL ERROR"));
            failed = true;
        }
        failed = failed || e.ErrCode != 0;
        UpdateProgressBar->setValue(0);
    }
    // 2
    if (!failed && !addFiles_.isEmpty()) {
        b.BytesDone = 0;
        b.ZipUnzippedSize = 0;
        UpdateProgressBar->setRange(0, int(addFiles_.size()));
        UpdateProgressBar->setValue(0);
        UpdateStatusBar->showMessage(QStringLiteral("Adding "));
        b.ProgressTarget = 3;
        e.ErrCode = 0;
        for (int i = 0; i < addFiles_.size() && e.ErrCode == 0; ++i) {
            const QString& full = addFiles_[i];
            QString path = addPaths_[i];
            while (path.endsWith(QLatin1Char('\\')))
                path.chop(1);
            const QString folder = SourceList::FileFolder(full);
            QString root = path.isEmpty() ? folder : folder.left(folder.size() - (path.size() + 1));
            if (root.isEmpty())
                root = QStringLiteral("/");
            e.FSpecArgs = QStringList{full};
            e.RootDir = root;
            UpdateStatusBar->showMessage(QStringLiteral("Adding ") + QFileInfo(full).fileName());
            try {
                e.Add();
            } catch (...) {
                prompter.information(QStringLiteral("FATAL DLL ERROR"));
                failed = true;
            }
            e.FSpecArgs.clear();
            UpdateProgressBar->setValue(i + 1);
        }
        e.RootDir.clear();
        failed = failed || e.ErrCode != 0;
    }
    // 3
    UpdateProgressBar->setRange(0, 100);
    UpdateProgressBar->setValue(0);
    if (failed || !SourceList::ReplaceFile(work, archive)) {
        QFile::remove(work);
        e.SetZipFileName(archive);
        ReloadUpdateListviewOnZipError(archive);
    } else {
        e.SetZipFileName(archive);
    }
    // 4
    UpdateStatusBar->clearMessage();
}

// ---------------------------------------------------------------- DELETE, RESET

void TUpdatePage::UpdateDeleteButtonClick()
{
    if (RowCount() == 0)
        return;
    Prompter& prompter = host_.prompter();
    // 1
    if (prompter.question(QStringLiteral("THE DELETE OPERATION WILL PERMANENTLY ERASE THE SELECTED FILES FROM THE ZIP "
                                         "FILE.\r\rERASE THE SELECTED FILES?"),
                          PromptButtons::YesNoCancel) != PromptButton::Yes) {
        FocusList();
        return;
    }
    // 2
    TZipEngine& e = host_.zipEngine();
    if (e.ZipFileName() != state_.CurrentArchive)
        e.SetZipFileName(state_.CurrentArchive);
    e.FSpecArgs.clear();
    e.FSpecArgsExcl.clear();
    TBatchState& b = state_.BatchState;
    b.BytesDone = 0;
    int64_t total = 0;
    QItemSelectionModel* sel = UpdateListView->selectionModel();
    for (int r = RowCount() - 1; r >= 0; --r) {
        if (!sel->isRowSelected(r, QModelIndex())) {
            e.FSpecArgsExcl.prepend(EntryName(r));
            continue;
        }
        const int64_t size = RowSize(UpdateListModel->item(r, SizeColumn), SizeRole);
        total += size;
        UpdateListTotal -= size;
        e.FSpecArgs.prepend(EntryName(r));
        UpdateListModel->removeRow(r);
    }
    b.ZipUnzippedSize = total;
    // 3
    ShowTotals();
    if (RowCount() == 0) {
        UpdateListTotal = 0;
        ShowTotals();
        SetZipButtonsEnabled(false);
    }
    // 4
    if (e.FSpecArgs.isEmpty()) {
        e.FSpecArgsExcl.clear();
        FocusList();
        return;
    }
    b.ProgressTarget = 3;
    e.ErrCode = 0;
    bool failed = false;
    try {
        e.Delete();
    } catch (...) {
        prompter.information(QStringLiteral("FATAL DLL ERROR"));
        failed = true;
    }
    UpdateProgressBar->setValue(0);
    if (failed || e.ErrCode != 0)
        ReloadUpdateListviewOnZipError(state_.CurrentArchive);
    FocusList();
}

void TUpdatePage::UpdateResetButtonClick()
{
    if (RowCount() == 0)
        return;
    host_.DisableAll();
    {
        Platform::BusyCursor busy;
        ClearList();
    }
    host_.EnableAll();
    UpdateStatusBar->clearMessage();
    SetZipButtonsEnabled(false);
    if (host_.DropTarget() == UpdateListView)
        host_.MoveDropTarget(nullptr);
    ShowTotals();
}

void TUpdatePage::Button1Click()
{
    host_.ShowProperties(TPropertiesForm::AddFilesPage);
    FocusList();
}
