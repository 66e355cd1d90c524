#pragma once
// Start-up links: launchers (executable quarn.desktop files) that start the
// program from the desktop or the application menu.

#include <QString>

namespace StartupLinks {

enum class Place { Desktop, QuickLaunch, StartMenu };

// The launcher's file name in every place.
inline constexpr const char* LinkName = "quarn.desktop";

// The folder of `place`: the user's desktop folder, the user's applications
// folder (made when missing) for the Start menu, and "" for Quick Launch,
// which this desktop does not have. "" also when the folder is not there.
QString Folder(Place place);

// Puts a launcher of `target` into `place`, inside `subFolder` (relative,
// may be empty). Nothing is written when the place has no folder or a
// launcher is already there: an existing one is never replaced. Returns
// whether a new launcher was written.
bool Create(const QString& target, Place place, const QString& subFolder);

} // namespace StartupLinks
