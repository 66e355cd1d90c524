#include "codecs/TarWriter.h"
#include "codecs/TarFormat.h"

#include <QFileInfo>
#include <cstring>
#include <utility>

using namespace tarformat;

namespace {
constexpr qsizetype BufferLimit = 512 * 1024;
constexpr qint64 ReadChunk = 256 * 1024;
// GNU tar and bsdtar write in records of 20 blocks and expect the archive to
// end with two zero blocks, padded with zeros to a whole record.
constexpr qint64 RecordSize = 20 * BlockSize;
} // namespace

TTarWriter::TTarWriter() = default;

TTarWriter::TTarWriter(const QString& path, QIODevice::OpenMode mode) { open(path, mode); }

TTarWriter::TTarWriter(QIODevice& sink, const QString& name) : out_(&sink), name_(name)
{
    buf_.reserve(BufferLimit + ReadChunk + BlockSize);
}

TTarWriter::~TTarWriter()
{
    try {
        close();
    } catch (const TTarError&) {
    }
}

void TTarWriter::open(const QString& path, QIODevice::OpenMode mode)
{
    if (file_.isOpen())
        close();
    file_.setFileName(path);
    out_ = &file_;
    name_ = path;
    written_ = 0;
    if (!file_.open(mode | QIODevice::Unbuffered))
        throw TTarError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, file_.errorString()));
    finished_ = false;
    buf_.clear();
    buf_.reserve(BufferLimit + ReadChunk + BlockSize);
}

qint64 TTarWriter::headerTime(const QDateTime& time)
{
    if (!time.isValid())
        return 0;
    const qint64 s = time.toSecsSinceEpoch();
    return s < 0 ? 0 : s;
}

QByteArray TTarWriter::magicField() const
{
    QByteArray m = magic.toLatin1().left(MagicLen);
    while (m.size() < MagicLen)
        m.append(' ');
    return m;
}

void TTarWriter::put(const char* data, qint64 n)
{
    buf_.append(data, n);
    if (buf_.size() >= BufferLimit)
        flushBuffer();
}

void TTarWriter::flushBuffer()
{
    if (buf_.isEmpty())
        return;
    const qint64 n = buf_.size();
    const qint64 w = out_->write(buf_.constData(), n);
    buf_.clear();
    if (w != n)
        throw TTarError(QStringLiteral("Write error in \"%1\". %2").arg(name_, out_->errorString()));
    written_ += n;
}

quint16 TTarWriter::fileMode(const QFileInfo& info)
{
    // Flag by flag: asking for the whole set would also ask what the current
    // user may do, one access() call for each of three more flags.
    static constexpr std::pair<QFile::Permission, quint16> bits[] = {
        {QFile::ReadOwner, TarMode::OwnerRead},   {QFile::WriteOwner, TarMode::OwnerWrite},
        {QFile::ExeOwner, TarMode::OwnerExecute}, {QFile::ReadGroup, TarMode::GroupRead},
        {QFile::WriteGroup, TarMode::GroupWrite}, {QFile::ExeGroup, TarMode::GroupExecute},
        {QFile::ReadOther, TarMode::OtherRead},   {QFile::WriteOther, TarMode::OtherWrite},
        {QFile::ExeOther, TarMode::OtherExecute}};
    quint16 m = 0;
    for (const auto& [flag, bit] : bits)
        if (info.permission(flag))
            m |= bit;
    return m;
}

void TTarWriter::writeHeader(const QByteArray& name, qint64 size, qint64 mtime, char type, const QByteArray& magic8,
                             quint16 mode)
{
    if (!isOpen())
        throw TTarError(QStringLiteral("The tar file is not open"));
    char h[BlockSize];
    std::memset(h, 0, sizeof h);
    putText(h + NameOff, NameLen, name);
    putShortOctal(h + ModeOff, (mode & TarMode::AllPermissions) | (specialBits & TarMode::AllSpecial));
    putShortOctal(h + UidOff, userId);
    putShortOctal(h + GidOff, groupId);
    putLongOctal(h + SizeOff, uint64_t(size));
    putLongOctal(h + MtimeOff, uint64_t(mtime));
    h[TypeOff] = type;
    std::memcpy(h + MagicOff, magic8.constData(), MagicLen);
    putText(h + UnameOff, OwnerNameLen, userName.toUtf8());
    putText(h + GnameOff, OwnerNameLen, groupName.toUtf8());
    putShortOctal(h + DevMajorOff, 0);
    putShortOctal(h + DevMinorOff, 0);
    putShortOctal(h + ChecksumOff, checksum345(h));
    put(h, BlockSize);
}

void TTarWriter::writeLongNameRecord(const QByteArray& name)
{
    // GNU tar's form: a header named ././@LongLink of type 'L' whose data is
    // the full name and a zero byte.
    const QByteArray data = name + '\0';
    writeHeader(QByteArrayLiteral("././@LongLink"), data.size(), 0, 'L', QByteArray("ustar  \0", 8), permissions);
    QByteArray padded = data;
    padded.append(QByteArray(roundUp(data.size()) - data.size(), '\0'));
    put(padded.constData(), padded.size());
}

void TTarWriter::addFile(const QString& diskPath, const QString& memberName)
{
    QString name = memberName;
    if (name.isEmpty()) {
        name = diskPath;
        name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    addFile(QFileInfo(diskPath), name);
}

void TTarWriter::addFile(const QFileInfo& info, const QString& memberName)
{
    const QString diskPath = info.filePath();
    const QDateTime time = info.exists() ? info.lastModified() : QDateTime();
    QFile in(diskPath);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw TTarError(QStringLiteral("Cannot open file \"%1\". %2").arg(diskPath, in.errorString()));
    addData(in, memberName, time, modesFromFiles ? fileMode(info) : permissions);
}

void TTarWriter::addStream(QIODevice& stream, const QString& memberName, const QDateTime& time)
{
    addData(stream, memberName, time, permissions);
}

void TTarWriter::addData(QIODevice& stream, const QString& memberName, const QDateTime& time, quint16 mode)
{
    const qint64 size = std::max<qint64>(0, stream.size() - stream.pos());
    const QByteArray name = memberName.toUtf8();
    if (name.size() > NameLen)
        writeLongNameRecord(name);
    writeHeader(name, size, headerTime(time), '0', magicField(), mode);

    qint64 left = size;
    bool shortRead = false;
    while (left > 0) {
        const qint64 chunk = std::min(left, ReadChunk);
        const qsizetype at = buf_.size();
        buf_.resize(at + roundUp(chunk));
        qint64 got = 0;
        while (got < chunk) {
            const qint64 r = stream.read(buf_.data() + at + got, chunk - got);
            if (r <= 0)
                break;
            got += r;
        }
        if (got < chunk) {
            // The source shrank or failed: keep the archive well formed (the
            // header promised `size` bytes), then report it.
            shortRead = true;
        }
        std::memset(buf_.data() + at + got, 0, size_t(roundUp(chunk) - got));
        left -= chunk;
        if (buf_.size() >= BufferLimit)
            flushBuffer();
    }
    // Each entry reaches the disk before the next begins, so that a caller
    // watching the free space sees what the archive really takes.
    flushBuffer();
    if (shortRead)
        throw TTarError(QStringLiteral("Read error in \"%1\"").arg(memberName));
}

void TTarWriter::addVolumeHeader(const QString& label, const QDateTime& time)
{
    const QByteArray name = label.toUtf8();
    writeHeader(name, 0, headerTime(time), 'V', magicField(), permissions);
}

void TTarWriter::addDirectory(const QString& memberName, const QDateTime& time)
{
    QByteArray name = memberName.toUtf8();
    if (!name.endsWith('/'))
        name.append('/');
    if (name.size() > NameLen)
        writeLongNameRecord(name);
    writeHeader(name, 0, headerTime(time), '5', magicField(), permissions);
}

void TTarWriter::finish()
{
    if (finished_ || !isOpen())
        return;
    finished_ = true;
    const qint64 end = written_ + buf_.size() + 2 * BlockSize;
    const qint64 padded = (end + RecordSize - 1) / RecordSize * RecordSize;
    const QByteArray zeros(padded - end + 2 * BlockSize, '\0');
    put(zeros.constData(), zeros.size());
    flushBuffer();
    if (out_ == &file_ && !file_.flush())
        throw TTarError(QStringLiteral("Write error in \"%1\". %2").arg(name_, file_.errorString()));
}

void TTarWriter::close()
{
    if (out_ != &file_) {
        if (isOpen())
            finish();
        return;
    }
    if (!file_.isOpen())
        return;
    try {
        finish();
    } catch (...) {
        buf_.clear();
        file_.close();
        throw;
    }
    file_.close();
    if (file_.error() != QFileDevice::NoError)
        throw TTarError(QStringLiteral("Cannot close file \"%1\". %2").arg(file_.fileName(), file_.errorString()));
}
