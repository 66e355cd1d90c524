#include "SafeDir.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

int openFolderAt(int dirFd, const char* name)
{
    return ::openat(dirFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Makes every missing folder of an absolute or relative `path`, following the
// links of the caller's own path as the shell would.
bool makePath(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        const std::string part = path.substr(0, pos);
        if (part.empty())
            continue;
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST)
            return false;
    }
    return ::stat(path.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || (errno = ENOTDIR, false));
}

// A name no one else uses by chance: ".quarn-" and ten random letters and digits.
std::string randomName()
{
    static thread_local std::mt19937_64 rng{std::random_device{}()};
    static const char digits[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string name = ".quarn-";
    for (int i = 0; i < 10; ++i)
        name += digits[rng() % 36];
    return name;
}

} // namespace

SafeDir::SafeDir(const std::string& base, bool create) : base_(base.empty() ? std::string(".") : base)
{
    if (create && !makePath(base_)) {
        error_ = errno ? errno : ENOENT;
        return;
    }
    baseFd_ = ::open(base_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (baseFd_ < 0)
        error_ = errno;
}

SafeDir::~SafeDir()
{
    if (cachedFd_ >= 0)
        ::close(cachedFd_);
    if (baseFd_ >= 0)
        ::close(baseFd_);
}

void SafeDir::split(const std::string& rel, std::string& parent, std::string& leaf)
{
    const size_t k = rel.rfind('/');
    if (k == std::string::npos) {
        parent.clear();
        leaf = rel;
    } else {
        parent = rel.substr(0, k);
        leaf = rel.substr(k + 1);
    }
}

// Walks `rest` from the folder `from` (not closed here); returns a new
// descriptor of the last folder, or -1.
int SafeDir::walk(int from, const std::string& rest, bool create)
{
    int fd = ::dup(from);
    if (fd < 0)
        return -1;
    size_t pos = 0;
    while (pos < rest.size()) {
        size_t next = rest.find('/', pos);
        if (next == std::string::npos)
            next = rest.size();
        const std::string part = rest.substr(pos, next - pos);
        pos = next + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            ::close(fd);
            errno = EACCES;
            return -1;
        }
        int child = openFolderAt(fd, part.c_str());
        if (child < 0 && errno == ENOENT && create) {
            if (::mkdirat(fd, part.c_str(), 0777) == 0 || errno == EEXIST)
                child = openFolderAt(fd, part.c_str());
        }
        const int saved = errno;
        ::close(fd);
        if (child < 0) {
            // O_NOFOLLOW on a link gives ELOOP; a plain file gives ENOTDIR.
            errno = saved;
            return -1;
        }
        fd = child;
    }
    return fd;
}

OpenFolder::~OpenFolder()
{
    if (fd >= 0)
        ::close(fd);
}

int SafeDir::folder(const std::string& rel, bool create)
{
    if (baseFd_ < 0) {
        errno = error_;
        return -1;
    }
    if (cachedFd_ >= 0 && rel == cachedRel_)
        return cachedFd_;
    int fd;
    if (cachedFd_ >= 0 && !cachedRel_.empty() && rel.size() > cachedRel_.size()
        && rel.compare(0, cachedRel_.size(), cachedRel_) == 0 && rel[cachedRel_.size()] == '/')
        fd = walk(cachedFd_, rel.substr(cachedRel_.size() + 1), create);
    else
        fd = walk(baseFd_, rel, create);
    if (fd < 0)
        return -1;
    if (cachedFd_ >= 0)
        ::close(cachedFd_);
    cachedFd_ = fd;
    cachedRel_ = rel;
    return fd;
}

bool SafeDir::makeFreeName(std::string& name, const std::function<int(const char*)>& make)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = randomName();
        if (make(candidate.c_str()) == 0) {
            name = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

const char* SafeDir::linkRefusal(const std::string& rel, const std::string& target,
                                 const std::function<bool(const std::string&)>& isLink)
{
    static const char* const outside = "lies outside the folder";
    if (target.empty() || target[0] == '/')
        return outside;
    std::string at, leaf;
    split(rel, at, leaf);
    size_t pos = 0;
    while (pos <= target.size()) {
        size_t next = target.find('/', pos);
        if (next == std::string::npos)
            next = target.size();
        const std::string part = target.substr(pos, next - pos);
        const bool last = next >= target.size();
        pos = next + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (at.empty())
                return outside;
            const size_t slash = at.rfind('/');
            at.erase(slash == std::string::npos ? 0 : slash);
            continue;
        }
        at = at.empty() ? part : at + '/' + part;
        // Only the last part may be a link: the link then points at a link
        // that was checked itself.
        if (!last && isLink(at))
            return "passes through another link";
    }
    return nullptr;
}

int SafeDir::createTemp(int dirFd, std::string& tempName, mode_t mode)
{
    int fd = -1;
    makeFreeName(tempName, [&](const char* name) {
        fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        return fd < 0 ? -1 : 0;
    });
    return fd;
}

} // namespace qz
