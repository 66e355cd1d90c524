// Add, Delete and Extract over the compression libraries, and the callback
// through which the libraries report back.

#include "TZipEngine.h"
#include "ZipEngineLibraryState.h"
#include "TZipEngineUser.h"
#include "ZipSetSource.h"
#include "ZipSpanOutput.h"
#include "ZipSpanState.h"
#include "zipdir/ScratchFiles.h"
#include "platform/Platform.h"
#include "../../modules/common/ZipLibApi.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QThread>

#include <cstring>
#include <new>


namespace {

const char* const kSuffixes[] = {"gif", "png", "z",   "zip", "zoo", "arc", "lzh", "arj", "taz",
                                 "tgz", "lha", "rar", "ace", "cab", "gz",  "gzip", "jar", "exe"};

inline int32_t flag(bool b) { return b ? -1 : 0; }

// Keeps the texts a block points at alive for the duration of one call.
struct TextStore {
    std::vector<QByteArray> texts;
    const char* keep(const QString& s)
    {
        texts.push_back(s.toUtf8());
        return texts.back().constData();
    }
    const char* keepOrNull(const QString& s) { return s.isEmpty() ? nullptr : keep(s); }
};

bool endsWithExe(const QString& name) { return name.endsWith(".exe", Qt::CaseInsensitive); }

// One file-pattern record for adding: a leading ">" recurses, "|" does not; a
// "<" followed by a password encrypts these files with it, a bare "<" not at all.
// Without marks the record takes the block's recursion and encryption.
void fillAddPattern(QzFileSpec& r, QString pattern, const QzZipBlock& b, const QString& root, TextStore& store)
{
    r.recurse = b.recurse;
    if (pattern.startsWith('>')) {
        r.recurse = int16_t(-1);
        pattern.remove(0, 1);
    } else if (pattern.startsWith('|')) {
        r.recurse = 0;
        pattern.remove(0, 1);
    }
    const qsizetype lt = pattern.indexOf('<');
    if (lt >= 0) {
        const QString pw = pattern.mid(lt + 1);
        pattern.truncate(lt);
        if (pw.isEmpty()) {
            r.encrypt = 0;
        } else {
            r.encrypt = 0xFFFF;
            r.password = store.keep(pw.left(80));
        }
    } else {
        r.encrypt = b.encrypt;
        r.password = nullptr;
    }
    r.fileSpec = store.keep(pattern);
    r.rootDir = store.keepOrNull(root);
}

} // namespace

QByteArray TZipEngine::StoreSuffixList() const
{
    QByteArray out;
    for (int bit = 0; bit < 18; ++bit) {
        if (!(AddStoreSuffixes & (1u << bit)))
            continue;
        out += '.';
        out += kSuffixes[bit];
        out += ':';
    }
    if (!out.isEmpty())
        out.chop(1);
    return out;
}

// ---- Add -------------------------------------------------------------------

void TZipEngine::Add()
{
    SuccessCount = 0;
    auto clearSpecs = [this]() {
        FSpecArgs.clear();
        FSpecArgsExcl.clear();
    };
    if (FSpecArgs.isEmpty()) {
        IssueMessage(ZipMsg::AD_NothingToZip);
        clearSpecs();
        return;
    }
    if (ZipFileName().isEmpty()) {
        IssueMessage(ZipMsg::GE_NoZipSpecified);
        clearSpecs();
        return;
    }
    if (Unattended && (AddOptions & AddEncrypt) && Password.isEmpty()) {
        IssueMessage(ZipMsg::AD_UnattPassword);
        clearSpecs();
        return;
    }
    std::unique_ptr<zipdir::ScratchFile> spanScratch;
    if (AddOptions & (AddDiskSpan | AddDiskSpanErase)) {
        const int refused = (AddOptions & (AddFreshen | AddUpdate)) ? ZipMsg::AD_NoFreshenUpdate
                            : endsWithExe(ZipFileName())            ? ZipMsg::DS_NoSFXSpan
                                                                    : 0;
        if (refused != 0) {
            IssueMessage(refused);
            clearSpecs();
            return;
        }
        // On a fixed drive the library writes the parts as it goes; a set on
        // removable disks is written as one ordinary zip first and then
        // copied out disk by disk. The library is given a name where no
        // archive is, so that it makes a new one.
        if (!zipBusy_ && driveTypeOf(ZipSpanning::DriveRootOf(ZipFileName())) != DriveRemovable) {
            spanTemp_ = tempZipName(TempDir);
            spanOutput_ = std::make_unique<ZipSpanOutput>(*this, ZipFileName());
        } else if (!zipBusy_) {
            spanTemp_ = tempZipName(TempDir);
            spanScratch = std::make_unique<zipdir::ScratchFile>(QFile::encodeName(spanTemp_).toStdString());
            if (Verbose && OnMessage)
                OnMessage(*this, 0, QStringLiteral("Temporary zipfile: ") + spanTemp_);
        }
    }
    // A program that does not exist yet starts as a stub with an empty
    // archive; it goes again when nothing could be added to it.
    bool newProgram = false;
    if (endsWithExe(ZipFileName()) && !QFileInfo::exists(ZipFileName()) && DataStart == 0 && !zipBusy_) {
        const int32_t result = makeSelfExtracting(true);
        if (result != 0) {
            IssueException(EZipEngine(ZipFormat(LoadZipStr(ZipMsg::AD_AutoSFXWrong), {QString::number(result)}),
                                      ZipMsg::AD_AutoSFXWrong, true));
            clearSpecs();
            return;
        }
        newProgram = true;
    }
    runZipLibrary(true);
    if (newProgram && SuccessCount <= 0 && Platform::RemoveScratch(ZipFileName()))
        ReadDirectory();
}

// Steps shared by Add and Delete once their own checks passed: load or check
// the library, fill the zip block and its file-pattern records, call the library,
// and clean up whatever happened.
void TZipEngine::runZipLibrary(bool adding)
{
    if (zipBusy_)
        return;
    bool loadedHere = false;
    zipBusy_ = true;
    try {
        const int32_t version = libraryVersion(true, loadedHere);
        if (version > 0) {
            TextStore store;
            QzZipBlock b;
            std::memset(&b, 0, sizeof b);
            b.owner = Unattended ? nullptr : static_cast<void*>(User());
            b.engine = this;
            b.version = version;
            b.callback = &TZipEngine::LibraryCallback;
            b.trace = flag(Trace);
            b.password = store.keepOrNull(Password.left(81));
            const QByteArray suffixes = StoreSuffixList();
            b.storeSuffixes = suffixes.isEmpty() ? nullptr : suffixes.constData();
            b.hiddenFiles = flag(AddOptions & AddHiddenFiles);
            b.volume = flag(AddOptions & AddVolume);
            b.noDirEntries = flag(!(AddOptions & AddSeparateDirs));
            b.fromDate = flag(AddOptions & AddFromDate);
            b.verbose = flag(Verbose || Trace);
            b.quiet = -1;
            b.level = AddCompLevel;
            b.forceDos = flag(AddOptions & AddForceDOS);
            b.latestTime = flag(AddOptions & AddZipTime);
            b.zipFileName = store.keep(spanTemp_.isEmpty() ? ZipFileName() : spanTemp_);
            b.output = spanOutput_ ? spanOutput_->Output() : nullptr;
            b.tempDir = store.keepOrNull(TempDir);
            b.comment = store.keepOrNull(ArchiveComment);
            // Deleting leaves encryption, paths, recursion, move, update and freshen at 0.
            b.grow = adding ? -1 : 0;
            b.deleteEntries = adding ? 0 : -1;
            std::memset(b.date, ' ', 8);
            if (adding) {
                b.encrypt = flag(AddOptions & AddEncrypt);
                b.aesEncrypt = flag(AddAes);
                b.junkDirs = flag(!(AddOptions & AddDirNames));
                b.recurse = int16_t((AddOptions & AddRecurseDirs) ? -1 : 0);
                b.move = flag(AddOptions & AddMove);
                b.update = flag(AddOptions & AddUpdate);
                b.freshen = flag((AddOptions & AddFreshen) && !(AddOptions & AddUpdate));
                if (AddFrom.isValid()) {
                    const QByteArray date = AddFrom.toString("MM dd yy").toLatin1();
                    std::memcpy(b.date, date.constData(), std::min<qsizetype>(8, date.size()));
                }
                b.archiveOnly = int16_t((AddOptions & AddArchiveOnly) ? 1 : 0);
                b.resetArchive = int16_t((AddOptions & AddResetArchive) ? 1 : 0);
            }
            const QString root = adding && !RootDir.isEmpty() ? QDir::cleanPath(QDir(RootDir).absolutePath()) : QString();
            std::vector<QzFileSpec> specs(size_t(FSpecArgs.size()));
            for (qsizetype i = 0; i < FSpecArgs.size(); ++i) {
                QzFileSpec& r = specs[size_t(i)];
                std::memset(&r, 0, sizeof r);
                if (adding)
                    fillAddPattern(r, FSpecArgs[i], b, root, store);
                else
                    r.fileSpec = store.keep(FSpecArgs[i]);
            }
            b.specCount = int32_t(specs.size());
            b.specs = specs.data();
            std::vector<const char*> excl;
            for (const QString& x : FSpecArgsExcl)
                excl.push_back(store.keep(x));
            b.exclCount = int32_t(excl.size());
            b.excl = excl.empty() ? nullptr : excl.data();
            b.allowUndo = flag(HowToDelete == htdAllowUndo);
            b.codePage = int16_t(CodePage == TCodePage::cpOEM ? 2 : 0);
            b.seven = 7;
            auto exec = reinterpret_cast<QzZipLibExec>(libs()->zip.exec);
            SuccessCount = exec(&b);
            if (spanOutput_)
                finishSpanOutput();
            else if (!spanTemp_.isEmpty() && SuccessCount > 0)
                writeSpanFromTemp();
        }
    } catch (const EZipEngine& e) {
        IssueException(e);
    } catch (const std::bad_alloc&) {
        IssueMessage(ZipMsg::GE_NoMem);
    } catch (...) {
        IssueMessage(ZipMsg::GE_FatalZip);
    }
    if (spanOutput_) {
        if (SuccessCount <= 0)
            spanOutput_->Discard();
        spanOutput_.reset();
    } else if (!spanTemp_.isEmpty()) {
        QFile::remove(spanTemp_);
    }
    spanTemp_.clear();
    FSpecArgs.clear();
    FSpecArgsExcl.clear();
    if (loadedHere)
        UnloadZipLibrary();
    CancelFlag = false;
    zipBusy_ = false;
    if (SuccessCount > 0)
        ReadDirectory();
}

// The temporary zip the library wrote, copied out as the set; on a fixed
// drive the archive's name becomes its last part.
void TZipEngine::writeSpanFromTemp()
{
    const QString destination = ZipFileName();
    if (WriteSpan(spanTemp_, destination) != 0) {
        SuccessCount = 0;
        return;
    }
    if (span().drive != DriveRemovable)
        zipFileName_ = PartFileName(destination, CurrentDisk + 1);
}

// The set the library wrote straight into its parts gets its directory; a
// failure of the parts is what is reported, not the library's write error.
void TZipEngine::finishSpanOutput()
{
    if (const EZipEngine* failure = spanOutput_->Error()) {
        IssueException(*failure);
        SuccessCount = 0;
        return;
    }
    if (SuccessCount <= 0)
        return;
    // The parts take their names only now (a failure leaves the set that
    // was there, and the parts go with the output).
    if (spanOutput_->Finish(AddOptions & AddZipTime) != 0 || spanResult([this]() { commitSetParts(); }) != 0) {
        SuccessCount = 0;
        return;
    }
    zipFileName_ = PartFileName(ZipFileName(), CurrentDisk + 1);
}

// ---- Delete ----------------------------------------------------------------

void TZipEngine::Delete()
{
    SuccessCount = 0;
    if (FSpecArgs.isEmpty()) {
        IssueMessage(ZipMsg::DL_NothingToDel);
        FSpecArgsExcl.clear();
        return;
    }
    if (ZipFileName().isEmpty()) {
        IssueMessage(ZipMsg::GE_NoZipSpecified);
        FSpecArgs.clear();
        FSpecArgsExcl.clear();
        return;
    }
    // The end record is read in raising mode: its failures reach the caller.
    try {
        ReadEndRecord(true);
        CloseInFile();
        if (Spanned || LastDiskNumber != 0 || EndRecord.ThisDiskNo != 0)
            throw EZipEngine(ZipMsg::DL_NoDelOnSpan, true);
    } catch (...) {
        CloseInFile();
        FSpecArgs.clear();
        FSpecArgsExcl.clear();
        throw;
    }
    runZipLibrary(false);
}

// ---- Extract ---------------------------------------------------------------

void TZipEngine::Extract()
{
    SuccessCount = 0;
    if (ZipFileName().isEmpty()) {
        IssueMessage(ZipMsg::GE_NoZipSpecified);
        FSpecArgs.clear();
        FSpecArgsExact = false;
        return;
    }
    if (unzipBusy_)
        return;
    const int32_t savedReqCount = passwordReqCount_;
    int32_t reqCount = passwordReqCount_;
    if (Unattended && Password.isEmpty() && !OnPasswordError) {
        IssueMessage(ZipMsg::EX_UnAttPassword);
        reqCount = 0;
    }
    // The library reads a set on a fixed drive in place as one zip; one on
    // removable disks is first joined into a temporary zip.
    QString& joined = spanJoined_;
    std::unique_ptr<ZipSetSource> set;
    if (LastDiskNumber != 0) {
        int32_t result = 0;
        if (driveTypeOf(ZipSpanning::DriveRootOf(ZipFileName())) == DriveRemovable) {
            result = ReadSpan(TempDir, joined);
        } else {
            set = std::make_unique<ZipSetSource>();
            result = MapSpan(*set);
        }
        if (result != 0) {
            FSpecArgs.clear();
            FSpecArgsExact = false;
            return;
        }
    }
    // Removed even when a signal ends the program meanwhile.
    std::unique_ptr<zipdir::ScratchFile> joinedScratch;
    if (!joined.isEmpty())
        joinedScratch = std::make_unique<zipdir::ScratchFile>(QFile::encodeName(joined).toStdString());
    bool loadedHere = false;
    unzipBusy_ = true;
    try {
        const int32_t version = libraryVersion(false, loadedHere);
        if (version > 0) {
            TextStore store;
            QzUnzBlock b;
            std::memset(&b, 0, sizeof b);
            b.owner = Unattended ? nullptr : static_cast<void*>(User());
            b.engine = this;
            b.version = version;
            b.callback = &TZipEngine::LibraryCallback;
            b.trace = flag(Trace);
            b.password = store.keep(Password.left(255));
            b.test = flag(ExtrOptions & ExtrTest);
            b.quiet = -1;
            b.verbose = flag(Verbose || Trace);
            b.update = flag(ExtrOptions & ExtrUpdate);
            b.freshen = flag((ExtrOptions & ExtrFreshen) && !(ExtrOptions & ExtrUpdate));
            b.dirNames = flag(ExtrOptions & ExtrDirNames);
            b.overwrite = flag(ExtrOptions & ExtrOverWrite);
            b.zipFileName = store.keep(joined.isEmpty() ? ZipFileName() : joined);
            b.input = set ? set->Input() : nullptr;
            std::vector<QzUnzFileSpec> specs;
            if (!(FSpecArgs.size() > 0 && FSpecArgs.first() == "*.*")) {
                specs.resize(size_t(FSpecArgs.size()));
                for (qsizetype i = 0; i < FSpecArgs.size(); ++i) {
                    std::memset(&specs[size_t(i)], 0, sizeof(QzUnzFileSpec));
                    specs[size_t(i)].fileSpec = store.keep(FSpecArgs[i]);
                    specs[size_t(i)].exact = FSpecArgsExact ? 1 : 0;
                }
            }
            b.specCount = int32_t(specs.size());
            b.specs = specs.empty() ? nullptr : specs.data();
            b.passwordReqCount = reqCount;
            b.baseDir = store.keepOrNull(ExtrBaseDir);
            b.seven = 7;
            LastUnzBlockSpecCount = b.specCount;
            auto exec = reinterpret_cast<QzUnzLibExec>(libs()->unz.exec);
            SuccessCount = exec(&b);
        }
    } catch (const EZipEngine& e) {
        IssueException(e);
    } catch (const std::bad_alloc&) {
        IssueMessage(ZipMsg::GE_NoMem);
    } catch (...) {
        IssueMessage(ZipMsg::EX_FatalUnZip);
    }
    if (!joined.isEmpty())
        QFile::remove(joined);
    joined.clear();
    passwordReqCount_ = savedReqCount;
    FSpecArgs.clear();
    FSpecArgsExact = false;
    if (loadedHere)
        UnloadUnzipLibrary();
    CancelFlag = false;
    unzipBusy_ = false;
}

// ---- The callback ----------------------------------------------------------

int32_t TZipEngine::LibraryCallback(QzCallbackRecord* record)
{
    if (!record || !record->engine)
        return 0;
    auto* engine = static_cast<TZipEngine*>(record->engine);
    engine->dispatch(record);
    const bool cancel = engine->CancelFlag;
    // Let the window handle its input while a library works, every 50 ms at
    // most (not once per file); a cancel asked for meanwhile counts at the
    // next callback.
    if (QCoreApplication::instance() && QThread::currentThread() == QCoreApplication::instance()->thread()) {
        const auto now = std::chrono::steady_clock::now();
        if (now - engine->lastEvents_ >= std::chrono::milliseconds(50)) {
            QCoreApplication::processEvents();
            engine->lastEvents_ = std::chrono::steady_clock::now();
        }
    }
    return cancel ? 1 : 0;
}

static void setText(QzCallbackRecord* r, const QString& s, int maxChars)
{
    QByteArray b = s.left(maxChars).toUtf8();
    if (b.size() > int(sizeof r->text) - 1)
        b.truncate(int(sizeof r->text) - 1);
    std::memcpy(r->text, b.constData(), size_t(b.size()));
    r->text[b.size()] = 0;
}

void TZipEngine::dispatch(QzCallbackRecord* r)
{
    QString text = QString::fromUtf8(r->text, int(strnlen(r->text, sizeof r->text)));
    while (text.endsWith(' '))
        text.chop(1);
    // The library may be working on a temporary copy of a set: its messages
    // name the set the user chose.
    const QString& copy = !spanTemp_.isEmpty() ? spanTemp_ : spanJoined_;
    if (!copy.isEmpty())
        text.replace(copy, zipFileName_);
    // Entry names are shown with "\" like the lists; messages and the disk
    // file of an overwrite question hold real paths, which keep their "/".
    if (r->actionCode != 4 && r->actionCode != 10)
        text.replace('/', '\\');
    switch (r->actionCode) {
    case 1:
        if (OnProgress) OnProgress(*this, ProgressNewFile, text, r->size);
        break;
    case 2:
        if (OnProgress) OnProgress(*this, ProgressBytes, QString(), r->size);
        break;
    case 3:
        if (OnProgress) OnProgress(*this, ProgressEnd, QString(), 0);
        break;
    case 4:
        // Once the parts of a set could not be written, that failure is
        // reported; the library's own write error is not.
        if (spanOutput_ && spanOutput_->Error())
            break;
        LastMessage = text;
        if (r->errorCode != 0) {
            ErrCode = r->errorCode & 0xFF;
            FullErrCode = r->errorCode;
        }
        if (OnMessage) OnMessage(*this, r->errorCode, text);
        break;
    case 5:
        if (OnProgress) OnProgress(*this, ProgressTotalFiles, QString(), r->size);
        break;
    case 6:
        TotalSize = r->size;
        if (OnProgress) OnProgress(*this, ProgressTotalSize, QString(), r->size);
        break;
    case 7:
        if (OnSetNewName) {
            QString name = text;
            bool changed = false;
            OnSetNewName(*this, name, changed);
            if (changed) setText(r, name, 512);
            r->errorCode = changed ? 1 : 0;
        }
        break;
    case 8: {
        QString newPassword;
        uint32_t repeatCount = uint32_t(r->size);
        // Adding: the first password dialog may turn AES-256 on or off.
        bool aes = AddAes;
        PasswordDialogResult = 0;
        if (OnPasswordError) {
            TPasswordButton action = pwbOk;
            OnPasswordError(*this, r->isZipAction != 0, newPassword, text, repeatCount, action);
            if (action != pwbOk) newPassword.clear();
            if (action == pwbCancelAll) PasswordDialogResult = 9;
            else if (action == pwbAbort) PasswordDialogResult = 3;
        } else if (r->errorCode & 1) {
            newPassword = AskAddPassword(aes);
        } else {
            newPassword = AskExtractPassword();
        }
        if (!newPassword.isEmpty()) {
            setText(r, newPassword, 80);
            r->errorCode = (r->errorCode & 1) && aes ? 3 : 1;
        } else {
            repeatCount = 0;
            r->errorCode = 0;
        }
        r->size = int32_t(std::min<uint32_t>(repeatCount, 15));
        if (PasswordDialogResult == 9) r->actionCode = 0;
        if (PasswordDialogResult == 3) CancelFlag = true;
        break;
    }
    case 9:
        if (OnCRC32Error) {
            bool doExtract = true;
            OnCRC32Error(*this, text, uint32_t(r->errorCode), uint32_t(r->size), doExtract);
            r->errorCode = doExtract ? 1 : 0;
        } else {
            r->errorCode = 2;
        }
        break;
    case 10:
        if (OnExtractOverwrite) {
            bool doOverwrite = (r->size & 0xFF) != 0;
            OnExtractOverwrite(*this, text, (r->errorCode & 0x10000) != 0, doOverwrite, r->errorCode & 0xFFFF);
            r->size = doOverwrite ? 1 : 0;
        }
        break;
    case 11:
        if (r->errorCode != 0) {
            ErrCode = r->errorCode & 0xFF;
            FullErrCode = r->errorCode;
        }
        if (OnExtractSkipped) OnExtractSkipped(*this, text, UnZipSkipTypes((r->size & 0xFF) - 1), r->errorCode);
        break;
    case 12:
        if (OnFileComment) {
            QString comment = QString::fromUtf8(r->text + 256, r->text[256] ? 1 : 0);
            bool changed = false;
            OnFileComment(*this, text, comment, changed);
            if (changed && !comment.isEmpty()) setText(r, comment, 511);
            else r->text[0] = 0;
            r->errorCode = changed ? 1 : 0;
            r->size = int32_t(std::min<qsizetype>(comment.size(), 511));
        }
        break;
    case 13:
        // This engine keeps no memory stream for the libraries: the request fails.
        r->errorCode = 1;
        r->size = 0;
        break;
    default:
        break;
    }
}

// ---- Passwords -------------------------------------------------------------

QString TZipEngine::AskAddPassword(bool& aes)
{
    if (Unattended) {
        IssueMessage(ZipMsg::PW_UnatAddPWMiss);
        return QString();
    }
    if (!User())
        return QString();
    QString first;
    PasswordDialogResult = User()->AskAddPassword(LoadZipStr(ZipMsg::PW_Caption), LoadZipStr(ZipMsg::PW_MessageEnter), first, aes);
    if (PasswordDialogResult != 1 || first.isEmpty())
        return QString();
    QString second;
    PasswordDialogResult = User()->AskPassword(LoadZipStr(ZipMsg::PW_Caption), LoadZipStr(ZipMsg::PW_MessageConfirm), 2, second);
    if (PasswordDialogResult != 1 || second.isEmpty())
        return QString();
    if (first != second) {
        IssueMessage(ZipMsg::GE_WrongPassword);
        return QString();
    }
    return first;
}

QString TZipEngine::AskExtractPassword()
{
    if (Unattended) {
        IssueMessage(ZipMsg::PW_UnatExtPWMiss);
        return QString();
    }
    if (!User())
        return QString();
    QString entry;
    PasswordDialogResult = User()->AskPassword(LoadZipStr(ZipMsg::PW_Caption), LoadZipStr(ZipMsg::PW_MessageEnter), 3, entry);
    return PasswordDialogResult == 1 ? entry : QString();
}
