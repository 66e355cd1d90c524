// The unzip page's tar and gzip kinds: listing a tar, a gzipped tar (read as
// it is decompressed) and a gzip file, and extracting them, all through the
// archive layer.

#include "unzip/TUnzipPage.h"
#include "unzip/UnzipExtract.h"
#include "unzip/UnzipListing.h"
#include "zipengine/ZipListing.h"

#include "archive/GzArchive.h"
#include "archive/TarArchive.h"
#include "codecs/Gzip.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QProgressBar>
#include <QSet>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

using namespace UnzipListing;
using namespace ZipListing;

namespace {

QString SuccessText(const QString& archive, const QString& folder)
{
    return QStringLiteral("THE ARCHIVE FILE ") + QFileInfo(archive).fileName() +
           QStringLiteral("\rWAS OPENED IN THE FOLDER ") + folder;
}

} // namespace

// ---------------------------------------------------------------- gzip names

QString TUnzipPage::GzipTargetName(const QString& gzipPath, int* result)
{
    if (result) {
        TGzip gz;
        gz.FileSource = gzipPath;
        *result = gz.readHeader();
    }
    return GzArchive::targetName(gzipPath);
}

QString TUnzipPage::ListableGzipName(const QString& gzipPath)
{
    const QString name = GzipTargetName(gzipPath);
    if (name.isEmpty()) {
        host_.prompter().information(NoReadableFilesText());
        host_.EnableAll();
    }
    return name;
}

bool TUnzipPage::IsaGzippedTarBall(const QString& path)
{
    TGzip gz;
    gz.FileSource = path;
    gz.DeleteSource = false;
    if (gz.readHeader() != TGzip::Ok)
        return false;
    return Extension(gz.storedName()) == QLatin1String(".tar");
}

// ---------------------------------------------------------------- listing a tar

bool TUnzipPage::UpdateTarWindow(const QString& path)
{
    return ListTarRows(path, ArchiveKind::Tar);
}

bool TUnzipPage::ListTarRows(const QString& path, ArchiveKind kind)
{
    // 1
    ShowFullListWithDropTarget();
    state_.CurrentArchive = path;
    const qint64 fileSize = QFileInfo(path).size();
    UnzipListTotal = 0;
    UnzipProgressBar->setValue(0);
    // 2
    Platform::BusyCursor busy;
    UnzipListView->setUpdatesEnabled(false);
    const QIcon folderIcon = state_.SmallImages.Images.isEmpty() ? QIcon() : state_.SmallImages.Images.first();
    const int firstRow = RowCount();
    int lastShown = -1;
    QString caption, folder;
    // 3: files and devices only; each row keeps the entry's place in the archive.
    const std::unique_ptr<Archive> archive = openArchive(path, kind);
    const QString error = archive->list([&](const ArchiveEntry& entry) {
        if (entry.type != ArchiveEntry::File && entry.type != ArchiveEntry::Device)
            return true;
        SplitStoredName(entry.name, caption, folder);
        if (caption.isEmpty())
            return true;
        auto* captionItem = new QStandardItem(caption);
        captionItem->setData(entry.index, RowDataRole);
        auto* pathItem = new QStandardItem(folder);
        pathItem->setIcon(folderIcon);
        UnzipListModel->appendRow(QList<QStandardItem*>{
            captionItem, new QStandardItem(AddCommas(entry.size)),
            new QStandardItem(Platform::DateTimeText(entry.time.toLocalTime())), pathItem});
        FindFilesIcon(caption, RowCount() - 1);
        UnzipListTotal = AddToTotal(UnzipListTotal, uint64_t(qMax<qint64>(0, entry.size)));
        UnzipStatusBar->showMessage(QString::number(RowCount() - firstRow));
        // A gzipped tar holds more than its file's size: the bar stops at 100.
        const int percent = fileSize > 0 ? int(qMin<int64_t>(100, int64_t(UnzipListTotal) * 100 / fileSize)) : 0;
        if (percent != lastShown) {
            UnzipProgressBar->setValue(percent);
            if (percent % 4 == 0)
                UnzipProgressBar->repaint();
            lastShown = percent;
        }
        return true;
    });
    // The rows read before any damage stay listed.
    UnzipListView->setUpdatesEnabled(true);
    if (!error.isEmpty())
        host_.prompter().error(error);
    // 4
    UnzipProgressBar->setValue(0);
    UnzipStatusBar->clearMessage();
    // 5
    if (RowCount() == firstRow && error.isEmpty())
        host_.prompter().information(QStringLiteral(
            "THERE WERE NO FILES IN THE TAR ARCHIVE.  THE ARCHIVE WAS EMPTY OR CONTAINED ONLY FOLDERS."));
    else if (settings_.SelectAllOnLoad)
        UnzipListView->selectAll();
    ShowTotals(true);
    // 6
    return true;
}

// ---------------------------------------------------------------- listing a gzipped tar

bool TUnzipPage::UpDateTarGZipWindow(const QString& path)
{
    ShowFullListWithDropTarget();
    // A gzip file that cannot be read holds nothing to list.
    if (ListableGzipName(path).isEmpty())
        return false;
    // The tar is read as it is decompressed: no temporary tar, and the page
    // keeps working on the gzip file itself.
    const bool listed = ListTarRows(path, ArchiveKind::TarGz);
    ShowTotals(true);
    host_.EnableAll();
    if (listed && RowCount() > 0)
        SetLoadedButtonStates();
    return listed;
}

// ---------------------------------------------------------------- listing a gzip file

bool TUnzipPage::UpdateGZipWindow(const QString& path)
{
    ShowFullListWithDropTarget();
    // 1
    host_.DisableAll();
    // 2
    const QString name = ListableGzipName(path);
    if (name.isEmpty())
        return false;
    // 3
    Platform::BusyCursor busy;
    state_.CurrentArchive = path;
    auto* captionItem = new QStandardItem(name);
    UnzipListModel->appendRow(QList<QStandardItem*>{captionItem, new QStandardItem, new QStandardItem, new QStandardItem});
    const int row = RowCount() - 1;
    const QFileInfo fi(path);
    if (!fi.isFile()) {
        host_.prompter().information(QStringLiteral("ERROR ON FILE OPEN"));
        host_.EnableAll();
        return true;
    }
    UnzipListModel->item(row, 1)->setText(QString::number(fi.size()));
    UnzipListModel->item(row, 2)->setText(Platform::DateTimeText(fi.lastModified()));
    FindFilesIcon(name, row);
    UnzipNumFilesEdit->setText(QStringLiteral("1"));
    UnzipTotalFileSizeEdit->setText(QString::number(fi.size()));
    UnzipListView->selectionModel()->select(UnzipListModel->index(row, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    host_.EnableAll();
    SetLoadedButtonStates();
    TreeButton->setEnabled(false);
    // The free-space check counts on three times the packed size.
    UnzipListTotal = AddToTotal(0, uint64_t(fi.size()) * 3);
    return true;
}

// ---------------------------------------------------------------- extracting a tar

void TUnzipPage::UnzipTarFile(const QString& destination)
{
    // 1
    if (RowCount() == 0)
        return;
    Prompter& prompter = host_.prompter();
    Platform::BusyCursor busy;
    UnzipProgressBar->setRange(0, RowCount());
    UnzipProgressBar->setValue(0);
    TBatchState& batch = state_.BatchState;
    batch.YesToAll = false;
    batch.NoToAll = false;
    // 2: the highlighted rows, by their entries' places in the archive.
    const QSet<int> wanted = SelectedEntryIndices(RowDataRole);
    bool noRoom = false;
    QStringList problems;
    ExtractRequest request;
    request.destination = destination;
    // Folders are made whatever the folder option says.
    request.folderNames = true;
    request.replace = ReplacePolicy::Ask;
    request.selected = [&wanted](const ArchiveEntry& e) { return wanted.contains(e.index); };
    request.ask = [&](const ArchiveEntry& e, const QString& diskFile) {
        QString caption, folder;
        SplitStoredName(e.name, caption, folder);
        const QString dateText = Platform::DateTimeText(e.time.toLocalTime());
        switch (OverWriteWarning(prompter, diskFile, folder + caption, dateText, e.size)) {
        case PromptButton::YesToAll: batch.YesToAll = true; return ReplaceAnswer::YesToAll;
        case PromptButton::NoToAll: batch.NoToAll = true; return ReplaceAnswer::NoToAll;
        case PromptButton::Yes: return ReplaceAnswer::Yes;
        default: return ReplaceAnswer::No;
        }
    };
    request.note = [&problems](const QString& text) { problems << text; };
    request.progress = [&](int done, qint64) {
        UnzipProgressBar->setValue(qMin(done, RowCount()));
        if (Platform::FreeOnDisk(destination) < 65000) {
            noRoom = true;
            return false;
        }
        return true;
    };
    // A tar listed from a gzip file is read from it again as it is decompressed.
    const bool gzipped = archivekind::fromName(state_.CurrentArchive) != ArchiveKind::Tar;
    TarArchive tar(state_.CurrentArchive, gzipped);
    const ExtractResult result = tar.extract(request);
    // 3
    UnzipProgressBar->setValue(0);
    UnzipProgressBar->setRange(0, 100);
    // 4
    QString failure = result.error;
    if (failure.isEmpty() && result.failed > 0)
        failure = problems.join(QLatin1Char('\r'));
    if (!failure.isEmpty())
        prompter.error(failure);
    else if (noRoom)
        prompter.information(QStringLiteral(
            "THERE WAS NOT ENOUGH ROOM ON THE DRIVE TO COMPLETE THE CREATION OF THE TAR FILE."));
    else if (state_.ShowSuccessMessage)
        prompter.information(SuccessText(state_.CurrentArchive, destination));
}

// ---------------------------------------------------------------- extracting a gzip file

void TUnzipPage::UnzipGZFile(const QString& destination)
{
    Prompter& prompter = host_.prompter();
    // 1
    const QString gzipFile = state_.CurrentArchive;
    const QString name = GzipTargetName(gzipFile);
    if (name.isEmpty()) {
        prompter.information(NoReadableFilesText());
        return;
    }
    // 2, 3: written beside its target and renamed over it only when whole,
    // so a damaged file leaves the one on disk as it was.
    bool declined = false;
    QStringList problems;
    ExtractRequest request;
    request.destination = destination;
    request.replace = ReplacePolicy::Ask;
    request.ask = [&](const ArchiveEntry&, const QString&) {
        const bool yes = prompter.question(QStringLiteral("THE FILE ") + name +
                                               QStringLiteral(" ALREADY EXISTS.  REPLACE THE FILE?"),
                                           PromptButtons::YesNo) == PromptButton::Yes;
        declined = !yes;
        return yes ? ReplaceAnswer::Yes : ReplaceAnswer::Cancel;
    };
    request.note = [&problems](const QString& text) { problems << text; };
    GzArchive gz(gzipFile);
    const ExtractResult result = gz.extract(request);
    UnzipProgressBar->setValue(0);
    // 4
    if (declined) {
        UnzipStatusBar->clearMessage();
        return;
    }
    QString failure = result.error;
    if (failure.isEmpty() && result.failed > 0)
        failure = problems.join(QLatin1Char('\r'));
    if (!failure.isEmpty())
        prompter.error(failure);
    else if (state_.ShowSuccessMessage)
        prompter.information(SuccessText(gzipFile, destination));
    UnzipStatusBar->clearMessage();
}
