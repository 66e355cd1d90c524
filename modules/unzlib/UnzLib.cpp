// libunzlib.so: extracts or tests the entries of a zip archive. Names are made
// safe before they meet the file system, and every path is walked from the
// base folder without following links (SafeDir), so nothing is written
// outside the base folder, also through a link already there; each file is
// written under a temporary name beside its target and renamed into place
// only once its CRC has been checked. Symbolic links (entries made on Unix
// with a link's mode) are made after every other entry, and only when their
// target stays inside the base folder and passes through no link.

#include "Decoders.h"
#include "SafeDir.h"
#include "WinZipAes.h"
#include "ZipCommon.h"
#include "zipdir/ScratchFiles.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;

namespace {

constexpr size_t kChunk = 1 << 18;

constexpr size_t kMaxLinkTarget = 4096;

enum class Outcome { Ok, Skipped, Failed, Aborted, Held };

bool isSymLink(const Entry& e)
{
    return e.hostSystem == 3 && S_ISLNK(mode_t(e.externalAttributes >> 16)) && !e.isFolder();
}

// How an entry's data is stored: its compression method and, for WinZip's
// AES, what the extra field says.
struct Coding {
    uint16_t method = 0;
    bool aes = false;
    AesField field;
};

class UnzJob {
public:
    explicit UnzJob(QzUnzBlock* b) : b_(b), rep_(b->callback, b->engine, false) {}
    ~UnzJob() { if (fd_ >= 0) ::close(fd_); }
    int32_t run();

private:
    bool selected(const Entry& e) const;
    Outcome extractOne(const Entry& e, size_t index);
    // The checks before `leaf` in `parentRel` is written: no link or file on
    // its path, no folder in its place, update and freshen, the replace
    // question. Ok to go on.
    Outcome mayWrite(const Entry& e, size_t index, const std::string& target, const std::string& parentRel,
                     const std::string& leaf);
    // Makes the symbolic links held back; returns how many were made.
    int32_t makeLinks();
    // The entry's coding; false, said and skipped, when it cannot be read.
    bool coding(const Entry& e, Coding& c);
    bool findPassword(const Entry& e, const Coding& c, uint64_t dataOff, std::string& pw);
    bool checkPassword(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw);
    // Reads an AES entry's salt and sets `aes` up; true when the password
    // passes the verifier.
    bool openAes(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw, WinZipAes& aes);
    static size_t aesHeadSize(const Coding& c) { return aesSaltSize(c.field.strength) + kAesVerifierSize; }
    // Whether an AES entry's data matches its authentication code.
    bool authentic(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw);
    // Decodes the entry's data into `outFd` (-1: test only) or, given
    // `linkTarget`, into that text.
    Outcome decode(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw, int outFd,
                   uint32_t& crc, std::string* linkTarget = nullptr);
    // Decodes and checks the CRC (AE-2 entries carry none).
    Outcome decodeChecked(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw, int outFd,
                          std::string* linkTarget = nullptr);
    void skipped(const Entry& e, int type, int err, const std::string& why)
    {
        rep_.message(err, why);
        rep_.call(QZ_CB_SKIPPED, err, type + 1, e.name);
    }

    QzUnzBlock* b_;
    Reporter rep_;
    int fd_ = -1;
    // The archive: the file, or the set the engine hands over as one zip.
    std::unique_ptr<zipdir::Source> src_;
    bool readIn(void* p, size_t n, uint64_t off) const { return src_->ReadAt(off, p, n); }
    Directory dir_;
    std::string base_;
    std::unique_ptr<SafeDir> dest_;
    struct NamePattern {
        std::string name;
        bool exact;
    };
    std::vector<NamePattern> patterns_;
    struct HeldLink {
        size_t index;
        std::string rel, target;
    };
    std::vector<HeldLink> heldLinks_;
    std::vector<std::string> goodPasswords_;
    int requestsLeft_ = 0;
    bool stopAsking_ = false;
    std::vector<uint8_t> in_, out_;
    mode_t umask_ = 022;
};

bool UnzJob::selected(const Entry& e) const
{
    if (patterns_.empty()) return true;
    std::string n = slashes(e.name);
    for (const NamePattern& pattern : patterns_) {
        const std::string& s = pattern.name;
        if (pattern.exact) {
            if (s == n) return true;
            continue;
        }
        if (nameMatches(s, n)) return true;
        if (!s.empty() && s.back() == '/' && n.compare(0, s.size(), s) == 0) return true;
        if (!n.empty() && n.back() == '/' && nameMatches(s, n.substr(0, n.size() - 1))) return true;
    }
    return false;
}

bool UnzJob::coding(const Entry& e, Coding& c)
{
    c.method = e.method;
    if (e.method == kAesMethod) {
        if (!e.encrypted() || !parseAesField(e.extra, c.field)) {
            skipped(e, QZ_SKIP_COMPRESSION_UNKNOWN, QZ_ERR_UNSUPPORTED, e.name + ": its AES encryption field is missing or not understood");
            return false;
        }
        c.aes = true;
        c.method = c.field.method;
    } else if (e.encrypted() && (e.flags & 0x40)) {
        skipped(e, QZ_SKIP_COMPRESSION_UNKNOWN, QZ_ERR_UNSUPPORTED, e.name + ": strong encryption is not supported");
        return false;
    }
    if (!methodSupported(c.method)) {
        skipped(e, QZ_SKIP_COMPRESSION_UNKNOWN, QZ_ERR_UNSUPPORTED, e.name + ": compression method " + std::to_string(c.method) + " is not supported");
        return false;
    }
    return true;
}

bool UnzJob::openAes(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw, WinZipAes& aes)
{
    const size_t head = aesHeadSize(c);
    uint8_t h[16 + kAesVerifierSize], verifier[kAesVerifierSize];
    if (e.compressedSize < head + kAesAuthSize || !readIn(h, head, dataOff)) return false;
    aes.init(pw, c.field.strength, h, verifier);
    return std::memcmp(verifier, h + head - kAesVerifierSize, kAesVerifierSize) == 0;
}

bool UnzJob::checkPassword(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw)
{
    if (c.aes) {
        WinZipAes aes;
        return openAes(e, c, dataOff, pw, aes);
    }
    if (e.compressedSize < 12) return false;
    uint8_t h[12];
    if (!readIn(h, 12, dataOff)) return false;
    PkCrypt crypt;
    crypt.init(pw);
    crypt.decrypt(h, 12);
    uint8_t byCrc = uint8_t(e.crc >> 24), byTime = uint8_t((e.dosDateTime & 0xFFFF) >> 8);
    if (e.flags & 8) return h[11] == byTime || h[11] == byCrc;
    return h[11] == byCrc;
}

bool UnzJob::findPassword(const Entry& e, const Coding& c, uint64_t dataOff, std::string& pw)
{
    if (b_->password && *b_->password && checkPassword(e, c, dataOff, b_->password)) { pw = b_->password; return true; }
    for (const std::string& g : goodPasswords_)
        if (checkPassword(e, c, dataOff, g)) { pw = g; return true; }
    while (!stopAsking_ && requestsLeft_ > 0) {
        QzCallbackRecord r;
        if (rep_.call(QZ_CB_PASSWORD, 0, requestsLeft_, e.name, &r)) return false;
        if (r.actionCode == 0) stopAsking_ = true;
        int32_t next = r.size;
        if (r.errorCode != 1 || !r.text[0]) { requestsLeft_ = 0; break; }
        std::string given(r.text, strnlen(r.text, sizeof r.text));
        requestsLeft_ = next > 0 ? next - 1 : 0;
        if (checkPassword(e, c, dataOff, given)) {
            goodPasswords_.push_back(given);
            pw = given;
            // A later entry may use the same password; ask again only for a new one.
            if (requestsLeft_ < 1 && !stopAsking_) requestsLeft_ = 1;
            return true;
        }
    }
    return false;
}

static bool writeAll(int fd, const uint8_t* p, size_t n)
{
    while (n) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) { if (w == 0) errno = ENOSPC; return false; }
        p += w; n -= size_t(w);
    }
    return true;
}

Outcome UnzJob::decode(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw, int outFd,
                       uint32_t& crc, std::string* linkTarget)
{
    const auto put = [&](const uint8_t* p, size_t n) {
        if (linkTarget) {
            if (linkTarget->size() + n > kMaxLinkTarget) {
                rep_.message(QZ_ERR_ZIP, e.name + ": link target too long");
                errno = 0;
                return false;
            }
            linkTarget->append(reinterpret_cast<const char*>(p), n);
            return true;
        }
        return outFd < 0 || writeAll(outFd, p, n);
    };
    const auto cutShort = [&] {
        rep_.message(QZ_ERR_EOF, "unexpected end of the zip file in " + e.name);
        return Outcome::Failed;
    };
    if (in_.empty()) { in_.resize(kChunk); out_.resize(kChunk); }
    crc = uint32_t(crc32(0, nullptr, 0));
    uint64_t left = e.compressedSize, pos = dataOff, produced = 0;
    PkCrypt crypt;
    WinZipAes aes;
    const bool enc = e.encrypted();
    if (c.aes) {
        // The password has passed the verifier already.
        if (!openAes(e, c, dataOff, pw, aes)) return cutShort();
        pos += aesHeadSize(c);
        left -= aesHeadSize(c) + kAesAuthSize;
    } else if (enc) {
        crypt.init(pw);
        uint8_t h[12];
        if (left < 12 || !readIn(h, 12, pos)) return cutShort();
        crypt.decrypt(h, 12);
        pos += 12; left -= 12;
    }
    std::unique_ptr<Decoder> dec = makeDecoder(c.method, e.flags & 2, e.uncompressedSize, left);
    if (!dec) { rep_.message(QZ_ERR_UNSUPPORTED, e.name + ": compression method " + std::to_string(c.method) + " is not supported"); return Outcome::Failed; }
    const uint8_t* next = in_.data();
    size_t avail = 0;
    for (;;) {
        if (avail == 0 && left > 0) {
            const size_t n = size_t(std::min<uint64_t>(left, in_.size()));
            if (!readIn(in_.data(), n, pos)) return cutShort();
            pos += n; left -= n;
            if (c.aes) aes.decrypt(in_.data(), n);
            else if (enc) crypt.decrypt(in_.data(), n);
            next = in_.data();
            avail = n;
            if (rep_.bytes(int64_t(n))) return Outcome::Aborted;
        }
        const size_t before = avail;
        size_t made = 0;
        const Decoder::Status st = dec->step(next, avail, left == 0, out_.data(), out_.size(), made);
        if (made) {
            crc = uint32_t(crc32(crc, out_.data(), uInt(made)));
            produced += made;
            if (produced > e.uncompressedSize) { rep_.message(QZ_ERR_ZIP, e.name + " holds more data than its size says"); return Outcome::Failed; }
            if (!put(out_.data(), made)) return Outcome::Failed;
        }
        if (st == Decoder::Status::End) break;
        if (st == Decoder::Status::Error) {
            rep_.message(QZ_ERR_ZIP, dec->problem() + " in " + e.name + (enc && !c.aes ? " (wrong password?)" : ""));
            return Outcome::Failed;
        }
        if (made == 0 && avail == before && (avail > 0 || left == 0)) {
            rep_.message(QZ_ERR_ZIP, "compressed data of " + e.name + " is truncated");
            return Outcome::Failed;
        }
    }
    if (produced != e.uncompressedSize) {
        rep_.message(QZ_ERR_ZIP, e.name + ": size does not match (" + std::to_string(produced) + " bytes, expected " + std::to_string(e.uncompressedSize) + ")");
        return Outcome::Failed;
    }
    return Outcome::Ok;
}

Outcome UnzJob::decodeChecked(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw, int outFd,
                              std::string* linkTarget)
{
    uint32_t crc = 0;
    Outcome o = decode(e, c, dataOff, pw, outFd, crc, linkTarget);
    // AE-2 leaves the CRC out; the authentication code stands for it.
    if (o != Outcome::Ok || crc == e.crc || (c.aes && c.field.version == 2)) return o;
    const bool test = b_->test != 0;
    if (!linkTarget) {
        QzCallbackRecord r;
        rep_.call(QZ_CB_CRCERROR, int32_t(crc), int32_t(e.crc), e.name, &r);
        if (r.errorCode == 1) return o;
    }
    char buf[96];
    std::snprintf(buf, sizeof buf, " (found %08x, expected %08x)", crc, e.crc);
    rep_.message(QZ_ERR_ZIP, "CRC error in " + e.name + buf + (test && !linkTarget ? "" : "; not extracted"));
    return Outcome::Failed;
}

bool UnzJob::authentic(const Entry& e, const Coding& c, uint64_t dataOff, const std::string& pw)
{
    WinZipAes aes;
    if (!openAes(e, c, dataOff, pw, aes)) return false;
    const size_t head = aesHeadSize(c);
    uint8_t stored[kAesAuthSize], computed[kAesAuthSize];
    if (in_.empty()) { in_.resize(kChunk); out_.resize(kChunk); }
    uint64_t left = e.compressedSize - head - kAesAuthSize, pos = dataOff + head;
    while (left > 0) {
        const size_t n = size_t(std::min<uint64_t>(left, in_.size()));
        if (!readIn(in_.data(), n, pos)) return false;
        aes.authenticate(in_.data(), n);
        pos += n; left -= n;
    }
    if (!readIn(stored, kAesAuthSize, pos)) return false;
    aes.authCode(computed);
    return std::memcmp(stored, computed, kAesAuthSize) == 0;
}

Outcome UnzJob::extractOne(const Entry& e, size_t index)
{
    bool test = b_->test != 0;
    std::string rel = safeRelativeName(e.name);
    if (!b_->dirNames) rel = e.isFolder() ? std::string() : baseName(rel);
    if (e.isFolder()) {
        if (!test && b_->dirNames && !rel.empty() && dest_->folder(rel, true) < 0)
            rep_.message(QZ_WARNING, "cannot create folder " + base_ + "/" + rel + ": " + errnoText(errno));
        return Outcome::Skipped;
    }
    if (rel.empty()) { skipped(e, QZ_SKIP_UNKNOWN, QZ_WARNING, "entry without a usable name skipped: " + e.name); return Outcome::Skipped; }
    if (rep_.newFile(e.name, int64_t(e.uncompressedSize))) return Outcome::Aborted;
    Coding c;
    if (!coding(e, c)) return Outcome::Skipped;
    if (!e.complete) {
        rep_.message(QZ_ERR_EOF, e.name + ": unexpected end of the zip file; its data is cut short" + (test ? "" : ", not extracted"));
        return Outcome::Failed;
    }
    if (!e.dataOffset) { rep_.message(QZ_ERR_FORMAT, e.name + ": " + e.localProblem); return Outcome::Failed; }
    const uint64_t dataOff = e.dataOffset;
    std::string target = base_ + "/" + rel;
    std::string parentRel, leaf;
    SafeDir::split(rel, parentRel, leaf);
    // A link is checked and made once every other entry is out.
    const bool link = !test && isSymLink(e);
    if (!test && !link) {
        const Outcome o = mayWrite(e, index, target, parentRel, leaf);
        if (o != Outcome::Ok) return o;
    }
    std::string pw;
    if (e.encrypted() && !findPassword(e, c, dataOff, pw)) {
        if (rep_.aborted()) return Outcome::Aborted;
        bool none = (!b_->password || !*b_->password) && goodPasswords_.empty();
        skipped(e, none ? QZ_SKIP_NO_PASSWORD : QZ_SKIP_BAD_PASSWORD, QZ_ERR_PASSWORD,
                (none ? "no password for " : "wrong password for ") + e.name + "; not extracted");
        return Outcome::Skipped;
    }
    if (c.aes && !authentic(e, c, dataOff, pw)) {
        rep_.message(QZ_ERR_ZIP, e.name + ": the data fails its authentication check (damaged, or a wrong password)" + (test ? "" : "; not extracted"));
        return Outcome::Failed;
    }
    if (link) {
        std::string linkTarget;
        const Outcome o = decodeChecked(e, c, dataOff, pw, -1, &linkTarget);
        if (o != Outcome::Ok) return o;
        heldLinks_.push_back({index, rel, linkTarget});
        return Outcome::Held;
    }
    int outFd = -1, dirFd = -1;
    std::string tmp;
    // The half-written file goes when a signal ends the run.
    std::unique_ptr<zipdir::ScratchFile> scratch;
    if (!test) {
        // The folder stays open while the data is written; nothing below
        // walks the folder cache until the file is renamed into it.
        dirFd = dest_->folder(parentRel, true);
        if (dirFd < 0) {
            const int err = errno;
            if (err == ELOOP || err == ENOTDIR) {
                skipped(e, QZ_SKIP_UNKNOWN, QZ_WARNING, e.name + " skipped: a part of its path is a link or a file");
                return Outcome::Skipped;
            }
            rep_.message(QZ_ERR_ZIP, "cannot create folder " + parentDir(target) + ": " + errnoText(err));
            return Outcome::Failed;
        }
        outFd = SafeDir::createTemp(dirFd, tmp);
        if (outFd < 0) {
            rep_.message(errno == ENOSPC ? QZ_ERR_DISKFULL : QZ_ERR_ZIP, "cannot create " + target + ": " + errnoText(errno));
            return Outcome::Failed;
        }
        scratch = std::make_unique<zipdir::ScratchFile>(parentDir(target) + "/" + tmp);
    }
    errno = 0;
    Outcome o = decodeChecked(e, c, dataOff, pw, outFd);
    if (o == Outcome::Failed && outFd >= 0 && errno != 0 && (errno == ENOSPC || errno == EDQUOT || errno == EIO || errno == EFBIG))
        rep_.message(errno == ENOSPC || errno == EDQUOT ? QZ_ERR_DISKFULL : QZ_ERR_ZIP, "write error on " + target + ": " + errnoText(errno));
    if (outFd >= 0) {
        if (o == Outcome::Ok) {
            mode_t mode = 0666 & ~umask_;
            int host = e.hostSystem;
            uint32_t unixMode = e.externalAttributes >> 16;
            if (host == 3 && unixMode) mode = (unixMode & 0777) & ~umask_;
            else if (e.externalAttributes & 1) mode &= ~0222;
            ::fchmod(outFd, mode | S_IRUSR);
            struct timespec ts[2];
            ts[0].tv_sec = ts[1].tv_sec = time_t(dosToUnix(e.dosDateTime));
            ts[0].tv_nsec = ts[1].tv_nsec = 0;
            ::futimens(outFd, ts);
        }
        if (::close(outFd) != 0 && o == Outcome::Ok) { rep_.message(QZ_ERR_DISKFULL, "write error on " + target + ": " + errnoText(errno)); o = Outcome::Failed; }
        if (o == Outcome::Ok && ::renameat(dirFd, tmp.c_str(), dirFd, leaf.c_str()) != 0) {
            rep_.message(QZ_ERR_ZIP, "cannot create " + target + ": " + errnoText(errno));
            o = Outcome::Failed;
        }
        if (o != Outcome::Ok) ::unlinkat(dirFd, tmp.c_str(), 0);
    }
    return o;
}

Outcome UnzJob::mayWrite(const Entry& e, size_t index, const std::string& target, const std::string& parentRel,
                         const std::string& leaf)
{
    struct stat st;
    const int parentFd = dest_->folder(parentRel, false);
    if (parentFd < 0 && errno != ENOENT) {
        skipped(e, QZ_SKIP_UNKNOWN, QZ_WARNING, e.name + " skipped: a part of its path is a link or a file");
        return Outcome::Skipped;
    }
    bool exists = parentFd >= 0 && ::fstatat(parentFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists && S_ISDIR(st.st_mode)) {
        skipped(e, QZ_SKIP_FILE_EXISTS, QZ_WARNING, target + " is a folder; " + e.name + " skipped");
        return Outcome::Skipped;
    }
    int64_t entryTime = dosToUnix(e.dosDateTime);
    bool older = exists && int64_t(st.st_mtime) < entryTime;
    if ((b_->update || b_->freshen) && exists && !older) { rep_.call(QZ_CB_SKIPPED, 0, QZ_SKIP_ON_FRESHEN + 1, e.name); return Outcome::Skipped; }
    if (b_->freshen && !b_->update && !exists) { rep_.call(QZ_CB_SKIPPED, 0, QZ_SKIP_ON_FRESHEN + 1, e.name); return Outcome::Skipped; }
    if (exists) {
        QzCallbackRecord r;
        int32_t arg = int32_t((older ? 0x10000 : 0) | (index & 0xFFFF));
        if (rep_.call(QZ_CB_OVERWRITE, arg, b_->overwrite ? 1 : 0, target, &r)) return Outcome::Aborted;
        if ((r.size & 0xFF) == 0) { rep_.call(QZ_CB_SKIPPED, 0, QZ_SKIP_NO_OVERWRITE + 1, e.name); return Outcome::Skipped; }
    }
    return Outcome::Ok;
}

int32_t UnzJob::makeLinks()
{
    std::set<std::string> pending;
    for (const HeldLink& l : heldLinks_) pending.insert(l.rel);
    // A part of a target's path that is a link on disk, or one of this run's
    // links, may lead anywhere once it exists.
    const auto isLink = [&](const std::string& path) {
        if (pending.count(path)) return true;
        std::string parent, leaf;
        SafeDir::split(path, parent, leaf);
        const int fd = dest_->folder(parent, false);
        struct stat st;
        return fd >= 0 && ::fstatat(fd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
    };
    int32_t made = 0;
    for (const HeldLink& l : heldLinks_) {
        const Entry& e = dir_.entries[l.index];
        if (const char* why = SafeDir::linkRefusal(l.rel, l.target, isLink)) {
            skipped(e, QZ_SKIP_UNKNOWN, QZ_WARNING, e.name + " skipped (its link target " + l.target + " " + why + ")");
            continue;
        }
        const std::string target = base_ + "/" + l.rel;
        std::string parentRel, leaf;
        SafeDir::split(l.rel, parentRel, leaf);
        const Outcome o = mayWrite(e, l.index, target, parentRel, leaf);
        if (o == Outcome::Aborted) break;
        if (o != Outcome::Ok) continue;
        const int dirFd = dest_->folder(parentRel, true);
        std::string tmp;
        if (dirFd < 0 || !SafeDir::unusedName(dirFd, tmp) || ::symlinkat(l.target.c_str(), dirFd, tmp.c_str()) != 0) {
            rep_.message(QZ_ERR_ZIP, "cannot create the link " + target + ": " + errnoText(errno));
            continue;
        }
        if (::renameat(dirFd, tmp.c_str(), dirFd, leaf.c_str()) != 0) {
            rep_.message(QZ_ERR_ZIP, "cannot create the link " + target + ": " + errnoText(errno));
            ::unlinkat(dirFd, tmp.c_str(), 0);
            continue;
        }
        ++made;
    }
    return made;
}

int32_t UnzJob::run()
{
    if (!b_->zipFileName || !*b_->zipFileName) { rep_.message(QZ_ERR_PARAM, "no zip file name given"); return 0; }
    std::string zip = b_->zipFileName;
    if (b_->input) {
        src_ = std::make_unique<InputSource>(*b_->input);
    } else {
        fd_ = ::open(zip.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) { rep_.message(QZ_ERR_NOFILE, "cannot open " + zip + ": " + errnoText(errno)); return 0; }
        src_ = std::make_unique<zipdir::FileSource>(fd_);
    }
    dir_ = zipdir::Read(*src_);
    if (!dir_.ok()) { rep_.message(directoryError(dir_), zip + ": " + dir_.faultText); return 0; }
    // Records that disagree are read as the directory holds them, and said.
    if (dir_.recovered)
        rep_.message(QZ_WARNING, zip + ": " + dir_.inconsistency + "; the entries are read from their local headers");
    else if (!dir_.inconsistency.empty())
        rep_.message(QZ_WARNING, zip + ": warning: " + dir_.inconsistency);
    umask_ = ::umask(0);
    ::umask(umask_);
    base_ = b_->baseDir && *b_->baseDir ? slashes(b_->baseDir) : std::string(".");
    while (base_.size() > 1 && base_.back() == '/') base_.pop_back();
    dest_ = std::make_unique<SafeDir>(base_, !b_->test);
    if (!b_->test && dest_->error() != 0) { rep_.message(QZ_ERR_ZIP, "cannot create folder " + base_ + ": " + errnoText(dest_->error())); return 0; }
    for (int32_t i = 0; b_->specs && i < b_->specCount; ++i) {
        if (!b_->specs[i].fileSpec) continue;
        std::string s = slashes(b_->specs[i].fileSpec);
        const bool exact = b_->specs[i].exact == 1;
        if (!exact && s.size() >= 3 && s.compare(s.size() - 3, 3, "*.*") == 0) s.replace(s.size() - 3, 3, "*");
        patterns_.push_back({s, exact});
    }
    requestsLeft_ = b_->passwordReqCount < 0 ? 0 : b_->passwordReqCount > 15 ? 15 : b_->passwordReqCount;
    std::vector<size_t> chosen;
    int64_t total = 0;
    for (size_t i = 0; i < dir_.entries.size(); ++i)
        if (selected(dir_.entries[i])) { chosen.push_back(i); total += int64_t(dir_.entries[i].uncompressedSize); }
    if (chosen.empty()) { rep_.message(QZ_ERR_NOMATCH, "no matching entries in " + zip); return 0; }
    if (rep_.totals(int64_t(chosen.size()), total)) { rep_.message(QZ_ERR_ABORT, "aborted by the user"); return 0; }
    int32_t done = 0, failed = 0;
    bool aborted = false;
    for (size_t i : chosen) {
        Outcome o = extractOne(dir_.entries[i], i);
        if (o == Outcome::Ok) ++done;
        else if (o == Outcome::Failed) ++failed;
        else if (o == Outcome::Aborted || rep_.aborted()) { rep_.message(QZ_ERR_ABORT, "aborted by the user"); aborted = true; break; }
    }
    if (!aborted) done += makeLinks();
    rep_.end();
    if (b_->test && failed == 0 && done > 0) rep_.message(0, "No errors detected in compressed data of " + zip);
    return done;
}

} // namespace

QZ_EXPORT int32_t GetUnzLibVersion(void) { return QZ_LIB_VERSION; }

QZ_EXPORT int32_t UnzLibExec(QzUnzBlock* block)
{
    if (!block) return 0;
    try {
        UnzJob job(block);
        return job.run();
    } catch (const std::bad_alloc&) {
        Reporter(block->callback, block->engine, false).message(QZ_ERR_MEMORY, "out of memory");
    } catch (...) {
        Reporter(block->callback, block->engine, false).message(QZ_ERR_ZIP, "unexpected internal error");
    }
    return 0;
}
