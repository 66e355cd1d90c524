#include "OrderedAdder.h"

#include "EntryPipeline.h"

#include <zlib.h>

namespace qz {

bool OrderedAdder::add(const std::vector<AddItem>& items, const std::function<void(size_t)>& added)
{
    if (threads_ <= 1) {
        for (size_t i = 0; i < items.size(); ++i) {
            const AddItem& it = items[i];
            bool skipped = false;
            if (!w_.addFile(it.path, it.info, it.level, it.password, skipped)) return false;
            if (!skipped) added(i);
        }
        return true;
    }
    std::vector<PipelineFile> files;
    for (const AddItem& it : items) {
        if (it.info.directory) continue;
        files.push_back(PipelineFile{it.path, it.info.dosTime, it.level, it.password, w_.aes(), it.sizeHint});
    }
    EntryPipeline pipe(std::move(files), threads_);
    for (size_t i = 0; i < items.size(); ++i) {
        const AddItem& it = items[i];
        bool skipped = false;
        if (it.info.directory) {
            if (!w_.addFile(it.path, it.info, it.level, it.password, skipped)) return false;
            if (!skipped) added(i);
            continue;
        }
        Compressed c = pipe.next();
        w_.noteTime(it.info.dosTime);
        switch (c.kind) {
        case Compressed::Kind::Unopened:
            if (!w_.skipUnopened(it.path, c.err)) return false;
            continue;
        case Compressed::Kind::Again:
            if (!w_.addFile(it.path, it.info, it.level, it.password, skipped)) return false;
            break;
        case Compressed::Kind::Unreadable:
            if (!w_.announce(it.info, c.fileSize) || !w_.skipUnreadable(it.path)) return false;
            skipped = true;
            break;
        case Compressed::Kind::Whole:
            if (!w_.announce(it.info, c.fileSize)) return false;
            if (!w_.writeWholeEntry(it.info, c.method == 8 ? it.level : 0, c.method, c.cipher, c.crc, c.usize, c.bytes)) return false;
            if (w_.progress(c.usize)) return false;
            break;
        case Compressed::Kind::Block:
            if (!addBlocks(it, pipe, c, skipped)) return false;
            break;
        }
        if (!skipped) added(i);
    }
    return true;
}

// The blocks of a large file, as they come; the ordinary way again when the
// result needs a Zip64 header after all or came out larger than the file.
bool OrderedAdder::addBlocks(const AddItem& it, EntryPipeline& pipe, Compressed& c, bool& skipped)
{
    const uint64_t fsize = uint64_t(c.fileSize);
    if (!w_.announce(it.info, c.fileSize)) return false;
    const bool zip64 = fsize + fsize / 128 + 1024 >= zipdir::kMax32;
    NewEntry e;
    if (!w_.beginEntry(e, it.info, it.level, it.level > 0 ? 8 : 0, it.password, zip64)) return false;
    for (;;) {
        if (c.kind == Compressed::Kind::Unreadable) {
            skipped = true;
            return w_.dropEntry(e) && w_.skipUnreadable(it.path);
        }
        e.crc = uint32_t(crc32_combine(e.crc, c.crc, z_off_t(c.usize)));
        e.usize += c.usize;
        if (!w_.entryData(e, c.bytes.data(), c.bytes.size())) return false;
        if (w_.progress(c.usize)) return false;
        if (c.last) break;
        c = pipe.next();
    }
    const ZipWriter::Redo redo = w_.redoNeeded(e);
    if (redo == ZipWriter::Redo::None) return w_.endEntry(e);
    if (!w_.dropEntry(e)) return false;
    return w_.addFile(it.path, it.info, redo == ZipWriter::Redo::Stored ? 0 : it.level, it.password, skipped, false,
                      zip64 || redo == ZipWriter::Redo::Zip64);
}

} // namespace qz
