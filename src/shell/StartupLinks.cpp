#include "shell/StartupLinks.h"

#include "platform/Platform.h"
#include "shell/DesktopEntry.h"
#include "shell/FileClass.h"
#include "shell/XdgFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace StartupLinks {

QString Folder(Place place)
{
    switch (place) {
    case Place::Desktop: {
        const QString d = Xdg::DesktopFolder();
        return QFileInfo(d).isDir() ? d : QString();
    }
    case Place::QuickLaunch:
        return QString();
    case Place::StartMenu: {
        const QString apps = Xdg::ApplicationsFolder();
        return QDir().mkpath(apps) ? apps : QString();
    }
    }
    return QString();
}

bool Create(const QString& target, Place place, const QString& subFolder)
{
    const QString folder = Folder(place);
    // The link stays inside the place's folder.
    if (folder.isEmpty() || QDir::isAbsolutePath(subFolder) || subFolder.split(QLatin1Char('/')).contains(QStringLiteral("..")))
        return false;
    const QString dir = subFolder.isEmpty() ? folder : Platform::JoinPath(folder, subFolder);
    const QString path = Platform::JoinPath(dir, QString::fromLatin1(LinkName));
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return false;
    QFile out(path);
    // NewOnly: a launcher that appears meanwhile is still not replaced.
    if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const QByteArray text = DesktopEntry::Text(target, FileClass::IconFor(target), DesktopEntry::Kind::Launcher);
    const bool written = out.write(text) == text.size() && out.flush();
    out.close();
    if (!written) {
        out.remove();
        return false;
    }
    // Desktops run only launchers marked executable.
    out.setPermissions(out.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    return true;
}

} // namespace StartupLinks
