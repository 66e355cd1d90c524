// TZipFile: the entries of the shared directory reader as list records.
#include "ZipBuilder.h"
#include "zipengine/TZipFile.h"

#include <QTemporaryDir>
#include <QtTest>

class TestZipFile : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;

    QString write(const ZipBuilder& z, const QString& name = QStringLiteral("t.zip"))
    {
        const QString p = tmp.filePath(name);
        if (!z.write(p))
            qFatal("cannot write %s", qPrintable(p));
        return p;
    }

private slots:
    void listsEveryLocalHeaderIncludingFolders()
    {
        ZipBuilder z;
        z.add("docs/");
        z.add("docs/a.txt", "hello").time = 0x7A2F;
        z.add("b.bin", QByteArray(777, 'b')).date = 0x5865;
        TZipFile zf;
        QList<QString> seen;
        zf.OnReadFile = [&](TZipFile& sender, const ZipFile& r) {
            QCOMPARE(&sender, &zf);
            QCOMPARE(sender.FileCount(), seen.size() + 1);
            seen << r.FileName;
        };
        QVERIFY(zf.SetFileName(write(z)));
        QCOMPARE(zf.FileCount(), 3);
        QCOMPARE(seen, (QList<QString>{"docs/", "docs/a.txt", "b.bin"}));
        const ZipFile a = zf.Record(1);
        QCOMPARE(a.FileName, QStringLiteral("docs/a.txt"));
        QCOMPARE(a.UncompressedSize, 5u);
        QCOMPARE(a.CompressedSize, 5u);
        QCOMPARE(a.Time, 0x7A2F);
        QCOMPARE(a.NameLength, 10);
        QCOMPARE(zf.Record(2).Date, 0x5865);
        QCOMPARE(zf.Record(2).UncompressedSize, 777u);
        QCOMPARE(zf.Record(3).FileName, QString()); // past the end: an empty record
        QCOMPARE(zf.Record(-1).NameLength, 0);
        QCOMPARE(TZipFile::Walk(z.build()).size(), size_t(3));
    }

    void readsAgainFromScratch()
    {
        ZipBuilder one, two;
        one.add("x");
        two.add("y");
        two.add("z");
        TZipFile zf;
        QVERIFY(zf.SetFileName(write(two, "two.zip")));
        QVERIFY(zf.SetFileName(write(one, "one.zip")));
        QCOMPARE(zf.FileCount(), 1);
        QCOMPARE(zf.Record(0).FileName, QStringLiteral("x"));
    }

    void missingFileLeavesListEmptyAndNameUnchanged()
    {
        ZipBuilder z;
        z.add("x");
        TZipFile zf;
        const QString good = write(z);
        QVERIFY(zf.SetFileName(good));
        const QString missing = tmp.filePath("missing.zip");
        QVERIFY(!zf.SetFileName(missing));
        QCOMPARE(zf.OpenError(), QStringLiteral("Cannot open file ") + missing);
        QCOMPARE(zf.FileCount(), 0);
        QCOMPARE(zf.FileName(), good);
        QVERIFY(!zf.SetFileName(tmp.path())); // a folder is no file
    }

    void dataDescriptorSizesComeFromTheDirectory()
    {
        // The first entry's local header says 0: the directory has its sizes,
        // and every entry behind it is listed however its data falls.
        ZipBuilder z;
        z.add("first.tx", "12345").dataDescriptor = true;
        z.add("second.txt", "abc");
        TZipFile zf;
        QVERIFY(zf.SetFileName(write(z, "descriptor.zip")));
        QCOMPARE(zf.FileCount(), 2);
        QCOMPARE(zf.Record(0).CompressedSize, 5u);
        QCOMPARE(zf.Record(1).FileName, QStringLiteral("second.txt"));

        // Without its directory (cut short) the walk cannot know where that
        // data ends: the entry is listed, and nothing behind it.
        QByteArray cut = z.build();
        cut.truncate(cut.indexOf("PK\x01\x02"));
        QCOMPARE(TZipFile::Walk(cut).size(), size_t(1));
    }

    void longNameIsCutAndWalkStaysInStep()
    {
        ZipBuilder z;
        z.add(QByteArray(300, 'n'), "data");
        z.add("next.txt", "more");
        TZipFile zf;
        QVERIFY(zf.SetFileName(write(z)));
        QCOMPARE(zf.FileCount(), 2);
        QCOMPARE(zf.Record(0).FileName, QString(256, QLatin1Char('n')));
        QCOMPARE(zf.Record(0).NameLength, 300);
        QCOMPARE(zf.Record(1).FileName, QStringLiteral("next.txt"));
    }

    void namesInUtf8AndWindows1252()
    {
        ZipBuilder z;
        z.add("\xc3\xa9t\xc3\xa9.txt").flags = 0x800;
        z.add("caf\xe9.txt").host = 3;
        z.add("caf\x82-dos.txt");
        TZipFile zf;
        QVERIFY(zf.SetFileName(write(z)));
        QCOMPARE(zf.Record(0).FileName, QString::fromUtf8("été.txt"));
        QCOMPARE(zf.Record(1).FileName, QString::fromUtf8("café.txt"));
        QCOMPARE(zf.Record(2).FileName, QString::fromUtf8("café-dos.txt"));
    }

    void stubInFrontIsLeftOut()
    {
        // Bytes in front of the archive (a self-extractor's stub), offsets not adjusted.
        ZipBuilder z;
        z.prefix = QByteArray(63, 'M');
        z.adjustOffsets = false;
        z.add("a.txt", "x");
        QCOMPARE(TZipFile::Walk(z.build()).size(), size_t(1));
    }

    void truncatedHeaderEndsTheWalk()
    {
        ZipBuilder z;
        z.add("a.txt", "x");
        z.add("b.txt", "y");
        QByteArray b = z.build();
        const qsizetype second = b.indexOf("PK\x03\x04", 4);
        QCOMPARE(TZipFile::Walk(b.left(second + 20)).size(), size_t(1));
        // A name that runs past the end is no record either.
        QCOMPARE(TZipFile::Walk(b.left(second + 32)).size(), size_t(1));
        // Data that runs past the end: the record stands, the walk stops.
        QCOMPARE(TZipFile::Walk(b.left(second + 36)).size(), size_t(2));
    }
};

QTEST_GUILESS_MAIN(TestZipFile)
#include "test_zipfile.moc"
