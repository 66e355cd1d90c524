#pragma once
// The kinds of archive the program reads, told from a file's name and, as a
// check, from its first bytes.

#include <QString>

enum class ArchiveKind { None, Zip, Tar, TarGz, Gz, Rar };

namespace archivekind {

// Name endings, by the rule every entry point shares: case is ignored;
// ".tar.gz" and ".tgz" are TarGz, other ".gz" Gz. None for any other name.
ArchiveKind fromName(const QString& path);

// What the first bytes of `path` hold: Zip (a local header, an empty
// archive's end record, or a self-extractor's "MZ"), Gz (the gzip magic),
// Tar (a header whose checksum holds), Rar ("Rar!"), or None.
ArchiveKind fromContent(const QString& path);

// "" when `path` may be read as `kind`; otherwise a message saying what the
// file really holds (".zip" that is a gzip stream, ...). A file that cannot
// be read, or whose contents match no kind, passes: the reader reports it.
QString contentMismatch(const QString& path, ArchiveKind kind);

// The kind's name in messages: "zip", "tar", "tar.gz", "gzip", "RAR".
QString kindName(ArchiveKind kind);

} // namespace archivekind
