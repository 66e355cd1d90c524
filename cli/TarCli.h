#pragma once
// quarn-cli's create command for the tar kinds: archives whose names end (in
// any case) with ".tar", ".tar.gz", ".tgz" or ".gz" (a ".gz" holds one file).
// Listing and extracting every kind is ArchiveCli's.
//
//   create  ARCHIVE PATH...
//           folders are recursed; names are relative to each PATH's parent. A
//           tar gets folder entries and each file's own permission bits; a
//           .gz takes exactly one file. The archive is written beside its
//           final name and moved there only when complete.
//
// Return value: std::nullopt when `command` is not create or the first
// argument is not a tar-kind name (the caller handles it); otherwise the exit
// code: 0 success, 1 failure (a message on `err`), 2 usage error.

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

enum class TarKind { None, Tar, TarGz, Gz };

// The kind of an archive by its name.
TarKind tarKindOf(const QString& archive);

std::optional<int> runTarCli(const QString& command, const QStringList& args, QTextStream& err);
// The same on the process's standard output and error.
std::optional<int> runTarCli(const QString& command, const QStringList& args);
