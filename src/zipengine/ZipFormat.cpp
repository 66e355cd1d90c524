#include "ZipFormat.h"

#include <algorithm>

QDateTime DosDateTimeToQDateTime(uint32_t dosDateTime)
{
    const unsigned date = dosDateTime >> 16, time = dosDateTime & 0xFFFF;
    const QDate d(int(date >> 9) + 1980, int((date >> 5) & 0x0F), int(date & 0x1F));
    const int hour = int(time >> 11), minute = int((time >> 5) & 0x3F), second = int(time & 0x1F) * 2;
    if (!d.isValid() || hour > 23 || minute > 59 || second > 59)
        return QDateTime();
    return QDateTime(d, QTime(hour, minute, second), Qt::LocalTime);
}

uint32_t QDateTimeToDosDateTime(const QDateTime& t)
{
    const QDateTime lt = t.toLocalTime();
    const QDate d = lt.date();
    const QTime tm = lt.time();
    if (!d.isValid() || d.year() < 1980)
        return (1u << 5 | 1u) << 16;
    const int year = std::min(d.year(), 2107) - 1980;
    const uint32_t date = uint32_t(year << 9 | d.month() << 5 | d.day());
    const uint32_t time = uint32_t(tm.hour() << 11 | tm.minute() << 5 | tm.second() / 2);
    return date << 16 | time;
}

ZipBufferedReader::ZipBufferedReader(QIODevice& file, qsizetype bufferSize)
    : file_(file), buf_(bufferSize, Qt::Uninitialized), filePos_(file.pos()), size_(file.size())
{
}

bool ZipBufferedReader::fill()
{
    // Keep what is left, then read behind it.
    const qsizetype left = end_ - cur_;
    if (left > 0 && cur_ > 0)
        std::memmove(buf_.data(), buf_.constData() + cur_, size_t(left));
    cur_ = 0;
    end_ = left;
    const qint64 got = file_.read(buf_.data() + end_, buf_.size() - end_);
    if (got <= 0)
        return false;
    end_ += qsizetype(got);
    filePos_ += got;
    return true;
}

qsizetype ZipBufferedReader::Read(void* dst, qsizetype n)
{
    auto* out = static_cast<char*>(dst);
    qsizetype done = 0;
    while (done < n) {
        if (cur_ == end_) {
            // Large reads go straight to the file.
            if (n - done >= buf_.size()) {
                const qint64 got = file_.read(out + done, n - done);
                if (got <= 0)
                    break;
                filePos_ += got;
                done += qsizetype(got);
                continue;
            }
            if (!fill())
                break;
        }
        const qsizetype take = std::min(n - done, end_ - cur_);
        std::memcpy(out + done, buf_.constData() + cur_, size_t(take));
        cur_ += take;
        done += take;
    }
    return done;
}

qsizetype ZipBufferedReader::Read(QByteArray& out, qsizetype n)
{
    // Never allocate more than the file can still deliver.
    const qint64 avail = std::max<qint64>(0, size_ - Pos());
    const qsizetype want = qsizetype(std::min<qint64>(n, avail));
    out.resize(want);
    const qsizetype got = Read(out.data(), want);
    out.resize(got);
    return got;
}

bool ZipBufferedReader::Skip(qint64 n)
{
    if (n <= end_ - cur_) {
        cur_ += qsizetype(n);
        return true;
    }
    return Seek(Pos() + n);
}

bool ZipBufferedReader::Seek(qint64 pos)
{
    if (pos < 0 || pos > size_)
        return false;
    // Inside the buffer: just move.
    const qint64 bufStart = filePos_ - end_;
    if (pos >= bufStart && pos <= filePos_) {
        cur_ = qsizetype(pos - bufStart);
        return true;
    }
    if (!file_.seek(pos))
        return false;
    cur_ = end_ = 0;
    filePos_ = pos;
    return true;
}
