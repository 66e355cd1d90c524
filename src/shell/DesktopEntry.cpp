#include "shell/DesktopEntry.h"

#include "shell/XdgFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUrl>

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
// The Exec value with the string-value escapes (\\, \n, \t, \r) undone; \s
// was undone by Value().
QString unescaped(const QString& value)
{
    QString plain;
    plain.reserve(value.size());
    for (int i = 0; i < value.size(); ++i) {
        if (value[i] == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar next = value[i + 1];
            if (next == QLatin1Char('\\') || next == QLatin1Char('n') || next == QLatin1Char('t') ||
                next == QLatin1Char('r')) {
                plain += next == QLatin1Char('n') ? QChar(QLatin1Char('\n'))
                         : next == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                         : next == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
                                                    : next;
                ++i;
                continue;
            }
        }
        plain += value[i];
    }
    return plain;
}

bool isDocumentCode(QChar c)
{
    return c == QLatin1Char('f') || c == QLatin1Char('F') || c == QLatin1Char('u') || c == QLatin1Char('U');
}
} // namespace

QStringList SplitCommand(const QString& command)
{
    QStringList args;
    QString current;
    bool inArgument = false, quoted = false;
    for (int i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < command.size()) {
                current += command[++i];
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n')) {
            if (inArgument)
                args << current;
            current.clear();
            inArgument = false;
        } else if (c == QLatin1Char('"')) {
            quoted = inArgument = true;
        } else {
            current += c;
            inArgument = true;
        }
    }
    if (quoted)
        return {};
    if (inArgument)
        args << current;
    return args;
}

QStringList ExecArguments(const QString& file)
{
    return SplitCommand(unescaped(Value(file, QStringLiteral("Exec"))));
}

QStringList CommandFor(const QStringList& arguments, const QString& document, const QString& entryFile)
{
    const QString url = QUrl::fromLocalFile(document).toString(QUrl::FullyEncoded);
    const QString icon = entryFile.isEmpty() ? QString() : Value(entryFile, QStringLiteral("Icon"));
    const QString name = entryFile.isEmpty() ? QString() : Value(entryFile, QStringLiteral("Name"));
    QStringList command;
    bool placed = false;
    for (const QString& arg : arguments) {
        if (arg == QLatin1String("%i")) {
            if (!icon.isEmpty())
                command << QStringLiteral("--icon") << icon;
            continue;
        }
        QString out;
        bool codesOnly = true;
        for (int i = 0; i < arg.size(); ++i) {
            if (arg[i] != QLatin1Char('%') || i + 1 >= arg.size()) {
                out += arg[i];
                codesOnly = false;
                continue;
            }
            const QChar code = arg[++i];
            if (code == QLatin1Char('%')) {
                out += code;
                codesOnly = false;
            } else if (code == QLatin1Char('f') || code == QLatin1Char('F')) {
                out += document;
            } else if (code == QLatin1Char('u') || code == QLatin1Char('U')) {
                out += url;
            } else if (code == QLatin1Char('c')) {
                out += name;
            } else if (code == QLatin1Char('k')) {
                out += entryFile;
            }
            placed = placed || isDocumentCode(code);
        }
        // An argument that was only a dropped code is no argument.
        if (!out.isEmpty() || !codesOnly)
            command << out;
    }
    if (!placed && !command.isEmpty())
        command << document;
    return command;
}

QString ResolveProgram(const QString& program)
{
    if (program.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(program))
        return QFileInfo::exists(program) ? program : QString();
    if (program.contains(QLatin1Char('/')))
        return QString();
    return QStandardPaths::findExecutable(program);
}

bool ProgramExists(const QString& file)
{
    const QStringList args = ExecArguments(file);
    const QString program = args.isEmpty() ? QString() : ResolveProgram(args.first());
    return !program.isEmpty() && QFileInfo(program).isExecutable();
}

} // namespace DesktopEntry
