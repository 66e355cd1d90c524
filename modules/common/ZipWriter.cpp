#include "ZipWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

ZipWriter::~ZipWriter()
{
    if (zsInit_) deflateEnd(&zs_);
}

bool ZipWriter::copyRaw(int srcFd, uint64_t off, uint64_t count)
{
    std::vector<uint8_t> buf(std::min<uint64_t>(count, kChunk));
    while (count) {
        size_t n = size_t(std::min<uint64_t>(count, buf.size()));
        if (!preadAll(srcFd, buf.data(), n, off)) { errno = EIO; return false; }
        if (!out_.write(buf.data(), n)) return false;
        off += n; count -= n;
    }
    return true;
}

// The extra field without its Zip64 block (rebuilt for the values at hand).
static std::string withoutZip64(const std::string& extra)
{
    std::string out;
    size_t i = 0;
    while (i + 4 <= extra.size()) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(extra.data() + i);
        size_t len = rd16(p + 2);
        if (i + 4 + len > extra.size()) { out.append(extra, i, std::string::npos); return out; }
        if (rd16(p) != zipdir::kZip64ExtraId) out.append(extra, i, 4 + len);
        i += 4 + len;
    }
    out.append(extra, i, std::string::npos);
    return out;
}

std::string ZipWriter::centralRecord(const CentralFields& f)
{
    const bool bigU = f.usize >= zipdir::kMax32, bigC = f.csize >= zipdir::kMax32, bigO = f.offset >= zipdir::kMax32;
    std::string extra = withoutZip64(f.extra);
    if (bigU || bigC || bigO) {
        std::string z(4, '\0');
        uint8_t v[8];
        auto put64 = [&](uint64_t x) { wr32(v, uint32_t(x)); wr32(v + 4, uint32_t(x >> 32)); z.append(reinterpret_cast<char*>(v), 8); };
        if (bigU) put64(f.usize);
        if (bigC) put64(f.csize);
        if (bigO) put64(f.offset);
        wr16(reinterpret_cast<uint8_t*>(z.data()), zipdir::kZip64ExtraId);
        wr16(reinterpret_cast<uint8_t*>(z.data()) + 2, uint16_t(z.size() - 4));
        extra = z + extra;
    }
    std::string rec(46, '\0');
    uint8_t* c = reinterpret_cast<uint8_t*>(rec.data());
    wr32(c, zipdir::Sig::Central);
    wr16(c + 4, f.madeBy);
    wr16(c + 6, (bigU || bigC || bigO) && f.needed < 45 ? 45 : f.needed);
    wr16(c + 8, f.flags);
    wr16(c + 10, f.method);
    wr16(c + 12, uint16_t(f.dosTime));
    wr16(c + 14, uint16_t(f.dosTime >> 16));
    wr32(c + 16, f.crc);
    wr32(c + 20, bigC ? zipdir::kMax32 : uint32_t(f.csize));
    wr32(c + 24, bigU ? zipdir::kMax32 : uint32_t(f.usize));
    wr16(c + 28, uint16_t(f.name.size()));
    wr16(c + 30, uint16_t(extra.size()));
    wr16(c + 32, uint16_t(f.comment.size()));
    wr16(c + 36, f.intAttr);
    wr32(c + 38, f.extAttr);
    wr32(c + 42, bigO ? zipdir::kMax32 : uint32_t(f.offset));
    return rec + f.name + extra + f.comment;
}

bool ZipWriter::copyEntry(int srcFd, const Entry& e)
{
    if (!e.dataOffset) { errno = EIO; return false; }
    uint64_t len = e.dataEnd() - e.localOffset;
    if (e.hasDescriptor()) {
        uint8_t sig[4];
        bool zip64 = e.compressedSize >= zipdir::kMax32 || e.uncompressedSize >= zipdir::kMax32;
        if (preadAll(srcFd, sig, 4, e.dataEnd()) && rd32(sig) == zipdir::Sig::Descriptor) len += zip64 ? 24 : 16;
        else len += zip64 ? 20 : 12;
    }
    uint64_t at = out_.pos();
    if (!out_.keepTogether(e.dataOffset - e.localOffset) || !copyRaw(srcFd, e.localOffset, len)) return false;
    CentralFields f;
    f.madeBy = uint16_t(e.hostSystem << 8 | e.madeByVersion);
    f.needed = e.neededVersion;
    f.flags = e.flags;
    f.method = e.method;
    f.dosTime = e.dosDateTime;
    f.crc = e.crc;
    f.csize = e.compressedSize;
    f.usize = e.uncompressedSize;
    f.offset = at;
    f.intAttr = e.internalAttributes;
    f.extAttr = e.externalAttributes;
    f.name = e.rawName;
    f.extra = e.extra;
    f.comment = e.comment;
    central_.push_back(centralRecord(f));
    if (e.dosDateTime > newest_) newest_ = e.dosDateTime;
    return true;
}

bool ZipWriter::progress(uint64_t n)
{
    while (n) {
        const uint64_t piece = std::min<uint64_t>(n, kChunk);
        if (rep_.bytes(int64_t(piece))) return true;
        n -= piece;
    }
    return false;
}

bool ZipWriter::announce(const NewEntryInfo& info, int64_t size)
{
    noteTime(info.dosTime);
    return !rep_.newFile(info.name, size);
}

bool ZipWriter::skipUnopened(const std::string& path, int err)
{
    rep_.message(QZ_WARNING, "could not open " + path + ": " + errnoText(err) + " (skipped)");
    return !rep_.aborted();
}

bool ZipWriter::skipUnreadable(const std::string& path)
{
    rep_.message(QZ_WARNING, "error reading " + path + " (skipped)");
    return !rep_.aborted();
}

uint16_t ZipWriter::nameFlags(const NewEntryInfo& info) { return isAscii(info.name) ? 0 : 0x800; }

ZipWriter::CentralFields ZipWriter::newFields(const NewEntryInfo& info, uint64_t at)
{
    CentralFields f;
    f.name = info.name;
    f.dosTime = info.dosTime;
    f.extAttr = (info.mode & 0xFFFF) << 16;
    if (info.directory) f.extAttr |= 0x10;
    if (!(info.mode & S_IWUSR)) f.extAttr |= 0x01;
    f.flags = nameFlags(info);
    f.offset = at;
    return f;
}

void ZipWriter::setUp(NewEntry& e, const NewEntryInfo& info, int level, uint16_t method, EntryCipher::Kind kind, bool zip64)
{
    using K = EntryCipher::Kind;
    e.info = &info;
    e.at = out_.pos();
    e.level = level;
    e.method = method;
    e.kind = kind;
    e.zip64 = zip64;
    // Traditional encryption checks its header against the time, known
    // before the CRC, so its sizes follow in a descriptor; AE-2 keeps no CRC.
    e.flags = uint16_t(nameFlags(info) | (kind == K::Aes ? 0x1 : kind == K::Traditional ? 0x9 : 0) |
                       (method == 8 && level >= 8 ? 2 : 0) | (method == 8 && level <= 2 ? 4 : 0));
    e.aesExtra = kind == K::Aes ? newAesExtra(method) : std::string();
    e.crc = uint32_t(crc32(0, nullptr, 0));
    e.csize = e.usize = 0;
}

// A local header with a Zip64 field carries its sizes there (filled in
// afterwards, or left zero in front of a data descriptor).
bool ZipWriter::writeLocal(const NewEntry& e, bool known)
{
    const NewEntryInfo& info = *e.info;
    const bool aes = e.kind == EntryCipher::Kind::Aes;
    const uint64_t cs = e.csize + EntryCipher::overheadOf(e.kind);
    if (!out_.keepTogether(30 + info.name.size() + (e.zip64 ? 20 : 0) + e.aesExtra.size())) return false;
    uint8_t h[30] = {};
    wr32(h, zipdir::Sig::Local);
    wr16(h + 4, e.zip64 ? 45 : 20);
    wr16(h + 6, e.flags);
    wr16(h + 8, aes ? kAesMethod : e.method);
    wr16(h + 10, uint16_t(info.dosTime));
    wr16(h + 12, uint16_t(info.dosTime >> 16));
    if (known) wr32(h + 14, aes ? 0 : e.crc);
    if (e.zip64) {
        wr32(h + 18, zipdir::kMax32);
        wr32(h + 22, zipdir::kMax32);
    } else if (known) {
        wr32(h + 18, uint32_t(cs));
        wr32(h + 22, uint32_t(e.usize));
    }
    wr16(h + 26, uint16_t(info.name.size()));
    wr16(h + 28, uint16_t((e.zip64 ? 20 : 0) + e.aesExtra.size()));
    uint8_t x[20] = {};
    wr16(x, zipdir::kZip64ExtraId);
    wr16(x + 2, 16);
    if (known) {
        wr32(x + 4, uint32_t(e.usize)); wr32(x + 8, uint32_t(e.usize >> 32));
        wr32(x + 12, uint32_t(cs)); wr32(x + 16, uint32_t(cs >> 32));
    }
    return out_.write(h, 30) && out_.write(info.name.data(), info.name.size()) && (!e.zip64 || out_.write(x, 20)) &&
           out_.write(e.aesExtra.data(), e.aesExtra.size());
}

bool ZipWriter::closeEntry(const NewEntry& e, bool patch)
{
    const bool aes = e.kind == EntryCipher::Kind::Aes;
    const uint64_t cs = e.csize + EntryCipher::overheadOf(e.kind), us = e.usize;
    const uint32_t crc = aes ? 0 : e.crc;
    if (e.kind == EntryCipher::Kind::Traditional) {
        uint8_t d[24];
        wr32(d, zipdir::Sig::Descriptor);
        wr32(d + 4, crc);
        size_t n = 16;
        if (e.zip64) {
            wr32(d + 8, uint32_t(cs)); wr32(d + 12, uint32_t(cs >> 32));
            wr32(d + 16, uint32_t(us)); wr32(d + 20, uint32_t(us >> 32));
            n = 24;
        } else {
            wr32(d + 8, uint32_t(cs));
            wr32(d + 12, uint32_t(us));
        }
        if (!out_.write(d, n)) return false;
    } else if (patch && e.zip64) {
        uint8_t d[4], v[16];
        wr32(d, crc);
        wr32(v, uint32_t(us)); wr32(v + 4, uint32_t(us >> 32));
        wr32(v + 8, uint32_t(cs)); wr32(v + 12, uint32_t(cs >> 32));
        if (!out_.writeAt(e.at + 14, d, 4) || !out_.writeAt(e.at + 30 + e.info->name.size() + 4, v, 16)) return false;
    } else if (patch) {
        uint8_t d[12];
        wr32(d, crc);
        wr32(d + 4, uint32_t(cs));
        wr32(d + 8, uint32_t(us));
        if (!out_.writeAt(e.at + 14, d, 12)) return false;
    }
    CentralFields f = newFields(*e.info, e.at);
    f.flags = e.flags;
    f.method = aes ? kAesMethod : e.method;
    f.needed = aes ? 51 : e.zip64 ? 45 : 20;
    f.extra = e.aesExtra;
    f.crc = crc;
    f.csize = cs;
    f.usize = us;
    central_.push_back(centralRecord(f));
    return true;
}

bool ZipWriter::writeWholeEntry(const NewEntryInfo& info, int level, uint16_t method, EntryCipher::Kind cipherKind, uint32_t crc,
                                uint64_t usize, const std::vector<uint8_t>& stored)
{
    NewEntry e;
    const uint64_t overhead = EntryCipher::overheadOf(cipherKind);
    const bool zip64 = usize >= zipdir::kMax32 || stored.size() >= zipdir::kMax32;
    setUp(e, info, level, method, cipherKind, zip64);
    e.crc = crc;
    e.usize = usize;
    e.csize = stored.size() >= overhead ? stored.size() - overhead : 0;
    // The same bytes as a header patched afterwards, without going back.
    const bool known = cipherKind != EntryCipher::Kind::Traditional;
    return writeLocal(e, known) && out_.write(stored.data(), stored.size()) && closeEntry(e, false);
}

bool ZipWriter::beginEntry(NewEntry& e, const NewEntryInfo& info, int level, uint16_t method, const std::string& password, bool zip64)
{
    const EntryCipher::Kind kind =
        password.empty() ? EntryCipher::Kind::None : aes_ ? EntryCipher::Kind::Aes : EntryCipher::Kind::Traditional;
    setUp(e, info, level, method, kind, zip64);
    if (!writeLocal(e, false)) return false;
    std::vector<uint8_t> head;
    if (!e.cipher.start(password, aes_, info.dosTime, head)) {
        rep_.message(QZ_ERR_ZIP, "no random numbers for the encryption");
        return false;
    }
    return out_.write(head.data(), head.size());
}

bool ZipWriter::entryData(NewEntry& e, uint8_t* p, size_t n)
{
    e.cipher.encrypt(p, n);
    e.csize += n;
    return out_.write(p, n);
}

ZipWriter::Redo ZipWriter::redoNeeded(const NewEntry& e) const
{
    const uint64_t cs = e.csize + e.cipher.overhead();
    if (!e.zip64 && (e.usize >= zipdir::kMax32 || cs >= zipdir::kMax32)) return Redo::Zip64;
    if (e.method == 8 && e.csize > e.usize) return Redo::Stored;
    return Redo::None;
}

bool ZipWriter::endEntry(NewEntry& e)
{
    std::vector<uint8_t> tail;
    e.cipher.finish(tail);
    return out_.write(tail.data(), tail.size()) && closeEntry(e, true);
}

bool ZipWriter::writeData(int fd, NewEntry& e, bool report, bool& readFailed)
{
    if (inBuf_.empty()) { inBuf_.resize(kChunk); outBuf_.resize(kChunk); }
    const int level = e.method == 8 ? e.level : 0;
    if (level > 0) {
        if (!zsInit_ || zsLevel_ != level) {
            if (zsInit_) deflateEnd(&zs_);
            std::memset(&zs_, 0, sizeof zs_);
            if (deflateInit2(&zs_, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) { errno = ENOMEM; return false; }
            zsInit_ = true;
            zsLevel_ = level;
        } else {
            deflateReset(&zs_);
        }
    }
    for (;;) {
        ssize_t r = ::read(fd, inBuf_.data(), inBuf_.size());
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) { readFailed = true; return true; }
        size_t n = size_t(r);
        e.crc = uint32_t(crc32(e.crc, inBuf_.data(), uInt(n)));
        e.usize += n;
        if (level == 0) {
            if (n && !entryData(e, inBuf_.data(), n)) return false;
        } else {
            zs_.next_in = inBuf_.data();
            zs_.avail_in = uInt(n);
            int flush = n == 0 ? Z_FINISH : Z_NO_FLUSH;
            int rc;
            do {
                zs_.next_out = outBuf_.data();
                zs_.avail_out = uInt(outBuf_.size());
                rc = deflate(&zs_, flush);
                size_t have = outBuf_.size() - zs_.avail_out;
                if (have && !entryData(e, outBuf_.data(), have)) return false;
            } while (zs_.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
        }
        if (n && (report ? rep_.bytes(int64_t(n)) : rep_.aborted())) return false;
        if (n == 0) break;
    }
    return true;
}

bool ZipWriter::addFile(const std::string& path, const NewEntryInfo& info, int level, const std::string& password, bool& skipped,
                        bool announceFile, bool zip64)
{
    skipped = false;
    noteTime(info.dosTime);
    if (info.directory) {
        if (announceFile && !announce(info, 0)) return false;
        NewEntry e;
        setUp(e, info, 0, 0, EntryCipher::Kind::None, false);
        return writeLocal(e, false) && closeEntry(e, false);
    }

    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        skipped = true;
        return skipUnopened(path, errno);
    }
    struct stat st;
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    int64_t fsize = regular ? int64_t(st.st_size) : 0;
    if (announceFile && !announce(info, fsize)) { ::close(fd); return false; }
    if (regular && fsize == 0) level = 0;
    // Input whose size is not known in advance, or that may come near 4 GiB
    // once compressed, gets a Zip64 local header.
    zip64 = zip64 || !regular || uint64_t(fsize) + uint64_t(fsize) / 128 + 1024 >= zipdir::kMax32;
    for (int attempt = 0; attempt < 3; ++attempt) {
        NewEntry e;
        if (!beginEntry(e, info, level, level > 0 ? 8 : 0, password, zip64)) { ::close(fd); return false; }
        bool readFailed = false;
        // Bytes are reported once, however often the file is read.
        if (!writeData(fd, e, announceFile && attempt == 0, readFailed)) { ::close(fd); return false; }
        if (readFailed) {
            ::close(fd);
            skipped = true;
            return dropEntry(e) && skipUnreadable(path);
        }
        const Redo redo = redoNeeded(e);
        const bool rewindable = regular && ::lseek(fd, 0, SEEK_SET) == 0;
        // A file that grew past what its header can say: again, with Zip64.
        // Deflate that grew the data: store instead.
        if (redo != Redo::None && rewindable) {
            if (!dropEntry(e)) { ::close(fd); return false; }
            if (redo == Redo::Zip64) zip64 = true;
            else level = 0;
            continue;
        }
        if (!endEntry(e)) { ::close(fd); return false; }
        break;
    }
    ::close(fd);
    return true;
}

bool ZipWriter::finish(const std::string& comment)
{
    if (!out_.beginDirectory()) return false;
    uint64_t cdStart = out_.pos();
    for (const std::string& r : central_)
        if (!out_.write(r.data(), r.size())) return false;
    uint64_t cdEnd = out_.pos();
    uint64_t count = central_.size();
    uint64_t cdSize = cdEnd - cdStart;
    bool zip64 = count >= 0xFFFF || cdStart >= 0xFFFFFFFFu || cdSize >= 0xFFFFFFFFu;
    if (zip64) {
        uint8_t r[56] = {};
        wr32(r, zipdir::Sig::Zip64End);
        wr32(r + 4, 44); wr32(r + 8, 0);
        wr16(r + 12, 0x031E); wr16(r + 14, 45);
        wr32(r + 24, uint32_t(count)); wr32(r + 28, uint32_t(count >> 32));
        wr32(r + 32, uint32_t(count)); wr32(r + 36, uint32_t(count >> 32));
        wr32(r + 40, uint32_t(cdSize)); wr32(r + 44, uint32_t(cdSize >> 32));
        wr32(r + 48, uint32_t(cdStart)); wr32(r + 52, uint32_t(cdStart >> 32));
        if (!out_.write(r, 56)) return false;
        uint8_t loc[20] = {};
        wr32(loc, zipdir::Sig::Zip64Locator);
        wr32(loc + 8, uint32_t(cdEnd)); wr32(loc + 12, uint32_t(cdEnd >> 32));
        wr32(loc + 16, 1);
        if (!out_.write(loc, 20)) return false;
    }
    uint8_t e[22] = {};
    wr32(e, zipdir::Sig::End);
    wr16(e + 8, uint16_t(zip64 ? 0xFFFF : count));
    wr16(e + 10, uint16_t(zip64 ? 0xFFFF : count));
    wr32(e + 12, uint32_t(zip64 ? 0xFFFFFFFFu : cdSize));
    wr32(e + 16, uint32_t(zip64 ? 0xFFFFFFFFu : cdStart));
    std::string c = comment.substr(0, 0xFFFF);
    wr16(e + 20, uint16_t(c.size()));
    return out_.write(e, 22) && out_.write(c.data(), c.size()) && out_.flush();
}

} // namespace qz
