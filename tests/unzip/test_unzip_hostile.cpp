// Crafted archives through the unzip page and through quarn-cli: both reach
// the archive through the same layer, so both leave the same tree, and
// neither reads, writes or removes anything outside the destination.

#include "PageFixture.h"

#include "settings/AppState.h"

#include <QDirIterator>
#include <QMap>

#include <sys/stat.h>
#include <unistd.h>

using namespace testtools;

namespace {

QString cliPath() { return QStringLiteral(QUARN_BIN_DIR "/quarn-cli"); }

// Every entry below `root`, links not followed: a file's contents, a
// link's target, or a folder mark.
QMap<QString, QString> treeOf(const QString& root)
{
    QMap<QString, QString> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString p = it.next();
        struct stat st;
        if (::lstat(QFile::encodeName(p).constData(), &st) != 0)
            continue;
        const QString rel = QDir(root).relativeFilePath(p);
        if (S_ISLNK(st.st_mode)) {
            char target[4096];
            const ssize_t n = ::readlink(QFile::encodeName(p).constData(), target, sizeof target);
            tree[rel] = QStringLiteral("link ") + QFile::decodeName(QByteArray(target, int(qMax<ssize_t>(0, n))));
        }
        else if (S_ISDIR(st.st_mode))
            tree[rel] = QStringLiteral("folder");
        else if (S_ISREG(st.st_mode))
            tree[rel] = QStringLiteral("file ") + QString::fromLatin1(readFile(p).toHex());
        else
            tree[rel] = QStringLiteral("other");
    }
    return tree;
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
        const QMap<QString, QString> outsideBefore = treeOf(outside);

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

        QCOMPARE(treeOf(outside), outsideBefore);
        QCOMPARE(readFile(f_.path(QStringLiteral("victim.txt"))), QByteArray("victim"));
        const QMap<QString, QString> page = treeOf(byPage), cli = treeOf(byCli);
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
};

QTEST_MAIN(TestUnzipHostile)
#include "test_unzip_hostile.moc"
