#pragma once
// The tar backend, for a tar file and for a gzipped tar read as it is
// decompressed (no scratch tar anywhere).

#include "archive/Archive.h"

class TTarReader;
struct TTarEntry;

class TarArchive : public Archive {
public:
    TarArchive(const QString& path, bool gzipped);
    ArchiveKind kind() const override { return gzipped_ ? ArchiveKind::TarGz : ArchiveKind::Tar; }
    QString list(const std::function<bool(const ArchiveEntry&)>& each) override;
    ExtractResult extract(const ExtractRequest& request) override;
    QString extractEntryTo(int index, const QString& file) override;

    // The listing's view of a tar member.
    static ArchiveEntry entryOf(const TTarEntry& member, int index);

private:
    // Runs `work` over a reader of the archive's tar data, then, for a
    // gzipped tar, reads the compressed data to its end so that damage and
    // bytes after it are found. Returns "" or what went wrong.
    QString read(const std::function<void(TTarReader&)>& work);
    // Hands every member, checked and described, to `each` (false stops).
    QString walk(const std::function<bool(TTarReader&, const ArchiveEntry&)>& each);
    bool gzipped_;
};
