// libunzlib.so: extracts or tests the entries of a zip archive. Names are made
// safe before they meet the file system, and every path is walked from the
// base folder without following links (SafeDir), so nothing is written
// outside the base folder, also through a link already there; each file is
// written under a temporary name beside its target and renamed into place
// only once its CRC has been checked. Symbolic links (entries made on Unix
// with a link's mode) are made after every other entry, and only when their
// target stays inside the base folder and passes through no link.
//
// The calling thread decides every entry in order (its name, the replace and
// password questions) and makes every callback; an archive of many entries
// has the decided ones read, decoded and written on worker threads
// (ExtractQueue), whose callbacks are passed on in the entries' order.

#include "EntryOutput.h"
#include "ExtractQueue.h"
#include "SafeDir.h"
#include "Decoders.h"
#include "ZipCommon.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <new>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

using namespace qz;

namespace {

// Archives with at least this many entries to extract, or this many bytes,
// are extracted on every core.
constexpr size_t kParallelEntries = 64;
constexpr int64_t kParallelBytes = 32 << 20;
constexpr unsigned kMaxThreads = 8;
// Entries decided and not yet passed on, at most.
constexpr size_t kMaxUnderWay = 64;

// Every core, or QUARN_UNZIP_THREADS (1: everything on the calling thread).
unsigned workerCount()
{
    unsigned n = std::thread::hardware_concurrency();
    if (const char* v = std::getenv("QUARN_UNZIP_THREADS"); v && *v) n = unsigned(std::strtoul(v, nullptr, 10));
    return std::min(n, kMaxThreads);
}

bool isSymLink(const Entry& e)
{
    return e.hostSystem == 3 && S_ISLNK(mode_t(e.externalAttributes >> 16)) && !e.isFolder();
}

// Callbacks straight to the engine.
class DirectSink : public EntrySink {
public:
    explicit DirectSink(Reporter& rep) : rep_(rep) {}
    bool bytes(int64_t n) override { return rep_.bytes(n); }
    void call(int code, int32_t err, int32_t size, const std::string& text) override { rep_.call(code, err, size, text); }

private:
    Reporter& rep_;
};

class UnzJob {
public:
    explicit UnzJob(QzUnzBlock* b) : b_(b), rep_(b->callback, b->engine, false) {}
    ~UnzJob()
    {
        queue_.reset();
        if (fd_ >= 0) ::close(fd_);
    }
    int32_t run();

private:
    bool selected(const Entry& e) const;
    // Settles everything about an entry that needs the calling thread; what
    // is left to do goes into `w` (`work` set). Callbacks other than
    // questions go to `sink`.
    Outcome decide(const Entry& e, size_t index, EntrySink& sink, EntryWork& w, bool& work);
    // The checks before `leaf` in `parentRel` is written: no link or file on
    // its path, no folder in its place, update and freshen, the replace
    // question. Ok to go on; `existed` says whether something was there.
    Outcome mayWrite(const Entry& e, size_t index, const std::string& target, const std::string& parentRel,
                     const std::string& leaf, EntrySink& sink, bool& existed);
    // Makes the symbolic links held back; returns how many were made.
    int32_t makeLinks();
    // The entry's coding; false, said and skipped, when it cannot be read.
    bool coding(const Entry& e, Coding& c, EntrySink& sink);
    bool findPassword(const Entry& e, const Coding& c, std::string& pw);
    // The CRC question for a file whose CRC differs.
    Outcome askCrc(EntryWork& w, EntrySink& sink);
    // The destination folder `rel`, made when missing, held open.
    std::shared_ptr<OpenFolder> folderFor(const std::string& rel);
    void skipped(EntrySink& sink, const Entry& e, int type, int err, const std::string& why)
    {
        sink.message(err, why);
        sink.call(QZ_CB_SKIPPED, err, type + 1, e.name);
    }
    void count(Outcome o);

    // Parallel runs: before a question, what the entries before it have
    // said so far is passed on, and, when they are all through, what the
    // entry being decided has said.
    void beforeQuestion();
    // Passes on the callbacks of the oldest entries: of those finished, or
    // (`waitOldest`) until the oldest one is.
    void passOn(bool waitOldest);
    // Until every entry handed to the workers is through.
    void settle();
    // A name (or a folder on its path) still being written by a worker is
    // waited for before it is checked or made again.
    void awaitClaims(const std::string& rel);

    QzUnzBlock* b_;
    Reporter rep_;
    int fd_ = -1;
    // The archive: the file, or the set the engine hands over as one zip.
    std::unique_ptr<zipdir::Source> src_;
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
    mode_t umask_ = 022;
    std::unique_ptr<EntryOutput> output_;
    std::map<std::string, std::shared_ptr<OpenFolder>> folders_;
    std::unique_ptr<ExtractQueue> queue_;
    EntryTask* deciding_ = nullptr;
    std::unordered_set<std::string> claimed_;
    int32_t done_ = 0, failed_ = 0;
    bool aborted_ = false;
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

bool UnzJob::coding(const Entry& e, Coding& c, EntrySink& sink)
{
    c.method = e.method;
    if (e.method == kAesMethod) {
        if (!e.encrypted() || !parseAesField(e.extra, c.field)) {
            skipped(sink, e, QZ_SKIP_COMPRESSION_UNKNOWN, QZ_ERR_UNSUPPORTED, e.name + ": its AES encryption field is missing or not understood");
            return false;
        }
        c.aes = true;
        c.method = c.field.method;
    } else if (e.encrypted() && (e.flags & 0x40)) {
        skipped(sink, e, QZ_SKIP_COMPRESSION_UNKNOWN, QZ_ERR_UNSUPPORTED, e.name + ": strong encryption is not supported");
        return false;
    }
    if (!methodSupported(c.method)) {
        skipped(sink, e, QZ_SKIP_COMPRESSION_UNKNOWN, QZ_ERR_UNSUPPORTED, e.name + ": compression method " + std::to_string(c.method) + " is not supported");
        return false;
    }
    return true;
}

bool UnzJob::findPassword(const Entry& e, const Coding& c, std::string& pw)
{
    if (b_->password && *b_->password && output_->checkPassword(e, c, b_->password)) { pw = b_->password; return true; }
    for (const std::string& g : goodPasswords_)
        if (output_->checkPassword(e, c, g)) { pw = g; return true; }
    while (!stopAsking_ && requestsLeft_ > 0) {
        beforeQuestion();
        QzCallbackRecord r;
        if (rep_.call(QZ_CB_PASSWORD, 0, requestsLeft_, e.name, &r)) return false;
        if (r.actionCode == 0) stopAsking_ = true;
        int32_t next = r.size;
        if (r.errorCode != 1 || !r.text[0]) { requestsLeft_ = 0; break; }
        std::string given(r.text, strnlen(r.text, sizeof r.text));
        requestsLeft_ = next > 0 ? next - 1 : 0;
        if (output_->checkPassword(e, c, given)) {
            goodPasswords_.push_back(given);
            pw = given;
            // A later entry may use the same password; ask again only for a new one.
            if (requestsLeft_ < 1 && !stopAsking_) requestsLeft_ = 1;
            return true;
        }
    }
    return false;
}

Outcome UnzJob::askCrc(EntryWork& w, EntrySink& sink)
{
    const Entry& e = *w.entry;
    QzCallbackRecord r;
    rep_.call(QZ_CB_CRCERROR, int32_t(w.crc), int32_t(e.crc), e.name, &r);
    if (r.errorCode == 1) return EntryOutput::keep(w, sink);
    char buf[96];
    std::snprintf(buf, sizeof buf, " (found %08x, expected %08x)", w.crc, e.crc);
    sink.message(QZ_ERR_ZIP, "CRC error in " + e.name + buf + (w.test ? "" : "; not extracted"));
    EntryOutput::drop(w);
    return Outcome::Failed;
}

std::shared_ptr<OpenFolder> UnzJob::folderFor(const std::string& rel)
{
    const auto it = folders_.find(rel);
    if (it != folders_.end()) return it->second;
    const int fd = dest_->folder(rel, true);
    if (fd < 0) return nullptr;
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0) return nullptr;
    // Entries under way keep theirs open.
    if (folders_.size() >= 64) folders_.clear();
    return folders_[rel] = std::make_shared<OpenFolder>(own);
}

Outcome UnzJob::decide(const Entry& e, size_t index, EntrySink& sink, EntryWork& w, bool& work)
{
    work = false;
    const bool test = b_->test != 0;
    std::string rel = safeRelativeName(e.name);
    if (!b_->dirNames) rel = e.isFolder() ? std::string() : baseName(rel);
    if (e.isFolder()) {
        if (!test && b_->dirNames && !rel.empty()) {
            awaitClaims(rel);
            if (dest_->folder(rel, true) < 0)
                sink.message(QZ_WARNING, "cannot create folder " + base_ + "/" + rel + ": " + errnoText(errno));
        }
        return Outcome::Skipped;
    }
    if (rel.empty()) { skipped(sink, e, QZ_SKIP_UNKNOWN, QZ_WARNING, "entry without a usable name skipped: " + e.name); return Outcome::Skipped; }
    sink.call(QZ_CB_NEWFILE, 0, Reporter::clamp32(int64_t(e.uncompressedSize)), e.name);
    if (rep_.aborted()) return Outcome::Aborted;
    Coding c;
    if (!coding(e, c, sink)) return Outcome::Skipped;
    if (!e.complete) {
        sink.message(QZ_ERR_EOF, e.name + ": unexpected end of the zip file; its data is cut short" + (test ? "" : ", not extracted"));
        return Outcome::Failed;
    }
    if (!e.dataOffset) { sink.message(QZ_ERR_FORMAT, e.name + ": " + e.localProblem); return Outcome::Failed; }
    std::string target = base_ + "/" + rel;
    std::string parentRel, leaf;
    SafeDir::split(rel, parentRel, leaf);
    // A link is checked and made once every other entry is out.
    const bool link = !test && isSymLink(e);
    bool existed = false;
    if (!test && !link) {
        awaitClaims(rel);
        const Outcome o = mayWrite(e, index, target, parentRel, leaf, sink, existed);
        if (o != Outcome::Ok) return o;
    }
    std::string pw;
    if (e.encrypted() && !findPassword(e, c, pw)) {
        if (rep_.aborted()) return Outcome::Aborted;
        bool none = (!b_->password || !*b_->password) && goodPasswords_.empty();
        skipped(sink, e, none ? QZ_SKIP_NO_PASSWORD : QZ_SKIP_BAD_PASSWORD, QZ_ERR_PASSWORD,
                (none ? "no password for " : "wrong password for ") + e.name + "; not extracted");
        return Outcome::Skipped;
    }
    if (link) {
        std::string linkTarget;
        const Outcome o = output_->linkTarget(e, c, pw, sink, linkTarget);
        if (o != Outcome::Ok) return o;
        heldLinks_.push_back({index, rel, linkTarget});
        return Outcome::Held;
    }
    if (!test) {
        w.folder = folderFor(parentRel);
        if (!w.folder) {
            const int err = errno;
            if (err == ELOOP || err == ENOTDIR) {
                skipped(sink, e, QZ_SKIP_UNKNOWN, QZ_WARNING, e.name + " skipped: a part of its path is a link or a file");
                return Outcome::Skipped;
            }
            sink.message(QZ_ERR_ZIP, "cannot create folder " + parentDir(target) + ": " + errnoText(err));
            return Outcome::Failed;
        }
        mode_t mode = 0666 & ~umask_;
        const uint32_t unixMode = e.externalAttributes >> 16;
        if (e.hostSystem == 3 && unixMode) mode = (unixMode & 0777) & ~umask_;
        else if (e.externalAttributes & 1) mode &= ~0222;
        w.mode = mode;
        w.leaf = leaf;
        w.target = target;
        w.mustBeNew = !existed;
        if (queue_) claimed_.insert(rel);
    }
    w.entry = &e;
    w.coding = c;
    w.password = pw;
    w.test = test;
    work = true;
    return Outcome::Ok;
}

Outcome UnzJob::mayWrite(const Entry& e, size_t index, const std::string& target, const std::string& parentRel,
                         const std::string& leaf, EntrySink& sink, bool& existed)
{
    struct stat st;
    const int parentFd = dest_->folder(parentRel, false);
    if (parentFd < 0 && errno != ENOENT) {
        skipped(sink, e, QZ_SKIP_UNKNOWN, QZ_WARNING, e.name + " skipped: a part of its path is a link or a file");
        return Outcome::Skipped;
    }
    const bool exists = parentFd >= 0 && ::fstatat(parentFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    existed = exists;
    if (exists && S_ISDIR(st.st_mode)) {
        skipped(sink, e, QZ_SKIP_FILE_EXISTS, QZ_WARNING, target + " is a folder; " + e.name + " skipped");
        return Outcome::Skipped;
    }
    int64_t entryTime = dosToUnix(e.dosDateTime);
    bool older = exists && int64_t(st.st_mtime) < entryTime;
    if ((b_->update || b_->freshen) && exists && !older) { sink.call(QZ_CB_SKIPPED, 0, QZ_SKIP_ON_FRESHEN + 1, e.name); return Outcome::Skipped; }
    if (b_->freshen && !b_->update && !exists) { sink.call(QZ_CB_SKIPPED, 0, QZ_SKIP_ON_FRESHEN + 1, e.name); return Outcome::Skipped; }
    if (exists) {
        beforeQuestion();
        QzCallbackRecord r;
        int32_t arg = int32_t((older ? 0x10000 : 0) | (index & 0xFFFF));
        if (rep_.call(QZ_CB_OVERWRITE, arg, b_->overwrite ? 1 : 0, target, &r)) return Outcome::Aborted;
        if ((r.size & 0xFF) == 0) { sink.call(QZ_CB_SKIPPED, 0, QZ_SKIP_NO_OVERWRITE + 1, e.name); return Outcome::Skipped; }
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
    DirectSink sink(rep_);
    int32_t made = 0;
    for (const HeldLink& l : heldLinks_) {
        const Entry& e = dir_.entries[l.index];
        if (const char* why = SafeDir::linkRefusal(l.rel, l.target, isLink)) {
            skipped(sink, e, QZ_SKIP_UNKNOWN, QZ_WARNING, e.name + " skipped (its link target " + l.target + " " + why + ")");
            continue;
        }
        const std::string target = base_ + "/" + l.rel;
        std::string parentRel, leaf;
        SafeDir::split(l.rel, parentRel, leaf);
        bool existed = false;
        const Outcome o = mayWrite(e, l.index, target, parentRel, leaf, sink, existed);
        if (o == Outcome::Aborted) break;
        if (o != Outcome::Ok) continue;
        const int dirFd = dest_->folder(parentRel, true);
        std::string tmp;
        if (dirFd < 0 || !SafeDir::makeFreeName(tmp, [&](const char* name) { return ::symlinkat(l.target.c_str(), dirFd, name); })) {
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

void UnzJob::count(Outcome o)
{
    if (o == Outcome::Ok) ++done_;
    else if (o == Outcome::Failed) ++failed_;
    else if (o == Outcome::Aborted) aborted_ = true;
}

void UnzJob::beforeQuestion()
{
    if (!queue_) return;
    // The decided entries go on while the question waits for its answer.
    queue_->wake();
    passOn(false);
    if (!queue_->empty() || !deciding_ || rep_.aborted()) return;
    DirectSink direct(rep_);
    for (; deciding_->passed < deciding_->events.size(); ++deciding_->passed) {
        const EntryEvent& ev = deciding_->events[deciding_->passed];
        if (ev.code == QZ_CB_BYTES) direct.bytes(ev.bytes);
        else direct.call(ev.code, ev.err, ev.size, ev.text);
    }
}

void UnzJob::passOn(bool waitOldest)
{
    std::vector<EntryEvent> events;
    DirectSink direct(rep_);
    while (queue_ && !queue_->empty() && !rep_.aborted()) {
        const bool done = queue_->take(events, std::chrono::milliseconds(waitOldest ? 100 : 0));
        for (const EntryEvent& ev : events) {
            if (rep_.aborted()) return;
            if (ev.code == QZ_CB_BYTES) direct.bytes(ev.bytes);
            else direct.call(ev.code, ev.err, ev.size, ev.text);
        }
        if (!done) {
            if (waitOldest) continue;
            return;
        }
        if (rep_.aborted()) return;
        std::unique_ptr<EntryTask> t = queue_->popFront();
        count(t->outcome == Outcome::CrcPending ? askCrc(t->work, direct) : t->outcome);
        if (waitOldest) return;
    }
}

void UnzJob::settle()
{
    while (queue_ && !queue_->empty() && !rep_.aborted()) passOn(true);
    if (queue_ && queue_->empty()) claimed_.clear();
}

void UnzJob::awaitClaims(const std::string& rel)
{
    if (claimed_.empty()) return;
    for (size_t k = rel.find('/'); ; k = rel.find('/', k + 1)) {
        if (claimed_.count(k == std::string::npos ? rel : rel.substr(0, k))) { settle(); return; }
        if (k == std::string::npos) return;
    }
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
    output_ = std::make_unique<EntryOutput>(*src_);
    // Signals clean up the files being written; set up once for the run.
    zipdir::ScratchScope scratchScope;
    const unsigned threads = workerCount();
    if (threads > 1 && (chosen.size() >= kParallelEntries || total >= kParallelBytes))
        queue_ = std::make_unique<ExtractQueue>(*src_, threads);
    DirectSink direct(rep_);
    for (size_t i : chosen) {
        const Entry& e = dir_.entries[i];
        if (queue_) {
            auto task = std::make_unique<EntryTask>();
            const std::unique_ptr<EntrySink> sink = queue_->recorder(*task);
            deciding_ = task.get();
            task->outcome = decide(e, i, *sink, task->work, task->hasWork);
            deciding_ = nullptr;
            if (task->outcome == Outcome::Aborted || rep_.aborted()) { aborted_ = true; break; }
            queue_->push(std::move(task));
            passOn(false);
            // Once full, down to half: one wait for a run of entries.
            while (queue_->size() > kMaxUnderWay && !rep_.aborted()) {
                queue_->awaitDone(queue_->size() - kMaxUnderWay / 2, std::chrono::milliseconds(100));
                passOn(false);
            }
        } else {
            EntryWork w;
            bool work = false;
            Outcome o = decide(e, i, direct, w, work);
            if (work && o == Outcome::Ok) o = output_->run(w, direct);
            if (o == Outcome::CrcPending) o = askCrc(w, direct);
            count(o);
        }
        if (aborted_ || rep_.aborted()) break;
    }
    settle();
    if (queue_ && (aborted_ || rep_.aborted())) {
        // What the workers finished stays; what they had not, goes.
        queue_->stop();
        while (!queue_->empty()) {
            std::unique_ptr<EntryTask> t = queue_->popFront();
            if (t->outcome == Outcome::Ok && t->hasWork) ++done_;
            if (t->outcome == Outcome::CrcPending) EntryOutput::drop(t->work);
        }
    }
    const bool aborted = aborted_ || rep_.aborted();
    if (aborted) rep_.message(QZ_ERR_ABORT, "aborted by the user");
    else done_ += makeLinks();
    rep_.end();
    if (b_->test && failed_ == 0 && done_ > 0) rep_.message(0, "No errors detected in compressed data of " + zip);
    return done_;
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
