// The interposed calls are defined here with the C library's names: the test
// program exports them (ENABLE_EXPORTS), so the dynamic linker binds every
// library of the process, modules loaded later included, to these first.
// Each finds the next definition (the C library's, or a sanitizer's
// interceptor) with dlsym(RTLD_NEXT).
#undef _FORTIFY_SOURCE
#include "FaultInjection.h"

#include <QTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr int kMaxFds = 1 << 16;
constexpr size_t kPathMax = 4096;

std::atomic<bool> g_on{false};
char g_root[kPathMax];  // written only while g_on is false
size_t g_rootLen = 0;
std::atomic<long> g_calls{0};
std::atomic<long> g_failAt{0};
std::atomic<int> g_error{0};
char g_failed[kPathMax + 32];
std::atomic<bool> g_hasFailed{false};
// Descriptors opened below the root (files and folders).
std::atomic<bool> g_fdBelow[kMaxFds];
// The counted calls, in order ("fsync /path", "rename /from -> /to").
constexpr int kLogMax = 8192;
constexpr size_t kLogLine = 1024;
char g_log[kLogMax][kLogLine];
std::atomic<int> g_logged{0};

template <typename F>
F next(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}
#define REAL(name)                                                                                                     \
    static const auto real_##name = next<decltype(&::name)>(#name);                                                   \
    if (!real_##name) {                                                                                                \
        errno = ENOSYS;                                                                                                \
        return -1;                                                                                                     \
    }

bool underRoot(const char* path)
{
    if (std::strncmp(path, g_root, g_rootLen) != 0)
        return false;
    return path[g_rootLen] == '/' || path[g_rootLen] == '\0';
}

bool fdBelow(int fd) { return fd >= 0 && fd < kMaxFds && g_fdBelow[fd].load(std::memory_order_relaxed); }

// Whether (dir, path) names something below the root.
bool below(int dir, const char* path)
{
    if (!g_on.load(std::memory_order_acquire) || !path)
        return false;
    if (path[0] == '/')
        return underRoot(path);
    if (dir != AT_FDCWD)
        return fdBelow(dir);
    char cwd[kPathMax];
    if (!::getcwd(cwd, sizeof cwd))
        return false;
    return underRoot(cwd);
}

// Counts a call below the root; true when this is the one to fail (errno set).
bool failHere(const char* what, const char* path)
{
    const long n = ++g_calls;
    const int line = g_logged++;
    if (line < kLogMax)
        std::snprintf(g_log[line], kLogLine, "%s %s", what, path ? path : "");
    static const bool trace = std::getenv("QUARN_FAULTS_TRACE") != nullptr;
    if (trace)
        std::fprintf(stderr, "fault layer: %ld %s %s\n", n, what, path ? path : "");
    if (n != g_failAt.load())
        return false;
    std::snprintf(g_failed, sizeof g_failed, "%s %s", what, path ? path : "");
    g_hasFailed = true;
    errno = g_error.load();
    return true;
}

bool failPath(const char* what, int dir, const char* path) { return below(dir, path) && failHere(what, path); }

// The path a descriptor was opened on, as the system names it ("fd N" when
// it cannot say).
void nameOf(int fd, char* name, size_t size)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, name, size - 1);
    if (n > 0)
        name[n] = '\0';
    else
        std::snprintf(name, size, "fd %d", fd);
}

bool failFd(const char* what, int fd)
{
    if (!g_on.load(std::memory_order_acquire) || !fdBelow(fd))
        return false;
    char name[kPathMax];
    nameOf(fd, name, sizeof name);
    return failHere(what, name);
}

// "from -> to" for a call that gives `to` the file at `from`; a descriptor's
// own link (/proc/self/fd/N) is named by what it opened.
bool failMove(const char* what, const char* from, const char* to)
{
    char source[kPathMax];
    int fd = -1;
    if (from && std::sscanf(from, "/proc/self/fd/%d", &fd) == 1)
        nameOf(fd, source, sizeof source);
    else
        std::snprintf(source, sizeof source, "%s", from ? from : "");
    char both[2 * kPathMax + 8];
    std::snprintf(both, sizeof both, "%s -> %s", source, to ? to : "");
    return failHere(what, both);
}

void opened(int fd, bool isBelow)
{
    if (fd >= 0 && fd < kMaxFds)
        g_fdBelow[fd].store(isBelow, std::memory_order_relaxed);
}

mode_t modeOf(int flags, va_list& args)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    REAL(open);
    const bool isBelow = below(AT_FDCWD, path);
    if (isBelow && failHere("open", path))
        return -1;
    const int fd = real_open(path, flags, mode);
    opened(fd, isBelow);
    return fd;
}

int open64(const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    REAL(open64);
    const bool isBelow = below(AT_FDCWD, path);
    if (isBelow && failHere("open", path))
        return -1;
    const int fd = real_open64(path, flags, mode);
    opened(fd, isBelow);
    return fd;
}

int openat(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    REAL(openat);
    const bool isBelow = below(dir, path);
    if (isBelow && failHere("open", path))
        return -1;
    const int fd = real_openat(dir, path, flags, mode);
    opened(fd, isBelow);
    return fd;
}

int openat64(int dir, const char* path, int flags, ...)
{
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    REAL(openat64);
    const bool isBelow = below(dir, path);
    if (isBelow && failHere("open", path))
        return -1;
    const int fd = real_openat64(dir, path, flags, mode);
    opened(fd, isBelow);
    return fd;
}

int creat(const char* path, mode_t mode) { return open(path, O_CREAT | O_WRONLY | O_TRUNC, mode); }
int creat64(const char* path, mode_t mode) { return open64(path, O_CREAT | O_WRONLY | O_TRUNC, mode); }

int close(int fd)
{
    REAL(close);
    opened(fd, false);
    return real_close(fd);
}

ssize_t write(int fd, const void* data, size_t size)
{
    REAL(write);
    return failFd("write", fd) ? -1 : real_write(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t at)
{
    REAL(pwrite);
    return failFd("write", fd) ? -1 : real_pwrite(fd, data, size, at);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t at)
{
    REAL(pwrite64);
    return failFd("write", fd) ? -1 : real_pwrite64(fd, data, size, at);
}

ssize_t writev(int fd, const struct iovec* parts, int count)
{
    REAL(writev);
    return failFd("write", fd) ? -1 : real_writev(fd, parts, count);
}

ssize_t pwritev(int fd, const struct iovec* parts, int count, off_t at)
{
    REAL(pwritev);
    return failFd("write", fd) ? -1 : real_pwritev(fd, parts, count, at);
}

int fsync(int fd)
{
    REAL(fsync);
    return failFd("fsync", fd) ? -1 : real_fsync(fd);
}

int fdatasync(int fd)
{
    REAL(fdatasync);
    return failFd("fsync", fd) ? -1 : real_fdatasync(fd);
}

int ftruncate(int fd, off_t size)
{
    REAL(ftruncate);
    return failFd("truncate", fd) ? -1 : real_ftruncate(fd, size);
}

int ftruncate64(int fd, off64_t size)
{
    REAL(ftruncate64);
    return failFd("truncate", fd) ? -1 : real_ftruncate64(fd, size);
}

int fallocate(int fd, int mode, off_t at, off_t size)
{
    REAL(fallocate);
    return failFd("fallocate", fd) ? -1 : real_fallocate(fd, mode, at, size);
}

// posix_fallocate returns the error instead of setting errno.
int posix_fallocate(int fd, off_t at, off_t size)
{
    REAL(posix_fallocate);
    return failFd("fallocate", fd) ? errno : real_posix_fallocate(fd, at, size);
}

int posix_fallocate64(int fd, off64_t at, off64_t size)
{
    REAL(posix_fallocate64);
    return failFd("fallocate", fd) ? errno : real_posix_fallocate64(fd, at, size);
}

int rename(const char* from, const char* to)
{
    REAL(rename);
    if ((below(AT_FDCWD, from) || below(AT_FDCWD, to)) && failMove("rename", from, to))
        return -1;
    return real_rename(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to)
{
    REAL(renameat);
    if ((below(fromDir, from) || below(toDir, to)) && failMove("rename", from, to))
        return -1;
    return real_renameat(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags)
{
    REAL(renameat2);
    if ((below(fromDir, from) || below(toDir, to)) && failMove("rename", from, to))
        return -1;
    return real_renameat2(fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to)
{
    REAL(link);
    return below(AT_FDCWD, to) && failMove("link", from, to) ? -1 : real_link(from, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags)
{
    REAL(linkat);
    // A descriptor linked by itself (an unnamed temporary file) is named by what it opened.
    char self[64];
    const char* source = from;
    if ((flags & AT_EMPTY_PATH) && !*from) {
        std::snprintf(self, sizeof self, "/proc/self/fd/%d", fromDir);
        source = self;
    }
    return below(toDir, to) && failMove("link", source, to) ? -1 : real_linkat(fromDir, from, toDir, to, flags);
}

int symlink(const char* target, const char* to)
{
    REAL(symlink);
    return failPath("symlink", AT_FDCWD, to) ? -1 : real_symlink(target, to);
}

int symlinkat(const char* target, int toDir, const char* to)
{
    REAL(symlinkat);
    return failPath("symlink", toDir, to) ? -1 : real_symlinkat(target, toDir, to);
}

int mkdir(const char* path, mode_t mode)
{
    REAL(mkdir);
    return failPath("mkdir", AT_FDCWD, path) ? -1 : real_mkdir(path, mode);
}

int mkdirat(int dir, const char* path, mode_t mode)
{
    REAL(mkdirat);
    return failPath("mkdir", dir, path) ? -1 : real_mkdirat(dir, path, mode);
}

int unlink(const char* path)
{
    REAL(unlink);
    return failPath("remove", AT_FDCWD, path) ? -1 : real_unlink(path);
}

int unlinkat(int dir, const char* path, int flags)
{
    REAL(unlinkat);
    return failPath("remove", dir, path) ? -1 : real_unlinkat(dir, path, flags);
}

int rmdir(const char* path)
{
    REAL(rmdir);
    return failPath("remove", AT_FDCWD, path) ? -1 : real_rmdir(path);
}

int remove(const char* path)
{
    REAL(remove);
    return failPath("remove", AT_FDCWD, path) ? -1 : real_remove(path);
}

// The temporary files the C library makes from a template.
#define QUARN_FAULTS_MKSTEMP(name, params, args)                                                                       \
    int name params                                                                                                    \
    {                                                                                                                  \
        REAL(name);                                                                                                    \
        const bool isBelow = below(AT_FDCWD, tmpl);                                                                    \
        if (isBelow && failHere("open", tmpl))                                                                         \
            return -1;                                                                                                 \
        const int fd = real_##name args;                                                                               \
        opened(fd, isBelow);                                                                                           \
        return fd;                                                                                                     \
    }
QUARN_FAULTS_MKSTEMP(mkstemp, (char* tmpl), (tmpl))
QUARN_FAULTS_MKSTEMP(mkstemp64, (char* tmpl), (tmpl))
QUARN_FAULTS_MKSTEMP(mkostemp, (char* tmpl, int flags), (tmpl, flags))
QUARN_FAULTS_MKSTEMP(mkostemp64, (char* tmpl, int flags), (tmpl, flags))
QUARN_FAULTS_MKSTEMP(mkstemps, (char* tmpl, int suffix), (tmpl, suffix))
QUARN_FAULTS_MKSTEMP(mkstemps64, (char* tmpl, int suffix), (tmpl, suffix))
QUARN_FAULTS_MKSTEMP(mkostemps, (char* tmpl, int suffix, int flags), (tmpl, suffix, flags))
QUARN_FAULTS_MKSTEMP(mkostemps64, (char* tmpl, int suffix, int flags), (tmpl, suffix, flags))
#undef QUARN_FAULTS_MKSTEMP

// Copies between descriptors write too (QFile::copy uses them).
ssize_t sendfile(int out, int in, off_t* at, size_t count)
{
    REAL(sendfile);
    return failFd("write", out) ? -1 : real_sendfile(out, in, at, count);
}

ssize_t sendfile64(int out, int in, off64_t* at, size_t count)
{
    REAL(sendfile64);
    return failFd("write", out) ? -1 : real_sendfile64(out, in, at, count);
}

ssize_t copy_file_range(int in, off64_t* inAt, int out, off64_t* outAt, size_t count, unsigned flags)
{
    REAL(copy_file_range);
    return failFd("write", out) ? -1 : real_copy_file_range(in, inAt, out, outAt, count, flags);
}

// A copy of a descriptor below the folder is below it too (folders are
// walked through copies, files written through them).
int dup(int fd)
{
    REAL(dup);
    const int copy = real_dup(fd);
    opened(copy, fdBelow(fd));
    return copy;
}

int dup2(int fd, int to)
{
    REAL(dup2);
    const int copy = real_dup2(fd, to);
    opened(copy, fdBelow(fd));
    return copy;
}

int dup3(int fd, int to, int flags)
{
    REAL(dup3);
    const int copy = real_dup3(fd, to, flags);
    opened(copy, fdBelow(fd));
    return copy;
}

#define QUARN_FAULTS_FCNTL(name)                                                                                       \
    int name(int fd, int cmd, ...)                                                                                     \
    {                                                                                                                  \
        va_list args;                                                                                                  \
        va_start(args, cmd);                                                                                           \
        void* arg = va_arg(args, void*);                                                                               \
        va_end(args);                                                                                                  \
        REAL(name);                                                                                                    \
        const int r = real_##name(fd, cmd, arg);                                                                       \
        if (cmd == F_DUPFD || cmd == F_DUPFD_CLOEXEC)                                                                  \
            opened(r, fdBelow(fd));                                                                                    \
        return r;                                                                                                      \
    }
QUARN_FAULTS_FCNTL(fcntl)
QUARN_FAULTS_FCNTL(fcntl64)
#undef QUARN_FAULTS_FCNTL

} // extern "C"

namespace faults {

namespace {
QStringList g_firstRun;
}

QStringList firstRun() { return g_firstRun; }

void watch(const QString& folder)
{
    g_on = false;
    const QByteArray root = QDir::cleanPath(folder).toLocal8Bit();
    g_rootLen = std::min<size_t>(size_t(root.size()), kPathMax - 1);
    std::memcpy(g_root, root.constData(), g_rootLen);
    g_root[g_rootLen] = '\0';
    g_calls = 0;
    g_logged = 0;
    g_failAt = 0;
    g_hasFailed = false;
    g_on.store(true, std::memory_order_release);
}

void failAt(long n, int error)
{
    g_error = error;
    g_calls = 0;
    g_logged = 0;
    g_hasFailed = false;
    g_failAt = n;
}

void stop()
{
    g_on = false;
    g_failAt = 0;
}

long calls() { return g_calls.load(); }

QStringList log()
{
    QStringList lines;
    const int n = std::min(g_logged.load(), kLogMax);
    for (int i = 0; i < n; ++i)
        lines << QString::fromLocal8Bit(g_log[i]);
    return lines;
}

bool syncedBeforePlaced(const QStringList& calls, const QString& target)
{
    // Back from the last call that gave `target` its file, through the names
    // that file had before (a link made for it, then renamed), to a sync of it.
    QString name = target;
    qsizetype end = calls.size();
    for (;;) {
        qsizetype placed = -1;
        QString from;
        for (qsizetype i = end - 1; i >= 0 && placed < 0; --i) {
            const QString& c = calls[i];
            const QString tail = QStringLiteral(" -> ") + name;
            if ((c.startsWith(QLatin1String("rename ")) || c.startsWith(QLatin1String("link "))) && c.endsWith(tail)) {
                placed = i;
                from = c.mid(c.indexOf(QLatin1Char(' ')) + 1);
                from.chop(tail.size());
            }
        }
        if (placed < 0)
            return false;
        for (qsizetype i = 0; i < placed; ++i)
            if (calls[i] == QStringLiteral("fsync ") + from)
                return true;
        name = from;
        end = placed;
    }
}

QString failed() { return g_hasFailed ? QString::fromLocal8Bit(g_failed) : QString(); }

int errorFor(long n)
{
    static const int errors[] = {ENOSPC, EIO, EACCES};
    return errors[size_t(n) % 3];
}

long everyCall(const QString& folder, const std::function<void()>& reset, const std::function<void()>& operation,
               const std::function<void(long n)>& check)
{
    reset();
    watch(folder);
    operation();
    const long total = calls();
    stop();
    g_firstRun = log();
    for (long n = 1; n <= total && !QTest::currentTestFailed(); ++n) {
        reset();
        watch(folder);
        failAt(n, errorFor(n));
        operation();
        stop();
        check(n);
    }
    return total;
}

} // namespace faults
