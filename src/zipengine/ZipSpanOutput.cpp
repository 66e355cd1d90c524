#include "ZipSpanOutput.h"

#include "TZipEngine.h"
#include "ZipSpanState.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <new>

ZipSpanOutput::ZipSpanOutput(TZipEngine& engine, const QString& destination) : e_(engine), destination_(destination)
{
    output_.context = this;
    output_.write = [](void* c, const void* data, uint64_t n) {
        auto* self = static_cast<ZipSpanOutput*>(c);
        return self->guarded([&]() { self->put(static_cast<const char*>(data), qint64(n)); });
    };
    output_.writeAt = [](void* c, uint64_t offset, const void* data, uint64_t n) {
        auto* self = static_cast<ZipSpanOutput*>(c);
        return self->guarded([&]() { self->writeAt(qint64(offset), static_cast<const char*>(data), qint64(n)); });
    };
    output_.truncate = [](void* c, uint64_t offset) {
        auto* self = static_cast<ZipSpanOutput*>(c);
        return self->guarded([&]() { self->truncate(qint64(offset)); });
    };
    output_.keepTogether = [](void* c, uint64_t n) {
        auto* self = static_cast<ZipSpanOutput*>(c);
        return self->guarded([&]() { self->keep_ = qint64(n); });
    };
    output_.directory = [](void* c) {
        auto* self = static_cast<ZipSpanOutput*>(c);
        return self->guarded([&]() { self->inDirectory_ = true; });
    };
    e_.beginSetWrite(destination);
}

ZipSpanOutput::~ZipSpanOutput() = default;

int32_t ZipSpanOutput::guarded(const std::function<void()>& work)
{
    if (error_)
        return ECANCELED;
    try {
        work();
        return 0;
    } catch (const EZipEngine& x) {
        error_ = std::make_unique<EZipEngine>(x);
    } catch (const std::bad_alloc&) {
        error_ = std::make_unique<EZipEngine>(ZipMsg::GE_NoMem, true);
    }
    return ECANCELED;
}

QString ZipSpanOutput::partName(int disk) const
{
    return e_.writingPart(disk);
}

// The first write opens the first part with the set's marker.
void ZipSpanOutput::start()
{
    if (started_)
        return;
    started_ = true;
    const unsigned char marker[4] = {0x50, 0x4B, 0x07, 0x08};
    e_.WriteSplit(reinterpret_cast<const char*>(marker), 4, 0);
}

void ZipSpanOutput::put(const char* data, qint64 n)
{
    if (inDirectory_) {
        directory_.append(data, n);
        pos_ += n;
        return;
    }
    start();
    TZipEngine::SpanState& s = e_.span();
    while (n > 0) {
        if (keep_ > 0) {
            e_.reserveRoom(keep_);
            headers_.insert(pos_, {e_.CurrentDisk, s.partBytes});
            keep_ = 0;
        } else {
            e_.reserveRoom(0);
        }
        if (s.diskFree <= 0) {
            e_.nextPart();
            e_.reserveRoom(0);
        }
        const auto disk = size_t(e_.CurrentDisk);
        partStart_.resize(disk + 1);
        partRoom_.resize(disk + 1);
        // The first part starts with the marker, before the archive's first byte.
        partStart_[disk] = pos_ - s.partBytes;
        partRoom_[disk] = s.partBytes + s.diskFree;
        const qint64 k = std::min(n, s.diskFree);
        e_.WriteSplit(data, k, 0);
        data += k;
        n -= k;
        pos_ += k;
    }
}

int ZipSpanOutput::partOf(qint64 offset) const
{
    const auto it = std::upper_bound(partStart_.begin(), partStart_.end(), offset);
    return int(it - partStart_.begin()) - 1;
}

void ZipSpanOutput::writeAt(qint64 offset, const char* data, qint64 n)
{
    TZipEngine::SpanState& s = e_.span();
    if (offset < 0 || offset + n > pos_ || inDirectory_)
        throw EZipEngine(ZipMsg::DS_NoWrite, true);
    while (n > 0) {
        const int disk = partOf(offset);
        if (disk < 0)
            throw EZipEngine(ZipMsg::DS_NoWrite, true);
        const qint64 at = offset - partStart_[size_t(disk)];
        const qint64 partEnd = size_t(disk) + 1 < partStart_.size() ? partStart_[size_t(disk) + 1] : pos_;
        const qint64 k = std::min(n, partEnd - offset);
        if (disk == e_.CurrentDisk && s.out.isOpen()) {
            const qint64 back = s.out.pos();
            if (!s.out.seek(at) || s.out.write(data, k) != k || !s.out.seek(back))
                throw EZipEngine(ZipMsg::DS_NoWrite, true);
        } else {
            QFile part(partName(disk));
            if (!part.open(QIODevice::ReadWrite) || !part.seek(at) || part.write(data, k) != k || !part.flush())
                throw EZipEngine(ZipMsg::DS_NoWrite, true);
        }
        data += k;
        n -= k;
        offset += k;
    }
}

void ZipSpanOutput::truncate(qint64 offset)
{
    TZipEngine::SpanState& s = e_.span();
    if (offset < 0 || offset > pos_ || inDirectory_)
        throw EZipEngine(ZipMsg::DS_NoWrite, true);
    if (offset == pos_)
        return;
    const int disk = partOf(offset);
    if (disk < 0)
        throw EZipEngine(ZipMsg::DS_NoWrite, true);
    if (disk != e_.CurrentDisk || !s.out.isOpen()) {
        e_.closePart();
        for (int later = disk + 1; later <= e_.CurrentDisk; ++later)
            QFile::remove(partName(later));
        e_.CurrentDisk = disk;
        s.newDisk = false;
        s.out.setFileName(partName(disk));
        if (!s.out.open(QIODevice::ReadWrite))
            throw EZipEngine(ZipMsg::DS_NoOutFile, true);
    }
    const qint64 at = offset - partStart_[size_t(disk)];
    if (!s.out.resize(at) || !s.out.seek(at))
        throw EZipEngine(ZipMsg::DS_NoWrite, true);
    s.partBytes = at;
    s.diskFree = partRoom_[size_t(disk)] - at;
    partStart_.resize(size_t(disk) + 1);
    partRoom_.resize(size_t(disk) + 1);
    for (auto it = headers_.begin(); it != headers_.end();)
        it = it.key() >= offset ? headers_.erase(it) : std::next(it);
    pos_ = offset;
}

int32_t ZipSpanOutput::Finish(bool datedAsNewest)
{
    TZipEngine::SpanState& s = e_.span();
    uint32_t newest = 0;
    const int32_t result = e_.spanResult([&]() {
        start();
        // The module's directory: its central headers, then the end record.
        std::vector<QByteArray> records;
        qsizetype at = 0;
        const auto* b = reinterpret_cast<const unsigned char*>(directory_.constData());
        while (at + 4 <= directory_.size() && GetLE32(b + at) == ZipSig::CentralHeader) {
            if (at + kCentralHeaderSize > directory_.size())
                throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
            const qsizetype length = kCentralHeaderSize + GetLE16(b + at + 28) + GetLE16(b + at + 30) + GetLE16(b + at + 32);
            if (at + length > directory_.size())
                throw EZipEngine(ZipMsg::DS_CEHBadRead, true);
            QByteArray record = directory_.mid(at, length);
            auto* r = reinterpret_cast<unsigned char*>(record.data());
            // The part numbers and offsets of a set are 16 and 32 bits wide here.
            if (GetLE32(r + 42) == 0xFFFFFFFFu || GetLE32(r + 20) == 0xFFFFFFFFu)
                throw EZipEngine(ZipMsg::DS_NotSupported, true);
            const auto where = headers_.constFind(qint64(GetLE32(r + 42)));
            if (where == headers_.constEnd())
                throw EZipEngine(ZipMsg::DS_LOHBadRead, true);
            newest = std::max(newest, uint32_t(GetLE16(r + 14)) << 16 | GetLE16(r + 12));
            PutLE16(r + 34, uint16_t(where->first));
            PutLE32(r + 42, uint32_t(where->second));
            records.push_back(std::move(record));
            at += length;
        }
        if (at + kEndRecordSize > directory_.size() || GetLE32(b + at) != ZipSig::EndOfCentral)
            throw EZipEngine(ZipMsg::DS_NotSupported, true);
        const QByteArray comment = directory_.mid(at + kEndRecordSize, GetLE16(b + at + 20));
        s.progress = true;
        e_.writeSetDirectory(records, comment);
        e_.flushPart();
    });
    s.progress = false;
    e_.progress(TZipEngine::ProgressEnd, QString(), 0);
    e_.closePart();
    if (result == 0 && datedAsNewest && newest != 0) {
        const QDateTime date = DosDateTimeToQDateTime(newest);
        // A part that cannot be opened to be dated keeps the date it was
        // written: the set is whole all the same.
        for (int disk = 0; disk <= e_.CurrentDisk; ++disk) {
            QFile part(partName(disk));
            if (part.open(QIODevice::Append))
                part.setFileTime(date, QFileDevice::FileModificationTime);
        }
    }
    return result;
}

void ZipSpanOutput::Discard()
{
    TZipEngine::SpanState& s = e_.span();
    if (!started_)
        return;
    // Staged parts are all this run's own.
    if (s.staged) {
        e_.discardSetParts();
        return;
    }
    // The parts before the current one were written here; the current one
    // only when it is open (a part the user would not have replaced is not).
    QStringList written;
    for (int disk = 0; disk < e_.CurrentDisk; ++disk)
        written << partName(disk);
    if (s.out.isOpen())
        written << s.out.fileName();
    e_.closePart();
    for (const QString& name : written)
        QFile::remove(name);
}
