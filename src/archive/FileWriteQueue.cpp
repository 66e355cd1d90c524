#include "archive/FileWriteQueue.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FileWriteQueue::FileWriteQueue(unsigned threads)
{
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

FileWriteQueue::~FileWriteQueue()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_)
        t.join();
}

unsigned FileWriteQueue::threadsWanted()
{
    unsigned n = std::min(std::thread::hardware_concurrency(), 4u);
    if (const char* v = std::getenv("QUARN_EXTRACT_THREADS"); v && *v)
        n = std::min(unsigned(std::strtoul(v, nullptr, 10)), 16u);
    return n;
}

void FileWriteQueue::push(std::unique_ptr<File> file)
{
    File* f = file.get();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        f->held = f->data.size();
        bytes_ += f->held;
        waitingBytes_ += f->held;
        files_.push_back(std::move(file));
        waiting_.push_back(f);
        // Idle workers are woken for a batch, not for every small file.
        if (waiting_.size() < WakeFiles && waitingBytes_ < WakeBytes)
            return;
    }
    wake_.notify_all();
}

void FileWriteQueue::settle(bool all)
{
    std::unique_lock<std::mutex> lock(mutex_);
    size_t n = files_.size();
    if (!all) {
        if (files_.size() < MaxFiles && bytes_ < MaxBytes)
            return;
        size_t count = files_.size();
        qint64 bytes = bytes_;
        for (n = 0; n < files_.size() && (count > MaxFiles / 2 || bytes > MaxBytes / 2); ++n) {
            --count;
            bytes -= files_[n]->held;
        }
    }
    awaitedLeft_ = 0;
    for (size_t i = 0; i < n; ++i)
        if (!files_[i]->done) {
            files_[i]->awaited = true;
            ++awaitedLeft_;
        }
    if (awaitedLeft_ == 0)
        return;
    if (!waiting_.empty())
        wake_.notify_all();
    finished_.wait(lock, [&] { return awaitedLeft_ == 0; });
}

std::unique_ptr<FileWriteQueue::File> FileWriteQueue::takeOldest()
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (files_.empty() || !files_.front()->done)
        return nullptr;
    std::unique_ptr<File> f = std::move(files_.front());
    files_.pop_front();
    bytes_ -= f->held;
    return f;
}

void FileWriteQueue::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return closing_ || !waiting_.empty(); });
        if (waiting_.empty())
            return; // closing, and every file written
        File* f = waiting_.front();
        waiting_.pop_front();
        waitingBytes_ -= f->held;
        lock.unlock();
        write(*f);
        f->data = QByteArray(); // the memory goes back now, not when the caller gets to it
        lock.lock();
        f->done = true;
        if (f->awaited && --awaitedLeft_ == 0)
            finished_.notify_all();
    }
}

void FileWriteQueue::write(File& f)
{
    using Step = File::Step;
    const int dirFd = f.folder->fd;
    std::string temp;
    const int fd = qz::SafeDir::createTemp(dirFd, temp, f.mode);
    if (fd < 0) {
        f.step = Step::Create;
        f.error = errno;
        return;
    }
    const auto failed = [&](Step step, int error) {
        f.step = step;
        f.error = error;
        ::unlinkat(dirFd, temp.c_str(), 0);
    };
    const char* p = f.data.constData();
    for (qint64 left = f.data.size(); left > 0;) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int error = n < 0 ? errno : EIO;
            ::close(fd);
            return failed(Step::Write, error);
        }
        p += n;
        left -= n;
    }
    if (f.mtime >= 0) {
        struct timespec ts[2];
        ts[0].tv_sec = 0;
        ts[0].tv_nsec = UTIME_NOW;
        ts[1].tv_sec = time_t(f.mtime);
        ts[1].tv_nsec = 0;
        ::futimens(fd, ts);
    }
    if (::close(fd) != 0)
        return failed(Step::Write, errno);
    if (::renameat(dirFd, temp.c_str(), dirFd, f.leaf.c_str()) != 0)
        return failed(Step::Rename, errno);
    f.step = Step::Written;
}
