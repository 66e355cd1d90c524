#pragma once
// The row icons of every list of the window: an image of the shared small
// image list chosen by the file's type, looked up once per ending and kept in
// IconCache (images from index 4 on).

#include <QString>

struct TAppState;

namespace FileIcons {

// The image for the file `name` (a bare name or a full path): 1 for a name
// without an ending, the cached or newly added image of its type, the file's
// own icon when the name reaches a file on disk, else 1 (2 for programs).
int ImageFor(TAppState& state, const QString& name);

// Adds the icon of the type of `extension` (with or without its dot) to both
// shared lists and returns its small image index, or 0 when the type has none.
int RegistryIconExtraction(TAppState& state, const QString& extension);

// The description of the file type of `extension` (with its dot) in the
// shared MIME database, or "" when the ending names no known type.
QString TypeDescription(const QString& extension);

} // namespace FileIcons
