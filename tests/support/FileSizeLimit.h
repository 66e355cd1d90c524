#pragma once
// Simulating a full disk: while a limit is set no file of this process may
// grow past it, and writes past it fail (EFBIG) as on a full disk.

#include <csignal>
#include <sys/resource.h>

// Runs `f` while no file may grow past `bytes`. False when the limit cannot be set.
template <typename F>
bool WithFileSizeLimit(rlim_t bytes, F f)
{
    struct rlimit old;
    if (::getrlimit(RLIMIT_FSIZE, &old) != 0)
        return false;
    struct rlimit small = old;
    small.rlim_cur = bytes;
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (::setrlimit(RLIMIT_FSIZE, &small) != 0) {
        std::signal(SIGXFSZ, oldHandler);
        return false;
    }
    f();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    return true;
}
