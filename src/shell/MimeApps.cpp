#include "shell/MimeApps.h"

#include "platform/Platform.h"

#include "shell/DesktopEntry.h"
#include "shell/XdgFolders.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSet>

#include <functional>

namespace MimeApps {

namespace {
const QByteArray kDefaultGroup = "[Default Applications]";

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The key of a "key=value" line, or "" for any other line.
QByteArray keyOf(const QByteArray& line)
{
    const int eq = line.indexOf('=');
    return eq > 0 ? line.left(eq).trimmed() : QByteArray();
}

// The first id `mimeType` has in `group` of `text` (the first line naming it).
QString firstIdIn(const QByteArray& text, const QByteArray& group, const QString& mimeType)
{
    bool inGroup = false;
    const QByteArray key = mimeType.toUtf8();
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inGroup = line == group;
            continue;
        }
        if (inGroup && keyOf(line) == key)
            return QString::fromUtf8(line.mid(line.indexOf('=') + 1)).section(QLatin1Char(';'), 0, 0).trimmed();
    }
    return QString();
}

// The default a mimeapps.list in `folder` names, the desktop-specific lists
// first. As xdg-mime reads them, only a list's first id counts, and only
// when that application is installed.
QString defaultInFolder(const QString& folder, const QString& mimeType)
{
    QStringList names;
    for (const QString& desktop : Xdg::CurrentDesktops())
        names << desktop + QStringLiteral("-mimeapps.list");
    names << QStringLiteral("mimeapps.list");
    for (const QString& name : names) {
        const QString list = folder + QLatin1Char('/') + name;
        if (!QFileInfo(list).isFile())
            continue;
        const QString id = firstIdIn(readAll(list), kDefaultGroup, mimeType);
        const QString file = DesktopEntry::FindFile(id);
        if (!file.isEmpty() && DesktopEntry::ProgramExists(file))
            return id;
    }
    return QString();
}

// The older lists: the first id a defaults.list or mimeinfo.cache names.
QString defaultInCaches(const QString& mimeType)
{
    QStringList prefixes;
    const QString menuPrefix = qEnvironmentVariable("XDG_MENU_PREFIX");
    if (!menuPrefix.isEmpty())
        prefixes << menuPrefix;
    prefixes << QString();
    const QStringList folders = QStringList{Xdg::DataHome()} + Xdg::DataDirs();
    for (const QString& base : folders) {
        for (const QString& prefix : prefixes) {
            for (const char* name : {"defaults.list", "mimeinfo.cache"}) {
                const QString list = base + QStringLiteral("/applications/") + prefix + QString::fromLatin1(name);
                const QByteArray text = readAll(list);
                const QByteArray key = mimeType.toUtf8();
                for (const QByteArray& raw : text.split('\n')) {
                    const QByteArray line = raw.trimmed();
                    if (keyOf(line) != key)
                        continue;
                    const QString id = QString::fromUtf8(line.mid(line.indexOf('=') + 1)).section(QLatin1Char(';'), 0, 0);
                    if (!id.isEmpty())
                        return id.trimmed();
                }
            }
        }
    }
    return QString();
}

// Every application entry installed, with its desktop-file id: a file in a
// sub-folder of applications has the folders in its id, joined by "-". The
// user's entries come first; an id met again further on is hidden by the first.
void forEachEntry(const std::function<void(const QString& id, const QString& file)>& each)
{
    QSet<QString> seen;
    for (const QString& base : QStringList{Xdg::DataHome()} + Xdg::DataDirs()) {
        const QString apps = base + QStringLiteral("/applications");
        QDirIterator it(apps, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString file = it.next();
            QString id = QDir(apps).relativeFilePath(file);
            id.replace(QLatin1Char('/'), QLatin1Char('-'));
            if (!seen.contains(id)) {
                seen.insert(id);
                each(id, file);
            }
        }
    }
}

bool listsType(const QString& file, const QString& mimeType)
{
    return DesktopEntry::Value(file, QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts).contains(mimeType);
}

// Last resort: the installed entry for `mimeType` with the highest InitialPreference.
QString defaultFromEntries(const QString& mimeType)
{
    QString best;
    int bestPreference = -1;
    forEachEntry([&](const QString& id, const QString& file) {
        if (!listsType(file, mimeType))
            return;
        const int preference = DesktopEntry::Value(file, QStringLiteral("InitialPreference")).toInt();
        if (preference > bestPreference) {
            bestPreference = preference;
            best = id;
        }
    });
    return best;
}

// Every id the [Added Associations] groups of the mimeapps.list files give `mimeType`.
QStringList addedAssociations(const QString& mimeType)
{
    QStringList ids;
    const QByteArray key = mimeType.toUtf8();
    QStringList folders = QStringList{Xdg::ConfigHome()} + Xdg::ConfigDirs();
    for (const QString& base : QStringList{Xdg::DataHome()} + Xdg::DataDirs())
        folders << base + QStringLiteral("/applications");
    for (const QString& folder : folders) {
        bool inGroup = false;
        for (const QByteArray& raw : readAll(folder + QStringLiteral("/mimeapps.list")).split('\n')) {
            const QByteArray line = raw.trimmed();
            if (line.startsWith('[')) {
                inGroup = line == "[Added Associations]";
                continue;
            }
            if (inGroup && keyOf(line) == key)
                ids << QString::fromUtf8(line.mid(line.indexOf('=') + 1)).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        }
    }
    return ids;
}
} // namespace

QString UserListPath()
{
    return Xdg::ConfigHome() + QStringLiteral("/mimeapps.list");
}

QString QueryDefault(const QString& mimeType)
{
    for (const QString& folder : QStringList{Xdg::ConfigHome()} + Xdg::ConfigDirs()) {
        const QString id = defaultInFolder(folder, mimeType);
        if (!id.isEmpty())
            return id;
    }
    for (const QString& base : QStringList{Xdg::DataHome()} + Xdg::DataDirs()) {
        const QString id = defaultInFolder(base + QStringLiteral("/applications"), mimeType);
        if (!id.isEmpty())
            return id;
    }
    const QString cached = defaultInCaches(mimeType);
    return cached.isEmpty() ? defaultFromEntries(mimeType) : cached;
}

QStringList ApplicationsFor(const QString& mimeType)
{
    QStringList candidates{QueryDefault(mimeType)};
    candidates << addedAssociations(mimeType);
    forEachEntry([&](const QString& id, const QString& file) {
        if (listsType(file, mimeType))
            candidates << id;
    });
    QStringList ids;
    for (QString id : candidates) {
        id = id.trimmed();
        if (id.isEmpty() || ids.contains(id))
            continue;
        const QString file = DesktopEntry::FindFile(id);
        if (file.isEmpty() || !DesktopEntry::ProgramExists(file) ||
            DesktopEntry::Value(file, QStringLiteral("Hidden")) == QLatin1String("true"))
            continue;
        ids << id;
    }
    return ids;
}

QByteArray WithDefault(const QByteArray& list, const QString& mimeType, const QString& desktopId)
{
    QList<QByteArray> lines = list.split('\n');
    const bool endsWithNewline = list.isEmpty() || list.endsWith('\n');
    if (endsWithNewline)
        lines.removeLast();
    const QByteArray key = mimeType.toUtf8();
    const QByteArray entry = key + '=' + desktopId.toUtf8() + ';';

    int group = -1;
    for (int i = 0; i < lines.size() && group < 0; ++i)
        if (lines[i].trimmed() == kDefaultGroup)
            group = i;
    if (group < 0) {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines << QByteArray();
        lines << kDefaultGroup << entry;
    } else {
        int lastInGroup = group;  // the group's last line that is not blank
        bool replaced = false;
        for (int i = group + 1; i < lines.size() && !lines[i].trimmed().startsWith('['); ++i) {
            if (keyOf(lines[i].trimmed()) == key) {
                lines[i] = entry;
                replaced = true;
                break;
            }
            if (!lines[i].trimmed().isEmpty())
                lastInGroup = i;
        }
        if (!replaced)
            lines.insert(lastInGroup + 1, entry);
    }
    return lines.join('\n') + '\n';
}

bool SetDefault(const QString& mimeType, const QString& desktopId)
{
    const QString path = UserListPath();
    QFile current(path);
    QByteArray text;
    if (current.exists()) {
        if (!current.open(QIODevice::ReadOnly))
            return false;  // never replace a list we could not read
        text = current.readAll();
        current.close();
    } else if (!QDir().mkpath(Xdg::ConfigHome())) {
        return false;
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    out.write(WithDefault(text, mimeType, desktopId));
    return Platform::CommitSaveFile(out);
}

} // namespace MimeApps
