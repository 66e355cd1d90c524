#pragma once
// TZipFile lists a zip's entries as the shared directory reader finds them
// (the central directory, or the local headers of an archive whose end is
// missing), so that the lists show what extraction, testing and updating
// will work on. Every list of zip entries the user sees is filled from it.

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

// One entry: its header fields, sizes at their true 64-bit width.
struct ZipFile {
    uint16_t Version = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint16_t Time = 0;
    uint16_t Date = 0;
    uint32_t CRC32 = 0;
    uint64_t CompressedSize = 0;
    uint64_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    QString FileName; // at most 256 characters, separators as stored

    uint32_t DosDateTime() const { return uint32_t(Date) << 16 | Time; }
    bool Encrypted() const { return Flags & 1; }
};

class TZipFile;
using TReadFile = std::function<void(TZipFile& sender, const ZipFile& record)>;

class TZipFile {
public:
    static constexpr int kMaxNameLength = 256;

    // Reads `path` at once. The value is kept as FileName only when the file
    // exists. Returns false when the file could not be opened; OpenError()
    // then holds the message ("Cannot open file <path>") and the list is empty.
    bool SetFileName(const QString& path);
    const QString& FileName() const { return fileName_; }
    const QString& OpenError() const { return openError_; }

    int FileCount() const { return int(records_.size()); }
    // The record at zero-based index (a copy); an empty record for a bad index.
    ZipFile Record(int index) const;
    const std::vector<ZipFile>& Records() const { return records_; }

    // Called with each record right after it is appended.
    TReadFile OnReadFile;

    // The same reading over bytes in memory (the fuzz target drives this).
    static std::vector<ZipFile> Walk(const QByteArray& bytes);

private:
    void read(const QString& path);
    void readSet(const QString& path, const std::function<void(ZipFile&&)>& take);

    QString fileName_;
    QString openError_;
    std::vector<ZipFile> records_;
};
