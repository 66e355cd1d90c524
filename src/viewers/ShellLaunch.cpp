#include "viewers/ShellLaunch.h"

#include "viewers/TOpenWithForm.h"

#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "shell/DesktopEntry.h"

#include <QFileInfo>
#include <QProcess>

namespace ShellLaunch {

namespace {

// Whether `file` can be handed on: there, in a folder that is there, readable.
Result CheckDocument(const QString& file)
{
    const QFileInfo fi(file);
    if (!fi.exists()) {
        const QFileInfo folder(fi.absolutePath());
        return folder.isDir() ? Result::FileNotFound : Result::PathNotFound;
    }
    if (!fi.isReadable())
        return Result::AccessDenied;
    return Result::Started;
}

} // namespace

QString ResultText(Result result)
{
    switch (result) {
    case Result::FileNotFound: return QStringLiteral("The specified file was not found.");
    case Result::PathNotFound: return QStringLiteral("The specified path was not found.");
    case Result::AccessDenied: return QStringLiteral("The operating system denied access to the specified file.");
    case Result::BadProgram: return QStringLiteral("The .EXE file is invalid (non-Win32 .EXE or error in .EXE image).");
    case Result::Started:
    case Result::NoAssociation:
    case Result::Cancelled: break;
    }
    return QString();
}

Result RunProgram(const ViewerProgram& program, const QString& file)
{
    const Result document = CheckDocument(file);
    if (document != Result::Started)
        return document;
    const QStringList command = DesktopEntry::CommandFor(program.command, QFileInfo(file).absoluteFilePath(),
                                                         program.entryFile);
    if (command.isEmpty())
        return Result::FileNotFound;
    const QString executable = DesktopEntry::ResolveProgram(command.first());
    if (executable.isEmpty())
        return Result::FileNotFound;
    const QFileInfo fi(executable);
    if (fi.isDir() || !fi.isExecutable())
        return Result::AccessDenied;
    // No working folder of its own: the program starts where this one runs.
    return QProcess::startDetached(executable, command.mid(1)) ? Result::Started : Result::BadProgram;
}

Result OpenDocument(const QString& file)
{
    const Result document = CheckDocument(file);
    if (document != Result::Started)
        return document;
    const QString path = QFileInfo(file).absoluteFilePath();
    const ViewerProgram handler = ViewerPrograms::ForType(ViewerPrograms::TypeOf(path));
    if (handler.isEmpty())
        return Result::NoAssociation;
    if (Platform::OpenUrl(path))
        return Result::Started;
    return RunProgram(handler, path);
}

ViewerProgram ProgramForChoice(const QString& viewer)
{
    const QString lower = viewer.toLower();
    if (lower == QLatin1String("notepad.exe"))
        return ViewerPrograms::Notepad();
    if (lower == QLatin1String("wordpad.exe"))
        return ViewerPrograms::WordPad();
    return viewer.isEmpty() ? ViewerProgram() : ViewerProgram::FromProgram(viewer);
}

Result OpenWith(Prompter& prompter, const QString& file, QWidget* parent)
{
    const QString path = QFileInfo(file).absoluteFilePath();
    TOpenWithForm form(path, ViewerPrograms::ChoicesFor(ViewerPrograms::TypeOf(path)), parent);
    if (prompter.runDialog(form) != QDialog::Accepted)
        return Result::Cancelled;
    const ViewerProgram chosen = form.Choice();
    return chosen.isEmpty() ? Result::Cancelled : RunProgram(chosen, path);
}

Result Execute(Prompter& prompter, const QString& viewer, const QString& file, QWidget* parent)
{
    Result result;
    if (viewer.isEmpty()) {
        result = OpenDocument(file);
    } else {
        const ViewerProgram program = ProgramForChoice(viewer);
        result = program.isEmpty() ? Result::FileNotFound : RunProgram(program, file);
    }
    if (result == Result::NoAssociation)
        result = OpenWith(prompter, file, parent);
    const QString text = ResultText(result);
    if (!text.isEmpty())
        prompter.information(text);
    return result;
}

} // namespace ShellLaunch
