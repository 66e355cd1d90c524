// The shared directory reader on records made by hand: Zip64 fields and end
// records, directory sizes that lie, and what recovery from local headers stops at.
#include "ZipBuilder.h"
#include "zipdir/ZipDir.h"

#include <QtTest>

namespace {

zipdir::Directory readBytes(const QByteArray& b)
{
    return zipdir::Read(zipdir::MemorySource(b.constData(), size_t(b.size())));
}

void put32(QByteArray& b, qsizetype at, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b[at + k] = char((v >> (8 * k)) & 0xFF);
}

QByteArray le64(uint64_t v)
{
    QByteArray b;
    ZipBuilder::le32(b, uint32_t(v));
    ZipBuilder::le32(b, uint32_t(v >> 32));
    return b;
}

} // namespace

class TestZipDirReader : public QObject {
    Q_OBJECT

private slots:
    void zip64FieldsOfACentralHeader()
    {
        // Sizes and offset behind their all-ones markers, in the Zip64 field.
        ZipBuilder z;
        z.add("first.txt", "one");
        BuildEntry& e = z.add("second.txt", "second");
        QByteArray field;
        ZipBuilder::le16(field, 1);
        ZipBuilder::le16(field, 24);
        const uint32_t secondOffset = 30 + 9 + 3;
        field += le64(6) + le64(6) + le64(secondOffset);
        e.extra = field;
        QByteArray b = z.build();
        const qsizetype cen = b.indexOf("PK\x01\x02", b.indexOf("PK\x01\x02") + 4);
        put32(b, cen + 20, 0xFFFFFFFFu);
        put32(b, cen + 24, 0xFFFFFFFFu);
        put32(b, cen + 42, 0xFFFFFFFFu);
        const zipdir::Directory d = readBytes(b);
        QVERIFY2(d.ok(), d.faultText.c_str());
        QCOMPARE(d.entries.size(), size_t(2));
        QCOMPARE(d.entries[1].compressedSize, 6u);
        QCOMPARE(d.entries[1].uncompressedSize, 6u);
        QCOMPARE(d.entries[1].localOffset, uint64_t(secondOffset));
        QCOMPARE(d.entries[1].dataOffset, uint64_t(secondOffset + 30 + 10 + 28));
        QVERIFY(d.inconsistency.empty());
    }

    void zip64EndRecordAndLocator()
    {
        ZipBuilder z;
        z.add("a.txt", "alpha");
        z.add("b.txt", "beta");
        QByteArray b = z.build();
        const qsizetype end = b.size() - 22;
        const qsizetype cen = b.indexOf("PK\x01\x02");
        QByteArray records;
        ZipBuilder::le32(records, 0x06064B50);
        records += le64(44);
        ZipBuilder::le16(records, 45);
        ZipBuilder::le16(records, 45);
        ZipBuilder::le32(records, 0);
        ZipBuilder::le32(records, 0);
        records += le64(2) + le64(2) + le64(uint64_t(end - cen)) + le64(uint64_t(cen));
        ZipBuilder::le32(records, 0x07064B50);
        ZipBuilder::le32(records, 0);
        records += le64(uint64_t(end));
        ZipBuilder::le32(records, 1);
        QByteArray eocd = b.mid(end);
        eocd[8] = eocd[9] = eocd[10] = eocd[11] = char(0xFF);
        put32(eocd, 12, 0xFFFFFFFFu);
        put32(eocd, 16, 0xFFFFFFFFu);
        const zipdir::Directory d = readBytes(b.left(end) + records + eocd);
        QVERIFY2(d.ok(), d.faultText.c_str());
        QVERIFY(d.zip64);
        QCOMPARE(d.entries.size(), size_t(2));
        QCOMPARE(d.entries[1].name, std::string("b.txt"));
        QCOMPARE(d.centralStart, uint64_t(cen));
        QVERIFY(d.RewriteProblem().empty());

        // The locator names no record: nothing is guessed.
        QByteArray lost = b.left(end) + records + eocd;
        lost[end] = 'X';
        QCOMPARE(readBytes(lost).fault, zipdir::Fault::CentralRange);
    }

    void directorySizeThatLies()
    {
        // The size says one header, the offset and the bytes hold two: both
        // are read, and the archive is marked as one not to rewrite.
        ZipBuilder z;
        z.add("a.txt", "alpha");
        z.add("b.txt", "beta");
        QByteArray b = z.build();
        const qsizetype cen = b.indexOf("PK\x01\x02");
        const qsizetype second = b.indexOf("PK\x01\x02", cen + 4);
        put32(b, b.size() - 22 + 12, uint32_t(second - cen));
        const zipdir::Directory d = readBytes(b);
        QVERIFY(d.ok());
        QCOMPARE(d.entries.size(), size_t(2));
        QCOMPARE(d.prefix, 0u);
        QVERIFY(!d.RewriteProblem().empty());
    }

    void recoveryStopsWhereSizesAreUnknown()
    {
        ZipBuilder z;
        z.add("whole.txt", "whole");
        z.add("streamed.txt", "streamed").dataDescriptor = true;
        z.add("after.txt", "after");
        QByteArray b = z.build();
        b.truncate(b.indexOf("PK\x01\x02"));
        const zipdir::Directory d = readBytes(b);
        QVERIFY(d.ok());
        QVERIFY(d.recovered);
        QCOMPARE(d.entries.size(), size_t(2));
        QVERIFY(d.entries[0].complete);
        QVERIFY(!d.entries[1].complete);
        QVERIFY(!d.RewriteProblem().empty());

        // Not a zip at all, or no local header at the start: nothing.
        QCOMPARE(readBytes(QByteArray(100, 'x')).fault, zipdir::Fault::NotAZip);
        QCOMPARE(readBytes(QByteArray(3, 'x') + b).fault, zipdir::Fault::NotAZip);
    }
};

QTEST_GUILESS_MAIN(TestZipDirReader)
#include "test_zipdir_reader.moc"
