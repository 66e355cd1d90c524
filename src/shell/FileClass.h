#pragma once
// The program's file class: its desktop entry in the user's applications
// folder, written at every start so the desktop knows how to open archives
// with this copy of the program.

#include <QString>

namespace FileClass {

// $XDG_DATA_HOME/applications/quarn.desktop.
QString EntryPath();

// The Icon value for the program at `programPath`: the theme name "quarn"
// for an installed program, else the icon file beside the program (a build
// tree or a portable copy has no theme icon).
QString IconFor(const QString& programPath);

// Writes the entry when it is missing or differs from the one this program
// would write (another program path, an older MIME list), then refreshes the
// folder's MIME cache with update-desktop-database when that command exists.
// A folder that cannot be written is skipped without a word. Returns whether
// the entry is now the program's own.
bool Register(const QString& programPath);

} // namespace FileClass
