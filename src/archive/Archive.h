#pragma once
// One interface over every archive kind: list the entries, extract a
// selection into a folder under a replace policy, extract one entry to a
// file. Each kind has its backend (ZipArchive, TarArchive for tar and tar.gz,
// GzArchive); every backend that writes files itself does so through the one
// ExtractionPolicy, and the zip backend's library keeps the same rules.

#include "archive/ArchiveKind.h"

#include <QDateTime>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

struct ArchiveEntry {
    enum Type { File, Folder, SymLink, HardLink, Device, Fifo, Other };

    int index = -1;        // the entry's place in the archive, every entry counted
    QString name;          // the stored name, "/" separated
    qint64 size = 0;       // bytes of the file it stands for
    QDateTime time;        // invalid when the archive does not say
    uint32_t dosTime = 0;  // the DOS date and time as stored (zip, RAR); 0 for other kinds
    Type type = File;
    bool encrypted = false;
    QString linkTarget;    // links: the stored target
    int mode = -1;         // permission bits as stored, -1 when the archive has none
    // Where the entry's data begins in the archive file, when it is stored
    // there as it stands (a plain tar); -1 otherwise.
    qint64 dataOffset = -1;

    bool folder() const { return type == Folder; }
    bool link() const { return type == SymLink || type == HardLink; }
};

enum class ReplacePolicy { Ask, Always, Never };
enum class ReplaceAnswer { Yes, No, YesToAll, NoToAll, Cancel };

struct ExtractRequest {
    QString destination;
    // Which entries to extract; unset: every entry.
    std::function<bool(const ArchiveEntry&)> selected;
    ReplacePolicy replace = ReplacePolicy::Never;
    // Under Ask, for each entry whose file exists: the entry and the path of
    // the file on disk. YesToAll and NoToAll hold for the rest of the run;
    // Cancel stops it.
    std::function<ReplaceAnswer(const ArchiveEntry&, const QString& diskFile)> ask;
    // False: every file goes straight into the destination, without its folders.
    bool folderNames = true;
    // A message about one entry (skipped, kept, extracted under another name).
    std::function<void(const QString&)> note;
    // Kinds that read their whole directory before extracting (zip, RAR):
    // told once, before the first entry, how many entries the archive holds.
    std::function<void(int entries)> counted;
    // After each selected entry: entries and bytes done so far. False stops the run.
    std::function<bool(int entriesDone, qint64 bytesDone)> progress;
    // Set from any thread to stop after the current entry.
    const std::atomic_bool* cancel = nullptr;
    // The password of encrypted entries.
    QString password;
    // Zip: only files missing on disk or older there (update), or only
    // files already on disk and older there (freshen).
    bool update = false;
    bool freshen = false;
    // When `password` is empty, asked once for the first encrypted entry
    // (RAR): the password, or "" to stop the run there.
    std::function<QString(const ArchiveEntry&)> askPassword;
    // Kinds read through an outside library that reports as it goes (RAR):
    // each of its messages, the closing one of a finished run included.
    // False stops the run.
    std::function<bool(const QString&)> report;
};

struct ExtractResult {
    int extracted = 0;   // files, folders and links made
    int skipped = 0;     // kept by the replace policy, or refused by the rules
    int failed = 0;      // could not be written
    bool stopped = false; // cancelled, or stopped by `progress` or an answer
    QString error;       // what ended the run early (damage, truncation), "" when it ran through
    int code = 0;        // a zip extraction through its owner's engine: the engine's error code
    bool ok() const { return error.isEmpty() && failed == 0 && !stopped; }
};

class Archive {
public:
    virtual ~Archive() = default;
    virtual ArchiveKind kind() const = 0;
    const QString& path() const { return path_; }

    // Hands every entry, in order, to `each` (false stops). Returns "" or the
    // message of what ended the listing early; the entries before it were
    // handed on.
    virtual QString list(const std::function<bool(const ArchiveEntry&)>& each) = 0;
    virtual ExtractResult extract(const ExtractRequest& request) = 0;
    // Writes the entry at `index` to `file` (made beside it and renamed
    // into place when complete). Returns "" or the message of the failure.
    virtual QString extractEntryTo(int index, const QString& file) = 0;
    // Warnings met while reading (the archive is still read): damage the
    // reader worked around, such as bytes after a zip's end record.
    const QStringList& warnings() const { return warnings_; }

protected:
    explicit Archive(const QString& path) : path_(path) {}
    QString path_;
    QStringList warnings_;
};

// Writes one entry to `file` through a temporary name that `fill` writes and
// that replaces `file` only once whole; an exception from `fill` leaves
// `file` as it was. Returns the failure text, empty on success.
QString saveEntryFile(const QString& file, const std::function<void(QIODevice&)>& fill);

// The backend for `path` as `kind` (None: by the name's ending); null for
// None.
std::unique_ptr<Archive> openArchive(const QString& path, ArchiveKind kind = ArchiveKind::None);
