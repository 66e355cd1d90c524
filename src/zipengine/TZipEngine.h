#pragma once
// TZipEngine: the program's zip engine. This header holds the directory
// reader, the entry list and the message mechanism; the operations on
// archives (library calls, self-extracting conversion, spanning) live in
// further source files of this folder and extend the class here.

#include "ZipCodePage.h"
#include "ZipFormat.h"
#include "ZipMessages.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class TZipEngineUser;

// One entry of the central directory. The first sixteen fields are the
// central header's fixed fields after the signature, in format order.
struct ZipDirEntry {
    uint8_t MadeByVersion = 0;
    uint8_t HostSystem = 0;
    uint16_t NeededVersion = 0;
    uint16_t Flags = 0;
    uint16_t Method = 0;
    uint32_t DateTime = 0; // DOS date-time, time in the low half
    uint32_t CRC32 = 0;
    uint32_t CompressedSize = 0;
    uint32_t UncompressedSize = 0;
    uint16_t NameLength = 0;
    uint16_t ExtraLength = 0;
    uint16_t CommentLength = 0;
    uint16_t StartDisk = 0;
    uint16_t InternalAttributes = 0;
    uint32_t ExternalAttributes = 0;
    uint32_t LocalHeaderOffset = 0;

    QString FileName;    // converted, every "/" replaced by "\"
    QString FileComment; // converted like the name; empty if none
    bool Encrypted = false;
    // The extra field bytes (QByteArray keeps a zero byte after them); empty
    // when ExtraLength is 0.
    QByteArray ExtraData;

    // Copies the 42 fixed bytes that follow a central header's signature.
    void SetFixedFields(const unsigned char* p);
};

class TZipEngine {
public:
    TZipEngine();
    ~TZipEngine();
    TZipEngine(const TZipEngine&) = delete;
    TZipEngine& operator=(const TZipEngine&) = delete;

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
    bool CancelFlag = false;
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

private:
    void resetDirectoryState();
    void readCentralDirectory();
    bool openDisk(int32_t diskNo);
    void showMessage(const QString& text);

    TZipEngineUser* user_ = nullptr;
    QString zipFileName_;
    int busyDepth_ = 0;
    bool cursorSet_ = false;
};
