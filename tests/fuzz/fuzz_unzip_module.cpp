// Fuzz target: the unzip module's extraction of a zip, entries encrypted with
// the password "secret" decrypted, everything written into a scratch folder.
#include "FuzzScratch.h"
#include "FuzzUnzip.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const FuzzScratch scratch;
    const QString path = scratch.write(QStringLiteral("a.zip"), data, size);
    const QString out = scratch.path(QStringLiteral("out"));
    if (path.isEmpty() || !QDir().mkpath(out))
        return 0;
    FuzzUnzip(path, out, (size & 1) != 0);
    FUZZ_CHECK(FuzzEntriesOf(scratch.path(QString())).size() == 2);
    return 0;
}
