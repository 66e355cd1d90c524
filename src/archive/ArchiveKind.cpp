#include "archive/ArchiveKind.h"

#include "codecs/TarFormat.h"

#include <QFile>
#include <QFileInfo>

namespace archivekind {

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
    case ArchiveKind::None: break;
    }
    return QStringLiteral("unknown");
}

QString contentMismatch(const QString& path, ArchiveKind kind)
{
    const ArchiveKind held = fromContent(path);
    if (held == ArchiveKind::None || held == kind)
        return QString();
    // A gzip file may hold a tar, and a plain tar read through the gzip reader passes.
    if ((kind == ArchiveKind::TarGz && (held == ArchiveKind::Gz || held == ArchiveKind::Tar))
        || (kind == ArchiveKind::Gz && held != ArchiveKind::Zip && held != ArchiveKind::Rar))
        return QString();
    return QStringLiteral("%1 is not a %2 file: it holds %3 data")
        .arg(QFileInfo(path).fileName(), kindName(kind), kindName(held));
}

} // namespace archivekind
