#pragma once
// Compresses one file into a gzip file, decompresses a gzip file (one or more
// members) into one file, and reads a gzip header for the stored file name.
// One instance is reused: the caller sets the properties before each call.
// Error boxes go through the Prompter given in `prompter` (none: no boxes).

#include <QString>
#include <atomic>
#include <functional>

class Prompter;

class TGzip {
public:
    enum TCompressionType { Standard, Filtered, HuffmanOnly };
    enum THeaderField : unsigned { filename = 1, comment = 2 };

    TGzip();

    QString FileSource = QStringLiteral("data.dat");
    QString FileDestination = QStringLiteral("data.dat.gz");
    // The name error boxes give the destination when it is written under a
    // temporary name (empty: FileDestination itself).
    QString DestinationShownAs;
    bool DeleteSource = false;
    int CompressionLevel = 6;                 // 0 to 9
    TCompressionType CompressionType = Standard;
    bool WindowOnError = true;
    int ProgressStep = 0;                     // percent between events; 0: none
    QString Comments;
    unsigned GzipHeader = filename;           // THeaderField bits
    std::function<void(TGzip& sender)> OnProgress;
    Prompter* prompter = nullptr;

    // Result codes.
    enum {
        Ok = 0,
        // compress
        SourceOpenError = 1, DestinationCreateError = 2,
        ReadError = 101, WriteError = 102, CloseError = 103,
        Stopped = 180, // requestStop() was called

        // decompress: 1 and 2 as above, plus a destination that could not be
        // written or closed, and a damaged stream (CRC, length, truncation).
        DestinationCloseError = 4, DataError = 103,
        // readHeader
        HeaderOpenError = 1, NotGzip = 2, Unsupported = 3,
    };

    // FileSource into FileDestination. A failed or stopped compress leaves no
    // destination behind.
    int compress();
    // Asks a running compress() to stop at its next block (from OnProgress or
    // another thread); it then returns Stopped.
    void requestStop() { stopRequested_ = true; }
    // FileSource (gzip members, or plain data copied as it is) into FileDestination.
    int decompress();
    // Reads the header of FileSource: storedName() and headerComment().
    int readHeader();

    QString storedName() const { return storedName_; }
    QString headerComment() const { return headerComment_; }
    int progress() const { return progress_; }
    // Why the last compress() could not read or write (ReadError, WriteError,
    // CloseError); empty otherwise.
    QString failureReason() const { return failureReason_; }

    // Names longer than this in a header are taken as damage.
    static constexpr int MaxHeaderText = 64 * 1024;

private:
    void showError(const QString& text);
    QString shownDestination() const;
    void report(qint64 done, qint64 total, bool last, int& lastReported);

    std::atomic<bool> stopRequested_{false};
    QString storedName_;
    QString headerComment_;
    int progress_ = 0;
    QString failureReason_;
};
