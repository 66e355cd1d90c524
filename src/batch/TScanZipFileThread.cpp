#include "batch/TScanZipFileThread.h"

#include "archive/ArchiveKind.h"
#include "batch/BatchRules.h"
#include "settings/AppState.h"
#include "zipengine/ZipListing.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMutexLocker>

TScanZipFileThread::TScanZipFileThread(const QString& folder, const QStringList& listed, TBatchState& state,
                                       QObject* parent)
    : QThread(parent), folder_(folder), state_(state)
{
    for (const QString& line : listed) {
        const qsizetype star = line.lastIndexOf(QLatin1Char('*'));
        if (star >= 0)
            known_.insert(line.left(star).toLower());
    }
}

QString TScanZipFileThread::TakeResults(QStringList& paths, QStringList& infos)
{
    QMutexLocker lock(&lock_);
    paths += paths_;
    infos += infos_;
    paths_.clear();
    infos_.clear();
    return statusText_;
}

void TScanZipFileThread::run()
{
    // Every file of the chosen folder is looked at ("*.*").
    ScanFolderForZips(folder_, QStringLiteral("*"));
    state_.Running = false;
}

void TScanZipFileThread::ScanFolderForZips(const QString& folder, const QString& pattern)
{
    if (state_.StopRequested)
        return;
    const QFileInfo here(folder);
    if (!here.isDir())
        return;
    const QString canonical = here.canonicalFilePath();
    if (visited_.contains(canonical))
        return;
    visited_.insert(canonical);

    QString withSep = folder;
    if (!withSep.endsWith(QLatin1Char('/')))
        withSep += QLatin1Char('/');
    {
        QMutexLocker lock(&lock_);
        statusText_ = BatchRules::StatusFolderText(withSep);
    }

    QDirIterator it(folder, {pattern}, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        if (state_.StopRequested)
            return;
        it.next();
        const QFileInfo entry = it.fileInfo();
        const QString name = entry.fileName();
        if (name.startsWith(QLatin1Char('.')))
            continue;
        const QString path = withSep + name;
        if (entry.isDir()) {
            if (state_.ScanSubfolders)
                ScanFolderForZips(path, pattern);
        } else if (entry.isFile() && archivekind::fromName(name) == ArchiveKind::Zip &&
                   !IsScannedDupe(path)) {
            AddScannedZip(path, entry.size(), BatchRules::FileDateText(entry.lastModified()));
            ++state_.Counter;
        }
    }
}

bool TScanZipFileThread::IsScannedDupe(const QString& path) const
{
    return known_.contains(path.toLower());
}

void TScanZipFileThread::AddScannedZip(const QString& path, qint64 size, const QString& dateText)
{
    known_.insert(path.toLower());
    {
        QMutexLocker lock(&lock_);
        paths_ << path;
        infos_ << QString::number(size) + QLatin1Char('*') + dateText;
    }
    state_.ZipTotal = ZipListing::AddToTotal(state_.ZipTotal, uint64_t(size));
}
