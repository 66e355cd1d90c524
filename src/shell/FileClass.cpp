#include "shell/FileClass.h"

#include "platform/Platform.h"
#include "shell/DesktopEntry.h"
#include "shell/XdgFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace FileClass {

QString EntryPath()
{
    return Xdg::ApplicationsFolder() + QLatin1Char('/') + QString::fromLatin1(DesktopEntry::OwnId);
}

QString IconFor(const QString& programPath)
{
    const QString folder = QFileInfo(programPath).absolutePath();
    const QString beside = Platform::JoinPath(folder, QStringLiteral("quarn.png"));
    if (Platform::IsInstalledLayout(folder) || !QFileInfo(beside).isFile())
        return QStringLiteral("quarn");
    return beside;
}

bool Register(const QString& programPath)
{
    const QString path = EntryPath();
    const QByteArray text = DesktopEntry::Text(programPath, IconFor(programPath), DesktopEntry::Kind::FileClass);
    QFile current(path);
    if (current.open(QIODevice::ReadOnly) && current.readAll() == text)
        return true;
    current.close();
    if (!QDir().mkpath(Xdg::ApplicationsFolder()))
        return false;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !Platform::CommitSaveFile(out))
        return false;
    const QString update = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!update.isEmpty()) {
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(update, {Xdg::ApplicationsFolder()});
        if (p.waitForStarted(5000) && !p.waitForFinished(10000))
            p.kill();
    }
    return true;
}

} // namespace FileClass
