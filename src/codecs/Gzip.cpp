#include "codecs/Gzip.h"
#include "codecs/GzipReader.h"
#include "codecs/GzipWriter.h"
#include "platform/Prompter.h"

#include <QFile>
#include <QFileInfo>
#include <vector>
#include <zlib.h>

namespace {
constexpr int BlockSize = 16384;
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
    stopRequested_ = false;
    failureReason_.clear();
    QFile src(FileSource);
    if (!src.open(QIODevice::ReadOnly)) {
        showError(QStringLiteral("Can't open: ") + FileSource);
        return SourceOpenError;
    }
    // The blocks are compressed on every core; an unfinished destination is
    // removed by the writer.
    TGzipWriter dst(FileDestination);
    dst.level = std::clamp(CompressionLevel, 0, 9);
    dst.strategy = CompressionType == Filtered      ? TGzipWriter::Filtered
                   : CompressionType == HuffmanOnly ? TGzipWriter::HuffmanOnly
                                                    : TGzipWriter::Default;
    if (GzipHeader & filename)
        dst.storedName = QFileInfo(FileSource).fileName().toUtf8();
    if (GzipHeader & comment)
        dst.comment = Comments.toUtf8();
    if (!dst.open(QIODevice::WriteOnly)) {
        showError(QStringLiteral("Can't open: ") + shownDestination());
        return DestinationCreateError;
    }

    const qint64 total = src.size();
    qint64 done = 0;
    int lastReported = 0;
    if (ProgressStep > 0 && OnProgress)
        OnProgress(*this);

    int code = 0;
    std::vector<char> in(BlockSize);
    bool atEnd = false;
    while (code == 0 && !atEnd) {
        if (stopRequested_) {
            code = Stopped - 100;
            break;
        }
        const qint64 n = src.read(in.data(), BlockSize);
        if (n < 0) {
            code = 1;
            break;
        }
        atEnd = n == 0 || src.atEnd();
        done += n;
        if (n > 0 && dst.write(in.data(), n) != n) {
            code = 2;
            break;
        }
        report(done, total, atEnd, lastReported);
    }
    src.close();
    if (code == 0 && !dst.finish())
        code = 3;
    if (code == 1)
        failureReason_ = src.errorString();
    else if (code == 2 || code == 3)
        failureReason_ = dst.errorString();
    if (code != 0) {
        dst.discard();
        return code + 100;
    }
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
