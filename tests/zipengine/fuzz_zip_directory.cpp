// libFuzzer target: the engine's end-record search and directory reader over
// arbitrary bytes (written to a scratch file, as the reader works on files).
#include "zipengine/TZipEngine.h"

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString path = QDir::tempPath() + QStringLiteral("/fuzz_zip_directory_%1.zip").arg(getpid());
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        f.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    static TZipEngine engine;
    engine.Unattended = true;
    engine.UseDirOnlyEntries = (size & 1) != 0;
    engine.SetZipFileName(path);
    if (engine.Count != int32_t(engine.Entries.size()) || engine.EffectiveSize > engine.RealSize
        || qint64(engine.Count) * 46 > qint64(size))
        __builtin_trap();
    return 0;
}
