// Crafted archives through the unzip page and through quarn-cli: both reach
// the archive through the same layer, so both leave the same tree, and
// neither reads, writes or removes anything outside the destination.

#include "PageFixture.h"

#include "settings/AppState.h"

#include <QDirIterator>
#include <QMap>

#include <algorithm>

#include <sys/stat.h>
#include <unistd.h>

using namespace testtools;

namespace {

QString cliPath() { return QStringLiteral(QUARN_BIN_DIR "/quarn-cli"); }

// The inode of `path` (links not followed); 0 when there is nothing.
ino_t inodeOf(const QString& path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

const char* const kTarHelpers = R"(
import sys, io, tarfile, zipfile, gzip
out = sys.argv[1]
def add(t, name, typ=tarfile.REGTYPE, link='', data=b''):
    i = tarfile.TarInfo(name); i.type = typ; i.linkname = link; i.size = len(data); i.mtime = 1500000000
    t.addfile(i, io.BytesIO(data) if data else None)
)";

} // namespace

class TestUnzipHostile : public QObject {
    Q_OBJECT
    PageFixture f_;

private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(cliPath()), "quarn-cli not built");
        QVERIFY2(havePeer("python3"), "python3 is needed (scripts/setup.sh installs it)");
        QVERIFY2(havePeer("gzip"), "gzip is needed (scripts/setup.sh installs it)");
    }
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
    }
    void cleanup() { f_.finish(); }

    void sameResultFromPageAndCli_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("script");
        // Links each harmless as text that together lead out, a hard link
        // through them, and files below them and below a planted link.
        const QString chain = R"(
t = tarfile.open(out, 'w')
add(t, 'x', tarfile.SYMTYPE, '.')
prev = 'x'
for k in range(1, 31):
    add(t, 'y%d' % k, tarfile.SYMTYPE, prev + '/..'); prev = 'y%d' % k
add(t, 'pw', tarfile.LNKTYPE, prev + '/' + '../' * 30 + 'etc/passwd')
add(t, 'y30/../../victim.txt', data=b'overwritten')
add(t, 'up', tarfile.SYMTYPE, '../outside')
add(t, 'up/secret', data=b'through the link')
add(t, 'planted/secret', data=b'through the planted link')
add(t, 'ok.txt', data=b'ok')
t.close()
)";
        QTest::newRow("tar chain") << QStringLiteral("chain.tar") << chain;
        QTest::newRow("tar.gz chain") << QStringLiteral("chain.tar.gz") << chain;
        QTest::newRow("tar links made later") << QStringLiteral("later.tar") << QStringLiteral(R"(
t = tarfile.open(out, 'w')
add(t, 'y1', tarfile.SYMTYPE, 'x/..')
add(t, 'x', tarfile.SYMTYPE, '.')
add(t, 'in', tarfile.SYMTYPE, 'ok.txt')
add(t, 'ok.txt', data=b'ok')
t.close()
)");
        QTest::newRow("zip links") << QStringLiteral("links.zip") << QStringLiteral(R"(
z = zipfile.ZipFile(out, 'w')
def link(name, target):
    i = zipfile.ZipInfo(name); i.create_system = 3; i.external_attr = 0o120777 << 16
    z.writestr(i, target)
link('y1', 'x/..')
link('x', '.')
link('up', '../outside')
link('abs', '/etc')
link('good', 'docs/a.txt')
z.writestr('docs/a.txt', b'a')
z.writestr('planted/secret', b'through the planted link')
z.writestr('a*.txt', b'star')
z.close()
)");
        QTest::newRow("tar.gz size INT64_MAX") << QStringLiteral("huge.tar.gz") << QStringLiteral(R"(
t = tarfile.open(out, 'w', format=tarfile.PAX_FORMAT)
i = tarfile.TarInfo('huge'); i.size = 0; i.pax_headers = {'size': '9223372036854775807'}
t.addfile(i)
add(t, 'after.txt', data=b'after')
t.close()
)");
    }
    void sameResultFromPageAndCli()
    {
        QFETCH(QString, name);
        QFETCH(QString, script);
        const QString outside = f_.folder(QStringLiteral("outside"));
        writeFile(outside + QStringLiteral("/secret"), "secret");
        writeFile(f_.path(QStringLiteral("victim.txt")), "victim");
        const QMap<QString, QString> outsideBefore = treeWithLinks(outside);

        QString archive = f_.path(name);
        const bool gz = name.endsWith(QStringLiteral(".gz"));
        const QString made = gz ? archive.chopped(3) : archive;
        const Run crafted = python(QString::fromLatin1(kTarHelpers) + script, {made});
        QVERIFY2(crafted.code == 0, qPrintable(crafted.errText()));
        if (gz)
            QCOMPARE(run(QStringLiteral("gzip"), {QStringLiteral("-f"), made}).code, 0);

        // Each destination holds a link to the folder outside, planted before.
        const QString byPage = f_.folder(QStringLiteral("page/dest"));
        const QString byCli = f_.folder(QStringLiteral("cli/dest"));
        for (const QString& dest : {byPage, byCli})
            QVERIFY(QFile::link(outside, dest + QStringLiteral("/planted")));

        f_.open(archive);
        const int rows = f_.page->RowCount();
        if (rows > 0) {
            f_.page->UnzipListView->selectAll();
            f_.form->appState().ShowSuccessMessage = false;
            f_.page->DoUnzip(byPage);
        }
        const Run r = run(cliPath(), {QStringLiteral("extract"), archive, QStringLiteral("-d"), byCli});
        QVERIFY2(r.code >= 0, "quarn-cli did not finish");

        QCOMPARE(treeWithLinks(outside), outsideBefore);
        QCOMPARE(readFile(f_.path(QStringLiteral("victim.txt"))), QByteArray("victim"));
        const QMap<QString, QString> page = treeWithLinks(byPage), cli = treeWithLinks(byCli);
        if (name.endsWith(QStringLiteral(".zip"))) {
            // Every zip entry is a row: the page extracts what the command line does.
            QCOMPARE(page, cli);
            QCOMPARE(r.code, 0);
            QCOMPARE(cli.value(QStringLiteral("x")), QStringLiteral("link ."));
            QCOMPARE(cli.value(QStringLiteral("good")), QStringLiteral("link docs/a.txt"));
            QCOMPARE(cli.value(QStringLiteral("a*.txt")), QStringLiteral("file ") + QString::fromLatin1(QByteArray("star").toHex()));
            for (const char* refused : {"y1", "up", "abs"})
                QVERIFY2(!cli.contains(QString::fromLatin1(refused)), refused);
            return;
        }
        // A tar's rows are its files: the page writes those, the command line
        // the links too, each file the same.
        for (auto it = page.begin(); it != page.end(); ++it)
            if (it.value().startsWith(QStringLiteral("file ")))
                QCOMPARE(cli.value(it.key()), it.value());
        for (auto it = cli.begin(); it != cli.end(); ++it)
            if (it.value().startsWith(QStringLiteral("file ")) && it.key() != QStringLiteral("pw"))
                QVERIFY2(page.value(it.key()) == it.value() || rows == 0, qPrintable(it.key()));
        QVERIFY(!cli.contains(QStringLiteral("pw")));
        if (name == QStringLiteral("later.tar")) {
            QCOMPARE(cli.value(QStringLiteral("x")), QStringLiteral("link ."));
            QVERIFY(!cli.contains(QStringLiteral("y1")));
            QCOMPARE(cli.value(QStringLiteral("in")), QStringLiteral("link ok.txt"));
        } else if (name.startsWith(QStringLiteral("huge"))) {
            QVERIFY(r.code != 0);
            QVERIFY(!f_.prompter.messages.isEmpty());
            QCOMPARE(f_.prompter.messages.last().kind, PromptKind::Error);
        } else {
            QCOMPARE(r.code == 0, false);  // the refused entries fail the run
            QCOMPARE(page.value(QStringLiteral("ok.txt")), QStringLiteral("file ") + QString::fromLatin1(QByteArray("ok").toHex()));
            QVERIFY(!cli.contains(QStringLiteral("up")) || !cli.value(QStringLiteral("up")).startsWith(QStringLiteral("link")));
        }
    }

    // The other crafted cases, each through both: hard links link, pax
    // global records keep one value per key, a very deep name is walked,
    // sparse members come out whole, and a cut tar or bytes after a gzip
    // member fail after extracting what was complete.
    void damageAndSizesFromPageAndCli_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("script");
        QTest::newRow("hard links") << QStringLiteral("links.tar") << QStringLiteral(R"(
t = tarfile.open(out, 'w')
add(t, 'data', data=b'x' * 100000)
for k in range(100):
    add(t, 'l%d' % k, tarfile.LNKTYPE, 'data')
t.close()
)");
        // 150 MB of global records under 150 keys, about 150 KB once compressed.
        QTest::newRow("pax globals") << QStringLiteral("globals.tar.gz") << QStringLiteral(R"(
t = tarfile.open(out, 'w:gz', compresslevel=1, format=tarfile.GNU_FORMAT)
for k in range(150):
    body = b' x.k%d=' % k + b'v' * 1000000 + b'\n'
    n = len(body) + len(str(len(body)))
    n = len(body) + len(str(n))
    rec = str(n).encode() + body
    i = tarfile.TarInfo('pax_global_header'); i.type = tarfile.XGLTYPE; i.size = len(rec)
    t.addfile(i, io.BytesIO(rec))
add(t, 'after.txt', data=b'after')
t.close()
)");
        QTest::newRow("deep name") << QStringLiteral("deep.tar") << QStringLiteral(R"(
t = tarfile.open(out, 'w', format=tarfile.PAX_FORMAT)
add(t, 'a/' * 3000 + 'f', data=b'deep')
t.close()
)");
        QTest::newRow("sparse") << QStringLiteral("sparse.tar") << QStringLiteral(R"(
import os, subprocess
src = out + '.src'; os.makedirs(src)
f = open(src + '/holes', 'wb'); f.write(b'head'); f.seek((8 << 20) - 4); f.write(b'tail'); f.close()
subprocess.run(['tar', '--sparse', '--format=gnu', '-cf', out, '-C', src, 'holes'], check=True)
)");
        QTest::newRow("cut tar") << QStringLiteral("cut.tar") << QStringLiteral(R"(
import os
t = tarfile.open(out, 'w')
add(t, 'one', data=b'1' * 1000)
add(t, 'two', data=b'2' * 100000)
t.close()
os.truncate(out, 512 * 4 + 50000)
)");
        QTest::newRow("gzip trailing bytes") << QStringLiteral("trailing.tar.gz") << QStringLiteral(R"(
t = tarfile.open(out, 'w:gz')
add(t, 'one', data=b'1' * 1000)
t.close()
open(out, 'ab').write(b'garbage after the member')
)");
    }
    void damageAndSizesFromPageAndCli()
    {
        QFETCH(QString, name);
        QFETCH(QString, script);
        const QString archive = f_.path(name);
        const Run crafted = python(QString::fromLatin1(kTarHelpers) + script, {archive});
        QVERIFY2(crafted.code == 0, qPrintable(crafted.errText()));
        const QString byPage = f_.folder(name + QStringLiteral(".page"));
        const QString byCli = f_.folder(name + QStringLiteral(".cli"));

        f_.open(archive);
        QVERIFY2(f_.page->RowCount() > 0, qPrintable(f_.prompter.lastText()));
        f_.page->UnzipListView->selectAll();
        f_.form->appState().ShowSuccessMessage = false;
        f_.page->DoUnzip(byPage);
        // The command line's peak memory, as its parent sees it (a sanitizer
        // build told to hold little freed memory back).
        const Run r = python(QStringLiteral("import os, resource, subprocess, sys\n"
                                            "env = dict(os.environ)\n"
                                            "env['ASAN_OPTIONS'] = ':'.join(filter(None, [env.get('ASAN_OPTIONS'), "
                                            "'quarantine_size_mb=8']))\n"
                                            "c = subprocess.run(sys.argv[1:], env=env).returncode\n"
                                            "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss)\n"
                                            "sys.exit(c)\n"),
                             {cliPath(), QStringLiteral("extract"), archive, QStringLiteral("-d"), byCli});
        const qint64 peakKiB = r.outText().trimmed().toLongLong();
        QVERIFY2(peakKiB > 0 && peakKiB < 120 * 1024, qPrintable(r.outText()));
        const bool failing = name == QStringLiteral("cut.tar") || name == QStringLiteral("trailing.tar.gz");
        QVERIFY2((r.code == 0) == !failing, qPrintable(r.errText()));
        const bool pageError = std::any_of(f_.prompter.messages.begin(), f_.prompter.messages.end(),
                                           [](const auto& m) { return m.kind == PromptKind::Error; });
        QCOMPARE(pageError, failing);

        if (name == QStringLiteral("deep.tar")) {
            for (const QString& dest : {byPage, byCli}) {
                const Run found = run(QStringLiteral("find"), {dest, QStringLiteral("-name"), QStringLiteral("f"),
                                                               QStringLiteral("-type"), QStringLiteral("f"),
                                                               QStringLiteral("-size"), QStringLiteral("4c")});
                QCOMPARE(found.out.count('\n'), 1);
                // Deeper than the folder removal of the fixture reaches.
                QCOMPARE(run(QStringLiteral("rm"), {QStringLiteral("-rf"), dest}).code, 0);
            }
            return;
        }
        const QMap<QString, QString> page = treeWithLinks(byPage), cli = treeWithLinks(byCli);
        if (name == QStringLiteral("links.tar")) {
            const ino_t data = inodeOf(byCli + QStringLiteral("/data"));
            QVERIFY(data != 0);
            for (int k = 0; k < 100; ++k) {
                QCOMPARE(inodeOf(byCli + QStringLiteral("/l%1").arg(k)), data);
                const QString onPage = byPage + QStringLiteral("/l%1").arg(k);
                if (QFileInfo::exists(onPage))
                    QCOMPARE(inodeOf(onPage), inodeOf(byPage + QStringLiteral("/data")));
            }
            QCOMPARE(page.value(QStringLiteral("data")), cli.value(QStringLiteral("data")));
            return;
        }
        QCOMPARE(page, cli);
        if (name == QStringLiteral("globals.tar.gz")) {
            QCOMPARE(readFile(byCli + QStringLiteral("/after.txt")), QByteArray("after"));
        } else if (name == QStringLiteral("sparse.tar")) {
            const QByteArray holes = readFile(byCli + QStringLiteral("/holes"));
            QCOMPARE(holes.size(), qsizetype(8 << 20));
            QVERIFY(holes.startsWith("head") && holes.endsWith("tail"));
            QCOMPARE(holes.count('\0'), qsizetype((8 << 20) - 8));
        } else {
            QCOMPARE(readFile(byCli + QStringLiteral("/one")), QByteArray(1000, '1'));
            QVERIFY(!cli.contains(QStringLiteral("two")));
        }
    }
};

QTEST_MAIN(TestUnzipHostile)
#include "test_unzip_hostile.moc"
