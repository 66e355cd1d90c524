#include "archive/LibarchiveArchive.h"

#include "archive/ExtractionPolicy.h"
#include "codecs/TarEntry.h"

#include <QFile>
#include <QFileInfo>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <sys/stat.h>

namespace {

struct Reader {
    struct archive* a = archive_read_new();
    ~Reader() { archive_read_free(a); }
};

QString errorOf(struct archive* a)
{
    const char* s = archive_error_string(a);
    return s ? QString::fromUtf8(s) : QStringLiteral("read error");
}

// Copies the entry's data to `out`, keeping holes of sparse entries as holes
// and never writing past the entry's size.
void copyData(struct archive* a, QIODevice& out, qint64 size, const QString& name)
{
    const void* buf;
    size_t len;
    la_int64_t offset;
    qint64 at = 0;
    for (;;) {
        const int r = archive_read_data_block(a, &buf, &len, &offset);
        if (r == ARCHIVE_EOF)
            break;
        if (r < ARCHIVE_WARN)
            throw TTarError(QStringLiteral("%1: %2").arg(name, errorOf(a)));
        if (offset < at || (size >= 0 && qint64(offset) + qint64(len) > size))
            throw TTarError(QStringLiteral("%1: damaged data (a block outside the entry)").arg(name));
        if (offset > at && !out.seek(offset))
            throw TTarError(QStringLiteral("%1: %2").arg(name, out.errorString()));
        if (len > 0 && out.write(static_cast<const char*>(buf), qint64(len)) != qint64(len))
            throw TTarError(QStringLiteral("write error: %1").arg(out.errorString()));
        at = offset + qint64(len);
    }
    // A hole at the end.
    if (size > at) {
        auto* file = qobject_cast<QFileDevice*>(&out);
        if (!file || !file->resize(size))
            throw TTarError(QStringLiteral("%1: cannot write its end").arg(name));
    }
}

QString encryptedText(const QString& name)
{
    return QStringLiteral("%1 is encrypted: this program cannot decrypt it, so it was not extracted").arg(name);
}

} // namespace

LibarchiveArchive::LibarchiveArchive(const QString& path)
    : Archive(path), single_(archivekind::singleCompressedFile(path))
{
}

QString LibarchiveArchive::singleFileName(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? name.left(dot) : name;
}

QString LibarchiveArchive::walk(const std::function<bool(struct archive*, const ArchiveEntry&)>& work)
{
    if (!QFileInfo(path_).isFile())
        return QStringLiteral("cannot open %1").arg(path_);
    Reader r;
    archive_read_support_filter_all(r.a);
    if (single_) {
        archive_read_support_format_raw(r.a);
    } else {
        // Named one by one: a format that reads other files (mtree) or has a
        // reader of its own here (zip, RAR) is left out.
        archive_read_support_format_7zip(r.a);
        archive_read_support_format_tar(r.a);
        archive_read_support_format_cpio(r.a);
        archive_read_support_format_iso9660(r.a);
        archive_read_support_format_cab(r.a);
        archive_read_support_format_ar(r.a);
        archive_read_support_format_xar(r.a);
        archive_read_support_format_lha(r.a);
    }
    const QByteArray name = QFile::encodeName(path_);
    if (archive_read_open_filename(r.a, name.constData(), 64 * 1024) != ARCHIVE_OK)
        return QStringLiteral("%1: %2").arg(path_, errorOf(r.a));
    const QFileInfo info(path_);
    struct archive_entry* ae;
    for (int i = 0;; ++i) {
        const int h = archive_read_next_header(r.a, &ae);
        if (h == ARCHIVE_EOF)
            break;
        if (h < ARCHIVE_WARN) {
            const QString why = errorOf(r.a);
            if (archive_read_has_encrypted_entries(r.a) > 0 || why.contains(QLatin1String("ncrypt")))
                return QStringLiteral("%1 is encrypted: this program cannot decrypt it").arg(path_);
            return QStringLiteral("%1: %2").arg(path_, why);
        }
        ArchiveEntry e;
        e.index = i;
        if (single_) {
            e.name = singleFileName(path_);
            e.size = info.size();
            e.time = info.lastModified().toUTC();
        } else {
            const char* utf8 = archive_entry_pathname_utf8(ae);
            const char* raw = archive_entry_pathname(ae);
            e.name = utf8 ? QString::fromUtf8(utf8) : raw ? QFile::decodeName(raw) : QString();
            e.size = archive_entry_size_is_set(ae) ? archive_entry_size(ae) : 0;
            if (archive_entry_mtime_is_set(ae))
                e.time = QDateTime::fromSecsSinceEpoch(archive_entry_mtime(ae), Qt::UTC);
            e.mode = int(archive_entry_perm(ae));
            e.encrypted = archive_entry_is_encrypted(ae);
            const char* hardlink = archive_entry_hardlink_utf8(ae);
            if (!hardlink)
                hardlink = archive_entry_hardlink(ae);
            switch (archive_entry_filetype(ae)) {
            case AE_IFREG: e.type = ArchiveEntry::File; break;
            case AE_IFDIR: e.type = ArchiveEntry::Folder; break;
            case AE_IFLNK: e.type = ArchiveEntry::SymLink; break;
            case AE_IFCHR:
            case AE_IFBLK: e.type = ArchiveEntry::Device; break;
            case AE_IFIFO: e.type = ArchiveEntry::Fifo; break;
            default: e.type = hardlink ? ArchiveEntry::File : ArchiveEntry::Other; break;
            }
            if (hardlink) {
                e.type = ArchiveEntry::HardLink;
                e.linkTarget = QString::fromUtf8(hardlink);
                e.size = 0;
            } else if (e.type == ArchiveEntry::SymLink) {
                const char* target = archive_entry_symlink_utf8(ae);
                if (!target)
                    target = archive_entry_symlink(ae);
                e.linkTarget = target ? QString::fromUtf8(target) : QString();
            }
        }
        if (!work(r.a, e))
            break;
    }
    return QString();
}

QString LibarchiveArchive::list(const std::function<bool(const ArchiveEntry&)>& each)
{
    return walk([&](struct archive*, const ArchiveEntry& e) { return each(e); });
}

ExtractResult LibarchiveArchive::extract(const ExtractRequest& request)
{
    ExtractionPolicy policy(request);
    if (!policy.openError().isEmpty())
        return policy.finish(policy.openError());
    QString failure;
    const QString error = walk([&](struct archive* a, const ArchiveEntry& e) {
        if (e.encrypted && e.type == ArchiveEntry::File && (!request.selected || request.selected(e))) {
            failure = encryptedText(e.name);
            return false;
        }
        try {
            return policy.take(e, [&](QIODevice& out) { copyData(a, out, single_ || e.size <= 0 ? -1 : e.size, e.name); });
        } catch (const TTarError& x) {
            failure = x.message();
            return false;
        }
    });
    return policy.finish(!failure.isEmpty() ? failure : error);
}

QString LibarchiveArchive::extractEntryTo(int index, const QString& file)
{
    bool found = false;
    QString failure;
    const QString error = walk([&](struct archive* a, const ArchiveEntry& e) {
        if (e.index != index)
            return true;
        found = true;
        if (e.type != ArchiveEntry::File) {
            failure = QStringLiteral("%1 is not a file").arg(e.name);
            return false;
        }
        if (e.encrypted) {
            failure = encryptedText(e.name);
            return false;
        }
        try {
            failure = saveEntryFile(
                file, [&](QIODevice& out) { copyData(a, out, single_ || e.size <= 0 ? -1 : e.size, e.name); });
        } catch (const TTarError& x) {
            failure = x.message();
        }
        return false;
    });
    if (!failure.isEmpty())
        return failure;
    if (!found && error.isEmpty())
        return QStringLiteral("%1 has no entry %2").arg(path_).arg(index);
    return error;
}
