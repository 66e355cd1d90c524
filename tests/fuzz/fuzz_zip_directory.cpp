// Fuzz target: the engine's end-record search and directory reader over
// arbitrary bytes (written to a scratch file, as the reader works on files).
#include "FuzzScratch.h"
#include "zipengine/TZipEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzScratch scratch;
    const QString path = scratch.write(QStringLiteral("a.zip"), data, size);
    if (path.isEmpty())
        return 0;
    TZipEngine engine;
    engine.Unattended = true;
    engine.UseDirOnlyEntries = (size & 1) != 0;
    engine.SetZipFileName(path);
    // Every entry needs at least a local header (30 bytes): a zip without its
    // directory is read from those alone.
    FUZZ_CHECK(engine.Count == int32_t(engine.Entries.size()) && engine.EffectiveSize <= engine.RealSize
               && qint64(engine.Count) * 30 <= qint64(size));
    return 0;
}
