#include "codecs/TarReader.h"
#include "codecs/TarFormat.h"

#include <cstring>
#include <vector>

using namespace tarformat;

namespace {

constexpr qint64 CopyChunk = 256 * 1024;

TTarFileType typeFromByte(char t)
{
    switch (t) {
    case '1': return TTarFileType::HardLink;
    case '2': return TTarFileType::SymbolicLink;
    case '3': return TTarFileType::CharDevice;
    case '4': return TTarFileType::BlockDevice;
    case '5': return TTarFileType::Directory;
    case '6': return TTarFileType::Fifo;
    case '7': return TTarFileType::Contiguous;
    case 'D': return TTarFileType::DumpDirectory;
    case 'M': return TTarFileType::MultiVolume;
    case 'V': return TTarFileType::VolumeHeader;
    default: return TTarFileType::Regular;
    }
}

// A pax decimal number, optionally signed, with any fraction ignored.
bool paxNumber(const QByteArray& v, qint64& out)
{
    QByteArray s = v;
    const int dot = s.indexOf('.');
    if (dot >= 0)
        s.truncate(dot);
    bool ok = false;
    const qint64 n = s.toLongLong(&ok);
    if (ok)
        out = n;
    return ok;
}

} // namespace

TTarReader::TTarReader(const QString& path, QIODevice::OpenMode mode) : file_(path), dev_(&file_), name_(path)
{
    if (!file_.open(mode | QIODevice::Unbuffered))
        throw TTarError(QStringLiteral("Cannot open file \"%1\". %2").arg(path, file_.errorString()));
    fileSize_ = file_.size();
}

TTarReader::TTarReader(QIODevice& device, const QString& name) : dev_(&device), name_(name), sequential_(true) {}

TTarReader::~TTarReader() = default;

void TTarReader::requireSeekable(const char* what) const
{
    if (sequential_)
        throw TTarError(QStringLiteral("%1 is not possible on the stream \"%2\"").arg(QLatin1String(what), name_));
}

void TTarReader::rewind()
{
    requireSeekable("Rewinding");
    seekTo(0);
    pending_ = 0;
    globalPax_.clear();
}

qint64 TTarReader::position() const { return pos_; }

void TTarReader::seekTo(qint64 pos)
{
    if (!file_.seek(pos))
        throw TTarError(QStringLiteral("Seek error in \"%1\"").arg(name_));
    pos_ = pos;
}

qint64 TTarReader::readUpTo(char* buf, qint64 n)
{
    qint64 got = 0;
    while (got < n) {
        const qint64 r = dev_->read(buf + got, n - got);
        if (r < 0)
            throw TTarError(QStringLiteral("Read error in \"%1\". %2").arg(name_, dev_->errorString()));
        if (r == 0)
            break;
        got += r;
    }
    pos_ += got;
    return got;
}

bool TTarReader::skip(qint64 n)
{
    if (!sequential_) {
        if (n > fileSize_ - pos_)
            return false;
        seekTo(pos_ + n);
        return true;
    }
    std::vector<char> buf(size_t(std::min(n, CopyChunk)));
    while (n > 0) {
        const qint64 chunk = std::min(n, CopyChunk);
        if (readUpTo(buf.data(), chunk) < chunk)
            return false;
        n -= chunk;
    }
    return true;
}

void TTarReader::readExact(char* buf, qint64 n)
{
    if (readUpTo(buf, n) < n)
        throw TTarError(QStringLiteral("Unexpected end of the tar file \"%1\"").arg(name_));
}

void TTarReader::applyPax(const QByteArray& data, QMap<QByteArray, QByteArray>& into)
{
    // Records: "<length> <key>=<value>\n", the length counting the whole record.
    qsizetype p = 0;
    while (p < data.size()) {
        qsizetype sp = p;
        qint64 len = 0;
        while (sp < data.size() && data[sp] >= '0' && data[sp] <= '9' && len < data.size()) {
            len = len * 10 + (data[sp] - '0');
            ++sp;
        }
        if (sp >= data.size() || data[sp] != ' ' || len <= sp - p || p + len > data.size())
            return; // malformed: keep what was read so far
        const QByteArray rec = data.mid(sp + 1, p + len - sp - 1);
        p += len;
        if (!rec.endsWith('\n'))
            return;
        const qsizetype eq = rec.indexOf('=');
        if (eq <= 0)
            continue;
        const QByteArray key = rec.left(eq);
        const QByteArray value = rec.mid(eq + 1, rec.size() - eq - 2);
        if (value.isEmpty())
            into.remove(key);
        else
            into.insert(key, value);
    }
}

bool TTarReader::nextEntry(TTarEntry& entry)
{
    if (pending_ != 0) {
        const qint64 n = roundUp(pending_);
        pending_ = 0;
        if (!skip(n))
            return false;
    }

    QByteArray longName, longLink;
    bool haveLongName = false, haveLongLink = false;
    QMap<QByteArray, QByteArray> pax = globalPax_;
    char h[BlockSize];

    for (;;) {
        const qint64 headerPos = pos_;
        if (readUpTo(h, BlockSize) < BlockSize)
            return false;
        if (h[0] == '\0')
            return false;

        const char type = h[TypeOff];
        bool ok = true;
        const qint64 size = getNumber(h + SizeOff, LongLen, &ok);
        if (!ok || size < 0)
            throw TTarError(QStringLiteral("Corrupt tar header at offset %1 (bad size)").arg(headerPos));

        if (type == 'L' || type == 'K' || type == 'x' || type == 'g') {
            if (size > MaxExtensionSize)
                throw TTarError(QStringLiteral("Corrupt tar header at offset %1 (extension record too large)").arg(headerPos));
            QByteArray data(roundUp(size), '\0');
            if (readUpTo(data.data(), data.size()) < data.size())
                return false; // truncated archive
            data.truncate(size);
            if (type == 'L' || type == 'K') {
                const qsizetype z = data.indexOf('\0');
                if (z >= 0)
                    data.truncate(z);
                (type == 'L' ? longName : longLink) = data;
                (type == 'L' ? haveLongName : haveLongLink) = true;
            } else if (type == 'x') {
                applyPax(data, pax);
            } else {
                applyPax(data, globalPax_);
                applyPax(data, pax);
            }
            continue;
        }

        entry = TTarEntry();
        entry.headerPosition = headerPos;
        entry.typeByte = type;
        entry.fileType = typeFromByte(type);

        const QByteArray magicRaw(h + MagicOff, MagicLen);
        entry.magic = QString::fromLatin1(getText(h + MagicOff, MagicLen)).trimmed();
        QByteArray name = getText(h + NameOff, NameLen);
        // POSIX ustar ("ustar" and a zero byte) keeps the leading part of long
        // names in the prefix field; GNU headers use that area for other data.
        if (magicRaw.startsWith(QByteArray("ustar\0", 6))) {
            const QByteArray prefix = getText(h + PrefixOff, PrefixLen);
            if (!prefix.isEmpty())
                name = prefix + '/' + name;
        }
        if (haveLongName)
            name = longName;
        QByteArray link = getText(h + LinkOff, LinkLen);
        if (haveLongLink)
            link = longLink;

        const qint64 mode = getNumber(h + ModeOff, ShortLen);
        entry.permissions = quint16(mode & TarMode::AllPermissions);
        entry.specialBits = quint16(mode & TarMode::AllSpecial);
        entry.userId = quint32(getNumber(h + UidOff, ShortLen));
        entry.groupId = quint32(getNumber(h + GidOff, ShortLen));
        entry.size = size;
        entry.mtimeSeconds = getNumber(h + MtimeOff, LongLen);
        entry.userName = decodeText(getText(h + UnameOff, OwnerNameLen));
        entry.groupName = decodeText(getText(h + GnameOff, OwnerNameLen));
        entry.deviceMajor = quint32(getNumber(h + DevMajorOff, ShortLen));
        entry.deviceMinor = quint32(getNumber(h + DevMinorOff, ShortLen));

        const unsigned stored = unsigned(getNumber(h + ChecksumOff, ShortLen));
        entry.checksumOk = (stored & 0xffff) == (checksum345(h) & 0xffff)
                           || (stored & 0xffff) == (checksum512(h) & 0xffff)
                           || (stored & 0xffff) == (unsigned(checksum512Signed(h)) & 0xffff);

        if (!pax.isEmpty()) {
            qint64 n = 0;
            if (auto it = pax.constFind("path"); it != pax.cend())
                name = *it;
            if (auto it = pax.constFind("linkpath"); it != pax.cend())
                link = *it;
            if (auto it = pax.constFind("size"); it != pax.cend() && paxNumber(*it, n)) {
                if (n < 0)
                    throw TTarError(QStringLiteral("Corrupt tar header at offset %1 (bad size)").arg(headerPos));
                entry.size = n;
            }
            if (auto it = pax.constFind("mtime"); it != pax.cend() && paxNumber(*it, n))
                entry.mtimeSeconds = n;
            if (auto it = pax.constFind("uid"); it != pax.cend() && paxNumber(*it, n))
                entry.userId = quint32(n);
            if (auto it = pax.constFind("gid"); it != pax.cend() && paxNumber(*it, n))
                entry.groupId = quint32(n);
            if (auto it = pax.constFind("uname"); it != pax.cend())
                entry.userName = decodeText(*it);
            if (auto it = pax.constFind("gname"); it != pax.cend())
                entry.groupName = decodeText(*it);
        }
        entry.name = decodeText(name);
        entry.linkName = decodeText(link);
        entry.time = QDateTime::fromSecsSinceEpoch(entry.mtimeSeconds, Qt::UTC);

        pending_ = entry.hasData() ? entry.size : 0;
        return true;
    }
}

void TTarReader::copyBytes(qint64 n, QIODevice& out)
{
    std::vector<char> buf(size_t(std::min(n, CopyChunk)) + 1);
    while (n > 0) {
        const qint64 chunk = std::min(n, CopyChunk);
        readExact(buf.data(), chunk);
        if (out.write(buf.data(), chunk) != chunk)
            throw TTarError(QStringLiteral("Write error. %1").arg(out.errorString()));
        n -= chunk;
    }
}

void TTarReader::copyEntryData(QIODevice& out)
{
    if (pending_ == 0)
        return;
    const qint64 n = pending_;
    pending_ = 0;
    if (!sequential_ && n > fileSize_ - pos_)
        throw TTarError(QStringLiteral("Unexpected end of the tar file \"%1\"").arg(name_));
    copyBytes(n, out);
    const qint64 pad = roundUp(n) - n;
    if (sequential_)
        skip(pad);
    else
        seekTo(std::min(pos_ + pad, fileSize_));
}

void TTarReader::copyEntryDataToFile(const QString& path)
{
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw TTarError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, out.errorString()));
    copyEntryData(out);
    if (!out.flush())
        throw TTarError(QStringLiteral("Write error in \"%1\". %2").arg(path, out.errorString()));
    out.close();
    if (out.error() != QFileDevice::NoError)
        throw TTarError(QStringLiteral("Cannot close file \"%1\". %2").arg(path, out.errorString()));
}

void TTarReader::copyRange(qint64 offset, qint64 size, QIODevice& out)
{
    requireSeekable("Reading a range");
    if (offset < 0 || size < 0 || offset > fileSize_ || size > fileSize_ - offset)
        throw TTarError(QStringLiteral("Unexpected end of the tar file \"%1\"").arg(name_));
    pending_ = 0;
    seekTo(offset);
    copyBytes(size, out);
}
