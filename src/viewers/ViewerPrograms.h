#pragma once
// The programs an extracted entry can be handed to: the desktop's
// applications (desktop entries), the text editor standing in for Notepad,
// the RTF editor standing in for WordPad. Quick View has no counterpart here.

#include <QString>
#include <QStringList>

// A program to start on a file: its command (a split Exec value or a typed
// command, field codes allowed) and, for a desktop application, its entry.
struct ViewerProgram {
    QStringList command;
    QString entryFile;
    QString name;  // what the user sees: the entry's Name, or the program
    bool isEmpty() const { return command.isEmpty(); }

    // The application of the desktop entry in `file` (empty when it cannot be run).
    static ViewerProgram FromEntry(const QString& file);
    // The desktop application `id` (a desktop-file id); empty when none is installed.
    static ViewerProgram FromId(const QString& id);
    // The program at `path`, started with the file as its one argument.
    static ViewerProgram FromProgram(const QString& path);
    // A typed command line.
    static ViewerProgram FromCommand(const QString& commandLine);
};

namespace ViewerPrograms {

// The desktop's application for `mimeType`: the default named for the type
// itself, else for the nearest type it is a kind of (a C source is text).
// Empty when none.
ViewerProgram ForType(const QString& mimeType);

// The MIME type of `file`, by its name and, when that says nothing, its bytes.
QString TypeOf(const QString& file);

// Every application for `mimeType` and the types it is a kind of, the
// default first, each once: the Open With chooser's list.
QList<ViewerProgram> ChoicesFor(const QString& mimeType);

// Notepad: the default application for plain text, else the first of the
// common text editors installed on PATH. Empty when there is none.
ViewerProgram Notepad();

// WordPad: the default application for RTF documents; empty when none.
ViewerProgram WordPad();
bool WordPadAvailable();

// Quick View's location: not available here.
QString QuickViewPath();

// The text editors tried for Notepad, in order.
const QStringList& CommonTextEditors();

} // namespace ViewerPrograms
