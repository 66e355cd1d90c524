#pragma once
// The zip backend over the zip engine and its extraction library, which
// keeps the extraction rules itself (safe folder walk, temporary names).

#include "archive/Archive.h"

#include <memory>
#include <vector>

class TZipEngine;

class ZipArchive : public Archive {
public:
    // The engine loads its libraries from `libraryFolder` (default: the
    // program's module folder, beside it or in an installed lib/quarn).
    explicit ZipArchive(const QString& path, const QString& libraryFolder = QString());
    // Extracts through `engine`, whose owner answers its events (replace
    // questions, passwords, messages, progress) itself: the request's `ask`,
    // `note`, `progress` and `password` are not used, and the result's
    // `code` is the engine's error code after the run.
    ZipArchive(const QString& path, TZipEngine& engine);
    ~ZipArchive() override;
    ArchiveKind kind() const override { return ArchiveKind::Zip; }
    QString list(const std::function<bool(const ArchiveEntry&)>& each) override;
    ExtractResult extract(const ExtractRequest& request) override;
    QString extractEntryTo(int index, const QString& file) override;

private:
    // A fresh engine on the archive, unattended. "" or the error that
    // stopped the directory read; warnings go to warnings_.
    QString open(TZipEngine& engine);
    // Puts the selected entries' names and the request's options into
    // `engine`; returns the selected entries and their bytes.
    static std::vector<ArchiveEntry> prepare(TZipEngine& engine, const ExtractRequest& request, qint64& totalBytes);
    ExtractResult extractAttended(const ExtractRequest& request);
    QString libraryFolder_;
    TZipEngine* attended_ = nullptr;
};
