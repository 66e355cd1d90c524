#pragma once
// What the viewers and their callers agree on: the file endings that count as
// pictures, and the viewer choices handed to a launch.

#include <QString>

namespace ViewerTypes {

// Whether the file name `name` ends in one of the picture endings (.bmp,
// .gif, .jpeg, .jpe, .jpg, .pcx, .png, .pbm, .pgm, .ppm, .psd, .raw, .sgi,
// .bw, .rgb, .rgba, .tga, .tif, .tiff, .lbm, .pcd, .pix, .pic, .pnm, .pxr,
// .xpm), compared in lower case.
bool IsImageFile(const QString& name);

// Viewer choices: the associated program is the empty choice; the others
// name the viewer program, or the program's own image viewer.
inline QString NotepadChoice() { return QStringLiteral("Notepad.exe"); }
inline QString WordpadChoice() { return QStringLiteral("Wordpad.exe"); }
inline QString ImageViewerChoice() { return QStringLiteral("QuarnImageViewer"); }

} // namespace ViewerTypes
