#pragma once
// The picture file types the program shows itself: 26 lower-case endings.

#include <QString>

// `ext` is a lower-case ending with its dot, e.g. ".png".
bool IsImageExtension(const QString& ext);
// Whether the file name's ending (lower-cased) is one of the picture endings.
bool IsImageFileName(const QString& name);
// The lower-cased ending of a file name with its dot ("" when it has none).
QString LowerExtension(const QString& name);
