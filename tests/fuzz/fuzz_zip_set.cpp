// Fuzz target: a set of numbered parts read as one zip. The first byte gives
// the number of parts (1 to 8); each part but the last comes after its 16-bit
// little-endian length, and the last takes the rest. The parts are written as
// set001.zip, set002.zip, ... and the set is opened by its last part, as the
// engine opens it. A set is mapped in place and extracted through the unzip
// module (password "secret"), as on a fixed drive, and joined into one
// temporary zip, as for removable disks: the two must agree, byte for byte.
#include "FuzzScratch.h"
#include "FuzzUnzip.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/ZipSetSource.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const int count = 1 + data[0] % 8;
    size_t at = 1;
    const FuzzScratch scratch;
    const QString set = scratch.path(QStringLiteral("set.zip"));
    QString lastPart;
    for (int part = 1; part <= count; ++part) {
        size_t length = size - at;
        if (part < count) {
            if (size - at < 2)
                return 0;
            length = std::min<size_t>(size - at - 2, size_t(data[at]) | size_t(data[at + 1]) << 8);
            at += 2;
        }
        lastPart = TZipEngine::PartFileName(set, part);
        if (scratch.write(QFileInfo(lastPart).fileName(), data + at, length).isEmpty())
            return 0;
        at += length;
    }
    const QString out = scratch.path(QStringLiteral("out")), temp = scratch.path(QStringLiteral("temp"));
    if (!QDir().mkpath(out) || !QDir().mkpath(temp))
        return 0;

    TZipEngine engine;
    engine.Unattended = true;
    engine.SetZipFileName(lastPart);
    if (engine.LastDiskNumber == 0)
        return 0; // one whole zip: the other zip targets take those

    ZipSetSource mapped;
    const int32_t mapResult = engine.MapSpan(mapped);
    QByteArray viaMap;
    if (mapResult == 0) {
        FUZZ_CHECK(mapped.Size() < (uint64_t(1) << 31));
        viaMap.resize(qsizetype(mapped.Size()));
        FUZZ_CHECK(mapped.ReadAt(0, viaMap.data(), size_t(viaMap.size())));
        FuzzUnzip(lastPart, out, (size & 1) != 0, mapped.Input());
    }

    QString joined;
    const int32_t joinResult = engine.ReadSpan(temp, joined);
    // Mapping and joining make the same checks, and give the same zip.
    FUZZ_CHECK((mapResult == 0) == (joinResult == 0));
    if (joinResult == 0) {
        QFile f(joined);
        FUZZ_CHECK(f.open(QIODevice::ReadOnly));
        FUZZ_CHECK(f.readAll() == viaMap);
        f.close();
        QFile::remove(joined);
    } else {
        FUZZ_CHECK(joined.isEmpty());
    }
    // Nothing was left in the temporary folder, nor beside the parts.
    FUZZ_CHECK(FuzzEntriesOf(temp).isEmpty());
    FUZZ_CHECK(FuzzEntriesOf(scratch.path(QString())).size() == count + 2);
    return 0;
}
