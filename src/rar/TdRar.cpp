#include "rar/TdRar.h"

#include <QDir>
#include <QFile>
#include <QLibrary>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// The library and the open archive are process-wide, as the library's
// callbacks carry no pointer back to their caller.
struct Library {
    std::unique_ptr<QLibrary> lib;
    RAROpenArchiveFn open = nullptr;
    RARCloseArchiveFn close = nullptr;
    RARReadHeaderFn readHeader = nullptr;
    RARProcessFileFn processFile = nullptr;
    RARSetChangeVolProcFn setChangeVolProc = nullptr;
    RARSetProcessDataProcFn setProcessDataProc = nullptr;
    RARSetPasswordFn setPassword = nullptr;
    void* archive = nullptr;
    TdRar* current = nullptr;
};

Library& library()
{
    static Library l;
    return l;
}

// The platform's file for a library name ("unrar.dll" is libunrar.so).
QString libraryFile(const QString& name)
{
    if (name.isEmpty() || name.compare(QLatin1String("unrar.dll"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("libunrar.so");
    return name;
}

} // namespace

struct TdRarCallbacks {
    static int processData(unsigned char* address, int size)
    {
        TdRar* r = library().current;
        if (r && size > 0) {
            r->processed_ += size;
            if (r->OnProcessData)
                r->OnProcessData(r, address, size, r->processed_);
        }
        return 1;
    }
    static int changeVolume(char* name, int mode)
    {
        TdRar* r = library().current;
        if (r && r->OnVolumeChange)
            r->OnVolumeChange(r, QFile::decodeName(name), mode);
        return 1;
    }
};

TdRar::TdRar() = default;

TdRar::~TdRar()
{
    if (library().current == this)
        unload();
}

void TdRar::addFileToProcess(const QString& name)
{
    const auto less = [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; };
    const auto at = std::lower_bound(files_.begin(), files_.end(), name, less);
    if (at != files_.end() && at->compare(name, Qt::CaseInsensitive) == 0)
        return;
    files_.insert(at, name);
}

bool TdRar::toProcess(const QString& name) const
{
    const auto less = [](const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) < 0; };
    const auto at = std::lower_bound(files_.begin(), files_.end(), name, less);
    return at != files_.end() && at->compare(name, Qt::CaseInsensitive) == 0;
}

QString TdRar::EntryName(const RARHeaderData& header)
{
    return QString::fromUtf8(header.FileName, qsizetype(strnlen(header.FileName, sizeof header.FileName)));
}

QString TdRar::MessageFor(int code)
{
    switch (code) {
    case ERAR_END_ARCHIVE:
    case EndOfArchiveAlt: return QStringLiteral("End of archive, All Done !");
    case ERAR_NO_MEMORY: return QStringLiteral("Not enough memory to initialize data structures");
    case ERAR_BAD_DATA: return QStringLiteral("CRC error, data damaged");
    case ERAR_BAD_ARCHIVE: return QStringLiteral("File is not a valid RAR archive");
    case ERAR_UNKNOWN_FORMAT: return QStringLiteral("Unknown comment format");
    case ERAR_EOPEN: return QStringLiteral("File open error");
    case ERAR_ECREATE: return QStringLiteral("File create error, either a ReadOnly-File or a directory that already exists...");
    case ERAR_ECLOSE: return QStringLiteral("File close error");
    case ERAR_EREAD:
    case ReadErrorAlt: return QStringLiteral("Read error");
    case ERAR_EWRITE: return QStringLiteral("Write error");
    case ERAR_SMALL_BUF: return QStringLiteral("Buffer is too small for comment");
    case ERAR_STOPPED: return QStringLiteral("Decompression Canceled by user !");
    case LibraryNotLoaded: return QStringLiteral("Unable to load Unrar.Dll...");
    default: break;
    }
    return QStringLiteral("Unknown error !\rCode :%1").arg(code);
}

bool TdRar::load()
{
    Library& l = library();
    if (l.lib && l.lib->isLoaded())
        return true;
    QString folder = UnrarLibPath;
    if (!folder.isEmpty() && !folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    auto lib = std::make_unique<QLibrary>(folder + libraryFile(UnrarLibName));
    if (!lib->load())
        return false;
    l.open = reinterpret_cast<RAROpenArchiveFn>(lib->resolve("RAROpenArchive"));
    l.close = reinterpret_cast<RARCloseArchiveFn>(lib->resolve("RARCloseArchive"));
    l.readHeader = reinterpret_cast<RARReadHeaderFn>(lib->resolve("RARReadHeader"));
    l.processFile = reinterpret_cast<RARProcessFileFn>(lib->resolve("RARProcessFile"));
    l.setChangeVolProc = reinterpret_cast<RARSetChangeVolProcFn>(lib->resolve("RARSetChangeVolProc"));
    l.setProcessDataProc = reinterpret_cast<RARSetProcessDataProcFn>(lib->resolve("RARSetProcessDataProc"));
    l.setPassword = reinterpret_cast<RARSetPasswordFn>(lib->resolve("RARSetPassword"));
    if (!l.open || !l.close || !l.readHeader || !l.processFile || !l.setChangeVolProc || !l.setProcessDataProc
        || !l.setPassword) {
        lib->unload();
        return false;
    }
    l.lib = std::move(lib);
    l.current = this;
    return true;
}

void TdRar::unload()
{
    Library& l = library();
    if (l.archive && l.close)
        l.close(l.archive);
    l.archive = nullptr;
    if (l.lib)
        l.lib->unload();
    l.lib.reset();
    l.current = nullptr;
}

void TdRar::report(int code)
{
    if (OnError)
        OnError(this, code);
}

int TdRar::finish(int code)
{
    unload();
    return code;
}

int TdRar::ListEntries() { return run(Walk::List); }
int TdRar::ExtractEntries() { return run(Walk::Extract); }
int TdRar::TestEntries() { return run(Walk::Test); }
int TdRar::ExtractEntryTo(int index, const QString& path) { return run(Walk::One, index, path); }

int TdRar::run(Walk walk, int index, const QString& path)
{
    if (!load()) {
        report(LibraryNotLoaded);
        return LibraryNotLoaded;
    }
    Library& l = library();
    l.current = this;
    static char comment[65536];
    if (!l.archive) {
        QByteArray name = QFile::encodeName(Archivefilename);
        RAROpenArchiveData open;
        std::memset(&open, 0, sizeof open);
        open.ArcName = name.data();
        open.OpenMode = walk == Walk::List ? RAR_OM_LIST : RAR_OM_EXTRACT;
        open.CmtBuf = comment;
        open.CmtBufSize = sizeof comment - 1;
        l.archive = l.open(&open);
        if (open.OpenResult != ERAR_SUCCESS || !l.archive) {
            const int raw = open.OpenResult ? int(open.OpenResult) : ERAR_EOPEN;
            report(raw);
            const int mapped = raw == ERAR_BAD_DATA || raw == ERAR_BAD_ARCHIVE ? raw : ReadErrorAlt;
            report(mapped);
            return finish(mapped);
        }
        if (OnVolumeChange)
            l.setChangeVolProc(l.archive, &TdRarCallbacks::changeVolume);
        if (OnComment && open.CmtState == 1)
            OnComment(this, QByteArray(comment, int(std::min<unsigned>(open.CmtSize, sizeof comment - 1))));
        if (OnProcessData)
            l.setProcessDataProc(l.archive, &TdRarCallbacks::processData);
    }
    const QByteArray target = QFile::encodeName(TargetDirectory);
    const QByteArray onePath = QFile::encodeName(path);
    for (int i = 0;; ++i) {
        RARHeaderData header;
        std::memset(&header, 0, sizeof header);
        const int read = l.readHeader(l.archive, &header);
        if (Stop) {
            Stop = false;
            return finish(ERAR_STOPPED);
        }
        if (read != ERAR_SUCCESS) {
            if (walk != Walk::One)
                report(read);
            return finish(walk == Walk::One && read == ERAR_END_ARCHIVE ? ERAR_BAD_DATA : read);
        }
        const QString name = EntryName(header);
        processed_ = 0;
        int operation = RAR_SKIP;
        switch (walk) {
        case Walk::List:
            if (OnListing)
                OnListing(this, header);
            break;
        case Walk::Extract:
            if (OnExtracting)
                OnExtracting(this, header);
            if (files_.isEmpty() || toProcess(name))
                operation = RAR_EXTRACT;
            break;
        case Walk::Test:
            if (OnTesting)
                OnTesting(this, header);
            if (files_.isEmpty() || toProcess(name))
                operation = RAR_TEST;
            break;
        case Walk::One:
            if (i == index)
                operation = RAR_EXTRACT;
            break;
        }
        if ((walk == Walk::List || operation != RAR_SKIP) && IsEncrypted(header) && OnReqPassword) {
            QString password;
            OnReqPassword(this, header, password);
            if (!password.isEmpty()) {
                QByteArray pw = password.toUtf8();
                l.setPassword(l.archive, pw.data());
            } else if (Stop) {
                // The prompt was cancelled: the entry is left alone and the
                // walk ends at the next header.
                operation = RAR_SKIP;
            }
        }
        char* dest = operation == RAR_EXTRACT && walk != Walk::One ? const_cast<char*>(target.constData()) : nullptr;
        char* destName = walk == Walk::One && operation == RAR_EXTRACT ? const_cast<char*>(onePath.constData()) : nullptr;
        int r = l.processFile(l.archive, operation, dest, destName);
        if (r == ERAR_ECREATE && !ErrorOnDirExists && IsFolder(header) && operation == RAR_EXTRACT)
            r = ERAR_SUCCESS;
        if (operation != RAR_SKIP || walk == Walk::List) {
            switch (walk) {
            case Walk::List:
                if (OnList)
                    OnList(this, header, r == ERAR_SUCCESS);
                break;
            case Walk::Extract:
                if (OnExtract)
                    OnExtract(this, header, r == ERAR_SUCCESS);
                break;
            case Walk::Test:
                if (OnTest)
                    OnTest(this, header, r == ERAR_SUCCESS);
                break;
            case Walk::One: break;
            }
        }
        if (r != ERAR_SUCCESS) {
            report(r);
            return finish(r == ERAR_END_ARCHIVE || r == ERAR_STOPPED ? ERAR_STOPPED : r);
        }
        if (walk == Walk::One && operation == RAR_EXTRACT)
            return finish(ERAR_SUCCESS);
    }
}
