// The unzip page's other kinds, the ones libarchive reads (7z, compressed
// tars, single compressed files, iso, cab, cpio, ar, rpm): listing them and
// extracting the highlighted rows through the archive layer, with the same
// replace question as a tar.

#include "unzip/TUnzipPage.h"
#include "unzip/UnzipExtract.h"
#include "zipengine/ZipListing.h"

#include "archive/Archive.h"
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
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

using namespace ZipListing;

void TUnzipPage::UpdateOtherWindow(const QString& path)
{
    Platform::BusyCursor busy;
    ShowFullListWithDropTarget();
    state_.CurrentArchive = path;
    UnzipListTotal = 0;
    const std::unique_ptr<Archive> archive = openArchive(path, ArchiveKind::Other);
    UnzipListView->setUpdatesEnabled(false);
    const QIcon folderIcon = state_.SmallImages.Images.isEmpty() ? QIcon() : state_.SmallImages.Images.first();
    const QString error = archive->list([&](const ArchiveEntry& e) {
        if (e.type != ArchiveEntry::File && e.type != ArchiveEntry::HardLink && e.type != ArchiveEntry::SymLink)
            return true;
        QString caption, folder;
        SplitStoredName(e.name, caption, folder);
        if (caption.isEmpty())
            return true;
        auto* captionItem = new QStandardItem(caption);
        captionItem->setData(e.index, EntryIndexRole);
        auto* pathItem = new QStandardItem(folder);
        pathItem->setIcon(folderIcon);
        UnzipListModel->appendRow(QList<QStandardItem*>{captionItem, new QStandardItem(AddCommas(e.size)),
                                                        new QStandardItem(Platform::DateTimeText(e.time.toLocalTime())),
                                                        pathItem});
        FindFilesIcon(caption, RowCount() - 1);
        UnzipListTotal = AddToTotal(UnzipListTotal, uint64_t(qMax<qint64>(0, e.size)));
        return true;
    });
    UnzipListView->setUpdatesEnabled(true);
    ShowTotals(true);
    host_.EnableAll();
    // The rows read before the damage stay listed.
    if (!error.isEmpty())
        host_.prompter().error(error);
    if (RowCount() == 0) {
        if (error.isEmpty())
            host_.prompter().information(NoReadableFilesText());
        SetEmptyButtonStates();
        return;
    }
    SetLoadedButtonStates();
    if (settings_.SelectAllOnLoad)
        UnzipListView->selectAll();
}

void TUnzipPage::UnzipOtherFile(const QString& destination)
{
    if (RowCount() == 0)
        return;
    Prompter& prompter = host_.prompter();
    Platform::BusyCursor busy;
    UnzipProgressBar->setRange(0, RowCount());
    UnzipProgressBar->setValue(0);
    TBatchState& batch = state_.BatchState;
    const QSet<int> wanted = SelectedEntryIndices(EntryIndexRole);
    QStringList problems;
    ExtractRequest request;
    request.destination = destination;
    request.folderNames = true;
    request.replace = batch.YesToAll ? ReplacePolicy::Always : ReplacePolicy::Ask;
    request.selected = [&wanted](const ArchiveEntry& e) { return wanted.contains(e.index); };
    request.ask = [&](const ArchiveEntry& e, const QString& diskFile) {
        QString caption, folder;
        SplitStoredName(e.name, caption, folder);
        switch (OverWriteWarning(prompter, diskFile, folder + caption, Platform::DateTimeText(e.time.toLocalTime()), e.size)) {
        case PromptButton::YesToAll: batch.YesToAll = true; return ReplaceAnswer::YesToAll;
        case PromptButton::NoToAll: batch.NoToAll = true; return ReplaceAnswer::NoToAll;
        case PromptButton::Yes: return ReplaceAnswer::Yes;
        default: return ReplaceAnswer::No;
        }
    };
    request.note = [&problems](const QString& text) { problems << text; };
    request.progress = [this](int done, qint64) {
        UnzipProgressBar->setValue(qMin(done, RowCount()));
        return true;
    };
    const std::unique_ptr<Archive> archive = openArchive(state_.CurrentArchive, ArchiveKind::Other);
    const ExtractResult result = archive->extract(request);
    UnzipProgressBar->setValue(0);
    UnzipProgressBar->setRange(0, 100);
    QString failure = result.error;
    if (failure.isEmpty() && result.failed > 0)
        failure = problems.join(QLatin1Char('\r'));
    if (!failure.isEmpty())
        prompter.error(failure);
    else if (state_.ShowSuccessMessage)
        prompter.information(QStringLiteral("THE ARCHIVE FILE ") + QFileInfo(state_.CurrentArchive).fileName() +
                             QStringLiteral("\rWAS OPENED IN THE FOLDER ") + destination);
}
