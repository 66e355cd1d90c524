#pragma once
// TdRar: lists and extracts a RAR archive through the RAR library (unrar.dll,
// here libunrar.so beside the program), loaded at the start of each
// operation. One object serves one listing or one extraction; the library
// and the open archive are process-wide, so one operation runs at a time.

#include "UnrarApi.h"

#include <QString>
#include <QStringList>
#include <functional>

class TdRar {
public:
    // Codes of the program's own beyond the library's.
    static constexpr int EndOfArchiveAlt = 100;
    static constexpr int ReadErrorAlt = 101;
    static constexpr int LibraryNotLoaded = -101;

    using TErrorProc = std::function<void(TdRar* sender, int code)>;
    using TFileBeingListed = std::function<void(TdRar* sender, const RARHeaderData& header)>;
    using TFileListed = std::function<void(TdRar* sender, const RARHeaderData& header, bool ok)>;
    using TFileBeingExtracted = TFileBeingListed;
    using TFileExtracted = TFileListed;
    using TProcessDataProcN = std::function<void(TdRar* sender, const unsigned char* address, int blockSize, qint64 position)>;
    using TChangeVolProcN = std::function<void(TdRar* sender, const QString& archiveName, int mode)>;
    using TReqPassword = std::function<void(TdRar* sender, const RARHeaderData& header, QString& password)>;
    using TCommentProc = std::function<void(TdRar* sender, const QByteArray& comment)>;

    TdRar();
    ~TdRar();
    TdRar(const TdRar&) = delete;
    TdRar& operator=(const TdRar&) = delete;

    QString Archivefilename;
    QString TargetDirectory;
    QString UnrarLibPath;
    QString UnrarLibName = QStringLiteral("unrar.dll");
    bool Stop = false;
    bool ErrorOnDirExists = false;

    TErrorProc OnError;
    TFileBeingListed OnListing;
    TFileListed OnList;
    TFileBeingExtracted OnExtracting;
    TFileExtracted OnExtract;
    TFileBeingListed OnTesting;
    TFileListed OnTest;
    TProcessDataProcN OnProcessData;
    TChangeVolProcN OnVolumeChange;
    TReqPassword OnReqPassword;
    TCommentProc OnComment;

    // Sorted, no duplicates, compared without regard to case.
    void addFileToProcess(const QString& name);
    const QStringList& FilesToProcess() const { return files_; }
    void clearFilesToProcess() { files_.clear(); }
    bool toProcess(const QString& name) const;

    // Walk every entry for listing; 10 at the normal end, else the error.
    int ListEntries();
    // Extract the entries of FilesToProcess (all when it is empty) into
    // TargetDirectory; 10 at the normal end, else the error.
    int ExtractEntries();
    // Decompress every entry of FilesToProcess (all when empty) without
    // writing a file: OnTesting, OnProcessData with each block, OnTest.
    int TestEntries();
    // Extract the entry at `index` (every entry counted) to the file `path`;
    // 0 when it was written.
    int ExtractEntryTo(int index, const QString& path);

    // The text for a result code.
    static QString MessageFor(int code);
    // The entry's name as the header holds it.
    static QString EntryName(const RARHeaderData& header);
    static bool IsFolder(const RARHeaderData& header) { return (header.Flags & RHDF_DIRECTORY) == RHDF_DIRECTORY; }
    static bool IsEncrypted(const RARHeaderData& header) { return header.Flags & RHDF_ENCRYPTED; }

private:
    enum class Walk { List, Extract, Test, One };
    int run(Walk walk, int index = -1, const QString& path = QString());
    bool load();
    void unload();
    void report(int code);
    int finish(int code);

    QStringList files_;
    qint64 processed_ = 0;
    friend struct TdRarCallbacks;
};
