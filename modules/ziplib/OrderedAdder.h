// Adds new files to an archive being written, in their order: the files are
// compressed ahead on worker threads (EntryPipeline) and written, announced
// and reported on the calling thread, as a one-by-one add would.
#pragma once

#include "ZipWriter.h"

#include <functional>
#include <string>
#include <vector>

namespace qz {

struct AddItem {
    std::string path;       // on disk
    NewEntryInfo info;
    int level = 0;          // 0 stores
    std::string password;   // empty: not encrypted
    int64_t sizeHint = 0;
};

class OrderedAdder {
public:
    // `threads` 1 compresses on the calling thread, file after file.
    OrderedAdder(ZipWriter& w, unsigned threads) : w_(w), threads_(threads) {}
    // Adds `items`; `added(i)` is called for each one that went in. False on
    // a write failure or a stop.
    bool add(const std::vector<AddItem>& items, const std::function<void(size_t)>& added);

private:
    bool addBlocks(const AddItem& item, class EntryPipeline& pipe, struct Compressed& first, bool& skipped);

    ZipWriter& w_;
    unsigned threads_;
};

} // namespace qz
