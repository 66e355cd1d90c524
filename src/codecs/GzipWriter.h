#pragma once
// A write-only, forward-only device that makes one gzip member of what is
// written to it, compressing on every core: the data is cut into blocks of
// BlockSize bytes, each deflated on its own by a worker thread (see
// qdeflate::BlockCompressor) and ended on a byte boundary, and the blocks are written out
// in order with the CRC-32 and length of the whole. The output is one
// ordinary deflate stream, as any inflater reads it.
//
// Memory stays bounded: two blocks per worker and two more are in flight at
// most, and a writer waits for the oldest to be written before it fills
// another.
//
// finish() completes the file; a writer closed, destroyed or discard()ed
// before that removes what it wrote, so an unfinished write leaves nothing.

#include <QByteArray>
#include <QFile>
#include <QIODevice>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TGzipWriter : public QIODevice {
public:
    enum Strategy { Default, Filtered, HuffmanOnly };

    // Uncompressed bytes per block.
    // Large enough that the dictionary a libdeflate block goes without
    // costs less than libdeflate gains.
    static constexpr qint64 BlockSize = 4 * 1024 * 1024;
    // The window a block may look back into.
    static constexpr qint64 DictionarySize = 32 * 1024;

    explicit TGzipWriter(const QString& path, QObject* parent = nullptr);
    ~TGzipWriter() override;

    // Set before open().
    int level = 6;                 // 0 (stored) to 9, as gzip's levels
    Strategy strategy = Default;
    QByteArray storedName;         // the header's name field (none when null)
    QByteArray comment;            // the header's comment field (none when null)
    int threads = 0;               // compressing threads; 0: one per core

    // Creates the file and writes the header; only QIODevice::WriteOnly. A
    // header that could not be written makes every later write fail.
    bool open(OpenMode mode) override;
    // Compresses what is left, writes the trailer and closes the file; false
    // (with errorString()) when any of it failed, the file then removed.
    bool finish();
    // Stops, closes and removes the file.
    void discard();
    // Without finish(): as discard().
    void close() override;
    bool isSequential() const override { return true; }

    // Uncompressed bytes taken so far.
    qint64 totalIn() const { return totalIn_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 len) override;

private:
    struct Block;
    Block* takeFreeBlock();
    void submit(Block* b);
    // Writes the finished blocks at the head of the queue; with `wait`, waits
    // for the oldest to finish first. False after a write error.
    bool writeFinished(bool wait);
    bool writeOut(const char* data, qint64 n);
    void work();
    void stopWorkers();
    void fail(const QString& text);

    QFile file_;
    bool removable_ = false;
    bool failed_ = false;
    qint64 totalIn_ = 0;
    quint32 crc_ = 0;

    std::vector<std::unique_ptr<Block>> blocks_;
    std::vector<Block*> free_;
    Block* current_ = nullptr;
    size_t maxBlocks_ = 0;

    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable blockDone_;
    std::deque<Block*> queue_;     // submitted, oldest first
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
