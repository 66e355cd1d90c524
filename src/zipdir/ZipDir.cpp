#include "zipdir/ZipDir.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace zipdir {

// ---- sources ----------------------------------------------------------------

FileSource::FileSource(int fd) : fd_(fd)
{
    struct stat st;
    if (::fstat(fd, &st) == 0 && st.st_size > 0)
        size_ = uint64_t(st.st_size);
}

bool FileSource::ReadAt(uint64_t offset, void* dst, size_t n) const
{
    auto* d = static_cast<unsigned char*>(dst);
    if (offset > size_ || n > size_ - offset)
        return false;
    while (n) {
        const ssize_t r = ::pread(fd_, d, n, off_t(offset));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        d += r;
        n -= size_t(r);
        offset += uint64_t(r);
    }
    return true;
}

bool MemorySource::ReadAt(uint64_t offset, void* dst, size_t n) const
{
    if (offset > size_ || n > size_ - offset)
        return false;
    if (n)
        std::memcpy(dst, data_ + offset, n);
    return true;
}

// ---- fields -------------------------------------------------------------------

bool FindZip64(const std::string& extra, bool wantU, bool wantC, bool wantO, bool wantD, Zip64Values& out)
{
    const auto* x = reinterpret_cast<const unsigned char*>(extra.data());
    size_t i = 0;
    while (i + 4 <= extra.size()) {
        const uint16_t id = Le16(x + i), len = Le16(x + i + 2);
        if (i + 4 + len > extra.size())
            return false;
        if (id == kZip64ExtraId) {
            size_t k = i + 4;
            const size_t end = k + len;
            auto take = [&](bool want, uint64_t& v, size_t width) {
                if (!want)
                    return true;
                if (k + width > end)
                    return false;
                v = width == 8 ? Le64(x + k) : Le32(x + k);
                k += width;
                return true;
            };
            uint64_t disk = 0;
            const bool ok = take(wantU, out.uncompressed, 8) && take(wantC, out.compressed, 8)
                            && take(wantO, out.offset, 8) && take(wantD, disk, 4);
            out.disk = uint32_t(disk);
            return ok;
        }
        i += 4 + len;
    }
    return false;
}

Entry ParseCentral(const unsigned char* c, std::string rawName, std::string extra, std::string comment, uint64_t prefix,
                   CodePage codePage)
{
    Entry e;
    e.madeByVersion = c[4];
    e.hostSystem = c[5];
    e.neededVersion = Le16(c + 6);
    e.flags = Le16(c + 8);
    e.method = Le16(c + 10);
    e.dosDateTime = uint32_t(Le16(c + 14)) << 16 | Le16(c + 12);
    e.crc = Le32(c + 16);
    e.compressedSize = Le32(c + 20);
    e.uncompressedSize = Le32(c + 24);
    e.startDisk = Le16(c + 34);
    e.internalAttributes = Le16(c + 36);
    e.externalAttributes = Le32(c + 38);
    e.localOffset = Le32(c + 42);
    const bool wantU = e.uncompressedSize == kMax32, wantC = e.compressedSize == kMax32,
               wantO = e.localOffset == kMax32, wantD = e.startDisk == kMax16;
    if (wantU || wantC || wantO || wantD) {
        Zip64Values v;
        if (FindZip64(extra, wantU, wantC, wantO, wantD, v)) {
            if (wantU)
                e.uncompressedSize = v.uncompressed;
            if (wantC)
                e.compressedSize = v.compressed;
            if (wantO)
                e.localOffset = v.offset;
            if (wantD)
                e.startDisk = v.disk;
        }
    }
    e.localOffset += prefix;
    e.name = DecodeName(rawName, extra, e.flags, e.hostSystem, e.madeByVersion, codePage);
    e.rawName = std::move(rawName);
    e.extra = std::move(extra);
    e.comment = std::move(comment);
    return e;
}

namespace {

bool takeLocalHeader(const unsigned char* h, Entry& e)
{
    if (Le32(h) != Sig::Local) {
        e.localProblem = "a local header signature is wrong";
        return false;
    }
    e.dataOffset = e.localOffset + kLocalSize + Le16(h + 26) + Le16(h + 28);
    return true;
}

} // namespace

bool ReadLocalHeader(const Source& src, Entry& e)
{
    unsigned char h[kLocalSize];
    if (!src.ReadAt(e.localOffset, h, kLocalSize)) {
        e.localProblem = "error while reading a local header";
        return false;
    }
    return takeLocalHeader(h, e);
}

void ReadLocalHeaders(const Source& src, std::vector<Entry>& entries)
{
    // Headers close together (many small entries) are read with the data
    // between them in one read of up to kWindow bytes, rather than one read each.
    constexpr uint64_t kWindow = 256 * 1024, kGap = 16 * 1024;
    std::vector<Entry*> order;
    order.reserve(entries.size());
    for (Entry& e : entries)
        order.push_back(&e);
    std::stable_sort(order.begin(), order.end(),
                     [](const Entry* a, const Entry* b) { return a->localOffset < b->localOffset; });
    std::vector<unsigned char> window;
    const uint64_t size = src.Size();
    for (size_t i = 0; i < order.size();) {
        const uint64_t from = order[i]->localOffset;
        size_t j = i + 1;
        while (j < order.size() && order[j]->localOffset - order[j - 1]->localOffset <= kGap
               && order[j]->localOffset + kLocalSize - from <= kWindow && order[j]->localOffset + kLocalSize <= size)
            ++j;
        const uint64_t to = order[j - 1]->localOffset + kLocalSize;
        if (j - i < 2 || to > size) {
            ReadLocalHeader(src, *order[i]);
            ++i;
            continue;
        }
        window.resize(size_t(to - from));
        if (!src.ReadAt(from, window.data(), window.size())) {
            for (; i < j; ++i)
                ReadLocalHeader(src, *order[i]);
            continue;
        }
        for (; i < j; ++i)
            takeLocalHeader(window.data() + (order[i]->localOffset - from), *order[i]);
    }
}

const char* FaultText(Fault f)
{
    switch (f) {
    case Fault::None: return "";
    case Fault::NotAZip: return "end of central directory not found: not a zip file";
    case Fault::EndUnreadable: return "cannot read the end of the zip file";
    case Fault::Spanned: return "archives spread over several disks are not supported here";
    case Fault::CentralRange: return "the central directory's size or offset is out of range";
    case Fault::CentralSignature: return "a central header signature is wrong";
    case Fault::CentralTruncated: return "a central header runs past the directory";
    case Fault::EntryRange: return "an entry's offset or size is out of range";
    case Fault::Overlap: return "invalid zip file with overlapped components (possible zip bomb)";
    }
    return "";
}

// ---- reading ----------------------------------------------------------------

namespace {

bool fail(Directory& d, Fault f, const std::string& detail = std::string())
{
    d.fault = f;
    d.faultText = FaultText(f);
    if (!detail.empty())
        d.faultText += ": " + detail;
    return false;
}

bool centralSignatureAt(const Source& src, uint64_t at)
{
    unsigned char s[4];
    return src.ReadAt(at, s, 4) && Le32(s) == Sig::Central;
}

// No end record: the entries found by walking the local headers from the
// start of the file, as far as they are whole. The first entry whose data
// runs past the end (or whose size only a descriptor after unknown data
// holds) is the last one listed, marked incomplete.
void recoverFromLocalHeaders(const Source& src, Directory& d, const ReadOptions& o)
{
    const uint64_t size = src.Size();
    uint64_t pos = 0;
    unsigned char h[kLocalSize];
    while (src.ReadAt(pos, h, kLocalSize) && Le32(h) == Sig::Local) {
        Entry e;
        e.neededVersion = Le16(h + 4);
        e.flags = Le16(h + 6);
        e.method = Le16(h + 8);
        e.dosDateTime = uint32_t(Le16(h + 12)) << 16 | Le16(h + 10);
        e.crc = Le32(h + 14);
        e.compressedSize = Le32(h + 18);
        e.uncompressedSize = Le32(h + 22);
        const size_t nameLen = Le16(h + 26), extraLen = Le16(h + 28);
        e.rawName.resize(nameLen);
        e.extra.resize(extraLen);
        if (!src.ReadAt(pos + kLocalSize, e.rawName.data(), nameLen)
            || !src.ReadAt(pos + kLocalSize + nameLen, e.extra.data(), extraLen))
            break;
        const bool wantU = e.uncompressedSize == kMax32, wantC = e.compressedSize == kMax32;
        Zip64Values v;
        const bool zip64 = FindZip64(e.extra, wantU, wantC, false, false, v);
        if (zip64) {
            if (wantU)
                e.uncompressedSize = v.uncompressed;
            if (wantC)
                e.compressedSize = v.compressed;
        }
        e.name = DecodeName(e.rawName, e.extra, e.flags, 0, 0, o.codePage == CodePage::Oem ? CodePage::Oem : CodePage::None);
        e.localOffset = pos;
        e.dataOffset = pos + kLocalSize + nameLen + extraLen;
        // Sizes held only by a descriptor behind the data cannot be known here.
        const bool sizeUnknown = e.hasDescriptor() && e.compressedSize == 0 && e.uncompressedSize == 0 && e.crc == 0;
        if (sizeUnknown || e.dataOffset > size || e.compressedSize > size - e.dataOffset) {
            e.complete = false;
            d.entries.push_back(std::move(e));
            return;
        }
        pos = e.dataEnd();
        if (e.hasDescriptor()) {
            unsigned char s[4];
            if (src.ReadAt(pos, s, 4) && Le32(s) == Sig::Descriptor)
                pos += 4;
            pos += zip64 ? 20 : 12;
        }
        d.entries.push_back(std::move(e));
    }
}

// The Zip64 end record named by the locator in front of the end record.
// Returns false when there is no locator; sets a fault when the locator
// names no record.
bool readZip64End(const Source& src, Directory& d, uint64_t& total, uint64_t& cdSize, uint64_t& cdOffset,
                  uint64_t& dirEnd)
{
    unsigned char loc[kZip64LocatorSize];
    if (d.endRecord < kZip64LocatorSize + kZip64EndSize
        || !src.ReadAt(d.endRecord - kZip64LocatorSize, loc, kZip64LocatorSize) || Le32(loc) != Sig::Zip64Locator)
        return false;
    const uint64_t latest = d.endRecord - kZip64LocatorSize - kZip64EndSize;
    // The locator's offset, or (bytes in front of the archive shift it) the
    // record right before the locator.
    for (const uint64_t at : {Le64(loc + 8), latest}) {
        unsigned char r[kZip64EndSize];
        if (at > latest || !src.ReadAt(at, r, kZip64EndSize) || Le32(r) != Sig::Zip64End)
            continue;
        if (Le32(r + 16) != 0 || Le32(r + 20) != 0) {
            d.thisDisk = uint16_t(std::min<uint32_t>(Le32(r + 16), kMax16));
            d.centralDisk = uint16_t(std::min<uint32_t>(Le32(r + 20), kMax16));
            return fail(d, Fault::Spanned), true;
        }
        total = Le64(r + 32);
        cdSize = Le64(r + 40);
        cdOffset = Le64(r + 48);
        dirEnd = at;
        d.zip64 = true;
        return true;
    }
    fail(d, Fault::CentralRange, "the Zip64 end record is missing");
    return true;
}

// Two entries whose bytes overlap, or an entry running into the directory.
bool checkOverlaps(Directory& d)
{
    std::vector<const Entry*> order;
    order.reserve(d.entries.size());
    for (const Entry& e : d.entries)
        order.push_back(&e);
    std::stable_sort(order.begin(), order.end(),
                     [](const Entry* a, const Entry* b) { return a->localOffset < b->localOffset; });
    for (size_t i = 0; i < order.size(); ++i) {
        const Entry& a = *order[i];
        // Where this entry's bytes end: its data, or at least its header.
        const uint64_t end = a.dataOffset ? a.dataEnd() : a.localOffset + kLocalSize;
        const uint64_t limit = i + 1 < order.size() ? order[i + 1]->localOffset : d.centralStart;
        if (end > limit) {
            // The names are taken before the entries they live in go.
            const std::string what = a.name + " and "
                + (i + 1 < order.size() ? order[i + 1]->name : std::string("the central directory"));
            d.entries.clear();
            return fail(d, Fault::Overlap, what);
        }
    }
    return true;
}

bool readCentral(const Source& src, Directory& d, const ReadOptions& o)
{
    const uint64_t size = src.Size();
    const uint64_t tailLen = std::min<uint64_t>(size, kEndSize + 0xFFFF);
    std::string tail(size_t(tailLen), '\0');
    if (!src.ReadAt(size - tailLen, tail.data(), size_t(tailLen)))
        return fail(d, Fault::EndUnreadable);
    const auto* t = reinterpret_cast<const unsigned char*>(tail.data());
    // The end record nearest the end of the file is the archive's.
    int64_t at = -1;
    for (int64_t i = int64_t(tailLen) - int64_t(kEndSize); i >= 0; --i)
        if (t[i] == 'P' && t[i + 1] == 'K' && t[i + 2] == 5 && t[i + 3] == 6) {
            at = i;
            break;
        }
    if (at < 0) {
        if (o.recover)
            recoverFromLocalHeaders(src, d, o);
        if (d.entries.empty())
            return fail(d, Fault::NotAZip);
        d.recovered = true;
        d.inconsistency = "the end of the zip file is missing";
        return true;
    }
    const unsigned char* e = t + at;
    d.endRecord = size - tailLen + uint64_t(at);
    d.thisDisk = Le16(e + 4);
    d.centralDisk = Le16(e + 6);
    uint64_t total = Le16(e + 10);
    uint64_t cdSize = Le32(e + 12);
    uint64_t cdOffset = Le32(e + 16);
    const uint64_t commentLen = Le16(e + 20);
    const uint64_t commentHere = std::min<uint64_t>(commentLen, size - d.endRecord - kEndSize);
    d.comment.assign(reinterpret_cast<const char*>(e + kEndSize), size_t(commentHere));
    d.archiveEnd = d.endRecord + kEndSize + commentHere;
    d.commentCut = commentHere < commentLen;
    if (d.thisDisk != 0 || d.centralDisk != 0)
        return fail(d, Fault::Spanned);

    // Zip64 records stand between the directory and the end record whenever
    // the writer made them; their values count where the end record's are
    // only markers.
    uint64_t dirEnd = d.endRecord;
    const bool markers = total == kMax16 || Le16(e + 8) == kMax16 || cdSize == kMax32 || cdOffset == kMax32;
    uint64_t total64 = total, size64 = cdSize, offset64 = cdOffset;
    if (readZip64End(src, d, total64, size64, offset64, dirEnd)) {
        if (d.fault == Fault::Spanned || (!d.ok() && markers))
            return false;
        d.fault = Fault::None;
        d.faultText.clear();
        if (d.zip64) {
            total = total == kMax16 ? total64 : total;
            cdSize = cdSize == kMax32 ? size64 : cdSize;
            cdOffset = cdOffset == kMax32 ? offset64 : cdOffset;
        }
    }
    d.declaredEntries = total;

    // Where the directory starts: it ends where the end records begin. A start
    // past the stored offset means bytes in front of the archive (a
    // self-extractor's stub) that the offsets leave out, unless the stored
    // offset itself holds the directory (its size lies).
    if (cdSize > dirEnd && !(cdOffset < dirEnd && centralSignatureAt(src, cdOffset)))
        return fail(d, Fault::CentralRange);
    uint64_t start = cdSize <= dirEnd ? dirEnd - cdSize : cdOffset;
    const bool empty = cdSize == 0 && total == 0;
    // Where the stored offset holds a central header too, the size is what lies.
    if (!empty && start != cdOffset && cdOffset < dirEnd && centralSignatureAt(src, cdOffset))
        start = cdOffset;
    else if (!empty && start < cdOffset && !centralSignatureAt(src, start))
        return fail(d, Fault::CentralRange);
    if (start < cdOffset)
        return fail(d, Fault::CentralRange);
    d.prefix = start - cdOffset;
    d.centralStart = start;
    if (start + cdSize != dirEnd && d.inconsistency.empty())
        d.inconsistency = "the central directory's size does not match its place";

    // Every central header up to the end records (a directory of more than
    // 2 GiB, some twenty million entries, is taken for a lie).
    if (dirEnd - start > (uint64_t(1) << 31))
        return fail(d, Fault::CentralRange);
    std::string dir(size_t(dirEnd - start), '\0');
    if (!src.ReadAt(start, dir.data(), dir.size()))
        return fail(d, Fault::CentralRange);
    const auto* c = reinterpret_cast<const unsigned char*>(dir.data());
    size_t p = 0;
    d.entries.reserve(size_t(std::min<uint64_t>(total, dir.size() / kCentralSize + 1)));
    while (p + 4 <= dir.size() && Le32(c + p) == Sig::Central) {
        if (p + kCentralSize > dir.size())
            return fail(d, Fault::CentralTruncated);
        const size_t n = Le16(c + p + 28), x = Le16(c + p + 30), k = Le16(c + p + 32);
        const size_t len = kCentralSize + n + x + k;
        if (p + len > dir.size())
            return fail(d, Fault::CentralTruncated);
        const char* v = dir.data() + p + kCentralSize;
        Entry en = ParseCentral(c + p, std::string(v, n), std::string(v + n, x), std::string(v + n + x, k), d.prefix,
                                o.codePage);
        en.record.assign(dir.data() + p, len);
        if (en.localOffset > start || kLocalSize > start - en.localOffset || en.compressedSize > start)
            return fail(d, Fault::EntryRange, en.name);
        d.entries.push_back(std::move(en));
        p += len;
    }
    d.centralEnd = start + p;
    const uint64_t found = d.entries.size();
    if (found < total)
        return fail(d, Fault::CentralSignature);
    // More headers than counted: a count that only wrapped past 65535 in an
    // archive without Zip64 records is no lie.
    if (found > total && !(!d.zip64 && (found & 0xFFFF) == total) && d.inconsistency.empty())
        d.inconsistency = "the end record counts " + std::to_string(total) + " entries; the central directory holds "
                          + std::to_string(found);
    return true;
}

} // namespace

Directory Read(const Source& src, const ReadOptions& o)
{
    Directory d;
    if (!readCentral(src, d, o))
        return d;
    d.firstEntry = d.recovered ? 0 : d.centralStart;
    for (const Entry& e : d.entries)
        d.firstEntry = std::min(d.firstEntry, e.localOffset);
    if (!o.checkLocalHeaders || d.recovered)
        return d;
    ReadLocalHeaders(src, d.entries);
    checkOverlaps(d);
    return d;
}

} // namespace zipdir
