#pragma once
// BrowseforFolder: the shared folder chooser of the pages.

#include <QString>

class Prompter;
struct Settings;

namespace TFolderChooser {
// Classic: titled "DOUBLE CLICK TO Select Folder", starting in
// LastUnzipFolder, creating a typed folder when `allowCreate`; a chosen
// folder that does not exist afterwards gets the folder error text.
// Otherwise the desktop's folder chooser titled `title`. Returns the folder,
// or "" (cancelled or failed).
QString BrowseforFolder(Prompter& prompter, Settings& settings, const QString& title, bool classic, bool allowCreate);
}
