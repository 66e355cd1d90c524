// The unzip page's UNZIP command: destination, room checks, the "..\" check
// of zip entries, the engine request and its result messages.

#include "unzip/UnzipExtract.h"

#include "archive/ArchiveKind.h"
#include "unzip/TUnzipPage.h"
#include "unzip/TZipSecurityForm.h"
#include "unzip/UnzipListing.h"

#include "platform/MainHost.h"
#include "platform/Numbers.h"
#include "platform/Platform.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "archive/ZipArchive.h"
#include "zipengine/TZipEngine.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

namespace {

constexpr qint64 SystemDriveReserve = 50000000;

QString LowSpaceQuestion(qint64 freeBytes)
{
    return QStringLiteral("YOU ARE ATTEMPTING TO EXTRACT A ZIP FILE TO DRIVE \"C\"\r"
                          "ON A TYPICAL COMPUTER THIS WOULD BE THE DISK DRIVE ON WHICH\r"
                          "WINDOWS IS INSTALLED.  THIS DRIVE HAS LESS THAN 50 MEGABYTES\r"
                          "OF FREE SPACE REMAINING.  WINDOWS CAN BECOME UNSTABLE WHEN\r"
                          "THE WINDOWS DRIVE HAS LITTLE SPACE REMAINING.  THIS DRIVE HAS\r") +
           QString::number(freeBytes / 1000000) +
           QStringLiteral(" MEGABYTES OF FREE SPACE REMAINING\r\r"
                          "TO EXTRACT THE ZIP FILE TO THIS DRIVE CHOOSE \"YES\"\r"
                          "CHOOSE CANCEL TO SELECT A DIFFERENT DRIVE\r\r"
                          "EXTRACT THE ZIP FILE TO THE \"C\" DRIVE?");
}

} // namespace

QString KiloBytesText(int64_t bytes)
{
    return QString::number(double(bytes) / 1024.0, 'g', 15);
}

PromptButton OverWriteWarning(Prompter& prompter, const QString& diskFile, const QString& entryName,
                              const QString& entryDate, int64_t entrySize)
{
    const QFileInfo disk(diskFile);
    if (!disk.exists() || disk.isDir())
        return PromptButton::Yes;
    const QString text = QStringLiteral("REPLACE THE FILE \r") + diskFile + QStringLiteral("  ") +
                         KiloBytesText(disk.size()) + QStringLiteral(" KB  ") +
                         Platform::DateTimeText(disk.lastModified()) + QStringLiteral("\rWITH THE ARCHIVE FILE \r") +
                         entryName + QStringLiteral("  ") + KiloBytesText(entrySize) + QStringLiteral(" KB  ") + entryDate;
    const PromptButton b = prompter.question(text, PromptButtons::YesNoAll);
    switch (b) {
    case PromptButton::Yes:
    case PromptButton::No:
    case PromptButton::YesToAll:
    case PromptButton::NoToAll: return b;
    default: return PromptButton::No;  // a closed box keeps the file
    }
}

void TUnzipPage::UnzipButtonClick()
{
    state_.ShowSuccessMessage = true;
    DoUnzip();
}

void TUnzipPage::DoUnzip(const QString& destination)
{
    RunUnzip(destination, false);
}

void TUnzipPage::DoGraphicsUnzip(const QString& destination)
{
    if (destination.isEmpty())
        return;
    RunUnzip(destination, true);
}

bool TUnzipPage::ZipFileSecurityCheck()
{
    // 1
    QStringList lines;
    QList<int> rows;
    const QList<bool> selected = SelectionFlags(UnzipListView);
    for (int r = 0; r < RowCount(); ++r) {
        if (!selected[r])
            continue;
        const QString path = UnzipListModel->item(r, 3)->text();
        if (path.contains(QStringLiteral("..\\"))) {
            lines << UnzipListModel->item(r, 0)->text() + QStringLiteral(",  ") + path;
            rows << r;
        }
    }
    // 2
    if (rows.isEmpty())
        return true;
    // 3
    TZipSecurityForm form(window());
    form.Memo->setPlainText(lines.join(QLatin1Char('\n')));
    const int result = host_.prompter().runDialog(form);
    if (result == TZipSecurityForm::Ignore)
        return true;
    if (result != TZipSecurityForm::DoNotUnzip)
        return false;
    for (qsizetype i = rows.size() - 1; i >= 0; --i) {
        const int r = rows[i];
        UnzipListTotal = qMax<int64_t>(0, int64_t(UnzipListTotal) - RemoveCommas(UnzipListModel->item(r, 1)->text()));
        UnzipListModel->removeRow(r);
    }
    // The filtered rows point at rows that are gone.
    UnzipFilteredListviewClear();
    ShowTotals();
    return true;
}

void TUnzipPage::RunUnzip(const QString& given, bool graphics)
{
    Prompter& prompter = host_.prompter();
    // 1
    if (FilteredViewShowing() && UnzipFilteredListView->selectionModel()->hasSelection()) {
        SetFilteredSelect();
        UnzipFilteredListviewClear();
    }
    ShowFullListWithDropTarget();

    // 2
    QString destination = given;
    if (destination.isEmpty()) {
        destination = host_.BrowseforFolder(QStringLiteral("SELECT DESTINATION FOLDER FOR UNZIPPED FILES..."), true, true);
        if (destination.isEmpty()) {
            UnzipListView->setEnabled(true);
            UnzipListView->setFocus();
            return;
        }
    }
    const QString archive = state_.CurrentArchive;
    const ArchiveKind kind = archivekind::fromName(archive);
    const bool gzipped = kind == ArchiveKind::Gz || kind == ArchiveKind::TarGz;

    if (!graphics) {
        // 3
        int64_t needed = int64_t(UnzipListTotal);
        if (gzipped)
            needed *= 2;
        const qint64 freeBytes = Platform::FreeOnDisk(destination);
        if (freeBytes < needed) {
            prompter.information(QStringLiteral("THERE IS NOT ENOUGH ROOM ON THIS DISK DRIVEFOR THE UNZIPPED FILES.\r"
                                                "SELECT A NEW FOLDER ON A DRIVE WITH MORE FREE SPACE"));
            FocusVisibleList();
            return;
        }
        // 4
        if (Platform::IsOnSystemFileSystem(destination) && freeBytes < SystemDriveReserve &&
            prompter.message(PromptKind::Warning, LowSpaceQuestion(freeBytes), PromptButtons::YesCancel) != PromptButton::Yes) {
            FocusVisibleList();
            return;
        }
    }

    // 5
    Platform::BusyCursor busy;
    TBatchState& batch = state_.BatchState;
    batch.YesToAll = graphics || !given.isEmpty();
    batch.NoToAll = false;

    if (kind == ArchiveKind::Zip) {
        // 6.1
        if (!graphics && !ZipFileSecurityCheck()) {
            FocusVisibleList();
            return;
        }
        // 6.2
        host_.DisableAll();
        ExtractRequest request;
        request.destination = destination;
        request.folderNames = settings_.ExtractFolderNames;
        request.replace = settings_.ExtractOverwrite ? ReplacePolicy::Always : ReplacePolicy::Ask;
        request.update = settings_.ExtractUpdate;
        request.freshen = settings_.ExtractFreshen;
        batch.OverwriteAll = settings_.ExtractOverwrite;
        batch.ZipUnzippedSize = 0;
        batch.BytesDone = 0;
        // 6.3: the highlighted rows, each by its archive name.
        QSet<QString> names;
        int64_t selectedSize = 0;
        const QList<bool> selected = SelectionFlags(UnzipListView);
        for (int r = 0; r < RowCount(); ++r) {
            if (!selected[r])
                continue;
            QString name = UnzipListModel->item(r, 3)->text() + UnzipListModel->item(r, 0)->text();
            names.insert(name.replace(QLatin1Char('\\'), QLatin1Char('/')));
            selectedSize += RemoveCommas(UnzipListModel->item(r, 1)->text());
        }
        request.selected = [&names](const ArchiveEntry& e) { return names.contains(e.name); };
        batch.ZipUnzippedSize = selectedSize;
        if (names.isEmpty()) {
            // 6.4
            if (!graphics)
                prompter.information(QStringLiteral(
                    "NO FILES HAVE BEEN HIGHLIGHTED!\rCHOOSE  SELECT ALL BUTTON OR CLICK FILES TO HIGHLIGHT THEM\r"
                    "AND TRY AGAIN.  (ONLY HIGHLIGHTED FILES IN THE LIST WILL BE UNZIPPED)"));
        } else {
            // 6.5: through the window's engine, which asks the page's questions.
            batch.ProgressTarget = UnzipProgress;
            ExtractResult result;
            bool failed = false;
            try {
                ZipArchive zip(archive, host_.zipEngine());
                result = zip.extract(request);
                failed = !result.error.isEmpty();
            } catch (...) {
                failed = true;
            }
            if (failed)
                prompter.information(QStringLiteral("FATAL DLL ERROR"));
            UnzipProgressBar->setValue(0);
            if (!failed && given.isEmpty()) {
                if (result.code == 0)
                    prompter.information(QStringLiteral("THE ARCHIVE FILE ") + QFileInfo(archive).fileName() +
                                         QStringLiteral("\rWAS OPENED IN THE FOLDER ") + destination);
                // Only when something was written: a refused zip wrote nothing.
                else if (result.code == 3 && result.extracted > 0)
                    prompter.information(QStringLiteral(
                        "THE PROGRAM ATTEMPTED TO UNZIP A ZIP FILE WITH AN INVALID STRUCTURE\r"
                        "IT IS POSSIBLE THAT MOST OR EVEN ALL OF THE FILES WERE SUCCESSFULLY UNZIPPED TO THE SELECTED FOLDER"));
            }
        }
    } else if (gzipped) {
        // 7
        host_.DisableAll();
        if (ExtractGz)
            ExtractGz(destination);
    } else if (kind == ArchiveKind::Tar) {
        // 8
        host_.DisableAll();
        if (ExtractTar)
            ExtractTar(destination);
    } else if (kind == ArchiveKind::Rar) {
        host_.DisableAll();
        if (ExtractRar)
            ExtractRar(destination);
    } else if (kind == ArchiveKind::Other) {
        host_.DisableAll();
        UnzipOtherFile(destination);
    }
    // 9
    host_.EnableAll();
    FocusVisibleList();
}
