#include "ExtractQueue.h"

#include <algorithm>
#include <new>

namespace qz {

class ExtractQueue::Recorder : public EntrySink {
public:
    Recorder(ExtractQueue& q, EntryTask& t) : q_(q), t_(t) {}
    bool bytes(int64_t n) override
    {
        // A small entry's progress comes with its end; a large one's is
        // passed on as it goes.
        add(EntryEvent{QZ_CB_BYTES, 0, 0, n, std::string()}, t_.work.entry && t_.work.entry->compressedSize > kLargeEntry);
        return q_.stop_.load(std::memory_order_relaxed);
    }
    void call(int code, int32_t err, int32_t size, const std::string& text) override
    {
        add(EntryEvent{code, err, size, 0, text});
    }

private:
    void add(EntryEvent&& e, bool wake = true)
    {
        {
            std::lock_guard<std::mutex> lock(q_.mutex_);
            t_.events.push_back(std::move(e));
        }
        if (wake)
            q_.progress_.notify_one();
    }
    static constexpr uint64_t kLargeEntry = 1 << 20;
    ExtractQueue& q_;
    EntryTask& t_;
};

ExtractQueue::ExtractQueue(const zipdir::Source& zip, unsigned threads) : zip_(zip)
{
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this] {
            EntryOutput out(zip_);
            work(out);
        });
}

ExtractQueue::~ExtractQueue()
{
    stop();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

std::unique_ptr<EntrySink> ExtractQueue::recorder(EntryTask& task) { return std::make_unique<Recorder>(*this, task); }

void ExtractQueue::push(std::unique_ptr<EntryTask> task)
{
    EntryTask* t = task.get();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
        if (!t->hasWork) {
            t->done = true;
            return;
        }
        waiting_.push_back(t);
        // Idle workers are woken for a batch, not for every small entry.
        waitingBytes_ += t->work.entry->compressedSize;
        if (waiting_.size() < kWakeEntries && waitingBytes_ < kWakeBytes)
            return;
    }
    wake_.notify_all();
}

void ExtractQueue::wake()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (waiting_.empty())
            return;
    }
    wake_.notify_all();
}

void ExtractQueue::work(EntryOutput& out)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return closing_ || !waiting_.empty(); });
        if (waiting_.empty())
            return;
        EntryTask* t = waiting_.front();
        waiting_.pop_front();
        waitingBytes_ -= t->work.entry->compressedSize;
        ++busy_;
        lock.unlock();
        Recorder sink(*this, *t);
        Outcome o = Outcome::Aborted;
        if (!stop_.load()) {
            try {
                o = out.run(t->work, sink);
            } catch (const std::bad_alloc&) {
                sink.message(QZ_ERR_MEMORY, "out of memory");
                EntryOutput::drop(t->work);
                o = Outcome::Failed;
            }
        }
        lock.lock();
        t->outcome = o;
        t->done = true;
        --busy_;
        if (!t->awaited || --awaitedLeft_ == 0)
            progress_.notify_all();
    }
}

bool ExtractQueue::take(std::vector<EntryEvent>& events, std::chrono::milliseconds wait)
{
    events.clear();
    if (tasks_.empty())
        return false;
    EntryTask& t = *tasks_.front();
    std::unique_lock<std::mutex> lock(mutex_);
    if (wait.count() > 0 && !t.done && t.events.size() == t.passed) {
        if (!waiting_.empty())
            wake_.notify_all();
        progress_.wait_for(lock, wait, [&] { return t.done || t.events.size() > t.passed; });
    }
    events.assign(std::make_move_iterator(t.events.begin() + std::ptrdiff_t(t.passed)),
                  std::make_move_iterator(t.events.end()));
    t.passed = t.events.size();
    return t.done;
}

void ExtractQueue::awaitDone(size_t n, std::chrono::milliseconds wait)
{
    n = std::min(n, tasks_.size());
    std::unique_lock<std::mutex> lock(mutex_);
    awaitedLeft_ = 0;
    for (size_t i = 0; i < n; ++i)
        if (!tasks_[i]->done) {
            tasks_[i]->awaited = true;
            ++awaitedLeft_;
        }
    if (awaitedLeft_ > 0) {
        if (!waiting_.empty())
            wake_.notify_all();
        progress_.wait_for(lock, wait, [&] { return awaitedLeft_ == 0; });
    }
    for (size_t i = 0; i < n; ++i)
        tasks_[i]->awaited = false;
    awaitedLeft_ = 0;
}

std::unique_ptr<EntryTask> ExtractQueue::popFront()
{
    std::unique_ptr<EntryTask> t = std::move(tasks_.front());
    tasks_.pop_front();
    return t;
}

void ExtractQueue::stop()
{
    std::unique_lock<std::mutex> lock(mutex_);
    stop_ = true;
    for (EntryTask* t : waiting_) {
        t->outcome = Outcome::Aborted;
        t->done = true;
        t->awaited = false;
    }
    waiting_.clear();
    waitingBytes_ = 0;
    progress_.wait(lock, [&] { return busy_ == 0; });
}

} // namespace qz
