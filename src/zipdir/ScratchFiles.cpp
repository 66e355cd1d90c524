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

bool overwrite(const std::string& from, const std::string& to, std::string& why)
{
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(to.c_str(), O_WRONLY | O_CLOEXEC);
    struct stat st;
    bool ok = in >= 0 && out >= 0 && ::fstat(in, &st) == 0;
    if (!ok)
        why = "cannot rewrite " + to + ": " + errorText(errno);
    if (ok && st.st_size > 0) {
        const int rc = ::posix_fallocate(out, 0, st.st_size);
        if (rc != 0 && rc != EOPNOTSUPP && rc != EINVAL) {
            why = "no room to rewrite " + to + ": " + errorText(rc);
            errno = rc;
            ok = false;
        }
    }
    std::vector<char> buf(1 << 18);
    off_t pos = 0;
    while (ok) {
        const ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            ok = r == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < r;) {
            const ssize_t w = ::pwrite(out, buf.data() + done, size_t(r - done), pos + done);
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            done += w;
        }
        pos += r;
    }
    if (ok && (::ftruncate(out, pos) != 0 || ::fsync(out) != 0))
        ok = false;
    if (!ok && why.empty())
        why = "write error rewriting " + to + ": " + errorText(errno);
    const int saved = errno;
    if (in >= 0)
        ::close(in);
    if (out >= 0 && ::close(out) != 0 && ok) {
        why = "write error rewriting " + to + ": " + errorText(errno);
        ok = false;
    }
    errno = saved;
    return ok;
}

} // namespace

bool ReplaceFile(const std::string& from, const std::string& to, std::string& why)
{
    struct stat st;
    if (::stat(to.c_str(), &st) == 0 && st.st_nlink > 1) {
        if (!overwrite(from, to, why))
            return false;
        ::unlink(from.c_str());
        return true;
    }
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    why = "cannot replace " + to + ": " + errorText(errno);
    return false;
}

} // namespace zipdir
