#include "archive/ArchiveKind.h"

#include "codecs/TarFormat.h"

#include <QFile>
#include <QFileInfo>

namespace archivekind {

const QStringList& otherEndings()
{
    static const QStringList endings{
        ".tar.xz", ".tar.bz2", ".tar.zst", ".tar.lz4", ".tar.lzma", ".txz", ".tbz2", ".tbz", ".tzst", ".tlz",
        ".7z", ".iso", ".cab", ".cpio", ".deb", ".ar", ".rpm", ".xz", ".bz2", ".zst", ".lz4", ".lzma"};
    return endings;
}

bool singleCompressedFile(const QString& path)
{
    const QString n = QFileInfo(path).fileName().toLower();
    for (const QString& e : otherEndings())
        if (n.size() > e.size() && n.endsWith(e))
            return e.count(QLatin1Char('.')) == 1 && (e == ".xz" || e == ".bz2" || e == ".zst" || e == ".lz4" || e == ".lzma");
    return false;
}

ArchiveKind fromName(const QString& path)
{
    const QString n = QFileInfo(path).fileName().toLower();
    auto ends = [&n](const char* suffix) {
        const qsizetype len = qsizetype(qstrlen(suffix));
        return n.size() > len && n.endsWith(QLatin1String(suffix));
    };
    if (ends(".tar.gz") || ends(".tgz"))
        return ArchiveKind::TarGz;
    if (ends(".gz"))
        return ArchiveKind::Gz;
    if (ends(".tar"))
        return ArchiveKind::Tar;
    if (ends(".zip"))
        return ArchiveKind::Zip;
    if (ends(".rar"))
        return ArchiveKind::Rar;
    // A later volume of an old-style RAR set: x.r00, x.r01 ...
    if (n.size() > 4 && n.at(n.size() - 4) == QLatin1Char('.') && n.at(n.size() - 3) == QLatin1Char('r')
        && n.at(n.size() - 2).isDigit() && n.at(n.size() - 1).isDigit())
        return ArchiveKind::Rar;
    for (const QString& e : otherEndings())
        if (n.size() > e.size() && n.endsWith(e))
            return ArchiveKind::Other;
    return ArchiveKind::None;
}

ArchiveKind fromContent(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return ArchiveKind::None;
    const QByteArray head = f.read(tarformat::BlockSize);
    if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06") || head.startsWith("PK\x07\x08"))
        return ArchiveKind::Zip;
    if (head.size() >= 2 && uchar(head[0]) == 0x1f && uchar(head[1]) == 0x8b)
        return ArchiveKind::Gz;
    if (head.startsWith("Rar!\x1a\x07"))
        return ArchiveKind::Rar;
    if (head.size() == tarformat::BlockSize && head[0] != '\0') {
        bool ok = false;
        const unsigned stored = unsigned(tarformat::getNumber(head.constData() + tarformat::ChecksumOff, 8, &ok));
        if (ok && (stored == tarformat::checksum345(head.constData()) || stored == tarformat::checksum512(head.constData())))
            return ArchiveKind::Tar;
    }
    if (head.startsWith("MZ"))
        return ArchiveKind::Zip; // a self-extractor
    return ArchiveKind::None;
}

QString kindName(ArchiveKind kind)
{
    switch (kind) {
    case ArchiveKind::Zip: return QStringLiteral("zip");
    case ArchiveKind::Tar: return QStringLiteral("tar");
    case ArchiveKind::TarGz: return QStringLiteral("tar.gz");
    case ArchiveKind::Gz: return QStringLiteral("gzip");
    case ArchiveKind::Rar: return QStringLiteral("RAR");
    case ArchiveKind::Other: return QStringLiteral("other");
    case ArchiveKind::None: break;
    }
    return QStringLiteral("unknown");
}

QString contentMismatch(const QString& path, ArchiveKind kind)
{
    const ArchiveKind held = fromContent(path);
    if (held == ArchiveKind::None || held == kind)
        return QString();
    // libarchive tells the other kinds apart itself; only RAR has its own reader.
    if (kind == ArchiveKind::Other && held != ArchiveKind::Rar)
        return QString();
    // A gzip file may hold a tar, and a plain tar read through the gzip reader passes.
    if ((kind == ArchiveKind::TarGz && (held == ArchiveKind::Gz || held == ArchiveKind::Tar))
        || (kind == ArchiveKind::Gz && held != ArchiveKind::Zip && held != ArchiveKind::Rar))
        return QString();
    return QStringLiteral("%1 is not a %2 file: it holds %3 data")
        .arg(QFileInfo(path).fileName(), kindName(kind), kindName(held));
}

} // namespace archivekind
