// The archive layer through its interface, once per kind: listing,
// extraction under the replace policy, one entry to a file, and the one
// extraction policy against crafted archives (links, sparse members, cut
// and padded files).

#include "TestTools.h"
#include "archive/Archive.h"
#include "archive/GzArchive.h"
#include "archive/ZipArchive.h"

#include <QtTest>

#include <sys/stat.h>

using namespace testtools;

namespace {

struct Stat {
    bool exists = false;
    ino_t inode = 0;
    mode_t mode = 0;
    qint64 mtime = 0, size = 0, blocks = 0;
};

Stat statOf(const QString& path)
{
    struct stat st;
    Stat s;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return s;
    s.exists = true;
    s.inode = st.st_ino;
    s.mode = st.st_mode;
    s.mtime = st.st_mtime;
    s.size = st.st_size;
    s.blocks = st.st_blocks;
    return s;
}

mode_t currentUmask()
{
    const mode_t m = ::umask(0);
    ::umask(m);
    return m;
}

// Runs a python script that writes an archive with tarfile or zipfile; the
// script gets the output path as sys.argv[1].
void craft(const QString& out, const QString& script)
{
    const Run r = python("import sys, io, tarfile, zipfile, gzip\nout = sys.argv[1]\n" + script, {out});
    QVERIFY2(r.code == 0, qPrintable(r.errText()));
}

const char* const kTarHelpers = R"(
def add(t, name, typ=tarfile.REGTYPE, link='', data=b'', mode=0o644, mtime=1500000000):
    i = tarfile.TarInfo(name); i.type = typ; i.linkname = link; i.size = len(data)
    i.mode = mode; i.mtime = mtime
    t.addfile(i, io.BytesIO(data) if data else None)
)";

QString gzipped(const QString& tar)
{
    const QString gz = tar + ".gz";
    const Run r = run("sh", {"-c", "gzip -c '" + tar + "' > '" + gz + "'"});
    if (r.code != 0)
        return QString();
    return gz;
}

struct Collected {
    QStringList notes;
    ExtractResult result;
};

Collected extractAll(Archive& a, const QString& dest, ReplacePolicy policy = ReplacePolicy::Never)
{
    Collected c;
    ExtractRequest r;
    r.destination = dest;
    r.replace = policy;
    r.note = [&c](const QString& t) { c.notes << t; };
    c.result = a.extract(r);
    return c;
}

QStringList listedNames(Archive& a, QString* error = nullptr)
{
    QStringList names;
    const QString e = a.list([&](const ArchiveEntry& x) {
        names << x.name;
        return true;
    });
    if (error)
        *error = e;
    return names;
}

} // namespace

class TestArchive : public QObject {
    Q_OBJECT
    FreshFolders tmp;

private slots:
    void initTestCase()
    {
        for (const char* peer : {"tar", "gzip", "python3", "zip"})
            QVERIFY2(havePeer(peer), qPrintable(QStringLiteral("%1 is needed (scripts/setup.sh installs it)").arg(peer)));
    }

    void kindsByNameAndContent()
    {
        QCOMPARE(archivekind::fromName("a/B.TGZ"), ArchiveKind::TarGz);
        QCOMPARE(archivekind::fromName("x.tar.gz"), ArchiveKind::TarGz);
        QCOMPARE(archivekind::fromName("x.gz"), ArchiveKind::Gz);
        QCOMPARE(archivekind::fromName("x.Tar"), ArchiveKind::Tar);
        QCOMPARE(archivekind::fromName("x.zip"), ArchiveKind::Zip);
        QCOMPARE(archivekind::fromName("x.rar"), ArchiveKind::Rar);
        QCOMPARE(archivekind::fromName(".gz"), ArchiveKind::None);
        QCOMPARE(archivekind::fromName("x.gzip"), ArchiveKind::None);

        const QString d = tmp.fresh();
        writeFile(d + "/plain.txt", "hello");
        QVERIFY(run("sh", {"-c", "gzip -c '" + d + "/plain.txt' > '" + d + "/fake.zip'"}).code == 0);
        const QString why = archivekind::contentMismatch(d + "/fake.zip", ArchiveKind::Zip);
        QVERIFY2(why.contains("fake.zip") && why.contains("gzip"), qPrintable(why));
        QVERIFY(QFile::copy(d + "/fake.zip", d + "/real.gz"));
        QVERIFY(archivekind::contentMismatch(d + "/real.gz", ArchiveKind::Gz).isEmpty());
        QVERIFY(archivekind::contentMismatch(d + "/real.gz", ArchiveKind::TarGz).isEmpty());
        QCOMPARE(run("tar", {"-cf", d + "/t.tar", "plain.txt"}, d).code, 0);
        QCOMPARE(archivekind::fromContent(d + "/t.tar"), ArchiveKind::Tar);
        QVERIFY(!archivekind::contentMismatch(d + "/t.tar", ArchiveKind::Zip).isEmpty());
        QVERIFY(archivekind::contentMismatch(d + "/plain.txt", ArchiveKind::Zip).isEmpty());
    }

    // Every kind lists and extracts the same tree, replaces under each
    // policy, and writes one entry to a file.
    void everyKind_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* k : {"tar", "tar.gz", "zip", "gz"})
            QTest::newRow(k) << QString(k);
    }
    void everyKind()
    {
        QFETCH(QString, kind);
        const QString d = tmp.fresh();
        writeFile(d + "/in/docs/readme.txt", sampleData(5000, 1));
        writeFile(d + "/in/zero.txt", QByteArray());
        writeFile(d + "/in/big.bin", randomData(200000, 2));
        const QString archive = d + "/a." + kind;
        if (kind == "zip")
            QCOMPARE(run("zip", {"-qr", archive, "docs", "zero.txt", "big.bin"}, d + "/in").code, 0);
        else if (kind == "gz")
            QCOMPARE(run("sh", {"-c", "gzip -c big.bin > '" + archive + "'"}, d + "/in").code, 0);
        else
            QCOMPARE(run("tar", {kind == "tar" ? "-cf" : "-czf", archive, "docs", "zero.txt", "big.bin"}, d + "/in").code, 0);

        const std::unique_ptr<Archive> a = openArchive(archive);
        QVERIFY(a);
        QString error;
        const QStringList names = listedNames(*a, &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        if (kind == "gz")
            QCOMPARE(names, QStringList{"big.bin"});
        else
            QCOMPARE(QSet<QString>(names.begin(), names.end()),
                     QSet<QString>({"docs/", "docs/readme.txt", "zero.txt", "big.bin"}));

        const QString out = d + "/out";
        Collected c = extractAll(*a, out);
        QVERIFY2(c.result.ok(), qPrintable(c.notes.join('\n') + c.result.error));
        if (kind == "gz") {
            QCOMPARE(readFile(out + "/big.bin"), readFile(d + "/in/big.bin"));
            QCOMPARE(filesBelow(out), QStringList{"big.bin"});
        } else {
            sameFiles(d + "/in", out);
        }
        // Nothing but the files: no temporary names left beside them.
        QVERIFY(!QDir(out).entryList(QDir::Hidden | QDir::Files).join(' ').contains(".quarn-"));

        // Never keeps, Always replaces, Ask asks once with YesToAll.
        writeFile(out + "/big.bin", "mine");
        c = extractAll(*a, out, ReplacePolicy::Never);
        QCOMPARE(readFile(out + "/big.bin"), QByteArray("mine"));
        QVERIFY(c.result.skipped >= 1);
        QVERIFY(c.result.ok());
        ExtractRequest r;
        r.destination = out;
        r.replace = ReplacePolicy::Ask;
        QStringList asked;
        r.ask = [&](const ArchiveEntry& e, const QString& disk) {
            asked << e.name + " " + QFileInfo(disk).fileName();
            return ReplaceAnswer::NoToAll;
        };
        QVERIFY(a->extract(r).ok());
        QCOMPARE(asked.size(), 1);
        QCOMPARE(readFile(out + "/big.bin"), QByteArray("mine"));
        asked.clear();
        r.ask = [&](const ArchiveEntry& e, const QString&) {
            asked << e.name;
            return ReplaceAnswer::YesToAll;
        };
        QVERIFY(a->extract(r).ok());
        QCOMPARE(asked, QStringList{asked.value(0)});
        QCOMPARE(readFile(out + "/big.bin"), readFile(d + "/in/big.bin"));

        // Without folder names every file lands in the destination itself,
        // and the folders are not made.
        ExtractRequest flat;
        flat.destination = d + "/flat";
        flat.folderNames = false;
        const ExtractResult fr = a->extract(flat);
        QVERIFY2(fr.ok(), qPrintable(fr.error));
        QStringList flatFiles = filesBelow(d + "/flat");
        flatFiles.sort();
        QCOMPARE(flatFiles, kind == "gz" ? QStringList{"big.bin"} : QStringList({"big.bin", "readme.txt", "zero.txt"}));
        QVERIFY(QDir(d + "/flat").entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
        QCOMPARE(readFile(d + "/flat/big.bin"), readFile(d + "/in/big.bin"));
        if (kind != "gz")
            QCOMPARE(readFile(d + "/flat/readme.txt"), readFile(d + "/in/docs/readme.txt"));

        // One entry to a given file, and a request for what is not there.
        int index = -1;
        a->list([&](const ArchiveEntry& e) {
            if (e.name == "big.bin")
                index = e.index;
            return index < 0;
        });
        QVERIFY(index >= 0);
        QCOMPARE(a->extractEntryTo(index, d + "/one.bin"), QString());
        QCOMPARE(readFile(d + "/one.bin"), readFile(d + "/in/big.bin"));
        QVERIFY(!a->extractEntryTo(999, d + "/none.bin").isEmpty());
        QVERIFY(!QFile::exists(d + "/none.bin"));
    }

    // Links in the archive and links already in the folder never take a
    // write outside it.
    void linksNeverLeadOutside_data()
    {
        QTest::addColumn<bool>("gz");
        QTest::newRow("tar") << false;
        QTest::newRow("tar.gz") << true;
    }
    void linksNeverLeadOutside()
    {
        QFETCH(bool, gz);
        const QString d = tmp.fresh();
        writeFile(d + "/outside/secret", "secret");
        writeFile(d + "/victim.txt", "victim");
        // A chain of links each harmless as text, then a hard link and a file through it.
        craft(d + "/chain.tar", QString(kTarHelpers) + R"(
t = tarfile.open(out, 'w')
add(t, 'x', tarfile.SYMTYPE, '.')
prev = 'x'
for k in range(1, 31):
    add(t, 'y%d' % k, tarfile.SYMTYPE, prev + '/..'); prev = 'y%d' % k
add(t, 'pw', tarfile.LNKTYPE, prev + '/' + '../' * 30 + 'etc/passwd')
add(t, 'y30/../../victim.txt', data=b'overwritten')
add(t, 'abs', tarfile.SYMTYPE, '/etc')
add(t, 'up', tarfile.SYMTYPE, '../outside')
add(t, 'up/secret', data=b'through the link')
add(t, 'inside', tarfile.SYMTYPE, 'sub/../x')
add(t, 'dev', tarfile.CHRTYPE)
add(t, 'fifo', tarfile.FIFOTYPE)
t.close()
)");
        QString archive = d + "/chain.tar";
        if (gz)
            archive = gzipped(archive);
        const std::unique_ptr<Archive> a = openArchive(archive);
        const QString dest = d + "/dest";
        Collected c = extractAll(*a, dest, ReplacePolicy::Always);
        QCOMPARE(readFile(d + "/outside/secret"), QByteArray("secret"));
        QCOMPARE(readFile(d + "/victim.txt"), QByteArray("victim"));
        QVERIFY(!statOf(dest + "/pw").exists);
        QVERIFY(!statOf(dest + "/abs").exists);
        QVERIFY(!statOf(dest + "/up").exists || !S_ISLNK(statOf(dest + "/up").mode));
        QVERIFY(!statOf(dest + "/dev").exists && !statOf(dest + "/fifo").exists);
        QVERIFY(S_ISLNK(statOf(dest + "/inside").mode));
        const QString notes = c.notes.join('\n');
        QVERIFY2(notes.contains("pw skipped") && notes.contains("abs skipped") && notes.contains("dev skipped"),
                 qPrintable(notes));

        // A link to elsewhere planted in the folder before: files below it
        // are refused, with and without replacing.
        const QString planted = d + "/planted";
        QDir().mkpath(planted);
        QVERIFY(QFile::link(d + "/outside", planted + "/sub"));
        craft(d + "/below.tar", QString(kTarHelpers) + R"(
t = tarfile.open(out, 'w')
add(t, 'sub/secret', data=b'replaced')
add(t, 'sub/new', data=b'new')
add(t, 'ok', data=b'ok')
t.close()
)");
        for (const ReplacePolicy p : {ReplacePolicy::Never, ReplacePolicy::Always}) {
            const std::unique_ptr<Archive> b = openArchive(d + "/below.tar");
            c = extractAll(*b, planted, p);
            QCOMPARE(readFile(d + "/outside/secret"), QByteArray("secret"));
            QVERIFY(!QFile::exists(d + "/outside/new"));
            QCOMPARE(readFile(planted + "/ok"), QByteArray("ok"));
            QCOMPARE(c.result.failed, 2);
            QVERIFY(!c.result.ok());
        }
    }

    void zipNeverWritesThroughALink()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/outside/secret", "secret");
        craft(d + "/a.zip", R"(
z = zipfile.ZipFile(out, 'w')
z.writestr('sub/secret', b'replaced')
z.writestr('sub/deeper/new', b'new')
z.writestr('ok.txt', b'ok')
z.writestr('../up.txt', b'up')
z.close()
)");
        const QString dest = d + "/dest";
        QDir().mkpath(dest);
        QVERIFY(QFile::link(d + "/outside", dest + "/sub"));
        ZipArchive a(d + "/a.zip", QUARN_BIN_DIR);
        const Collected c = extractAll(a, dest, ReplacePolicy::Always);
        QCOMPARE(readFile(d + "/outside/secret"), QByteArray("secret"));
        QVERIFY(!QFile::exists(d + "/outside/deeper"));
        QCOMPARE(readFile(dest + "/ok.txt"), QByteArray("ok"));
        QCOMPARE(readFile(dest + "/up.txt"), QByteArray("up"));
        QVERIFY(!QFile::exists(d + "/up.txt"));
        QVERIFY2(c.notes.join('\n').contains("link"), qPrintable(c.notes.join('\n')));

        // A nested name longer than any path the system takes whole is walked
        // one folder at a time.
        craft(d + "/deep.zip", R"(
z = zipfile.ZipFile(out, 'w')
z.writestr('a/' * 3000 + 'f', b'deep')
z.close()
)");
        ZipArchive deep(d + "/deep.zip", QUARN_BIN_DIR);
        QVERIFY(extractAll(deep, d + "/deepout").result.ok());
        // The path is longer than any path the system takes whole: find walks it.
        const Run found = run("find", {d + "/deepout", "-name", "f", "-type", "f", "-size", "4c"});
        QCOMPARE(found.out.count('\n'), 1);
        QCOMPARE(run("rm", {"-rf", d + "/deepout"}).code, 0);
    }

    void hardLinksAreLinks()
    {
        const QString d = tmp.fresh();
        craft(d + "/h.tar", QString(kTarHelpers) + R"(
t = tarfile.open(out, 'w')
add(t, 'data', data=b'x' * 100000)
for k in range(100):
    add(t, 'l%d' % k, tarfile.LNKTYPE, 'data')
add(t, 'nothing', tarfile.LNKTYPE, 'missing')
t.close()
)");
        const std::unique_ptr<Archive> a = openArchive(d + "/h.tar");
        const Collected c = extractAll(*a, d + "/out");
        const ino_t data = statOf(d + "/out/data").inode;
        for (int k = 0; k < 100; ++k)
            QCOMPARE(statOf(d + "/out/l" + QString::number(k)).inode, data);
        QCOMPARE(c.result.failed, 1);
        QVERIFY(c.notes.join('\n').contains("nothing skipped"));
    }

    void timesAndModesAsGnuTar()
    {
        const QString d = tmp.fresh();
        craft(d + "/m.tar", QString(kTarHelpers) + R"(
t = tarfile.open(out, 'w')
add(t, 'dir', tarfile.DIRTYPE, mode=0o751, mtime=1400000000)
add(t, 'dir/run.sh', data=b'#!/bin/sh\n', mode=0o777, mtime=1300000000)
add(t, 'ro.txt', data=b'ro', mode=0o444, mtime=1200000000)
t.close()
)");
        const std::unique_ptr<Archive> a = openArchive(d + "/m.tar");
        QVERIFY(extractAll(*a, d + "/out").result.ok());
        const mode_t mask = currentUmask();
        QCOMPARE(statOf(d + "/out/dir/run.sh").mode & 07777, 0777 & ~mask);
        QCOMPARE(statOf(d + "/out/dir/run.sh").mtime, 1300000000);
        QCOMPARE(statOf(d + "/out/ro.txt").mode & 07777, 0444 & ~mask);
        QCOMPARE(statOf(d + "/out/ro.txt").mtime, 1200000000);
        QCOMPARE(statOf(d + "/out/dir").mode & 07777, 0751 & ~mask);
        QCOMPARE(statOf(d + "/out/dir").mtime, 1400000000);
    }

    void sparseMembers_data()
    {
        QTest::addColumn<QStringList>("options");
        QTest::newRow("gnu") << QStringList{"--format=gnu"};
        QTest::newRow("pax 0.0") << QStringList{"--format=pax", "--sparse-version=0.0"};
        QTest::newRow("pax 0.1") << QStringList{"--format=pax", "--sparse-version=0.1"};
        QTest::newRow("pax 1.0") << QStringList{"--format=pax", "--sparse-version=1.0"};
    }
    void sparseMembers()
    {
        QFETCH(QStringList, options);
        const QString d = tmp.fresh();
        QDir().mkpath(d + "/in");
        // 8 MiB with data at the start, in the middle and at the end.
        QCOMPARE(run("sh", {"-c", "printf start > s; truncate -s 8M s; printf middle | dd of=s bs=1 seek=4000000 "
                                  "conv=notrunc 2>/dev/null; printf end | dd of=s bs=1 seek=8388605 conv=notrunc "
                                  "2>/dev/null; truncate -s 12M hole"},
                     d + "/in")
                     .code,
                 0);
        QCOMPARE(run("tar", QStringList{"-S", "-cf", d + "/s.tar"} + options + QStringList{"s", "hole"}, d + "/in").code, 0);
        for (const QString& archive : {d + "/s.tar", gzipped(d + "/s.tar")}) {
            const std::unique_ptr<Archive> a = openArchive(archive);
            QMap<QString, qint64> sizes;
            QString error = a->list([&](const ArchiveEntry& e) {
                sizes[e.name] = e.size;
                return true;
            });
            QVERIFY2(error.isEmpty(), qPrintable(error));
            QCOMPARE(sizes.value("s"), qint64(8 << 20));
            QCOMPARE(sizes.value("hole"), qint64(12 << 20));
            const QString out = d + "/out" + QString::number(archive.size());
            const Collected c = extractAll(*a, out);
            QVERIFY2(c.result.ok(), qPrintable(c.notes.join('\n') + c.result.error));
            QCOMPARE(filesBelow(out).size(), 2);
            QVERIFY(readFile(out + "/s") == readFile(d + "/in/s"));
            QCOMPARE(statOf(out + "/hole").size, qint64(12 << 20));
            QVERIFY(statOf(out + "/hole").blocks < 64);
            QCOMPARE(a->extractEntryTo(0, d + "/one"), QString());
            QVERIFY(readFile(d + "/one") == readFile(d + "/in/s"));
        }
    }

    void cutShortAndTrailingBytes()
    {
        const QString d = tmp.fresh();
        writeFile(d + "/in/a.txt", sampleData(3000, 5));
        writeFile(d + "/in/b.txt", sampleData(3000, 6));
        QCOMPARE(run("tar", {"-cf", d + "/t.tar", "a.txt", "b.txt"}, d + "/in").code, 0);
        const QByteArray tar = readFile(d + "/t.tar");
        // Cut inside the second header, and inside the second file's data.
        writeFile(d + "/header.tar", tar.left(3584 + 200));
        writeFile(d + "/data.tar", tar.left(3584 + 512 + 1000));
        for (const QString name : {"header.tar", "data.tar"}) {
            for (const QString& archive : {d + "/" + name, gzipped(d + "/" + name)}) {
                const std::unique_ptr<Archive> a = openArchive(archive);
                QString error;
                listedNames(*a, &error);
                QVERIFY2(error.contains("end"), qPrintable(archive + ": " + error));
                const QString out = d + "/o_" + QFileInfo(archive).fileName();
                const Collected c = extractAll(*a, out);
                QVERIFY(!c.result.ok());
                QVERIFY(!c.result.error.isEmpty());
                // What was complete is there; nothing half-written is.
                QCOMPARE(readFile(out + "/a.txt"), readFile(d + "/in/a.txt"));
                QCOMPARE(filesBelow(out), QStringList{"a.txt"});
            }
        }

        // A gzip stream followed by other bytes: an error, after the data.
        const QString tgz = gzipped(d + "/t.tar");
        writeFile(d + "/trail.tar.gz", readFile(tgz) + "garbage");
        writeFile(d + "/zeros.tar.gz", readFile(tgz) + QByteArray(1000, '\0'));
        QVERIFY(openArchive(d + "/zeros.tar.gz")->list([](const ArchiveEntry&) { return true; }).isEmpty());
        const std::unique_ptr<Archive> t = openArchive(d + "/trail.tar.gz");
        QVERIFY(t->list([](const ArchiveEntry&) { return true; }).contains("bytes after"));
        QCOMPARE(run("sh", {"-c", "gzip -n -c a.txt > '" + d + "/one.gz'"}, d + "/in").code, 0);
        writeFile(d + "/trail.gz", readFile(d + "/one.gz") + "junk");
        GzArchive g(d + "/trail.gz");
        Collected c = extractAll(g, d + "/gzout");
        QVERIFY(c.result.error.contains("bytes after"));
        QCOMPARE(readFile(d + "/gzout/trail"), readFile(d + "/in/a.txt"));

        // A damaged gzip file leaves the file it would replace as it was.
        QByteArray cut = readFile(d + "/one.gz");
        cut.chop(30);
        writeFile(d + "/cut.gz", cut);
        writeFile(d + "/gzout/cut", "keep me");
        GzArchive damaged(d + "/cut.gz");
        c = extractAll(damaged, d + "/gzout", ReplacePolicy::Always);
        QVERIFY(c.result.error.contains("damaged"));
        QCOMPARE(readFile(d + "/gzout/cut"), QByteArray("keep me"));
        QCOMPARE(QDir(d + "/gzout").entryList(QDir::Files | QDir::Hidden).size(), 2);
    }

    // Symbolic links follow one rule in every kind that holds them: made
    // after every other entry, and only when the target, resolved as text
    // from where the link lands, stays inside and passes through no link,
    // also one the same archive makes later.
    void symLinksFollowOneRule_data()
    {
        QTest::addColumn<QString>("kind");
        for (const char* k : {"tar", "tar.gz", "zip"})
            QTest::newRow(k) << QString(k);
    }
    void symLinksFollowOneRule()
    {
        QFETCH(QString, kind);
        const QString d = tmp.fresh();
        writeFile(d + "/outside/secret", "secret");
        // (name, target) in stored order; "data" files are plain entries.
        const QString links = R"(
entries = [('y1', 'x/..'), ('x', '.'), ('docs/readme.txt', None), ('good', 'docs/readme.txt'),
           ('docs/up', '../good'), ('out', '../outside'), ('abs', '/etc'), ('via', 'good/../..'),
           ('later', 'docs/l2/../..'), ('docs/l2', 'sub')]
)";
        if (kind == "zip")
            craft(d + "/l.zip", links + R"(
z = zipfile.ZipFile(out, 'w')
for name, target in entries:
    if target is None:
        z.writestr(name, b'read me')
        continue
    i = zipfile.ZipInfo(name); i.create_system = 3; i.external_attr = 0o120777 << 16
    z.writestr(i, target)
z.close()
)");
        else
            craft(d + "/l.tar", QString(kTarHelpers) + links + R"(
t = tarfile.open(out, 'w')
for name, target in entries:
    if target is None: add(t, name, data=b'read me')
    else: add(t, name, tarfile.SYMTYPE, target)
t.close()
)");
        QString archive = d + (kind == "zip" ? "/l.zip" : "/l.tar");
        if (kind == "tar.gz")
            archive = gzipped(archive);
        std::unique_ptr<Archive> a = kind == "zip" ? std::make_unique<ZipArchive>(archive, QUARN_BIN_DIR) : openArchive(archive);
        int listedLinks = 0;
        a->list([&](const ArchiveEntry& e) {
            listedLinks += e.type == ArchiveEntry::SymLink;
            return true;
        });
        QCOMPARE(listedLinks, 9);
        const QString dest = d + "/dest";
        const Collected c = extractAll(*a, dest);
        const QString notes = c.notes.join('\n');
        QCOMPARE(readFile(dest + "/docs/readme.txt"), QByteArray("read me"));
        for (const char* made : {"x", "good", "docs/up", "docs/l2"})
            QVERIFY2(S_ISLNK(statOf(dest + "/" + made).mode), made);
        QCOMPARE(QFile::symLinkTarget(dest + "/good"), QFileInfo(dest + "/docs/readme.txt").absoluteFilePath());
        QCOMPARE(readFile(dest + "/docs/up"), QByteArray("read me"));
        for (const char* refused : {"y1", "out", "abs", "via", "later"}) {
            QVERIFY2(!statOf(dest + "/" + refused).exists, refused);
            QVERIFY2(notes.contains(QString(refused) + " skipped"), qPrintable(notes));
        }
        QCOMPARE(readFile(d + "/outside/secret"), QByteArray("secret"));
    }

    // The zip backend hands each selected entry to the engine by its own
    // name: "*" and "?" in a name are no pattern.
    void zipNamesAreNoPatterns()
    {
        const QString d = tmp.fresh();
        craft(d + "/w.zip", R"(
z = zipfile.ZipFile(out, 'w')
for n in ['a*.txt', 'ab.txt', 'a?c', 'abc', 'docs/*', 'docs/x']:
    z.writestr(n, n.encode())
z.close()
)");
        ZipArchive a(d + "/w.zip", QUARN_BIN_DIR);
        ExtractRequest r;
        r.destination = d + "/out";
        const QStringList wanted{"a*.txt", "a?c", "docs/*"};
        r.selected = [&](const ArchiveEntry& e) { return wanted.contains(e.name); };
        const ExtractResult res = a.extract(r);
        QVERIFY(res.ok());
        QCOMPARE(res.extracted, 3);
        QStringList got = filesBelow(d + "/out");
        got.sort();
        QCOMPARE(got, (QStringList{"a*.txt", "a?c", "docs/*"}));
        QCOMPARE(readFile(d + "/out/a?c"), QByteArray("a?c"));
    }

    // Small files are written on worker threads: a name asked about, a path
    // through a file and a hard link still see the entries before them on
    // disk, and the outcome is the same as on one thread.
    void writersKeepTheEntriesOrder()
    {
        const QString d = tmp.fresh();
        craft(d + "/w.tar", QString(kTarHelpers) + R"(
t = tarfile.open(out, 'w')
for k in range(300):
    add(t, 'd%d/f%d' % (k % 7, k), data=(b'%d:' % k) * (50 + k * 13))
add(t, 'd0/f0', data=b'second copy')
add(t, 'd1/f1/under', data=b'below a file')
add(t, 'hard', tarfile.LNKTYPE, 'd5/f299')
t.close()
)");
        const QString gz = gzipped(d + "/w.tar");
        QVERIFY(!gz.isEmpty());
        const QByteArray before = qgetenv("QUARN_EXTRACT_THREADS");
        for (const char* threads : {"4", "1"}) {
            qputenv("QUARN_EXTRACT_THREADS", threads);
            const QString dest = d + "/out" + threads;
            const std::unique_ptr<Archive> a = openArchive(gz);
            Collected c;
            QStringList asked;
            ExtractRequest r;
            r.destination = dest;
            r.replace = ReplacePolicy::Ask;
            r.ask = [&](const ArchiveEntry& e, const QString& file) {
                asked << e.name + "=" + QString::fromLatin1(readFile(file).left(3));
                return ReplaceAnswer::Yes;
            };
            r.note = [&c](const QString& t) { c.notes << t; };
            c.result = a->extract(r);
            QCOMPARE(asked, QStringList{"d0/f0=0:0"});
            QCOMPARE(c.result.extracted, 302);
            QCOMPARE(c.result.failed, 1);
            QVERIFY(c.notes.join('\n').contains("d1/f1/under skipped"));
            QCOMPARE(readFile(dest + "/d0/f0"), QByteArray("second copy"));
            for (int k = 1; k < 300; ++k)
                QCOMPARE(readFile(dest + QString("/d%1/f%2").arg(k % 7).arg(k)), QByteArray::number(k).append(':').repeated(50 + k * 13));
            QCOMPARE(statOf(dest + "/hard").inode, statOf(dest + "/d5/f299").inode);
            QCOMPARE(statOf(dest + "/d3/f3").mtime, 1500000000);
            QCOMPARE(statOf(dest + "/d3/f3").mode & 07777, 0644 & ~currentUmask());
            QCOMPARE(filesBelow(dest).size(), 301);
        }
        qputenv("QUARN_EXTRACT_THREADS", before);
    }

    void cancelStopsTheRun()
    {
        const QString d = tmp.fresh();
        for (int i = 0; i < 5; ++i)
            writeFile(d + "/in/f" + QString::number(i), "x");
        QCOMPARE(run("tar", {"-cf", d + "/t.tar", "f0", "f1", "f2", "f3", "f4"}, d + "/in").code, 0);
        const std::unique_ptr<Archive> a = openArchive(d + "/t.tar");
        ExtractRequest r;
        r.destination = d + "/out";
        r.progress = [](int done, qint64) { return done < 2; };
        const ExtractResult res = a->extract(r);
        QVERIFY(res.stopped);
        QCOMPARE(res.extracted, 2);
        QCOMPARE(filesBelow(d + "/out").size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "test_archive.moc"
