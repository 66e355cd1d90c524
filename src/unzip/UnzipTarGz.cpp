// The unzip page's tar and gzip kinds: listing a tar, a gzipped tar (through
// a temporary tar in the scratch folder) and a gzip file, and extracting them.

#include "unzip/TUnzipPage.h"
#include "unzip/UnzipExtract.h"
#include "unzip/UnzipListing.h"
#include "zipengine/ZipListing.h"

#include "archive/GzArchive.h"
#include "archive/TarArchive.h"
#include "codecs/Gzip.h"
#include "codecs/TarReader.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
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

int TUnzipPage::Gunzip(const QString& gzipPath, const QString& destination)
{
    TGzip& gz = host_.Gzip();
    gz.FileSource = gzipPath;
    gz.FileDestination = destination;
    gz.DeleteSource = false;
    gz.ProgressStep = 1;
    gz.WindowOnError = true;
    gz.OnProgress = [this](TGzip& g) { GZipProgress(g.progress()); };
    return gz.decompress();
}

void TUnzipPage::GZipProgress(int percent)
{
    UnzipProgressBar->setValue(percent);
    UnzipStatusBar->showMessage(QString::number(UnzipProgressBar->value()) + QStringLiteral(" %"));
    window()->repaint();
}

// ---------------------------------------------------------------- listing a tar

bool TUnzipPage::UpdateTarWindow(const QString& path)
{
    // 1
    ShowFullListWithDropTarget();
    state_.CurrentArchive = path;
    const qint64 tarSize = QFileInfo(path).size();
    UnzipListTotal = 0;
    UnzipProgressBar->setValue(0);
    // 2
    Platform::BusyCursor busy;
    UnzipListView->setUpdatesEnabled(false);
    const QIcon folderIcon = state_.SmallImages.Images.isEmpty() ? QIcon() : state_.SmallImages.Images.first();
    const int firstRow = RowCount();
    int lastShown = -1;
    bool damaged = false;
    try {
        TTarReader tar(path);
        tar.rewind();
        TTarEntry entry;
        QString caption, folder;
        // 3
        while (tar.nextEntry(entry)) {
            switch (entry.fileType) {
            case TTarFileType::Regular:
            case TTarFileType::Contiguous:
            case TTarFileType::CharDevice:
            case TTarFileType::BlockDevice: break;
            default: continue;
            }
            SplitStoredName(entry.name, caption, folder);
            if (caption.isEmpty())
                continue;
            auto* captionItem = new QStandardItem(caption);
            captionItem->setData(tar.position(), RowDataRole);
            auto* pathItem = new QStandardItem(folder);
            pathItem->setIcon(folderIcon);
            UnzipListModel->appendRow(QList<QStandardItem*>{
                captionItem, new QStandardItem(AddCommas(entry.size)),
                new QStandardItem(Platform::DateTimeText(entry.time.toLocalTime())), pathItem});
            FindFilesIcon(caption, RowCount() - 1);
            UnzipListTotal = AddToTotal(UnzipListTotal, uint64_t(qMax<qint64>(0, entry.size)));
            UnzipStatusBar->showMessage(QString::number(RowCount() - firstRow));
            const int percent = tarSize > 0 ? int(int64_t(UnzipListTotal) * 100 / tarSize) : 0;
            if (percent != lastShown) {
                UnzipProgressBar->setValue(percent);
                if (percent % 4 == 0)
                    UnzipProgressBar->repaint();
                lastShown = percent;
            }
        }
    } catch (const TTarError& e) {
        // The rows read before the damage stay listed.
        UnzipListView->setUpdatesEnabled(true);
        host_.prompter().error(e.message());
        damaged = true;
    }
    // 4
    UnzipListView->setUpdatesEnabled(true);
    UnzipProgressBar->setValue(0);
    UnzipStatusBar->clearMessage();
    // 5
    if (RowCount() == firstRow && !damaged)
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
    // 1
    const int64_t estimate = int64_t(double(QFileInfo(path).size()) * 2.5);
    QString folder = state_.TempFolder();
    if (Platform::FreeOnDisk(state_.DataFolder) < estimate && ChooseNewTempFolder) {
        folder = ChooseNewTempFolder(estimate);
        if (folder.isEmpty())
            return false;
    }
    QDir().mkpath(folder);
    // 2
    const QString name = ListableGzipName(path);
    if (name.isEmpty())
        return false;
    // 3: the page then works on the temporary tar, which must be seen as one.
    Platform::BusyCursor busy;
    QString tarName = name;
    if (!tarName.toLower().endsWith(QLatin1String(".tar")))
        tarName += QStringLiteral(".tar");
    const QString destination = Platform::JoinPath(folder, tarName);
    state_.CurrentArchive = destination;
    // 4
    const int result = Gunzip(path, destination);
    // 5
    UnzipProgressBar->setValue(0);
    UnzipStatusBar->clearMessage();
    UnzipListTotal = 0;
    bool listed = false;
    if (result == TGzip::Ok)
        listed = UpdateTarWindow(destination);
    // 6
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
    // 2: the highlighted rows, by where their data begins in the tar.
    QSet<qint64> wanted;
    const QList<bool> selected = SelectionFlags(UnzipListView);
    for (int r = 0; r < RowCount(); ++r) {
        const QVariant offset = UnzipListModel->item(r, 0)->data(RowDataRole);
        if (selected[r] && offset.isValid())
            wanted.insert(offset.toLongLong());
    }
    bool noRoom = false;
    QStringList problems;
    ExtractRequest request;
    request.destination = destination;
    // Folders are made whatever the folder option says.
    request.folderNames = true;
    request.replace = ReplacePolicy::Ask;
    request.selected = [&wanted](const ArchiveEntry& e) { return e.dataOffset >= 0 && wanted.contains(e.dataOffset); };
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
    TarArchive tar(state_.CurrentArchive, false);
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
