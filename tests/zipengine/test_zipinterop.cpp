// Archives written by Info-ZIP zip, Python's zipfile and 7z are listed by both
// readers with the names, sizes and dates that `unzip -Z` reports for them.
#include "zipengine/TZipEngine.h"
#include "zipengine/TZipFile.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Listed {
    QString name;
    quint64 size;
    QString stamp; // yyyymmdd.hhmmss
    bool operator==(const Listed& o) const { return name == o.name && size == o.size && stamp == o.stamp; }
};

QString dosStamp(uint32_t dt)
{
    const unsigned d = dt >> 16, t = dt & 0xFFFF;
    return QString::asprintf("%04u%02u%02u.%02u%02u%02u", (d >> 9) + 1980, (d >> 5) & 15, d & 31, t >> 11,
                             (t >> 5) & 63, (t & 31) * 2);
}

} // namespace

namespace QTest {
template <>
char* toString(const Listed& l)
{
    return qstrdup(qPrintable(QStringLiteral("%1 %2 %3").arg(l.name).arg(l.size).arg(l.stamp)));
}
} // namespace QTest

class TestZipInterop : public QObject {
    Q_OBJECT
    QTemporaryDir tmp;

    QByteArray sh(const QString& command)
    {
        QProcess p;
        p.setWorkingDirectory(tmp.path());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("LC_ALL", "C.UTF-8");
        env.insert("TZ", "UTC");
        p.setProcessEnvironment(env);
        p.start("/bin/sh", {"-c", command});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            qWarning() << "command failed:" << command << p.readAllStandardError();
        return p.readAllStandardOutput();
    }

    // What `unzip -Z -T` says: one line per entry, the name last.
    QList<Listed> zipinfo(const QString& zip)
    {
        QList<Listed> out;
        const QStringList lines = QString::fromUtf8(sh("unzip -Z -T " + zip)).split('\n');
        static const QRegularExpression re(
            QStringLiteral("^\\S{10}\\s+\\S+\\s+\\S+\\s+(\\d+)\\s+\\S+\\s+\\S+\\s+(\\d{8}\\.\\d{6})\\s(.*)$"));
        for (const QString& line : lines) {
            const auto m = re.match(line);
            if (m.hasMatch())
                out << Listed{m.captured(3), m.captured(1).toUInt(), m.captured(2)};
        }
        return out;
    }

    QList<Listed> engineList(const QString& zip)
    {
        TZipEngine engine;
        engine.Unattended = true;
        engine.UseDirOnlyEntries = true;
        engine.SetZipFileName(tmp.filePath(zip));
        [&] { QCOMPARE(engine.ErrCode, 0); }();
        QList<Listed> out;
        for (const ZipDirEntry& e : engine.Entries)
            out << Listed{QString(e.FileName).replace('\\', '/'), e.UncompressedSize, dosStamp(e.DateTime)};
        return out;
    }

    QList<Listed> walkList(const QString& zip)
    {
        TZipFile zf;
        zf.SetFileName(tmp.filePath(zip));
        QList<Listed> out;
        for (const ZipFile& r : zf.Records())
            out << Listed{r.FileName, r.UncompressedSize, dosStamp(r.DosDateTime())};
        return out;
    }

private slots:
    void initTestCase()
    {
        for (const char* tool : {"zip", "unzip", "7z", "python3"})
            QVERIFY2(!QStandardPaths::findExecutable(tool).isEmpty(),
                     qPrintable(QStringLiteral("%1 is needed and missing (scripts/setup.sh installs it)").arg(tool)));
        sh("mkdir -p d/sub d/empty && printf 'hello hello hello\\n' > d/a.txt && head -c 5000 /dev/zero > d/sub/zeros.bin"
           " && printf 'x' > 'd/sub/with space.txt'"
           " && touch -d '2024-03-05 10:20:30' d/a.txt d/sub/zeros.bin 'd/sub/with space.txt' d/sub d/empty d");
    }

    void infoZip_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("walkAgrees");
        QTest::newRow("stored") << "zip -q -0 -r stored.zip d" << true;
        QTest::newRow("deflated") << "zip -q -9 -r deflated.zip d" << true;
        QTest::newRow("encrypted") << "zip -q -P secret -r encrypted.zip d" << true;
        QTest::newRow("comment") << "printf 'a comment\\n' | zip -q -z -r comment.zip d" << true;
        // Streamed: sizes in data descriptors, so the local headers say 0.
        QTest::newRow("streamed") << "zip -q -r - d | cat > streamed.zip" << false;
        QTest::newRow("7z") << "7z a -tzip -bd -bso0 7z.zip d" << true;
    }

    void infoZip()
    {
        QFETCH(QString, command);
        QFETCH(bool, walkAgrees);
        sh(command);
        const QString zip = command.split(' ').filter(".zip").first();
        const QList<Listed> expected = zipinfo(zip);
        QVERIFY(expected.size() >= 6);
        QCOMPARE(engineList(zip), expected);
        const QList<Listed> walked = walkList(zip);
        if (walkAgrees) {
            QCOMPARE(walked, expected);
        } else {
            QVERIFY(!walked.isEmpty());
            QCOMPARE(walked.first().name, expected.first().name);
            QCOMPARE(walked.first().size, 0u);
        }
    }

    // More entries than the end record can count: Info-ZIP's zip writes a
    // Zip64 end record, and both readers list every entry.
    void moreEntriesThanTheEndRecordCounts()
    {
        sh("mkdir -p many && cd many && seq -f 'f%05g' 1 65600 | xargs touch && touch -d '2024-03-05 10:20:30' f* ."
           " && cd .. && zip -q -0 -r many.zip many");
        const QList<Listed> expected = zipinfo("many.zip");
        QCOMPARE(expected.size(), 65601);
        const QList<Listed> listed = engineList("many.zip");
        QCOMPARE(listed.size(), 65601);
        QCOMPARE(listed.first(), expected.first());
        QCOMPARE(listed.last(), expected.last());
        QCOMPARE(walkList("many.zip").size(), 65601);
        sh("rm -rf many many.zip");
    }

    void commentAndEncryption()
    {
        TZipEngine engine;
        engine.Unattended = true;
        engine.SetZipFileName(tmp.filePath("comment.zip"));
        QVERIFY(engine.ArchiveComment.startsWith(QStringLiteral("a comment")));
        engine.SetZipFileName(tmp.filePath("encrypted.zip"));
        QVERIFY(engine.Count > 0);
        for (const ZipDirEntry& e : engine.Entries)
            QVERIFY(e.Encrypted == (e.UncompressedSize > 0));
    }

    void pythonUtf8Names()
    {
        sh("python3 -c \"import zipfile\n"
           "z = zipfile.ZipFile('py.zip', 'w', zipfile.ZIP_DEFLATED)\n"
           "for n in ['caf\\u00e9/men\\u00fc.txt', '\\u65e5\\u672c.txt', 'plain.txt']:\n"
           "    z.writestr(zipfile.ZipInfo(n, (2023, 4, 5, 6, 7, 8)), 'data ' * 50)\n"
           "z.close()\"");
        const QList<Listed> expected = zipinfo("py.zip");
        QCOMPARE(expected.size(), 3);
        QCOMPARE(expected.first().name, QString::fromUtf8("café/menü.txt"));
        QCOMPARE(engineList("py.zip"), expected);
        QCOMPARE(walkList("py.zip"), expected);
    }

    void selfExtractorMadeByCat()
    {
        // A stub glued in front without fixing the offsets (as `cat` does).
        sh("head -c 3000 /dev/urandom > stub.bin && cat stub.bin stored.zip > sfx.exe");
        TZipEngine engine;
        engine.Unattended = true;
        engine.UseDirOnlyEntries = true;
        engine.SetZipFileName(tmp.filePath("sfx.exe"));
        QVERIFY(engine.StructureWarning);
        QCOMPARE(engine.ErrCode, 10203);
        QCOMPARE(engine.Count, int(zipinfo("stored.zip").size()));
        // After `zip -A` fixes the offsets the data starts behind the stub.
        sh("cp sfx.exe fixed.exe && zip -q -A fixed.exe");
        engine.ErrCode = 0;
        engine.SetZipFileName(tmp.filePath("fixed.exe"));
        QVERIFY(!engine.StructureWarning);
        QCOMPARE(engine.DataStart, 3000);
        QCOMPARE(engine.ErrCode, 0);
    }
};

QTEST_GUILESS_MAIN(TestZipInterop)
#include "test_zipinterop.moc"
