#include "codecs/GzipReader.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <isa-l/igzip_lib.h>

namespace {
constexpr qint64 InSize = 256 * 1024;
// What the inflating thread hands over at a time, and how many it may hold.
constexpr qint64 ChunkSize = 1024 * 1024;
constexpr size_t MaxChunks = 4;

QString inflateError(int code)
{
    switch (code) {
    case ISAL_INVALID_BLOCK: return QStringLiteral("invalid block");
    case ISAL_INVALID_SYMBOL: return QStringLiteral("invalid symbol");
    case ISAL_INVALID_LOOKBACK: return QStringLiteral("invalid distance too far back");
    case ISAL_INVALID_WRAPPER: return QStringLiteral("incorrect header");
    case ISAL_UNSUPPORTED_METHOD: return QStringLiteral("unknown compression method");
    case ISAL_INCORRECT_CHECKSUM: return QStringLiteral("incorrect data check");
    case ISAL_NEED_DICT: return QStringLiteral("needs a dictionary");
    default: return QStringLiteral("error %1").arg(code);
    }
}
} // namespace

TGzipReader::TGzipReader(const QString& path, QObject* parent) : QIODevice(parent), file_(path) {}

TGzipReader::~TGzipReader() { close(); }

bool TGzipReader::open(OpenMode mode)
{
    if ((mode & ~(QIODevice::Unbuffered | QIODevice::Text)) != QIODevice::ReadOnly || isOpen())
        return false;
    damaged_ = damagedAhead_ = false;
    trailing_ = trailingAhead_ = false;
    finished_ = stopping_ = false;
    atEof_ = false;
    current_ = Chunk();
    taken_ = 0;
    ready_.clear();
    if (!QFileInfo(file_.fileName()).isFile() || !file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        setErrorString(file_.errorString());
        return false;
    }
    sourceSize_ = file_.size();
    in_.resize(InSize);
    zs_ = std::make_unique<inflate_state>();
    isal_inflate_init(zs_.get());
    zs_->next_in = in_.data();
    zs_->avail_in = 0;
    if (!refill(0)) {
        setErrorString(file_.errorString());
        file_.close();
        return false;
    }
    plain_ = !(zs_->avail_in >= 2 && in_[0] == 0x1f && in_[1] == 0x8b);
    if (plain_) {
        state_ = State::Plain;
    } else {
        startMember();
        state_ = State::Gzip;
        // From here on state_, zs_, file_ and in_ belong to the inflating thread.
        inflater_ = std::thread([this] { inflateAhead(); });
    }
    return QIODevice::open(mode | QIODevice::Unbuffered);
}

void TGzipReader::stopInflating()
{
    if (!inflater_.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    inflater_.join();
    ready_.clear();
}

void TGzipReader::close()
{
    stopInflating();
    zs_.reset();
    file_.close();
    state_ = State::End;
    in_ = std::vector<unsigned char>();
    if (isOpen())
        QIODevice::close();
}

void TGzipReader::startMember()
{
    // The reset keeps the input; the header and trailer are the inflater's to
    // read and check.
    isal_inflate_reset(zs_.get());
    zs_->crc_flag = ISAL_GZIP;
    inMember_ = true;
}

// Moves the `keep` unread bytes to the front of the buffer and reads more
// after them; false on a read error. At the end of the file nothing is added.
bool TGzipReader::refill(qint64 keep)
{
    if (keep > 0)
        std::memmove(in_.data(), zs_->next_in, size_t(keep));
    const qint64 got = file_.read(reinterpret_cast<char*>(in_.data()) + keep, InSize - keep);
    if (got < 0)
        return false;
    atEof_ = got == 0;
    zs_->next_in = in_.data();
    zs_->avail_in = uint32_t(keep + got);
    return true;
}

bool TGzipReader::onlyZerosLeft()
{
    for (;;) {
        for (uint32_t i = 0; i < zs_->avail_in; ++i)
            if (zs_->next_in[i] != 0)
                return false;
        if (!refill(0) || zs_->avail_in == 0)
            return true;
    }
}

qint64 TGzipReader::fail(const QString& text, bool damage)
{
    state_ = State::Failed;
    damagedAhead_ = damage;
    errorAhead_ = text;
    return -1;
}

void TGzipReader::inflateAhead()
{
    for (;;) {
        Chunk c;
        c.data.reset(new char[size_t(ChunkSize)]);
        c.result = inflateInto(c.data.get(), ChunkSize);
        const bool last = c.result <= 0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || ready_.size() < MaxChunks; });
            if (stopping_)
                return;
            ready_.push_back(std::move(c));
        }
        changed_.notify_all();
        if (last)
            return;
    }
}

qint64 TGzipReader::readData(char* data, qint64 maxSize)
{
    if (plain_) {
        if (!file_.isOpen())
            return -1;
        // Bytes already read while looking for the magic come first.
        const qint64 held = std::min<qint64>(zs_->avail_in, maxSize);
        std::memcpy(data, zs_->next_in, size_t(held));
        zs_->next_in += held;
        zs_->avail_in -= uint32_t(held);
        qint64 done = held;
        if (done < maxSize) {
            const qint64 got = file_.read(data + done, maxSize - done);
            if (got < 0) {
                setErrorString(file_.errorString());
                return -1;
            }
            done += got;
        }
        return done;
    }
    qint64 done = 0;
    while (done < maxSize) {
        if (taken_ == current_.size()) {
            if (finished_)
                break;
            if (done > 0) {
                // Hand over what there is rather than wait for more.
                std::lock_guard<std::mutex> lock(mutex_);
                if (ready_.empty())
                    break;
            }
            {
                std::unique_lock<std::mutex> lock(mutex_);
                changed_.wait(lock, [this] { return !ready_.empty(); });
                current_ = std::move(ready_.front());
                ready_.pop_front();
            }
            changed_.notify_all();
            taken_ = 0;
            if (current_.result <= 0) {
                // The thread has stopped: what it noted is safe to read.
                finished_ = true;
                inflater_.join();
                damaged_ = damagedAhead_;
                trailing_ = trailingAhead_;
                if (current_.result < 0)
                    setErrorString(errorAhead_);
            }
            continue;
        }
        const qint64 n = std::min<qint64>(maxSize - done, current_.size() - taken_);
        std::memcpy(data + done, current_.data.get() + taken_, size_t(n));
        taken_ += n;
        done += n;
    }
    if (done > 0)
        return done;
    return finished_ && current_.result < 0 ? -1 : 0;
}

qint64 TGzipReader::inflateInto(char* data, qint64 maxSize)
{
    if (state_ == State::Failed)
        return -1;
    qint64 done = 0;
    while (state_ == State::Gzip && done < maxSize) {
        if (zs_->avail_in == 0 && !atEof_) {
            if (!refill(0))
                return done > 0 ? done : fail(file_.errorString(), false);
        }
        if (!inMember_) {
            // Another member follows only when it starts with the magic.
            if (zs_->avail_in < 2 && !atEof_ && !refill(zs_->avail_in))
                return done > 0 ? done : fail(file_.errorString(), false);
            if (zs_->avail_in < 2 || zs_->next_in[0] != 0x1f || zs_->next_in[1] != 0x8b) {
                trailingAhead_ = !onlyZerosLeft();
                state_ = State::End;
                break;
            }
            startMember();
        }
        const qint64 room = std::min<qint64>(maxSize - done, 1 << 30);
        zs_->next_out = reinterpret_cast<uint8_t*>(data + done);
        zs_->avail_out = uint32_t(room);
        const uint32_t inBefore = zs_->avail_in;
        const int r = isal_inflate(zs_.get());
        const qint64 produced = room - zs_->avail_out;
        done += produced;
        if (r != ISAL_DECOMP_OK) {
            // What came out before the damage is handed over; the next read fails.
            const QString why = QStringLiteral("Damaged compressed data (%1)").arg(inflateError(r));
            if (done == 0)
                return fail(why, true);
            fail(why, true);
            return done;
        }
        if (zs_->block_state == ISAL_BLOCK_FINISH) {
            // The inflater hands back the bytes it read past the trailer.
            inMember_ = false;
        } else if (atEof_ && produced == 0 && zs_->avail_in == inBefore) {
            // Nothing more will come: the member was cut short.
            if (done > 0)
                return done; // the next read reports it
            return fail(QStringLiteral("Unexpected end of the compressed data"), true);
        }
    }
    return done;
}
