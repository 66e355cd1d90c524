// The create page's tar, tar.gz and gz archives: written on the window's
// thread while the page is locked, with progress on the page's bar.

#include "create/TCreatePage.h"
#include "create/TTarArchiveOptionsForm.h"

#include "codecs/Gzip.h"
#include "codecs/TarWriter.h"
#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>

namespace {

const QString CompletedText = QStringLiteral("THE PROGRAM HAS COMPLETED PROCESSING THE FILE \r");


} // namespace

// ---------------------------------------------------------------- lock

void TCreatePage::ZipTarGZButtonsOff()
{
    for (QWidget* w : {static_cast<QWidget*>(OpenFilesZipButton), static_cast<QWidget*>(OpenFolderzipButton),
                       static_cast<QWidget*>(ZipUndoButton), static_cast<QWidget*>(ZipResetButton),
                       static_cast<QWidget*>(ZipPropertiesButton), static_cast<QWidget*>(ZipButton),
                       static_cast<QWidget*>(ZipHelpButton), static_cast<QWidget*>(ZipExitButton),
                       static_cast<QWidget*>(ZipListView)})
        w->setEnabled(false);
    host_.SetPageTabsEnabled(false);
}

void TCreatePage::ZipTarGZButtonsOn()
{
    host_.EnableAll();
    for (QPushButton* b : {ZipUndoButton, ZipResetButton, ZipButton, ZipPropertiesButton, ZipHelpButton, ZipExitButton})
        b->setEnabled(true);
    host_.SetPageTabsEnabled(true);
    FocusList();
}

// ---------------------------------------------------------------- progress

void TCreatePage::GZipProgress(int percent)
{
    if (!GzipCreateMode)
        return;
    ZipProgressBar->setValue(percent);
    ZipStatusBar->showMessage(QString::number(ZipProgressBar->value()) + QStringLiteral(" %"));
    window()->repaint();
}

void TCreatePage::GzipTimerTimer()
{
    if (GzipCreateMode)
        ZipProgressBar->setValue(host_.Gzip().progress());
}

// ---------------------------------------------------------------- tar

void TCreatePage::MakeTarFileThread(const QString& finalName)
{
    ZipTarGZButtonsOff();
    // The tar is written beside its name and takes it once it is whole.
    const QString scratch = Platform::ScratchNameBeside(finalName);
    bool complete = MakeTarFile(scratch, finalName);
    if (!QFileInfo::exists(scratch)) {
        complete = false;  // it could not even be created (the message said so)
    } else if (complete || (TarStoppedForRoom && !QFileInfo::exists(finalName))) {
        // A tar the room ran out for ends whole after its last file; one a
        // failure cut short is no archive.
        if (!MoveToFinalName(scratch, finalName))
            complete = false;
    } else {
        // An earlier archive of that name is worth more than an incomplete one.
        Platform::RemoveScratch(scratch);
    }
    ZipTarGZButtonsOn();
    if (complete)
        host_.prompter().information(QStringLiteral("THE TAR FILE CREATION HAS BEEN COMPLETED."));
}

bool TCreatePage::MakeTarFile(const QString& tarPath, const QString& shownAs)
{
    Prompter& prompter = host_.prompter();
    TarCompleted = false;
    TarStoppedForRoom = false;
    // 1
    if (settings_.TarAttributes) {
        const uint16_t start = RowCount() > 0
            ? TTarWriter::fileMode(QFileInfo(ZipListModel->item(0, SourceColumn)->text()))
            : uint16_t(0644);
        TTarArchiveOptionsForm dlg(TarOptions, start, this);
        prompter.runDialog(dlg);
    }
    // 2
    const int rows = RowCount();
    ZipProgressBar->setRange(0, rows);
    ZipProgressBar->setValue(0);
    bool stopped = false;
    bool failed = false;
    {
        Platform::BusyCursor busy;
        try {
            // 3, 4
            TTarWriter writer(tarPath);
            writer.userName = TarOptions.userName.left(255);
            writer.groupName = TarOptions.groupName.left(255);
            writer.userId = TarOptions.userId;
            writer.groupId = TarOptions.groupId;
            writer.permissions = TarOptions.Permissions();
            writer.modesFromFiles = !TarOptions.permissionsChosen;
            writer.specialBits = 0;
            writer.magic = TarOptions.magic;
            // 5
            if (!TarOptions.volumeHeader.isEmpty())
                writer.addVolumeHeader(TarOptions.volumeHeader.left(255), QDateTime::currentDateTime());
            // 6
            for (int r = 0; r < rows; ++r) {
                QString folder = ZipListModel->item(r, PathColumn)->text();
                const QString file = ZipListModel->item(r, FileColumn)->text();
                folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
                const QString member = folder.isEmpty() ? file : folder + QLatin1Char('/') + file;
                writer.addFile(ZipListModel->item(r, SourceColumn)->text(), member);
                ZipProgressBar->setValue(r + 1);
                if ((r + 1) * 100 / rows % 4 == 0)
                    window()->repaint();
                // A free space that cannot be read counts as none.
                if (Platform::FreeOnDisk(tarPath) < 65000) {
                    stopped = r + 1 < rows;
                    if (stopped)
                        break;
                }
            }
            // 7
            writer.close();
        } catch (const TTarError& e) {
            // A disk that filled up is out of room, as between two files.
            if (Platform::FreeOnDisk(tarPath) < 65000) {
                stopped = true;
            } else {
                failed = true;
                QString text = e.message();
                if (!shownAs.isEmpty())
                    text.replace(tarPath, shownAs);
                prompter.information(text);
            }
        }
    }
    ZipProgressBar->setValue(0);
    TarOptions.Reset();
    // 8
    if (stopped)
        prompter.information(
            QStringLiteral("THERE WAS NOT ENOUGH ROOM ON THE DRIVE TO COMPLETE THE CREATION OF THE TAR FILE."));
    TarCompleted = !failed && !stopped;
    TarStoppedForRoom = stopped && !failed;
    ZipProgressBar->setRange(0, 100);
    return TarCompleted;
}

// ---------------------------------------------------------------- tar.gz

void TCreatePage::MakeTarGzFilethread(const QString& finalName)
{
    RunGzipCreate([&] { TarGZDo(finalName); });
}

bool TCreatePage::TarGZDo(const QString& finalName)
{
    // 2
    const QString fileName = QFileInfo(finalName).fileName();
    const QString tarName = fileName.left(fileName.size() - 3);
    // 3
    QString folder = TarScratchFolder.isEmpty() ? state_.TempFolder() : TarScratchFolder;
    QDir().mkpath(folder);
    const QString tarPath = Platform::JoinPath(folder, tarName);
    // 4, 5: a scratch tar that did not become the archive goes, unless the
    // room ran out while it was written (it then holds the files that fitted).
    if (!MakeTarFile(tarPath)) {
        if (!TarStoppedForRoom)
            Platform::RemoveScratch(tarPath);
        return false;
    }
    if (!GzipToFinal(tarPath, finalName)) {
        Platform::RemoveScratch(tarPath);
        return false;
    }
    return true;
}

void TCreatePage::RunGzipCreate(const std::function<void()>& work)
{
    ZipTarGZButtonsOff();
    GzipCreateMode = true;
    TGzip& gz = host_.Gzip();
    gz.OnProgress = [this](TGzip& g) { GZipProgress(g.progress()); };
    gz.ProgressStep = 1;
    work();
    ZipProgressBar->setValue(0);
    ZipStatusBar->clearMessage();
    GzipCreateMode = false;
    gz.OnProgress = nullptr;
    ZipTarGZButtonsOn();
}

bool TCreatePage::GzipToFinal(const QString& source, const QString& finalName)
{
    TGzip& gz = host_.Gzip();
    gz.FileSource = source;
    // The gzip file takes exactly the final name (the stored name is the source's).
    const QString scratch = Platform::ScratchNameBeside(finalName);
    gz.FileDestination = scratch;
    gz.DestinationShownAs = finalName;
    gz.WindowOnError = true;
    gz.DeleteSource = false;
    QTimer* timer = host_.GzipProgressTimer();
    timer->start();
    const int result = gz.compress();
    gz.DestinationShownAs.clear();
    timer->stop();
    return FinishGzip(result, gz.failureReason(), source, scratch, finalName);
}

bool TCreatePage::FinishGzip(int result, const QString& why, const QString& source, const QString& scratch,
                             const QString& finalName)
{
    if (result != TGzip::Ok) {
        // The earlier file of that name, if any, stays as it was.
        Platform::RemoveScratch(scratch);
        // The component says why it could not open a file itself; a read or
        // write that failed later is said here.
        const QString reason = why.isEmpty() ? QString() : QStringLiteral(" (") + why + QLatin1Char(')');
        if (result == TGzip::ReadError)
            host_.prompter().message(PromptKind::Error, QStringLiteral("Can't read: ") + source + reason,
                                     PromptButtons::Ok);
        else if (result == TGzip::WriteError || result == TGzip::CloseError)
            host_.prompter().message(PromptKind::Error, QStringLiteral("Can't write: ") + finalName + reason,
                                     PromptButtons::Ok);
        return false;
    }
    if (!MoveToFinalName(scratch, finalName))
        return false;
    host_.prompter().information(CompletedText + finalName);
    return true;
}

// ---------------------------------------------------------------- gz

void TCreatePage::MakeGZFileThread(const QString& finalName)
{
    RunGzipCreate([&] {
        if (RowCount() == 0)
            return;
        Platform::BusyCursor busy;
        GzipToFinal(ZipListModel->item(0, SourceColumn)->text(), finalName);
    });
}
