#pragma once
// quarn-cli's list and extract commands, for every archive kind, through the
// archive layer:
//
//   list    ARCHIVE
//           one line per entry on `out`: size TAB YYYY-MM-DD HH:MM:SS TAB name.
//           Folders end in "/". Zip and RAR times as stored (local), tar
//           times and those of the other kinds libarchive reads as stored
//           (UTC); a gz, like a single .xz, .bz2, .zst or .lz4 file, lists
//           its one file with the compressed file's size and last-write time. Control characters in names are escaped
//           ("\n", "\t", "\x1b", and "\\" for a backslash), so one line is
//           always one entry.
//   extract ARCHIVE [-d DIR] [--overwrite] [--password PW] [NAME...]
//           into DIR (default: the current folder). NAMEs pick entries: the
//           exact name, a folder and everything below it, or a * and ?
//           pattern. Existing files are kept (and reported on `err`) unless
//           --overwrite. Nothing is written outside DIR.
//
// Warnings (bytes after a zip's end record, ...) go to `err` and the command
// carries on. Return value: std::nullopt when `command` is neither; otherwise
// the exit code: 0 every entry was listed or extracted, 1 failure (a message
// on `err`), 2 usage error.

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

std::optional<int> runArchiveCli(const QString& command, const QStringList& args, QTextStream& out, QTextStream& err);

// A stored name with control characters and backslashes escaped.
QString escapedName(const QString& name);

// Whether a NAME argument picks the stored `name`: the exact name, a folder
// and everything below it, or a * and ? pattern (* also crosses "/"; ASCII
// letters compare without case in patterns, as the zip library does).
bool namePicks(const QString& wanted, const QString& name);
