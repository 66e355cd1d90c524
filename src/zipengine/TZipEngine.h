#pragma once
// TZipEngine: the program's zip engine. This header holds the directory
// reader, the entry list and the message mechanism; the operations on
// archives (library calls, self-extracting conversion, spanning) live in
// further source files of this folder and extend the class here.

#include "SfxParts.h"
#include "ZipCodePage.h"
#include "ZipFormat.h"
#include "ZipMessages.h"
#include "zipdir/ZipDir.h"

#include <QByteArray>
#include <QFile>
#include <QDate>
#include <QString>
#include <QStringList>

class QSaveFile;
#include <cstdint>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

class TZipEngineUser;
class ZipSetSource;
class ZipSpanOutput;
struct QzCallbackRecord;
namespace ZipSpanning {
struct SetDirectory;
}

// One entry of the central directory. The first sixteen fields are the
// central header's fixed fields after the signature, in format order; sizes
// and the offset are the true ones where the header keeps them in its Zip64
// field.
struct ZipDirEntry {
    uint8_t MadeByVersion = 0;
    uint8_t HostSystem = 0;
    uint16_t NeededVersion = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t DateTime = 0; // DOS date-time, time in the low half
    uint32_t CRC32 = 0;
    uint64_t CompressedSize = 0;
    uint64_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint16_t CommentLength = 0;
    uint32_t StartDisk = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0;
    uint64_t LocalHeaderOffset = 0; // as stored: bytes in front of the archive left out

    QString FileName;    // converted, every "/" replaced by "\"
    QString FileComment; // converted like the name; empty if none
    bool Encrypted = false;
    // The extra field bytes (QByteArray keeps a zero byte after them); empty
    // when ExtraLength is 0.
    QByteArray ExtraData;

    // The engine's form of an entry the shared reader returned.
    static ZipDirEntry From(const zipdir::Entry& e, uint64_t prefix, TCodePage codePage);
};

class TZipEngine {
public:
    TZipEngine();
    ~TZipEngine();
    TZipEngine(const TZipEngine&) = delete;
    TZipEngine& operator=(const TZipEngine&) = delete;

    // ---- Disk spanning (ZipSpan.cpp) ------------------------------------
    // Bytes per part (0: the disk's free space); bytes left free on the
    // first disk; a disk with less usable room than MinFreeVolumeSize is refused.
    int32_t MaxVolumeSize = 0;
    int32_t KeepFreeOnDisk1 = 0;
    int32_t MinFreeVolumeSize = 65536;
    // A removable disk is erased (after the question) before it is written;
    // this platform cannot format, so FormatErase changes nothing.
    bool FormatErase = false;
    bool ConfirmErase = true;
    enum TDriveType { DriveRemovable = 2, DriveFixed = 3, DriveRemote = 4 };
    // What OnStatusDisk is told about the disk a part is to go on.
    enum TZipDiskStatus : int32_t {
        zdsEmpty = 1, zdsHasFiles = 2, zdsPreviousDisk = 4, zdsSameFileName = 8, zdsNotEnoughSpace = 16,
    };
    // OnStatusDisk's answers.
    enum TZipDiskAction : int32_t { zdaOk = 0, zdaErase = 1, zdaReject = 2, zdaCancel = 3 };
    std::function<void(TZipEngine& sender, int32_t diskSeqNo, int32_t diskTotal, const QString& drive, bool& abort)>
        OnGetNextDisk;
    std::function<void(TZipEngine& sender, int32_t previousDisk, const QString& fileName, int32_t status,
                       int32_t& action)>
        OnStatusDisk;

    // Copies the single zip `source` out as a set of parts named after
    // `destination`. 0, or -7 (an engine message was issued), -8 (out of
    // memory, issued), -9 (anything else, issued).
    int32_t WriteSpan(const QString& source, const QString& destination);
    // Joins the set ZipFileName is the last part of into a new temporary zip
    // in `folder` (its name in `tempZip`); the same results. A failure leaves
    // no temporary zip behind.
    int32_t ReadSpan(const QString& folder, QString& tempZip);
    // The same checks as ReadSpan, but the set is only mapped: `set` reads
    // its parts in place as the joined zip. The same results.
    int32_t MapSpan(ZipSetSource& set);
    // Asks for the next disk where one is needed; raises 11025 when
    // unattended and 11007 when cancelled. Returns the drive's type.
    TDriveType PromptDisk(bool writing);
    // Opens part `diskNo` (0-based) of the set being read into InFile.
    void OpenDisk(int32_t diskNo);
    // Writes `length` bytes to the set, starting a new part where the
    // current one is full; the first `mustFit` bytes never straddle two parts.
    void WriteSplit(const char* data, qint64 length, qint64 mustFit);
    // The file of part `partNo` (1-based) of the set named `archive`:
    // archive.zip gives archive001.zip, archive002.zip, ...
    static QString PartFileName(const QString& archive, int32_t partNo);
    // The part number of a part's file name (archive003.zip: 3), or -1; the
    // set's own name goes to `archive` when given.
    static int32_t PartNumberOf(const QString& partFile, QString* archive = nullptr);
    // Given a part of a numbered set that is not its last one: the message
    // that says so (11037 for the first part, 11038 with its number); else "".
    static QString EarlierPartProblem(const QString& path);

    // ---- The person at the screen --------------------------------------
    void SetUser(TZipEngineUser* user) { user_ = user; }
    TZipEngineUser* User() const { return user_; }
    // Messages are not shown, but still reach OnMessage and ErrCode.
    bool Unattended = false;
    // Trace lines go to OnMessage only.
    bool Trace = false;

    // ---- Reading the directory -----------------------------------------
    const QString& ZipFileName() const { return zipFileName_; }
    // Stores the path and reads the archive's directory at once.
    void SetZipFileName(const QString& path);

    bool UseDirOnlyEntries = false;
    TCodePage CodePage = TCodePage::cpAuto;

    std::vector<ZipDirEntry> Entries;

    // Directory state, valid after ReadDirectory (all reset at its start).
    int32_t Count = 0;
    int32_t DirectoryOnlyCount = 0;
    // Sizes and offsets are kept 64 bits wide so that a file over 2 GiB
    // cannot turn them negative.
    qint64 DataStart = 0;
    qint64 EffectiveSize = 0;
    qint64 RealSize = 0;
    qint64 EndRecordOffset = 0;
    qint64 DirectoryStart = 0;
    bool StructureWarning = false;
    bool Spanned = false;
    int32_t LastDiskNumber = 0;
    QString ArchiveComment;
    int32_t CurrentDisk = 0;
    QString DriveRoot;
    QString VolumeLabel;
    // The end record as last read by ReadEndRecord.
    ZipEndOfCentral EndRecord;

    // Re-reads the directory of ZipFileName. Never raises: every failure is
    // issued as a message. Entries read before a failure stay.
    void ReadDirectory();

    // Opens ZipFileName into InFile (left open for the caller), finds and
    // reads the end record. Returns success; with `raise` a failure raises
    // EZipEngine instead.
    bool ReadEndRecord(bool raise);
    // The archive file as ReadEndRecord left it.
    QFile InFile;
    void CloseInFile();

    // ---- Messages ------------------------------------------------------
    int32_t ErrCode = 0;     // last message number, or a library code's low byte
    int32_t FullErrCode = 0; // the whole library error code
    QString LastMessage;
    // Makes the running library call stop at its next callback. Another
    // thread may set it (the batch page's STOP while its worker extracts);
    // each operation clears it when it ends.
    std::atomic<bool> CancelFlag{false};
    int32_t TotalSize = 0;

    // Text of `id` + appended, shown unless Unattended, then OnMessage(0, text).
    void IssueMessage(int id, const QString& appended = QString());
    void IssueException(const EZipEngine& e);
    void TraceLine(const QString& line);

    // The nested busy cursor (only the GUI thread touches the cursor).
    void BeginBusy();
    void EndBusy();
    int BusyDepth() const { return busyDepth_; }

    // ---- Events --------------------------------------------------------
    std::function<void(TZipEngine& sender, int32_t errCode, const QString& message)> OnMessage;
    std::function<void(TZipEngine& sender, int32_t seqNo, const ZipDirEntry& entry)> OnNewName;
    std::function<void(TZipEngine& sender)> OnDirUpdate;

    // Opens disk `diskNo` of a spanned set into InFile and makes it CurrentDisk.
    // Returns false when the disk cannot be had. Spanning supplies the real
    // disk handling through this hook; without it only the open disk exists.
    std::function<bool(TZipEngine& sender, int32_t diskNo)> OnOpenDisk;

    // ---- Compression libraries (ZipEngineLibrary.cpp) --------------------
    // Where libziplib.so and libunzlib.so are looked for; a trailing "\" or
    // "/" is removed when it is set.
    const QString& DLLDirectory() const { return dllDirectory_; }
    void SetDLLDirectory(const QString& dir);
    // Minimum library versions; values below 170 are ignored.
    int32_t MinZipLibVers() const { return minZipLibVers_; }
    int32_t MinUnzLibVers() const { return minUnzLibVers_; }
    void SetMinZipLibVers(int32_t v) { if (v >= 170) minZipLibVers_ = v; }
    void SetMinUnzLibVers(int32_t v) { if (v >= 170) minUnzLibVers_ = v; }
    // Load and return the version (0 = not loaded); unload.
    int32_t LoadZipLibrary();
    int32_t LoadUnzipLibrary();
    void UnloadZipLibrary();
    void UnloadUnzipLibrary();
    int32_t ZipLibVersion() const;
    int32_t UnzLibVersion() const;

    // ---- Adding, deleting, extracting (ZipEngineOperations.cpp) ---------
    enum AddOption : uint16_t {
        AddDirNames = 1u << 0, AddRecurseDirs = 1u << 1, AddMove = 1u << 2, AddFreshen = 1u << 3,
        AddUpdate = 1u << 4, AddZipTime = 1u << 5, AddForceDOS = 1u << 6, AddHiddenFiles = 1u << 7,
        AddArchiveOnly = 1u << 8, AddResetArchive = 1u << 9, AddEncrypt = 1u << 10, AddSeparateDirs = 1u << 11,
        AddVolume = 1u << 12, AddFromDate = 1u << 13, AddDiskSpan = 1u << 14, AddDiskSpanErase = 1u << 15,
    };
    enum ExtrOption : uint8_t {
        ExtrDirNames = 1u << 0, ExtrOverWrite = 1u << 1, ExtrFreshen = 1u << 2, ExtrUpdate = 1u << 3, ExtrTest = 1u << 4,
    };
    enum AddStoreSuffix : uint32_t {
        assGIF = 1u << 0, assPNG = 1u << 1, assZ = 1u << 2, assZIP = 1u << 3, assZOO = 1u << 4, assARC = 1u << 5,
        assLZH = 1u << 6, assARJ = 1u << 7, assTAZ = 1u << 8, assTGZ = 1u << 9, assLHA = 1u << 10, assRAR = 1u << 11,
        assACE = 1u << 12, assCAB = 1u << 13, assGZ = 1u << 14, assGZIP = 1u << 15, assJAR = 1u << 16, assEXE = 1u << 17,
    };
    static constexpr uint32_t AllStoreSuffixesButExe = (1u << 17) - 1;
    enum THowToDelete { htdFinal, htdAllowUndo };
    enum ProgressType { ProgressNewFile = 0, ProgressBytes = 1, ProgressEnd = 2, ProgressTotalFiles = 3, ProgressTotalSize = 4 };
    enum UnZipSkipTypes { stOnFreshen, stNoOverwrite, stFileExists, stBadPassword, stNoEncryptionDLL,
                          stCompressionUnknown, stUnknownZipHost, stZipFileFormatWrong, stGeneralExtractError,
                          stUser, stCannotDo, stNotImplemented };
    enum TPasswordButton { pwbOk = 0, pwbCancel = 1, pwbCancelAll = 2, pwbAbort = 3 };

    QStringList FSpecArgs;
    QStringList FSpecArgsExcl;
    // Extract: FSpecArgs are stored names, each naming exactly one entry
    // ('*' and '?' in them are plain characters), not patterns. Cleared
    // with FSpecArgs by each Extract.
    bool FSpecArgsExact = false;
    QString Password; // at most 255 characters are used
    // Encrypted entries added get WinZip's AES-256 instead of the traditional
    // encryption that older unzip tools read.
    bool AddAes = false;
    uint16_t AddOptions = AddDirNames | AddHiddenFiles;
    int32_t AddCompLevel = 9;
    QDate AddFrom;
    uint32_t AddStoreSuffixes = AllStoreSuffixesButExe;
    uint8_t ExtrOptions = ExtrDirNames | ExtrOverWrite;
    QString ExtrBaseDir;
    QString RootDir;
    QString TempDir;
    THowToDelete HowToDelete = htdAllowUndo;
    bool Verbose = false;
    int32_t PasswordReqCount() const { return passwordReqCount_; }
    void SetPasswordReqCount(int32_t n) { passwordReqCount_ = n < 1 ? 1 : n > 15 ? 15 : n; }
    int32_t SuccessCount = 0;
    int32_t PasswordDialogResult = 0;
    // The spec count of the last unzip block passed (0 = every entry).
    int32_t LastUnzBlockSpecCount = 0;
    // The store-suffix list the zip block carries (empty when none).
    QByteArray StoreSuffixList() const;

    void Add();
    void Delete();
    void Extract();
    bool ZipBusy() const { return zipBusy_; }
    bool UnzipBusy() const { return unzipBusy_; }

    std::function<void(TZipEngine& sender, ProgressType type, const QString& fileName, int32_t fileSize)> OnProgress;
    std::function<void(TZipEngine& sender, const QString& forFile, bool isOlder, bool& doOverwrite, int32_t dirIndex)> OnExtractOverwrite;
    std::function<void(TZipEngine& sender, bool isZipAction, QString& newPassword, const QString& forFile,
                       uint32_t& repeatCount, TPasswordButton& action)> OnPasswordError;
    std::function<void(TZipEngine& sender, const QString& forFile, uint32_t foundCRC, uint32_t expectedCRC, bool& doExtract)> OnCRC32Error;
    std::function<void(TZipEngine& sender, const QString& forFile, UnZipSkipTypes skipType, int32_t extError)> OnExtractSkipped;
    std::function<void(TZipEngine& sender, QString& oldFileName, bool& isChanged)> OnSetNewName;
    std::function<void(TZipEngine& sender, const QString& forFile, QString& fileComment, bool& isChanged)> OnFileComment;

    // ---- Self-extracting programs (SelfExtracting.cpp) --------------------------
    enum SfxOption : uint8_t {
        SFXAskCmdLine = 1u << 0, SFXAskFiles = 1u << 1, SFXAutoRun = 1u << 2, SFXHideOverWriteBox = 1u << 3,
        SFXCheckSize = 1u << 4, SFXNoSuccessMsg = 1u << 5,
    };
    enum TSfxOverWriteMode { OvrConfirm, OvrAlways, OvrNever };
    QString SFXCaption = QStringLiteral("Self-extracting Archive");
    QString SFXDefaultDir;
    QString SFXCommandLine;
    QString SFXMessage;
    uint8_t SFXOptions = SFXCheckSize;
    TSfxOverWriteMode SFXOverWriteMode = OvrConfirm;
    // The program's icon in icon-file form (empty: the stub keeps its own).
    QByteArray SFXIcon = SfxIconImage::BuiltIn();
    // The stub file; replaced by the path where the stub was found.
    QString SFXPath = QStringLiteral("SfxStub.bin");
    // Result 0 on success; the negative codes are the SfxResult values.
    int32_t MakeSelfExtracting();
    int32_t MakePlainZip();

    // The library callback (one record, see the modules' C interface). Public so
    // that tests can feed it records; returns true when the library is to abort.
    static int32_t LibraryCallback(struct QzCallbackRecord* record);
    // The password for the files added, asked twice; the first dialog also
    // offers AES-256, `aes` holding the choice before and after.
    QString AskAddPassword(bool& aes);
    QString AskExtractPassword();
    // The loaded libraries' handles and entry points (defined in ZipEngineLibrary.cpp).
    struct LibraryState;


private:
    void resetDirectoryState();
    int32_t makeSelfExtracting(bool fromAdd);
    int32_t copyZipShifted(QIODevice& out, qint64 shift, qint64& size);
    int32_t replaceStubIcon(QByteArray& stub);
    int32_t putConverted(QSaveFile& out, int32_t result, qint64 size, const QString& from);
    // Removes a file, to the trash when HowToDelete allows undo.
    bool removeFile(const QString& path);
    void readCentralDirectory();
    void readSharedDirectory(bool recovering);
    void takeEntry(ZipDirEntry&& e);
    bool openDisk(int32_t diskNo);
    void showMessage(const QString& text);
    // Spanning (ZipSpan.cpp).
    struct SpanState;
    std::unique_ptr<SpanState> span_;
    SpanState& span();
    TDriveType driveTypeOf(const QString& path) const;
    friend class ZipSpanOutput;
    void beginSetWrite(const QString& destination);
    // The file part `disk` of the set being written goes to.
    QString writingPart(int disk);
    // Puts the parts of a complete set in place (raises when they could not
    // be: the set that was there is then as it was); or removes them.
    void commitSetParts();
    void discardSetParts();
    void writeSetDirectory(const std::vector<QByteArray>& records, const QByteArray& comment);
    void nextPart();
    void beginSetRead();
    void readSetDirectory(ZipSpanning::SetDirectory& d);
    static QByteArray joinedDirectory(ZipSpanning::SetDirectory& d, qint64 centralStart);
    void reserveRoom(qint64 mustFit);
    void openNextPart();
    void flushPart();
    void closePart();
    void eraseDisk();
    qint64 readAcross(char* dst, qint64 n, int errorId);
    void copyAcross(QFile& out, int targetDisk, qint64 targetOffset, int errorId);
    void findLastPart();
    void raiseIfEarlierPart(const QString& path) const;
    int32_t spanResult(const std::function<void()>& work);
    void progress(ProgressType type, const QString& name, qint64 size);
    void copyingMessage(const QString& name);
    QString tempZipName(const QString& folder) const;
    void writeSpanFromTemp();
    void finishSpanOutput();
    QString spanTemp_;   // the library's zip while Add writes a set
    QString spanJoined_; // the joined copy of a set while Extract reads it
    // The set the library writes into while Add writes one on a fixed drive.
    std::unique_ptr<ZipSpanOutput> spanOutput_;

    TZipEngineUser* user_ = nullptr;
    // Compression library state (ZipEngineLibrary.cpp).
    static void destroyLibraries(LibraryState* state);
    LibraryState* libs();
    std::unique_ptr<LibraryState, void (*)(LibraryState*)> libs_{nullptr, &TZipEngine::destroyLibraries};
    QString dllDirectory_;
    int32_t minZipLibVers_ = 170;
    int32_t minUnzLibVers_ = 170;
    int32_t passwordReqCount_ = 1;
    bool zipBusy_ = false;
    bool unzipBusy_ = false;
    // When the window last had its input handled during a library call.
    std::chrono::steady_clock::time_point lastEvents_{};
    int32_t libraryVersion(bool zip, bool& loadedHere);
    void runZipLibrary(bool adding);
    void dispatch(struct QzCallbackRecord* record);
    QString zipFileName_;
    int busyDepth_ = 0;
    bool cursorSet_ = false;
};
