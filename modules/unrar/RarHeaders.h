// Reads the block headers of a RAR 4 or RAR 5 file itself, without touching
// the packed data: which entries are encrypted, which depend on the solid
// stream, which are folders or continue across volumes, and whether the
// headers themselves are encrypted or the file is cut short. It also finds
// every volume of a multi-volume set from any one of its parts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qz::rar {

struct HeaderEntry {
    std::string name;       // as stored ("/" separated); a RAR 4 Unicode name keeps only its plain part
    uint64_t packed = 0, unpacked = 0;
    bool encrypted = false;
    bool solid = false;     // needs the data of the entries before it
    bool folder = false;
    bool splitBefore = false, splitAfter = false;
    bool cut = false;       // the file ends inside this entry's header or data
    unsigned host = 0, version = 0, method = 0;
    uint32_t crc = 0, attributes = 0;
    uint32_t dosTime = 0;   // RAR 4: DOS date and time, local
    int64_t mtime = -1;     // RAR 5: Unix time, -1 when not stored
};

struct HeaderScan {
    int format = 0;               // 4 or 5; 0: no RAR signature
    bool headersEncrypted = false;
    bool solidArchive = false;
    bool volume = false;          // one part of a multi-volume set
    bool newNumbering = false;    // x.part1.rar rather than x.rar, x.r00
    bool moreVolumes = false;     // the end block says another volume follows
    bool ended = false;           // the end block was found
    bool cut = false;             // the file ends before its blocks do
    std::vector<HeaderEntry> entries; // file entries in order, continuations included
};

// The headers of one file.
HeaderScan scanHeaders(const std::string& path);

// The volumes of the set `path` belongs to, first first, as far as they are
// there; `missing` is the name of the first one not found ("" when the set is
// whole). A file that is no volume is its own set.
std::vector<std::string> findVolumes(const std::string& path, std::string& missing);

} // namespace qz::rar
