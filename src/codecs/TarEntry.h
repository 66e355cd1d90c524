#pragma once
// One tar member as described by its header (and by any extension records that
// came before it), plus the error type both tar classes raise.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <stdexcept>
#include <utility>
#include <vector>

enum class TTarFileType {
    Regular,        // '0', a zero byte, or any unknown type byte
    HardLink,       // '1'
    SymbolicLink,   // '2'
    CharDevice,     // '3'
    BlockDevice,    // '4'
    Directory,      // '5'
    Fifo,           // '6'
    Contiguous,     // '7'
    DumpDirectory,  // 'D'
    MultiVolume,    // 'M'
    VolumeHeader,   // 'V'
};

// Permission and special bits use their mode values, so a set is a plain mask.
namespace TarMode {
constexpr quint16 OwnerRead = 0400, OwnerWrite = 0200, OwnerExecute = 0100;
constexpr quint16 GroupRead = 040, GroupWrite = 020, GroupExecute = 010;
constexpr quint16 OtherRead = 04, OtherWrite = 02, OtherExecute = 01;
constexpr quint16 AllPermissions = 0777;
constexpr quint16 SetUserId = 04000, SetGroupId = 02000, Sticky = 01000;
constexpr quint16 AllSpecial = 07000;
} // namespace TarMode

struct TTarEntry {
    QString name;              // member name as stored, "/" separated
    qint64 size = 0;           // data bytes that follow the header
    QDateTime time;            // 1970-01-01 UTC plus the stored seconds
    quint16 permissions = 0;   // the nine rwx bits (TarMode)
    TTarFileType fileType = TTarFileType::Regular;
    QString linkName;
    quint32 userId = 0;
    quint32 groupId = 0;
    QString userName;
    QString groupName;
    bool checksumOk = false;
    quint16 specialBits = 0;   // TarMode::SetUserId | SetGroupId | Sticky
    QString magic;             // the magic field, trimmed of spaces
    quint32 deviceMajor = 0;
    quint32 deviceMinor = 0;
    qint64 headerPosition = 0; // offset of the (last) header in the archive

    qint64 mtimeSeconds = 0;   // the stored time as seconds since 1970 (may be negative)
    char typeByte = '0';       // the type byte as stored

    // A sparse member (GNU 'S', or pax GNU.sparse 0.0, 0.1, 1.0) stores only
    // the data of `sparseMap` (offset, length pairs, in order); the file it
    // stands for is `realSize` bytes long, holes read as zeros.
    bool sparse = false;
    qint64 realSize = 0;
    std::vector<std::pair<qint64, qint64>> sparseMap;

    // True for the types whose header is followed by data blocks.
    bool hasData() const;
    // The size of the file the entry stands for (the real size of a sparse one).
    qint64 fileSize() const { return sparse ? realSize : size; }
};

// A stream error of either tar class: cannot open, read or write, or a header
// whose numbers cannot be used.
class TTarError : public std::runtime_error {
public:
    explicit TTarError(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

// The member name made safe to join to a destination folder: "\" and "/" both
// separate, empty, "." and ".." parts and any leading "/" or drive part are
// dropped. Returns an empty string when nothing is left.
QString tarSafeRelativePath(const QString& memberName);
