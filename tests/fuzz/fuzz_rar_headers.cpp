// Fuzz target: the RAR stand-in's walk over RAR 4 and RAR 5 block headers,
// and its search for the other volumes of a set beside the file.
#include "FuzzScratch.h"
#include "RarHeaders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzScratch scratch;
    const QString path = scratch.write(QStringLiteral("a.part1.rar"), data, size);
    if (path.isEmpty())
        return 0;
    const std::string file = path.toStdString();
    const qz::rar::HeaderScan scan = qz::rar::scanHeaders(file);
    FUZZ_CHECK(scan.format == 0 || scan.format == 4 || scan.format == 5);
    FUZZ_CHECK(scan.entries.size() <= size);
    if (scan.volume) {
        std::string missing;
        (void)qz::rar::findVolumes(file, missing);
    }
    return 0;
}
