#pragma once
// The batch page's rules that need no widgets: the status-bar folder text,
// the row texts, the extraction folder names, where a moved zip goes, and the
// move itself. The page, both worker threads and the tests share them.

#include <QDateTime>
#include <QString>
#include <cstdint>

namespace BatchRules {

// A folder as the status bar shows it. `folder` ends with a separator; a text
// over 90 characters becomes its first 60, "..." and the 27 characters before
// the final separator; a shorter one loses the final separator.
QString StatusFolderText(const QString& folder);

// The folder that holds `path`, without a trailing separator except "/".
QString FolderOf(const QString& path);

// The "Date" text of a file time: short date and long time, the time left
// out when it is exactly midnight.
QString FileDateText(const QDateTime& time);

// Sum of the uncompressed sizes of the archive's entries (a zip or a RAR,
// by its name), held at the largest 32-bit value; 0 when nothing can be read.
int32_t UnzippedSize(const QString& path);

// The extraction folder name of a zip: its file name cut before the first
// ".zip" (lower case only, so "A.ZIP" keeps its name); a RAR's the same way
// before ".rar".
QString ExtractFolderName(const QString& fileName);

// `base`/`name` when nothing of that name exists there, otherwise the first
// `base`/`name`0N (N = 1, 2, ...) that does not exist: report, report01, ...
// report09, report010. Nothing is created.
QString UniqueExtractFolder(const QString& base, const QString& name);

// Zips kept in system or program folders are never moved: the folder (with
// its trailing separator) holds "windows", "program file" or "java", or the
// file name holds "java" (all compared in lower case).
bool KeepInPlace(const QString& zipPath);

// Where a zip moved to `moveFolder` goes: "ZipError" after a failed
// extraction; the zip's own folder path (without its leading "/") below
// `moveFolder` when the folders are recreated; `moveFolder` itself otherwise.
// When that folder already holds a file of the zip's name, its first
// sub-folder "dupe0N" (N = 1, 2, ...) that does not.
QString MoveTarget(const QString& moveFolder, const QString& zipPath, bool failed, bool recreateFolders);

enum class MoveResult { Moved, CopyFailed, CopyOnly };
// Copies the zip into `targetFolder` (created when missing; a file of the
// same name is replaced) and removes the original only when the copy is
// whole, on disk and of its size, clearing a read-only mark when the first
// removal fails. A copy that failed leaves nothing behind and the zip stays.
// CopyOnly: the copy is complete but the original could not be removed.
MoveResult MoveZip(const QString& zipPath, const QString& targetFolder);

} // namespace BatchRules
