#include "codecs/GzipReader.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

namespace {
constexpr qint64 InSize = 256 * 1024;
}

TGzipReader::TGzipReader(const QString& path, QObject* parent) : QIODevice(parent), file_(path) {}

TGzipReader::~TGzipReader() { close(); }

bool TGzipReader::open(OpenMode mode)
{
    if ((mode & ~(QIODevice::Unbuffered | QIODevice::Text)) != QIODevice::ReadOnly || isOpen())
        return false;
    damaged_ = false;
    trailing_ = false;
    if (!QFileInfo(file_.fileName()).isFile() || !file_.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        setErrorString(file_.errorString());
        return false;
    }
    in_.resize(InSize);
    zs_ = z_stream{};
    zs_.next_in = in_.data();
    zs_.avail_in = 0;
    if (!refill(0)) {
        setErrorString(file_.errorString());
        file_.close();
        return false;
    }
    if (zs_.avail_in >= 2 && in_[0] == 0x1f && in_[1] == 0x8b) {
        if (inflateInit2(&zs_, MAX_WBITS + 16) != Z_OK) {
            setErrorString(QStringLiteral("Cannot start decompressing"));
            file_.close();
            return false;
        }
        zsReady_ = true;
        inMember_ = true;
        state_ = State::Gzip;
    } else {
        state_ = State::Plain;
    }
    return QIODevice::open(mode | QIODevice::Unbuffered);
}

void TGzipReader::close()
{
    if (zsReady_)
        inflateEnd(&zs_);
    zsReady_ = false;
    file_.close();
    state_ = State::End;
    in_ = std::vector<unsigned char>();
    if (isOpen())
        QIODevice::close();
}

// Moves the `keep` unread bytes to the front of the buffer and reads more
// after them; false on a read error. At the end of the file nothing is added.
bool TGzipReader::refill(qint64 keep)
{
    if (keep > 0)
        std::memmove(in_.data(), zs_.next_in, size_t(keep));
    const qint64 got = file_.read(reinterpret_cast<char*>(in_.data()) + keep, InSize - keep);
    if (got < 0)
        return false;
    zs_.next_in = in_.data();
    zs_.avail_in = uInt(keep + got);
    return true;
}

bool TGzipReader::onlyZerosLeft()
{
    for (;;) {
        for (uInt i = 0; i < zs_.avail_in; ++i)
            if (zs_.next_in[i] != 0)
                return false;
        if (!refill(0) || zs_.avail_in == 0)
            return true;
    }
}

qint64 TGzipReader::fail(const QString& text, bool damage)
{
    state_ = State::Failed;
    damaged_ = damage;
    setErrorString(text);
    return -1;
}

qint64 TGzipReader::readData(char* data, qint64 maxSize)
{
    if (state_ == State::Failed)
        return -1;
    qint64 done = 0;
    if (state_ == State::Plain) {
        // Bytes already read while looking for the magic come first.
        const qint64 held = std::min<qint64>(zs_.avail_in, maxSize);
        std::memcpy(data, zs_.next_in, size_t(held));
        zs_.next_in += held;
        zs_.avail_in -= uInt(held);
        done = held;
        if (done < maxSize) {
            const qint64 got = file_.read(data + done, maxSize - done);
            if (got < 0)
                return fail(file_.errorString(), false);
            done += got;
        }
        return done;
    }
    while (state_ == State::Gzip && done < maxSize) {
        if (zs_.avail_in == 0) {
            if (!refill(0))
                return done > 0 ? done : fail(file_.errorString(), false);
            if (zs_.avail_in == 0) {
                if (inMember_)
                    return done > 0 ? done : fail(QStringLiteral("Unexpected end of the compressed data"), true);
                state_ = State::End;
                break;
            }
        }
        if (!inMember_) {
            // Another member follows only when it starts with the magic.
            if (zs_.avail_in < 2) {
                if (!refill(zs_.avail_in))
                    return done > 0 ? done : fail(file_.errorString(), false);
                if (zs_.avail_in < 2) {
                    trailing_ = !onlyZerosLeft();
                    state_ = State::End;
                    break;
                }
            }
            if (zs_.next_in[0] != 0x1f || zs_.next_in[1] != 0x8b) {
                trailing_ = !onlyZerosLeft();
                state_ = State::End;
                break;
            }
            inflateReset(&zs_);
            inMember_ = true;
        }
        const qint64 room = std::min<qint64>(maxSize - done, 1 << 30);
        zs_.next_out = reinterpret_cast<unsigned char*>(data + done);
        zs_.avail_out = uInt(room);
        const int r = inflate(&zs_, Z_NO_FLUSH);
        done += room - zs_.avail_out;
        if (r == Z_STREAM_END) {
            inMember_ = false;
        } else if (r != Z_OK && r != Z_BUF_ERROR) {
            // What came out before the damage is handed over; the next read fails.
            const QString why = QStringLiteral("Damaged compressed data (%1)")
                                    .arg(QString::fromLatin1(zs_.msg ? zs_.msg : "error"));
            if (done == 0)
                return fail(why, true);
            fail(why, true);
            return done;
        }
    }
    return done;
}
