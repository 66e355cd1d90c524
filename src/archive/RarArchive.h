#pragma once
// The RAR backend over TdRar and the RAR library, which keeps the extraction
// rules itself (safe folder walk, temporary names, the link rules). A set of
// volumes is read whole from any of its parts.

#include "archive/Archive.h"

struct RARHeaderData;

class RarArchive : public Archive {
public:
    // The library is loaded from `libraryFolder` (default: the program's
    // module folder, beside it or in an installed lib/quarn).
    explicit RarArchive(const QString& path, const QString& libraryFolder = QString());
    ArchiveKind kind() const override { return ArchiveKind::Rar; }
    QString list(const std::function<bool(const ArchiveEntry&)>& each) override;
    ExtractResult extract(const ExtractRequest& request) override;
    QString extractEntryTo(int index, const QString& file) override;

    const QString& libraryFolder() const { return libraryFolder_; }

    // The listing's view of a header.
    static ArchiveEntry entryOf(const RARHeaderData& header, int index);
    // What a result code means for the entry `name`: the library's own codes
    // (encrypted, solid, missing volume, cut short) name the entry and the
    // reason; the others give the library's message.
    static QString messageFor(int code, const QString& name);

private:
    // Without folder names: the selection is extracted with its folders into
    // a scratch folder inside the destination, and each file is then taken
    // from there under the one extraction policy (flat names, the replace
    // policy, names met twice).
    ExtractResult extractFlat(const ExtractRequest& request);
    QString libraryFolder_;
};
