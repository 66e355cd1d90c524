#pragma once
// Failing file operations on purpose. Linked into a test program, this layer
// sits between every writer of the process (ours, the loaded modules, Qt's
// QFile and QSaveFile, libarchive) and the C library: the calls that open,
// write, sync, truncate, rename, link, make or remove something below a
// watched folder are counted, and the N-th of them can be made to fail with
// a chosen errno. Calls elsewhere pass straight through, so the test's
// settings, scratch and peers are untouched.
//
// The counted calls: open/openat/creat (any mode), mkstemp and its kin,
// write/pwrite/writev, sendfile/copy_file_range (as writes),
// fsync/fdatasync, ftruncate/fallocate/posix_fallocate, rename/renameat/
// renameat2, link/linkat, symlink/symlinkat, mkdir/mkdirat, unlink/unlinkat/
// rmdir/remove. A write counts when its descriptor was opened below the
// folder (or is a copy of one: dup, dup2, dup3, fcntl F_DUPFD).

#include <QString>
#include <QStringList>
#include <functional>

namespace faults {

// Starts counting calls below `folder` (absolute) from zero, failing none.
void watch(const QString& folder);
// From now on the `n`-th counted call (1-based) fails with `error`; the
// others pass.
void failAt(long n, int error);
// Stops counting and failing.
void stop();
// Counted calls since watch() or failAt().
long calls();
// The call that was failed ("rename /from -> /to", "fsync /path"), or empty
// when none was.
QString failed();
// The counted calls since watch() or failAt(), in order, named as failed()
// names them (calls on a descriptor by the path it was opened on).
QStringList log();
// Whether, in `calls` (a log()), the file that was last given the name
// `target` (by a rename or a link, following the names it had before) was
// synced to disk before it took it.
bool syncedBeforePlaced(const QStringList& calls, const QString& target);

// The errno a test uses for the n-th call: ENOSPC, EIO and EACCES in turn.
int errorFor(long n);

// Runs `operation` once to count its calls below `folder`, then once for
// each N up to that count with the N-th call failing. `reset` puts the
// folder back before each run; `check(n)` tests what the failed run left
// (QVERIFY inside it ends the loop: the caller checks QTest::currentTestFailed()).
// Returns the count.
long everyCall(const QString& folder, const std::function<void()>& reset, const std::function<void()>& operation,
               const std::function<void(long n)>& check);
// The calls (a log()) of the last everyCall's first run, the one that failed none.
QStringList firstRun();

} // namespace faults
