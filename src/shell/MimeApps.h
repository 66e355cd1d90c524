#pragma once
// Which application opens a MIME type: the desktop's default-application
// lists (mimeapps.list), read in the order `xdg-mime query default` reads
// them, and the user's own list written back.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace MimeApps {

// The desktop-file id of the default application for `mimeType`; "" when
// none is named.
QString QueryDefault(const QString& mimeType);

// Every installed application that opens `mimeType`, each desktop-file id
// once, the default first: then the ids the mimeapps.list files add for it,
// then the entries whose MimeType lists it. Only entries whose program
// exists and that are not hidden.
QStringList ApplicationsFor(const QString& mimeType);

// Makes `desktopId` the default for `mimeType` in the [Default Applications]
// group of $XDG_CONFIG_HOME/mimeapps.list. The file is replaced in one step;
// every other line and group stays as it was. False when it cannot be written.
bool SetDefault(const QString& mimeType, const QString& desktopId);

// The text of a mimeapps.list with `mimeType` set to `desktopId` in its
// [Default Applications] group (made when missing).
QByteArray WithDefault(const QByteArray& list, const QString& mimeType, const QString& desktopId);

// The user's list: $XDG_CONFIG_HOME/mimeapps.list.
QString UserListPath();

} // namespace MimeApps
