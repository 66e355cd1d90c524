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

// "offset,length,offset,length..." (a trailing comma allowed) into pairs.
bool sparsePairs(const QByteArray& text, std::vector<std::pair<qint64, qint64>>& out)
{
    const QList<QByteArray> parts = text.split(',');
    qint64 first = 0;
    int have = 0;
    for (const QByteArray& p : parts) {
        if (p.isEmpty())
            continue;
        qint64 n = 0;
        if (!paxNumber(p, n) || n < 0)
            return false;
        if (have == 0) {
            first = n;
            have = 1;
        } else {
            out.emplace_back(first, n);
            have = 0;
        }
    }
    return have == 0;
}

// Keys a global pax record may set for the members after it. Others are
// dropped, so a stream of global records cannot pile up in memory.
bool keptGlobally(const QByteArray& key)
{
    static const char* const keys[] = {"path", "linkpath", "size", "mtime", "uid", "gid", "uname", "gname"};
    for (const char* k : keys)
        if (key == k)
            return true;
    return false;
}

QString unexpectedEnd(const QString& name)
{
    return QStringLiteral("Unexpected end of the tar file \"%1\"").arg(name);
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

void TTarReader::applyPax(const QByteArray& data, QMap<QByteArray, QByteArray>& into, bool global)
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
        if (global && !keptGlobally(key))
            continue;
        // Sparse format 0.0 repeats these two keys once per piece of data.
        if (key == "GNU.sparse.offset" || key == "GNU.sparse.numbytes") {
            QByteArray& map = into["GNU.sparse.map"];
            if (map.size() + value.size() + 1 > MaxExtensionSize)
                throw TTarError(QStringLiteral("Corrupt tar header (sparse map too large)"));
            map += value + ',';
            continue;
        }
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
            throw TTarError(unexpectedEnd(name_));
    }
    sparse_.clear();
    realSize_ = 0;

    QByteArray longName, longLink;
    bool haveLongName = false, haveLongLink = false;
    QMap<QByteArray, QByteArray> pax = globalPax_;
    char h[BlockSize];

    for (;;) {
        const qint64 headerPos = pos_;
        const qint64 got = readUpTo(h, BlockSize);
        if (got == 0)
            return false; // no end marker: the archive simply stops
        if (got < BlockSize)
            throw TTarError(QStringLiteral("Unexpected end of the tar file \"%1\" inside a header").arg(name_));
        if (h[0] == '\0')
            return false;

        const char type = h[TypeOff];
        bool ok = true;
        const qint64 size = getNumber(h + SizeOff, LongLen, &ok);
        if (!ok || size < 0 || size > MaxMemberSize)
            throw TTarError(QStringLiteral("Corrupt tar header at offset %1 (bad size)").arg(headerPos));

        if (type == 'L' || type == 'K' || type == 'x' || type == 'g') {
            if (size > MaxExtensionSize)
                throw TTarError(QStringLiteral("Corrupt tar header at offset %1 (extension record too large)").arg(headerPos));
            QByteArray data(roundUp(size), '\0');
            if (readUpTo(data.data(), data.size()) < data.size())
                throw TTarError(unexpectedEnd(name_));
            data.truncate(size);
            if (type == 'L' || type == 'K') {
                const qsizetype z = data.indexOf('\0');
                if (z >= 0)
                    data.truncate(z);
                (type == 'L' ? longName : longLink) = data;
                (type == 'L' ? haveLongName : haveLongLink) = true;
            } else if (type == 'x') {
                applyPax(data, pax, false);
            } else {
                applyPax(data, globalPax_, true);
                applyPax(data, pax, true);
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
                if (n < 0 || n > MaxMemberSize)
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
        pending_ = entry.hasData() ? entry.size : 0;

        if (entry.checksumOk) {
            if (type == 'S')
                readGnuSparse(h, entry);
            else if (!pax.isEmpty())
                readPaxSparse(pax, name, entry);
        }
        entry.name = decodeText(name);
        entry.linkName = decodeText(link);
        entry.time = QDateTime::fromSecsSinceEpoch(entry.mtimeSeconds, Qt::UTC);
        if (entry.sparse) {
            checkSparseMap(entry);
            sparse_ = entry.sparseMap;
            realSize_ = entry.realSize;
        }
        return true;
    }
}

void TTarReader::readGnuSparse(const char* h, TTarEntry& entry)
{
    // Four pieces in the header, 21 in each extension block that follows it.
    constexpr int HeaderMapOff = 386, IsExtendedOff = 482, RealSizeOff = 483;
    constexpr int PieceLen = 24, BlockPieces = 21, BlockIsExtendedOff = 504;
    auto addPieces = [&](const char* p, int count) {
        for (int i = 0; i < count; ++i, p += PieceLen) {
            if (p[0] == '\0')
                break;
            bool okOffset = true, okLength = true;
            const qint64 offset = getNumber(p, LongLen, &okOffset);
            const qint64 length = getNumber(p + LongLen, LongLen, &okLength);
            if (!okOffset || !okLength)
                throw TTarError(QStringLiteral("Corrupt sparse map in \"%1\"").arg(name_));
            entry.sparseMap.emplace_back(offset, length);
        }
    };
    entry.sparse = true;
    entry.fileType = TTarFileType::Regular;
    bool ok = true;
    entry.realSize = getNumber(h + RealSizeOff, LongLen, &ok);
    if (!ok)
        throw TTarError(QStringLiteral("Corrupt sparse map in \"%1\"").arg(name_));
    addPieces(h + HeaderMapOff, 4);
    bool more = h[IsExtendedOff] != '\0';
    char block[BlockSize];
    while (more) {
        readExact(block, BlockSize);
        addPieces(block, BlockPieces);
        more = block[BlockIsExtendedOff] != '\0';
    }
}

void TTarReader::readPaxSparse(const QMap<QByteArray, QByteArray>& pax, QByteArray& name, TTarEntry& entry)
{
    qint64 n = 0;
    const auto major = pax.constFind("GNU.sparse.major");
    if (major != pax.cend()) {
        // 1.0: the map is a list of decimal lines at the start of the data.
        if (*major != "1" || pax.value("GNU.sparse.minor") != "0")
            throw TTarError(QStringLiteral("Unsupported sparse format in \"%1\"").arg(name_));
        if (!paxNumber(pax.value("GNU.sparse.realsize"), n))
            throw TTarError(QStringLiteral("Corrupt sparse map in \"%1\"").arg(name_));
        entry.realSize = n;
        entry.sparse = true;
        if (auto it = pax.constFind("GNU.sparse.name"); it != pax.cend())
            name = *it;
        readSparseMapBlocks(entry);
        return;
    }
    const auto map = pax.constFind("GNU.sparse.map");
    if (map == pax.cend())
        return;
    // 0.0 and 0.1: the map sits in the extended header.
    if (!paxNumber(pax.value("GNU.sparse.size", pax.value("GNU.sparse.realsize")), n) || !sparsePairs(*map, entry.sparseMap))
        throw TTarError(QStringLiteral("Corrupt sparse map in \"%1\"").arg(name_));
    entry.realSize = n;
    entry.sparse = true;
    if (auto it = pax.constFind("GNU.sparse.name"); it != pax.cend())
        name = *it;
}

void TTarReader::readSparseMapBlocks(TTarEntry& entry)
{
    // "<count>\n" then "<offset>\n<length>\n" per piece, padded to a block.
    QByteArray text;
    qsizetype at = 0;
    auto nextNumber = [&]() {
        for (;;) {
            const qsizetype nl = text.indexOf('\n', at);
            if (nl >= 0) {
                qint64 v = 0;
                const QByteArray digits = text.mid(at, nl - at);
                if (digits.isEmpty() || digits.size() > 19 || !paxNumber(digits, v) || v < 0)
                    throw TTarError(QStringLiteral("Corrupt sparse map in \"%1\"").arg(name_));
                at = nl + 1;
                return v;
            }
            if (text.size() - at > 19 || pending_ < BlockSize)
                throw TTarError(QStringLiteral("Corrupt sparse map in \"%1\"").arg(name_));
            text = text.mid(at);
            at = 0;
            const qsizetype old = text.size();
            text.resize(old + BlockSize);
            readExact(text.data() + old, BlockSize);
            pending_ -= BlockSize;
        }
    };
    const qint64 count = nextNumber();
    for (qint64 i = 0; i < count; ++i) {
        const qint64 offset = nextNumber();
        const qint64 length = nextNumber();
        entry.sparseMap.emplace_back(offset, length);
    }
    entry.size = pending_;
}

void TTarReader::checkSparseMap(const TTarEntry& entry) const
{
    qint64 end = 0, stored = 0;
    bool ok = entry.realSize >= 0 && entry.realSize <= MaxMemberSize;
    for (const auto& [offset, length] : entry.sparseMap) {
        if (!ok || offset < end || length < 0 || offset > entry.realSize || length > entry.realSize - offset) {
            ok = false;
            break;
        }
        end = offset + length;
        stored += length;
    }
    if (!ok || stored != entry.size)
        throw TTarError(QStringLiteral("Corrupt sparse map in \"%1\"").arg(name_));
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
    if (!sparse_.empty() || realSize_ > 0) {
        copySparseData(out);
        return;
    }
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

void TTarReader::copySparseData(QIODevice& out)
{
    const std::vector<std::pair<qint64, qint64>> map = std::move(sparse_);
    const qint64 realSize = realSize_;
    sparse_.clear();
    realSize_ = 0;
    const qint64 n = pending_;
    pending_ = 0;
    if (!sequential_ && n > fileSize_ - pos_)
        throw TTarError(unexpectedEnd(name_));
    auto* file = qobject_cast<QFileDevice*>(&out);
    const std::vector<char> zeros(size_t(std::min<qint64>(CopyChunk, std::max<qint64>(realSize, 1))), '\0');
    qint64 at = 0;
    // Holes are left unwritten in a file, written as zeros elsewhere.
    auto moveTo = [&](qint64 to) {
        if (file) {
            if (!file->seek(to))
                throw TTarError(QStringLiteral("Write error. %1").arg(out.errorString()));
        } else {
            for (qint64 left = to - at; left > 0;) {
                const qint64 chunk = std::min<qint64>(left, qint64(zeros.size()));
                if (out.write(zeros.data(), chunk) != chunk)
                    throw TTarError(QStringLiteral("Write error. %1").arg(out.errorString()));
                left -= chunk;
            }
        }
        at = to;
    };
    for (const auto& [offset, length] : map) {
        moveTo(offset);
        copyBytes(length, out);
        at += length;
    }
    // A file ending in a hole is cut to its length; a seek alone does not make it longer.
    if (file) {
        if (!file->flush() || (file->size() != realSize && !file->resize(realSize)))
            throw TTarError(QStringLiteral("Write error. %1").arg(out.errorString()));
    } else if (at < realSize) {
        moveTo(realSize);
    }
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
