#include "app/TDropRouter.h"

#include "archive/ArchiveKind.h"
#include "create/TCreatePage.h"
#include "create/TUpdatePage.h"
#include "platform/MainHost.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "unzip/TUnzipPage.h"

#include <QFileInfo>
#include <QTreeView>

const char* const TDropRouter::ReplaceQuestion = "CLEAR THE ENTRIES AND LOAD A NEW ZIP FILE?";
const char* const TDropRouter::MoreThanOneFile =
    "YOU HAVE DROPPED MORE THAN ONE FILE.  CHOOSE A SINGLE ZIP FILE TO DROP";

namespace {

// The name's ending from its last dot, lower-cased ("" without a dot).
QString endingOf(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot).toLower();
}

bool droppableArchive(const QString& path)
{
    const QString ending = endingOf(path);
    return ending == QLatin1String(".zip") || ending == QLatin1String(".gz") || ending == QLatin1String(".tar");
}

} // namespace

TDropRouter::TDropRouter(TMainHost& host, Settings& settings, TAppState& state, TUnzipPage& unzip,
                         TUpdatePage& update, TCreatePage& create)
    : host_(host), settings_(settings), state_(state), unzip_(unzip), update_(update), create_(create)
{
}

void TDropRouter::DropFileTargetDrop(QWidget* target, const QStringList& paths)
{
    if (!target || paths.isEmpty())
        return;
    if (target == create_.ZipListView) {
        create_.UpdateZipWindow(paths);
        create_.ZipListView->viewport()->update();
        return;
    }
    if (target == update_.UpdateListView) {
        if (!update_.ArchiveLoaded())
            return;
        update_.UpdateDropUpdateWindow(paths);
        update_.UpdateListView->viewport()->update();
        return;
    }
    const bool filtered = target == unzip_.UnzipFilteredListView;
    if (!filtered && target != unzip_.UnzipListView)
        return;
    if (paths.size() > 1) {
        host_.prompter().information(QString::fromLatin1(MoreThanOneFile));
        return;
    }
    DropOnUnzipList(filtered, paths.first());
}

void TDropRouter::DropOnUnzipList(bool filtered, const QString& path)
{
    if (!droppableArchive(path))
        return;
    if (filtered) {
        // The filtered view gives way to the full list. With no rows showing
        // there is nothing to lose yet: the full list's own question follows.
        const bool rows = unzip_.FilteredRowCount() > 0;
        if (rows && !ReplaceListing())
            return;
        unzip_.ShowFullListWithDropTarget();
        if (rows)
            unzip_.ClearUnzipListView();
    }
    if (unzip_.RowCount() > 0) {
        if (!ReplaceListing())
            return;
        unzip_.ClearUnzipListView();
    }
    ListDropped(QFileInfo(path).absoluteFilePath());
}

bool TDropRouter::ReplaceListing()
{
    if (host_.prompter().question(QString::fromLatin1(ReplaceQuestion), PromptButtons::YesNoCancel) ==
        PromptButton::Yes)
        return true;
    unzip_.FocusVisibleList();
    return false;
}

void TDropRouter::ListDropped(const QString& path)
{
    QTreeView* list = unzip_.UnzipListView;
    auto focusList = [list] {
        list->setEnabled(true);
        list->setFocus();
    };
    const QString ending = endingOf(path);
    // A file whose contents are not what its name says gets OPEN's message.
    const ArchiveKind kind = ending == QLatin1String(".zip")   ? ArchiveKind::Zip
                             : ending == QLatin1String(".tar") ? ArchiveKind::Tar
                             : path.toLower().endsWith(QLatin1String(".tar.gz")) && settings_.OpenTarInGzip
                                 ? ArchiveKind::TarGz
                                 : ArchiveKind::Gz;
    const QString mismatch = archivekind::contentMismatch(path, kind);
    if (!mismatch.isEmpty()) {
        host_.prompter().error(mismatch);
        focusList();
        return;
    }
    state_.CurrentArchive = path;
    host_.DisableAll();
    switch (kind) {
    case ArchiveKind::Zip:
        unzip_.UpdateUnzipWindow(path);  // ends with EnableAll
        focusList();
        list->viewport()->update();
        return;
    case ArchiveKind::TarGz: unzip_.UpDateTarGZipWindow(path); break;
    case ArchiveKind::Gz: unzip_.UpdateGZipWindow(path); break;
    default: unzip_.UpdateTarWindow(path); break;
    }
    host_.EnableAll();
    unzip_.SetLoadedButtonStates();
    focusList();
}
