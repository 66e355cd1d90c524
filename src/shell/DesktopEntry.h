#pragma once
// Desktop entries (.desktop files): the one Quarn writes for itself, and
// reading the entries of other programs by their desktop-file id.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace DesktopEntry {

// The desktop-file id of the program's own entry.
inline constexpr const char* OwnId = "quarn.desktop";
// The entry's Name, shown wherever the desktop names the program.
inline constexpr const char* OwnName = "Quarn";

// The MIME types of the archives Quarn opens, in the order of its entry.
const QStringList& ArchiveMimeTypes();

// `argument` as one argument of an Exec line: quoted when it holds a
// character the Exec syntax reserves, with the escapes of both the Exec
// syntax and the desktop-entry string value applied.
QString ExecArgument(const QString& argument);

// The text of the program's entry: Exec runs `programPath` with one file,
// Icon is `icon`. A launcher (a link on the desktop or in the menu) leaves
// out the MIME types, so it never becomes a second opener of archives.
enum class Kind { FileClass, Launcher };
QByteArray Text(const QString& programPath, const QString& icon, Kind kind);

// The file of desktop-file id `id` in the applications folders (the user's
// first, then the system's); "" when there is none. An id "a-b.desktop" is
// also found as a/b.desktop.
QString FindFile(const QString& id);

// The value of `key` (unlocalised) in the [Desktop Entry] group of `file`;
// "" when the file cannot be read or has no such key.
QString Value(const QString& file, const QString& key);

// True when the entry's Exec program can be run: an absolute path that is
// executable, or a name found on PATH.
bool ProgramExists(const QString& file);

// A command split into its arguments by the Exec quoting rules: spaces
// separate arguments, double quotes group them, and inside quotes a
// backslash keeps the next character. Field codes are left as they are.
// Empty for an empty command or an unterminated quote.
QStringList SplitCommand(const QString& command);

// The Exec value of the entry in `file`, its string-value escapes undone
// and split as SplitCommand does; empty when it has none.
QStringList ExecArguments(const QString& file);

// The command that opens `document` with `arguments` (a split Exec value):
// %f and %F become the document's path, %u and %U its file URL, %c the
// entry's Name, %k `entryFile`, %% a "%"; %i becomes "--icon" and the Icon
// when the entry has one; other field codes are dropped. Without a code
// for the document its path is added as the last argument.
QStringList CommandFor(const QStringList& arguments, const QString& document, const QString& entryFile = QString());

// The program of a command (its first argument) as it would be run: an
// absolute path, or the name looked up on PATH; "" when it is not there.
QString ResolveProgram(const QString& program);

} // namespace DesktopEntry
