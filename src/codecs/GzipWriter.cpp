#include "codecs/GzipWriter.h"
#include "codecs/deflate/BlockCompressor.h"
#include "codecs/deflate/StoredBlocks.h"

#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <libdeflate.h>
#include <zlib.h>

struct TGzipWriter::Block {
    // The dictionary (the input just before this block), then the block's own data.
    std::vector<unsigned char> in;
    size_t dictionary = 0;
    bool last = false;
    bool claimed = false;
    bool done = false;
    bool failed = false;
    std::vector<unsigned char> out;
    quint32 crc = 0;

    size_t dataSize() const { return in.size() - dictionary; }
};

namespace {

void putLE32(unsigned char* p, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = (unsigned char)(v >> (8 * i));
}

} // namespace

TGzipWriter::TGzipWriter(const QString& path, QObject* parent) : QIODevice(parent), file_(path) {}

TGzipWriter::~TGzipWriter() { discard(); }

bool TGzipWriter::open(OpenMode mode)
{
    if ((mode & ~QIODevice::Unbuffered) != QIODevice::WriteOnly || isOpen() || file_.isOpen())
        return false;
    level = std::clamp(level, 0, 9);
    if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        setErrorString(file_.errorString());
        return false;
    }
    // Only a file of our own goes when the write is abandoned, never a device.
    removable_ = QFileInfo(file_.fileName()).isFile();
    failed_ = false;
    totalIn_ = 0;
    crc_ = quint32(crc32(0L, Z_NULL, 0));

    QByteArray header("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x00", 10);
    if (!storedName.isNull()) {
        header[3] = char(header[3] | 0x08);
        header += storedName + '\0';
    }
    if (!comment.isNull()) {
        header[3] = char(header[3] | 0x10);
        header += comment + '\0';
    }
    // A header that cannot be written fails the writes that follow, as any
    // other write error does.
    if (file_.write(header) != header.size())
        fail(file_.errorString());

    const int n = threads > 0 ? threads : int(std::max(1u, std::thread::hardware_concurrency()));
    // Enough blocks in flight that a compressor that finished early always
    // finds another while the oldest is still being worked on, on a busy
    // machine as well (about 8 MiB each, input and output).
    maxBlocks_ = size_t(2 * n + 2);
    stopping_ = false;
    for (int i = 0; i < n; ++i)
        workers_.emplace_back([this] { work(); });
    current_ = takeFreeBlock();
    return QIODevice::open(mode | QIODevice::Unbuffered);
}

TGzipWriter::Block* TGzipWriter::takeFreeBlock()
{
    for (;;) {
        if (!writeFinished(false))
            return nullptr;
        if (!free_.empty()) {
            Block* b = free_.back();
            free_.pop_back();
            return b;
        }
        if (blocks_.size() < maxBlocks_) {
            blocks_.push_back(std::make_unique<Block>());
            blocks_.back()->in.reserve(size_t(DictionarySize + BlockSize));
            return blocks_.back().get();
        }
        if (!writeFinished(true))
            return nullptr;
    }
}

void TGzipWriter::submit(Block* b)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        b->claimed = b->done = b->failed = false;
        queue_.push_back(b);
    }
    workReady_.notify_one();
}

bool TGzipWriter::writeFinished(bool wait)
{
    for (;;) {
        Block* b = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (queue_.empty())
                return !failed_;
            if (wait)
                blockDone_.wait(lock, [this] { return queue_.front()->done; });
            if (!queue_.front()->done)
                return !failed_;
            b = queue_.front();
            queue_.pop_front();
        }
        wait = false;
        if (b->failed)
            fail(QStringLiteral("The compressor failed"));
        else if (!failed_ && !writeOut(reinterpret_cast<const char*>(b->out.data()), qint64(b->out.size())))
            fail(file_.errorString());
        if (!failed_)
            crc_ = quint32(crc32_combine(crc_, b->crc, z_off_t(b->dataSize())));
        free_.push_back(b);
    }
}

bool TGzipWriter::writeOut(const char* data, qint64 n)
{
    return file_.write(data, n) == n;
}

void TGzipWriter::fail(const QString& text)
{
    if (!failed_)
        setErrorString(text);
    failed_ = true;
}

qint64 TGzipWriter::writeData(const char* data, qint64 len)
{
    if (failed_ || !current_)
        return -1;
    qint64 done = 0;
    while (done < len) {
        Block* b = current_;
        const qint64 room = qint64(b->dictionary) + BlockSize - qint64(b->in.size());
        if (room == 0) {
            // A full block goes only once more data follows it, so the last
            // block is always the one finish() ends the stream with.
            Block* next = takeFreeBlock();
            if (!next)
                return -1;
            const size_t dict = std::min<size_t>(size_t(DictionarySize), b->dataSize());
            next->in.assign(b->in.end() - qint64(dict), b->in.end());
            next->dictionary = dict;
            b->last = false;
            submit(b);
            current_ = next;
            continue;
        }
        const qint64 take = std::min(room, len - done);
        const auto* from = reinterpret_cast<const unsigned char*>(data + done);
        b->in.insert(b->in.end(), from, from + take);
        done += take;
    }
    totalIn_ += len;
    return len;
}

void TGzipWriter::work()
{
    const int z = strategy == Filtered ? Z_FILTERED : strategy == HuffmanOnly ? Z_HUFFMAN_ONLY : Z_DEFAULT_STRATEGY;
    qdeflate::BlockCompressor deflater(level, z);
    for (;;) {
        Block* b = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            auto unclaimed = [this] {
                return std::find_if(queue_.begin(), queue_.end(), [](const Block* q) { return !q->claimed; });
            };
            workReady_.wait(lock, [&] { return stopping_ || unclaimed() != queue_.end(); });
            if (stopping_)
                return;
            const auto it = unclaimed();
            b = *it;
            b->claimed = true;
        }
        const unsigned char* data = b->in.data() + b->dictionary;
        b->out.clear();
        bool ok = true;
        if (level > 0 && qdeflate::incompressible(b->in.data(), b->dictionary, data, b->dataSize()))
            qdeflate::appendStored(data, b->dataSize(), b->last, b->out);
        else
            ok = deflater.compress(b->in.data(), b->dictionary, data, b->dataSize(), b->last, b->out);
        const quint32 crc = quint32(libdeflate_crc32(0, data, b->dataSize()));
        bool oldest = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            b->crc = crc;
            b->failed = !ok;
            b->done = true;
            oldest = queue_.front() == b;
        }
        // Only the oldest block lets the writer go on.
        if (oldest)
            blockDone_.notify_all();
    }
}

void TGzipWriter::stopWorkers()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workReady_.notify_all();
    for (std::thread& t : workers_)
        t.join();
    workers_.clear();
    queue_.clear();
    free_.clear();
    blocks_.clear();
    current_ = nullptr;
}

bool TGzipWriter::finish()
{
    if (!isOpen())
        return false;
    bool ok = current_ != nullptr && !failed_;
    if (ok) {
        current_->last = true;
        submit(current_);
        current_ = nullptr;
        while (ok) {
            ok = writeFinished(true);
            std::lock_guard<std::mutex> lock(mutex_);
            if (queue_.empty())
                break;
        }
    }
    stopWorkers();
    if (ok) {
        unsigned char trailer[8];
        putLE32(trailer, crc_);
        putLE32(trailer + 4, quint32(totalIn_ & 0xffffffffu));
        ok = writeOut(reinterpret_cast<const char*>(trailer), 8) && file_.flush();
        if (!ok)
            fail(file_.errorString());
    }
    file_.close();
    if (ok && file_.error() != QFileDevice::NoError) {
        fail(file_.errorString());
        ok = false;
    }
    if (!ok && removable_)
        QFile::remove(file_.fileName());
    QIODevice::close();
    return ok;
}

void TGzipWriter::discard()
{
    if (!file_.isOpen() && !isOpen())
        return;
    stopWorkers();
    file_.close();
    if (removable_)
        QFile::remove(file_.fileName());
    if (isOpen())
        QIODevice::close();
}

void TGzipWriter::close() { discard(); }
