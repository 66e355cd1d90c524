// libziplib.so: adds files to a zip archive and deletes entries from it.
// Every change is written to a temporary file that replaces the archive only
// when the whole operation succeeded.

#include "ZipCommon.h"
#include "OrderedAdder.h"
#include "ZipWriter.h"
#include "zipdir/ScratchFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <map>
#include <memory>
#include <new>
#include <pthread.h>
#include <thread>
#include <csignal>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

using namespace qz;

namespace {

struct Candidate {
    std::string path;      // on disk
    NewEntryInfo info;
    int64_t size = 0;
    std::string password;  // empty: not encrypted
    bool needPassword = false;
};

std::string lower(std::string s)
{
    for (char& c : s) if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string dosForm(const std::string& name)
{
    std::string out, part;
    auto flushPart = [&](bool last) {
        std::string base = part, ext;
        size_t dot = part.rfind('.');
        if (dot != std::string::npos && dot > 0) { base = part.substr(0, dot); ext = part.substr(dot + 1); }
        auto clean = [](std::string s, size_t max) {
            std::string r;
            for (char c : s) {
                if (c == '.' || c == ' ') continue;
                r += (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
            }
            return r.substr(0, max);
        };
        out += clean(base, 8);
        std::string e = clean(ext, 3);
        if (!e.empty()) out += "." + e;
        if (!last) out += '/';
        part.clear();
    };
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '/') flushPart(false);
        else part += name[i];
    }
    if (!part.empty()) flushPart(true);
    return out;
}

// Copies `from` into a new file `to` (made 0666 less the umask).
// Copies all of the file `from` into the open file `out`. False on a failed
// read or write, errno kept.
bool copyInto(const std::string& from, int out)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    bool copied = true;
    std::vector<char> buf(1 << 18);
    while (copied) {
        const ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) { copied = r == 0; break; }
        for (ssize_t o = 0; o < r;) {
            const ssize_t x = ::write(out, buf.data() + o, size_t(r - o));
            if (x < 0 && errno == EINTR) continue;
            if (x <= 0) { copied = false; break; }
            o += x;
        }
    }
    const int error = errno;
    ::close(in);
    errno = error;
    return copied;
}

// A new scratch file "qzXXXXXX" in `folder`, open for writing: its path in
// `path` (empty when none could be made, errno kept), registered in
// `scratch` so that an interrupting signal removes it. The signals wait
// until it is registered.
int makeScratch(const std::string& folder, std::string& path, std::unique_ptr<zipdir::ScratchFile>& scratch)
{
    std::string tmpl = folder + "/qzXXXXXX";
    std::vector<char> tb(tmpl.begin(), tmpl.end());
    tb.push_back(0);
    sigset_t held, before;
    sigemptyset(&held);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT})
        sigaddset(&held, sig);
    ::pthread_sigmask(SIG_BLOCK, &held, &before);
    const int fd = ::mkstemp(tb.data());
    const int made = errno;
    path = fd >= 0 ? std::string(tb.data()) : std::string();
    scratch = std::make_unique<zipdir::ScratchFile>(path);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = made;
    return fd;
}

// New files compress on every core. QUARN_ZIP_THREADS, when set, gives the
// number instead (the tests compare a run on one thread with others).
unsigned compressThreads()
{
    if (const char* v = std::getenv("QUARN_ZIP_THREADS")) {
        const int n = std::atoi(v);
        if (n >= 1) return unsigned(std::min(n, 64));
    }
    return std::max(1u, std::thread::hardware_concurrency());
}

class ZipJob {
public:
    explicit ZipJob(QzZipBlock* b) : b_(b), rep_(b->callback, b->engine, true), aes_(b->aesEncrypt != 0) {}
    int32_t run();

private:
    int32_t add();
    int32_t remove();
    bool openOld();
    bool fail(int code, const std::string& text) { rep_.message(code, text); error_ = code; return false; }
    void collect(const QzFileSpec& spec);
    void walk(const std::string& dir, const std::string& stored, const std::string& pattern, bool recurse, const Candidate& proto, bool allDirs);
    void consider(const std::string& path, const std::string& stored, const struct stat& st, const Candidate& proto);
    bool excluded(const std::string& stored) const;
    bool storeBySuffix(const std::string& name) const;
    int32_t writeArchive(const std::vector<const Entry*>& keep, const std::vector<Candidate>& add, std::vector<std::string>* written);
    bool copyAcross(const std::string& tmp);
    bool askPassword(std::string& out);

    QzZipBlock* b_;
    Reporter rep_;
    int error_ = 0;
    std::string zip_;
    int oldFd_ = -1;
    Directory old_;
    bool haveOld_ = false;
    std::vector<Candidate> found_;
    std::map<std::string, std::string> seen_; // stored name -> path on disk
    std::vector<std::pair<dev_t, ino_t>> walking_; // the folders being walked, outermost first
    std::vector<std::string> suffixes_;
    int64_t fromTime_ = 0;
    dev_t zipDev_ = 0;
    ino_t zipIno_ = 0;
    std::string askedPassword_;
    bool passwordAsked_ = false;
    // AES-256 instead of the traditional encryption; the password's answer
    // may choose otherwise than the block.
    bool aes_ = false;

public:
    ~ZipJob() { if (oldFd_ >= 0) ::close(oldFd_); }
};

// The file a path names, through any symbolic links: the archive is updated
// where it lies, and a link to it stays a link.
static std::string resolveLinks(std::string path)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> buf(size_t(st.st_size > 0 ? st.st_size : 4096) + 1);
        ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size() - 1);
        if (n <= 0) return path;
        std::string target(buf.data(), size_t(n));
        path = target[0] == '/' ? target : parentDir(path) + "/" + target;
    }
    return path;
}

bool ZipJob::openOld()
{
    zip_ = resolveLinks(zip_);
    struct stat st;
    if (::stat(zip_.c_str(), &st) != 0) return true; // a new archive
    zipDev_ = st.st_dev;
    zipIno_ = st.st_ino;
    if (::access(zip_.c_str(), W_OK) != 0 || !(st.st_mode & 0222))
        return fail(QZ_ERR_ZIP, zip_ + " is read-only; it was left unchanged");
    if (st.st_size == 0) return true;
    oldFd_ = ::open(zip_.c_str(), O_RDONLY | O_CLOEXEC);
    if (oldFd_ < 0) return fail(QZ_ERR_NOFILE, "cannot open " + zip_ + ": " + errnoText(errno));
    old_ = readDirectory(oldFd_);
    if (!old_.ok()) return fail(directoryError(old_), zip_ + ": " + old_.faultText + "; it was left unchanged");
    // Rewriting what the records disagree about would drop entries.
    if (!old_.RewriteProblem().empty())
        return fail(QZ_ERR_FORMAT, zip_ + ": zip file structure invalid (" + old_.RewriteProblem() + "); it was left unchanged");
    haveOld_ = true;
    return true;
}

bool ZipJob::excluded(const std::string& stored) const
{
    std::string base = baseName(stored);
    for (int32_t i = 0; i < b_->exclCount; ++i) {
        if (!b_->excl || !b_->excl[i]) continue;
        std::string x = slashes(b_->excl[i]);
        if (nameMatches(x, stored) || nameMatches(x, base)) return true;
        if (!stored.empty() && stored.back() == '/' && nameMatches(x, stored.substr(0, stored.size() - 1))) return true;
    }
    return false;
}

bool ZipJob::storeBySuffix(const std::string& name) const
{
    std::string n = lower(name);
    for (const std::string& s : suffixes_)
        if (n.size() >= s.size() && n.compare(n.size() - s.size(), s.size(), s) == 0) return true;
    return false;
}

void ZipJob::consider(const std::string& path, const std::string& stored, const struct stat& st, const Candidate& proto)
{
    bool dir = S_ISDIR(st.st_mode);
    if (!dir && !S_ISREG(st.st_mode)) return; // sockets, devices, fifos
    if (st.st_dev == zipDev_ && st.st_ino == zipIno_ && zipIno_ != 0) return; // the archive itself
    std::string name = stored;
    if (b_->junkDirs) {
        if (dir) return;
        name = baseName(name);
    }
    if (dir && b_->noDirEntries) return;
    if (b_->forceDos) name = dosForm(name);
    if (dir) name += '/';
    if (name.empty() || name == "/") return;
    if (excluded(name)) return;
    if (!dir && b_->fromDate && int64_t(st.st_mtime) < fromTime_) return;
    // Names are compared as they are, case included: this file system keeps
    // "a.txt" and "A.txt" apart. The same file reached twice is added once;
    // two files that would share a name are both reported, the second skipped.
    auto [it, fresh] = seen_.emplace(name, path);
    if (!fresh) {
        if (it->second != path)
            rep_.message(QZ_WARNING, path + " would be stored as " + name + " like " + it->second + " (skipped)");
        return;
    }
    Candidate c = proto;
    c.path = path;
    c.info.name = name;
    c.info.directory = dir;
    c.info.mode = st.st_mode;
    c.info.dosTime = unixToDos(int64_t(st.st_mtime));
    c.size = dir ? 0 : int64_t(st.st_size);
    if (dir) { c.password.clear(); c.needPassword = false; }
    found_.push_back(std::move(c));
}

void ZipJob::walk(const std::string& dir, const std::string& stored, const std::string& pattern, bool recurse, const Candidate& proto, bool allDirs)
{
    // A link back to a folder being walked would repeat the tree without end.
    struct stat self {};
    if (::stat(dir.c_str(), &self) == 0) {
        for (const auto& w : walking_)
            if (w.first == self.st_dev && w.second == self.st_ino) {
                rep_.message(QZ_WARNING, dir + " leads back to a folder above it (skipped)");
                return;
            }
    }
    DIR* d = ::opendir(dir.c_str());
    if (!d) { rep_.message(QZ_WARNING, "cannot read folder " + dir + ": " + errnoText(errno)); return; }
    walking_.emplace_back(self.st_dev, self.st_ino);
    struct PopOnExit {
        std::vector<std::pair<dev_t, ino_t>>& v;
        ~PopOnExit() { v.pop_back(); }
    } pop{walking_};
    std::vector<std::string> names;
    while (struct dirent* de = ::readdir(d)) {
        std::string n = de->d_name;
        if (n == "." || n == "..") continue;
        names.push_back(n);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        if (rep_.aborted()) return;
        if (!b_->hiddenFiles && n[0] == '.') continue;
        std::string path = dir == "/" ? "/" + n : dir + "/" + n;
        std::string st2 = stored.empty() ? n : stored + "/" + n;
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (allDirs) consider(path, st2, st, proto);
            if (recurse) walk(path, st2, pattern, true, proto, allDirs);
        } else if (wildMatch(pattern, n)) {
            consider(path, st2, st, proto);
        }
    }
}

// The stored form of an on-disk path: relative to the root when it lies
// inside it, otherwise the path without its leading "/" and "./" parts.
static std::string storedFor(const std::string& path, const std::string& root)
{
    std::string p = path;
    if (!root.empty()) {
        std::string r = root;
        while (r.size() > 1 && r.back() == '/') r.pop_back();
        if (p == r) return std::string();
        if (p.compare(0, r.size() + 1, r + "/") == 0) p = p.substr(r.size() + 1);
    }
    return safeRelativeName(p);
}

void ZipJob::collect(const QzFileSpec& spec)
{
    if (!spec.fileSpec) return;
    std::string s = slashes(spec.fileSpec);
    std::string root = spec.rootDir ? slashes(spec.rootDir) : std::string();
    bool recurse = spec.recurse != 0;
    Candidate proto;
    bool enc = spec.encrypt != 0;
    if (enc) {
        const char* pw = spec.password ? spec.password : b_->password;
        if (pw && *pw) proto.password = pw;
        else proto.needPassword = true;
    }
    std::string full = s;
    if (!s.empty() && s[0] != '/' && !root.empty()) full = root + "/" + s;
    while (full.size() > 1 && full.back() == '/') full.pop_back();
    size_t before = found_.size();
    std::string last = baseName(full);
    if (hasWild(last)) {
        std::string dir = parentDir(full);
        bool all = last == "*" || last == "*.*";
        walk(dir, storedFor(dir, root), last == "*.*" ? "*" : last, recurse, proto, all);
    } else {
        struct stat st;
        if (::stat(full.c_str(), &st) != 0) {
            rep_.message(QZ_ERR_NOFILE, "file not found: " + full);
            return;
        }
        std::string stored = storedFor(full, root);
        if (S_ISDIR(st.st_mode)) {
            if (!stored.empty()) consider(full, stored, st, proto);
            walk(full, stored, "*", recurse, proto, recurse);
        } else {
            if (stored.empty()) stored = baseName(full);
            consider(full, stored, st, proto);
        }
    }
    if (found_.size() == before && hasWild(last))
        rep_.message(QZ_WARNING, "no files match " + full);
}

bool ZipJob::askPassword(std::string& out)
{
    if (passwordAsked_) { out = askedPassword_; return !out.empty(); }
    passwordAsked_ = true;
    QzCallbackRecord r;
    rep_.call(QZ_CB_PASSWORD, 1, 1, std::string(), &r);
    if ((r.errorCode & 1) && r.text[0]) {
        askedPassword_.assign(r.text, strnlen(r.text, sizeof r.text));
        aes_ = (r.errorCode & 2) != 0;
    }
    out = askedPassword_;
    return !out.empty();
}

int32_t ZipJob::writeArchive(const std::vector<const Entry*>& keep, const std::vector<Candidate>& add, std::vector<std::string>* written)
{
    std::string dir = b_->tempDir && *b_->tempDir ? std::string(b_->tempDir) : parentDir(zip_);
    // The parts of a set are written by the engine as the archive is made.
    const QzOutput* output = b_->output;
    std::string tmp = zip_;
    std::unique_ptr<zipdir::ScratchFile> scratch;
    int fd = output ? -1 : makeScratch(dir, tmp, scratch);
    const int made = errno;
    if (fd < 0 && !output) { fail(made == ENOSPC ? QZ_ERR_DISKFULL : QZ_ERR_ZIP, "temporary file could not be created in " + dir + ": " + errnoText(made)); return 0; }
    auto cleanup = [&]() { if (fd >= 0) { ::close(fd); ::unlink(tmp.c_str()); } };

    int64_t total = 0;
    for (const Candidate& c : add) total += c.size;
    if (rep_.totals(int64_t(add.size()), total)) { cleanup(); fail(QZ_ERR_ABORT, "aborted by the user"); return 0; }

    int32_t done = 0;
    bool ok = true;
    {
        ZipWriter w = output ? ZipWriter(output, rep_) : ZipWriter(fd, rep_);
        w.setAes(aes_);
        // What precedes the first entry (a self-extractor's stub) is kept.
        if (haveOld_ && old_.firstEntry) ok = w.copyRaw(oldFd_, 0, old_.firstEntry);
        for (size_t i = 0; ok && i < keep.size(); ++i) {
            ok = w.copyEntry(oldFd_, *keep[i]);
            if (!ok && !w.failed()) { fail(QZ_ERR_ZIP, "cannot copy entry " + keep[i]->name + " from " + zip_); cleanup(); return 0; }
            if (ok && rep_.aborted()) ok = false;
        }
        if (ok) {
            std::vector<AddItem> items;
            items.reserve(add.size());
            for (const Candidate& c : add) {
                AddItem it;
                it.path = c.path;
                it.info = c.info;
                it.level = b_->level < 0 ? 0 : b_->level > 9 ? 9 : b_->level;
                if (storeBySuffix(c.info.name)) it.level = 0;
                it.password = c.password;
                it.sizeHint = c.size;
                items.push_back(std::move(it));
            }
            OrderedAdder adder(w, compressThreads());
            ok = adder.add(items, [&](size_t i) { ++done; if (written) written->push_back(add[i].path); });
        }
        // Every file to add was skipped: leave the archive (or its absence) alone.
        if (ok && !add.empty() && done == 0 && !rep_.aborted()) {
            cleanup();
            fail(QZ_ERR_NOMATCH, "nothing could be added; " + zip_ + " left unchanged");
            return 0;
        }
        if (ok && !rep_.aborted()) {
            std::string comment = b_->comment ? std::string(b_->comment) : old_.comment;
            ok = w.finish(comment);
        }
        if (!ok || rep_.aborted() || w.failed()) {
            int e = w.errorNumber() ? w.errorNumber() : errno;
            cleanup();
            if (rep_.aborted()) fail(QZ_ERR_ABORT, "aborted by the user; " + zip_ + " left unchanged");
            else if (e == ENOSPC || e == EDQUOT || e == EFBIG) fail(QZ_ERR_DISKFULL, "disk full or file too large writing " + tmp + "; " + zip_ + " left unchanged");
            else fail(QZ_ERR_ZIP, "write error (" + errnoText(e) + "); " + zip_ + " left unchanged");
            return 0;
        }
        uint32_t newest = w.newestTime();
        if (b_->latestTime && newest && fd >= 0) {
            struct timespec ts[2];
            ts[0].tv_sec = ts[1].tv_sec = time_t(dosToUnix(newest));
            ts[0].tv_nsec = ts[1].tv_nsec = 0;
            ::futimens(fd, ts);
        }
    }
    if (output) return done;
    // Keep the old archive's permissions; a new one gets the usual ones.
    struct stat st;
    if (::stat(zip_.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    else { mode_t um = ::umask(0); ::umask(um); ::fchmod(fd, 0666 & ~um); }
    if (::close(fd) != 0) { ::unlink(tmp.c_str()); fail(QZ_ERR_DISKFULL, "write error closing " + tmp + "; " + zip_ + " left unchanged"); return 0; }
    std::string why;
    if (zipdir::ReplaceFile(tmp, zip_, why)) return done;
    if (errno != EXDEV) { zipdir::RemoveScratchFile(tmp); fail(QZ_ERR_ZIP, why); return 0; }
    return copyAcross(tmp) ? done : 0;
}

// The temporary folder is on another file system than the archive: the
// finished archive is copied into a second temporary file beside it, with the
// permissions and times given to the first, and that takes its place (synced
// first, like any other). The first goes either way.
bool ZipJob::copyAcross(const std::string& tmp)
{
    struct stat made;
    const bool haveMade = ::stat(tmp.c_str(), &made) == 0;
    std::string beside;
    std::unique_ptr<zipdir::ScratchFile> scratch;
    const int fd = makeScratch(parentDir(zip_), beside, scratch);
    int error = errno;
    bool copied = fd >= 0 && haveMade && copyInto(tmp, fd) && ::fchmod(fd, made.st_mode & 07777) == 0;
    if (copied && b_->latestTime) {
        const struct timespec times[2] = {made.st_atim, made.st_mtim};
        ::futimens(fd, times);
    }
    if (fd >= 0) {
        if (!copied) error = errno;
        if (::close(fd) != 0 && copied) { copied = false; error = errno; }
    }
    zipdir::RemoveScratchFile(tmp);
    std::string why;
    if (copied && zipdir::ReplaceFile(beside, zip_, why)) return true;
    if (copied) error = errno;
    if (!beside.empty()) zipdir::RemoveScratchFile(beside);
    if (why.empty()) why = "cannot write a copy of the new archive beside " + zip_ + ": " + errnoText(error);
    const bool full = error == ENOSPC || error == EDQUOT || error == EFBIG;
    fail(full ? QZ_ERR_DISKFULL : QZ_ERR_ZIP, why + "; " + zip_ + " left unchanged");
    return false;
}

int32_t ZipJob::add()
{
    if (!openOld()) return 0;
    // Store suffixes: ".gif:.png:..."
    if (b_->storeSuffixes) {
        std::string s = b_->storeSuffixes, cur;
        for (char c : s + ":") {
            if (c == ':' || c == ';') { if (!cur.empty()) suffixes_.push_back(lower(cur)); cur.clear(); }
            else cur += c;
        }
    }
    if (b_->fromDate) {
        int mm = 0, dd = 0, yy = 0;
        char d[9];
        std::memcpy(d, b_->date, 8);
        d[8] = 0;
        if (std::sscanf(d, "%d %d %d", &mm, &dd, &yy) == 3) {
            struct tm tmv {};
            tmv.tm_year = (yy < 80 ? yy + 100 : yy);
            tmv.tm_mon = mm - 1;
            tmv.tm_mday = dd;
            tmv.tm_isdst = -1;
            fromTime_ = int64_t(mktime(&tmv));
        }
    }
    for (int32_t i = 0; i < b_->specCount; ++i) {
        collect(b_->specs[i]);
        if (rep_.aborted()) { fail(QZ_ERR_ABORT, "aborted by the user"); return 0; }
    }
    // Encrypted specs without a password: ask once.
    for (Candidate& c : found_) {
        if (!c.needPassword) continue;
        std::string pw;
        if (!askPassword(pw)) { fail(QZ_ERR_PASSWORD, "no password given for encryption; " + zip_ + " left unchanged"); return 0; }
        c.password = pw;
        c.needPassword = false;
    }
    // Decide against the old entries: update, freshen, replace.
    std::map<std::string, size_t> byName;
    if (haveOld_)
        for (size_t i = 0; i < old_.entries.size(); ++i) byName.emplace(old_.entries[i].name, i);
    std::vector<Candidate> add;
    std::vector<bool> replaced(old_.entries.size(), false);
    for (Candidate& c : found_) {
        auto it = byName.find(c.info.name);
        bool exists = it != byName.end();
        if (b_->freshen && !b_->update && !exists) continue;
        if (exists && (b_->update || b_->freshen) && c.info.dosTime <= old_.entries[it->second].dosDateTime) continue;
        if (exists && c.info.directory) continue; // a folder entry that is already there
        if (exists) replaced[it->second] = true;
        add.push_back(std::move(c));
    }
    if (add.empty()) {
        if (found_.empty()) fail(QZ_ERR_NOMATCH, "nothing to do: no matching files");
        return 0;
    }
    std::vector<const Entry*> keep;
    for (size_t i = 0; i < old_.entries.size(); ++i)
        if (!replaced[i]) keep.push_back(&old_.entries[i]);
    std::vector<std::string> written;
    int32_t n = writeArchive(keep, add, b_->move ? &written : nullptr);
    if (n > 0) rep_.end();
    if (n > 0 && b_->move) {
        // A file that stays is in the archive as well: said, not lost.
        for (const std::string& p : written)
            if (::unlink(p.c_str()) != 0 && errno != ENOENT)
                rep_.message(QZ_WARNING, "cannot remove " + p + " after adding it: " + errnoText(errno));
        // Then the folders that were added, deepest first, when empty.
        std::vector<std::string> dirs;
        for (const Candidate& c : add) if (c.info.directory) dirs.push_back(c.path);
        std::sort(dirs.begin(), dirs.end(), [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
        for (const std::string& d : dirs)
            if (::rmdir(d.c_str()) != 0 && errno != ENOENT && errno != ENOTEMPTY && errno != EEXIST)
                rep_.message(QZ_WARNING, "cannot remove the folder " + d + " after adding it: " + errnoText(errno));
    }
    return n;
}

int32_t ZipJob::remove()
{
    if (!fileExists(zip_)) { fail(QZ_ERR_NOFILE, "zip file not found: " + zip_); return 0; }
    if (!openOld()) return 0;
    if (!haveOld_) { fail(QZ_ERR_FORMAT, zip_ + " is not a zip file"); return 0; }
    std::vector<std::string> specs;
    for (int32_t i = 0; i < b_->specCount; ++i)
        if (b_->specs[i].fileSpec) specs.push_back(slashes(b_->specs[i].fileSpec));
    std::vector<const Entry*> keep;
    int32_t removed = 0;
    for (const Entry& e : old_.entries) {
        std::string n = slashes(e.name);
        bool hit = false;
        for (const std::string& s : specs) {
            if (nameMatches(s, n) || (!n.empty() && n.back() == '/' && nameMatches(s, n.substr(0, n.size() - 1)))) { hit = true; break; }
        }
        if (hit) {
            ++removed;
            if (rep_.newFile(e.name, int64_t(e.uncompressedSize))) { fail(QZ_ERR_ABORT, "aborted by the user"); return 0; }
        } else {
            keep.push_back(&e);
        }
    }
    if (removed == 0) { fail(QZ_ERR_NOMATCH, "no matching entries to delete"); return 0; }
    if (writeArchive(keep, {}, nullptr) < 0 || error_) return 0;
    rep_.end();
    return removed;
}

int32_t ZipJob::run()
{
    if (!b_->zipFileName || !*b_->zipFileName) { fail(QZ_ERR_PARAM, "no zip file name given"); return 0; }
    zip_ = b_->zipFileName;
    if (b_->specCount <= 0 || !b_->specs) { fail(QZ_ERR_PARAM, "no file specifications given"); return 0; }
    return b_->deleteEntries ? remove() : add();
}

} // namespace

QZ_EXPORT int32_t GetZipLibVersion(void) { return QZ_LIB_VERSION; }

QZ_EXPORT int32_t ZipLibExec(QzZipBlock* block)
{
    if (!block) return 0;
    try {
        ZipJob job(block);
        return job.run();
    } catch (const std::bad_alloc&) {
        Reporter(block->callback, block->engine, true).message(QZ_ERR_MEMORY, "out of memory");
    } catch (...) {
        Reporter(block->callback, block->engine, true).message(QZ_ERR_ZIP, "unexpected internal error");
    }
    return 0;
}
