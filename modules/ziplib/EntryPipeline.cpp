#include "EntryPipeline.h"

#include "BlockDeflater.h"
#include "codecs/deflate/StoredBlocks.h"

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

constexpr uint64_t kMaxAhead = 64;                  // results
constexpr uint64_t kMaxAheadBytes = uint64_t(32) << 20; // input bytes they stand for
// A file read whole that turns out this large has changed under us.
constexpr size_t kWholeCap = size_t(EntryPipeline::kWholeLimit) * 2;

// Reads until `n` bytes or the end; -1 on an error.
ssize_t readFull(int fd, uint8_t* p, size_t n)
{
    size_t got = 0;
    while (got < n) {
        const ssize_t r = ::read(fd, p + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += size_t(r);
    }
    return ssize_t(got);
}

uint32_t crcOf(const std::vector<uint8_t>& v) { return libdeflate_crc32(0, v.data(), v.size()); }

} // namespace

EntryPipeline::EntryPipeline(std::vector<PipelineFile> files, unsigned threads) : files_(std::move(files))
{
    threads = std::max(1u, threads);
    try {
        for (unsigned i = 0; i < threads; ++i)
            threads_.emplace_back([this] { work(); });
    } catch (...) {
        // No thread could be started: the ones that did carry on alone.
        if (threads_.empty()) throw;
    }
}

EntryPipeline::~EntryPipeline()
{
    {
        std::lock_guard<std::mutex> lk(m_);
        stop_ = true;
    }
    workCv_.notify_all();
    for (std::thread& t : threads_) t.join();
    closeStream();
}

bool EntryPipeline::roomAhead() const
{
    const uint64_t waiting = dispatched_ - taken_;
    return waiting == 0 || (waiting < kMaxAhead && ahead_ < kMaxAheadBytes);
}

Compressed EntryPipeline::next()
{
    std::unique_lock<std::mutex> lk(m_);
    doneCv_.wait(lk, [&] { return error_ || done_.count(taken_) != 0; });
    if (error_) std::rethrow_exception(error_);
    auto it = done_.find(taken_);
    Compressed c = std::move(it->second);
    done_.erase(it);
    ++taken_;
    ahead_ -= c.cost;
    // Paused workers go on once half the room is free again, not at every
    // result taken: a wake-up per small file would cost more than the file.
    const uint64_t waiting = dispatched_ - taken_;
    const bool resume = paused_ && (waiting == 0 || (waiting <= kMaxAhead / 2 && ahead_ <= kMaxAheadBytes / 2));
    if (resume) paused_ = false;
    lk.unlock();
    if (resume) workCv_.notify_all();
    return c;
}

void EntryPipeline::work()
{
    BlockDeflater deflater;
    std::unique_lock<std::mutex> lk(m_);
    for (;;) {
        if (!stop_ && !error_ && more() && !roomAhead()) paused_ = true;
        workCv_.wait(lk, [&] { return stop_ || error_ || !more() || (!paused_ && roomAhead()); });
        if (stop_ || error_ || !more()) return;
        // Only the result the writing thread waits for wakes it.
        bool wanted = true;
        try {
            Job job = take();
            lk.unlock();
            if (job.wholeFile) compressWhole(job, deflater);
            else if (job.out.kind == Compressed::Kind::Block) compressBlock(job, deflater);
            lk.lock();
            wanted = job.seq == taken_;
            done_.emplace(job.seq, std::move(job.out));
        } catch (...) {
            if (!lk.owns_lock()) lk.lock();
            if (!error_) error_ = std::current_exception();
        }
        if (wanted) doneCv_.notify_all();
    }
}

EntryPipeline::Job EntryPipeline::take()
{
    Job job;
    job.seq = dispatched_++;
    if (stream_.active) {
        readBlock(job);
    } else {
        const size_t i = next_++;
        job.out.file = i;
        if (files_[i].sizeHint > kWholeLimit) {
            openStream(job, i);
        } else {
            job.wholeFile = true;
            job.out.cost = uint64_t(std::max<int64_t>(files_[i].sizeHint, 4096));
        }
    }
    ahead_ += job.out.cost;
    return job;
}

void EntryPipeline::openStream(Job& job, size_t file)
{
    const int fd = ::open(files_[file].path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        job.out.kind = Compressed::Kind::Unopened;
        job.out.err = errno;
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        job.out.kind = Compressed::Kind::Again;
        return;
    }
    stream_ = Stream();
    stream_.active = true;
    stream_.file = file;
    stream_.fd = fd;
    stream_.size = int64_t(st.st_size);
    readBlock(job);
}

void EntryPipeline::readBlock(Job& job)
{
    job.out.file = stream_.file;
    job.out.fileSize = stream_.size;
    job.out.cost = kBlock;
    job.input.resize(kBlock);
    size_t have = 0;
    if (stream_.carry >= 0) {
        job.input[have++] = uint8_t(stream_.carry);
        stream_.carry = -1;
    }
    const ssize_t r = readFull(stream_.fd, job.input.data() + have, kBlock - have);
    if (r < 0) {
        job.out.kind = Compressed::Kind::Unreadable;
        job.input.clear();
        closeStream();
        return;
    }
    have += size_t(r);
    job.input.resize(have);
    stream_.pos += have;
    bool last = have < kBlock;
    // A full block that reaches the expected end: one byte more tells
    // whether the file grew.
    if (!last && stream_.pos >= uint64_t(stream_.size)) {
        uint8_t b;
        const ssize_t p = readFull(stream_.fd, &b, 1);
        if (p == 1) stream_.carry = b;
        else last = true;
    }
    job.out.kind = Compressed::Kind::Block;
    job.out.last = last;
    job.dict = stream_.tail;
    if (last) {
        closeStream();
        return;
    }
    if (have >= BlockDeflater::kWindow) {
        stream_.tail.assign(job.input.end() - ptrdiff_t(BlockDeflater::kWindow), job.input.end());
    } else {
        stream_.tail.insert(stream_.tail.end(), job.input.begin(), job.input.end());
        if (stream_.tail.size() > BlockDeflater::kWindow)
            stream_.tail.erase(stream_.tail.begin(), stream_.tail.end() - ptrdiff_t(BlockDeflater::kWindow));
    }
}

void EntryPipeline::closeStream()
{
    if (stream_.fd >= 0) ::close(stream_.fd);
    stream_ = Stream();
}

void EntryPipeline::compressWhole(Job& job, BlockDeflater& d)
{
    const PipelineFile& f = files_[job.out.file];
    Compressed& out = job.out;
    const int fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        out.kind = Compressed::Kind::Unopened;
        out.err = errno;
        return;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        out.kind = Compressed::Kind::Again;
        return;
    }
    out.fileSize = int64_t(st.st_size);
    // Read to the end, whatever the size said: a file that grew while it is
    // read is taken as far as it goes, within reason.
    std::vector<uint8_t>& in = job.input;
    in.resize(size_t(std::min<int64_t>(out.fileSize, kWholeLimit)) + 1);
    size_t have = 0;
    for (;;) {
        const ssize_t r = readFull(fd, in.data() + have, in.size() - have);
        if (r < 0) {
            ::close(fd);
            out.kind = Compressed::Kind::Unreadable;
            return;
        }
        have += size_t(r);
        if (have < in.size()) break;
        if (in.size() >= kWholeCap) {
            ::close(fd);
            out.kind = Compressed::Kind::Again;
            return;
        }
        in.resize(std::min(kWholeCap, in.size() * 2));
    }
    ::close(fd);
    in.resize(have);
    out.kind = Compressed::Kind::Whole;
    out.usize = have;
    out.crc = crcOf(in);
    EntryCipher cipher;
    if (!cipher.start(f.password, f.aes, f.dosTime, out.bytes)) {
        // No random numbers here: the writing thread says so.
        out.kind = Compressed::Kind::Again;
        out.bytes.clear();
        return;
    }
    out.cipher = cipher.kind();
    const size_t head = out.bytes.size();
    out.method = 0;
    const bool deflate = f.level > 0 && have > 0 && !qdeflate::incompressible(nullptr, 0, in.data(), have);
    if (deflate && d.whole(in.data(), have, f.level, out.bytes)) out.method = 8;
    else if (head == 0) out.bytes = std::move(in);
    else out.bytes.insert(out.bytes.end(), in.begin(), in.end());
    in = std::vector<uint8_t>();
    cipher.encrypt(out.bytes.data() + head, out.bytes.size() - head);
    cipher.finish(out.bytes);
}

void EntryPipeline::compressBlock(Job& job, BlockDeflater& d)
{
    const PipelineFile& f = files_[job.out.file];
    Compressed& out = job.out;
    out.crc = crcOf(job.input);
    out.usize = job.input.size();
    if (f.level > 0 && qdeflate::incompressible(job.dict.data(), job.dict.size(), job.input.data(), job.input.size()))
        qdeflate::appendStored(job.input.data(), job.input.size(), out.last, out.bytes);
    else if (f.level > 0)
        d.block(job.dict.data(), job.dict.size(), job.input.data(), job.input.size(), f.level, out.last, out.bytes);
    else
        out.bytes = std::move(job.input);
}

} // namespace qz
