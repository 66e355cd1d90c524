#include "archive/ZipArchive.h"

#include "zipengine/TZipEngine.h"

#include "platform/Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <optional>
#include <sys/stat.h>

namespace {

QString slashed(QString name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return name;
}

QDateTime dosTime(uint32_t dt)
{
    const uint32_t d = dt >> 16, t = dt & 0xFFFF;
    const QDate date(int((d >> 9) & 0x7F) + 1980, int((d >> 5) & 0x0F), int(d & 0x1F));
    QTime time(int(t >> 11), int((t >> 5) & 0x3F), int((t & 0x1F) * 2));
    if (!time.isValid())
        time = QTime(0, 0);
    // Converting local time reads the zone file each time: the zone's offset
    // is looked up once per hour of a date (zones change offsets on the hour).
    thread_local QHash<qint64, std::optional<int>> offsets;
    const qint64 key = date.toJulianDay() * 24 + time.hour();
    auto it = offsets.find(key);
    if (it == offsets.end()) {
        if (offsets.size() >= 4096)
            offsets.clear();
        const QDateTime hour(date, QTime(time.hour(), 0));
        it = offsets.insert(key, hour.isValid() ? std::optional<int>(hour.offsetFromUtc()) : std::nullopt);
    }
    if (!*it)
        return QDateTime();
    return QDateTime(date, time, Qt::UTC).addSecs(-**it);
}

ArchiveEntry entryOf(const ZipDirEntry& z, int index)
{
    ArchiveEntry e;
    e.index = index;
    e.name = slashed(z.FileName);
    e.size = z.UncompressedSize;
    e.time = dosTime(z.DateTime);
    e.dosTime = z.DateTime;
    e.encrypted = z.Encrypted;
    const uint32_t unixMode = z.ExternalAttributes >> 16;
    if (e.name.endsWith(QLatin1Char('/')))
        e.type = ArchiveEntry::Folder;
    else if (z.HostSystem == 3 && S_ISLNK(unixMode))
        e.type = ArchiveEntry::SymLink;
    if (z.HostSystem == 3 && unixMode)
        e.mode = int(unixMode & 0777);
    return e;
}

// The directory warnings the engine reads past: bytes after the end record,
// a self-extractor whose offsets were not adjusted.
bool isWarning(const TZipEngine& engine)
{
    return engine.ErrCode == ZipMsg::LI_GarbageAtEOF || engine.ErrCode == ZipMsg::LI_WrongZipStruct;
}

} // namespace

ZipArchive::ZipArchive(const QString& path, const QString& libraryFolder)
    : Archive(path), libraryFolder_(libraryFolder.isEmpty() ? Platform::ProgramFilesFolder(Platform::ProgramFiles::Modules)
                                           : libraryFolder)
{
}

ZipArchive::ZipArchive(const QString& path, TZipEngine& engine) : Archive(path), attended_(&engine) {}

ZipArchive::~ZipArchive() = default;

std::vector<ArchiveEntry> ZipArchive::prepare(TZipEngine& engine, const ExtractRequest& request, qint64& totalBytes)
{
    std::vector<ArchiveEntry> entries;
    entries.reserve(engine.Entries.size());
    totalBytes = 0;
    engine.FSpecArgs.clear();
    engine.FSpecArgsExcl.clear();
    for (size_t i = 0; i < engine.Entries.size(); ++i) {
        ArchiveEntry e = entryOf(engine.Entries[i], int(i));
        if (request.selected && !request.selected(e))
            continue;
        engine.FSpecArgs << e.name;
        totalBytes += e.size;
        entries.push_back(std::move(e));
    }
    // Each selected entry by its own name: "*" or "?" in a name is no pattern.
    engine.FSpecArgsExact = true;
    if (!request.selected) {
        engine.FSpecArgs.clear();
        engine.FSpecArgsExact = false;
    }
    engine.ExtrBaseDir = request.destination.isEmpty() ? QStringLiteral(".") : request.destination;
    engine.ExtrOptions = (request.folderNames ? TZipEngine::ExtrDirNames : 0)
                         | (request.replace == ReplacePolicy::Always ? TZipEngine::ExtrOverWrite : 0)
                         | (request.update ? TZipEngine::ExtrUpdate : 0) | (request.freshen ? TZipEngine::ExtrFreshen : 0);
    return entries;
}

ExtractResult ZipArchive::extractAttended(const ExtractRequest& request)
{
    TZipEngine& engine = *attended_;
    ExtractResult result;
    engine.ErrCode = 0;
    engine.SetZipFileName(path_);
    // A zip whose directory could not be read (the engine has said why)
    // extracts nothing: its error stands, never a success. Damage the reader
    // worked around is only a warning.
    if (engine.ErrCode != 0 && !isWarning(engine)) {
        result.code = engine.ErrCode;
        return result;
    }
    if (request.counted)
        request.counted(int(engine.Entries.size()));
    qint64 totalBytes = 0;
    const std::vector<ArchiveEntry> entries = prepare(engine, request, totalBytes);
    // Everything asked of an archive whose directory gave nothing: the
    // engine runs all the same and reports what is wrong.
    if (entries.empty() && request.selected) {
        engine.FSpecArgs.clear();
        engine.FSpecArgsExact = false;
        return result;
    }
    engine.ErrCode = 0;
    try {
        engine.Extract();
    } catch (const EZipEngine& x) {
        result.error = slashed(x.Message());
    }
    result.code = engine.ErrCode;
    result.extracted = qMax(0, engine.SuccessCount);
    return result;
}

QString ZipArchive::open(TZipEngine& engine)
{
    if (!QFileInfo(path_).isFile())
        return QStringLiteral("cannot open %1").arg(path_);
    QString error;
    engine.Unattended = true;
    engine.SetDLLDirectory(libraryFolder_);
    engine.UseDirOnlyEntries = true;
    engine.OnMessage = [&](TZipEngine& e, int32_t code, const QString& text) {
        if (code == 0 && e.ErrCode == 0)
            return;
        if (code == 0 && isWarning(e)) {
            if (!warnings_.contains(slashed(text)))
                warnings_ << slashed(text);
        } else if (error.isEmpty()) {
            error = slashed(text);
        }
        e.ErrCode = 0;
    };
    engine.SetZipFileName(path_);
    engine.OnMessage = nullptr;
    return error;
}

QString ZipArchive::list(const std::function<bool(const ArchiveEntry&)>& each)
{
    TZipEngine engine;
    const QString error = open(engine);
    for (size_t i = 0; i < engine.Entries.size(); ++i)
        if (!each(entryOf(engine.Entries[i], int(i))))
            break;
    return error;
}

ExtractResult ZipArchive::extract(const ExtractRequest& request)
{
    if (attended_)
        return extractAttended(request);
    ExtractResult result;
    TZipEngine engine;
    result.error = open(engine);
    if (!result.error.isEmpty())
        return result;
    if (!QDir().mkpath(request.destination.isEmpty() ? QStringLiteral(".") : request.destination)) {
        result.error = QStringLiteral("cannot create the folder %1").arg(request.destination);
        return result;
    }
    auto note = [&](const QString& text) {
        if (request.note)
            request.note(text);
    };
    if (request.counted)
        request.counted(int(engine.Entries.size()));
    qint64 totalBytes = 0;
    const std::vector<ArchiveEntry> entries = prepare(engine, request, totalBytes);
    if (entries.empty())
        return result;
    engine.Password = request.password;
    bool yesToAll = false, noToAll = false, stop = false;
    int done = 0;
    qint64 bytes = 0;
    engine.OnExtractOverwrite = [&](TZipEngine& e, const QString& file, bool, bool& doOverwrite, int32_t dirIndex) {
        doOverwrite = false;
        if (request.replace == ReplacePolicy::Always || yesToAll) {
            doOverwrite = true;
            return;
        }
        if (request.replace == ReplacePolicy::Never || noToAll || !request.ask || stop)
            return;
        const ArchiveEntry entry = dirIndex >= 0 && size_t(dirIndex) < e.Entries.size()
                                       ? entryOf(e.Entries[size_t(dirIndex)], dirIndex)
                                       : ArchiveEntry();
        switch (request.ask(entry, slashed(file))) {
        case ReplaceAnswer::YesToAll: yesToAll = true; [[fallthrough]];
        case ReplaceAnswer::Yes: doOverwrite = true; break;
        case ReplaceAnswer::NoToAll: noToAll = true; break;
        case ReplaceAnswer::Cancel: stop = true; e.CancelFlag = true; break;
        case ReplaceAnswer::No: break;
        }
    };
    engine.OnExtractSkipped = [&](TZipEngine&, const QString& file, TZipEngine::UnZipSkipTypes type, int32_t) {
        ++result.skipped;
        if (type == TZipEngine::stNoOverwrite && !noToAll && request.replace != ReplacePolicy::Ask)
            note(QStringLiteral("%1 exists; kept").arg(slashed(file)));
    };
    engine.OnPasswordError = [](TZipEngine&, bool, QString& pw, const QString&, uint32_t& repeat,
                                TZipEngine::TPasswordButton& action) {
        pw.clear();
        repeat = 0;
        action = TZipEngine::pwbCancelAll;
    };
    engine.OnProgress = [&](TZipEngine& e, TZipEngine::ProgressType type, const QString&, int32_t size) {
        // A set is joined first; the extraction's own count starts after that.
        if (type == TZipEngine::ProgressEnd)
            done = 0, bytes = 0;
        if (type == TZipEngine::ProgressNewFile && done > 0 && request.progress && !request.progress(done, bytes))
            stop = e.CancelFlag = true;
        if (type == TZipEngine::ProgressNewFile)
            ++done;
        if (type == TZipEngine::ProgressBytes)
            bytes += size;
        if (request.cancel && request.cancel->load())
            stop = e.CancelFlag = true;
    };
    engine.OnMessage = [&](TZipEngine& e, int32_t code, const QString& text) {
        if (code == 0 && e.ErrCode == 0)
            return;
        const int low = code & 0xFF;
        if (low == 1 || (code == 0 && isWarning(e))) {
            note(slashed(text));
        } else if (low == 80) {
            stop = true;
        } else {
            ++result.failed;
            note(slashed(text));
        }
        e.ErrCode = 0;
    };
    try {
        engine.Extract();
    } catch (const EZipEngine& x) {
        result.error = slashed(x.Message());
    }
    result.extracted = qMax(0, engine.SuccessCount);
    result.stopped = stop;
    if (request.progress && !stop)
        request.progress(int(entries.size()), totalBytes);
    return result;
}

QString ZipArchive::extractEntryTo(int index, const QString& file)
{
    TZipEngine engine;
    QString error = open(engine);
    if (!error.isEmpty())
        return error;
    if (index < 0 || size_t(index) >= engine.Entries.size())
        return QStringLiteral("%1 has no entry %2").arg(path_).arg(index);
    const ArchiveEntry entry = entryOf(engine.Entries[size_t(index)], index);
    if (entry.type != ArchiveEntry::File)
        return QStringLiteral("%1 is not a file").arg(entry.name);
    // Into a scratch folder beside the file, then renamed into place.
    const Platform::ScratchFolder scratch(QFileInfo(file).absolutePath());
    if (scratch.path().isEmpty())
        return QStringLiteral("cannot create %1").arg(file);
    ExtractRequest request;
    request.destination = scratch.path();
    request.folderNames = false;
    request.selected = [index](const ArchiveEntry& e) { return e.index == index; };
    request.note = [&error](const QString& text) {
        if (error.isEmpty())
            error = text;
    };
    const ExtractResult r = extract(request);
    const QString leaf = entry.name.mid(entry.name.lastIndexOf(QLatin1Char('/')) + 1);
    const QString made = scratch.filePath(leaf);
    if (!r.error.isEmpty())
        return r.error;
    if (r.failed > 0 || !QFileInfo(made).isFile())
        return error.isEmpty() ? QStringLiteral("cannot extract %1").arg(entry.name) : error;
    if (std::rename(QFile::encodeName(made).constData(), QFile::encodeName(file).constData()) != 0)
        return QStringLiteral("cannot create %1").arg(file);
    return QString();
}
