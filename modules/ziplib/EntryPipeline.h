// Compresses the files of an add on worker threads, ahead of the thread that
// writes the archive, and hands the results over in the archive's order.
// Files up to kWholeLimit are read and compressed (and encrypted) whole by one
// worker; larger ones are read in order, kBlock at a time, and their blocks
// compressed by whichever worker is free. How far the workers may run ahead
// is bounded by a count of results and by the bytes they stand for.
// Workers never call back: the writing thread does all the reporting.
#pragma once

#include "EntryCipher.h"

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qz {

// A file to compress, in the archive's order.
struct PipelineFile {
    std::string path;
    uint32_t dosTime = 0;   // the traditional encryption header's check byte
    int level = 0;          // 0 stores
    std::string password;   // empty: not encrypted
    bool aes = false;
    int64_t sizeHint = 0;   // its size when the folder was read
};

// One piece of work done: a whole file, or one block of a large file.
struct Compressed {
    enum class Kind {
        Whole,      // `bytes`: the entry's data as stored, encryption included
        Block,      // `bytes`: one block's deflate data (or stored bytes), not encrypted
        Unopened,   // the file could not be opened (`err`)
        Unreadable, // reading failed (ends a file's blocks)
        Again,      // not a plain file, or it changed too much: add it the ordinary way
    };
    Kind kind = Kind::Whole;
    size_t file = 0;
    int err = 0;
    int64_t fileSize = 0;   // its size when it was opened
    uint16_t method = 0;    // Whole: 0 or 8
    EntryCipher::Kind cipher = EntryCipher::Kind::None;
    uint32_t crc = 0;       // of this piece's input
    uint64_t usize = 0;     // this piece's input bytes
    bool last = true;       // Block: the file's last block
    std::vector<uint8_t> bytes;
    uint64_t cost = 0;      // what it counts against the bound
};

class EntryPipeline {
public:
    static constexpr size_t kBlock = size_t(4) << 20;
    static constexpr int64_t kWholeLimit = int64_t(16) << 20;

    EntryPipeline(std::vector<PipelineFile> files, unsigned threads);
    EntryPipeline(const EntryPipeline&) = delete;
    EntryPipeline& operator=(const EntryPipeline&) = delete;
    // Stops the workers and waits for them.
    ~EntryPipeline();

    // The next result in order, waiting for it. A worker's exception (out
    // of memory) is thrown here.
    Compressed next();

private:
    // A large file being read block by block.
    struct Stream {
        bool active = false;
        size_t file = 0;
        int fd = -1;
        int64_t size = 0;
        uint64_t pos = 0;
        std::vector<uint8_t> tail;  // the last kWindow bytes read
        int carry = -1;             // a byte read past the expected end
    };
    // What a worker took on, done outside the lock.
    struct Job {
        uint64_t seq = 0;
        Compressed out;
        std::vector<uint8_t> input, dict;
        bool wholeFile = false;
    };

    void work();
    bool more() const { return stream_.active || next_ < files_.size(); }
    bool roomAhead() const;
    // Under the lock: the next job in order.
    Job take();
    void openStream(Job& job, size_t file);
    void readBlock(Job& job);
    void closeStream();
    // Outside the lock.
    void compressWhole(Job& job, class BlockDeflater& d);
    void compressBlock(Job& job, class BlockDeflater& d);

    const std::vector<PipelineFile> files_;
    std::mutex m_;
    std::condition_variable workCv_, doneCv_;
    size_t next_ = 0;
    Stream stream_;
    uint64_t dispatched_ = 0, taken_ = 0, ahead_ = 0;
    std::map<uint64_t, Compressed> done_;
    std::exception_ptr error_;
    bool stop_ = false;
    bool paused_ = false;  // the workers found no room and wait for half of it
    std::vector<std::thread> threads_;
};

} // namespace qz
