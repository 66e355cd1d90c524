// libFuzzer target: TZipFile's local-header walk over arbitrary bytes.
#include "zipengine/TZipFile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto records = TZipFile::Walk(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    for (const ZipFile& r : records)
        if (r.FileName.size() > TZipFile::kMaxNameLength)
            __builtin_trap();
    return 0;
}
