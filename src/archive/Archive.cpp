#include "archive/Archive.h"

#include "platform/Platform.h"

#include "archive/GzArchive.h"
#include "archive/LibarchiveArchive.h"
#include "archive/RarArchive.h"
#include "archive/TarArchive.h"
#include "archive/ZipArchive.h"

#include <QSaveFile>

std::unique_ptr<Archive> openArchive(const QString& path, ArchiveKind kind)
{
    if (kind == ArchiveKind::None)
        kind = archivekind::fromName(path);
    switch (kind) {
    case ArchiveKind::Zip: return std::make_unique<ZipArchive>(path);
    case ArchiveKind::Tar: return std::make_unique<TarArchive>(path, false);
    case ArchiveKind::TarGz: return std::make_unique<TarArchive>(path, true);
    case ArchiveKind::Gz: return std::make_unique<GzArchive>(path);
    case ArchiveKind::Rar: return std::make_unique<RarArchive>(path);
    case ArchiveKind::Other: return std::make_unique<LibarchiveArchive>(path);
    case ArchiveKind::None: break;
    }
    return nullptr;
}

QString saveEntryFile(const QString& file, const std::function<void(QIODevice&)>& fill)
{
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot create %1: %2").arg(file, out.errorString());
    fill(out);
    if (!Platform::CommitSaveFile(out))
        return QStringLiteral("cannot create %1: %2").arg(file, out.errorString());
    return QString();
}
