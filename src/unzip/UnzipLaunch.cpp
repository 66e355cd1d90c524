// The unzip page's viewers: an entry extracted into the scratch folder under
// its file name alone and handed to its associated program, a viewer
// program or the image viewer; the pop-up menu's enabling rules.

#include "unzip/TUnzipPage.h"

#include "archive/GzArchive.h"
#include "archive/RarArchive.h"
#include "archive/TarArchive.h"
#include "archive/ZipArchive.h"
#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "viewers/ImageExtensions.h"
#include "viewers/ShellLaunch.h"
#include "viewers/ViewerTypes.h"
#include "zipengine/ZipListing.h"

#include <QAction>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QMenu>
#include <QProgressBar>
#include <QStandardItemModel>
#include <QTreeView>

void TUnzipPage::ConnectLaunchCommands()
{
    connect(Open1, &QAction::triggered, this, &TUnzipPage::Open1Click);
    connect(NotePad1, &QAction::triggered, this, &TUnzipPage::NotePad1Click);
    connect(WordPad1, &QAction::triggered, this, &TUnzipPage::WordPad1Click);
    connect(QuickView1, &QAction::triggered, this, &TUnzipPage::QuickView1Click);
    connect(ImageView1, &QAction::triggered, this, &TUnzipPage::ImageView1Click);
    connect(UnzipPopupMenu, &QMenu::aboutToShow, this, &TUnzipPage::UnzipPopupMenuPopup);
    ImageView1->setEnabled(false);
    // A plain click on a row opens it.
    for (QTreeView* v : {UnzipListView, UnzipFilteredListView})
        v->viewport()->setCursor(Qt::PointingHandCursor);
    LaunchEntry = [this](int row) { LaunchRow(row, QString()); };
    LaunchFromTreeview = [this](const QString& name, const QString& path, const QString& viewer) {
        UnzipLaunchfileFromTreeview(name, path, viewer);
    };
}

// ---------------------------------------------------------------- commands

void TUnzipPage::Open1Click()
{
    UnzipLaunchFile(QString());
}

void TUnzipPage::NotePad1Click()
{
    UnzipLaunchFile(ViewerTypes::NotepadChoice());
}

void TUnzipPage::WordPad1Click()
{
    UnzipLaunchFile(ViewerTypes::WordpadChoice());
}

void TUnzipPage::QuickView1Click()
{
    // Without Quick View the item is disabled; an empty choice would mean
    // the associated program.
    if (!state_.QuickViewPath.isEmpty())
        UnzipLaunchFile(state_.QuickViewPath);
}

void TUnzipPage::ImageView1Click()
{
    UnzipLaunchFile(ViewerTypes::ImageViewerChoice());
}

void TUnzipPage::UnzipPopupMenuPopup()
{
    const bool fullShown = UnzipListView->isVisible(), filteredShown = UnzipFilteredListView->isVisible();
    if (!fullShown && !filteredShown) {
        Open1->setEnabled(true);
        NotePad1->setEnabled(true);
        WordPad1->setEnabled(settings_.WordPadPresent);
        QuickView1->setEnabled(!state_.QuickViewPath.isEmpty());
        return;
    }
    const QTreeView* list = filteredShown ? UnzipFilteredListView : UnzipListView;
    const QList<bool> flags = SelectionFlags(list);
    const int first = int(flags.indexOf(true));
    if (first < 0 || flags.count(true) != 1) {
        for (QAction* a : {Open1, NotePad1, WordPad1, QuickView1, ImageView1})
            a->setEnabled(false);
        return;
    }
    const auto* model = static_cast<const QStandardItemModel*>(list->model());
    const bool image = IsImageFileName(model->item(first, 0)->text());
    Open1->setEnabled(true);
    ImageView1->setEnabled(image);
    NotePad1->setEnabled(!image);
    WordPad1->setEnabled(!image && settings_.WordPadPresent);
    QuickView1->setEnabled(!state_.QuickViewPath.isEmpty());
}

// ---------------------------------------------------------------- launching a row

void TUnzipPage::UnzipLaunchFile(const QString& viewer)
{
    int row = -1;
    // The filtered view's highlighted row stands for a row of the full list.
    if (FilteredViewShowing()) {
        const QList<int> rows = FilteredSelectionInFullList();
        if (!rows.isEmpty())
            row = rows.first();
    }
    if (row < 0)
        row = int(SelectionFlags(UnzipListView).indexOf(true));
    if (row >= 0)
        LaunchRow(row, viewer);
}

void TUnzipPage::UnzipLaunchfileFromTreeview(const QString& name, const QString& path, const QString& viewer)
{
    UnzipListView->clearSelection();
    UnzipFilteredListView->clearSelection();
    for (int r = 0; r < RowCount(); ++r) {
        if (UnzipListModel->item(r, 0)->text() == name && UnzipListModel->item(r, 3)->text() == path) {
            SelectRows(UnzipListView, {r});
            UnzipLaunchFile(viewer);
            return;
        }
    }
}

QString TUnzipPage::LaunchFolder() const
{
    return state_.TempFolder();
}

QString TUnzipPage::GetShortFilename(const QString& path)
{
    return path;
}

void TUnzipPage::LaunchRow(int row, const QString& viewer)
{
    if (row < 0 || row >= RowCount())
        return;
    const ArchiveKind kind = archivekind::fromName(state_.CurrentArchive);
    if (kind == ArchiveKind::None)
        return;
    // The file keeps only the entry's file name; a name that is no file name
    // opens nothing.
    const QString caption = UnzipListModel->item(row, 0)->text();
    if (caption.isEmpty() || caption == QLatin1String(".") || caption == QLatin1String("..") ||
        caption.contains(QLatin1Char('/')))
        return;
    const QString file = Platform::JoinPath(LaunchFolder(), caption);
    if (!ExtractForLaunch(row, kind, file))
        return;
    // 5
    DoShellExecute(viewer, viewer.toLower() == QLatin1String("wordpad.exe") ? GetShortFilename(file) : file);
}

bool TUnzipPage::ExtractForLaunch(int row, ArchiveKind kind, const QString& file)
{
    // The hourglass is shown while the entry is written, not over the viewer's dialogs.
    Platform::BusyCursor busy;
    // 1
    if (!Platform::MakePrivateFolder(LaunchFolder())) {
        host_.prompter().information(ShellLaunch::ResultText(ShellLaunch::Result::PathNotFound));
        return false;
    }
    // What an earlier launch left under this name is never opened for this entry.
    const QFileInfo earlier(file);
    if ((earlier.exists() || earlier.isSymLink()) && !earlier.isDir())
        QFile::remove(file);
    if (kind == ArchiveKind::Zip)
        return LaunchFromZipFile(row, file);
    if (UnzipListModel->item(row, 0)->data(RowDataRole).isValid())
        return LaunchFromTarFile(row, file);  // a tar, or a gzip file listed as its tar
    if (kind == ArchiveKind::Gz)
        return LaunchFromGZFile(file);
    if (kind == ArchiveKind::Rar)
        return LaunchFromRarFile(row, file);
    return kind == ArchiveKind::Other && LaunchFromOtherFile(row, file);
}

void TUnzipPage::DoShellExecute(const QString& viewer, const QString& file)
{
    if (viewer == ViewerTypes::ImageViewerChoice() || (IsImageFileName(file) && settings_.ImageViewerOnClick)) {
        ViewAnImage(file);
        return;
    }
    ShellLaunch::Execute(host_.prompter(), viewer, file, window());
}

// ---------------------------------------------------------------- each kind

bool TUnzipPage::LaunchFromZipFile(int row, const QString& file)
{
    // 2a: through the window's engine, which asks for a password and reports
    // its own errors; the file lands in the folder without the entry's folders.
    TBatchState& batch = state_.BatchState;
    batch.OverwriteAll = true;
    batch.YesToAll = true;
    batch.NoToAll = false;
    batch.ProgressTarget = 0;
    QString name = UnzipListModel->item(row, 3)->text() + UnzipListModel->item(row, 0)->text();
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    ExtractRequest request;
    request.destination = QFileInfo(file).absolutePath();
    request.folderNames = false;
    request.replace = ReplacePolicy::Always;
    request.selected = [&name](const ArchiveEntry& e) { return e.name == name; };
    // 2b
    ExtractResult result;
    bool failed = false;
    try {
        ZipArchive zip(state_.CurrentArchive, host_.zipEngine());
        result = zip.extract(request);
        failed = !result.error.isEmpty();
    } catch (...) {
        failed = true;
    }
    if (failed)
        host_.prompter().information(QStringLiteral("FATAL DLL ERROR"));
    UnzipProgressBar->setValue(0);
    if (failed)
        return false;
    // 2c
    const QFileInfo made(file);
    if (result.code == 0)
        return made.isFile();
    return result.code == 3 && made.isFile() && made.size() > 0;
}

bool TUnzipPage::EntryMatchesRow(const ArchiveEntry& entry, int row,
                                 const std::function<QString(qint64)>& sizeText) const
{
    QString caption, folder;
    ZipListing::SplitStoredName(entry.name, caption, folder);
    return caption == UnzipListModel->item(row, 0)->text() && folder == UnzipListModel->item(row, 3)->text() &&
           sizeText(entry.size) == UnzipListModel->item(row, 1)->text() &&
           Platform::DateTimeText(entry.time.toLocalTime()) == UnzipListModel->item(row, 2)->text();
}

bool TUnzipPage::ExtractEntryForLaunch(Archive& archive, int index, const QString& file)
{
    const QString failure = archive.extractEntryTo(index, file);
    if (!failure.isEmpty())
        host_.prompter().error(failure);
    // Written whole under a temporary name or not at all.
    return QFileInfo(file).isFile();
}

bool TUnzipPage::LaunchMatchingEntry(Archive& archive, int row, const std::function<QString(qint64)>& sizeText,
                                     const QString& file)
{
    int found = -1;
    const QString error = archive.list([&](const ArchiveEntry& e) {
        if ((e.type == ArchiveEntry::File || e.type == ArchiveEntry::Device) && EntryMatchesRow(e, row, sizeText))
            found = e.index;
        return found < 0;
    });
    // No entry of the row's name, size and time: nothing opens. Damage that
    // ended the search early is said.
    if (found < 0) {
        if (!error.isEmpty())
            host_.prompter().error(error);
        return false;
    }
    return ExtractEntryForLaunch(archive, found, file);
}

bool TUnzipPage::LaunchFromTarFile(int row, const QString& file)
{
    // 3: the first file entry with the row's name, size and time.
    const bool gzipped = archivekind::fromName(state_.CurrentArchive) != ArchiveKind::Tar;
    TarArchive tar(state_.CurrentArchive, gzipped);
    return LaunchMatchingEntry(tar, row, [](qint64 size) { return AddCommas(size); }, file);
}

bool TUnzipPage::LaunchFromGZFile(const QString& file)
{
    // 4: the one file, named as the listing named it.
    GzArchive gz(state_.CurrentArchive);
    const bool ready = ExtractEntryForLaunch(gz, 0, file);
    UnzipProgressBar->setValue(0);
    return ready;
}

bool TUnzipPage::LaunchFromRarFile(int row, const QString& file)
{
    // RAR rows show the size as the listing's 32-bit number.
    RarArchive rar(state_.CurrentArchive);
    return LaunchMatchingEntry(rar, row, [](qint64 size) { return QString::number(quint32(size)); }, file);
}

bool TUnzipPage::LaunchFromOtherFile(int row, const QString& file)
{
    const QVariant index = UnzipListModel->item(row, 0)->data(EntryIndexRole);
    if (!index.isValid())
        return false;
    const std::unique_ptr<Archive> archive = openArchive(state_.CurrentArchive, ArchiveKind::Other);
    return archive && ExtractEntryForLaunch(*archive, index.toInt(), file);
}
