#include "EntryOutput.h"

#include "Decoders.h"
#include "SafeDir.h"
#include "WholeInflate.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

constexpr size_t kChunk = 1 << 18;
constexpr size_t kMaxLinkTarget = 4096;
// Entries whose compressed and decoded data together fit this are read and
// inflated whole; larger ones stream through buffers of kChunk.
constexpr uint64_t kWholeLimit = 8u << 20;

// Why the last write of an entry's data on this thread failed (0: none did),
// so that a failed write is always said, whatever its error.
thread_local int t_writeError = 0;

bool writeOut(int fd, const uint8_t* p, size_t n)
{
    if (writeAll(fd, p, n))
        return true;
    t_writeError = errno != 0 ? errno : EIO;
    return false;
}

// The checks of a traditionally encrypted entry's 12-byte header, decrypted.
bool headerMatches(const Entry& e, const uint8_t h[12])
{
    const uint8_t byCrc = uint8_t(e.crc >> 24), byTime = uint8_t((e.dosDateTime & 0xFFFF) >> 8);
    if (e.flags & 8) return h[11] == byTime || h[11] == byCrc;
    return h[11] == byCrc;
}

} // namespace

uint8_t* EntryOutput::inBuffer(size_t n)
{
    if (n > inCap_ || !in_) { inCap_ = std::max(n, kChunk); in_.reset(new uint8_t[inCap_]); }
    return in_.get();
}

uint8_t* EntryOutput::outBuffer(size_t n)
{
    if (n > outCap_ || !out_) { outCap_ = std::max(n, kChunk); out_.reset(new uint8_t[outCap_]); }
    return out_.get();
}

bool EntryOutput::openAes(const Entry& e, const Coding& c, const std::string& pw, WinZipAes& aes)
{
    const size_t head = aesHeadSize(c);
    uint8_t h[16 + kAesVerifierSize], verifier[kAesVerifierSize];
    if (e.compressedSize < head + kAesAuthSize || !zip_.ReadAt(e.dataOffset, h, head)) return false;
    aes.init(pw, c.field.strength, h, verifier);
    return std::memcmp(verifier, h + head - kAesVerifierSize, kAesVerifierSize) == 0;
}

bool EntryOutput::checkPassword(const Entry& e, const Coding& c, const std::string& pw)
{
    if (c.aes) {
        WinZipAes aes;
        return openAes(e, c, pw, aes);
    }
    if (e.compressedSize < 12) return false;
    uint8_t h[12];
    if (!zip_.ReadAt(e.dataOffset, h, 12)) return false;
    PkCrypt crypt;
    crypt.init(pw);
    crypt.decrypt(h, 12);
    return headerMatches(e, h);
}

bool EntryOutput::authentic(const Entry& e, const Coding& c, const std::string& pw)
{
    WinZipAes aes;
    if (!openAes(e, c, pw, aes)) return false;
    const size_t head = aesHeadSize(c);
    uint8_t stored[kAesAuthSize], computed[kAesAuthSize];
    uint8_t* in = inBuffer(kChunk);
    uint64_t left = e.compressedSize - head - kAesAuthSize, pos = e.dataOffset + head;
    while (left > 0) {
        const size_t n = size_t(std::min<uint64_t>(left, kChunk));
        if (!zip_.ReadAt(pos, in, n)) return false;
        aes.authenticate(in, n);
        pos += n; left -= n;
    }
    if (!zip_.ReadAt(pos, stored, kAesAuthSize)) return false;
    aes.authCode(computed);
    return std::memcmp(stored, computed, kAesAuthSize) == 0;
}

bool EntryOutput::decodeWhole(const Entry& e, const Coding& c, const std::string& pw, EntrySink& sink, int outFd,
                              uint32_t& crc, Outcome& o)
{
    if (c.aes || (c.method != 0 && c.method != 8) || e.compressedSize > kWholeLimit
        || e.uncompressedSize > kWholeLimit - e.compressedSize)
        return false;
    size_t len = size_t(e.compressedSize);
    uint8_t* p = inBuffer(len);
    if (!zip_.ReadAt(e.dataOffset, p, len)) return false;
    if (e.encrypted()) {
        if (len < 12) return false;
        PkCrypt crypt;
        crypt.init(pw);
        crypt.decrypt(p, len);
        p += 12; len -= 12;
    }
    const size_t size = size_t(e.uncompressedSize);
    const uint8_t* data = p;
    if (c.method == 0) {
        if (len != size) return false;
    } else {
        uint8_t* out = outBuffer(size);
        if (!inflateWhole(p, len, out, size)) return false;
        data = out;
    }
    crc = crc32Of(0, data, size);
    // Progress as the streaming decoder gives it, a chunk at a time.
    for (size_t left = len; left > 0;) {
        const size_t n = std::min(left, kChunk);
        if (sink.bytes(int64_t(n))) { o = Outcome::Aborted; return true; }
        left -= n;
    }
    o = outFd < 0 || writeOut(outFd, data, size) ? Outcome::Ok : Outcome::Failed;
    return true;
}

Outcome EntryOutput::decode(const Entry& e, const Coding& c, const std::string& pw, EntrySink& sink, int outFd,
                            uint32_t& crc, std::string* text)
{
    if (!text) {
        Outcome o;
        if (decodeWhole(e, c, pw, sink, outFd, crc, o)) return o;
    }
    const auto put = [&](const uint8_t* p, size_t n) {
        if (text) {
            if (text->size() + n > kMaxLinkTarget) {
                sink.message(QZ_ERR_ZIP, e.name + ": link target too long");
                errno = 0;
                return false;
            }
            text->append(reinterpret_cast<const char*>(p), n);
            return true;
        }
        return outFd < 0 || writeOut(outFd, p, n);
    };
    const auto cutShort = [&] {
        sink.message(QZ_ERR_EOF, "unexpected end of the zip file in " + e.name);
        return Outcome::Failed;
    };
    uint8_t* in = inBuffer(kChunk);
    uint8_t* out = outBuffer(kChunk);
    crc = crc32Of(0, nullptr, 0);
    uint64_t left = e.compressedSize, pos = e.dataOffset, produced = 0;
    PkCrypt crypt;
    WinZipAes aes;
    const bool enc = e.encrypted();
    if (c.aes) {
        // The password has passed the verifier already.
        if (!openAes(e, c, pw, aes)) return cutShort();
        pos += aesHeadSize(c);
        left -= aesHeadSize(c) + kAesAuthSize;
    } else if (enc) {
        crypt.init(pw);
        uint8_t h[12];
        if (left < 12 || !zip_.ReadAt(pos, h, 12)) return cutShort();
        crypt.decrypt(h, 12);
        pos += 12; left -= 12;
    }
    std::unique_ptr<Decoder> dec = makeDecoder(c.method, e.flags & 2, e.uncompressedSize, left);
    if (!dec) { sink.message(QZ_ERR_UNSUPPORTED, e.name + ": compression method " + std::to_string(c.method) + " is not supported"); return Outcome::Failed; }
    const uint8_t* next = in;
    size_t avail = 0;
    for (;;) {
        if (avail == 0 && left > 0) {
            const size_t n = size_t(std::min<uint64_t>(left, kChunk));
            if (!zip_.ReadAt(pos, in, n)) return cutShort();
            pos += n; left -= n;
            if (c.aes) aes.decrypt(in, n);
            else if (enc) crypt.decrypt(in, n);
            next = in;
            avail = n;
            if (sink.bytes(int64_t(n))) return Outcome::Aborted;
        }
        const size_t before = avail;
        size_t made = 0;
        const Decoder::Status st = dec->step(next, avail, left == 0, out, kChunk, made);
        if (made) {
            crc = crc32Of(crc, out, made);
            produced += made;
            if (produced > e.uncompressedSize) { sink.message(QZ_ERR_ZIP, e.name + " holds more data than its size says"); return Outcome::Failed; }
            if (!put(out, made)) return Outcome::Failed;
        }
        if (st == Decoder::Status::End) break;
        if (st == Decoder::Status::Error) {
            sink.message(QZ_ERR_ZIP, dec->problem() + " in " + e.name + (enc && !c.aes ? " (wrong password?)" : ""));
            return Outcome::Failed;
        }
        if (made == 0 && avail == before && (avail > 0 || left == 0)) {
            sink.message(QZ_ERR_ZIP, "compressed data of " + e.name + " is truncated");
            return Outcome::Failed;
        }
    }
    if (produced != e.uncompressedSize) {
        sink.message(QZ_ERR_ZIP, e.name + ": size does not match (" + std::to_string(produced) + " bytes, expected " + std::to_string(e.uncompressedSize) + ")");
        return Outcome::Failed;
    }
    return Outcome::Ok;
}

Outcome EntryOutput::linkTarget(const Entry& e, const Coding& c, const std::string& pw, EntrySink& sink, std::string& text)
{
    if (c.aes && !authentic(e, c, pw)) {
        sink.message(QZ_ERR_ZIP, e.name + ": the data fails its authentication check (damaged, or a wrong password); not extracted");
        return Outcome::Failed;
    }
    uint32_t crc = 0;
    const Outcome o = decode(e, c, pw, sink, -1, crc, &text);
    if (o != Outcome::Ok || crc == e.crc || !c.hasCrc()) return o;
    char buf[96];
    std::snprintf(buf, sizeof buf, " (found %08x, expected %08x)", crc, e.crc);
    sink.message(QZ_ERR_ZIP, "CRC error in " + e.name + buf + "; not extracted");
    return Outcome::Failed;
}

Outcome EntryOutput::run(EntryWork& w, EntrySink& sink)
{
    const Entry& e = *w.entry;
    const Coding& c = w.coding;
    if (c.aes && !authentic(e, c, w.password)) {
        sink.message(QZ_ERR_ZIP, e.name + ": the data fails its authentication check (damaged, or a wrong password)" + (w.test ? "" : "; not extracted"));
        return Outcome::Failed;
    }
    int outFd = -1;
    if (!w.test) {
        outFd = SafeDir::createTemp(w.folder->fd, w.temp, w.mode | S_IRUSR);
        if (outFd < 0) {
            sink.message(errno == ENOSPC ? QZ_ERR_DISKFULL : QZ_ERR_ZIP, "cannot create " + w.target + ": " + errnoText(errno));
            return Outcome::Failed;
        }
        // The half-written file goes when a signal ends the run.
        w.scratch = std::make_unique<zipdir::ScratchFile>(parentDir(w.target) + "/" + w.temp);
    }
    t_writeError = 0;
    uint32_t crc = 0;
    Outcome o = decode(e, c, w.password, sink, outFd, crc, nullptr);
    if (o == Outcome::Failed && outFd >= 0 && t_writeError != 0) {
        const int error = t_writeError;
        sink.message(error == ENOSPC || error == EDQUOT ? QZ_ERR_DISKFULL : QZ_ERR_ZIP,
                     "write error on " + w.target + ": " + errnoText(error));
    }
    if (o == Outcome::Ok && crc != e.crc && c.hasCrc()) {
        o = Outcome::CrcPending;
        w.crc = crc;
    }
    if (outFd < 0) return o;
    const bool whole = o == Outcome::Ok || o == Outcome::CrcPending;
    if (whole) {
        struct timespec ts[2];
        ts[0].tv_sec = ts[1].tv_sec = time_t(dosToUnix(e.dosDateTime));
        ts[0].tv_nsec = ts[1].tv_nsec = 0;
        ::futimens(outFd, ts);
    }
    if (::close(outFd) != 0 && whole) {
        sink.message(QZ_ERR_DISKFULL, "write error on " + w.target + ": " + errnoText(errno));
        o = Outcome::Failed;
    }
    if (o == Outcome::Ok) return keep(w, sink);
    if (o != Outcome::CrcPending) drop(w);
    return o;
}

Outcome EntryOutput::keep(EntryWork& w, EntrySink& sink)
{
    if (w.test) return Outcome::Ok;
    const int dir = w.folder->fd;
    int rc;
    if (w.mustBeNew) {
        rc = ::renameat2(dir, w.temp.c_str(), dir, w.leaf.c_str(), RENAME_NOREPLACE);
        // File systems without the flag.
        if (rc != 0 && (errno == EINVAL || errno == ENOSYS)) rc = ::renameat(dir, w.temp.c_str(), dir, w.leaf.c_str());
    } else {
        rc = ::renameat(dir, w.temp.c_str(), dir, w.leaf.c_str());
    }
    if (rc != 0) {
        sink.message(QZ_ERR_ZIP, "cannot create " + w.target + ": " + errnoText(errno));
        drop(w);
        return Outcome::Failed;
    }
    w.temp.clear();
    w.scratch.reset();
    return Outcome::Ok;
}

void EntryOutput::drop(EntryWork& w)
{
    if (!w.temp.empty() && w.folder) ::unlinkat(w.folder->fd, w.temp.c_str(), 0);
    w.temp.clear();
    w.scratch.reset();
}

} // namespace qz
