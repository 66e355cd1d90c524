#include "viewers/ViewerPrograms.h"

#include "shell/DesktopEntry.h"
#include "shell/MimeApps.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>

ViewerProgram ViewerProgram::FromEntry(const QString& file)
{
    ViewerProgram p;
    if (file.isEmpty() || !DesktopEntry::ProgramExists(file))
        return p;
    p.command = DesktopEntry::ExecArguments(file);
    p.entryFile = file;
    p.name = DesktopEntry::Value(file, QStringLiteral("Name"));
    if (p.name.isEmpty() && !p.command.isEmpty())
        p.name = QFileInfo(p.command.first()).fileName();
    return p;
}

ViewerProgram ViewerProgram::FromId(const QString& id)
{
    return id.isEmpty() ? ViewerProgram() : FromEntry(DesktopEntry::FindFile(id));
}

ViewerProgram ViewerProgram::FromCommand(const QString& commandLine)
{
    ViewerProgram p;
    p.command = DesktopEntry::SplitCommand(commandLine.trimmed());
    if (!p.command.isEmpty())
        p.name = QFileInfo(p.command.first()).fileName();
    return p;
}

ViewerProgram ViewerProgram::FromProgram(const QString& path)
{
    ViewerProgram p;
    // A "%" in the path is no field code.
    p.command = QStringList{QString(path).replace(QLatin1Char('%'), QStringLiteral("%%"))};
    p.name = QFileInfo(path).fileName();
    return p;
}

namespace ViewerPrograms {

namespace {

// `mimeType` and the types it is a kind of, nearest first. Every type is a
// kind of application/octet-stream, whose applications (hex editors) are
// no opener of a document: it counts only as a file's own type.
QStringList TypeAndAncestors(const QString& mimeType)
{
    QStringList types{mimeType};
    const QMimeType type = QMimeDatabase().mimeTypeForName(mimeType);
    if (type.isValid()) {
        if (type.name() != mimeType)
            types << type.name();
        for (const QString& parent : type.allAncestors())
            if (parent != QLatin1String("application/octet-stream") && !types.contains(parent))
                types << parent;
    }
    return types;
}

ViewerProgram DefaultFor(const QStringList& types)
{
    for (const QString& t : types) {
        const ViewerProgram p = ViewerProgram::FromId(MimeApps::QueryDefault(t));
        if (!p.isEmpty())
            return p;
    }
    return ViewerProgram();
}

} // namespace

ViewerProgram ForType(const QString& mimeType)
{
    return DefaultFor(TypeAndAncestors(mimeType));
}

QString TypeOf(const QString& file)
{
    // Without a MIME database every file is a plain stream of bytes.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
    return type.isValid() ? type.name() : QStringLiteral("application/octet-stream");
}

QList<ViewerProgram> ChoicesFor(const QString& mimeType)
{
    QList<ViewerProgram> choices;
    QStringList seen;
    for (const QString& t : TypeAndAncestors(mimeType)) {
        for (const QString& id : MimeApps::ApplicationsFor(t)) {
            if (seen.contains(id))
                continue;
            seen << id;
            const ViewerProgram p = ViewerProgram::FromId(id);
            if (!p.isEmpty())
                choices << p;
        }
    }
    return choices;
}

const QStringList& CommonTextEditors()
{
    static const QStringList editors{
        QStringLiteral("gnome-text-editor"), QStringLiteral("gedit"),  QStringLiteral("kate"),
        QStringLiteral("kwrite"),            QStringLiteral("mousepad"), QStringLiteral("pluma"),
        QStringLiteral("xed"),               QStringLiteral("featherpad"), QStringLiteral("leafpad"),
        QStringLiteral("geany"),
    };
    return editors;
}

ViewerProgram Notepad()
{
    const ViewerProgram p = DefaultFor({QStringLiteral("text/plain")});
    if (!p.isEmpty())
        return p;
    for (const QString& editor : CommonTextEditors()) {
        const QString found = QStandardPaths::findExecutable(editor);
        if (!found.isEmpty())
            return ViewerProgram::FromProgram(found);
    }
    return ViewerProgram();
}

ViewerProgram WordPad()
{
    return DefaultFor({QStringLiteral("application/rtf"), QStringLiteral("text/rtf")});
}

bool WordPadAvailable()
{
    return !WordPad().isEmpty();
}

QString QuickViewPath()
{
    return QString();
}

} // namespace ViewerPrograms
