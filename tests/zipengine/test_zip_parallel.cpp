// Adding through the engine while the compression module compresses on
// several threads: the progress events are those of an add on one thread
// (QUARN_ZIP_THREADS=1), every byte counted once, and a stop in the middle
// leaves the archive as it was, byte for byte, with no temporary file.

#include "RecordingZipUser.h"

#include "EntryPipeline.h"
#include "TestTools.h"
#include "zipengine/TZipEngine.h"

#include <QtTest>

using namespace testtools;

namespace {

constexpr int kBlock = int(qz::EntryPipeline::kBlock);
constexpr int kWhole = int(qz::EntryPipeline::kWholeLimit);

struct Event {
    int type;
    QString name;
    int32_t size;
    bool operator==(const Event& o) const { return type == o.type && name == o.name && size == o.size; }
};

QString describe(const QList<Event>& events)
{
    QStringList l;
    for (const Event& e : events)
        l << QString("%1 %2 %3").arg(e.type).arg(e.name).arg(e.size);
    return l.join('\n');
}

QStringList listing(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
}

// Sets how many threads the module compresses on for one scope.
struct Threads {
    explicit Threads(int n) { qputenv("QUARN_ZIP_THREADS", QByteArray::number(n)); }
    ~Threads() { qunsetenv("QUARN_ZIP_THREADS"); }
};

} // namespace

class TestZipParallel : public QObject {
    Q_OBJECT
    FreshFolders tmp;
    RecordingZipUser user;

    std::unique_ptr<TZipEngine> engine()
    {
        auto e = std::make_unique<TZipEngine>();
        e->SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        e->SetUser(&user);
        return e;
    }

    static void add(TZipEngine& e, const QString& zip, const QString& root, const QStringList& names)
    {
        e.SetZipFileName(zip);
        e.AddOptions = TZipEngine::AddDirNames | TZipEngine::AddRecurseDirs;
        e.RootDir = root;
        e.FSpecArgs = names;
        e.Add();
    }

    // Small files, files that do not compress, and a file in blocks.
    static void makeInput(const QString& in)
    {
        makeTree(in);
        for (int i = 0; i < 60; ++i)
            writeFile(QString("%1/many/f%2.txt").arg(in).arg(i, 3, 10, QChar('0')), sampleData(200 + 91 * i, quint32(300 + i)));
        writeFile(in + "/many/one-byte", "q");
        writeFile(in + "/many/noise", randomData(3000, 5));
        writeFile(in + "/many/big.txt", sampleData(kWhole + 2 * kBlock + 5, 6));
    }

    QList<Event> addRecording(int threads, const QString& zip, const QString& in)
    {
        Threads t(threads);
        QList<Event> events;
        auto e = engine();
        e->OnProgress = [&](TZipEngine&, TZipEngine::ProgressType type, const QString& name, int32_t size) {
            events << Event{int(type), name, size};
        };
        add(*e, zip, in, {"*.*"});
        [&] { QCOMPARE(e->ErrCode, 0); }();
        return events;
    }

private slots:
    void initTestCase() { QVERIFY(tmp.isValid()); }

    void progressAsOnOneThread()
    {
        const QString d = tmp.fresh();
        makeInput(d + "/in");
        const QList<Event> one = addRecording(1, d + "/one.zip", d + "/in");
        const QList<Event> four = addRecording(4, d + "/four.zip", d + "/in");
        QVERIFY2(one == four, qPrintable(describe(one) + "\n----\n" + describe(four)));
        // Every file announced once, every byte counted once.
        qint64 totalFiles = -1, totalSize = -1, bytes = 0, files = 0;
        for (const Event& e : four) {
            if (e.type == TZipEngine::ProgressTotalFiles) totalFiles = e.size;
            if (e.type == TZipEngine::ProgressTotalSize) totalSize = e.size;
            if (e.type == TZipEngine::ProgressBytes) bytes += e.size;
            if (e.type == TZipEngine::ProgressNewFile) ++files;
        }
        QCOMPARE(files, totalFiles);
        QCOMPARE(bytes, totalSize);
    }

    void stopLeavesTheArchive_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("bytesReports");
        QTest::newRow("among small files") << "f030.txt" << 0;
        QTest::newRow("in a large file's blocks") << "big.txt" << 3;
    }

    // Stops when the file named `file` is announced, after that many byte
    // reports of it.
    void stopLeavesTheArchive()
    {
        QFETCH(QString, file);
        QFETCH(int, bytesReports);
        const QString d = tmp.fresh();
        writeFile(d + "/in/first.txt", sampleData(30000, 41));
        auto e = engine();
        add(*e, d + "/keep.zip", d + "/in", {"first.txt"});
        QCOMPARE(e->SuccessCount, 1);
        const QByteArray before = readFile(d + "/keep.zip");
        makeInput(d + "/in");

        Threads t(3);
        bool inFile = false;
        int seen = 0;
        e->OnProgress = [&](TZipEngine& eng, TZipEngine::ProgressType type, const QString& name, int32_t) {
            if (type == TZipEngine::ProgressNewFile)
                inFile = name.endsWith(file);
            if (inFile && (type == TZipEngine::ProgressBytes || bytesReports == 0) && seen++ == bytesReports)
                eng.CancelFlag = true;
        };
        add(*e, d + "/keep.zip", d + "/in", {"*.*"});
        QVERIFY(seen > bytesReports);
        QCOMPARE(e->ErrCode, 80);
        QCOMPARE(e->SuccessCount, 0);
        QCOMPARE(readFile(d + "/keep.zip"), before);
        QCOMPARE(listing(d), (QStringList{"in", "keep.zip"}));
    }
};

QTEST_GUILESS_MAIN(TestZipParallel)
#include "test_zip_parallel.moc"
