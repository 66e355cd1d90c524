#pragma once
// The viewer choices handed to a launch (the picture endings are in
// ImageExtensions.h).

#include <QString>

namespace ViewerTypes {

// Viewer choices: the associated program is the empty choice; the others
// name the viewer program, or the program's own image viewer.
inline QString NotepadChoice() { return QStringLiteral("Notepad.exe"); }
inline QString WordpadChoice() { return QStringLiteral("Wordpad.exe"); }
inline QString ImageViewerChoice() { return QStringLiteral("QuarnImageViewer"); }

} // namespace ViewerTypes
