#pragma once
// The working state of the spanning copier (ZipSpan.cpp).

#include "TMZipDataList.h"
#include "TZipEngine.h"
#include "ZipSpanParts.h"

#include <QDateTime>
#include <QFile>
#include <QString>

#include <memory>

namespace ZipSpanning {
constexpr qint64 kCopyChunk = 1 << 20;
// The marker a writer puts first when the set turned out to need one part only.
constexpr uint32_t kOnePartMarker = 0x30304B50;
// Lets the window handle its input between writes (on the window's thread only).
void LetWindowWork();
// The root of the file system holding `path`, ending in "/".
QString DriveRootOf(const QString& path);

// What the last part of a set being read holds: the end record, the
// comment and every central header, noted by where its local header lies.
struct SetDirectory {
    ZipEndOfCentral end;
    QByteArray comment;
    TMZipDataList list{0};
    std::vector<QByteArray> records;
    qint64 total = 0; // the bytes the entries take, for progress
};
} // namespace ZipSpanning

struct TZipEngine::SpanState {
    QString inArchive;  // the set being read, by its own name (parts numbered from it)
    QString outArchive; // the set being written
    QFile out;          // the part being written
    // On a fixed drive the parts are written under scratch names and put in
    // place once the set is complete (null: written under their own names).
    std::unique_ptr<ZipSpanParts> staged;
    QDateTime date;     // the source's date, given to every part written
    qint64 diskFree = 0;  // room left in the current part
    qint64 diskSize = 0;  // the disk's total bytes (-1 unknown)
    qint64 partBytes = 0; // bytes written to the current part
    bool newDisk = false;
    bool progress = false;
    TDriveType drive = DriveFixed;
    // The type of the drive a set is on, found once per set (`typedRoot` empty: not yet).
    QString typedRoot;
    bool labelNoticeShown = false;
    // The last OnStatusDisk answer (erasing a removable disk follows an answer of 1).
    int32_t lastStatusAnswer = zdaErase;
};
