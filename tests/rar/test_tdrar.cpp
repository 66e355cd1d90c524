// TdRar over the RAR library: libarchive's own RAR 4 and RAR 5 samples
// list and extract as bsdtar reads them (links and Unicode names included),
// a volume set extracts whole from any part, and what the library cannot
// unpack (encrypted data or names, a missing volume, a cut archive) gets its
// own code with no file left behind. Also the RAR backend of the archive
// layer, one entry to a file, and the component's call order.

#include "SolidRar4.h"
#include "TestTools.h"
#include "archive/Archive.h"
#include "archive/RarArchive.h"
#include "rar/TdRar.h"

#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace testtools;

namespace {

QString sample(const QString& name) { return QStringLiteral(QUARN_SOURCE_DIR "/tests/rar/data/") + name; }

struct Events {
    QList<int> errors;
    QStringList listed, extracting, extracted;
};

// A TdRar on `archive` that records its events.
void wire(TdRar& r, const QString& archive, Events& ev)
{
    r.Archivefilename = archive;
    r.UnrarLibPath = QStringLiteral(QUARN_BIN_DIR);
    r.OnError = [&ev](TdRar*, int code) { ev.errors << code; };
    r.OnListing = [&ev](TdRar*, const RARHeaderData& h) { ev.listed << TdRar::EntryName(h); };
    r.OnExtracting = [&ev](TdRar*, const RARHeaderData& h) { ev.extracting << TdRar::EntryName(h); };
    r.OnExtract = [&ev](TdRar*, const RARHeaderData& h, bool ok) {
        if (ok)
            ev.extracted << TdRar::EntryName(h);
    };
}

QStringList names(const QString& archive)
{
    QStringList out;
    const std::unique_ptr<Archive> a = openArchive(archive);
    a->list([&](const ArchiveEntry& e) {
        out << e.name;
        return true;
    });
    return out;
}

} // namespace

class TestTdRar : public QObject {
    Q_OBJECT
    FreshFolders tmp;

private slots:
    void initTestCase()
    {
        QUARN_REQUIRE_PEER("bsdtar");
        QVERIFY2(QFile::exists(QStringLiteral(QUARN_BIN_DIR "/libunrar.so")), "the RAR library is not built");
        QVERIFY(QFile::exists(sample("COPYING.libarchive")));
    }

    // Each sample bsdtar reads whole: the same names, sizes and dates in the
    // listing, the same tree extracted (bytes, folders, links).
    void samplesAsBsdtarReadsThem_data()
    {
        QTest::addColumn<QString>("file");
        for (const char* f : {"test_read_format_rar.rar", "test_read_format_rar_unicode.rar",
                              "test_read_format_rar5_multiple_files.rar", "test_read_format_rar5_unicode.rar",
                              "test_read_format_rar5_symlink.rar"})
            QTest::newRow(f) << QString(f);
    }
    void samplesAsBsdtarReadsThem()
    {
        QFETCH(QString, file);
        const QString d = tmp.fresh();
        QDir().mkpath(d + "/peer");
        QCOMPARE(run("bsdtar", {"-xf", sample(file), "-C", d + "/peer"}).code, 0);
        const std::unique_ptr<Archive> a = openArchive(sample(file));
        QVERIFY(a);
        QCOMPARE(a->kind(), ArchiveKind::Rar);
        // bsdtar lists a hard link with the size of its own data, none.
        const QString verbose = run("bsdtar", {"-tvf", sample(file)}).outText();
        int listed = 0;
        const QString error = a->list([&](const ArchiveEntry& e) {
            ++listed;
            const QFileInfo peer(d + "/peer/" + e.name);
            if (e.type == ArchiveEntry::File && !peer.isSymLink() && !verbose.contains(e.name + " link to ")) {
                [&] { QCOMPARE(e.size, peer.size()); }();
                // DOS times keep even seconds.
                const qint64 gap = qAbs(e.time.toSecsSinceEpoch() - peer.lastModified().toSecsSinceEpoch());
                [&] { QVERIFY2(gap <= 1, qPrintable(e.name)); }();
            }
            [&] { QVERIFY2(peer.exists() || peer.isSymLink(), qPrintable(e.name)); }();
            return true;
        });
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(listed > 0);
        ExtractRequest req;
        req.destination = d + "/ours";
        const ExtractResult r = a->extract(req);
        QVERIFY2(r.ok(), qPrintable(r.error));
        QCOMPARE(treeWithLinks(d + "/ours"), treeWithLinks(d + "/peer"));
    }

    // Hard links link, and a Unicode name survives the header record.
    void hardLinkAndUnicode()
    {
        const QString d = tmp.fresh();
        ExtractRequest req;
        req.destination = d;
        QVERIFY(openArchive(sample("test_read_format_rar5_unicode.rar"))->extract(req).ok());
        struct stat a, b;
        QCOMPARE(::lstat(QFile::encodeName(d + QString::fromUtf8("/👋🌎.txt")).constData(), &a), 0);
        QCOMPARE(::lstat(QFile::encodeName(d + QString::fromUtf8("/Ⓗⓐⓡⓓ Ⓛⓘⓝⓚ.txt")).constData(), &b), 0);
        QCOMPARE(a.st_ino, b.st_ino);
        QCOMPARE(readFile(d + QString::fromUtf8("/👋🌎.txt")), QByteArray("Hello, world!"));
    }

    // A volume set reads as one archive from any of its parts, and a part
    // alone refuses the entry that continues in the missing volume.
    void volumeSet()
    {
        const QString set = tmp.fresh();
        for (int i = 1; i <= 6; ++i) {
            const QString n = QStringLiteral("test_rar_multivolume_multiple_files.part%1.rar").arg(i);
            QVERIFY(QFile::copy(sample(n), set + "/" + n));
        }
        QMap<QString, QString> first;
        for (int part : {1, 3, 6}) {
            const QString d = tmp.fresh();
            Events ev;
            TdRar r;
            wire(r, set + QStringLiteral("/test_rar_multivolume_multiple_files.part%1.rar").arg(part), ev);
            r.TargetDirectory = d;
            QCOMPARE(r.ExtractEntries(), ERAR_END_ARCHIVE);
            QCOMPARE(ev.errors, QList<int>{ERAR_END_ARCHIVE});
            QCOMPARE(ev.extracted, (QStringList{"LibarchiveAddingTest2.html", "LibarchiveAddingTest.html"}));
            const auto t = treeWithLinks(d);
            QCOMPARE(t.size(), 2);
            QCOMPARE(readFile(d + "/LibarchiveAddingTest.html").size(), 20111);
            QVERIFY(readFile(d + "/LibarchiveAddingTest.html").trimmed().endsWith("</HTML>")
                    || readFile(d + "/LibarchiveAddingTest.html").trimmed().toLower().endsWith("</html>"));
            if (first.isEmpty())
                first = t;
            QCOMPARE(t, first);
        }
        // Old-style names (x.rar, x.r00, ...) make the same set.
        const QString old = tmp.fresh();
        QVERIFY(QFile::copy(set + "/test_rar_multivolume_multiple_files.part1.rar", old + "/m.rar"));
        for (int i = 2; i <= 6; ++i)
            QVERIFY(QFile::copy(set + QStringLiteral("/test_rar_multivolume_multiple_files.part%1.rar").arg(i),
                                old + QStringLiteral("/m.r%1").arg(i - 2, 2, 10, QLatin1Char('0'))));
        QCOMPARE(archivekind::fromName(old + "/m.r03"), ArchiveKind::Rar);
        // Only when the volumes call themselves old-style: these use the new
        // numbering, so each name is read as it stands.
        QCOMPARE(names(old + "/m.rar").size(), 2);

        const QString alone = tmp.fresh();
        QVERIFY(QFile::copy(sample("test_rar_multivolume_multiple_files.part1.rar"), alone + "/x.part1.rar"));
        const QString d = tmp.fresh();
        Events ev;
        TdRar r;
        wire(r, alone + "/x.part1.rar", ev);
        r.TargetDirectory = d;
        QCOMPARE(r.ExtractEntries(), ERAR_VOLUME_MISSING);
        QCOMPARE(ev.errors, QList<int>{ERAR_VOLUME_MISSING});
        QVERIFY(treeWithLinks(d).isEmpty());
        QVERIFY(RarArchive::messageFor(ERAR_VOLUME_MISSING, "LibarchiveAddingTest2.html").contains("LibarchiveAddingTest2.html"));
    }

    // Encrypted data: the entries before it are extracted; the encrypted one
    // gets its own code before anything is written, with or without a
    // password, and the walk ends there.
    void encryptedEntries_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("withPassword");
        QTest::newRow("rar4") << "test_read_format_rar4_encrypted.rar" << false;
        QTest::newRow("rar5") << "test_read_format_rar5_encrypted.rar" << false;
        QTest::newRow("rar4 password") << "test_read_format_rar4_encrypted.rar" << true;
        QTest::newRow("rar5 password") << "test_read_format_rar5_encrypted.rar" << true;
    }
    void encryptedEntries()
    {
        QFETCH(QString, file);
        QFETCH(bool, withPassword);
        const QString d = tmp.fresh();
        Events ev;
        TdRar r;
        wire(r, sample(file), ev);
        r.TargetDirectory = d;
        QStringList asked;
        if (withPassword)
            r.OnReqPassword = [&](TdRar*, const RARHeaderData& h, QString& pw) {
                asked << TdRar::EntryName(h);
                pw = QStringLiteral("password");
            };
        QCOMPARE(r.ExtractEntries(), ERAR_ENTRY_ENCRYPTED);
        QCOMPARE(ev.errors, QList<int>{ERAR_ENTRY_ENCRYPTED});
        QCOMPARE(ev.extracted, QStringList{"a.txt"});
        QCOMPARE(asked, withPassword ? QStringList{"b.txt"} : QStringList());
        QCOMPARE(QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"a.txt"});
        QCOMPARE(readFile(d + "/a.txt").size(), 18);
        const QString text = RarArchive::messageFor(ERAR_ENTRY_ENCRYPTED, "b.txt");
        QVERIFY(text.contains("b.txt") && text.contains("encrypted"));
    }

    // A RAR 4 solid entry past the first gets its own code before a byte is
    // written; the page's message names the entry and the reason.
    void solidEntries()
    {
        const QString f = tmp.fresh() + "/solid.rar";
        writeFile(f, rartests::solidRar4(sample("test_read_format_rar4_solid_encrypted.rar")));
        const std::unique_ptr<Archive> a = openArchive(f);
        QStringList listed;
        QList<bool> encrypted;
        QCOMPARE(a->list([&](const ArchiveEntry& e) {
            listed << e.name;
            encrypted << e.encrypted;
            return true;
        }),
                 QString());
        QCOMPARE(listed, (QStringList{"a.txt", "b.txt", "c.txt", "d.txt"}));
        QCOMPARE(encrypted, (QList<bool>{false, false, false, false}));

        const QString d = tmp.fresh();
        Events ev;
        TdRar r;
        wire(r, f, ev);
        r.TargetDirectory = d;
        r.addFileToProcess("b.txt");
        r.addFileToProcess("c.txt");
        QCOMPARE(r.ExtractEntries(), ERAR_ENTRY_SOLID);
        QCOMPARE(ev.errors, QList<int>{ERAR_ENTRY_SOLID});
        QVERIFY(ev.extracted.isEmpty());
        QCOMPARE(QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());

        // Through the backend: the message, and still nothing on disk.
        ExtractRequest req;
        req.destination = tmp.fresh();
        req.selected = [](const ArchiveEntry& e) { return e.name == "c.txt"; };
        const ExtractResult res = a->extract(req);
        QVERIFY2(res.error.contains("c.txt") && res.error.contains("solid"), qPrintable(res.error));
        QCOMPARE(QDir(req.destination).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList());
        const QString one = tmp.fresh() + "/d.txt";
        QVERIFY(a->extractEntryTo(3, one).contains("solid"));
        QVERIFY(!QFile::exists(one));
    }

    // Without folder names every file lands in the destination itself;
    // folders are not made, links are left out with a message, and a name
    // met twice is kept under the replace policy.
    void withoutFolderNames()
    {
        const QString d = tmp.fresh();
        ExtractRequest req;
        req.destination = d;
        req.folderNames = false;
        QStringList notes;
        req.note = [&](const QString& t) { notes << t; };
        const ExtractResult r = openArchive(sample("test_read_format_rar_unicode.rar"))->extract(req);
        QVERIFY2(r.ok(), qPrintable(r.error + notes.join('\n')));
        QStringList made = QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
        made.sort();
        QStringList expected{QString::fromUtf8("abcdefghijklmnopqrsテスト.txt"),
                             QString::fromUtf8("新規テキスト ドキュメント.txt"),
                             QString::fromUtf8("漢字長いファイル名long-filename-in-漢字.txt")};
        expected.sort();
        QCOMPARE(made, expected);
        QCOMPARE(readFile(d + QString::fromUtf8("/漢字長いファイル名long-filename-in-漢字.txt")).size(), 5);
        QCOMPARE(notes.size(), 1);
        QVERIFY2(notes[0].contains(QString::fromUtf8("ファイル")), qPrintable(notes[0]));

        // test.txt and testdir/test.txt meet in one name: the first stays.
        const QString e = tmp.fresh();
        writeFile(e + "/keep.txt", "mine");
        ExtractRequest twice;
        twice.destination = e;
        twice.folderNames = false;
        QStringList kept;
        twice.note = [&](const QString& t) { kept << t; };
        const ExtractResult t = openArchive(sample("test_read_format_rar.rar"))->extract(twice);
        QVERIFY2(t.ok(), qPrintable(t.error));
        QCOMPARE(t.extracted, 1);
        QCOMPARE(t.skipped, 2);
        QCOMPARE(QDir(e).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), (QStringList{"keep.txt", "test.txt"}));
        QCOMPARE(readFile(e + "/test.txt").size(), 20);
    }

    // Cancelling the password prompt stops the walk at the next header with
    // no error; what came before stays extracted.
    void cancelledPasswordStops()
    {
        const QString d = tmp.fresh();
        Events ev;
        TdRar r;
        wire(r, sample("test_read_format_rar4_encrypted.rar"), ev);
        r.TargetDirectory = d;
        r.OnReqPassword = [](TdRar* sender, const RARHeaderData&, QString& pw) {
            pw.clear();
            sender->Stop = true;
        };
        QCOMPARE(r.ExtractEntries(), ERAR_STOPPED);
        QVERIFY(ev.errors.isEmpty());
        QCOMPARE(ev.extracting, (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(QDir(d).entryList(QDir::Files), QStringList{"a.txt"});
        QVERIFY(!r.Stop);
    }

    // The walk's contract: a finished extraction reports 10 through OnError
    // and returns it; Stop from an entry event ends it after the next header
    // with 255 and no OnError; FilesToProcess picks without regard to case.
    void callOrder()
    {
        const QString d = tmp.fresh();
        Events ev;
        TdRar r;
        wire(r, sample("test_read_format_rar5_multiple_files.rar"), ev);
        r.TargetDirectory = d;
        r.addFileToProcess("TEST3.bin");
        r.addFileToProcess("test1.bin");
        r.addFileToProcess("test3.BIN");
        QCOMPARE(r.FilesToProcess(), (QStringList{"test1.bin", "TEST3.bin"}));
        QCOMPARE(r.ExtractEntries(), ERAR_END_ARCHIVE);
        QCOMPARE(ev.errors, QList<int>{ERAR_END_ARCHIVE});
        QCOMPARE(ev.extracting.size(), 4);
        QCOMPARE(ev.extracted, (QStringList{"test1.bin", "test3.bin"}));
        QCOMPARE(QDir(d).entryList(QDir::Files), (QStringList{"test1.bin", "test3.bin"}));

        Events stop;
        TdRar s;
        wire(s, sample("test_read_format_rar5_multiple_files.rar"), stop);
        s.TargetDirectory = tmp.fresh();
        s.OnExtracting = [&](TdRar* sender, const RARHeaderData& h) {
            stop.extracting << TdRar::EntryName(h);
            if (stop.extracting.size() == 2)
                sender->Stop = true;
        };
        QCOMPARE(s.ExtractEntries(), ERAR_STOPPED);
        QVERIFY(stop.errors.isEmpty());
        QCOMPARE(stop.extracted, (QStringList{"test1.bin", "test2.bin"}));

        // Listing: every entry once, then the end code.
        Events list;
        TdRar l;
        wire(l, sample("test_read_format_rar.rar"), list);
        QCOMPARE(l.ListEntries(), ERAR_END_ARCHIVE);
        QCOMPARE(list.listed, (QStringList{"test.txt", "testlink", "testdir/test.txt", "testdir", "testemptydir"}));

        // Data in blocks with the running total, without a file written.
        qint64 total = 0;
        TdRar t;
        Events tev;
        wire(t, sample("test_read_format_rar5_multiple_files.rar"), tev);
        t.OnProcessData = [&](TdRar*, const unsigned char*, int size, qint64 position) {
            total += size;
            QVERIFY(position <= 4096);
        };
        QCOMPARE(t.TestEntries(), ERAR_END_ARCHIVE);
        QCOMPARE(total, qint64(4 * 4096));
    }

    // Headers that cannot be read: encrypted names, a cut or damaged file,
    // no RAR at all, no file, no library.
    void unreadable()
    {
        for (const char* f : {"test_read_format_rar4_encrypted_filenames.rar", "test_read_format_rar5_encrypted_filenames.rar"}) {
            Events ev;
            TdRar r;
            wire(r, sample(f), ev);
            QCOMPARE(r.ListEntries(), ERAR_NAMES_ENCRYPTED);
            QVERIFY(ev.listed.isEmpty());
            QVERIFY(RarArchive::messageFor(ERAR_NAMES_ENCRYPTED, QString()).contains("encrypted"));
        }

        // The cut file: the whole entry before the cut is extracted, the
        // cut one is not, not even in part.
        const QString d = tmp.fresh();
        Events cut;
        TdRar c;
        wire(c, sample("truncated_rar5_multiple_files_700B.rar"), cut);
        c.TargetDirectory = d;
        QCOMPARE(c.ExtractEntries(), ERAR_TRUNCATED);
        QCOMPARE(cut.extracted, QStringList{"test1.bin"});
        QCOMPARE(QDir(d).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"test1.bin"});
        QCOMPARE(readFile(d + "/test1.bin").size(), 4096);

        const QString d2 = tmp.fresh();
        Events bad;
        TdRar b;
        wire(b, sample("test_read_format_rar_invalid1.rar"), bad);
        b.TargetDirectory = d2;
        const int code = b.ExtractEntries();
        QVERIFY2(code == ERAR_TRUNCATED || code == ERAR_BAD_DATA, qPrintable(QString::number(code)));
        QVERIFY(QDir(d2).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());

        // Not a RAR, and no file at all: the raw code, then the mapped one.
        const QString f = tmp.fresh();
        writeFile(f + "/fake.rar", "just text, no archive");
        Events fake;
        TdRar n;
        wire(n, f + "/fake.rar", fake);
        QCOMPARE(n.ListEntries(), ERAR_BAD_ARCHIVE);
        QCOMPARE(fake.errors, (QList<int>{ERAR_BAD_ARCHIVE, ERAR_BAD_ARCHIVE}));
        Events none;
        TdRar m;
        wire(m, f + "/missing.rar", none);
        QCOMPARE(m.ListEntries(), TdRar::ReadErrorAlt);
        QCOMPARE(none.errors, (QList<int>{ERAR_EOPEN, TdRar::ReadErrorAlt}));

        Events nolib;
        TdRar x;
        wire(x, sample("test_read_format_rar.rar"), nolib);
        x.UnrarLibPath = f;
        QCOMPARE(x.ExtractEntries(), TdRar::LibraryNotLoaded);
        QCOMPARE(nolib.errors, QList<int>{TdRar::LibraryNotLoaded});
        QCOMPARE(TdRar::MessageFor(TdRar::LibraryNotLoaded), QStringLiteral("Unable to load Unrar.Dll..."));
        QCOMPARE(TdRar::MessageFor(10), QStringLiteral("End of archive, All Done !"));
        QCOMPARE(TdRar::MessageFor(77), QStringLiteral("Unknown error !\rCode :77"));
    }

    // The archive layer's RAR backend: the replace policy, one entry to a
    // file, and the clear message for an encrypted entry.
    void backend()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/test.txt", "mine");
        writeFile(d + "/testdir/test.txt", "mine too");
        const std::unique_ptr<Archive> a = openArchive(sample("test_read_format_rar.rar"));
        ExtractRequest keep;
        keep.destination = d;
        QStringList notes;
        keep.note = [&](const QString& t) { notes << t; };
        ExtractResult r = a->extract(keep);
        QCOMPARE(r.skipped, 2);
        QCOMPARE(readFile(d + "/test.txt"), QByteArray("mine"));
        QCOMPARE(notes.size(), 2);
        QVERIFY(QFileInfo(d + "/testlink").isSymLink());

        ExtractRequest ask = keep;
        ask.replace = ReplacePolicy::Ask;
        QStringList asked;
        ask.ask = [&](const ArchiveEntry& e, const QString&) {
            asked << e.name;
            return ReplaceAnswer::NoToAll;
        };
        r = a->extract(ask);
        QCOMPARE(asked, QStringList{"test.txt"});
        QCOMPARE(readFile(d + "/testdir/test.txt"), QByteArray("mine too"));
        ExtractRequest all = keep;
        all.replace = ReplacePolicy::Always;
        QVERIFY(a->extract(all).ok());
        QCOMPARE(readFile(d + "/test.txt").size(), 20);

        // One entry to a file, for the viewers.
        const QString one = tmp.fresh() + "/view.txt";
        QCOMPARE(a->extractEntryTo(2, one), QString());
        QCOMPARE(readFile(one), readFile(d + "/testdir/test.txt"));
        QVERIFY(a->extractEntryTo(3, one).contains("not a file"));
        QVERIFY(!a->extractEntryTo(9, one).isEmpty());
        const std::unique_ptr<Archive> enc = openArchive(sample("test_read_format_rar5_encrypted.rar"));
        const QString nofile = QFileInfo(one).absolutePath() + "/b.txt";
        QVERIFY(enc->extractEntryTo(1, nofile).contains("encrypted"));
        QVERIFY(!QFile::exists(nofile));
        QCOMPARE(QDir(QFileInfo(one).absolutePath()).entryList(QDir::Files), QStringList{"view.txt"});

        // The request's own password prompt: asked once; cancelled, the run stops.
        ExtractRequest pw;
        pw.destination = tmp.fresh();
        int prompts = 0;
        pw.askPassword = [&](const ArchiveEntry&) {
            ++prompts;
            return QString();
        };
        r = enc->extract(pw);
        QCOMPARE(prompts, 1);
        QVERIFY(r.stopped);
        QCOMPARE(QDir(pw.destination).entryList(QDir::Files), QStringList{"a.txt"});
        QStringList reports;
        ExtractRequest plain;
        plain.destination = tmp.fresh();
        plain.report = [&](const QString& t) {
            reports << t;
            return true;
        };
        QVERIFY(openArchive(sample("test_read_format_rar5_multiple_files.rar"))->extract(plain).ok());
        QCOMPARE(reports, QStringList{"End of archive, All Done !"});
    }
};

QTEST_GUILESS_MAIN(TestTdRar)
#include "test_tdrar.moc"
