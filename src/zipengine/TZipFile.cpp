#include "TZipFile.h"

#include "ZipCodePage.h"
#include "ZipFormat.h"

#include <QBuffer>
#include <QFileInfo>

namespace {

// The walk over any readable source. `onRecord` is called with each appended record.
template <typename OnRecord>
void walkLocalHeaders(ZipBufferedReader& in, OnRecord&& onRecord)
{
    unsigned char sig[4];
    QByteArray name;
    for (;;) {
        if (in.Read(sig, 4) < 4)
            return;
        const uint32_t value = GetLE32(sig);
        if (value == ZipSig::LocalHeader) {
            unsigned char h[26];
            if (in.Read(h, 26) < 26)
                return; // a truncated header is not a record
            ZipFile r;
            r.Version = GetLE16(h);
            r.Flags = GetLE16(h + 2);
            r.Method = GetLE16(h + 4);
            r.Time = GetLE16(h + 6);
            r.Date = GetLE16(h + 8);
            r.CRC32 = GetLE32(h + 10);
            r.CompressedSize = GetLE32(h + 14);
            r.UncompressedSize = GetLE32(h + 18);
            r.NameLength = GetLE16(h + 22);
            r.ExtraLength = GetLE16(h + 24);
            if (in.Read(name, r.NameLength) < r.NameLength)
                return;
            QString text = ZipText::DecodeLocalName(name.constData(), name.size(), r.Flags);
            if (text.size() > TZipFile::kMaxNameLength) {
                text.truncate(TZipFile::kMaxNameLength);
                if (text.back().isHighSurrogate())
                    text.chop(1);
            }
            r.FileName = std::move(text);
            const bool more = in.Skip(r.ExtraLength) && in.Skip(r.CompressedSize);
            onRecord(std::move(r));
            if (!more)
                return; // the data runs past the end of the file
        } else if (value == ZipSig::CentralHeader) {
            if (!in.Skip(42))
                return;
        } else if (value == ZipSig::EndOfCentral) {
            return;
        }
        // Any other value: go on with the next four bytes.
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
    ZipBufferedReader in(file);
    walkLocalHeaders(in, [this](ZipFile&& r) {
        records_.push_back(std::move(r));
        if (OnReadFile)
            OnReadFile(*this, records_.back());
    });
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
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ZipBufferedReader in(buffer, 64 * 1024);
    walkLocalHeaders(in, [&out](ZipFile&& r) { out.push_back(std::move(r)); });
    return out;
}
