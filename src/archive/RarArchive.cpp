#include "archive/RarArchive.h"

#include "archive/ExtractionPolicy.h"
#include "codecs/TarEntry.h"
#include "platform/Platform.h"
#include "rar/TdRar.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

QDateTime dosTime(uint32_t dt)
{
    const uint32_t d = dt >> 16, t = dt & 0xFFFF;
    const QDate date(int((d >> 9) & 0x7F) + 1980, int((d >> 5) & 0x0F), int(d & 0x1F));
    const QTime time(int(t >> 11), int((t >> 5) & 0x3F), int((t & 0x1F) * 2));
    const QDateTime local(date, time.isValid() ? time : QTime(0, 0));
    return local.isValid() ? local.toUTC() : QDateTime();
}

} // namespace

RarArchive::RarArchive(const QString& path, const QString& libraryFolder)
    : Archive(path), libraryFolder_(libraryFolder.isEmpty() ? Platform::ProgramFilesFolder(Platform::ProgramFiles::Modules)
                                           : libraryFolder)
{
}

ArchiveEntry RarArchive::entryOf(const RARHeaderData& header, int index)
{
    ArchiveEntry e;
    e.index = index;
    e.name = TdRar::EntryName(header);
    e.size = header.UnpSize;
    e.time = dosTime(header.FileTime);
    e.dosTime = header.FileTime;
    e.encrypted = TdRar::IsEncrypted(header);
    if (TdRar::IsFolder(header))
        e.type = ArchiveEntry::Folder;
    if (header.HostOS == RAR_HOST_UNIX) {
        if (S_ISLNK(header.FileAttr))
            e.type = ArchiveEntry::SymLink;
        else if (S_ISDIR(header.FileAttr))
            e.type = ArchiveEntry::Folder;
        e.mode = int(header.FileAttr & 0777);
    } else if (header.FileAttr & 0x10) {
        e.type = ArchiveEntry::Folder;
    }
    return e;
}

QString RarArchive::messageFor(int code, const QString& name)
{
    switch (code) {
    case ERAR_ENTRY_ENCRYPTED:
        return QStringLiteral("%1 is encrypted: this program cannot decrypt RAR entries, so it was not extracted").arg(name);
    case ERAR_ENTRY_SOLID:
        return QStringLiteral("%1 is in a solid RAR 4 archive: only the first entry of such an archive can be unpacked here, so it was not extracted").arg(name);
    case ERAR_NAMES_ENCRYPTED:
        return QStringLiteral("The names in this RAR archive are encrypted: this program cannot decrypt them, so nothing can be listed or extracted");
    case ERAR_VOLUME_MISSING:
        return QStringLiteral("%1 continues in a volume of this RAR set that is not there, so it was not extracted").arg(name);
    case ERAR_TRUNCATED:
        return name.isEmpty() ? QStringLiteral("The RAR archive is cut short")
                              : QStringLiteral("The RAR archive is cut short in or after %1").arg(name);
    case ERAR_BAD_DATA:
        return name.isEmpty() ? TdRar::MessageFor(code) : QStringLiteral("%1: %2").arg(name, TdRar::MessageFor(code));
    default: break;
    }
    return TdRar::MessageFor(code);
}

QString RarArchive::list(const std::function<bool(const ArchiveEntry&)>& each)
{
    if (!QFileInfo(path_).isFile())
        return QStringLiteral("cannot open %1").arg(path_);
    TdRar rar;
    rar.Archivefilename = path_;
    rar.UnrarLibPath = libraryFolder_;
    int index = 0;
    QString last;
    rar.OnListing = [&](TdRar* sender, const RARHeaderData& h) {
        last = TdRar::EntryName(h);
        if (!each(entryOf(h, index++)))
            sender->Stop = true;
    };
    const int r = rar.ListEntries();
    if (r == ERAR_END_ARCHIVE || r == ERAR_STOPPED)
        return QString();
    return messageFor(r, last);
}

ExtractResult RarArchive::extract(const ExtractRequest& request)
{
    ExtractResult result;
    if (request.cancel && request.cancel->load()) {
        result.stopped = true;
        return result;
    }
    if (!request.folderNames)
        return extractFlat(request);
    // What to extract, with the replace decisions made before the run, in
    // list order, as the library extracts into the folder as it goes.
    QList<ArchiveEntry> entries;
    const QString listError = list([&](const ArchiveEntry& e) {
        entries << e;
        return true;
    });
    if (request.counted)
        request.counted(int(entries.size()));
    const QString base = request.destination.isEmpty() ? QStringLiteral(".") : request.destination;
    TdRar rar;
    rar.Archivefilename = path_;
    rar.UnrarLibPath = libraryFolder_;
    rar.TargetDirectory = base;
    bool yesToAll = false, noToAll = false;
    for (const ArchiveEntry& e : entries) {
        if (request.selected && !request.selected(e))
            continue;
        const QString rel = tarSafeRelativePath(e.name);
        if (rel.isEmpty())
            continue;
        const QString disk = base + QLatin1Char('/') + rel;
        struct stat st;
        const bool exists = ::lstat(QFile::encodeName(disk).constData(), &st) == 0;
        if (exists && !e.folder() && !S_ISDIR(st.st_mode) && !yesToAll && request.replace != ReplacePolicy::Always) {
            if (noToAll || request.replace == ReplacePolicy::Never || !request.ask) {
                ++result.skipped;
                if (!noToAll && request.note)
                    request.note(QStringLiteral("%1 exists; kept").arg(disk));
                continue;
            }
            switch (request.ask(e, disk)) {
            case ReplaceAnswer::Yes: break;
            case ReplaceAnswer::YesToAll: yesToAll = true; break;
            case ReplaceAnswer::NoToAll: noToAll = true; [[fallthrough]];
            case ReplaceAnswer::No: ++result.skipped; continue;
            case ReplaceAnswer::Cancel: result.stopped = true; return result;
            }
        }
        rar.addFileToProcess(e.name);
    }
    if (rar.FilesToProcess().isEmpty()) {
        result.error = listError;
        return result;
    }
    QString current;
    QString password = request.password;
    int read = 0;
    qint64 bytes = 0;
    rar.OnExtracting = [&](TdRar* sender, const RARHeaderData& h) {
        current = TdRar::EntryName(h);
        ++read;
        if ((request.cancel && request.cancel->load()) || (request.progress && !request.progress(read, bytes)))
            sender->Stop = true;
    };
    rar.OnExtract = [&](TdRar*, const RARHeaderData& h, bool ok) {
        if (ok) {
            ++result.extracted;
            if (!TdRar::IsFolder(h))
                bytes += h.UnpSize;
        } else {
            ++result.failed;
        }
    };
    rar.OnReqPassword = [&](TdRar* sender, const RARHeaderData& h, QString& out) {
        if (password.isEmpty() && request.askPassword)
            password = request.askPassword(entryOf(h, -1));
        out = password;
        if (password.isEmpty() && request.askPassword)
            sender->Stop = true;
    };
    QString error;
    rar.OnError = [&](TdRar* sender, int code) {
        const QString text = messageFor(code, current);
        if (code != ERAR_END_ARCHIVE && code != TdRar::EndOfArchiveAlt && error.isEmpty())
            error = text;
        if (request.report && !request.report(text))
            sender->Stop = true;
    };
    const int r = rar.ExtractEntries();
    if (r == ERAR_STOPPED)
        result.stopped = true;
    else if (r != ERAR_END_ARCHIVE && error.isEmpty())
        error = messageFor(r, current);
    result.error = error;
    return result;
}

ExtractResult RarArchive::extractFlat(const ExtractRequest& request)
{
    ExtractRequest outer = request;
    outer.progress = nullptr;  // reported while the library extracts
    ExtractionPolicy policy(outer);
    if (!policy.openError().isEmpty()) {
        ExtractResult failed;
        failed.error = policy.openError();
        return failed;
    }
    const QString base = request.destination.isEmpty() ? QStringLiteral(".") : request.destination;
    const Platform::ScratchFolder scratch(base);
    if (scratch.path().isEmpty()) {
        ExtractResult failed;
        failed.error = QStringLiteral("cannot create a scratch folder in %1").arg(base);
        return failed;
    }
    // Links keep their meaning only where the archive puts them.
    QList<ArchiveEntry> files;
    int linksLeft = 0;
    ExtractRequest inner = request;
    inner.destination = scratch.path();
    inner.folderNames = true;
    inner.replace = ReplacePolicy::Always;
    inner.ask = nullptr;
    inner.selected = [&](const ArchiveEntry& e) {
        if (request.selected && !request.selected(e))
            return false;
        if (e.type == ArchiveEntry::SymLink) {
            ++linksLeft;
            if (request.note)
                request.note(QStringLiteral("%1 skipped (a link is not extracted without its folders)").arg(e.name));
            return false;
        }
        if (e.type != ArchiveEntry::File)
            return false;
        files << e;
        return true;
    };
    const ExtractResult unpacked = extract(inner);

    QString failure;
    for (const ArchiveEntry& e : std::as_const(files)) {
        const QString made = scratch.filePath(tarSafeRelativePath(e.name));
        struct stat st;
        // Only what the library finished: a failed entry left nothing there.
        if (::lstat(QFile::encodeName(made).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        bool more = true;
        try {
            more = policy.take(e, [&made, &e](QIODevice& out) {
                QFile in(made);
                if (!in.open(QIODevice::ReadOnly))
                    throw TTarError(QStringLiteral("%1: %2").arg(e.name, in.errorString()));
                for (QByteArray block; !(block = in.read(1 << 20)).isEmpty();)
                    if (out.write(block) != block.size())
                        throw TTarError(QStringLiteral("write error: %1").arg(out.errorString()));
                if (in.error() != QFileDevice::NoError)
                    throw TTarError(QStringLiteral("%1: %2").arg(e.name, in.errorString()));
            });
        } catch (const TTarError& x) {
            failure = x.message();
            more = false;
        }
        QFile::remove(made);
        if (!more)
            break;
    }
    ExtractResult result = policy.finish(!failure.isEmpty() ? failure : unpacked.error);
    result.failed += unpacked.failed;
    result.skipped += unpacked.skipped + linksLeft;
    result.stopped = result.stopped || unpacked.stopped;
    return result;
}

QString RarArchive::extractEntryTo(int index, const QString& target)
{
    if (!QFileInfo(path_).isFile())
        return QStringLiteral("cannot open %1").arg(path_);
    TdRar rar;
    rar.Archivefilename = path_;
    rar.UnrarLibPath = libraryFolder_;
    QString name;
    bool file = false;
    int at = 0;
    {
        // The entry's name, for the message.
        TdRar names;
        names.Archivefilename = path_;
        names.UnrarLibPath = libraryFolder_;
        names.OnListing = [&](TdRar* sender, const RARHeaderData& h) {
            if (at++ == index) {
                name = TdRar::EntryName(h);
                file = entryOf(h, index).type == ArchiveEntry::File;
                sender->Stop = true;
            }
        };
        names.ListEntries();
        if (name.isEmpty())
            return QStringLiteral("%1 has no entry %2").arg(path_).arg(index);
    }
    if (!file)
        return QStringLiteral("%1 is not a file").arg(name);
    const int r = rar.ExtractEntryTo(index, target);
    if (r == ERAR_SUCCESS)
        return QString();
    if (r == ERAR_ECREATE)
        return QStringLiteral("cannot create %1 from %2").arg(target, name);
    return messageFor(r, name);
}
