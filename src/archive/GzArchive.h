#pragma once
// The gzip backend: a gzip file holds one file, named by its header (or,
// without a stored name, by the gzip file's own name without ".gz").

#include "archive/Archive.h"

class GzArchive : public Archive {
public:
    explicit GzArchive(const QString& path) : Archive(path) {}
    ArchiveKind kind() const override { return ArchiveKind::Gz; }
    QString list(const std::function<bool(const ArchiveEntry&)>& each) override;
    ExtractResult extract(const ExtractRequest& request) override;
    QString extractEntryTo(int index, const QString& file) override;

    // The name the one file gets: the stored name's last part, else the
    // gzip file's name without ".gz" (".tgz" gives ".tar"). "" when the
    // header cannot be read.
    static QString targetName(const QString& gzipPath);

private:
    // The one entry: its name, the gzip file's size and time. "" or the error.
    QString entry(ArchiveEntry& out) const;
    // Decompresses into `out`; raises TTarError on damage.
    void decompressInto(QIODevice& out, bool& trailing) const;
};
