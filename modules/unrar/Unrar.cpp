// libunrar.so: the unrar library's C interface over libarchive.
//
// libarchive decompresses; this library reads the block headers itself
// (RarHeaders) to say what libarchive cannot: encrypted entries (RAR 4 and
// RAR 5, which libarchive cannot decrypt and, for RAR 5, does not even
// flag), RAR 4 solid entries past the first, encrypted headers, a missing
// volume and a cut file. Those get their own codes before a byte is written.
//
// Extraction keeps the program's rules: a stored name becomes a path inside
// the destination (drive parts, "/" and ".." dropped); folders are walked
// without following links (SafeDir); a file is written under a temporary
// name and renamed into place only when complete, so a failed entry leaves
// nothing behind; a symbolic link is made only when its target stays inside
// the destination and passes through no link; a hard link only links to a
// file extracted by the same handle.

#include "RarHeaders.h"
#include "SafeDir.h"
#include "UnrarApi.h"
#include "ZipCommon.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using qz::SafeDir;
using qz::rar::HeaderEntry;
using qz::rar::HeaderScan;

namespace {

struct Entry {
    HeaderEntry scan;
    bool scanned = false;      // `scan` holds this entry's own headers
    size_t volume = 0;         // where its data starts
    bool volumeMissing = false;
};

struct Handle {
    std::string arcName;
    std::vector<std::string> volumes;
    std::string missingVolume;
    int format = 0;
    bool headersEncrypted = false;
    bool cut = false;
    std::vector<Entry> entries;

    struct archive* la = nullptr;
    bool laAlive = false;
    size_t next = 0;             // the entry RARReadHeader reads next

    // The entry read last.
    bool have = false;
    Entry cur;
    bool fromLa = false;         // libarchive stands on its header and can give its data
    std::string name, symlink, hardlink;
    mode_t mode = 0;
    bool processed = false;

    std::string password;
    CHANGEVOLPROC volProc = nullptr;
    PROCESSDATAPROC dataProc = nullptr;
    size_t notifiedVolume = 0;

    std::unique_ptr<SafeDir> dest;
    std::string destBase;
    std::set<std::string> written; // files this handle extracted, relative to destBase
    mode_t umask = 022;

    ~Handle()
    {
        if (la)
            archive_read_free(la);
    }
};

bool hasSignature(const std::string& path)
{
    return qz::rar::scanHeaders(path).format != 0;
}

// The set's entries in order, a file spread over volumes counted once.
void collectEntries(Handle& h)
{
    for (size_t v = 0; v < h.volumes.size(); ++v) {
        const HeaderScan s = qz::rar::scanHeaders(h.volumes[v]);
        if (v == 0) {
            h.format = s.format;
            h.headersEncrypted = s.headersEncrypted;
        }
        for (const HeaderEntry& e : s.entries) {
            if (e.splitBefore && !h.entries.empty()) {
                Entry& last = h.entries.back();
                last.scan.splitAfter = e.splitAfter;
                last.scan.cut = last.scan.cut || e.cut;
                continue;
            }
            Entry x;
            x.scan = e;
            x.scanned = true;
            x.volume = v;
            h.entries.push_back(x);
        }
        if (v + 1 == h.volumes.size()) {
            h.cut = s.cut;
            if (!h.entries.empty() && h.entries.back().scan.splitAfter)
                h.entries.back().volumeMissing = true;
        }
    }
}

void copyName(char* out, size_t size, const std::string& s)
{
    // Cut at a character boundary when the name is longer than the field.
    size_t n = std::min(s.size(), size - 1);
    while (n > 0 && n < s.size() && (uint8_t(s[n]) & 0xc0) == 0x80)
        --n;
    std::memcpy(out, s.data(), n);
    out[n] = '\0';
}

void fillHeader(Handle& h, RARHeaderData* hd)
{
    copyName(hd->ArcName, sizeof hd->ArcName, h.volumes[std::min(h.cur.volume, h.volumes.size() - 1)]);
    copyName(hd->FileName, sizeof hd->FileName, h.name);
    const HeaderEntry& s = h.cur.scan;
    unsigned flags = 0;
    if (s.splitAfter)
        flags |= RHDF_SPLITAFTER;
    if (s.encrypted)
        flags |= RHDF_ENCRYPTED;
    if (s.solid)
        flags |= RHDF_SOLID;
    if (S_ISDIR(h.mode) || s.folder)
        flags |= RHDF_DIRECTORY;
    hd->Flags = flags;
    hd->PackSize = uint32_t(std::min<uint64_t>(s.packed, 0xffffffffu));
    hd->UnpSize = uint32_t(std::min<uint64_t>(s.unpacked, 0xffffffffu));
    hd->HostOS = RAR_HOST_UNIX;
    hd->FileCRC = s.crc;
    hd->UnpVer = s.version;
    hd->Method = s.method;
    hd->FileAttr = h.mode;
    hd->CmtSize = 0;
    hd->CmtState = 0;
}

// Fills the current entry from libarchive's header and the scanned headers.
void takeLaEntry(Handle& h, struct archive_entry* ae, size_t index)
{
    const char* utf8 = archive_entry_pathname_utf8(ae);
    const char* raw = archive_entry_pathname(ae);
    h.name = utf8 ? utf8 : raw ? raw : "";
    const char* sl = archive_entry_symlink_utf8(ae);
    if (!sl)
        sl = archive_entry_symlink(ae);
    h.symlink = sl ? sl : "";
    const char* hl = archive_entry_hardlink_utf8(ae);
    if (!hl)
        hl = archive_entry_hardlink(ae);
    h.hardlink = hl ? hl : "";
    h.mode = archive_entry_mode(ae);
    Entry e;
    if (index < h.entries.size())
        e = h.entries[index];
    if (!e.scanned || (e.scan.name != h.name && qz::isAscii(e.scan.name) && qz::isAscii(h.name))) {
        // The scan and libarchive disagree on this place: look the name up.
        for (const Entry& x : h.entries)
            if (x.scan.name == h.name) {
                e = x;
                break;
            }
    }
    if (!e.scanned)
        e.volume = h.cur.volume;
    // libarchive's own view of sizes and times wins where it has one.
    if (archive_entry_size_is_set(ae))
        e.scan.unpacked = uint64_t(archive_entry_size(ae));
    if (archive_entry_mtime_is_set(ae))
        e.scan.mtime = archive_entry_mtime(ae);
    if (S_ISDIR(h.mode))
        e.scan.folder = true;
    // A link has no data of its own to unpack.
    if (!h.hardlink.empty() || S_ISLNK(h.mode))
        e.scan.unpacked = 0;
    h.cur = e;
}

void takeScannedEntry(Handle& h, size_t index)
{
    h.cur = h.entries[index];
    h.name = h.cur.scan.name;
    h.symlink.clear();
    h.hardlink.clear();
    const HeaderEntry& s = h.cur.scan;
    if (s.host == RAR_HOST_UNIX && (s.attributes & S_IFMT))
        h.mode = mode_t(s.attributes);
    else if (s.folder || (s.attributes & 0x10))
        h.mode = S_IFDIR | 0755;
    else
        h.mode = S_IFREG | ((s.attributes & 0x01) ? 0444 : 0644);
}

int64_t entryTime(const Handle& h)
{
    const HeaderEntry& s = h.cur.scan;
    if (s.mtime >= 0)
        return s.mtime;
    return qz::dosToUnix(s.dosTime);
}

// Why the current entry's data cannot be read, or 0.
int refusal(const Handle& h)
{
    const HeaderEntry& s = h.cur.scan;
    if (s.encrypted)
        return ERAR_ENTRY_ENCRYPTED;
    if (h.format == 4 && s.solid)
        return ERAR_ENTRY_SOLID;
    if (h.cur.volumeMissing)
        return ERAR_VOLUME_MISSING;
    if (s.cut)
        return ERAR_TRUNCATED;
    if (!h.fromLa)
        return ERAR_BAD_DATA;
    return 0;
}

// The code for data libarchive failed to read.
int dataFailure(const Handle& h)
{
    if (h.cur.volumeMissing)
        return ERAR_VOLUME_MISSING;
    if (h.cur.scan.cut || h.cut)
        return ERAR_TRUNCATED;
    return ERAR_BAD_DATA;
}

// Reads the current entry's data to `fd` (when >= 0) and the data callback.
int readData(Handle& h, int fd)
{
    std::vector<char> buf(1 << 16);
    for (;;) {
        const la_ssize_t got = archive_read_data(h.la, buf.data(), buf.size());
        if (got == 0)
            return ERAR_SUCCESS;
        if (got < 0) {
            h.laAlive = false;
            return dataFailure(h);
        }
        if (fd >= 0) {
            size_t done = 0;
            while (done < size_t(got)) {
                const ssize_t w = ::write(fd, buf.data() + done, size_t(got) - done);
                if (w < 0) {
                    if (errno == EINTR)
                        continue;
                    return ERAR_EWRITE;
                }
                done += size_t(w);
            }
        }
        if (h.dataProc && h.dataProc(reinterpret_cast<unsigned char*>(buf.data()), int(got)) < 0)
            return ERAR_STOPPED;
    }
}

SafeDir* destination(Handle& h, const std::string& base)
{
    if (!h.dest || h.destBase != base) {
        h.dest = std::make_unique<SafeDir>(base, true);
        h.destBase = base;
        h.written.clear();
    }
    return h.dest->error() == 0 ? h.dest.get() : nullptr;
}

bool isLink(SafeDir& dir, const std::string& rel)
{
    std::string parent, leaf;
    SafeDir::split(rel, parent, leaf);
    const int fd = dir.folder(parent, false);
    struct stat st;
    return fd >= 0 && ::fstatat(fd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode);
}

// A new unused name in `dirFd` for a link or file about to be renamed into place.
bool reserveName(int dirFd, std::string& temp)
{
    const int fd = SafeDir::createTemp(dirFd, temp);
    if (fd < 0)
        return false;
    ::close(fd);
    ::unlinkat(dirFd, temp.c_str(), 0);
    return true;
}

int commit(int dirFd, const std::string& temp, const std::string& leaf)
{
    struct stat st;
    if (::fstatat(dirFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode)) {
        ::unlinkat(dirFd, temp.c_str(), 0);
        return ERAR_ECREATE;
    }
    if (::renameat(dirFd, temp.c_str(), dirFd, leaf.c_str()) != 0) {
        ::unlinkat(dirFd, temp.c_str(), 0);
        return ERAR_ECREATE;
    }
    return ERAR_SUCCESS;
}

void setTimes(int fd, int64_t t)
{
    struct timespec ts[2];
    ts[0].tv_sec = 0;
    ts[0].tv_nsec = UTIME_NOW;
    ts[1].tv_sec = time_t(t);
    ts[1].tv_nsec = 0;
    ::futimens(fd, ts);
}

int writeFile(Handle& h, SafeDir& dir, const std::string& rel)
{
    std::string parent, leaf;
    SafeDir::split(rel, parent, leaf);
    const int dirFd = dir.folder(parent, true);
    if (dirFd < 0)
        return ERAR_ECREATE;
    std::string temp;
    const int fd = SafeDir::createTemp(dirFd, temp);
    if (fd < 0)
        return ERAR_ECREATE;
    int r = readData(h, fd);
    if (r == ERAR_SUCCESS) {
        ::fchmod(fd, (h.mode & 0777 ? h.mode & 0777 : 0644) & ~h.umask);
        setTimes(fd, entryTime(h));
    }
    if (::close(fd) != 0 && r == ERAR_SUCCESS)
        r = ERAR_EWRITE;
    if (r != ERAR_SUCCESS) {
        ::unlinkat(dirFd, temp.c_str(), 0);
        return r;
    }
    r = commit(dirFd, temp, leaf);
    if (r == ERAR_SUCCESS)
        h.written.insert(rel);
    return r;
}

int makeSymlink(Handle& h, SafeDir& dir, const std::string& rel)
{
    if (SafeDir::linkRefusal(rel, h.symlink, [&dir](const std::string& p) { return isLink(dir, p); }))
        return ERAR_ECREATE;
    std::string parent, leaf, temp;
    SafeDir::split(rel, parent, leaf);
    const int dirFd = dir.folder(parent, true);
    if (dirFd < 0 || !reserveName(dirFd, temp) || ::symlinkat(h.symlink.c_str(), dirFd, temp.c_str()) != 0)
        return ERAR_ECREATE;
    return commit(dirFd, temp, leaf);
}

int makeHardLink(Handle& h, SafeDir& dir, const std::string& rel)
{
    const std::string source = qz::safeRelativeName(h.hardlink);
    if (source.empty() || !h.written.count(source))
        return ERAR_ECREATE;
    if (source == rel)
        return ERAR_SUCCESS;
    std::string sourceParent, sourceLeaf;
    SafeDir::split(source, sourceParent, sourceLeaf);
    const int cached = dir.folder(sourceParent, false);
    const int sourceFd = cached < 0 ? -1 : ::dup(cached);
    struct stat st;
    if (sourceFd < 0 || ::fstatat(sourceFd, sourceLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) {
        if (sourceFd >= 0)
            ::close(sourceFd);
        return ERAR_ECREATE;
    }
    std::string parent, leaf, temp;
    SafeDir::split(rel, parent, leaf);
    const int dirFd = dir.folder(parent, true);
    const bool linked = dirFd >= 0 && reserveName(dirFd, temp)
                        && ::linkat(sourceFd, sourceLeaf.c_str(), dirFd, temp.c_str(), 0) == 0;
    ::close(sourceFd);
    if (!linked)
        return ERAR_ECREATE;
    const int r = commit(dirFd, temp, leaf);
    if (r == ERAR_SUCCESS)
        h.written.insert(rel);
    return r;
}

bool isFolder(const Handle& h) { return S_ISDIR(h.mode) || h.cur.scan.folder; }

int extractInto(Handle& h, const std::string& base)
{
    SafeDir* dir = destination(h, base);
    if (!dir)
        return ERAR_ECREATE;
    const std::string rel = qz::safeRelativeName(h.name);
    if (rel.empty())
        return isFolder(h) ? ERAR_SUCCESS : ERAR_ECREATE;
    if (isFolder(h)) {
        if (dir->folder(rel, true) < 0)
            return ERAR_ECREATE;
        return ERAR_SUCCESS;
    }
    if (!h.hardlink.empty())
        return makeHardLink(h, *dir, rel);
    if (S_ISLNK(h.mode))
        return h.symlink.empty() ? ERAR_BAD_DATA : makeSymlink(h, *dir, rel);
    if (!S_ISREG(h.mode) && (h.mode & S_IFMT) != 0)
        return ERAR_ECREATE; // devices and FIFOs are not made
    return writeFile(h, *dir, rel);
}

// Extracts the current file to exactly `path`.
int extractAs(Handle& h, const std::string& path)
{
    if (isFolder(h) || S_ISLNK(h.mode) || !h.hardlink.empty())
        return ERAR_ECREATE;
    std::string parent, leaf;
    SafeDir::split(path, parent, leaf);
    if (leaf.empty())
        return ERAR_ECREATE;
    SafeDir dir(parent.empty() && path[0] == '/' ? std::string("/") : parent.empty() ? std::string(".") : parent, true);
    if (dir.error() != 0)
        return ERAR_ECREATE;
    const int dirFd = dir.folder("", false);
    std::string temp;
    const int fd = dirFd < 0 ? -1 : SafeDir::createTemp(dirFd, temp);
    if (fd < 0)
        return ERAR_ECREATE;
    int r = readData(h, fd);
    if (r == ERAR_SUCCESS) {
        ::fchmod(fd, 0644 & ~h.umask);
        setTimes(fd, entryTime(h));
    }
    if (::close(fd) != 0 && r == ERAR_SUCCESS)
        r = ERAR_EWRITE;
    if (r != ERAR_SUCCESS) {
        ::unlinkat(dirFd, temp.c_str(), 0);
        return r;
    }
    return commit(dirFd, temp, leaf);
}

} // namespace

QZ_EXPORT void* RAROpenArchive(RAROpenArchiveData* d)
{
    if (!d)
        return nullptr;
    d->CmtSize = 0;
    d->CmtState = 0;
    if (!d->ArcName || !*d->ArcName) {
        d->OpenResult = ERAR_EOPEN;
        return nullptr;
    }
    const std::string path = d->ArcName;
    if (::access(path.c_str(), R_OK) != 0) {
        d->OpenResult = ERAR_EOPEN;
        return nullptr;
    }
    if (!hasSignature(path)) {
        d->OpenResult = ERAR_BAD_ARCHIVE;
        return nullptr;
    }
    auto h = std::make_unique<Handle>();
    h->arcName = path;
    h->volumes = qz::rar::findVolumes(path, h->missingVolume);
    collectEntries(*h);
    if (!h->missingVolume.empty() && !h->entries.empty())
        h->entries.back().volumeMissing = h->entries.back().volumeMissing || h->entries.back().scan.splitAfter;
    h->umask = ::umask(0);
    ::umask(h->umask);
    h->la = archive_read_new();
    if (!h->la) {
        d->OpenResult = ERAR_NO_MEMORY;
        return nullptr;
    }
    archive_read_support_format_rar(h->la);
    archive_read_support_format_rar5(h->la);
    std::vector<const char*> names;
    for (const std::string& v : h->volumes)
        names.push_back(v.c_str());
    names.push_back(nullptr);
    if (archive_read_open_filenames(h->la, names.data(), 64 * 1024) != ARCHIVE_OK) {
        // The headers this library reads may still list the archive.
        h->laAlive = false;
    } else {
        h->laAlive = true;
    }
    d->OpenResult = ERAR_SUCCESS;
    return h.release();
}

QZ_EXPORT int RARCloseArchive(void* handle)
{
    Handle* h = static_cast<Handle*>(handle);
    if (!h)
        return ERAR_ECLOSE;
    int r = ERAR_SUCCESS;
    if (h->la && archive_read_close(h->la) != ARCHIVE_OK && h->laAlive)
        r = ERAR_ECLOSE;
    delete h;
    return r;
}

QZ_EXPORT int RARReadHeader(void* handle, RARHeaderData* hd)
{
    Handle* h = static_cast<Handle*>(handle);
    if (!h || !hd)
        return ERAR_UNKNOWN;
    if (h->headersEncrypted)
        return ERAR_NAMES_ENCRYPTED;
    const size_t index = h->next;
    h->have = false;
    h->processed = false;
    h->fromLa = false;
    if (h->laAlive) {
        struct archive_entry* ae = nullptr;
        const int r = archive_read_next_header(h->la, &ae);
        if (r == ARCHIVE_EOF) {
            h->laAlive = false;
            if (index >= h->entries.size())
                return h->cut ? ERAR_TRUNCATED : ERAR_END_ARCHIVE;
        } else if (r == ARCHIVE_OK || r == ARCHIVE_WARN) {
            takeLaEntry(*h, ae, index);
            h->fromLa = true;
        } else {
            h->laAlive = false;
        }
    }
    if (!h->fromLa) {
        if (index >= h->entries.size())
            return h->cut ? ERAR_TRUNCATED : index == 0 ? ERAR_BAD_ARCHIVE : ERAR_END_ARCHIVE;
        if (h->entries[index].scan.cut)
            return ERAR_TRUNCATED;
        takeScannedEntry(*h, index);
    }
    ++h->next;
    h->have = true;
    if (h->volProc && h->cur.volume != h->notifiedVolume && h->cur.volume < h->volumes.size()) {
        h->notifiedVolume = h->cur.volume;
        char name[1024];
        copyName(name, sizeof name, h->volumes[h->cur.volume]);
        if (h->volProc(name, RAR_VOL_NOTIFY) < 0)
            return ERAR_STOPPED;
    }
    std::memset(hd, 0, offsetof(RARHeaderData, CmtBuf));
    fillHeader(*h, hd);
    hd->FileTime = qz::unixToDos(entryTime(*h));
    return ERAR_SUCCESS;
}

QZ_EXPORT int RARProcessFile(void* handle, int operation, char* destPath, char* destName)
{
    Handle* h = static_cast<Handle*>(handle);
    if (!h || !h->have || h->processed)
        return ERAR_UNKNOWN;
    h->processed = true;
    if (operation == RAR_SKIP)
        return ERAR_SUCCESS;
    if (operation != RAR_TEST && operation != RAR_EXTRACT)
        return ERAR_UNKNOWN;
    const bool plainFile = !isFolder(*h) && !S_ISLNK(h->mode) && h->hardlink.empty();
    if (plainFile) {
        if (const int why = refusal(*h))
            return why;
    }
    if (operation == RAR_TEST)
        return plainFile ? readData(*h, -1) : ERAR_SUCCESS;
    if (destName && *destName)
        return extractAs(*h, destName);
    return extractInto(*h, destPath && *destPath ? std::string(destPath) : std::string("."));
}

QZ_EXPORT void RARSetChangeVolProc(void* handle, CHANGEVOLPROC proc)
{
    if (Handle* h = static_cast<Handle*>(handle))
        h->volProc = proc;
}

QZ_EXPORT void RARSetProcessDataProc(void* handle, PROCESSDATAPROC proc)
{
    if (Handle* h = static_cast<Handle*>(handle))
        h->dataProc = proc;
}

QZ_EXPORT void RARSetPassword(void* handle, char* password)
{
    // Kept for the entries that need one; libarchive cannot use it for RAR,
    // so encrypted entries are still refused with their own code.
    if (Handle* h = static_cast<Handle*>(handle))
        h->password = password ? password : "";
}
