#include "codecs/Gzip.h"
#include "codecs/GzipReader.h"
#include "platform/Prompter.h"

#include <QFile>
#include <QFileInfo>
#include <vector>
#include <zlib.h>

namespace {
constexpr int BlockSize = 16384;

void putLE32(unsigned char* p, uLong v)
{
    p[0] = (unsigned char)(v & 0xff);
    p[1] = (unsigned char)((v >> 8) & 0xff);
    p[2] = (unsigned char)((v >> 16) & 0xff);
    p[3] = (unsigned char)((v >> 24) & 0xff);
}
} // namespace

TGzip::TGzip() : Comments(QStringLiteral("Compressed with zlib ") + QString::fromLatin1(zlibVersion())) {}

QString TGzip::shownDestination() const
{
    return DestinationShownAs.isEmpty() ? FileDestination : DestinationShownAs;
}

void TGzip::showError(const QString& text)
{
    if (WindowOnError && prompter)
        prompter->message(PromptKind::Error, text, unsigned(PromptButton::Abort));
}

void TGzip::report(qint64 done, qint64 total, bool last, int& lastReported)
{
    if (ProgressStep <= 0)
        return;
    const qint64 percent = total > 0 ? done * 100 / total : 100;
    if (percent >= lastReported + ProgressStep || last) {
        progress_ = int(std::min<qint64>(percent, 1 << 30));
        lastReported = progress_;
        if (OnProgress)
            OnProgress(*this);
    }
}

int TGzip::compress()
{
    progress_ = 0;
    QFile src(FileSource);
    if (!src.open(QIODevice::ReadOnly)) {
        showError(QStringLiteral("Can't open: ") + FileSource);
        return SourceOpenError;
    }
    QFile dst(FileDestination);
    if (!dst.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        showError(QStringLiteral("Can't open: ") + shownDestination());
        return DestinationCreateError;
    }

    z_stream zs{};
    const int strategy = CompressionType == Filtered ? Z_FILTERED
                         : CompressionType == HuffmanOnly ? Z_HUFFMAN_ONLY : Z_DEFAULT_STRATEGY;
    const int level = std::clamp(CompressionLevel, 0, 9);
    if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, strategy) != Z_OK) {
        showError(QStringLiteral("Can't open: ") + shownDestination());
        return DestinationCreateError;
    }

    int code = 0;
    QByteArray header("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x00", 10);
    if (GzipHeader & filename)
        header[3] = char(header[3] | 0x08);
    if (GzipHeader & comment)
        header[3] = char(header[3] | 0x10);
    if (GzipHeader & filename)
        header += QFileInfo(FileSource).fileName().toUtf8() + '\0';
    if (GzipHeader & comment)
        header += Comments.toUtf8() + '\0';
    if (dst.write(header) != header.size())
        code = 2;

    const qint64 total = src.size();
    qint64 done = 0;
    int lastReported = 0;
    if (ProgressStep > 0 && OnProgress)
        OnProgress(*this);

    std::vector<unsigned char> in(BlockSize), out(BlockSize);
    uLong crc = crc32(0L, Z_NULL, 0);
    bool atEnd = false;
    while (code == 0 && !atEnd) {
        const qint64 n = src.read(reinterpret_cast<char*>(in.data()), BlockSize);
        if (n < 0) {
            code = 1;
            break;
        }
        atEnd = n == 0 || src.atEnd();
        crc = crc32(crc, in.data(), uInt(n));
        done += n;
        zs.next_in = in.data();
        zs.avail_in = uInt(n);
        const int flush = atEnd ? Z_FINISH : Z_NO_FLUSH;
        do {
            zs.next_out = out.data();
            zs.avail_out = BlockSize;
            const int r = deflate(&zs, flush);
            if (r == Z_STREAM_ERROR) {
                code = 3;
                break;
            }
            const qint64 have = BlockSize - zs.avail_out;
            if (have > 0 && dst.write(reinterpret_cast<char*>(out.data()), have) != have) {
                code = 2;
                break;
            }
        } while (zs.avail_out == 0);
        if (code == 0)
            report(done, total, atEnd, lastReported);
    }
    deflateEnd(&zs);
    src.close();
    if (code == 0) {
        unsigned char trailer[8];
        putLE32(trailer, crc);
        putLE32(trailer + 4, uLong(done & 0xffffffffu));
        if (dst.write(reinterpret_cast<char*>(trailer), 8) != 8)
            code = 3;
    }
    if (!dst.flush() && code == 0)
        code = 3;
    dst.close();
    if (dst.error() != QFileDevice::NoError && code == 0)
        code = 3;
    if (code != 0)
        return code + 100;
    if (DeleteSource)
        QFile::remove(FileSource);
    return Ok;
}

int TGzip::decompress()
{
    progress_ = 0;
    TGzipReader src(FileSource);
    if (!src.open(QIODevice::ReadOnly)) {
        showError(QStringLiteral("Can't open: ") + FileSource);
        return SourceOpenError;
    }
    QFile dst(FileDestination);
    if (!dst.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
        showError(QStringLiteral("Can't create: ") + shownDestination());
        return DestinationCreateError;
    }

    const qint64 total = src.sourceSize();
    qint64 done = 0;
    int lastReported = 0;
    if (ProgressStep > 0 && OnProgress)
        OnProgress(*this);

    std::vector<char> out(4 * BlockSize);
    bool dataError = false, writeError = false;
    for (;;) {
        const qint64 got = src.read(out.data(), qint64(out.size()));
        if (got < 0)
            dataError = true; // damaged data, CRC or length mismatch, truncation
        if (got <= 0)
            break;
        if (dst.write(out.data(), got) != got) {
            writeError = true;
            break;
        }
        done += got;
        report(done, total, false, lastReported);
    }
    src.close();
    if (!dataError && !writeError)
        report(done, total, true, lastReported);
    if (dataError)
        showError(QStringLiteral("gzclose Error."));
    dst.close();
    if (writeError || dst.error() != QFileDevice::NoError) {
        showError(QStringLiteral("Can't close file ") + shownDestination());
        return DestinationCloseError;
    }
    if (dataError)
        return DataError;
    // The source goes only once its contents are safely in the destination.
    if (DeleteSource)
        QFile::remove(FileSource);
    return Ok;
}

int TGzip::readHeader()
{
    storedName_.clear();
    headerComment_.clear();
    QFile f(FileSource);
    if (!f.open(QIODevice::ReadOnly)) {
        showError(QStringLiteral("Can't open: ") + FileSource);
        return HeaderOpenError;
    }
    const qint64 fileSize = f.size();
    const QByteArray h = f.read(10);
    if (h.size() < 10 || uchar(h[0]) != 0x1f || uchar(h[1]) != 0x8b)
        return NotGzip;
    const uchar flags = uchar(h[3]);
    if (uchar(h[2]) != 8 || (flags & 0xe0))
        return Unsupported;
    if (flags & 0x04) {
        const QByteArray l = f.read(2);
        if (l.size() < 2)
            return NotGzip;
        const qint64 len = uchar(l[0]) | (qint64(uchar(l[1])) << 8);
        if (12 + len > fileSize)
            return NotGzip;
        f.seek(12 + len);
    }
    auto readText = [&f](QByteArray& out) {
        char c;
        while (f.getChar(&c)) {
            if (c == '\0')
                return true;
            if (out.size() >= MaxHeaderText)
                return false;
            out.append(c);
        }
        return false;
    };
    QByteArray name, note;
    if ((flags & 0x08) && !readText(name))
        return NotGzip;
    if ((flags & 0x10) && !readText(note))
        return NotGzip;
    auto decode = [](const QByteArray& b) {
        const QString s = QString::fromUtf8(b);
        return s.contains(QChar::ReplacementCharacter) ? QString::fromLatin1(b) : s;
    };
    storedName_ = decode(name);
    headerComment_ = decode(note);
    return Ok;
}
