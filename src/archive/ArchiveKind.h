#pragma once
// The kinds of archive the program reads, told from a file's name and, as a
// check, from its first bytes.

#include <QString>
#include <QStringList>

// Other: every kind libarchive reads that has no backend of its own (7z,
// compressed tars, single compressed files, iso, cab, cpio, ar, rpm).
enum class ArchiveKind { None, Zip, Tar, TarGz, Gz, Rar, Other };

namespace archivekind {

// Name endings, by the rule every entry point shares: case is ignored;
// ".tar.gz" and ".tgz" are TarGz, other ".gz" Gz; the endings of
// otherEndings() are Other. None for any other name.
ArchiveKind fromName(const QString& path);

// The endings read as Other, longest first (".tar.xz" before ".xz").
const QStringList& otherEndings();
// Of those, the ones naming one compressed file (".xz", ".bz2", ...).
bool singleCompressedFile(const QString& path);

// What the first bytes of `path` hold: Zip (a local header, an empty
// archive's end record, or a self-extractor's "MZ"), Gz (the gzip magic),
// Tar (a header whose checksum holds), Rar ("Rar!"), or None.
ArchiveKind fromContent(const QString& path);

// "" when `path` may be read as `kind`; otherwise a message saying what the
// file really holds (".zip" that is a gzip stream, ...). A file that cannot
// be read, or whose contents match no kind, passes: the reader reports it.
QString contentMismatch(const QString& path, ArchiveKind kind);

// The kind's name in messages: "zip", "tar", "tar.gz", "gzip", "RAR", "other".
QString kindName(ArchiveKind kind);

} // namespace archivekind
