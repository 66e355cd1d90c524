#pragma once
// quarn-cli's commands for the tar kinds: archives whose names end (in any
// case) with ".tar", ".tar.gz", ".tgz" or ".gz" (a ".gz" holds one file).
//
//   list    ARCHIVE                               one line per entry on `out`:
//           size TAB YYYY-MM-DD HH:MM:SS TAB name  (tar: every entry, times as
//           stored (UTC), folders ending in "/"; gz: the gzip file's size and
//           last-write time (local) and the stored name)
//   extract ARCHIVE [-d DIR] [--overwrite] [NAME...]
//           into DIR (default: the current folder). NAMEs pick entries: the
//           exact name, a folder and everything below it, or a wildcard
//           pattern. Existing files are kept (and reported on `err`) unless
//           --overwrite. Names are always written inside DIR: "..", "." and
//           leading "/" parts are dropped. Symbolic links are made only when
//           their target stays inside DIR; hard links become copies.
//   create  ARCHIVE PATH...
//           folders are recursed; names are relative to each PATH's parent. A
//           tar gets folder entries and each file's own permission bits; a
//           .gz takes exactly one file. The archive is written beside its
//           final name and moved there only when complete.
//
// Return value: std::nullopt when `command` is not one of the three or the
// first argument is not a tar-kind name (the caller handles it); otherwise the
// exit code: 0 success, 1 failure (a message on `err`), 2 usage error.

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

enum class TarKind { None, Tar, TarGz, Gz };

// The kind of an archive by its name.
TarKind tarKindOf(const QString& archive);

std::optional<int> runTarCli(const QString& command, const QStringList& args, QTextStream& out, QTextStream& err);
// The same on the process's standard output and error.
std::optional<int> runTarCli(const QString& command, const QStringList& args);
