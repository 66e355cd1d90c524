#pragma once
// The spanning copier's note of every entry: where its local header lies
// in the set being read or written and where it lands in the copy.

#include <QByteArray>
#include <QHash>
#include <QString>
#include <cstdint>
#include <utility>
#include <vector>

struct TMZipDataItem {
    int32_t DiskNo = 0;          // the disk the local header is on in the copy
    int64_t NewOffset = 0;       // the local header's offset in the copy
    uint16_t NameLength = 0;
    QByteArray FileName;         // as stored
    uint64_t CompressedSize = 0; // from the central directory
    // Where the local header lies in what is read (disk, offset).
    int32_t SourceDisk = 0;
    int64_t SourceOffset = 0;
};

class TMZipDataList {
public:
    explicit TMZipDataList(int count) { items_.resize(size_t(count < 0 ? 0 : count)); }

    int Count() const { return int(items_.size()); }
    // Raises EZipEngine "Index (%d) outside range 1..%d" for a bad index.
    TMZipDataItem& At(int index);
    // The first item whose name matches in its first 255 characters, case
    // ignored; raises 11026 when there is none.
    TMZipDataItem& FindName(const QByteArray& name);
    // The item whose local header lies at (disk, offset) and carries `name`:
    // two entries whose names differ only in case are still told apart.
    // Raises 11026 when there is none.
    TMZipDataItem& FindHeader(int32_t disk, int64_t offset, const QByteArray& name);
    // Indexes the items by their source position (after they are filled).
    void IndexSources();
    // The item indices ordered by their source position.
    std::vector<int> SourceOrder() const;

private:
    std::vector<TMZipDataItem> items_;
    QHash<QPair<int32_t, int64_t>, int> bySource_;
};
