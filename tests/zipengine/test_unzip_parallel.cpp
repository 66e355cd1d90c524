// Extracting archives of many entries, which the unzip module spreads over
// worker threads: the files are those Info-ZIP's unzip makes, every callback
// comes from the calling thread in the entries' order, questions come one at
// a time, a stop leaves no half-written file, and what a run says (progress,
// messages) is what the same run says on one thread.

#include "../cli/CliTools.h"

#include "zipengine/TZipEngine.h"

#include <QDirIterator>
#include <QThread>
#include <QtTest>

using namespace clitools;

namespace {

// Everything an extraction told the engine's owner, in order, and whether
// it all came from the thread that started it.
struct Log {
    QStringList lines;
    bool offThread = false;
    qint64 bytes = 0, totalSize = -1;
    int newFiles = 0;
    void add(const QString& line)
    {
        lines << line;
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            offThread = true;
    }
};

// A tree of `files` files (empty ones, small and larger text, incompressible
// data that zip stores), empty folders, and a few multi-MiB files, one
// larger than the module inflates whole.
void makeManyFiles(const QString& root, int files)
{
    for (int i = 0; i < files; ++i) {
        const QString dir = root + QStringLiteral("/d%1/s%2").arg(i % 7).arg(i % 3);
        const int kind = i % 6;
        QByteArray data;
        if (kind == 1)
            data = sampleData(100 + i, quint32(i));
        else if (kind == 2)
            data = sampleData(20000 + i * 7, quint32(i));
        else if (kind == 3)
            data = randomData(3000 + i, quint32(i));
        else if (kind == 4)
            data = sampleData(1, quint32(i));
        writeFile(dir + QStringLiteral("/f%1.%2").arg(i).arg(kind == 3 ? "bin" : "txt"), data);
    }
    QDir().mkpath(root + "/empty/inner");
    writeFile(root + "/big/streamed.txt", sampleData(12 << 20, 99));
    writeFile(root + "/big/whole.txt", sampleData(3 << 20, 98));
    writeFile(root + "/big/stored.bin", randomData(9 << 20, 97));
}

} // namespace

class TestUnzipParallel : public QObject {
    Q_OBJECT
    FreshFolders tmp;
    QString source, infoZip, sevenZip, reference;

    // An engine over the real modules whose every event goes to `log`.
    std::unique_ptr<TZipEngine> engine(Log& log)
    {
        auto e = std::make_unique<TZipEngine>();
        e->SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        e->Unattended = true;
        e->OnMessage = [&log](TZipEngine& en, int32_t code, const QString& text) {
            if (code != 0 || en.ErrCode != 0)
                log.add(QStringLiteral("message %1 %2").arg(code).arg(text));
        };
        e->OnProgress = [&log](TZipEngine&, TZipEngine::ProgressType type, const QString& name, int32_t size) {
            log.add(QStringLiteral("progress %1 %2 %3").arg(int(type)).arg(name).arg(size));
            if (type == TZipEngine::ProgressBytes)
                log.bytes += size;
            if (type == TZipEngine::ProgressNewFile)
                ++log.newFiles;
            if (type == TZipEngine::ProgressTotalSize)
                log.totalSize = size;
        };
        e->OnExtractSkipped = [&log](TZipEngine&, const QString& file, TZipEngine::UnZipSkipTypes type, int32_t code) {
            log.add(QStringLiteral("skipped %1 %2 %3").arg(file).arg(int(type)).arg(code));
        };
        return e;
    }

    // Extracts `zip` into `dest` with `threads` workers ("" for every core).
    void extract(TZipEngine& e, const QString& zip, const QString& dest, const QByteArray& threads = QByteArray(),
                 uint8_t options = TZipEngine::ExtrDirNames)
    {
        if (threads.isEmpty())
            qunsetenv("QUARN_UNZIP_THREADS");
        else
            qputenv("QUARN_UNZIP_THREADS", threads);
        e.SetZipFileName(zip);
        e.ExtrBaseDir = dest;
        e.ExtrOptions = options;
        e.FSpecArgs = QStringList{"*.*"};
        e.Extract();
        qunsetenv("QUARN_UNZIP_THREADS");
    }

    static QStringList temporaries(const QString& root)
    {
        QStringList found;
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            if (it.next().contains(QLatin1String(".quarn-")))
                found << it.filePath();
        return found;
    }

    // Offset of an entry's data in `zip` (Python's zipfile reads the local header).
    static qint64 dataOffset(const QString& zip, const QString& name)
    {
        const Run r = python("import sys, zipfile, struct\n"
                             "z = zipfile.ZipFile(sys.argv[1]); i = z.getinfo(sys.argv[2]); f = open(sys.argv[1], 'rb')\n"
                             "f.seek(i.header_offset); h = f.read(30)\n"
                             "n, x = struct.unpack('<HH', h[26:30]); print(i.header_offset + 30 + n + x)",
                             {zip, name});
        return r.outText().trimmed().toLongLong();
    }

private slots:
    void initTestCase()
    {
        QUARN_REQUIRE_PEER("zip");
        QUARN_REQUIRE_PEER("unzip");
        QUARN_REQUIRE_PEER("7z");
        QUARN_REQUIRE_PEER("python3");
        QVERIFY(tmp.isValid());
        const QString d = tmp.fresh();
        source = d + "/src";
        makeManyFiles(source, 400);
        infoZip = d + "/info.zip";
        sevenZip = d + "/seven.zip";
        // Info-ZIP stores the .bin files; 7-Zip deflates at its own level.
        QCOMPARE(run("zip", {"-q", "-r", "-n", ".bin", infoZip, "."}, source).code, 0);
        QCOMPARE(run("7z", {"a", "-tzip", "-mx=5", "-bd", "-bso0", sevenZip, "."}, source).code, 0);
        reference = d + "/ref";
        QCOMPARE(run("unzip", {"-q", infoZip, "-d", reference}).code, 0);
    }

    void cleanupTestCase() { qunsetenv("QUARN_UNZIP_THREADS"); }

    // Both peers' archives come out as unzip makes them, with the same
    // progress and messages as on one thread, all on the calling thread.
    void manyEntriesAsUnzipMakesThem()
    {
        for (const QString& zip : {infoZip, sevenZip}) {
            Log parallel, serial;
            const QString out = tmp.fresh(), one = tmp.fresh();
            auto e = engine(parallel);
            extract(*e, zip, out);
            QVERIFY2(e->SuccessCount > 400, qPrintable(parallel.lines.join('\n')));
            sameFiles(reference, out);
            QVERIFY(QFileInfo(out + "/empty/inner").isDir());
            QVERIFY(!parallel.offThread);
            QVERIFY(temporaries(out).isEmpty());

            auto s = engine(serial);
            extract(*s, zip, one, "1");
            sameFiles(reference, one);
            QCOMPARE(parallel.lines, serial.lines);
            QCOMPARE(e->SuccessCount, s->SuccessCount);
            // Progress counts every file and the compressed bytes read.
            QCOMPARE(parallel.newFiles, 400 + 3);
            const Run packed = python("import sys, zipfile\n"
                                      "print(sum(i.compress_size for i in zipfile.ZipFile(sys.argv[1]).infolist()))",
                                      {zip});
            QCOMPARE(parallel.bytes, packed.outText().trimmed().toLongLong());
            qint64 total = 0;
            for (const QString& f : filesBelow(reference))
                total += QFileInfo(reference + "/" + f).size();
            QCOMPARE(parallel.totalSize, total);
        }
    }

    // Traditional and AES encryption: the password is asked once, at the
    // first entry, and serves every other one.
    void encryptedEntriesAskOnce()
    {
        const QString d = tmp.fresh();
        const QString pk = d + "/pk.zip", aes = d + "/aes.zip";
        QCOMPARE(run("zip", {"-q", "-r", "-P", "secret", pk, "."}, source).code, 0);
        QCOMPARE(run("7z", {"a", "-tzip", "-mem=AES256", "-psecret", "-bd", "-bso0", aes, "."}, source).code, 0);
        for (const QString& zip : {pk, aes}) {
            Log log;
            auto e = engine(log);
            e->Unattended = false;
            QStringList asked;
            e->OnPasswordError = [&](TZipEngine&, bool, QString& pw, const QString& file, uint32_t&,
                                     TZipEngine::TPasswordButton& action) {
                asked << file;
                if (QThread::currentThread() != QCoreApplication::instance()->thread())
                    log.offThread = true;
                pw = QStringLiteral("secret");
                action = TZipEngine::pwbOk;
            };
            const QString out = tmp.fresh();
            extract(*e, zip, out);
            QCOMPARE(asked.size(), 1);
            // The first encrypted entry in the archive's order.
            const QString first = python("import sys, zipfile\n"
                                         "print(next(i.filename for i in zipfile.ZipFile(sys.argv[1]).infolist() "
                                         "if i.flag_bits & 1))",
                                         {zip})
                                      .outText()
                                      .trimmed()
                                      .replace('/', '\\');
            QCOMPARE(asked.first(), first);
            QVERIFY(!log.offThread);
            sameFiles(reference, out);
            QVERIFY(temporaries(out).isEmpty());
        }
    }

    // Existing files: the questions come in the entries' order on the
    // calling thread, and each answer holds for its own file.
    void overwriteQuestionsInOrder()
    {
        const QString out = tmp.fresh();
        Log first;
        auto e = engine(first);
        extract(*e, infoZip, out);
        QStringList files;
        QDirIterator it(out, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next();
        for (const QString& f : files)
            writeFile(f, "old");

        Log log;
        auto again = engine(log);
        QList<int> order;
        QMap<QString, bool> answered;
        again->OnExtractOverwrite = [&](TZipEngine&, const QString& file, bool, bool& doOverwrite, int32_t index) {
            if (QThread::currentThread() != QCoreApplication::instance()->thread())
                log.offThread = true;
            order << index;
            doOverwrite = index % 3 != 0;
            answered.insert(QDir::cleanPath(file), doOverwrite);
        };
        extract(*again, infoZip, out);
        QVERIFY(!log.offThread);
        QCOMPARE(order.size(), files.size());
        for (int i = 1; i < order.size(); ++i)
            QVERIFY(order[i - 1] < order[i]);
        for (const QString& f : files) {
            const QString rel = QDir(out).relativeFilePath(f);
            QVERIFY2(answered.contains(QDir::cleanPath(f)), qPrintable(f));
            QCOMPARE(readFile(f), answered.value(QDir::cleanPath(f)) ? readFile(reference + "/" + rel) : QByteArray("old"));
        }
        QVERIFY(temporaries(out).isEmpty());
    }

    // A stop part way leaves whole files only, no temporary ones, and says so.
    void stopLeavesNoTemporaries()
    {
        for (const QString& zip : {infoZip, sevenZip}) {
            Log log;
            auto e = engine(log);
            int seen = 0;
            const auto show = e->OnProgress;
            e->OnProgress = [&](TZipEngine& en, TZipEngine::ProgressType type, const QString& name, int32_t size) {
                show(en, type, name, size);
                if (type == TZipEngine::ProgressNewFile && ++seen == 150)
                    en.CancelFlag = true;
            };
            const QString out = tmp.fresh();
            extract(*e, zip, out);
            QCOMPARE(log.lines.filter(QLatin1String("aborted by the user")).size(), 1);
            QVERIFY2(temporaries(out).isEmpty(), qPrintable(temporaries(out).join('\n')));
            const QStringList made = filesBelow(out);
            QVERIFY(made.size() >= 149);
            QVERIFY(made.size() < 400);
            for (const QString& f : made)
                QCOMPARE(readFile(out + "/" + f), readFile(reference + "/" + f));
        }
    }

    // Damaged entries amid good ones: the same messages, at the same point of
    // the progress, as on one thread; the others come out whole.
    void damagedEntriesSayTheSame()
    {
        const QString d = tmp.fresh();
        const QString zip = d + "/damaged.zip";
        QVERIFY(QFile::copy(infoZip, zip));
        QFile f(zip);
        QVERIFY(f.open(QIODevice::ReadWrite));
        // A deflated entry with garbage in its data, a stored one with a
        // changed byte (a CRC error), the big one cut by garbage too.
        for (const QString& name : {QStringLiteral("d1/s2/f8.txt"), QStringLiteral("d3/s0/f45.bin"),
                                    QStringLiteral("big/streamed.txt")}) {
            const qint64 at = dataOffset(zip, name);
            QVERIFY(at > 0);
            QVERIFY(f.seek(at + 40));
            QVERIFY(f.write(QByteArray(64, '\x5a')) == 64);
        }
        f.close();
        Log parallel, serial;
        const QString out = tmp.fresh(), one = tmp.fresh();
        auto e = engine(parallel);
        extract(*e, zip, out);
        auto s = engine(serial);
        extract(*s, zip, one, "1");
        QCOMPARE(parallel.lines, serial.lines);
        QVERIFY(!parallel.offThread);
        const QStringList said = parallel.lines.filter(QStringLiteral("message "));
        QVERIFY2(said.filter(QStringLiteral("f8.txt")).size() == 1, qPrintable(said.join('\n')));
        QVERIFY2(said.filter(QStringLiteral("CRC error in d3/s0/f45.bin")).size() == 1, qPrintable(said.join('\n')));
        QVERIFY2(said.filter(QStringLiteral("streamed.txt")).size() == 1, qPrintable(said.join('\n')));
        QVERIFY(!QFileInfo::exists(out + "/d1/s2/f8.txt"));
        QVERIFY(!QFileInfo::exists(out + "/big/streamed.txt"));
        QCOMPARE(readFile(out + "/big/whole.txt"), readFile(reference + "/big/whole.txt"));
        QVERIFY(temporaries(out).isEmpty());
        QCOMPARE(filesBelow(out).size(), filesBelow(reference).size() - 3);
    }
};

QTEST_GUILESS_MAIN(TestUnzipParallel)
#include "test_unzip_parallel.moc"
