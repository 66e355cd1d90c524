// The unzip page's listing: OPEN, the zip listing, the row icons and RESET.

#include "unzip/UnzipListing.h"

#include "unzip/TUnzipPage.h"
#include "unzip/FileIcons.h"

#include "archive/ArchiveKind.h"
#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "zipengine/TZipFile.h"
#include "zipengine/ZipListing.h"

#include <QApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

namespace UnzipListing {

QString OpenDialogTitle()
{
    return QStringLiteral("Choose a zip file to Open");
}

QString OpenDialogFilter()
{
    QStringList other;
    for (const QString& ending : archivekind::otherEndings())
        other << QLatin1Char('*') + ending;
    return QStringLiteral("All compressed types (*.zip *.gz *.tar *.rar *.tgz);;ZIP Files (*.zip);;GZ Files (*.gz);;"
                          "TAR Files (*.tar);;RAR Files (*.rar);;TGZ Files (*.tgz);;Other archives (") +
           other.join(QLatin1Char(' ')) + QLatin1Char(')');
}

QString Extension(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype sep = qMax(name.lastIndexOf(QLatin1Char('\\')), name.lastIndexOf(QLatin1Char('/')));
    if (dot < 0 || dot < sep)
        return QString();
    return name.mid(dot);
}

} // namespace UnzipListing

using namespace UnzipListing;
using namespace ZipListing;

// ---------------------------------------------------------------- helpers

void TUnzipPage::ShowFullListWithDropTarget()
{
    if (!FilteredViewShowing())
        return;
    ShowFullList();
    host_.MoveDropTarget(UnzipListView);
}

void TUnzipPage::FocusVisibleList()
{
    QTreeView* v = VisibleListView();
    v->setEnabled(true);
    v->setFocus();
}

void TUnzipPage::SetEmptyButtonStates()
{
    for (QPushButton* b : {SelectAllButton, UnSelectAllButton, TreeButton, SelectButton, UnzipResetButton, UnzipButton})
        b->setEnabled(false);
}

void TUnzipPage::TrimIconLists()
{
    state_.IconCache.clear();
    while (state_.SmallImages.Images.size() > 4)
        state_.SmallImages.Images.removeLast();
    while (state_.LargeImages.Images.size() > 4)
        state_.LargeImages.Images.removeLast();
    state_.NoIconTypes.clear();
}

// ---------------------------------------------------------------- OPEN

void TUnzipPage::OpenUnzipButtonClick()
{
    Prompter& prompter = host_.prompter();
    // 1
    if (RowCount() > 0) {
        const PromptButton b =
            prompter.question(QStringLiteral("CLEAR THE ENTRIES AND LOAD A NEW ZIP FILE?"), PromptButtons::YesNoCancel);
        if (b != PromptButton::Yes) {
            FocusVisibleList();
            return;
        }
        ShowFullListWithDropTarget();
        ClearUnzipListView();
        TrimIconLists();
        UnzipListTotal = 0;
        UnzipNumFilesEdit->setText(QStringLiteral("0"));
        UnzipTotalFileSizeEdit->setText(QStringLiteral("0"));
    }
    // 2
    FileDialogRequest request;
    request.title = OpenDialogTitle();
    request.filter = OpenDialogFilter();
    request.startFolder = settings_.LastOpenFolder;
    request.followLinks = false;
    const QString chosen = prompter.openFile(request);
    if (chosen.isEmpty())
        return;
    // 3
    Platform::BusyCursor busy;
    ShowFullListWithDropTarget();
    const QFileInfo fi(chosen);
    settings_.LastOpenFolder = fi.absolutePath();
    const QString name = fi.absoluteFilePath();
    // 4: the kind by the name's ending (case ignored), checked against what
    // the file holds before anything is listed.
    const ArchiveKind kind = archivekind::fromName(name);
    if (kind == ArchiveKind::None)
        return;  // any other ending: nothing is listed
    const QString mismatch = archivekind::contentMismatch(name, kind);
    if (!mismatch.isEmpty()) {
        prompter.error(mismatch);
        FocusVisibleList();
        return;
    }
    auto forceLoadedStates = [this] {
        SetLoadedButtonStates();
        UnzipListView->setEnabled(true);
        UnzipListView->setFocus();
    };
    switch (kind) {
    case ArchiveKind::Zip:
        state_.CurrentArchive = name;
        host_.DisableAll();
        UpdateUnzipWindow(name);
        UnzipListView->setEnabled(true);
        UnzipListView->setFocus();
        break;
    case ArchiveKind::Rar:
        if (!ListRar)
            return;
        state_.CurrentArchive = name;
        host_.DisableAll();
        ListRar(name);
        UnzipListView->setEnabled(true);
        UnzipListView->setFocus();
        break;
    case ArchiveKind::TarGz:
    case ArchiveKind::Gz: {
        const bool tarNamed = kind == ArchiveKind::TarGz;
        const bool asTar = settings_.OpenTarInGzip && (tarNamed || (GzipHoldsTar && GzipHoldsTar(name)));
        const auto& lister = asTar ? ListTarGz : ListGz;
        if (!lister)
            return;  // the tar and gzip listers are not attached
        host_.DisableAll();
        lister(name);
        host_.EnableAll();
        forceLoadedStates();
        break;
    }
    case ArchiveKind::Tar:
        if (!ListTar)
            return;
        state_.CurrentArchive = name;
        host_.DisableAll();
        ListTar(name);
        host_.EnableAll();
        forceLoadedStates();
        break;
    case ArchiveKind::Other:
        state_.CurrentArchive = name;
        host_.DisableAll();
        UpdateOtherWindow(name);
        UnzipListView->setEnabled(true);
        UnzipListView->setFocus();
        break;
    case ArchiveKind::None: break;
    }
    // 5: the cursor returns with `busy`.
}

// ---------------------------------------------------------------- listing a zip

void TUnzipPage::UpdateUnzipWindow(const QString& path)
{
    // 1
    ShowFullListWithDropTarget();
    // 2, 3: a file that cannot be opened is reported and the window stays usable.
    state_.CurrentArchive = path;
    TZipFile lister;
    if (!OpenForListing(lister, path, host_.prompter())) {
        host_.EnableAll();
        if (RowCount() == 0)
            SetEmptyButtonStates();
        return;
    }
    // 4: rows are built first and handed to the model with the view frozen.
    Platform::BusyCursor busy;
    const bool sorting = UnzipListView->isSortingEnabled();
    UnzipListView->setSortingEnabled(false);
    UnzipListView->setUpdatesEnabled(false);
    const QIcon folderIcon = state_.SmallImages.Images.isEmpty() ? QIcon() : state_.SmallImages.Images.first();
    const int firstRow = UnzipListModel->rowCount();
    // 5
    ForEachEntry(lister, [&](int i, const ZipFile& rec, const EntryRow& row) {
        UnzipStatusBar->showMessage(QString::number(i));
        auto* pathItem = new QStandardItem(row.folder);
        pathItem->setIcon(folderIcon);
        UnzipListModel->appendRow(QList<QStandardItem*>{new QStandardItem(row.caption),
                                                        new QStandardItem(QString::number(rec.UncompressedSize)),
                                                        new QStandardItem(row.date), pathItem});
        UnzipListTotal = AddToTotal(UnzipListTotal, rec.UncompressedSize);
        FindFilesIcon(row.caption, firstRow + i);
    });
    UnzipListView->setUpdatesEnabled(true);
    UnzipListView->setSortingEnabled(sorting);
    // 6
    UnzipStatusBar->clearMessage();
    ShowTotals();
    // 7
    if (settings_.SelectAllOnLoad)
        UnzipListView->selectAll();
    // 8
    host_.EnableAll();
    SetLoadedButtonStates();
}

// ---------------------------------------------------------------- icons

void TUnzipPage::FindFilesIcon(const QString& name, int row)
{
    QStandardItem* item = UnzipListModel->item(row, 0);
    if (!item)
        return;
    const int image = FileIcons::ImageFor(state_, name);
    item->setData(image, ImageIndexRole);
    if (image >= 0 && image < state_.SmallImages.Images.size())
        item->setIcon(state_.SmallImages.Images[image]);
}

int TUnzipPage::RegistryIconExtraction(const QString& extension)
{
    return FileIcons::RegistryIconExtraction(state_, extension);
}

void TUnzipPage::ResizeSmallIcon()
{
    if (state_.SmallImages.Images.isEmpty())
        return;
    state_.LargeImages.Add(state_.SmallImages.Images.last());
}

// ---------------------------------------------------------------- RESET

void TUnzipPage::UnzipResetButtonClick()
{
    host_.DisableAll();
    ShowFullListWithDropTarget();
    ClearUnzipListView();
    host_.EnableAll();
    // EnableAll brings back the states recorded before the list was cleared;
    // an empty page keeps its buttons off.
    SetEmptyButtonStates();
}
