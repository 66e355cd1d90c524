#pragma once
// The read-only backend for every kind libarchive reads that has no backend
// of its own: 7z, tars compressed with xz, bzip2, zstd, lz4 or lzma, single
// files compressed with those, iso, cab, cpio, ar (.deb) and rpm. Files are
// written through the one ExtractionPolicy.

#include "archive/Archive.h"

#include <functional>

struct archive;

class LibarchiveArchive : public Archive {
public:
    explicit LibarchiveArchive(const QString& path);
    ArchiveKind kind() const override { return ArchiveKind::Other; }
    QString list(const std::function<bool(const ArchiveEntry&)>& each) override;
    ExtractResult extract(const ExtractRequest& request) override;
    QString extractEntryTo(int index, const QString& file) override;

    // The name of the one file a single compressed file holds: its own name
    // without the compression ending.
    static QString singleFileName(const QString& path);

private:
    // Opens the archive and hands each entry with the open reader to
    // `work` (false stops). Returns "" or what ended the walk early.
    QString walk(const std::function<bool(struct archive*, const ArchiveEntry&)>& work);
    bool single_;
};
