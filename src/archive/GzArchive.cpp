#include "archive/GzArchive.h"

#include "archive/ExtractionPolicy.h"
#include "codecs/Gzip.h"
#include "codecs/GzipReader.h"
#include "codecs/TarEntry.h"

#include <QFileInfo>

#include <vector>

QString GzArchive::targetName(const QString& gzipPath)
{
    TGzip gz;
    gz.WindowOnError = false;
    gz.FileSource = gzipPath;
    if (gz.readHeader() != TGzip::Ok)
        return QString();
    if (!gz.storedName().isEmpty()) {
        const QString safe = tarSafeRelativePath(gz.storedName());
        const QString leaf = safe.mid(safe.lastIndexOf(QLatin1Char('/')) + 1);
        if (!leaf.isEmpty())
            return leaf;
    }
    // Streams written through a pipe (tar -z, gzip -c) carry no name: the
    // file's own name tells what it holds, as gunzip reads it.
    const QString name = QFileInfo(gzipPath).fileName();
    const QString lower = name.toLower();
    if (lower.endsWith(QLatin1String(".tgz")))
        return name.left(name.size() - 4) + QStringLiteral(".tar");
    if (lower.endsWith(QLatin1String(".gz")) && name.size() > 3)
        return name.left(name.size() - 3);
    return QString();
}

QString GzArchive::entry(ArchiveEntry& out) const
{
    const QFileInfo fi(path_);
    if (!fi.isFile())
        return QStringLiteral("cannot open %1").arg(path_);
    out = ArchiveEntry();
    out.index = 0;
    out.name = targetName(path_);
    if (out.name.isEmpty())
        return QStringLiteral("%1 is not a gzip file that can be read").arg(path_);
    out.size = fi.size();
    out.time = fi.lastModified().toUTC();
    return QString();
}

QString GzArchive::list(const std::function<bool(const ArchiveEntry&)>& each)
{
    ArchiveEntry e;
    const QString error = entry(e);
    if (error.isEmpty())
        each(e);
    return error;
}

void GzArchive::decompressInto(QIODevice& out, bool& trailing) const
{
    TGzipReader gz(path_);
    if (!gz.open(QIODevice::ReadOnly))
        throw TTarError(QStringLiteral("cannot open %1").arg(path_));
    std::vector<char> buf(256 * 1024);
    qint64 got;
    while ((got = gz.read(buf.data(), qint64(buf.size()))) > 0)
        if (out.write(buf.data(), got) != got)
            throw TTarError(QStringLiteral("write error: %1").arg(out.errorString()));
    if (got < 0)
        throw TTarError(gz.damaged() ? QStringLiteral("%1 is damaged (bad or truncated compressed data)").arg(path_)
                                     : gz.errorString());
    trailing = gz.trailingGarbage();
}

ExtractResult GzArchive::extract(const ExtractRequest& request)
{
    ExtractionPolicy policy(request);
    if (!policy.openError().isEmpty())
        return policy.finish(policy.openError());
    ArchiveEntry e;
    QString error = entry(e);
    if (!error.isEmpty())
        return policy.finish(error);
    bool trailing = false;
    try {
        policy.take(e, [&](QIODevice& out) { decompressInto(out, trailing); });
    } catch (const TTarError& x) {
        error = x.message();
    }
    // The member was whole and is kept; what follows it is not ours to read.
    if (error.isEmpty() && trailing)
        error = QStringLiteral("%1 has bytes after its compressed data").arg(path_);
    return policy.finish(error);
}

QString GzArchive::extractEntryTo(int index, const QString& file)
{
    if (index != 0)
        return QStringLiteral("%1 has no entry %2").arg(path_).arg(index);
    bool trailing = false;
    QString failure;
    try {
        failure = saveEntryFile(file, [&](QIODevice& out) { decompressInto(out, trailing); });
    } catch (const TTarError& x) {
        return x.message();
    }
    if (!failure.isEmpty())
        return failure;
    return trailing ? QStringLiteral("%1 has bytes after its compressed data").arg(path_) : QString();
}
