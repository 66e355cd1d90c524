// Both readers over damaged archives made here: every truncation point, every
// byte flipped, huge counts and lengths, offsets past the end. Nothing may
// crash, hang or report more than the file can hold; run it under the
// sanitizers to catch bad reads.
#include "RecordingZipUser.h"
#include "ZipBuilder.h"
#include "zipengine/TZipEngine.h"
#include "zipengine/TZipFile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestZipDamaged : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;
    RecordingZipUser user;
    TZipEngine engine;

    static QByteArray sample()
    {
        ZipBuilder z;
        z.add("dir/");
        z.add("dir/a.txt", "alpha alpha").comment = "c1";
        z.add("b.bin", QByteArray(40, '\x01')).extra = QByteArray("\x55\x54\x05\x00\x01\x02\x03\x04\x05", 9);
        z.add("d.txt", "descriptor").dataDescriptor = true;
        z.archiveComment = "archive comment";
        return z.build();
    }

    // Runs both readers over `bytes`; checks what every result must satisfy.
    void check(const QByteArray& bytes)
    {
        const std::vector<ZipFile> walked = TZipFile::Walk(bytes);
        // Every record needs at least its 30 header bytes.
        QVERIFY(qsizetype(walked.size()) * 30 <= bytes.size());
        for (const ZipFile& r : walked)
            QVERIFY(r.FileName.size() <= TZipFile::kMaxNameLength);

        const QString p = tmp.filePath("damaged.zip");
        QVERIFY(WriteBytes(p, bytes));
        engine.SetZipFileName(p);
        QCOMPARE(engine.Count, int32_t(engine.Entries.size()));
        QVERIFY(qint64(engine.Count) * 30 <= bytes.size());
        // The lists and the engine read the same entries.
        if (!engine.Spanned) {
            QCOMPARE(walked.size(), engine.Entries.size());
            for (size_t i = 0; i < walked.size(); ++i)
                QCOMPARE(QString(walked[i].FileName).replace('/', '\\'), engine.Entries[i].FileName.left(walked[i].FileName.size()));
        }
        QVERIFY(engine.EffectiveSize <= engine.RealSize);
        QVERIFY(!engine.InFile.isOpen());
        QCOMPARE(engine.BusyDepth(), 0);
    }

private slots:
    void initTestCase()
    {
        engine.SetUser(&user);
        engine.UseDirOnlyEntries = true;
    }

    void sampleIsSound()
    {
        const QByteArray b = sample();
        QCOMPARE(TZipFile::Walk(b).size(), size_t(4));
        QVERIFY(WriteBytes(tmp.filePath("sound.zip"), b));
        engine.SetZipFileName(tmp.filePath("sound.zip"));
        QCOMPARE(engine.Count, 4);
        QCOMPARE(engine.ErrCode, 0);
    }

    void everyTruncationPoint()
    {
        const QByteArray b = sample();
        for (qsizetype n = 0; n <= b.size(); ++n)
            check(b.left(n));
    }

    void everyByteFlipped()
    {
        const QByteArray b = sample();
        for (qsizetype i = 0; i < b.size(); ++i) {
            for (char mask : {char(0xFF), char(0x01), char(0x80)}) {
                QByteArray d = b;
                d[i] = char(d[i] ^ mask);
                check(d);
            }
        }
    }

    void hugeCountsLengthsAndOffsets()
    {
        const QByteArray b = sample();
        const qsizetype eocd = b.lastIndexOf("PK\x05\x06");
        QList<qsizetype> fields;
        // End record: entry counts, directory size and offset, comment length.
        for (int off : {8, 10, 12, 16, 20})
            fields << eocd + off;
        // Every central header: sizes, name/extra/comment lengths, disk, offset.
        for (qsizetype c = b.indexOf("PK\x01\x02"); c >= 0; c = b.indexOf("PK\x01\x02", c + 4))
            for (int off : {20, 24, 28, 30, 32, 34, 42})
                fields << c + off;
        // Every local header: sizes, name and extra lengths.
        for (qsizetype l = b.indexOf("PK\x03\x04"); l >= 0; l = b.indexOf("PK\x03\x04", l + 4))
            for (int off : {18, 22, 26, 28})
                fields << l + off;
        for (qsizetype f : fields) {
            for (uint32_t v : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000000u, 0x0000FFFFu, 0u, 0xFFFFFFF0u}) {
                QByteArray d = b;
                for (int k = 0; k < 4 && f + k < d.size(); ++k)
                    d[f + k] = char((v >> (8 * k)) & 0xFF);
                check(d);
            }
        }
    }

    void endRecordsEverywhere()
    {
        // Many end signatures: the search takes the last and nothing runs away.
        QByteArray d = sample();
        for (int i = 0; i < 200; ++i)
            d += QByteArray("PK\x05\x06\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff\xff", 22);
        check(d);
        check(QByteArray(70000, '\0') + sample());
        // The end record out of the search range: the entries are read from
        // their local headers, with a warning.
        check(sample() + QByteArray(70000, 'g'));
        QCOMPARE(engine.ErrCode, 10203);
        QCOMPARE(engine.Count, 4);
        check(QByteArray(70000, 'g') + sample() + QByteArray(70000, 'g'));
        QCOMPARE(engine.ErrCode, 11036);
    }
};

QTEST_GUILESS_MAIN(TestZipDamaged)
#include "test_zipdamaged.moc"
