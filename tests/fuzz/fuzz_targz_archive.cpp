// Fuzz target: a tar.gz through the archive layer (the gzip reader feeding the
// tar reader, the extraction rules writing into a scratch folder).
#include "FuzzArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzScratch scratch;
    const QString path = scratch.write(QStringLiteral("a.tar.gz"), data, size);
    if (path.isEmpty())
        return 0;
    const auto archive = openArchive(path, ArchiveKind::TarGz);
    FUZZ_CHECK(archive && archive->kind() == ArchiveKind::TarGz);
    FuzzListAndExtract(*archive, scratch);
    return 0;
}
