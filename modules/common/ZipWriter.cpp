#include "ZipWriter.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

static constexpr size_t kChunk = 1 << 18;

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

// Rewrites the local-header offset inside a copied central record.
static void patchOffset(std::string& rec, uint64_t offset)
{
    uint8_t* c = reinterpret_cast<uint8_t*>(rec.data());
    if (rd32(c + 42) != 0xFFFFFFFFu) { wr32(c + 42, uint32_t(offset)); return; }
    size_t nl = rd16(c + 28), xl = rd16(c + 30);
    size_t i = 46 + nl, end = 46 + nl + xl;
    while (i + 4 <= end) {
        uint16_t id = rd16(c + i), len = rd16(c + i + 2);
        if (i + 4 + len > end) return;
        if (id == 0x0001) {
            size_t k = i + 4;
            if (rd32(c + 24) == 0xFFFFFFFFu) k += 8;
            if (rd32(c + 20) == 0xFFFFFFFFu) k += 8;
            if (k + 8 <= i + 4 + len) { wr32(c + k, uint32_t(offset)); wr32(c + k + 4, uint32_t(offset >> 32)); }
            return;
        }
        i += 4 + len;
    }
}

bool ZipWriter::copyEntry(int srcFd, const Entry& e)
{
    uint8_t h[30];
    if (!preadAll(srcFd, h, 30, e.localOffset) || rd32(h) != 0x04034b50u) { errno = EIO; return false; }
    uint64_t len = 30 + uint64_t(rd16(h + 26)) + rd16(h + 28) + e.csize;
    if (e.flags & 8) {
        uint8_t sig[4];
        bool zip64 = e.csize >= 0xFFFFFFFFu || e.usize >= 0xFFFFFFFFu;
        if (preadAll(srcFd, sig, 4, e.localOffset + len) && rd32(sig) == 0x08074b50u) len += zip64 ? 24 : 16;
        else len += zip64 ? 20 : 12;
    }
    uint64_t at = out_.pos();
    if (!copyRaw(srcFd, e.localOffset, len)) return false;
    std::string rec = e.central;
    patchOffset(rec, at);
    central_.push_back(std::move(rec));
    if (e.dosTime > newest_) newest_ = e.dosTime;
    return true;
}

bool ZipWriter::writeData(int fd, int level, PkCrypt* crypt, uint32_t& crc, uint64_t& csize, uint64_t& usize, bool& readFailed)
{
    if (inBuf_.empty()) { inBuf_.resize(kChunk); outBuf_.resize(kChunk); }
    crc = uint32_t(crc32(0, nullptr, 0));
    csize = usize = 0;
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
        crc = uint32_t(crc32(crc, inBuf_.data(), uInt(n)));
        usize += n;
        if (level == 0) {
            if (crypt) crypt->encrypt(inBuf_.data(), n);
            if (n && !out_.write(inBuf_.data(), n)) return false;
            csize += n;
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
                if (have) {
                    if (crypt) crypt->encrypt(outBuf_.data(), have);
                    if (!out_.write(outBuf_.data(), have)) return false;
                    csize += have;
                }
            } while (zs_.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
        }
        if (n && rep_.bytes(int64_t(n))) return false;
        if (n == 0) break;
    }
    return true;
}

bool ZipWriter::addFile(const std::string& path, const NewEntryInfo& info, int level, const std::string& password, bool& skipped)
{
    skipped = false;
    if (info.dosTime > newest_) newest_ = info.dosTime;
    bool utf8 = !isAscii(info.name);
    uint16_t flags = utf8 ? 0x800 : 0;
    uint32_t ext = (info.mode & 0xFFFF) << 16;
    if (info.directory) ext |= 0x10;
    if (!(info.mode & S_IWUSR)) ext |= 0x01;

    auto writeLocal = [&](uint16_t fl, uint16_t method) {
        uint8_t h[30] = {};
        wr32(h, 0x04034b50u);
        wr16(h + 4, 20);
        wr16(h + 6, fl);
        wr16(h + 8, method);
        wr16(h + 10, uint16_t(info.dosTime));
        wr16(h + 12, uint16_t(info.dosTime >> 16));
        wr16(h + 26, uint16_t(info.name.size()));
        return out_.write(h, 30) && out_.write(info.name.data(), info.name.size());
    };
    auto addCentral = [&](uint16_t fl, uint16_t method, uint32_t crc, uint64_t cs, uint64_t us, uint64_t at) {
        std::string rec(46, '\0');
        uint8_t* c = reinterpret_cast<uint8_t*>(rec.data());
        wr32(c, 0x02014b50u);
        wr16(c + 4, 0x031E);
        wr16(c + 6, 20);
        wr16(c + 8, fl);
        wr16(c + 10, method);
        wr16(c + 12, uint16_t(info.dosTime));
        wr16(c + 14, uint16_t(info.dosTime >> 16));
        wr32(c + 16, crc);
        wr32(c + 20, uint32_t(cs));
        wr32(c + 24, uint32_t(us));
        wr16(c + 28, uint16_t(info.name.size()));
        wr32(c + 38, ext);
        wr32(c + 42, uint32_t(at));
        rec += info.name;
        central_.push_back(std::move(rec));
    };

    uint64_t at = out_.pos();
    if (at >= 0xFFFFFFFFu) { errno = EFBIG; return false; }
    if (info.directory) {
        if (rep_.newFile(info.name, 0)) return false;
        if (!writeLocal(flags, 0)) return false;
        addCentral(flags, 0, 0, 0, 0, at);
        return true;
    }

    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        rep_.message(QZ_WARNING, "could not open " + path + ": " + errnoText(errno) + " (skipped)");
        skipped = true;
        return !rep_.aborted();
    }
    struct stat st;
    int64_t fsize = fstat(fd, &st) == 0 ? int64_t(st.st_size) : 0;
    if (rep_.newFile(info.name, fsize)) { ::close(fd); return false; }
    if (fsize == 0) level = 0;
    bool encrypt = !password.empty();
    for (int attempt = 0; attempt < 2; ++attempt) {
        uint16_t method = level > 0 ? 8 : 0;
        uint16_t fl = flags | (encrypt ? 0x9 : 0) | (method == 8 && level >= 8 ? 2 : 0) | (method == 8 && level <= 2 ? 4 : 0);
        if (!writeLocal(fl, method)) { ::close(fd); return false; }
        PkCrypt crypt;
        uint64_t headBytes = 0;
        if (encrypt) {
            crypt.init(password);
            uint8_t hdr[12];
            makeCryptHeader(crypt, uint8_t(info.dosTime >> 8), hdr);
            if (!out_.write(hdr, 12)) { ::close(fd); return false; }
            headBytes = 12;
        }
        uint32_t crc = 0;
        uint64_t cs = 0, us = 0;
        bool readFailed = false;
        if (!writeData(fd, level, encrypt ? &crypt : nullptr, crc, cs, us, readFailed)) { ::close(fd); return false; }
        if (readFailed) {
            rep_.message(QZ_WARNING, "error reading " + path + " (skipped)");
            ::close(fd);
            skipped = true;
            return out_.truncateTo(at) && !rep_.aborted();
        }
        cs += headBytes;
        if (us >= 0xFFFFFFFFu || cs >= 0xFFFFFFFFu) {
            rep_.message(QZ_ERR_UNSUPPORTED, path + ": files of 4 GiB or more are not supported");
            ::close(fd);
            errno = EFBIG;
            return false;
        }
        // Deflate that grew the data: store instead.
        if (method == 8 && cs > us + headBytes && attempt == 0 && ::lseek(fd, 0, SEEK_SET) == 0) {
            if (!out_.truncateTo(at)) { ::close(fd); return false; }
            level = 0;
            continue;
        }
        if (encrypt) {
            uint8_t d[16];
            wr32(d, 0x08074b50u);
            wr32(d + 4, crc);
            wr32(d + 8, uint32_t(cs));
            wr32(d + 12, uint32_t(us));
            if (!out_.write(d, 16)) { ::close(fd); return false; }
        } else {
            uint8_t d[12];
            wr32(d, crc);
            wr32(d + 4, uint32_t(cs));
            wr32(d + 8, uint32_t(us));
            if (!out_.writeAt(at + 14, d, 12)) { ::close(fd); return false; }
        }
        addCentral(fl, method, crc, cs, us, at);
        break;
    }
    ::close(fd);
    return true;
}

bool ZipWriter::finish(const std::string& comment)
{
    uint64_t cdStart = out_.pos();
    for (const std::string& r : central_)
        if (!out_.write(r.data(), r.size())) return false;
    uint64_t cdEnd = out_.pos();
    uint64_t count = central_.size();
    uint64_t cdSize = cdEnd - cdStart;
    bool zip64 = count >= 0xFFFF || cdStart >= 0xFFFFFFFFu || cdSize >= 0xFFFFFFFFu;
    if (zip64) {
        uint8_t r[56] = {};
        wr32(r, 0x06064b50u);
        wr32(r + 4, 44); wr32(r + 8, 0);
        wr16(r + 12, 0x031E); wr16(r + 14, 45);
        wr32(r + 24, uint32_t(count)); wr32(r + 28, uint32_t(count >> 32));
        wr32(r + 32, uint32_t(count)); wr32(r + 36, uint32_t(count >> 32));
        wr32(r + 40, uint32_t(cdSize)); wr32(r + 44, uint32_t(cdSize >> 32));
        wr32(r + 48, uint32_t(cdStart)); wr32(r + 52, uint32_t(cdStart >> 32));
        if (!out_.write(r, 56)) return false;
        uint8_t loc[20] = {};
        wr32(loc, 0x07064b50u);
        wr32(loc + 8, uint32_t(cdEnd)); wr32(loc + 12, uint32_t(cdEnd >> 32));
        wr32(loc + 16, 1);
        if (!out_.write(loc, 20)) return false;
    }
    uint8_t e[22] = {};
    wr32(e, 0x06054b50u);
    wr16(e + 8, uint16_t(zip64 ? 0xFFFF : count));
    wr16(e + 10, uint16_t(zip64 ? 0xFFFF : count));
    wr32(e + 12, uint32_t(zip64 ? 0xFFFFFFFFu : cdSize));
    wr32(e + 16, uint32_t(zip64 ? 0xFFFFFFFFu : cdStart));
    std::string c = comment.substr(0, 0xFFFF);
    wr16(e + 20, uint16_t(c.size()));
    return out_.write(e, 22) && out_.write(c.data(), c.size()) && out_.flush();
}

} // namespace qz
