// Finding, loading, checking and unloading the two compression libraries.

#include "TZipEngine.h"
#include "ZipEngineLibraryState.h"
#include "../../modules/common/ZipLibApi.h"
#include "platform/Platform.h"

#include <QFileInfo>
#include <QLibrary>


namespace {
struct LibNames {
    const char* file;
    const char* execName;
    const char* versionName;
    int loaded, noExec, noVers, notFound;
};
const LibNames kZipNames{"libziplib.so", "ZipLibExec", "GetZipLibVersion", ZipMsg::LZ_ZipDllLoaded,
                         ZipMsg::LZ_NoZipDllExec, ZipMsg::LZ_NoZipDllVers, ZipMsg::LZ_NoZipDll};
const LibNames kUnzNames{"libunzlib.so", "UnzLibExec", "GetUnzLibVersion", ZipMsg::LU_UnzDllLoaded,
                         ZipMsg::LU_NoUnzDllExec, ZipMsg::LU_NoUnzDllVers, ZipMsg::LU_NoUnzDll};
} // namespace

void TZipEngine::destroyLibraries(LibraryState* state)
{
    if (!state)
        return;
    for (LibraryState::Lib* l : {&state->zip, &state->unz}) {
        if (l->library) {
            l->library->unload();
            delete l->library;
        }
    }
    delete state;
}

TZipEngine::LibraryState* TZipEngine::libs()
{
    if (!libs_)
        libs_.reset(new LibraryState);
    return libs_.get();
}

void TZipEngine::SetDLLDirectory(const QString& dir)
{
    QString d = dir;
    while (d.size() > 1 && (d.endsWith('\\') || d.endsWith('/')))
        d.chop(1);
    dllDirectory_ = d;
}

// The path to load: DLLDirectory + name; else the program folder + that path;
// else (or for a DLLDirectory starting with ".") the bare name. Without a
// DLLDirectory the program folder comes first, as the system search would.
static QString libraryPath(const QString& dllDir, const QString& file)
{
    if (!dllDir.isEmpty()) {
        if (dllDir.startsWith('.'))
            return file;
        const QString direct = dllDir + "/" + file;
        if (QFileInfo::exists(direct))
            return direct;
        const QString inProgram = Platform::ProgramFolder() + "/" + direct;
        if (QFileInfo::exists(inProgram))
            return inProgram;
        return file;
    }
    const QString beside = Platform::ProgramFolder() + "/" + file;
    return QFileInfo::exists(beside) ? beside : file;
}

static int32_t loadOne(TZipEngine& engine, TZipEngine::LibraryState::Lib& lib, const LibNames& names,
                       const QString& dllDir)
{
    if (lib.library && lib.version)
        return lib.version();
    const QString path = libraryPath(dllDir, names.file);
    auto* library = new QLibrary(path);
    if (!library->load()) {
        delete library;
        engine.IssueMessage(names.notFound);
        return 0;
    }
    lib.library = library;
    lib.path = library->fileName();
    if (engine.Trace)
        engine.IssueMessage(names.loaded, " " + QFileInfo(lib.path).absoluteFilePath());
    lib.exec = reinterpret_cast<void*>(library->resolve(names.execName));
    lib.version = reinterpret_cast<QzGetVersion>(library->resolve(names.versionName));
    int32_t version = 0;
    bool failed = false;
    if (!lib.exec) {
        engine.IssueMessage(names.noExec);
        failed = true;
    }
    if (!lib.version) {
        engine.IssueMessage(names.noVers);
        failed = true;
    } else {
        version = lib.version();
    }
    if (failed || version == 0) {
        library->unload();
        delete library;
        lib = TZipEngine::LibraryState::Lib{};
        engine.IssueMessage(names.notFound, " unloaded");
        return 0;
    }
    return version;
}

int32_t TZipEngine::LoadZipLibrary() { return loadOne(*this, libs()->zip, kZipNames, dllDirectory_); }
int32_t TZipEngine::LoadUnzipLibrary() { return loadOne(*this, libs()->unz, kUnzNames, dllDirectory_); }

static void unloadOne(TZipEngine::LibraryState::Lib& lib)
{
    if (lib.library) {
        lib.library->unload();
        delete lib.library;
    }
    lib = TZipEngine::LibraryState::Lib{};
}

void TZipEngine::UnloadZipLibrary() { unloadOne(libs()->zip); }
void TZipEngine::UnloadUnzipLibrary() { unloadOne(libs()->unz); }

int32_t TZipEngine::ZipLibVersion() const
{
    return libs_ && libs_->zip.version ? libs_->zip.version() : 0;
}

int32_t TZipEngine::UnzLibVersion() const
{
    return libs_ && libs_->unz.version ? libs_->unz.version() : 0;
}

// Before each operation: the loaded library's version (loading it just for
// this operation when needed) checked against the minimum. 0: no operation.
int32_t TZipEngine::libraryVersion(bool zip, bool& loadedHere)
{
    LibraryState::Lib& lib = zip ? libs()->zip : libs()->unz;
    loadedHere = false;
    int32_t version = 0;
    if (lib.library && lib.version) {
        version = lib.version();
    } else {
        version = zip ? LoadZipLibrary() : LoadUnzipLibrary();
        loadedHere = version > 0;
    }
    if (version <= 0)
        return 0;
    const int32_t minimum = zip ? minZipLibVers_ : minUnzLibVers_;
    const QString path = QFileInfo(lib.path).absoluteFilePath();
    if (version < minimum) {
        IssueMessage(zip ? ZipMsg::LZ_OldZipDll : ZipMsg::LU_OldUnzDll, path);
        unloadOne(lib);
        loadedHere = false;
        return 0;
    }
    if (Verbose && OnMessage)
        OnMessage(*this, 0, QString(zip ? "Loaded ZipLib ver: " : "Loaded UnzLib ver: ") + QString::number(version) + " from " + path);
    return version;
}
