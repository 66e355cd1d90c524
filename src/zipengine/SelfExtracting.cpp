// Turning a zip into a self-extracting program (stub + option block + the zip
// with every offset shifted) and back, without recompressing anything.

#include "TZipEngine.h"

#include "platform/Platform.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <new>

namespace {

constexpr qint64 kCopyBuffer = 8192;
// The longest option block: 12 bytes and four texts of 255.
constexpr qint64 kMaxBlock = 12 + 4 * 255;

// Copies n bytes (or up to the end of `in`); false on a failed read or a short write.
bool copyBytes(QIODevice& in, QIODevice& out, qint64 n)
{
    char buf[kCopyBuffer];
    while (n > 0) {
        const qint64 got = in.read(buf, std::min(n, kCopyBuffer));
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (out.write(buf, got) != got)
            return false;
        n -= got;
    }
    return true;
}

bool writeAll(QIODevice& out, const QByteArray& b) { return out.write(b) == b.size(); }

// `path`, or a file in the same folder whose name differs only in case (the
// stub's name is matched the way the system it runs on matches names).
QString existingFileAnyCase(const QString& path)
{
    const QFileInfo fi(path);
    if (fi.isFile())
        return path;
    const QDir dir = fi.absoluteDir();
    if (!dir.exists())
        return QString();
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        if (name.compare(fi.fileName(), Qt::CaseInsensitive) == 0)
            return dir.filePath(name);
    return QString();
}

QString withExtension(const QString& path, const char* ext)
{
    const QFileInfo fi(path);
    return QDir(fi.path()).filePath(fi.completeBaseName() + QLatin1String(ext));
}

bool hasExtension(const QString& path, const char* ext)
{
    return QFileInfo(path).suffix().compare(QLatin1String(ext), Qt::CaseInsensitive) == 0;
}

// Copies `count` central headers from `in` (at its position) to `out`, each
// local header offset moved by `shift`. False on any failure.
bool copyCentralHeaders(QFile& in, QIODevice& out, uint32_t count, qint64 shift)
{
    for (uint32_t i = 0; i < count; ++i) {
        unsigned char h[kCentralHeaderSize];
        if (in.read(reinterpret_cast<char*>(h), kCentralHeaderSize) != kCentralHeaderSize
            || GetLE32(h) != ZipSig::CentralHeader)
            return false;
        const qint64 offset = qint64(GetLE32(h + 42)) + shift;
        if (offset < 0 || offset > 0xFFFFFFFE)
            return false;
        PutLE32(h + 42, uint32_t(offset));
        if (out.write(reinterpret_cast<const char*>(h), kCentralHeaderSize) != kCentralHeaderSize)
            return false;
        const qint64 rest = qint64(GetLE16(h + 28)) + GetLE16(h + 30) + GetLE16(h + 32);
        if (in.bytesAvailable() < rest || !copyBytes(in, out, rest))
            return false;
    }
    return true;
}

// Copies the end record at `at` with its directory offset moved by `shift`,
// then the archive comment.
bool copyEndRecord(QFile& in, QIODevice& out, qint64 at, qint64 shift)
{
    unsigned char r[kEndRecordSize];
    if (!in.seek(at) || in.read(reinterpret_cast<char*>(r), kEndRecordSize) != kEndRecordSize)
        return false;
    const qint64 offset = qint64(GetLE32(r + 16)) + shift;
    if (offset < 0 || offset > 0xFFFFFFFE)
        return false;
    PutLE32(r + 16, uint32_t(offset));
    return out.write(reinterpret_cast<const char*>(r), kEndRecordSize) == kEndRecordSize
           && copyBytes(in, out, GetLE16(r + 20));
}

// True when the end record cannot describe the archive on its own (the true
// values are in a Zip64 record, whose offsets this conversion does not move).
bool needsZip64(const ZipEndOfCentral& e)
{
    return e.TotalEntries == 0xFFFF || e.CentralEntries == 0xFFFF || e.CentralSize == 0xFFFFFFFFu
           || e.CentralOffset == 0xFFFFFFFFu;
}

} // namespace

bool TZipEngine::removeFile(const QString& path)
{
    const QString p = QFileInfo(path).isRelative() ? QDir::current().filePath(path) : path;
    if (!QFileInfo::exists(p) && !QFileInfo(p).isSymLink())
        return true;
    // The trash when undo is allowed; a file system without one deletes for good.
    if (HowToDelete == htdAllowUndo && Platform::MoveToTrash(p))
        return true;
    return QFile::remove(p);
}

int32_t TZipEngine::MakeSelfExtracting() { return makeSelfExtracting(false); }

int32_t TZipEngine::makeSelfExtracting(bool fromAdd)
{
    int32_t result = SfxResult::General;
    const QString zip = ZipFileName();
    if (!fromAdd && (zip.isEmpty() || !QFileInfo(zip).isFile())) {
        IssueMessage(ZipMsg::GE_NoZipSpecified);
        return result;
    }

    SfxOptionBlock block;
    block.Caption = SFXCaption.toUtf8();
    block.DefaultDir = SFXDefaultDir.toUtf8();
    block.CommandLine = SFXCommandLine.toUtf8();
    block.Message = SFXMessage.toUtf8();
    for (const QByteArray* t : {&block.Caption, &block.DefaultDir, &block.CommandLine, &block.Message})
        if (t->size() > 255) {
            IssueMessage(ZipMsg::SF_StringToLong,
                         QStringLiteral("\r\nSFXCaption + SFXDefaultDir + SFXCommandLine + SFXMessage = %1")
                             .arg(block.RawLength() + 1));
            return result;
        }

    // The stub: where SFXPath says, beside the program, in the current folder,
    // in the library folder.
    const QString programFolder = Platform::ProgramFolder();
    QStringList candidates{SFXPath};
    if (!SFXPath.startsWith(QLatin1Char('.')))
        candidates << QDir(programFolder).filePath(SFXPath);
    candidates << QStringLiteral("SFXSTUB.BIN") << QDir(programFolder).filePath(QStringLiteral("SFXSTUB.BIN"));
    if (!DLLDirectory().isEmpty())
        candidates << DLLDirectory() + QStringLiteral("/SFXSTUB.BIN");
    QString stubPath;
    for (const QString& c : candidates) {
        if (c.isEmpty())
            continue;
        stubPath = existingFileAnyCase(c);
        if (!stubPath.isEmpty())
            break;
    }
    if (stubPath.isEmpty()) {
        IssueMessage(ZipMsg::SF_NoStubBin);
        return result;
    }
    SFXPath = stubPath;

    block.Flags = uint8_t(((SFXOptions & SFXAskCmdLine) ? SfxFlag::AskCmdLine : 0)
                          | ((SFXOptions & SFXAskFiles) ? SfxFlag::AskFiles : 0)
                          | ((SFXOptions & SFXHideOverWriteBox) ? SfxFlag::HideOverWriteBox : 0)
                          | (SFXOverWriteMode == OvrAlways ? SfxFlag::OvrAlways : 0)
                          | (SFXOverWriteMode == OvrNever ? SfxFlag::OvrNever : 0)
                          | ((SFXOptions & SFXCheckSize) ? 0 : SfxFlag::NoCheckSize)
                          | ((SFXOptions & SFXAutoRun) ? SfxFlag::AutoRun : 0)
                          | ((SFXOptions & SFXNoSuccessMsg) ? SfxFlag::NoSuccessMsg : 0));
    QByteArray blockBytes;
    try {
        blockBytes = block.Encode();
    } catch (const std::bad_alloc&) {
        IssueMessage(ZipMsg::GE_NoMem);
        return result;
    }
    const qint64 L = blockBytes.size();

    QString dest = zip;
    if (!fromAdd) {
        if (!hasExtension(zip, "zip")) {
            IssueMessage(ZipMsg::SF_InputIsNoZip);
            return result;
        }
        dest = withExtension(zip, ".exe");
    }
    BeginBusy();
    // The program is written beside its place and put there only when
    // whole: a program of that name is kept until then, and a failure
    // leaves nothing behind.
    QSaveFile out(dest);
    qint64 S = 0, Z = 0;
    if (!out.open(QIODevice::WriteOnly)) {
        result = SfxResult::CreateFailed;
    } else {
        QFile stubFile(stubPath);
        QByteArray stub;
        if (!stubFile.open(QIODevice::ReadOnly)) {
            result = SfxResult::SourceFailed;
        } else {
            stub = stubFile.readAll();
            result = stubFile.error() == QFileDevice::NoError && stub.size() == stubFile.size() ? SfxResult::Ok
                                                                                                : SfxResult::CopyFailed;
        }
        S = stub.size();
        if (result == SfxResult::Ok && !SFXIcon.isEmpty())
            result = replaceStubIcon(stub);
        if (result == SfxResult::Ok && (!writeAll(out, stub) || !writeAll(out, blockBytes)))
            result = SfxResult::CopyFailed;
        if (result == SfxResult::Ok) {
            if (fromAdd) {
                // An empty archive: an end record pointing just past the block.
                unsigned char r[kEndRecordSize] = {};
                PutLE32(r, ZipSig::EndOfCentral);
                PutLE32(r + 16, uint32_t(S + L));
                if (out.write(reinterpret_cast<const char*>(r), kEndRecordSize) != kEndRecordSize)
                    result = SfxResult::CopyFailed;
            } else {
                result = copyZipShifted(out, S + L, Z);
            }
        }
        result = putConverted(out, result, fromAdd ? -1 : S + Z + L, fromAdd ? QString() : zip);
    }
    EndBusy();
    return result;
}

// Puts the converted file written to `out` in its place when `result` is
// Ok and it holds `size` bytes (-1: unchecked), else drops it. The file it
// was made from (`from`, unless empty) then goes; one that stays is said.
int32_t TZipEngine::putConverted(QSaveFile& out, int32_t result, qint64 size, const QString& from)
{
    if (result == SfxResult::Ok && !out.flush())
        result = SfxResult::CopyFailed;
    if (result == SfxResult::Ok && size >= 0 && out.size() != size)
        result = SfxResult::General;
    if (result != SfxResult::Ok) {
        out.cancelWriting();
        return result;
    }
    // An old file of that name goes to the trash when undo is asked for;
    // else the new one simply takes its place.
    const QString dest = out.fileName();
    if (HowToDelete == htdAllowUndo && QFileInfo::exists(dest))
        Platform::MoveToTrash(dest);
    if (!Platform::CommitSaveFile(out))
        return SfxResult::CreateFailed;
    if (!from.isEmpty()) {
        SetZipFileName(dest);
        if (!removeFile(from))
            IssueMessage(ZipMsg::SF_ZipNotRemoved, QStringLiteral(" %1").arg(from));
    }
    return result;
}

// Copies the zip of ZipFileName to `out` with every offset moved by `shift`;
// sets `size` to the zip bytes it stands for.
int32_t TZipEngine::copyZipShifted(QIODevice& out, qint64 shift, qint64& size)
{
    const bool warned = StructureWarning;
    try {
        ReadEndRecord(true);
    } catch (const EZipEngine& e) {
        IssueException(e);
        CloseInFile();
        return SfxResult::SourceFailed;
    }
    int32_t result = SfxResult::Ok;
    if (warned) {
        // Offsets that were wrong already are left as they are.
        size = RealSize;
        if (!InFile.seek(0) || !copyBytes(InFile, out, RealSize))
            result = SfxResult::CopyFailed;
    } else if (needsZip64(EndRecord) || EndRecord.ThisDiskNo != 0) {
        IssueMessage(ZipMsg::SF_NotSupported);
        result = SfxResult::General;
    } else {
        size = EffectiveSize;
        const qint64 D = EndRecord.CentralOffset;
        if (!InFile.seek(0) || !copyBytes(InFile, out, D) || out.pos() < D
            || !copyCentralHeaders(InFile, out, EndRecord.TotalEntries, shift)
            || !copyEndRecord(InFile, out, EndRecordOffset, shift))
            result = SfxResult::CopyFailed;
    }
    CloseInFile();
    return result;
}

// Writes SFXIcon over the stub's own 32x32 16-colour icon in `stub`.
int32_t TZipEngine::replaceStubIcon(QByteArray& stub)
{
    try {
        const qint64 at = SfxIconImage::FindStubIconImage(stub);
        if (at < 0)
            return SfxResult::IconNotFound;
        if (!SfxIconImage::IsSingle32x32x16(SFXIcon))
            return SfxResult::IconSize;
        stub.replace(at, SfxIconImage::ImageSize, SFXIcon.constData() + 22, SfxIconImage::ImageSize);
        return SfxResult::Ok;
    } catch (const std::exception&) {
        return SfxResult::IconSetFailed;
    }
}

int32_t TZipEngine::MakePlainZip()
{
    const QString exe = ZipFileName();
    if (exe.isEmpty() || !QFileInfo(exe).isFile()) {
        IssueMessage(ZipMsg::CZ_NoExeSpecified);
        return SfxResult::SourceFailed;
    }
    if (!hasExtension(exe, "exe")) {
        IssueMessage(ZipMsg::CZ_InputNotExe);
        return SfxResult::SourceFailed;
    }
    if (DataStart == 0) {
        IssueMessage(ZipMsg::CZ_SFXTypeUnknown);
        return SfxResult::General;
    }
    const qint64 start = DataStart;
    const bool warned = StructureWarning;
    BeginBusy();
    // Written beside its place and put there only when whole, as the program is.
    const QString dest = withExtension(exe, ".zip");
    QSaveFile out(dest);
    int32_t result = SfxResult::Ok;
    qint64 expected = 0;
    if (!out.open(QIODevice::WriteOnly)) {
        EndBusy();
        return SfxResult::CreateFailed;
    }
    try {
        ReadEndRecord(true);
        // The option block ends where the zip data starts.
        const qint64 n = std::min(start, kMaxBlock);
        QByteArray tail;
        if (!InFile.seek(start - n) || (tail = InFile.read(n)).size() != n) {
            result = SfxResult::CopyFailed;
        } else {
            const auto* t = reinterpret_cast<const unsigned char*>(tail.constData());
            for (qint64 i = 0; i + 3 <= n; ++i) {
                if (t[i] != 'M' || t[i + 1] != 'P' || (t[i + 2] != 'U' && t[i + 2] != 'V'))
                    continue;
                SfxOptionBlock block;
                if (!block.Decode(t + i, n - i))
                    continue;
                if (!InFile.seek(0))
                    throw std::runtime_error("seek");
                const QByteArray icon = SfxIconImage::FirstIcon(InFile.read(start));
                if (!icon.isEmpty())
                    SFXIcon = icon;
                const uint8_t f = block.Flags;
                SFXOverWriteMode = (f & SfxFlag::OvrAlways) ? OvrAlways : (f & SfxFlag::OvrNever) ? OvrNever : OvrConfirm;
                SFXOptions = uint8_t(((f & SfxFlag::AskCmdLine) ? SFXAskCmdLine : 0)
                                     | ((f & SfxFlag::AskFiles) ? SFXAskFiles : 0)
                                     | ((f & SfxFlag::HideOverWriteBox) ? SFXHideOverWriteBox : 0)
                                     | ((f & SfxFlag::NoCheckSize) ? 0 : SFXCheckSize)
                                     | ((f & SfxFlag::AutoRun) ? SFXAutoRun : 0)
                                     | ((f & SfxFlag::NoSuccessMsg) ? SFXNoSuccessMsg : 0));
                SFXCaption = QString::fromUtf8(block.Caption);
                SFXDefaultDir = QString::fromUtf8(block.DefaultDir);
                SFXCommandLine = QString::fromUtf8(block.CommandLine);
                if (t[i + 2] == 'V')
                    SFXMessage = QString::fromUtf8(block.Message);
                break;
            }
            if (warned) {
                expected = RealSize;
                if (!InFile.seek(start) || !copyBytes(InFile, out, RealSize - start))
                    result = SfxResult::SourceFailed;
            } else if (needsZip64(EndRecord) || EndRecord.ThisDiskNo != 0 || EndRecord.CentralOffset < start) {
                IssueMessage(ZipMsg::SF_NotSupported);
                result = SfxResult::General;
            } else {
                expected = EffectiveSize;
                if (!InFile.seek(start) || !copyBytes(InFile, out, qint64(EndRecord.CentralOffset) - start)
                    || !copyCentralHeaders(InFile, out, EndRecord.TotalEntries, -start)
                    || !copyEndRecord(InFile, out, EndRecordOffset, -start))
                    result = SfxResult::SourceFailed;
            }
        }
    } catch (const EZipEngine& e) {
        IssueException(e);
        result = SfxResult::SourceFailed;
    } catch (const std::bad_alloc&) {
        result = SfxResult::NoMemory;
    } catch (const std::exception&) {
        result = SfxResult::SourceFailed;
    }
    CloseInFile();
    result = putConverted(out, result, expected - start, exe);
    EndBusy();
    return result;
}
