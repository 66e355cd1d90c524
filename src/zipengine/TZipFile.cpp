#include "TZipFile.h"

#include "TZipEngine.h"
#include "zipdir/ZipDir.h"

#include <QFile>
#include <QFileInfo>

#include <new>

namespace {

// The entries of a directory as list records.
ZipFile recordOf(const ZipDirEntry& e)
{
    ZipFile r;
    r.Version = e.NeededVersion;
    r.Flags = e.Flags;
    r.Method = e.Method;
    r.Time = uint16_t(e.DateTime);
    r.Date = uint16_t(e.DateTime >> 16);
    r.CRC32 = e.CRC32;
    r.CompressedSize = e.CompressedSize;
    r.UncompressedSize = e.UncompressedSize;
    r.NameLength = e.NameLength;
    r.ExtraLength = e.ExtraLength;
    r.FileName = e.FileName.left(TZipFile::kMaxNameLength);
    r.FileName.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return r;
}

// The entries of a directory as list records. False for the last part of a
// set, whose directory names other parts.
template <typename OnRecord>
bool recordsOf(const zipdir::Source& source, OnRecord&& onRecord)
{
    const zipdir::Directory d = zipdir::Read(source);
    if (d.fault == zipdir::Fault::Spanned)
        return false;
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
    return true;
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
    // An earlier part of a set says where the directory is.
    openError_ = TZipEngine::EarlierPartProblem(path);
    if (!openError_.isEmpty())
        return;
    auto take = [this](ZipFile&& r) {
        records_.push_back(std::move(r));
        if (OnReadFile)
            OnReadFile(*this, records_.back());
    };
    try {
        if (!recordsOf(zipdir::FileSource(file.handle()), take))
            readSet(path, take);
    } catch (const std::bad_alloc&) {
        // A directory too large for memory lists nothing.
        records_.clear();
    }
}

// A set is read from its last part by the engine, which opens the others.
void TZipFile::readSet(const QString& path, const std::function<void(ZipFile&&)>& take)
{
    TZipEngine engine;
    engine.Unattended = true;
    engine.UseDirOnlyEntries = true;
    QString failure;
    engine.OnMessage = [&failure](TZipEngine& e, int32_t, const QString& text) {
        if (e.ErrCode != 0 && e.ErrCode != ZipMsg::LI_GarbageAtEOF && e.ErrCode != ZipMsg::LI_WrongZipStruct
            && failure.isEmpty())
            failure = text;
    };
    engine.SetZipFileName(path);
    for (const ZipDirEntry& e : engine.Entries)
        take(recordOf(e));
    if (engine.Entries.empty())
        openError_ = failure;
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
