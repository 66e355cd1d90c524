// Linked into every executable of the ThreadSanitizer build only.
//
// QProcess starts a program with clone(CLONE_VM | CLONE_VFORK): the child
// runs in the parent's memory until it execs. ThreadSanitizer's clone()
// interceptor does its after-fork bookkeeping in that child, so it rewrites
// the parent's own thread state, and the parent then aborts with
// "CHECK failed ... ForkAfter" (or "thr->slot") as soon as a test starts a
// peer tool or the picture decoder. Without those two flags the call is an
// ordinary fork, which ThreadSanitizer handles; it turns vfork() into fork()
// the same way. Qt reports a failed exec through a pipe, not through the
// shared memory, so nothing else changes for the caller.
#define _GNU_SOURCE
#include <sched.h>
#include <stdarg.h>
#include <sys/types.h>

// The sanitizer's own clone(); ours below takes the place of its weak alias.
int __interceptor_clone(int (*fn)(void*), void* stack, int flags, void* arg, pid_t* parentTid, void* tls,
                        pid_t* childTid);

int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...)
{
    va_list rest;
    va_start(rest, arg);
    pid_t* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    pid_t* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    const int vforkFlags = CLONE_VM | CLONE_VFORK;
    if ((flags & vforkFlags) == vforkFlags && !(flags & CLONE_THREAD))
        flags &= ~vforkFlags;
    return __interceptor_clone(fn, stack, flags, arg, parentTid, tls, childTid);
}
