#include "shell/DesktopEntry.h"

#include "shell/XdgFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace DesktopEntry {

const QStringList& ArchiveMimeTypes()
{
    static const QStringList types{
        QStringLiteral("application/zip"),
        QStringLiteral("application/gzip"),
        QStringLiteral("application/x-tar"),
        QStringLiteral("application/x-compressed-tar"),
        QStringLiteral("application/vnd.rar"),
        QStringLiteral("application/x-7z-compressed"),
        QStringLiteral("application/x-xz-compressed-tar"),
        QStringLiteral("application/x-bzip-compressed-tar"),
        QStringLiteral("application/x-zstd-compressed-tar"),
        QStringLiteral("application/x-xz"),
        QStringLiteral("application/x-bzip"),
        QStringLiteral("application/zstd"),
        QStringLiteral("application/x-lz4"),
        QStringLiteral("application/x-cd-image"),
        QStringLiteral("application/vnd.ms-cab-compressed"),
        QStringLiteral("application/x-cpio"),
        QStringLiteral("application/vnd.debian.binary-package"),
        QStringLiteral("application/x-rpm"),
    };
    return types;
}

QString ExecArgument(const QString& argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`=%");
    bool quote = argument.isEmpty();
    for (QChar c : argument)
        quote = quote || reserved.contains(c);
    if (!quote)
        return argument;
    // Inside quotes ", `, $ and \ take a backslash; the string value then
    // doubles every backslash once more.
    QString exec;
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            exec += QLatin1Char('\\');
        exec += c;
    }
    exec.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    exec.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    exec.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    // A literal % in an Exec line is written %%.
    exec.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return QLatin1Char('"') + exec + QLatin1Char('"');
}

QByteArray Text(const QString& programPath, const QString& icon, Kind kind)
{
    QString t = QStringLiteral("[Desktop Entry]\n"
                               "Type=Application\n"
                               "Version=1.0\n"
                               "Name=%1\n"
                               "GenericName=Archive Manager\n"
                               "Comment=Open, extract and create zip, tar, gzip and RAR archives\n"
                               "Exec=%2 %f\n"
                               "Icon=%3\n"
                               "Terminal=false\n")
                    .arg(QString::fromLatin1(OwnName), ExecArgument(programPath), icon);
    if (kind == Kind::FileClass)
        t += QStringLiteral("MimeType=") + ArchiveMimeTypes().join(QLatin1Char(';')) + QStringLiteral(";\n");
    t += QStringLiteral("Categories=Utility;Archiving;Compression;\n");
    return t.toUtf8();
}

QString FindFile(const QString& id)
{
    if (id.isEmpty() || id.contains(QLatin1Char('/')))
        return QString();
    const QStringList folders = QStringList{Xdg::DataHome()} + Xdg::DataDirs();
    for (const QString& base : folders) {
        const QString apps = base + QStringLiteral("/applications/");
        if (QFileInfo(apps + id).isFile())
            return apps + id;
        // "kde-ark.desktop" may be applications/kde/ark.desktop: try each "-" as a folder.
        for (int i = id.indexOf(QLatin1Char('-')); i > 0; i = id.indexOf(QLatin1Char('-'), i + 1)) {
            QString nested = id;
            nested[i] = QLatin1Char('/');
            if (QFileInfo(apps + nested).isFile())
                return apps + nested;
        }
    }
    return QString();
}

QString Value(const QString& file, const QString& key)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    bool inEntry = false;
    const QByteArray wanted = key.toUtf8();
    for (QByteArray line : f.readAll().split('\n')) {
        line = line.trimmed();
        if (line.startsWith('[')) {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const int eq = line.indexOf('=');
        if (!inEntry || eq <= 0 || line.left(eq).trimmed() != wanted)
            continue;
        QString v = QString::fromUtf8(line.mid(eq + 1).trimmed());
        v.replace(QStringLiteral("\\s"), QStringLiteral(" "));
        return v;
    }
    return QString();
}

namespace {
// The program of an Exec value: the first argument, with the string-value
// escapes and then the Exec quoting undone.
QString execProgram(const QString& exec)
{
    QString plain;
    for (int i = 0; i < exec.size(); ++i) {
        if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size() && exec[i + 1] == QLatin1Char('\\'))
            ++i;
        plain += exec[i];
    }
    QString program;
    if (plain.startsWith(QLatin1Char('"'))) {
        for (int i = 1; i < plain.size() && plain[i] != QLatin1Char('"'); ++i) {
            if (plain[i] == QLatin1Char('\\') && i + 1 < plain.size())
                ++i;
            program += plain[i];
        }
    } else {
        program = plain.section(QLatin1Char(' '), 0, 0);
    }
    return program.replace(QStringLiteral("%%"), QStringLiteral("%"));
}
} // namespace

bool ProgramExists(const QString& file)
{
    const QString program = execProgram(Value(file, QStringLiteral("Exec")));
    if (program.isEmpty())
        return false;
    if (QDir::isAbsolutePath(program))
        return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

} // namespace DesktopEntry
