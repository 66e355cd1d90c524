#pragma once
// The batch page's folder scan. The thread walks a folder (and, when asked,
// every folder below it) for zip files and never touches a widget: it
// appends what it finds under its lock, counts in the shared batch record,
// and the page's timer takes the results over on each tick.

#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

struct TBatchState;

class TScanZipFileThread : public QThread {
    Q_OBJECT
public:
    // `listed` holds the lines LoadThreadlist made for the rows already in
    // the list ("path*size"); their zips are never found a second time.
    TScanZipFileThread(const QString& folder, const QStringList& listed, TBatchState& state, QObject* parent = nullptr);

    // Moves the zips found since the last call into `paths` (full paths) and
    // `infos` ("size*date" per path, same order) and returns the folder being
    // scanned as the status bar shows it.
    QString TakeResults(QStringList& paths, QStringList& infos);

protected:
    void run() override;

private:
    void ScanFolderForZips(const QString& folder, const QString& pattern);
    bool IsScannedDupe(const QString& path) const;
    void AddScannedZip(const QString& path, qint64 size, const QString& dateText);

    const QString folder_;
    TBatchState& state_;
    QSet<QString> known_;    // lower-case paths of listed and found zips
    QSet<QString> visited_;  // canonical folders entered, so linked folders cannot loop
    QMutex lock_;
    QStringList paths_, infos_;
    QString statusText_;
};
