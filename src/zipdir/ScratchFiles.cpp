#include "zipdir/ScratchFiles.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <vector>
#include <csignal>
#include <cstring>
#include <mutex>
#include <unistd.h>

namespace zipdir {

namespace {

constexpr int kSlots = 16;
constexpr size_t kPathMax = 4096;
// Paths are written before their flag is raised and read by the handler only
// under a raised flag, so the handler never sees half a path.
char g_paths[kSlots][kPathMax];
std::atomic<bool> g_used[kSlots];

constexpr int kCleanSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction g_previous[sizeof kCleanSignals / sizeof kCleanSignals[0]];
struct sigaction g_previousXfsz;
std::mutex g_mutex;
int g_active = 0;

void onSignal(int sig)
{
    for (int i = 0; i < kSlots; ++i)
        if (g_used[i].load())
            ::unlink(g_paths[i]);
    // Then the signal's earlier handling, which may be another such cleaner.
    for (size_t k = 0; k < sizeof kCleanSignals / sizeof kCleanSignals[0]; ++k)
        if (kCleanSignals[k] == sig)
            ::sigaction(sig, &g_previous[k], nullptr);
    ::raise(sig);
}

void install()
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    for (size_t k = 0; k < sizeof kCleanSignals / sizeof kCleanSignals[0]; ++k) {
        ::sigaction(kCleanSignals[k], nullptr, &g_previous[k]);
        // A signal the process ignores stays ignored.
        if (g_previous[k].sa_handler != SIG_IGN)
            ::sigaction(kCleanSignals[k], &sa, nullptr);
    }
    struct sigaction ignore;
    std::memset(&ignore, 0, sizeof ignore);
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &g_previousXfsz);
}

void restore()
{
    for (size_t k = 0; k < sizeof kCleanSignals / sizeof kCleanSignals[0]; ++k)
        if (g_previous[k].sa_handler != SIG_IGN)
            ::sigaction(kCleanSignals[k], &g_previous[k], nullptr);
    ::sigaction(SIGXFSZ, &g_previousXfsz, nullptr);
}

} // namespace

ScratchFile::ScratchFile(const std::string& path)
{
    if (path.empty() || path.size() >= kPathMax)
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    for (int i = 0; i < kSlots; ++i) {
        if (g_used[i].load())
            continue;
        std::memcpy(g_paths[i], path.c_str(), path.size() + 1);
        g_used[i].store(true);
        slot_ = i;
        break;
    }
    if (slot_ >= 0 && g_active++ == 0)
        install();
}

ScratchFile::~ScratchFile() { Release(); }

ScratchScope::ScratchScope()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (g_active++ == 0)
        install();
}

ScratchScope::~ScratchScope()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (--g_active == 0)
        restore();
}

void ScratchFile::Release()
{
    if (slot_ < 0)
        return;
    std::lock_guard<std::mutex> lock(g_mutex);
    g_used[slot_].store(false);
    slot_ = -1;
    if (--g_active == 0)
        restore();
}

namespace {

std::string errorText(int e) { return std::strerror(e); }

// Copies all of `in` (from its start) over `out` (from its start) and cuts
// `out` to that length. False on a failed read or write (errno kept).
bool copyOver(int in, int out, off_t& copied)
{
    std::vector<char> buf(1 << 18);
    copied = 0;
    for (;;) {
        const ssize_t r = ::pread(in, buf.data(), buf.size(), copied);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return false;
        if (r == 0)
            break;
        for (ssize_t done = 0; done < r;) {
            const ssize_t w = ::pwrite(out, buf.data() + done, size_t(r - done), copied + done);
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return false;
            done += w;
        }
        copied += r;
    }
    return ::ftruncate(out, copied) == 0;
}

// Writes the content of `from` over `to` itself. Its old content is kept in
// a copy beside it first, and put back when the writing fails part-way, so
// a failure leaves `to` as it was.
bool overwrite(const std::string& from, const std::string& to, std::string& why)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_RDWR | O_CLOEXEC);
    std::string backup = to + ".qzold-XXXXXX";
    int old = -1;
    struct stat st;
    bool ok = in >= 0 && out >= 0 && ::fstat(in, &st) == 0;
    if (!ok)
        why = "cannot rewrite " + to + ": " + errorText(errno);
    if (ok) {
        old = ::mkstemp(backup.data());
        off_t kept = 0;
        ok = old >= 0 && copyOver(out, old, kept) && ::fsync(old) == 0;
        if (!ok) {
            why = "no room to keep a copy of " + to + " while it is rewritten: " + errorText(errno);
            if (old >= 0) {
                const int saved = errno;
                ::close(old);
                old = -1;
                RemoveScratchFile(backup);
                errno = saved;
            }
        }
    }
    if (ok && st.st_size > 0) {
        const int rc = ::posix_fallocate(out, 0, st.st_size);
        if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) {
            why = "no room to rewrite " + to + ": " + errorText(rc);
            errno = rc;
            ok = false;
        }
    }
    off_t copied = 0;
    bool touched = false;
    if (ok) {
        touched = true;
        ok = copyOver(in, out, copied) && ::fsync(out) == 0;
        if (!ok)
            why = "write error rewriting " + to + ": " + errorText(errno);
    }
    const int saved = errno;
    // The old content back in place; the room it needs was its own.
    if (!ok && touched && old >= 0) {
        off_t back = 0;
        if (!copyOver(old, out, back) || ::fsync(out) != 0)
            why += "; its old content could not be put back (a copy is kept in " + backup + ")";
        else
            touched = false;
    }
    if (in >= 0)
        ::close(in);
    // Synced already: what close() might say changes nothing on disk.
    if (out >= 0)
        ::close(out);
    if (old >= 0) {
        ::close(old);
        if (!touched || ok)
            RemoveScratchFile(backup);
    }
    errno = ok ? 0 : saved;
    return ok;
}

} // namespace

void RemoveScratchFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        ::unlink(path.c_str());
}

bool SyncFile(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    errno = synced ? 0 : error;
    return synced;
}

void SyncFolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool ReplaceFile(const std::string& from, const std::string& to, std::string& why, bool* synced)
{
    if (synced)
        *synced = true;
    struct stat st;
    if (::stat(to.c_str(), &st) == 0 && st.st_nlink > 1) {
        if (!overwrite(from, to, why))
            return false;
        RemoveScratchFile(from);
        return true;
    }
    // On disk before it takes the name: after a crash the name holds the
    // old file or the whole new one, never an empty or partial one.
    if (!SyncFile(from)) {
        const int error = errno;
        why = "cannot write " + to + " to disk: " + errorText(error);
        if (synced)
            *synced = false;
        errno = error;
        return false;
    }
    if (::rename(from.c_str(), to.c_str()) == 0) {
        SyncFolderOf(to);
        return true;
    }
    const int error = errno;
    why = "cannot replace " + to + ": " + errorText(error);
    errno = error;
    return false;
}

} // namespace zipdir
