// Fuzz target: the tar reader (ustar, GNU long names and sparse members, pax
// records and pax sparse maps) over arbitrary bytes held in memory. Members
// are read out or skipped by turns; what is read must be as long as the
// member says.
#include "FuzzScratch.h"
#include "codecs/TarReader.h"

#include <QBuffer>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    try {
        TTarReader reader(buffer, QStringLiteral("fuzz.tar"));
        TTarEntry entry;
        for (int n = 0; reader.nextEntry(entry); ++n) {
            FUZZ_CHECK(entry.size >= 0 && entry.fileSize() >= 0);
            // A sparse member may stand for a file far larger than its input;
            // only the small ones are written out in full.
            if ((n & 1) == 0 && entry.hasData() && entry.fileSize() <= (qint64(16) << 20)) {
                FuzzSink sink;
                reader.copyEntryData(sink);
                FUZZ_CHECK(sink.count == entry.fileSize());
            }
        }
    } catch (const TTarError&) {
    }
    return 0;
}
