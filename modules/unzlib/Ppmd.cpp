#include "Ppmd.h"

#include "ZipCommon.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace qz {

namespace {

// libarchive pulls its input through a read callback while the module pushes
// the compressed bytes in a piece at a time. The reader therefore runs on a
// thread of its own, and the two take turns: step() hands the thread its input
// and waits; the thread runs until it has a block of output, needs more input
// or is done, and hands the turn back. Only one of them runs at a time, so the
// memory held stays that of the reader plus one piece of input.
class PpmdDecoder : public Decoder {
public:
    PpmdDecoder(uint64_t size, uint64_t packedSize) : header_(localHeader(size, packedSize)) {}
    ~PpmdDecoder() override
    {
        if (!thread_.joinable()) return;
        {
            std::lock_guard lock(m_);
            abort_ = true;
            workerTurn_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    Status step(const uint8_t*& in, size_t& inLen, bool last, uint8_t* out, size_t outCap, size_t& made) override
    {
        made = 0;
        if (blockLen_ == 0 && state_ == State::Running) {
            in_ = in;
            inLen_ = inLen;
            last_ = last;
            if (!thread_.joinable()) {
                try {
                    workerTurn_ = true;
                    thread_ = std::thread(&PpmdDecoder::work, this);
                } catch (const std::system_error&) {
                    return fail("cannot start the PPMd decoder");
                }
            } else {
                std::lock_guard lock(m_);
                workerTurn_ = true;
            }
            cv_.notify_all();
            std::unique_lock lock(m_);
            cv_.wait(lock, [this] { return !workerTurn_; });
            in += inLen - inLen_;
            inLen = inLen_;
        }
        if (blockLen_) {
            made = std::min(blockLen_, outCap);
            std::memcpy(out, block_, made);
            block_ += made;
            blockLen_ -= made;
            return Status::Ok;
        }
        if (state_ == State::Failed) return fail(why_);
        return state_ == State::Done ? Status::End : Status::Ok;
    }

private:
    enum class State { Running, Done, Failed };

    // The entry as a zip of one file: a local header (method 98, zip64 sizes)
    // followed by the data. The CRC is left to the module, which checks it.
    static std::vector<uint8_t> localHeader(uint64_t size, uint64_t packedSize)
    {
        std::vector<uint8_t> h(30 + 1 + 20, 0);
        wr32(h.data(), 0x04034b50);
        wr16(h.data() + 4, 63);
        wr16(h.data() + 8, 98);
        wr32(h.data() + 18, 0xFFFFFFFF);
        wr32(h.data() + 22, 0xFFFFFFFF);
        wr16(h.data() + 26, 1);
        wr16(h.data() + 28, 20);
        h[30] = 'f';
        uint8_t* x = h.data() + 31;
        wr16(x, 1);
        wr16(x + 2, 16);
        for (int i = 0; i < 8; ++i) {
            x[4 + i] = uint8_t(size >> (8 * i));
            x[12 + i] = uint8_t(packedSize >> (8 * i));
        }
        return h;
    }

    // Thread side: gives the turn back and waits for it again.
    void yield()
    {
        std::unique_lock lock(m_);
        workerTurn_ = false;
        cv_.notify_all();
        cv_.wait(lock, [this] { return workerTurn_; });
    }

    static la_ssize_t readCallback(archive*, void* self, const void** buf)
    {
        return static_cast<PpmdDecoder*>(self)->read(buf);
    }

    la_ssize_t read(const void** buf)
    {
        if (!headerGiven_) {
            headerGiven_ = true;
            *buf = header_.data();
            return la_ssize_t(header_.size());
        }
        for (;;) {
            if (abort_) return -1;
            if (inLen_ > 0) {
                const size_t n = std::min(inLen_, piece_.size());
                std::memcpy(piece_.data(), in_, n);
                in_ += n;
                inLen_ -= n;
                *buf = piece_.data();
                return la_ssize_t(n);
            }
            if (last_) return 0;
            yield();
        }
    }

    void work()
    {
        std::string why;
        bool ok = false;
        archive* a = archive_read_new();
        if (!a) {
            why = "out of memory";
        } else {
            archive_read_support_format_zip_streamable(a);
            archive_read_set_format_option(a, "zip", "ignorecrc32", "1");
            archive_entry* entry = nullptr;
            int rc = archive_read_open(a, this, nullptr, readCallback, nullptr);
            if (rc == ARCHIVE_OK) rc = archive_read_next_header(a, &entry);
            while (rc == ARCHIVE_OK && !abort_) {
                const void* data = nullptr;
                size_t len = 0;
                la_int64_t offset = 0;
                rc = archive_read_data_block(a, &data, &len, &offset);
                if (rc == ARCHIVE_OK && len) {
                    block_ = static_cast<const uint8_t*>(data);
                    blockLen_ = len;
                    yield();
                }
            }
            ok = rc == ARCHIVE_EOF;
            if (!ok) why = problemOf(a);
            archive_read_free(a);
        }
        std::lock_guard lock(m_);
        state_ = ok ? State::Done : State::Failed;
        why_ = why;
        workerTurn_ = false;
        cv_.notify_all();
    }

    // What the reader says, in the module's words where they exist.
    std::string problemOf(archive* a) const
    {
        if (abort_) return "stopped";
        const char* s = archive_error_string(a);
        const std::string said = s ? s : "";
        if (archive_errno(a) == ENOMEM) return "out of memory";
        if (said.find("Truncated") != std::string::npos) return "compressed data is truncated";
        if (said.find("Invalid parameter") != std::string::npos) return "unsupported PPMd parameters";
        // The model's end came before the data's or the entry's size: the
        // reader's own account of the sizes says no more than that.
        if (said.find("wrong size") != std::string::npos) return "bad compressed data";
        return "bad compressed data" + (said.empty() ? std::string() : " (" + said + ")");
    }

    const std::vector<uint8_t> header_;
    std::array<uint8_t, 1 << 16> piece_{};
    bool headerGiven_ = false;

    std::mutex m_;
    std::condition_variable cv_;
    bool workerTurn_ = false;
    bool abort_ = false;
    // Handed to the thread with the turn.
    const uint8_t* in_ = nullptr;
    size_t inLen_ = 0;
    bool last_ = false;
    // Handed back with it.
    const uint8_t* block_ = nullptr;
    size_t blockLen_ = 0;
    State state_ = State::Running;
    std::string why_;
    std::thread thread_;
};

} // namespace

std::unique_ptr<Decoder> makePpmdDecoder(uint64_t size, uint64_t packedSize)
{
    return std::make_unique<PpmdDecoder>(size, packedSize);
}

} // namespace qz
