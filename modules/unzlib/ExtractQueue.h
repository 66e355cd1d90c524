// Extraction on every core: the calling thread decides each entry in order
// (names, replace and password questions), and hands the decided ones here;
// worker threads read, decode and write them, recording what each has to say,
// and the calling thread passes that on in the entries' order. At most a
// bounded number of entries is under way at once.
#pragma once

#include "EntryOutput.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace qz {

// A callback to pass on: QZ_CB_BYTES carries `bytes`, the others their fields.
struct EntryEvent {
    int code;
    int32_t err, size;
    int64_t bytes;
    std::string text;
};

struct EntryTask {
    // The work left once the entry is decided; none for an entry that was
    // skipped or settled while being decided.
    bool hasWork = false;
    EntryWork work;
    // The entry's callbacks so far, and how many of them were passed on.
    std::vector<EntryEvent> events;
    size_t passed = 0;
    bool done = false;
    bool awaited = false; // the calling thread waits for it (ExtractQueue::awaitDone)
    Outcome outcome = Outcome::Ok;
};

class ExtractQueue {
public:
    ExtractQueue(const zipdir::Source& zip, unsigned threads);
    ~ExtractQueue();
    ExtractQueue(const ExtractQueue&) = delete;
    ExtractQueue& operator=(const ExtractQueue&) = delete;

    // A sink that records into `task`; usable before and after `push`.
    std::unique_ptr<EntrySink> recorder(EntryTask& task);
    // Queues a task; its work starts on a free worker (idle workers are woken
    // once a few tasks wait, by take() with a wait, or by wake()). A task
    // without work is done already.
    void push(std::unique_ptr<EntryTask> task);
    void wake();
    size_t size() const { return tasks_.size(); }
    bool empty() const { return tasks_.empty(); }
    // The oldest task's events not passed on yet; waits up to `wait` for one
    // or for the task to finish. True when the task is finished (its events
    // all taken): `front` then hands it over.
    bool take(std::vector<EntryEvent>& events, std::chrono::milliseconds wait);
    std::unique_ptr<EntryTask> popFront();
    // Waits up to `wait` until the oldest `n` tasks are all finished: one
    // wake-up for the lot, not one for each.
    void awaitDone(size_t n, std::chrono::milliseconds wait);
    // Work not started is dropped (Aborted), and work under way stops at its
    // next chunk; waits until no worker holds a task.
    void stop();

private:
    class Recorder;
    void work(EntryOutput& out);

    mutable std::mutex mutex_;
    std::condition_variable wake_, progress_;
    std::deque<std::unique_ptr<EntryTask>> tasks_;  // in order; touched by the calling thread only
    std::deque<EntryTask*> waiting_;                // work not yet started
    uint64_t waitingBytes_ = 0;                     // their compressed sizes
    static constexpr size_t kWakeEntries = 8;
    static constexpr uint64_t kWakeBytes = 1 << 20;
    std::atomic<bool> stop_{false};
    bool closing_ = false;
    size_t busy_ = 0;
    size_t awaitedLeft_ = 0; // awaited tasks not finished yet
    const zipdir::Source& zip_;
    std::vector<std::thread> threads_;
};

} // namespace qz
