#include "archive/TarArchive.h"

#include "archive/ExtractionPolicy.h"
#include "codecs/GzipReader.h"
#include "codecs/TarReader.h"

#include <QFileInfo>

TarArchive::TarArchive(const QString& path, bool gzipped) : Archive(path), gzipped_(gzipped) {}

ArchiveEntry TarArchive::entryOf(const TTarEntry& member, int index)
{
    ArchiveEntry e;
    e.index = index;
    e.name = member.name;
    e.size = member.fileSize();
    e.time = member.time;
    e.mode = member.permissions;
    e.linkTarget = member.linkName;
    switch (member.fileType) {
    case TTarFileType::Regular:
    case TTarFileType::Contiguous: e.type = ArchiveEntry::File; break;
    case TTarFileType::Directory:
    case TTarFileType::DumpDirectory: e.type = ArchiveEntry::Folder; break;
    case TTarFileType::SymbolicLink: e.type = ArchiveEntry::SymLink; break;
    case TTarFileType::HardLink: e.type = ArchiveEntry::HardLink; break;
    case TTarFileType::CharDevice:
    case TTarFileType::BlockDevice: e.type = ArchiveEntry::Device; break;
    case TTarFileType::Fifo: e.type = ArchiveEntry::Fifo; break;
    default: e.type = ArchiveEntry::Other; break;
    }
    // Old archives mark folders only by a trailing "/".
    if (e.type == ArchiveEntry::File && member.name.endsWith(QLatin1Char('/')) && member.size == 0)
        e.type = ArchiveEntry::Folder;
    return e;
}

namespace {

QString damagedHeader(const TTarEntry& e)
{
    return QStringLiteral("damaged tar header at offset %1 (checksum mismatch)").arg(e.headerPosition);
}

// Thrown to end a walk early without an error.
struct StopWalk {};

} // namespace

QString TarArchive::read(const std::function<void(TTarReader&)>& work)
{
    if (!QFileInfo(path_).isFile())
        return QStringLiteral("cannot open %1").arg(path_);
    try {
        if (!gzipped_) {
            TTarReader r(path_);
            work(r);
            return QString();
        }
        TGzipReader gz(path_);
        if (!gz.open(QIODevice::ReadOnly))
            return QStringLiteral("cannot open %1").arg(path_);
        try {
            TTarReader r(gz, path_);
            work(r);
            char rest[16384];
            qint64 got;
            while ((got = gz.read(rest, sizeof rest)) > 0) {
            }
            if (got < 0)
                throw TTarError(gz.errorString());
        } catch (const TTarError&) {
            if (gz.damaged())
                return QStringLiteral("%1 is damaged (bad or truncated compressed data)").arg(path_);
            throw;
        }
        if (gz.trailingGarbage())
            return QStringLiteral("%1 has bytes after its compressed data").arg(path_);
    } catch (const TTarError& e) {
        return e.message();
    } catch (const StopWalk&) {
    }
    return QString();
}

QString TarArchive::walk(const std::function<bool(TTarReader&, const ArchiveEntry&)>& each)
{
    return read([&](TTarReader& r) {
        TTarEntry m;
        for (int i = 0; r.nextEntry(m); ++i) {
            // Nothing after a damaged header can be trusted, its size included.
            if (!m.checksumOk)
                throw TTarError(damagedHeader(m));
            ArchiveEntry e = entryOf(m, i);
            if (!gzipped_ && !m.sparse)
                e.dataOffset = r.position();
            if (!each(r, e))
                throw StopWalk{};
        }
    });
}

QString TarArchive::list(const std::function<bool(const ArchiveEntry&)>& each)
{
    return walk([&](TTarReader&, const ArchiveEntry& e) { return each(e); });
}

ExtractResult TarArchive::extract(const ExtractRequest& request)
{
    ExtractionPolicy policy(request);
    if (!policy.openError().isEmpty())
        return policy.finish(policy.openError());
    // The reader writes an entry's size exactly, holes as zeros when not into a file.
    policy.writeSmallFilesAhead();
    const QString error = walk([&](TTarReader& r, const ArchiveEntry& e) {
        return policy.take(e, [&r](QIODevice& out) { r.copyEntryData(out); });
    });
    return policy.finish(error);
}

QString TarArchive::extractEntryTo(int index, const QString& file)
{
    bool found = false;
    QString failure;
    const QString error = walk([&](TTarReader& r, const ArchiveEntry& e) {
        if (e.index != index)
            return true;
        found = true;
        if (e.type != ArchiveEntry::File) {
            failure = QStringLiteral("%1 is not a file").arg(e.name);
            return false;
        }
        failure = saveEntryFile(file, [&](QIODevice& out) { r.copyEntryData(out); });
        return false;
    });
    if (!failure.isEmpty())
        return failure;
    if (!found && error.isEmpty())
        return QStringLiteral("%1 has no entry %2").arg(path_).arg(index);
    return error;
}
