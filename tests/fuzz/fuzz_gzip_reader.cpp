// Fuzz target: the gzip reader (members one after another, damage and bytes
// after the last member) over arbitrary bytes in a scratch file.
#include "FuzzScratch.h"
#include "codecs/GzipReader.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzScratch scratch;
    const QString path = scratch.write(QStringLiteral("a.gz"), data, size);
    if (path.isEmpty())
        return 0;
    TGzipReader reader(path);
    if (!reader.open(QIODevice::ReadOnly))
        return 0;
    std::vector<char> chunk(size_t(1) << 16);
    qint64 total = 0;
    for (;;) {
        const qint64 n = reader.read(chunk.data(), qint64(chunk.size()));
        FUZZ_CHECK(n <= qint64(chunk.size()));
        if (n <= 0)
            break;
        total += n;
        if (total > (qint64(256) << 20))
            break;  // a bomb: far more out than in; the reader itself puts no limit on it
    }
    reader.close();
    return 0;
}
