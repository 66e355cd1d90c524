// Walks paths below one base folder a component at a time without ever
// following a symbolic link, so that nothing is created, written or removed
// outside the base, whatever links the folder already holds. Plain POSIX: the
// extraction module and the program's archive layer share it.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

namespace qz {

// A folder of the destination, held open while files are written into it
// (by other threads too); closed with the last holder.
struct OpenFolder {
    explicit OpenFolder(int f) : fd(f) {}
    ~OpenFolder();
    OpenFolder(const OpenFolder&) = delete;
    OpenFolder& operator=(const OpenFolder&) = delete;
    const int fd;
};

class SafeDir {
public:
    // Opens `base` (made when `create` and missing). The base itself is the
    // caller's choice and may be reached through links; nothing below it is.
    SafeDir(const std::string& base, bool create);
    ~SafeDir();
    SafeDir(const SafeDir&) = delete;
    SafeDir& operator=(const SafeDir&) = delete;

    // 0 when the base is open, else the errno of the failure.
    int error() const { return error_; }
    const std::string& base() const { return base_; }

    // The folder `rel` ("a/b/c", "" for the base), each part opened with
    // O_NOFOLLOW|O_DIRECTORY and, when `create`, made when missing. The
    // descriptor stays owned here and is valid until the next call. -1 with
    // errno set when a part is a link (ELOOP), not a folder (ENOTDIR), missing
    // (ENOENT) or cannot be made. The last folder is remembered, so a run of
    // names in one folder, or below it, does not walk again from the base.
    int folder(const std::string& rel, bool create);

    // A new empty file in the folder `dirFd`, opened for writing with `mode`
    // (within the umask); its name is returned in `tempName`. -1 on failure.
    static int createTemp(int dirFd, std::string& tempName, mode_t mode = 0600);
    // Makes something new (a link to be renamed over its target) in a folder
    // with `make(name)`, which returns 0 or -1 with errno set; a name already
    // taken is tried again with another. The name used is returned in
    // `name`. False, errno set, on failure: nothing is left behind.
    static bool makeFreeName(std::string& name, const std::function<int(const char*)>& make);
    // Splits "a/b/c" into "a/b" and "c" ("" and "c" for a plain name).
    static void split(const std::string& rel, std::string& parent, std::string& leaf);

    // The rule for a symbolic link to be made at `rel` (below the base) with
    // the stored `target`: the target, resolved as text from the link's
    // folder, must stay inside the base and pass through no link, where
    // `isLink(path)` says whether the path below the base is a link or is
    // to become one in this run. Null when the link may be made, else why
    // not ("lies outside the folder", "passes through another link").
    static const char* linkRefusal(const std::string& rel, const std::string& target,
                                   const std::function<bool(const std::string&)>& isLink);

private:
    int walk(int from, const std::string& rest, bool create);
    std::string base_;
    int baseFd_ = -1;
    int error_ = 0;
    std::string cachedRel_;
    int cachedFd_ = -1;
};

} // namespace qz
