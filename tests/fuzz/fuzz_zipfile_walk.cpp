// Fuzz target: TZipFile's local-header walk over arbitrary bytes.
#include "FuzzScratch.h"
#include "zipengine/TZipFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto records = TZipFile::Walk(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const ZipFile& r : records)
        FUZZ_CHECK(r.FileName.size() <= TZipFile::kMaxNameLength);
    return 0;
}
