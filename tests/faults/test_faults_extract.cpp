// Extraction with every file operation failed in turn: zips through the
// extraction module (on one thread and on several), tar, tar.gz, gz, RAR and
// a kind read through libarchive through the archive layer, and one entry
// saved to a file. Each time the archive stays byte for byte, every file on
// disk is either one that was there before, untouched, or a complete entry;
// no temporary file is left; and what was not extracted was said.

#include "FaultChecks.h"
#include "FaultInjection.h"
#include "TestTools.h"

#include "archive/Archive.h"
#include "zipengine/TZipEngine.h"

#include <QtTest>

using namespace testtools;

class TestFaultsExtract : public QObject {
    Q_OBJECT
    FreshFolders tmp_;
    QStringList said_;
    // The symbolic links the archive of a test holds: name -> target.
    QMap<QString, QString> links_;

    // Runs `extract` failing each call below `folder` in turn, with
    // `dest` emptied but for `existing` before each run; `threads` sets
    // QUARN_UNZIP_THREADS ("" for the default). `extract` returns whether
    // anything was said (a message, a note, an error).
    void everyCallExtracting(const QString& folder, const QString& archive, const QString& dest,
                             const QMap<QString, QByteArray>& want, const QMap<QString, QByteArray>& existing,
                             const std::function<bool()>& extract, const QByteArray& threads)
    {
        if (threads.isEmpty())
            qunsetenv("QUARN_UNZIP_THREADS");
        else
            qputenv("QUARN_UNZIP_THREADS", threads);
        const QByteArray archiveBytes = readFile(archive);
        bool said = false;
        const long total = faults::everyCall(
            folder,
            [&] {
                said_.clear();
                faultchecks::refill(dest, existing);
            },
            [&] { said = extract(); },
            [&](long n) {
                const QString which = faultchecks::describe(n, said_) + QStringLiteral(" threads ") +
                                      QString::fromLatin1(threads.isEmpty() ? "default" : threads);
                QVERIFY2(readFile(archive) == archiveBytes, qPrintable(which + QStringLiteral(": archive changed")));
                faultchecks::checkExtracted(which, dest, want, existing, links_, said);
            });
        qInfo("%s: %ld calls failed in turn, threads %s", QTest::currentTestFunction(), total,
              threads.isEmpty() ? "default" : threads.constData());
        qunsetenv("QUARN_UNZIP_THREADS");
        QVERIFY2(total > 3, qPrintable(QString::number(total)));
    }

    // Extracts `archive` into `dest` through the archive layer, every file
    // replaced; true when anything was said.
    bool extractThroughLayer(const QString& archive, const QString& dest, bool folderNames = true)
    {
        const std::unique_ptr<Archive> a = openArchive(archive);
        if (!a) {
            said_ << QStringLiteral("no backend");
            return true;
        }
        ExtractRequest request;
        request.destination = dest;
        request.replace = ReplacePolicy::Always;
        request.folderNames = folderNames;
        request.note = [this](const QString& text) { said_ << text; };
        const ExtractResult r = a->extract(request);
        if (!r.error.isEmpty())
            said_ << r.error;
        return !said_.isEmpty();
    }

    // Saves entry `index` of `archive` to `target`, failing each call in
    // turn: the target is its old bytes or the entry's whole, and a failure
    // is said.
    void everyCallSavingEntry(const QString& folder, const QString& archive, int index, const QByteArray& entry)
    {
        const QString target = folder + QStringLiteral("/saved/entry.out");
        const QMap<QString, QByteArray> want{{QStringLiteral("entry.out"), entry}};
        const QMap<QString, QByteArray> existing{{QStringLiteral("entry.out"), QByteArray("the old file")}};
        everyCallExtracting(folder, archive, folder + QStringLiteral("/saved"), want, existing, [&] {
            const QString error = openArchive(archive)->extractEntryTo(index, target);
            if (!error.isEmpty())
                said_ << error;
            return !error.isEmpty();
        }, QByteArray("1"));
    }

    std::unique_ptr<TZipEngine> engine(const QString& zip, const QString& dest)
    {
        auto e = std::make_unique<TZipEngine>();
        e->SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        e->Unattended = true;
        e->OnMessage = [this](TZipEngine&, int32_t code, const QString& text) {
            said_ << QStringLiteral("%1: %2").arg(code).arg(text);
        };
        e->SetZipFileName(zip);
        e->ExtrBaseDir = dest;
        e->ExtrOptions = TZipEngine::ExtrDirNames | TZipEngine::ExtrOverWrite;
        return e;
    }

    bool extractWithEngine(TZipEngine& e)
    {
        e.FSpecArgs = QStringList{QStringLiteral("*.*")};
        try {
            e.Extract();
        } catch (const EZipEngine& x) {
            said_ << x.Message();
        }
        return !said_.isEmpty();
    }

private slots:
    // A few entries in folders, one over the size inflated whole, a link and
    // a file already on disk that is replaced; on one thread.
    void zipOnOneThread()
    {
        const QString d = tmp_.fresh();
        const QString zip = d + QStringLiteral("/in.zip");
        QMap<QString, QByteArray> want = faultchecks::makeArchive(zip, QStringLiteral(R"(
files['a.txt'] = text(30000, 1)
files['sub/b.txt'] = text(20000, 2)
files['sub/deeper/c.bin'] = bytes(9 << 20) + text(5000, 3)
files['empty.txt'] = b''
z = zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED)
for k in sorted(files): z.writestr(k, files[k])
link = zipfile.ZipInfo('link.txt'); link.create_system = 3
link.external_attr = (stat.S_IFLNK | 0o777) << 16
z.writestr(link, 'a.txt')
z.close()
)"));
        QVERIFY(!want.isEmpty());
        want.insert(QStringLiteral("link.txt"), want.value(QStringLiteral("a.txt")));
        links_ = {{QStringLiteral("link.txt"), QStringLiteral("a.txt")}};
        const QString dest = d + QStringLiteral("/out");
        const QMap<QString, QByteArray> existing{{QStringLiteral("sub/b.txt"), QByteArray("an older b")}};
        auto e = engine(zip, dest);
        everyCallExtracting(d, zip, dest, want, existing, [&] { return extractWithEngine(*e); }, QByteArray("1"));
    }

    // Enough entries for the workers: on four threads, then on the default ones.
    void zipOnSeveralThreads()
    {
        const QString d = tmp_.fresh();
        const QString zip = d + QStringLiteral("/in.zip");
        const QMap<QString, QByteArray> want = faultchecks::makeArchive(zip, QStringLiteral(R"(
for i in range(64): files['f%02d/n%d.txt' % (i % 5, i)] = text(3000 + 97 * i, i)
z = zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED)
for k in sorted(files): z.writestr(k, files[k])
z.close()
)"));
        QCOMPARE(want.size(), 64);
        const QString dest = d + QStringLiteral("/out");
        const QMap<QString, QByteArray> existing{{QStringLiteral("f01/n6.txt"), QByteArray("older")}};
        auto e = engine(zip, dest);
        everyCallExtracting(d, zip, dest, want, existing, [&] { return extractWithEngine(*e); }, QByteArray("4"));
        if (QTest::currentTestFailed())
            return;
        everyCallExtracting(d, zip, dest, want, existing, [&] { return extractWithEngine(*e); }, QByteArray());
    }

    // A zip through the archive layer, and one entry of it saved to a file.
    void zipThroughTheLayer()
    {
        const QString d = tmp_.fresh();
        const QString zip = d + QStringLiteral("/in.zip");
        const QMap<QString, QByteArray> want = faultchecks::makeArchive(zip, QStringLiteral(R"(
files['a.txt'] = text(30000, 1)
files['sub/b.txt'] = text(20000, 2)
z = zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED)
for k in sorted(files): z.writestr(k, files[k])
z.close()
)"));
        const QString dest = d + QStringLiteral("/out");
        everyCallExtracting(d, zip, dest, want, {{QStringLiteral("a.txt"), QByteArray("old a")}},
                            [&] { return extractThroughLayer(zip, dest); }, QByteArray("1"));
        if (QTest::currentTestFailed())
            return;
        everyCallSavingEntry(d, zip, 1, want.value(QStringLiteral("sub/b.txt")));
    }

    // tar and tar.gz: files, a folder, a symbolic and a hard link.
    void tarAndTarGz()
    {
        for (const char* kind : {"tar", "tar.gz"}) {
            const QString d = tmp_.fresh();
            const QString archive = d + QStringLiteral("/in.") + QLatin1String(kind);
            QMap<QString, QByteArray> want = faultchecks::makeArchive(archive, QStringLiteral(R"(
files['a.txt'] = text(30000, 1)
files['sub/b.txt'] = text(20000, 2)
files['sub/c.txt'] = text(600, 3)
t = tarfile.open(out, 'w:gz' if out.endswith('.gz') else 'w')
def add(name, data=None, typ=tarfile.REGTYPE, link=''):
    i = tarfile.TarInfo(name); i.type = typ; i.linkname = link; i.mtime = 1500000000
    i.size = len(data) if data is not None else 0
    t.addfile(i, io.BytesIO(data) if data is not None else None)
add('sub', typ=tarfile.DIRTYPE)
for k in sorted(files): add(k, files[k])
add('link.txt', typ=tarfile.SYMTYPE, link='a.txt')
add('hard.txt', typ=tarfile.LNKTYPE, link='sub/c.txt')
t.close()
)"));
            QVERIFY(!want.isEmpty());
            want.insert(QStringLiteral("link.txt"), want.value(QStringLiteral("a.txt")));
            links_ = {{QStringLiteral("link.txt"), QStringLiteral("a.txt")}};
            want.insert(QStringLiteral("hard.txt"), want.value(QStringLiteral("sub/c.txt")));
            const QString dest = d + QStringLiteral("/out");
            everyCallExtracting(d, archive, dest, want, {{QStringLiteral("sub/b.txt"), QByteArray("old b")}},
                                [&] { return extractThroughLayer(archive, dest); }, QByteArray());
            if (QTest::currentTestFailed())
                return;
            // Entry 1 is a.txt, after the folder.
            everyCallSavingEntry(d, archive, 1, want.value(QStringLiteral("a.txt")));
            if (QTest::currentTestFailed())
                return;
        }
    }

    // A gzip file: its one file, through the layer and saved to a file.
    void gz()
    {
        QUARN_REQUIRE_PEER(QStringLiteral("gzip"));
        const QString d = tmp_.fresh();
        const QByteArray data = sampleData(300000, 9);
        writeFile(d + QStringLiteral("/notes.txt"), data);
        QCOMPARE(run(QStringLiteral("gzip"), {QStringLiteral("-n"), d + QStringLiteral("/notes.txt")}).code, 0);
        const QString archive = d + QStringLiteral("/notes.txt.gz");
        const QString dest = d + QStringLiteral("/out");
        everyCallExtracting(d, archive, dest, {{QStringLiteral("notes.txt"), data}},
                            {{QStringLiteral("notes.txt"), QByteArray("old")}},
                            [&] { return extractThroughLayer(archive, dest); }, QByteArray());
        if (QTest::currentTestFailed())
            return;
        everyCallSavingEntry(d, archive, 0, data);
    }

    // A RAR 5 archive through the RAR module, with and without its folders,
    // and one entry saved to a file.
    void rar()
    {
        const QString d = tmp_.fresh();
        const QString archive = d + QStringLiteral("/in.rar");
        QVERIFY(QFile::copy(QStringLiteral(QUARN_SOURCE_DIR "/tests/rar/data/test_read_format_rar5_multiple_files.rar"),
                            archive));
        // What it holds, as bsdtar reads it.
        QUARN_REQUIRE_PEER(QStringLiteral("bsdtar"));
        const QString reference = tmp_.fresh();
        QCOMPARE(run(QStringLiteral("bsdtar"), {QStringLiteral("-xf"), archive, QStringLiteral("-C"), reference}).code, 0);
        QMap<QString, QByteArray> want = snapshot(reference);
        for (auto it = want.begin(); it != want.end();)
            it = it.value() == "<dir>" ? want.erase(it) : std::next(it);
        QVERIFY(want.size() >= 2);
        const QString first = want.firstKey();
        const QString dest = d + QStringLiteral("/out");
        everyCallExtracting(d, archive, dest, want, {{first, QByteArray("old")}},
                            [&] { return extractThroughLayer(archive, dest); }, QByteArray());
        if (QTest::currentTestFailed())
            return;
        QMap<QString, QByteArray> flat;
        for (auto it = want.begin(); it != want.end(); ++it)
            flat.insert(it.key().mid(it.key().lastIndexOf(QLatin1Char('/')) + 1), it.value());
        everyCallExtracting(d, archive, dest, flat, {}, [&] { return extractThroughLayer(archive, dest, false); },
                            QByteArray());
        if (QTest::currentTestFailed())
            return;
        int index = -1;
        openArchive(archive)->list([&](const ArchiveEntry& e) {
            if (e.name == first)
                index = e.index;
            return index < 0;
        });
        QVERIFY(index >= 0);
        everyCallSavingEntry(d, archive, index, want.value(first));
    }

    // A 7z archive, read through libarchive.
    void sevenZip()
    {
        QUARN_REQUIRE_PEER(QStringLiteral("7z"));
        const QString d = tmp_.fresh();
        const QString archive = d + QStringLiteral("/in.7z");
        const QMap<QString, QByteArray> want = faultchecks::makeSevenZip(archive, tmp_.fresh());
        QVERIFY(!want.isEmpty());
        const QString dest = d + QStringLiteral("/out");
        everyCallExtracting(d, archive, dest, want, {{QStringLiteral("a.txt"), QByteArray("old")}},
                            [&] { return extractThroughLayer(archive, dest); }, QByteArray());
        if (QTest::currentTestFailed())
            return;
        int index = -1;
        openArchive(archive)->list([&](const ArchiveEntry& e) {
            if (e.name == QLatin1String("sub/b.txt"))
                index = e.index;
            return index < 0;
        });
        QVERIFY(index >= 0);
        everyCallSavingEntry(d, archive, index, want.value(QStringLiteral("sub/b.txt")));
    }
};

QTEST_GUILESS_MAIN(TestFaultsExtract)
#include "test_faults_extract.moc"
