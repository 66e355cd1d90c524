// The libarchive backend: archives made by the real tools (7z, tar with
// xz, bzip2, zstd and lz4, single compressed files, cpio, ar) extract to the
// same bytes, under the one extraction policy (links, replace, cut files),
// one entry goes to a file, and encrypted 7z archives say so; quarn-cli
// lists and extracts them and the RAR samples.

#include "TestTools.h"
#include "archive/Archive.h"

#include <QtTest>

using namespace testtools;

namespace {

QString cliPath() { return QStringLiteral(QUARN_BIN_DIR "/quarn-cli"); }

void makeSource(const QString& root)
{
    writeFile(root + "/a.txt", "hello\n");
    writeFile(root + "/sub/b.bin", randomData(200000, 7));
    writeFile(root + "/sub/deeper/c.txt", sampleData(30000, 8));
    QVERIFY(QFile::link("a.txt", root + "/link"));
}

ExtractResult extractTo(const QString& archive, const QString& dest, QStringList* notes = nullptr)
{
    const std::unique_ptr<Archive> a = openArchive(archive);
    if (!a)
        return ExtractResult{0, 0, 0, false, "no backend"};
    ExtractRequest r;
    r.destination = dest;
    r.note = [notes](const QString& t) {
        if (notes)
            *notes << t;
    };
    return a->extract(r);
}

} // namespace

class TestLibarchive : public QObject {
    Q_OBJECT
    FreshFolders tmp;

private slots:
    void initTestCase()
    {
        for (const char* peer : {"7z", "tar", "xz", "bzip2", "zstd", "lz4", "bsdtar", "python3"})
            QUARN_REQUIRE_PEER(peer);
    }

    void toolsArchivesExtractAlike_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("command"); // run in the source folder; OUT is the archive
        QTest::newRow("7z") << "t.7z" << "7z a -bso0 -bsp0 OUT .";
        QTest::newRow("tar.xz") << "t.tar.xz" << "tar -cJf OUT .";
        QTest::newRow("txz") << "t.txz" << "tar -cJf OUT .";
        QTest::newRow("tar.bz2") << "t.tar.bz2" << "tar -cjf OUT .";
        QTest::newRow("tbz2") << "t.tbz2" << "tar -cjf OUT .";
        QTest::newRow("tar.zst") << "t.tar.zst" << "tar --zstd -cf OUT .";
        QTest::newRow("tar.lz4") << "t.tar.lz4" << "tar -cf - . | lz4 -q > OUT";
        QTest::newRow("tar.lzma") << "t.tar.lzma" << "tar --lzma -cf OUT .";
        QTest::newRow("cpio") << "t.cpio" << "bsdtar --format cpio -cf OUT .";
        QTest::newRow("iso") << "t.iso" << "bsdtar --format iso9660 -cf OUT .";
    }
    void toolsArchivesExtractAlike()
    {
        QFETCH(QString, name);
        QFETCH(QString, command);
        const QString d = tmp.fresh();
        makeSource(d + "/src");
        const QString archive = d + "/" + name;
        QCOMPARE(run("sh", {"-c", QString(command).replace("OUT", "'" + archive + "'")}, d + "/src").code, 0);
        QCOMPARE(archivekind::fromName(archive), ArchiveKind::Other);
        QStringList notes;
        const ExtractResult r = extractTo(archive, d + "/out", &notes);
        QVERIFY2(r.ok(), qPrintable(r.error + notes.join('\n')));
        if (name.endsWith(".iso")) {
            // iso9660 keeps no links here; the files are what matters.
            sameFiles(d + "/src", d + "/out");
            return;
        }
        QCOMPARE(treeWithLinks(d + "/out"), treeWithLinks(d + "/src"));
    }

    void singleCompressedFiles_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("tool");
        QTest::newRow("xz") << ".xz" << "xz -c";
        QTest::newRow("bz2") << ".bz2" << "bzip2 -c";
        QTest::newRow("zst") << ".zst" << "zstd -q -c";
        QTest::newRow("lz4") << ".lz4" << "lz4 -q -c";
        QTest::newRow("lzma") << ".lzma" << "xz --format=lzma -c";
    }
    void singleCompressedFiles()
    {
        QFETCH(QString, ending);
        QFETCH(QString, tool);
        const QString d = tmp.fresh();
        const QByteArray data = sampleData(300000, 11) + randomData(5000, 12);
        writeFile(d + "/notes.txt", data);
        const QString packed = d + "/notes.txt" + ending;
        QCOMPARE(run("sh", {"-c", tool + " notes.txt > 'notes.txt" + ending + "'"}, d).code, 0);
        QStringList names;
        QVERIFY(openArchive(packed)->list([&](const ArchiveEntry& e) {
            names << e.name;
            return true;
        }).isEmpty());
        QCOMPARE(names, QStringList{"notes.txt"});
        QVERIFY(extractTo(packed, d + "/out").ok());
        QCOMPARE(readFile(d + "/out/notes.txt"), data);
        // One entry to a file.
        QCOMPARE(openArchive(packed)->extractEntryTo(0, d + "/one"), QString());
        QCOMPARE(readFile(d + "/one"), data);

        // Cut short: a clear failure and no file, not a part of one.
        QFile f(packed);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.resize(f.size() / 2));
        f.close();
        const ExtractResult cut = extractTo(packed, d + "/cut");
        QVERIFY(!cut.ok());
        QVERIFY(!cut.error.isEmpty());
        QVERIFY(filesBelow(d + "/cut").isEmpty());
    }

    // The policy holds for these kinds too: a link out of the folder is not
    // made, existing files are kept, a damaged member leaves no file.
    void policyHolds()
    {
        const QString d = tmp.fresh();
        const Run made = python(R"(
import sys, io, tarfile
with tarfile.open(sys.argv[1], 'w:xz') as t:
    def add(name, typ=tarfile.REGTYPE, link='', data=b''):
        i = tarfile.TarInfo(name); i.type = typ; i.linkname = link; i.size = len(data)
        t.addfile(i, io.BytesIO(data) if data else None)
    add('escape', tarfile.SYMTYPE, '../../outside')
    add('../up.txt', data=b'up')
    add('keep.txt', data=b'new')
)", {d + "/bad.tar.xz"});
        QVERIFY2(made.code == 0, qPrintable(made.errText()));
        writeFile(d + "/out/keep.txt", "old");
        QStringList notes;
        const ExtractResult r = extractTo(d + "/bad.tar.xz", d + "/out", &notes);
        QVERIFY(r.error.isEmpty());
        QVERIFY(!QFileInfo(d + "/out/escape").exists() && !QFileInfo(d + "/out/escape").isSymLink());
        QCOMPARE(readFile(d + "/out/up.txt"), QByteArray("up"));
        QVERIFY(!QFile::exists(d + "/up.txt"));
        QCOMPARE(readFile(d + "/out/keep.txt"), QByteArray("old"));
        QVERIFY(notes.join('\n').contains("escape"));
    }

    // Encrypted 7z: data only, and names too. Nothing is written.
    void encrypted7z()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/secret.txt", "top secret");
        QCOMPARE(run("7z", {"a", "-bso0", "-pSecret", d + "/data.7z", "secret.txt"}, d).code, 0);
        QCOMPARE(run("7z", {"a", "-bso0", "-pSecret", "-mhe=on", d + "/names.7z", "secret.txt"}, d).code, 0);
        for (const char* n : {"data.7z", "names.7z"}) {
            const ExtractResult r = extractTo(d + "/" + n, d + "/out");
            QVERIFY2(r.error.contains("encrypted"), qPrintable(r.error));
            QVERIFY(filesBelow(d + "/out").isEmpty());
        }
    }

    // quarn-cli reads the new kinds: list lines, extract, and exit 1 with
    // the message for what it cannot unpack.
    void cli()
    {
        const QString d = tmp.fresh();
        makeSource(d + "/src");
        QCOMPARE(run("7z", {"a", "-bso0", d + "/t.7z", "."}, d + "/src").code, 0);
        Run r = run(cliPath(), {"list", d + "/t.7z"});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.outText().contains("200000\t") && r.outText().contains("\tsub/b.bin\n"), qPrintable(r.outText()));
        r = run(cliPath(), {"extract", d + "/t.7z", "-d", d + "/out", "sub"});
        QCOMPARE(r.code, 0);
        QCOMPARE(readFile(d + "/out/sub/b.bin"), readFile(d + "/src/sub/b.bin"));
        QVERIFY(!QFile::exists(d + "/out/a.txt"));

        const QString samples = QStringLiteral(QUARN_SOURCE_DIR "/tests/rar/data/");
        r = run(cliPath(), {"list", samples + "test_read_format_rar5_multiple_files.rar"});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.outText().count('\n'), 4);
        QVERIFY(r.outText().startsWith("4096\t"));
        r = run(cliPath(), {"extract", samples + "test_read_format_rar4_encrypted.rar", "-d", d + "/rar"});
        QCOMPARE(r.code, 1);
        QVERIFY2(r.errText().contains("b.txt is encrypted"), qPrintable(r.errText()));
        QCOMPARE(filesBelow(d + "/rar"), QStringList{"a.txt"});
        r = run(cliPath(), {"list", samples + "test_read_format_rar5_encrypted_filenames.rar"});
        QCOMPARE(r.code, 1);
        QVERIFY(r.errText().contains("encrypted"));

        // The kinds it only reads are never written, not even as a zip under their name.
        r = run(cliPath(), {"create", d + "/new.7z", d + "/src"});
        QCOMPARE(r.code, 2);
        QVERIFY2(r.errText().contains("create writes zip, tar, tar.gz and gz archives only"), qPrintable(r.errText()));
        QVERIFY(!QFile::exists(d + "/new.7z"));
        const QByteArray before = readFile(d + "/t.7z");
        for (const QStringList& cmd : {QStringList{"add", d + "/t.7z", d + "/src"}, QStringList{"delete", d + "/t.7z", "a.txt"},
                                       QStringList{"test", samples + "test_read_format_rar.rar"},
                                       QStringList{"create", d + "/new.rar", d + "/src"}}) {
            r = run(cliPath(), cmd);
            QVERIFY2(r.code == 2, qPrintable(cmd.join(' ') + ": " + r.errText()));
        }
        QCOMPARE(readFile(d + "/t.7z"), before);
        QVERIFY(!QFile::exists(d + "/new.rar"));
    }
};

QTEST_GUILESS_MAIN(TestLibarchive)
#include "test_libarchive.moc"
