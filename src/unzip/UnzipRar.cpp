// The unzip page's RAR kind: listing a RAR archive and extracting its
// highlighted rows through the archive layer's RAR backend (TdRar and the
// RAR library), with the RAR replace question and password prompt.

#include "unzip/TRarPasswordForm.h"
#include "unzip/TUnzipPage.h"
#include "zipengine/ZipListing.h"

#include "archive/RarArchive.h"
#include "platform/MainHost.h"
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

namespace {

// The archive name of a row: its path (with "\") and caption, "/" separated.
QString RowName(const QString& path, const QString& caption)
{
    QString name = path + caption;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return name;
}

} // namespace

// ---------------------------------------------------------------- listing

void TUnzipPage::UpDateRARWindow(const QString& path)
{
    // 1
    Platform::BusyCursor busy;
    ShowFullListWithDropTarget();
    state_.CurrentArchive = path;
    UnzipStatusBar->showMessage(QStringLiteral("0"));
    UnzipListTotal = 0;
    struct Row {
        QString name, size, date;
    };
    QList<Row> rows;
    RarArchive rar(path);
    // 2: folders are not rows.
    const QString error = rar.list([&](const ArchiveEntry& e) {
        if (e.folder())
            return true;
        rows << Row{e.name, QString::number(quint32(e.size)), Platform::DateTimeText(e.time.toLocalTime())};
        UnzipListTotal = AddToTotal(UnzipListTotal, uint64_t(qMax<qint64>(0, e.size)));
        return true;
    });
    // 3
    UnzipListView->setUpdatesEnabled(false);
    const QIcon folderIcon = state_.SmallImages.Images.isEmpty() ? QIcon() : state_.SmallImages.Images.first();
    for (int i = 0; i < rows.size(); ++i) {
        UnzipStatusBar->showMessage(QString::number(i));
        QString caption, folder;
        SplitStoredName(rows[i].name, caption, folder);
        auto* pathItem = new QStandardItem(folder);
        pathItem->setIcon(folderIcon);
        UnzipListModel->appendRow(QList<QStandardItem*>{new QStandardItem(caption), new QStandardItem(rows[i].size),
                                                        new QStandardItem(rows[i].date), pathItem});
        FindFilesIcon(caption, RowCount() - 1);
    }
    UnzipListView->setUpdatesEnabled(true);
    UnzipStatusBar->clearMessage();
    // 4
    ShowTotals();
    host_.EnableAll();
    // What the library could not read is said, then what it listed is shown
    // (encrypted names, a cut or damaged archive).
    if (!error.isEmpty())
        host_.prompter().error(error);
    // 5
    if (RowCount() == 0) {
        host_.prompter().information(NoReadableFilesText());
        return;
    }
    // 6
    SetLoadedButtonStates();
    if (settings_.SelectAllOnLoad)
        UnzipListView->selectAll();
}

// ---------------------------------------------------------------- extracting

PromptButton TUnzipPage::RarOverwriteQuestion(const QString& diskFile, const QString& entryName, qint64 entrySize,
                                              const QString& entryDate)
{
    const QFileInfo disk(diskFile);
    if (!disk.exists() && !disk.isSymLink())
        return PromptButton::Yes;
    if (state_.BatchState.NoToAll)
        return PromptButton::No;
    const QString text = diskFile + QStringLiteral("  ") + QString::number(disk.size() / 1024) + QStringLiteral(" KB  ") +
                         Platform::DateTimeText(disk.lastModified()) + QStringLiteral("\r\r") + entryName +
                         QStringLiteral("  ") + QString::number(entrySize / 1024) + QStringLiteral(" KB  ") + entryDate +
                         QStringLiteral("\r\rTHE FILE IN THE ZIP FILE WILL REPLACE THE FILE ON DISK\r"
                                        "TO REPLACE THIS FILE CHOOSE  YES\r"
                                        "TO REPLACE ALL FILES AND AVOID RECEIVING THIS MESSAGE AGAIN CHOOSE  ALL");
    const PromptButton b = host_.prompter().question(text, PromptButtons::YesNoAll);
    window()->repaint();
    switch (b) {
    case PromptButton::Yes: return PromptButton::Yes;
    case PromptButton::YesToAll: state_.BatchState.YesToAll = true; return PromptButton::Yes;
    case PromptButton::NoToAll: state_.BatchState.NoToAll = true; return PromptButton::No;
    default: return PromptButton::No;
    }
}

QString TUnzipPage::RarReqPassword()
{
    if (!RarPassword.isEmpty())
        return RarPassword;
    TRarPasswordForm form(this);
    host_.prompter().runDialog(form);
    RarPassword = form.Password();
    return RarPassword;
}

void TUnzipPage::UnzipRarFile(const QString& destination)
{
    if (RowCount() == 0)
        return;
    Prompter& prompter = host_.prompter();
    // 1: YesToAll and NoToAll were set by the extraction command (YesToAll
    // when it extracts into a folder of its own without questions).
    RarPassword.clear();
    Platform::BusyCursor busy;
    UnzipProgressBar->setRange(0, RowCount());
    UnzipProgressBar->setValue(0);
    // 2
    QSet<QString> names;
    const QList<bool> selected = SelectionFlags(UnzipListView);
    for (int r = 0; r < RowCount(); ++r) {
        if (!selected[r])
            continue;
        const QString caption = UnzipListModel->item(r, 0)->text();
        const QString folder = UnzipListModel->item(r, 3)->text();
        const QString name = RowName(folder, caption);
        if (state_.BatchState.YesToAll || settings_.ExtractOverwrite) {
            names.insert(name);
            continue;
        }
        const qint64 size = UnzipListModel->item(r, 1)->text().toLongLong();
        if (RarOverwriteQuestion(Platform::JoinPath(destination, name), name, size,
                                 UnzipListModel->item(r, 2)->text()) == PromptButton::Yes)
            names.insert(name);
    }
    // 3
    if (names.isEmpty()) {
        UnzipProgressBar->setRange(0, 100);
        prompter.information(QStringLiteral("YOU HAVE NOT SELECTED ANY FILES TO ADD TO THIS ZIP FILE"));
        return;
    }
    // 4
    UnzipProgressBar->setRange(0, int(names.size()));
    ExtractRequest request;
    request.destination = destination;
    request.replace = ReplacePolicy::Always;
    request.selected = [&names](const ArchiveEntry& e) { return names.contains(e.name); };
    request.askPassword = [this](const ArchiveEntry&) { return RarReqPassword(); };
    bool reported = false;
    request.report = [&](const QString& text) {
        reported = true;
        return prompter.message(PromptKind::Error, text, PromptButtons::OkCancel) != PromptButton::Cancel;
    };
    request.progress = [this](int done, qint64) {
        UnzipProgressBar->setValue(qMin(done, UnzipProgressBar->maximum()));
        return true;
    };
    RarArchive rar(state_.CurrentArchive);
    const ExtractResult result = rar.extract(request);
    if (!reported && !result.error.isEmpty())
        prompter.error(result.error);
    UnzipProgressBar->setValue(0);
    UnzipProgressBar->setRange(0, 100);
}
