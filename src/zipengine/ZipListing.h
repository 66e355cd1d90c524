#pragma once
// Listing a zip's entries as rows of a list window: the texts of a row and the
// walk over the directory that the unzip and update lists share.

#include <QString>
#include <cstdint>
#include <functional>

class Prompter;
class TZipFile;
struct ZipFile;

namespace ZipListing {

// A stored name split for a row: "/" becomes "\"; `caption` is the file-name
// part, `path` the folder part ending in "\" (empty at the archive's root).
void SplitStoredName(const QString& stored, QString& caption, QString& path);

// A DOS date-time in the system's short date and long time (without the
// zone); "" for an invalid value.
QString DateText(uint32_t dosDateTime);

// `total` + `size`, held at INT32_MAX instead of wrapping.
int32_t AddToTotal(int32_t total, uint64_t size);
// The same for a 64-bit total (the unzip list's, which counts entries past
// 4 GiB), held at INT64_MAX.
int64_t AddToTotal(int64_t total, uint64_t size);

// The message for an archive that holds no entry this program can read.
QString NoReadableFilesText();

// Opens the zip `path` into `lister` for listing. Returns false after telling
// the user why there is nothing to list: the open error, or that the zip
// holds no entry this program can read.
bool OpenForListing(TZipFile& lister, const QString& path, Prompter& prompter);

// The texts of one entry's row.
struct EntryRow {
    QString caption;
    QString folder;
    QString date;
};
// Calls `visit` for every entry of `lister` in directory order. Entries that
// share a time stamp share its date text, formatted once.
void ForEachEntry(const TZipFile& lister, const std::function<void(int index, const ZipFile& entry, const EntryRow& row)>& visit);

} // namespace ZipListing
