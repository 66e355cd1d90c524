#pragma once
// Handing a file to a program, as the shell's "open" verb and its Open With
// dialog do: the desktop's handler for the file's type, or a named viewer
// program started on it, with the shell's failure texts.

#include "viewers/ViewerPrograms.h"

#include <QString>

class Prompter;
class QWidget;

namespace ShellLaunch {

// What a launch came to. The failures are the shell's, each with its text.
enum class Result {
    Started,
    FileNotFound,   // the file, or the viewer program, is not there
    PathNotFound,   // the file's folder is not there
    AccessDenied,   // the file cannot be read, or the program is not executable
    BadProgram,     // the program is there but would not start
    NoAssociation,  // no application opens the file's type
    Cancelled,      // the Open With chooser was closed without a choice
};

// The shell's text for a failure; "" for Started and Cancelled.
QString ResultText(Result result);

// Opens `file` with the desktop's application for its type
// (QDesktopServices; where the platform cannot hand it on, the application
// is started directly). NoAssociation when no application opens the type.
Result OpenDocument(const QString& file);

// Starts `program` with `file` as its argument.
Result RunProgram(const ViewerProgram& program, const QString& file);

// The viewer program a viewer choice names: "Notepad.exe" and
// "WordPad.exe" (any case) their stand-ins, any other choice the program
// at that path. Empty when there is none.
ViewerProgram ProgramForChoice(const QString& viewer);

// The Open With chooser for `file` (the applications of its type and a
// command field), run through `prompter`; its choice is started on the file.
Result OpenWith(Prompter& prompter, const QString& file, QWidget* parent);

// The whole shell call: `file` opened with its associated program (empty
// `viewer`) or started in the viewer program; a type without an application
// gets the Open With chooser, and a failure its text. Returns what it came to.
Result Execute(Prompter& prompter, const QString& viewer, const QString& file, QWidget* parent);

} // namespace ShellLaunch
