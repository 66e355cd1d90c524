// The update page's listing: OPEN, the zip listing and its reload, the rows
// carried over from the unzip page, RESET, and the check that the rows name
// what the archive holds.

#include "create/TUpdatePage.h"

#include "archive/Archive.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "unzip/FileIcons.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/TZipFile.h"
#include "zipengine/ZipListing.h"

#include <QFileInfo>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>
#include <algorithm>

// ---------------------------------------------------------------- rows

QList<QStandardItem*> TUpdatePage::MakeRow(const QString& caption, int64_t size, uint32_t dosTime,
                                           const QString& dateText, const QString& path)
{
    auto* file = new QStandardItem(caption);
    const int image = FileIcons::ImageFor(state_, caption);
    file->setData(image, ImageIndexRole);
    if (image >= 0 && image < state_.SmallImages.Images.size())
        file->setIcon(state_.SmallImages.Images[image]);
    auto* sizeItem = new QStandardItem(AddCommas(size));
    sizeItem->setData(qint64(size), SizeRole);
    sizeItem->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* dateItem = new QStandardItem(dateText);
    dateItem->setData(uint(dosTime), DosTimeRole);
    auto* pathItem = new QStandardItem(path);
    if (!state_.SmallImages.Images.isEmpty())
        pathItem->setIcon(state_.SmallImages.Images.first());
    return {file, sizeItem, dateItem, pathItem};
}

QString TUpdatePage::EntryName(int row) const
{
    const QString file = UpdateListModel->item(row, FileColumn)->text();
    const QString path = UpdateListModel->item(row, PathColumn)->text();
    if (path.isEmpty())
        return file;
    return path.endsWith(QLatin1Char('\\')) ? path + file : path + QLatin1Char('\\') + file;
}

bool TUpdatePage::ListMatchesArchive() const
{
    TZipFile lister;
    if (!lister.SetFileName(listedArchive_))
        return RowCount() == 0;
    if (lister.FileCount() != RowCount())
        return false;
    QStringList inArchive, inList;
    inArchive.reserve(lister.FileCount());
    inList.reserve(RowCount());
    for (const ZipFile& rec : lister.Records()) {
        QString name = rec.FileName;
        inArchive << name.replace(QLatin1Char('/'), QLatin1Char('\\'));
    }
    for (int r = 0; r < RowCount(); ++r)
        inList << EntryName(r);
    std::sort(inArchive.begin(), inArchive.end());
    std::sort(inList.begin(), inList.end());
    return inArchive == inList;
}

void TUpdatePage::FocusList()
{
    UpdateListView->setEnabled(true);
    UpdateListView->setFocus();
}

void TUpdatePage::SetEmptyState()
{
    UpdateListTotal = 0;
    UpDateNumFilesEdit->setText(QStringLiteral("0"));
    UpdatetotalFileSizeEdit->setText(QStringLiteral("0"));
    SetZipButtonsEnabled(false);
    if (host_.DropTarget() == UpdateListView)
        host_.MoveDropTarget(nullptr);
}

// ---------------------------------------------------------------- listing a zip

void TUpdatePage::UpDateUpdateWindow(const QString& path)
{
    // 1, 2
    state_.CurrentArchive = path;
    listedArchive_ = path;
    TZipFile lister;
    if (!ZipListing::OpenForListing(lister, path, host_.prompter())) {
        host_.EnableAll();
        if (RowCount() == 0)
            SetEmptyState();
        return;
    }
    // 3
    Platform::BusyCursor busy;
    UpdateListView->setUpdatesEnabled(false);
    ZipListing::ForEachEntry(lister, [this](int i, const ZipFile& rec, const ZipListing::EntryRow& row) {
        if (i % 1024 == 0)
            UpdateStatusBar->showMessage(QString::number(i));
        UpdateListModel->appendRow(MakeRow(row.caption, rec.UncompressedSize, rec.DosDateTime(), row.date, row.folder));
        UpdateListTotal = ZipListing::AddToTotal(UpdateListTotal, rec.UncompressedSize);
    });
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
    UpdateListModel->removeRows(0, RowCount());
    UpdateListTotal = 0;
    host_.DisableAll();
    UpDateUpdateWindow(path);
    if (RowCount() == 0)
        SetEmptyState();
    FocusList();
}

// ---------------------------------------------------------------- OPEN

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
    request.filter = QStringLiteral("ZIP files (*.zip)");
    request.startFolder = settings_.LastOpenFolder;
    const QString chosen = prompter.openFile(request);
    if (chosen.isEmpty())
        return;
    const QFileInfo fi(chosen);
    // 3
    settings_.UpdateSubfolders = true;
    settings_.UpdateCutOff = 0;
    settings_.LastOpenFolder = fi.absolutePath();
    const QString path = fi.absoluteFilePath();
    state_.CurrentArchive = path;
    host_.zipEngine().SetZipFileName(path);
    host_.DisableAll();
    UpDateUpdateWindow(path);
    FocusList();
    if (RowCount() > 0)
        host_.MoveDropTarget(UpdateListView);
}

// ---------------------------------------------------------------- carried over

void TUpdatePage::MoveZipfileToUpdate(const QString& path, const QStandardItemModel& from, int32_t total)
{
    ClearList();
    listedArchive_ = path;
    // The unzip rows carry texts; the replace test needs each entry's DOS
    // time as the zip stores it, by the row's Path and File.
    QHash<QString, uint32_t> times;
    if (const std::unique_ptr<Archive> zip = openArchive(path, ArchiveKind::Zip))
        zip->list([&times](const ArchiveEntry& e) {
            QString name = e.name;
            times.insert(name.replace(QLatin1Char('/'), QLatin1Char('\\')), e.dosTime);
            return true;
        });
    const int rows = from.rowCount();
    UpdateListView->setUpdatesEnabled(false);
    for (int r = 0; r < rows; ++r) {
        auto text = [&from, r](int c) {
            const QStandardItem* it = from.item(r, c);
            return it ? it->text() : QString();
        };
        const QString caption = text(FileColumn);
        const QString folder = text(PathColumn);
        QList<QStandardItem*> row =
            MakeRow(caption, RemoveCommas(text(SizeColumn)), times.value(folder + caption), text(DateColumn), folder);
        if (const QStandardItem* src = from.item(r, FileColumn)) {
            row[FileColumn]->setIcon(src->icon());
            row[FileColumn]->setData(src->data(ImageIndexRole), ImageIndexRole);
        }
        UpdateListModel->appendRow(row);
    }
    UpdateListView->setUpdatesEnabled(true);
    UpdateListTotal = total;
    ShowTotals();
}

// ---------------------------------------------------------------- RESET

void TUpdatePage::UpdateResetButtonClick()
{
    if (RowCount() == 0)
        return;
    host_.DisableAll();
    Platform::BusyCursor busy;
    UpdateStatusBar->showMessage(QString::number(RowCount()));
    UpdateListModel->removeRows(0, RowCount());
    host_.EnableAll();
    UpdateStatusBar->clearMessage();
    SetEmptyState();
}
