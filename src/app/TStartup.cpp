#include "app/TStartup.h"

#include "app/TSettingsKeeper.h"
#include "archive/ArchiveKind.h"
#include "batch/TBatchPage.h"
#include "create/TCreatePage.h"
#include "create/TUpdatePage.h"
#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "sfx/TSfxPage.h"
#include "shell/FileClass.h"
#include "unzip/TUnzipPage.h"
#include "viewers/ViewerPrograms.h"
#include "zipengine/TZipEngine.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QStyle>
#include <QTreeView>

namespace {

QIcon redCross()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::white);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::red, 3));
    p.drawLine(3, 3, 12, 12);
    p.drawLine(12, 3, 3, 12);
    p.end();
    pm.setMask(pm.createMaskFromColor(Qt::white));
    return QIcon(pm);
}

} // namespace

void TStartup::FormCreate(const QStringList& arguments)
{
    TAppState& state = p_.state;
    Settings& settings = p_.settings;
    TZipEngine& engine = p_.host.zipEngine();
    // 2
    state.ProgramPath = Platform::ProgramPath();
    state.ProgramFolder = Platform::ProgramFolder();
    state.DataFolder = Platform::DataFolder();
    // 3
    p_.create.TarScratchFolder.clear();
    state.ScratchFolderList.clear();
    p_.host.Gzip();
    state.ShowSuccessMessage = true;
    // 4: best effort; a read-only data folder is reported with the settings.
    if (!QFileInfo(state.ImageTempFolder()).isDir())
        QDir().mkpath(state.ImageTempFolder());
    // 5
    p_.create.TarOptions.Reset();
    // 6
    state.BatchState.ReloadOnReturn = false;
    state.BatchState.OverwriteAll = false;
    state.BatchState.YesToAll = false;
    state.BatchState.NoToAll = false;
    settings.CreateCutOff = 0;
    settings.UpdateCutOff = 0;
    // 7
    FileClass::Register(state.ProgramPath);
    state.QuickViewPath = ViewerPrograms::QuickViewPath();
    settings.WordPadPresent = ViewerPrograms::WordPadAvailable();
    state.TabText = QString(255, QLatin1Char('\t'));
    // 8
    p_.unzip.QuickView1->setEnabled(!state.QuickViewPath.isEmpty());
    p_.unzip.WordPad1->setEnabled(settings.WordPadPresent);
    // 9
    state.BatchState.ResetRun();
    state.ClearBatchLists();
    // 10
    p_.sfx.ResetFolderChoice();
    // 11
    FillBatchImageList();
    // 12
    engine.SetDLLDirectory(Platform::ProgramFilesFolder(Platform::ProgramFiles::Modules));
    // 13
    p_.unzip.UnzipListTotal = 0;
    p_.update.UpdateListTotal = 0;
    p_.create.ZipListTotal = 0;
    p_.batch.BatchListTotal = 0;
    // 14
    state.IconCache.clear();
    state.SharedList.clear();
    // 15
    p_.keeper.Load(state.DataFolder);
    // 16
    p_.unzip.CheckThumbnailSizeItem(settings.ThumbnailSize);
    // 17
    if (!settings.SfxIconFile.isEmpty() && QFileInfo(settings.SfxIconFile).isFile())
        p_.sfx.CheckOutIcon(settings.SfxIconFile);
    // 18: a library that cannot be loaded is reported by the engine; each
    // operation tries again to load what it needs.
    engine.LoadZipLibrary();
    engine.LoadUnzipLibrary();
    // 19
    CreateAddFolderWindow();
    // 20
    OpenCommandLine(arguments);
    p_.host.MoveDropTarget(p_.unzip.VisibleListView());
}

void TStartup::FillBatchImageList()
{
    TIconList& list = p_.state.BatchImageList;
    list.Images.clear();
    QStyle* st = p_.style;
    list.Add(st->standardIcon(QStyle::SP_DirIcon));
    list.Add(QIcon::fromTheme(QStringLiteral("package-x-generic"), st->standardIcon(QStyle::SP_FileIcon)));
    list.Add(redCross());
}

void TStartup::CreateAddFolderWindow()
{
    // The shared icon lists with their four fixed images (folder, unknown
    // file, program, selected folder).
    QStyle* st = p_.style;
    const QIcon fixed[4] = {st->standardIcon(QStyle::SP_DirIcon), st->standardIcon(QStyle::SP_FileIcon),
                            QIcon::fromTheme(QStringLiteral("application-x-executable"),
                                             st->standardIcon(QStyle::SP_ComputerIcon)),
                            st->standardIcon(QStyle::SP_DirOpenIcon)};
    TAppState& state = p_.state;
    state.SmallImages.Images.clear();
    state.LargeImages.Images.clear();
    for (const QIcon& i : fixed) {
        state.SmallImages.Add(i);
        state.LargeImages.Add(i);
    }
    p_.unzip.SetPathHeaderImage(fixed[0]);
}

void TStartup::OpenCommandLine(const QStringList& arguments)
{
    if (arguments.size() != 1)
        return;
    TUnzipPage& unzip = p_.unzip;
    const QFileInfo fi(arguments.first());
    p_.settings.LastOpenFolder = fi.absolutePath();
    p_.state.CurrentArchive = fi.absoluteFilePath();
    const QString path = p_.state.CurrentArchive;
    const ArchiveKind kind = archivekind::fromName(path);
    p_.host.DisableAll();
    switch (kind) {
    case ArchiveKind::Zip:
        // UpdateUnzipWindow ends with EnableAll on every path.
        unzip.UpdateUnzipWindow(path);
        return;
    // The program registers itself as the opener of RAR and the other
    // kinds, so a double-click on one lists it as OPEN does; these listers
    // end with EnableAll like the zip one.
    case ArchiveKind::Rar:
        unzip.UpDateRARWindow(path);
        unzip.UnzipListView->setEnabled(true);
        return;
    case ArchiveKind::Other:
        unzip.UpdateOtherWindow(path);
        unzip.UnzipListView->setEnabled(true);
        return;
    // The command line lists the tar inside a ".tar.gz" or ".tgz" (the
    // program opens both when asked to) whatever OpenTarInGzip says.
    case ArchiveKind::TarGz: unzip.UpDateTarGZipWindow(path); break;
    case ArchiveKind::Gz: unzip.UpdateGZipWindow(path); break;
    case ArchiveKind::Tar: unzip.UpdateTarWindow(path); break;
    default: p_.host.EnableAll(); return;
    }
    p_.host.EnableAll();
    unzip.SetLoadedButtonStates();
    unzip.UnzipListView->setEnabled(true);
    unzip.UnzipListView->setFocus();
}
