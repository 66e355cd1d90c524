#pragma once
// The freedesktop base folders, read from the environment as the desktop's
// own tools read them (the XDG base directory and user-dirs conventions).

#include <QString>
#include <QStringList>

namespace Xdg {

QString Home();
// $XDG_DATA_HOME, else ~/.local/share.
QString DataHome();
// $XDG_CONFIG_HOME, else ~/.config.
QString ConfigHome();
// $XDG_DATA_DIRS, else /usr/local/share and /usr/share.
QStringList DataDirs();
// $XDG_CONFIG_DIRS, else /etc/xdg.
QStringList ConfigDirs();
// The names in $XDG_CURRENT_DESKTOP, lower-cased, in order.
QStringList CurrentDesktops();
// Where the user's application entries live: DataHome()/applications.
QString ApplicationsFolder();
// The user's desktop folder as `xdg-user-dir DESKTOP` answers it: the
// XDG_DESKTOP_DIR line of user-dirs.dirs, else ~/Desktop.
QString DesktopFolder();

} // namespace Xdg
