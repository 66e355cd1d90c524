// The update page's changes to its zip: the Path rule for added files, the
// filter and replace test, ADD FILES, ADD FOLDER, drops, writing the changes
// through the engine, DELETE and "Properties". Every change is written before
// the command returns, and the list is then checked against the archive.

#include "create/TUpdatePage.h"
#include "create/SourceList.h"
#include "create/TAddFolderForm.h"
#include "create/TDatePickForm.h"

#include "archive/ArchiveKind.h"
#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "settings/TPropertiesForm.h"
#include "zipdir/ScratchFiles.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/ZipFormat.h"
#include "zipengine/ZipListing.h"
#include "zipengine/ZipMessages.h"

#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>
#include <algorithm>
#include <limits>

using namespace SourceList;

namespace {

// A folder without its trailing "/" (the root stays "/").
QString WithoutTrailingSlash(QString folder)
{
    while (folder.size() > 1 && folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    return folder;
}

// How a File and Path pair is found again: without regard to case or to a
// trailing "\" of the Path.
QString MatchKey(const QString& file, QString path)
{
    while (path.endsWith(QLatin1Char('\\')))
        path.chop(1);
    return (path + QLatin1Char('\\') + file).toCaseFolded();
}

// The folder the engine counts stored names from, so that the file is
// stored under its Path: its folder with the Path taken off the end.
QString RootDirFor(const QString& fullPath, const QString& path)
{
    const QString folder = FileFolder(fullPath);
    QString tail = path;
    tail.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (tail.endsWith(QLatin1Char('/')))
        tail.chop(1);
    if (tail.isEmpty() || !folder.endsWith(QLatin1Char('/') + tail))
        return folder;
    return WithoutTrailingSlash(folder.left(folder.size() - tail.size()));
}

int32_t ClampTotal(int64_t total)
{
    return int32_t(std::clamp<int64_t>(total, 0, std::numeric_limits<int32_t>::max()));
}

} // namespace

// ---------------------------------------------------------------- Path rule

QString TUpdatePage::UpdatePathFor(const QString& fullPath, const QString& walkRoot) const
{
    if (!settings_.SaveFolders)
        return QString();
    const QString folder = FileFolder(fullPath);
    int rootLength = 0;
    if (settings_.RelativePaths) {
        if (walkRoot.isEmpty()) {
            // The name of the file's own folder.
            rootLength = FindEndingSlash(folder);
        } else {
            // Relative to the walked folder: empty for the files directly in it.
            const QString root = WithoutTrailingSlash(walkRoot);
            rootLength = root == QLatin1String("/") ? 1 : int(root.size()) + 1;
        }
    }
    QString path = PathCell(folder, rootLength, true, settings_.RelativePaths);
    if (!path.isEmpty() && !path.endsWith(QLatin1Char('\\')))
        path += QLatin1Char('\\');
    return path;
}

// ---------------------------------------------------------------- helpers

void TUpdatePage::CheckCutOffDate()
{
    if (!settings_.DateFilter || settings_.UpdateCutOff > 0)
        return;
    TDatePickForm dlg(this);
    const int day = host_.prompter().runDialog(dlg);
    if (day <= 0) {
        // No date: the filter is off until the option is set again.
        settings_.DateFilter = false;
        settings_.UpdateCutOff = 0;
        return;
    }
    settings_.UpdateCutOff = day;
}

void TUpdatePage::StartOperation()
{
    ReplaceList.clear();
    AddFileList.clear();
    AddPathList.clear();
    TZipEngine& engine = host_.zipEngine();
    engine.FSpecArgs.clear();
    engine.FSpecArgsExcl.clear();
    rowIndex_.clear();
    for (int r = 0; r < RowCount(); ++r)
        rowIndex_.insert(MatchKey(UpdateListModel->item(r, FileColumn)->text(),
                                  UpdateListModel->item(r, PathColumn)->text()),
                         r);
}

void TUpdatePage::FinishOperation()
{
    if (archivekind::fromName(listedArchive_) == ArchiveKind::Zip)
        UpdatingAZipFile();
    // The archive is what counts: rows it does not hold (a file the engine
    // skipped, an archive that could not be written) are not kept.
    if (!ListMatchesArchive())
        ReloadUpdateListviewOnZipError(listedArchive_);
    rowIndex_.clear();
    ShowTotals();
    UpdateStatusBar->clearMessage();
    UpdateListView->viewport()->update();
    FocusList();
}

bool TUpdatePage::RunEngine(bool adding)
{
    TZipEngine& engine = host_.zipEngine();
    try {
        if (adding)
            engine.Add();
        else
            engine.Delete();
        return true;
    } catch (...) {
        engine.FSpecArgs.clear();
        engine.FSpecArgsExcl.clear();
        host_.prompter().information(QStringLiteral("FATAL DLL ERROR"));
        return false;
    }
}

// ---------------------------------------------------------------- one file

bool TUpdatePage::CheckForDupeUpdateFileDrop(const QFileInfo& file, const QString& walkRoot)
{
    // The zip itself is never added to itself.
    if (file.canonicalFilePath() == QFileInfo(listedArchive_).canonicalFilePath())
        return true;
    // 1
    const QDateTime written = file.lastModified();
    if (settings_.DateFilter && OlderThanCutOff(written, settings_.UpdateCutOff))
        return true;
    // 2
    const QString path = UpdatePathFor(file.absoluteFilePath(), walkRoot);
    const QString name = file.fileName();
    const auto found = rowIndex_.constFind(MatchKey(name, path));
    // 3
    if (found == rowIndex_.constEnd())
        return false;
    // 4: the archive keeps DOS times, so the file is newer only when its DOS time is.
    const int row = found.value();
    const uint32_t fileTime = QDateTimeToDosDateTime(written);
    QStandardItem* dateItem = UpdateListModel->item(row, DateColumn);
    if (fileTime > dateItem->data(DosTimeRole).toUInt()) {
        ReplaceList << EntryName(row);
        AddFileList << file.absoluteFilePath();
        AddPathList << path;
        QStandardItem* sizeItem = UpdateListModel->item(row, SizeColumn);
        UpdateListTotal = ClampTotal(int64_t(UpdateListTotal) - sizeItem->data(SizeRole).toLongLong());
        UpdateListTotal = ZipListing::AddToTotal(UpdateListTotal, uint64_t(file.size()));
        sizeItem->setText(AddCommas(file.size()));
        sizeItem->setData(qint64(file.size()), SizeRole);
        dateItem->setText(DateText(written));
        dateItem->setData(uint(fileTime), DosTimeRole);
        // The row names the entry as it will be stored (the case may differ).
        UpdateListModel->item(row, FileColumn)->setText(name);
        UpdateListModel->item(row, PathColumn)->setText(path);
    }
    return true;
}

void TUpdatePage::DropFileToUpdate(const QFileInfo& file, const QString& walkRoot)
{
    const QString full = file.absoluteFilePath();
    const QString path = UpdatePathFor(full, walkRoot);
    const QDateTime written = file.lastModified();
    UpdateListModel->appendRow(MakeRow(file.fileName(), file.size(), QDateTimeToDosDateTime(written),
                                       DateText(written), path));
    rowIndex_.insert(MatchKey(file.fileName(), path), RowCount() - 1);
    UpdateListTotal = ZipListing::AddToTotal(UpdateListTotal, uint64_t(file.size()));
    AddFileList << full;
    AddPathList << path;
}

// ---------------------------------------------------------------- ADD FILES

void TUpdatePage::OpenFilesUpdateButtonClick()
{
    if (listedArchive_.isEmpty())
        return;
    // 1
    CheckCutOffDate();
    // 2
    const QStringList files = ChooseFilesToAdd(host_.prompter(), settings_.LastAddFolder);
    if (files.isEmpty()) {
        FocusList();
        return;
    }
    // 3
    Platform::BusyCursor busy;
    StartOperation();
    // 4
    const bool several = files.size() > 1;
    if (several)
        host_.DisableAll();
    for (int i = 0; i < files.size(); ++i) {
        const QFileInfo info(QFileInfo(files[i]).absoluteFilePath());
        if (!info.exists() || info.isDir())
            continue;
        if (!CheckForDupeUpdateFileDrop(info, QString()))
            DropFileToUpdate(info, QString());
        UpdateStatusBar->showMessage(QString::number(i + 1));
    }
    if (several)
        host_.EnableAll();
    // 5, 6
    FinishOperation();
}

// ---------------------------------------------------------------- ADD FOLDER

void TUpdatePage::AddfolderUpdatebuttonClick()
{
    if (listedArchive_.isEmpty())
        return;
    // 1
    CheckCutOffDate();
    const QString chosen = host_.BrowseforFolder(QStringLiteral("SELECT FOLDER TO INCLUDE IN ZIP FILE..."), false, false);
    if (chosen.isEmpty() || !QFileInfo(chosen).isDir()) {
        FocusList();
        return;
    }
    // 2
    host_.DisableAll();
    Platform::BusyCursor busy;
    StartOperation();
    UpdateStatusBar->showMessage(QStringLiteral("0"));
    // 3
    UpdateFileLook(chosen);
    // 4
    host_.EnableAll();
    UpdateStatusBar->clearMessage();
    FinishOperation();
}

void TUpdatePage::UpdateFileLook(const QString& folder)
{
    const QString root = WithoutTrailingSlash(QFileInfo(folder).absoluteFilePath());
    TFolderScan scan;
    scan.folder = root;
    scan.recurse = settings_.UpdateSubfolders;
    {
        TAddFolderForm dlg(scan, this);
        host_.prompter().runDialog(dlg);
    }
    int added = 0;
    for (const QString& source : scan.sources) {
        const QFileInfo info(source);
        if (!info.isFile())
            continue;  // gone since the walk
        if (CheckForDupeUpdateFileDrop(info, root))
            continue;
        DropFileToUpdate(info, root);
        UpdateStatusBar->showMessage(QString::number(++added));
    }
}

// ---------------------------------------------------------------- drop

void TUpdatePage::UpdateDropUpdateWindow(const QStringList& paths)
{
    if (!UpdateResetButton->isEnabled() || listedArchive_.isEmpty())
        return;
    Platform::BusyCursor busy;
    host_.DisableAll();
    UpdateStatusBar->showMessage(QStringLiteral("0"));
    StartOperation();
    for (int i = 0; i < paths.size(); ++i) {
        const QFileInfo info(QFileInfo(paths[i]).absoluteFilePath());
        if (info.isDir()) {
            UpdateFileLook(info.absoluteFilePath());
        } else if (info.isFile()) {
            if (!CheckForDupeUpdateFileDrop(info, QString()))
                DropFileToUpdate(info, QString());
            UpdateStatusBar->showMessage(QString::number(i + 1));
        }
    }
    host_.EnableAll();
    FinishOperation();
}

// ---------------------------------------------------------------- writing

void TUpdatePage::UpdatingAZipFile()
{
    if (ReplaceList.isEmpty() && AddFileList.isEmpty())
        return;
    TZipEngine& engine = host_.zipEngine();
    TBatchState& progress = state_.BatchState;
    const QString archive = listedArchive_;
    // The changes go to a copy that takes the archive's place only when every
    // step succeeded: a replaced entry whose file then cannot be added is not
    // lost, and a run that fails part-way leaves the zip as it was.
    const QString work = Platform::ScratchNameBeside(archive);
    bool failed = !QFile::copy(archive, work);
    if (failed) {
        Platform::RemoveScratch(work);
        engine.IssueMessage(ZipMsg::DS_NoTempFile, QStringLiteral("\n") + work);
    } else {
        engine.SetZipFileName(work);
    }

    // 1: only entries the archive holds can be deleted (a row added by this
    // same operation may have been replaced as well).
    QSet<QString> inArchive;
    for (const ZipDirEntry& e : engine.Entries)
        inArchive.insert(e.FileName);
    QStringList toDelete;
    for (const QString& name : std::as_const(ReplaceList))
        if (inArchive.contains(name) && !toDelete.contains(name))
            toDelete << name;
    if (!failed && !toDelete.isEmpty()) {
        int64_t addSize = 0;
        for (const QString& f : std::as_const(AddFileList))
            addSize += QFileInfo(f).size();
        progress.ProgressTarget = UpdateProgress;
        progress.BytesDone = 0;
        progress.ZipUnzippedSize = addSize;
        UpdateProgressBar->setRange(0, 100);
        UpdateStatusBar->showMessage(QStringLiteral("Deleting..."));
        engine.ErrCode = 0;
        engine.FSpecArgs = toDelete;
        engine.FSpecArgsExcl.clear();
        failed = !RunEngine(false) || engine.ErrCode != 0;
        UpdateProgressBar->setValue(0);
    }

    // 2
    if (!failed && !AddFileList.isEmpty()) {
        progress.BytesDone = 0;
        progress.ZipUnzippedSize = 0;
        UpdateProgressBar->setRange(0, int(AddFileList.size()));
        UpdateProgressBar->setValue(0);
        UpdateStatusBar->showMessage(QStringLiteral("Adding "));
        progress.ProgressTarget = UpdateProgress;
        engine.ErrCode = 0;
        const QString savedRoot = engine.RootDir;
        const uint16_t savedOptions = engine.AddOptions;
        // Each file is stored under its Path, which needs the folder names
        // kept; a zip that exists is changed in place, never spread over disks.
        engine.AddOptions = uint16_t((engine.AddOptions | TZipEngine::AddDirNames) &
                                     ~(TZipEngine::AddDiskSpan | TZipEngine::AddDiskSpanErase));
        for (int i = 0; i < AddFileList.size() && engine.ErrCode == 0; ++i) {
            const QString& file = AddFileList[i];
            engine.FSpecArgs = QStringList{file};
            engine.FSpecArgsExcl.clear();
            engine.RootDir = RootDirFor(file, AddPathList[i]);
            UpdateStatusBar->showMessage(QStringLiteral("Adding ") + QFileInfo(file).fileName());
            // An exception has been reported; the run goes on with the next file.
            RunEngine(true);
            UpdateProgressBar->setValue(UpdateProgressBar->value() + 1);
        }
        engine.RootDir = savedRoot;
        engine.AddOptions = savedOptions;
        failed = engine.ErrCode != 0;
    }

    // 3
    UpdateProgressBar->setRange(0, 100);
    UpdateProgressBar->setValue(0);
    if (!failed) {
        // In one step; a zip with other names (hard links) is rewritten in place.
        std::string why;
        if (!zipdir::ReplaceFile(QFile::encodeName(work).toStdString(), QFile::encodeName(archive).toStdString(), why)) {
            failed = true;
            host_.prompter().information(QStringLiteral("ERROR : %1; %2 was left unchanged")
                                             .arg(QString::fromLocal8Bit(why.c_str()), archive));
        }
    }
    if (failed)
        Platform::RemoveScratch(work);
    engine.SetZipFileName(archive);
    if (failed)
        ReloadUpdateListviewOnZipError(archive);
    // 4
    UpdateStatusBar->clearMessage();
}

// ---------------------------------------------------------------- DELETE

void TUpdatePage::UpdateDeleteButtonClick()
{
    if (RowCount() == 0)
        return;
    // 1
    if (host_.prompter().question(QStringLiteral("THE DELETE OPERATION WILL PERMANENTLY ERASE THE SELECTED FILES FROM "
                                                 "THE ZIP FILE.\r\rERASE THE SELECTED FILES?"),
                                  PromptButtons::YesNoCancel) != PromptButton::Yes) {
        FocusList();
        return;
    }
    // 2
    TZipEngine& engine = host_.zipEngine();
    if (engine.ZipFileName() != listedArchive_)
        engine.SetZipFileName(listedArchive_);
    state_.CurrentArchive = listedArchive_;
    engine.FSpecArgs.clear();
    engine.FSpecArgsExcl.clear();
    TBatchState& progress = state_.BatchState;
    progress.BytesDone = 0;
    progress.ZipUnzippedSize = 0;
    const QItemSelectionModel* selection = UpdateListView->selectionModel();
    std::vector<bool> marked(size_t(RowCount()), false);
    int64_t total = UpdateListTotal;
    int64_t removedSize = 0;
    for (int r = 0; r < RowCount(); ++r) {
        if (selection->isRowSelected(r, QModelIndex())) {
            const int64_t size = UpdateListModel->item(r, SizeColumn)->data(SizeRole).toLongLong();
            removedSize += size;
            total -= size;
            engine.FSpecArgs << EntryName(r);
            marked[size_t(r)] = true;
        } else {
            engine.FSpecArgsExcl << EntryName(r);
        }
    }
    progress.ZipUnzippedSize = removedSize;
    Controls::RemoveMarkedRows(UpdateListView, UpdateListModel, marked);
    UpdateListTotal = ClampTotal(total);
    // 3
    ShowTotals();
    // 4
    if (!engine.FSpecArgs.isEmpty()) {
        progress.ProgressTarget = UpdateProgress;
        UpdateProgressBar->setRange(0, 100);
        engine.ErrCode = 0;
        const bool ran = RunEngine(false);
        UpdateProgressBar->setValue(0);
        if (!ran || engine.ErrCode != 0 || !ListMatchesArchive())
            ReloadUpdateListviewOnZipError(listedArchive_);
    } else {
        engine.FSpecArgsExcl.clear();
    }
    if (RowCount() == 0)
        SetEmptyState();
    FocusList();
}

// ---------------------------------------------------------------- Properties

void TUpdatePage::Button1Click()
{
    host_.ShowProperties(TPropertiesForm::AddFilesPage);
    FocusList();
}
