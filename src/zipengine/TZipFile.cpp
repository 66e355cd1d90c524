#include "TZipFile.h"

#include "TZipEngine.h"
#include "zipdir/ZipDir.h"

#include <QFile>
#include <QFileInfo>

#include <new>

namespace {

// One list record from an entry's fields; the name is cut to the longest
// the list keeps.
ZipFile recordOf(uint16_t version, uint16_t flags, uint16_t method, uint32_t dosDateTime, uint32_t crc,
                 uint64_t compressed, uint64_t uncompressed, size_t nameLength, size_t extraLength, QString name)
{
    ZipFile r;
    r.Version = version;
    r.Flags = flags;
    r.Method = method;
    r.Time = uint16_t(dosDateTime);
    r.Date = uint16_t(dosDateTime >> 16);
    r.CRC32 = crc;
    r.CompressedSize = compressed;
    r.UncompressedSize = uncompressed;
    r.NameLength = uint16_t(nameLength);
    r.ExtraLength = uint16_t(extraLength);
    if (name.size() > TZipFile::kMaxNameLength) {
        name.truncate(TZipFile::kMaxNameLength);
        if (name.back().isHighSurrogate())
            name.chop(1);
    }
    r.FileName = std::move(name);
    return r;
}

// An entry the engine read from a set (its names carry "\").
ZipFile recordOf(const ZipDirEntry& e)
{
    QString name = e.FileName;
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return recordOf(e.NeededVersion, e.Flags, e.Method, e.DateTime, e.CRC32, e.CompressedSize, e.UncompressedSize,
                    e.NameLength, e.ExtraLength, std::move(name));
}

// The entries of a directory as list records. False for the last part of a
// set, whose directory names other parts.
template <typename OnRecord>
bool recordsOf(const zipdir::Source& source, OnRecord&& onRecord)
{
    const zipdir::Directory d = zipdir::Read(source);
    if (d.fault == zipdir::Fault::Spanned)
        return false;
    for (const zipdir::Entry& e : d.entries)
        onRecord(recordOf(e.neededVersion, e.flags, e.method, e.dosDateTime, e.crc, e.compressedSize,
                          e.uncompressedSize, e.rawName.size(), e.extra.size(), QString::fromUtf8(e.name)));
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
