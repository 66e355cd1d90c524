#include "ZipSetSource.h"

#include "../../modules/common/ZipLibApi.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

bool ZipSetSource::OpenPart(const QString& fileName)
{
    QFile f(fileName);
    if (!QFileInfo(fileName).isFile() || !f.open(QIODevice::ReadOnly))
        return false;
    parts_.push_back({QFile::encodeName(fileName), f.size()});
    return true;
}

qint64 ZipSetSource::PartSize(int part) const
{
    return parts_[size_t(part)].size;
}

bool ZipSetSource::ReadPart(int part, qint64 offset, void* dst, qint64 n) const
{
    if (part < 0 || part >= PartCount() || offset < 0 || n < 0 || n > PartSize(part) - offset)
        return false;
    const int fd = ::open(parts_[size_t(part)].path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    auto* d = static_cast<char*>(dst);
    bool ok = true;
    while (n > 0) {
        const ssize_t r = ::pread(fd, d, size_t(n), off_t(offset));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0) {
            ok = false;
            break;
        }
        d += r;
        n -= r;
        offset += r;
    }
    ::close(fd);
    return ok;
}

void ZipSetSource::AddPiece(int part, qint64 from, qint64 to)
{
    if (to <= from)
        return;
    pieces_.push_back({size_, uint64_t(to - from), part, from});
    size_ += uint64_t(to - from);
}

void ZipSetSource::AddTail(const QByteArray& bytes)
{
    tail_ = bytes;
    pieces_.push_back({size_, uint64_t(bytes.size()), -1, 0});
    size_ += uint64_t(bytes.size());
}

bool ZipSetSource::ReadAt(uint64_t offset, void* dst, size_t n) const
{
    if (offset > size_ || n > size_ - offset)
        return false;
    auto* d = static_cast<char*>(dst);
    // The last piece that starts at or before `offset`.
    auto it = std::upper_bound(pieces_.begin(), pieces_.end(), offset,
                               [](uint64_t at, const Piece& p) { return at < p.start; });
    while (n > 0) {
        if (it == pieces_.begin())
            return false;
        const Piece& p = *(it - 1);
        const uint64_t within = offset - p.start;
        if (within >= p.length)
            return false;
        const size_t k = size_t(std::min<uint64_t>(n, p.length - within));
        if (p.part < 0)
            std::memcpy(d, tail_.constData() + within, k);
        else if (!ReadPart(p.part, p.from + qint64(within), d, qint64(k)))
            return false;
        d += k;
        n -= k;
        offset += k;
        ++it;
    }
    return true;
}

const QzInput* ZipSetSource::Input()
{
    if (!input_) {
        input_ = std::make_unique<QzInput>();
        input_->context = this;
        input_->size = size_;
        input_->readAt = [](void* context, uint64_t offset, void* dst, uint64_t n) -> int32_t {
            return static_cast<const ZipSetSource*>(context)->ReadAt(offset, dst, size_t(n)) ? 0 : EIO;
        };
    }
    input_->size = size_;
    return input_.get();
}
