#include "shell/XdgFolders.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace Xdg {

namespace {
QString fromEnvironment(const char* name, const QString& fallback)
{
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? fallback : v;
}

QStringList folderList(const char* name, const QString& fallback)
{
    QStringList out;
    for (const QString& d : fromEnvironment(name, fallback).split(QLatin1Char(':'), Qt::SkipEmptyParts))
        out << QDir::cleanPath(d);
    return out;
}

// One value of user-dirs.dirs: a quoted text in which "$HOME" may start the
// path; a relative result counts from the home folder.
QString userDirValue(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')))
        value = value.mid(1, value.size() - 2);
    value.replace(QStringLiteral("\\\""), QStringLiteral("\""));
    if (value.isEmpty())
        return QString();
    if (value == QStringLiteral("$HOME") || value.startsWith(QStringLiteral("$HOME/")))
        value = Home() + value.mid(5);
    else if (!QDir::isAbsolutePath(value))
        value = Home() + QLatin1Char('/') + value;
    return QDir::cleanPath(value);
}
} // namespace

QString Home()
{
    return QDir::cleanPath(fromEnvironment("HOME", QDir::homePath()));
}

QString DataHome()
{
    return QDir::cleanPath(fromEnvironment("XDG_DATA_HOME", Home() + QStringLiteral("/.local/share")));
}

QString ConfigHome()
{
    return QDir::cleanPath(fromEnvironment("XDG_CONFIG_HOME", Home() + QStringLiteral("/.config")));
}

QStringList DataDirs()
{
    return folderList("XDG_DATA_DIRS", QStringLiteral("/usr/local/share/:/usr/share/"));
}

QStringList ConfigDirs()
{
    return folderList("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
}

QStringList CurrentDesktops()
{
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString ApplicationsFolder()
{
    return DataHome() + QStringLiteral("/applications");
}

QString DesktopFolder()
{
    QFile f(ConfigHome() + QStringLiteral("/user-dirs.dirs"));
    QString found;
    if (f.open(QIODevice::ReadOnly)) {
        static const QRegularExpression line(QStringLiteral("^\\s*XDG_DESKTOP_DIR\\s*=(.*)$"));
        // The file is a shell script: the last assignment wins.
        for (const QByteArray& raw : f.readAll().split('\n')) {
            const QRegularExpressionMatch m = line.match(QString::fromUtf8(raw));
            if (m.hasMatch())
                found = userDirValue(m.captured(1));
        }
    }
    return found.isEmpty() ? Home() + QStringLiteral("/Desktop") : found;
}

} // namespace Xdg
