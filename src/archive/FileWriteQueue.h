#pragma once
// Files whose data is already in memory, written on worker threads: each
// under a temporary name in its folder, with its mode and time, then renamed
// over its name. Creating files is what an extraction of many small files
// spends its time on (in the kernel), so spreading it over the cores is
// what makes such a run faster. The calling thread hands the files over in
// order and takes their outcomes back in the same order; at most a bounded
// number of files and bytes is held.

#include "SafeDir.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

class FileWriteQueue {
public:
    struct File {
        std::shared_ptr<qz::OpenFolder> folder;
        std::string leaf;
        QString rel; // the caller's name for it
        QByteArray data;
        mode_t mode = 0600; // within the umask
        qint64 mtime = -1;  // seconds; -1 leaves the time of writing

        // The outcome: Written, or the step that failed with its errno.
        enum class Step { Pending, Written, Create, Write, Rename } step = Step::Pending;
        int error = 0;
        bool done = false;    // guarded by the queue
        bool awaited = false; // the calling thread waits for it (settle)
        qint64 held = 0;   // the data's size while queued
    };

    // How many files a run may hold before it waits for the oldest.
    static constexpr size_t MaxFiles = 64;
    static constexpr qint64 MaxBytes = 32 << 20;
    // Files larger than this are written by the caller, streaming.
    static constexpr qint64 MaxFileSize = 4 << 20;
    // Idle workers are woken once this many files or bytes wait.
    static constexpr size_t WakeFiles = 8;
    static constexpr qint64 WakeBytes = 1 << 20;

    explicit FileWriteQueue(unsigned threads);
    // Writes what is queued, then ends the workers.
    ~FileWriteQueue();
    FileWriteQueue(const FileWriteQueue&) = delete;
    FileWriteQueue& operator=(const FileWriteQueue&) = delete;

    // The workers to use: one per core (at most four), or
    // QUARN_EXTRACT_THREADS; below 2 the caller writes every file itself.
    static unsigned threadsWanted();

    void push(std::unique_ptr<File> file);
    // Waits until the oldest files are written (or failed): every one
    // (`all`), or, when the queue holds as much as it may, as many as leave
    // it half full. One wake-up for the lot, not one for each file.
    void settle(bool all);
    // The oldest file once finished; null when none is queued or the oldest
    // is not finished.
    std::unique_ptr<File> takeOldest();
    bool empty() const { return files_.empty(); }

    // Writes one file on the calling thread (the workers' job).
    static void write(File& f);

private:
    void work();

    mutable std::mutex mutex_;
    std::condition_variable wake_, finished_;
    std::deque<std::unique_ptr<File>> files_; // in order; the calling thread's
    std::deque<File*> waiting_;               // not started yet
    qint64 bytes_ = 0;                        // data held by files_
    qint64 waitingBytes_ = 0;                 // data held by waiting_
    size_t awaitedLeft_ = 0;                  // awaited files not finished yet
    bool closing_ = false;
    std::vector<std::thread> threads_;
};
