// Fuzz target: the kinds read through libarchive. The first byte picks the
// ending the file gets (and so how the backend treats it: an archive or one
// compressed file); the rest is the file.
#include "FuzzArchive.h"
#include "archive/ArchiveKind.h"
#include "archive/LibarchiveArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QStringList& endings = archivekind::otherEndings();
    const QString name = QStringLiteral("a") + endings.at(data[0] % endings.size());
    const FuzzScratch scratch;
    const QString path = scratch.write(name, data + 1, size - 1);
    if (path.isEmpty())
        return 0;
    LibarchiveArchive archive(path);
    FuzzListAndExtract(archive, scratch);
    return 0;
}
