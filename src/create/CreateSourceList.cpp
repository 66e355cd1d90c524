// The create page's source list: ADD FILES, ADD FOLDER, drops, UNDO, RESET,
// Select All, Remove and the totals.

#include "create/TCreatePage.h"
#include "create/TAddFolderForm.h"
#include "create/TDatePickForm.h"

#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "unzip/FileIcons.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

using namespace SourceList;

// ---------------------------------------------------------------- helpers

void TCreatePage::ShowTotals()
{
    NumfilesEdit->setText(AddCommas(RowCount()));
    TotalFileSizeEdit->setText(AddCommas(ZipListTotal));
}

void TCreatePage::SetHistoryButtons(bool on)
{
    ZipUndoButton->setEnabled(on);
    ZipResetButton->setEnabled(on);
    ZipButton->setEnabled(on);
}

void TCreatePage::FocusList()
{
    ZipListView->setEnabled(true);
    ZipListView->setFocus();
}

void TCreatePage::DisposeUndoHistory()
{
    UndoHistory.DisposeUndoList();
    SetHistoryButtons(false);
}

void TCreatePage::CheckCutOffDate()
{
    if (!settings_.DateFilter || settings_.CreateCutOff > 0)
        return;
    TDatePickForm dlg(this);
    const int day = host_.prompter().runDialog(dlg);
    if (day < 0 || day == QDialog::Rejected) {
        // No date: the filter is off until the option is set again.
        settings_.DateFilter = false;
        settings_.CreateCutOff = 0;
        return;
    }
    settings_.CreateCutOff = day;
}

void TCreatePage::LockAddOptionsIfEmpty()
{
    if (RowCount() == 0)
        settings_.AddOptionsEditable = false;
}

bool TCreatePage::CheckForDupeZipFileDrop(const QString& fullPath, const QFileInfo& info) const
{
    if (settings_.DateFilter && OlderThanCutOff(info.lastModified(), settings_.CreateCutOff))
        return true;
    const int rows = RowCount();
    for (int r = 0; r < rows; ++r)
        if (ZipListModel->item(r, SourceColumn)->text() == fullPath)
            return true;
    return false;
}

void TCreatePage::AppendRow(const QString& name, const QString& sizeText, int64_t size, const QString& dateText,
                            const QString& path, const QString& source, QList<QList<QStandardItem*>>& rows)
{
    auto* file = new QStandardItem(name);
    // By the name's type: a file's own icon would add one image per file.
    const int image = FileIcons::ImageFor(state_, name);
    file->setData(image, ImageIndexRole);
    if (image >= 0 && image < state_.SmallImages.Images.size())
        file->setIcon(state_.SmallImages.Images[image]);
    auto* sizeItem = new QStandardItem(sizeText);
    sizeItem->setData(qint64(size), SizeRole);
    sizeItem->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* pathItem = new QStandardItem(path);
    if (!state_.SmallImages.Images.isEmpty())
        pathItem->setIcon(state_.SmallImages.Images.first());
    rows.append({file, sizeItem, new QStandardItem(dateText), pathItem, new QStandardItem(source)});
}

namespace {
// Appends `rows` to the model with one insertion, however many there are.
void AppendRows(QStandardItemModel* model, QList<QList<QStandardItem*>>& rows)
{
    if (rows.isEmpty())
        return;
    const int first = model->rowCount();
    const int n = int(rows.size());
    model->insertRows(first, n);
    // The views were told of the new rows; filling them one signal at a time
    // would cost a view update per cell.
    const bool blocked = model->blockSignals(true);
    for (int r = 0; r < n; ++r)
        for (int c = 0; c < rows[r].size(); ++c)
            model->setItem(first + r, c, rows[r][c]);
    model->blockSignals(blocked);
    emit model->dataChanged(model->index(first, 0), model->index(first + n - 1, model->columnCount() - 1));
    rows.clear();
}
} // namespace

void TCreatePage::RemoveMarkedRows(const std::vector<bool>& marked)
{
    Controls::RemoveMarkedRows(ZipListView, ZipListModel, marked);
}

void TCreatePage::DropFileToZip(const QFileInfo& info, int rootLength)
{
    const QString source = info.filePath();
    const QString path = PathCell(FileFolder(source), rootLength, settings_.SaveFolders, settings_.RelativePaths);
    const QDateTime written = info.lastModified();
    QList<QList<QStandardItem*>> rows;
    AppendRow(info.fileName(), SizeText(info.size()), info.size(), DateText(written), path, source, rows);
    AppendRows(ZipListModel, rows);
    UndoHistory.PushRecord(info.fileName(), path, info.size());
    ZipListTotal += info.size();
}

void TCreatePage::FinishAddition()
{
    if (UndoHistory.RecordCount() > 0) {
        SetHistoryButtons(true);
    } else {
        UndoHistory.PopUndoList();
        if (UndoHistory.Empty())
            SetHistoryButtons(false);
    }
}

// ---------------------------------------------------------------- ADD FILES

void TCreatePage::OpenFilesZipButtonClick()
{
    // 1
    CheckCutOffDate();
    // 2
    const QStringList files = ChooseFilesToAdd(host_.prompter(), settings_.LastAddFolder);
    if (files.isEmpty()) {
        FocusList();
        return;
    }
    // 3
    LockAddOptionsIfEmpty();
    Platform::BusyCursor busy;
    UndoHistory.PushUndoList();
    // 4, 5
    const bool several = files.size() > 1;
    if (several)
        host_.DisableAll();
    for (int i = 0; i < files.size(); ++i) {
        const QString full = QFileInfo(files[i]).absoluteFilePath();
        const QFileInfo info(full);
        if (!info.exists() || info.isDir() || CheckForDupeZipFileDrop(full, info))
            continue;
        DropFileToZip(info, FindEndingSlash(FileFolder(full)));
        if (several)
            ZipStatusBar->showMessage(QString::number(i + 1));
    }
    if (several)
        host_.EnableAll();
    // 6
    FinishAddition();
    // 7
    ShowTotals();
    ZipStatusBar->clearMessage();
    FocusList();
}

// ---------------------------------------------------------------- ADD FOLDER

void TCreatePage::AddFolder(const QString& chosen)
{
    const QString folder = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    TFolderScan scan;
    scan.folder = folder;
    scan.rootLength = FolderRootLength(folder);
    scan.saveFolders = settings_.SaveFolders;
    scan.relativePaths = settings_.RelativePaths;
    scan.recurse = settings_.RecurseFolders;
    scan.cutOffDay = settings_.DateFilter ? settings_.CreateCutOff : 0;
    scan.action = &UndoHistory.Current();
    {
        TAddFolderForm dlg(scan, this);
        host_.prompter().runDialog(dlg);
    }
    ZipListViewdisplay(scan);
}

void TCreatePage::ZipListViewdisplay(TFolderScan& scan)
{
    const int n = int(scan.names.size());
    ZipListTotal += scan.totalSize;
    ZipListView->setUpdatesEnabled(false);
    QList<QList<QStandardItem*>> rows;
    rows.reserve(n);
    for (int i = 0; i < n; ++i) {
        if (i % 1024 == 0)
            ZipStatusBar->showMessage(QString::number(i));
        AppendRow(scan.names[i], scan.sizes[i], RemoveCommas(scan.sizes[i]), scan.dates[i], scan.paths[i],
                  scan.sources[i], rows);
    }
    AppendRows(ZipListModel, rows);
    ZipListView->setUpdatesEnabled(true);
    for (QStringList* l : {&scan.names, &scan.sizes, &scan.dates, &scan.paths, &scan.sources})
        l->clear();
}

void TCreatePage::OpenFolderzipButtonClick()
{
    // 1
    CheckCutOffDate();
    // 2
    const QString folder = host_.BrowseforFolder(QStringLiteral("SELECT FOLDER TO INCLUDE IN ZIP FILE..."), false, false);
    if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
        FocusList();
        return;
    }
    // 3
    LockAddOptionsIfEmpty();
    UndoHistory.PushUndoList();
    host_.DisableAll();
    Platform::BusyCursor busy;
    ZipStatusBar->showMessage(QStringLiteral("0"));
    // 4-6
    AddFolder(folder);
    // 7
    host_.EnableAll();
    ZipStatusBar->clearMessage();
    FinishAddition();
    ShowTotals();
    FocusList();
}

// ---------------------------------------------------------------- drops

void TCreatePage::UpdateZipWindow(const QStringList& paths)
{
    // 1
    CheckCutOffDate();
    LockAddOptionsIfEmpty();
    Platform::BusyCursor busy;
    ZipStatusBar->showMessage(QStringLiteral("0"));
    UndoHistory.PushUndoList();
    host_.DisableAll();
    // 2
    for (int i = 0; i < paths.size(); ++i) {
        const QString full = QDir::cleanPath(QFileInfo(paths[i]).absoluteFilePath());
        const QFileInfo info(full);
        if (!info.exists())
            continue;
        if (info.isDir()) {
            AddFolder(full);
            repaint();
        } else if (!CheckForDupeZipFileDrop(full, info)) {
            DropFileToZip(info, FindEndingSlash(FileFolder(full)));
            ZipStatusBar->showMessage(QString::number(i + 1));
        }
    }
    // 3
    host_.EnableAll();
    FinishAddition();
    ZipStatusBar->clearMessage();
    ShowTotals();
}

// ---------------------------------------------------------------- UNDO, RESET

void TCreatePage::ZipUndoButtonClick()
{
    if (state_.BatchState.Running)
        return;
    // 1
    if (UndoHistory.Empty()) {
        FocusList();
        return;
    }
    // 2: each record takes the first row from the top with its File and
    // Path that no earlier record took. The rows are found through an index
    // and removed together, so undoing a big folder is not quadratic.
    host_.DisableAll();
    {
        Platform::BusyCursor busy;
        const int rows = RowCount();
        QHash<QString, QList<int>> byKey;  // File + "\n" + Path -> rows, top first
        byKey.reserve(rows);
        for (int r = 0; r < rows; ++r)
            byKey[ZipListModel->item(r, FileColumn)->text() + QLatin1Char('\n') +
                  ZipListModel->item(r, PathColumn)->text()] << r;
        QHash<QString, int> taken;
        std::vector<bool> remove(size_t(rows), false);
        int left = rows;
        int counter = 0;
        UndoRecord rec;
        while (UndoHistory.PopRecord(rec)) {
            if (left == 0)
                continue;
            if (++counter % 256 == 0)
                ZipStatusBar->showMessage(QString::number(counter));
            const QString key = rec.name + QLatin1Char('\n') + rec.path;
            const auto found = byKey.constFind(key);
            if (found == byKey.constEnd())
                continue;
            int& next = taken[key];
            if (next >= found->size())
                continue;
            remove[size_t(found->at(next++))] = true;
            ZipListTotal -= rec.size;
            --left;
        }
        RemoveMarkedRows(remove);
    }
    // 3
    host_.EnableAll();
    UndoHistory.PopUndoList();
    SetHistoryButtons(!UndoHistory.Empty());
    if (RowCount() == 0) {
        settings_.AddOptionsEditable = true;
        Delete2->setEnabled(false);
    }
    ZipStatusBar->clearMessage();
    ShowTotals();
    FocusList();
}

void TCreatePage::ZipResetButtonClick()
{
    if (host_.CurrentPage() != PageIndex || RowCount() == 0)
        return;
    host_.DisableAll();
    {
        Platform::BusyCursor busy;
        ZipStatusBar->clearMessage();
        DisposeUndoHistory();
        ZipListModel->removeRows(0, RowCount());
        ZipListTotal = 0;
    }
    host_.EnableAll();
    // EnableAll brings back the states recorded before the history was disposed.
    SetHistoryButtons(false);
    Delete2->setEnabled(false);
    settings_.AddOptionsEditable = true;
    ShowTotals();
}

// ---------------------------------------------------------------- Select All, Remove

void TCreatePage::SelectAll2Click()
{
    if (host_.CurrentPage() != PageIndex || RowCount() == 0)
        return;
    ZipListView->selectAll();
    Delete2->setEnabled(true);
}

void TCreatePage::Delete2Click()
{
    if (host_.CurrentPage() != PageIndex || RowCount() == 0)
        return;
    QItemSelectionModel* sel = ZipListView->selectionModel();
    std::vector<bool> selected(size_t(RowCount()), false);
    for (const QModelIndex& i : sel->selectedRows()) {
        selected[size_t(i.row())] = true;
        ZipListTotal -= ZipListModel->item(i.row(), SizeColumn)->data(SizeRole).toLongLong();
    }
    RemoveMarkedRows(selected);
    ShowTotals();
    Delete2->setEnabled(false);
}

void TCreatePage::ZipListViewSelectItem()
{
    Delete2->setEnabled(ZipListView->selectionModel()->hasSelection());
}
