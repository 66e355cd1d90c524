#include "TZipFile.h"

#include "zipdir/ZipDir.h"

#include <QFile>
#include <QFileInfo>

#include <new>

namespace {

// The entries of a directory as list records.
template <typename OnRecord>
void recordsOf(const zipdir::Source& source, OnRecord&& onRecord)
{
    const zipdir::Directory d = zipdir::Read(source);
    for (const zipdir::Entry& e : d.entries) {
        ZipFile r;
        r.Version = e.neededVersion;
        r.Flags = e.flags;
        r.Method = e.method;
        r.Time = uint16_t(e.dosDateTime);
        r.Date = uint16_t(e.dosDateTime >> 16);
        r.CRC32 = e.crc;
        r.CompressedSize = e.compressedSize;
        r.UncompressedSize = e.uncompressedSize;
        r.NameLength = uint16_t(e.rawName.size());
        r.ExtraLength = uint16_t(e.extra.size());
        QString text = QString::fromUtf8(e.name);
        if (text.size() > TZipFile::kMaxNameLength) {
            text.truncate(TZipFile::kMaxNameLength);
            if (text.back().isHighSurrogate())
                text.chop(1);
        }
        r.FileName = std::move(text);
        onRecord(std::move(r));
    }
}

} // namespace

bool TZipFile::SetFileName(const QString& path)
{
    if (QFileInfo::exists(path))
        fileName_ = path;
    read(path);
    return openError_.isEmpty();
}

void TZipFile::read(const QString& path)
{
    records_.clear();
    openError_.clear();
    QFile file(path);
    if (path.isEmpty() || QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly)) {
        openError_ = QStringLiteral("Cannot open file %1").arg(path);
        return;
    }
    try {
        recordsOf(zipdir::FileSource(file.handle()), [this](ZipFile&& r) {
            records_.push_back(std::move(r));
            if (OnReadFile)
                OnReadFile(*this, records_.back());
        });
    } catch (const std::bad_alloc&) {
        // A directory too large for memory lists nothing.
        records_.clear();
    }
}

ZipFile TZipFile::Record(int index) const
{
    if (index < 0 || index >= FileCount())
        return ZipFile();
    return records_[size_t(index)];
}

std::vector<ZipFile> TZipFile::Walk(const QByteArray& bytes)
{
    std::vector<ZipFile> out;
    recordsOf(zipdir::MemorySource(bytes.constData(), size_t(bytes.size())), [&out](ZipFile&& r) { out.push_back(std::move(r)); });
    return out;
}
