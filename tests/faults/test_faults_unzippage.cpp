// The unzip page's UNZIP with every file operation failed in turn, for each
// kind it extracts: a zip through the window's engine (on one thread and on
// several), tar, tar.gz, gz, a kind read through libarchive, and RAR; each
// over a folder that already holds one of the files, replaced after the
// page's question. Each time the archive stays byte for byte, every file on
// disk is one that was there before, untouched, or a complete entry; no
// temporary file is left; what was not extracted was said, and the success
// message comes only when everything was extracted.

#include "../unzip/PageFixture.h"
#include "FaultChecks.h"
#include "FaultInjection.h"

#include <QPushButton>

using namespace testtools;

class TestFaultsUnzipPage : public QObject {
    Q_OBJECT
    PageFixture f_;

    // A new folder for one test's archive and destination.
    QString fresh(const char* name) { return f_.folder(QString::fromLatin1(name)); }

    // OPEN on `archive`, every row highlighted.
    void openAll(const QString& archive)
    {
        f_.open(archive);
        f_.page->UnzipListView->selectAll();
        f_.prompter.clear();
    }

    // UNZIP of the listed `archive` into `folder`/out, failing each call
    // below `folder` in turn, with the destination emptied but for
    // `existing` before each run; `answer` queues the answers to the replace
    // questions. `threads` sets QUARN_UNZIP_THREADS ("" for the default).
    void everyCallUnzipping(const QString& folder, const QString& archive, const QMap<QString, QByteArray>& want,
                            const QMap<QString, QByteArray>& existing, PromptButton answer,
                            const QByteArray& threads = QByteArray("1"))
    {
        if (threads.isEmpty())
            qunsetenv("QUARN_UNZIP_THREADS");
        else
            qputenv("QUARN_UNZIP_THREADS", threads);
        const QString dest = folder + QStringLiteral("/out");
        const QByteArray archiveBytes = readFile(archive);
        const QString done = success(QFileInfo(archive).fileName(), dest);
        f_.prompter.failOnUnexpected = false;
        const long total = faults::everyCall(
            folder,
            [&] {
                f_.prompter.clear();
                faultchecks::refill(dest, existing);
            },
            [&] {
                f_.prompter.answerFolder(dest);
                f_.prompter.answer(answer);
                f_.page->UnzipButton->click();
            },
            [&](long n) {
                // What was said: every message but the replace questions and the success message.
                bool said = false, succeeded = false;
                for (const RecordedMessage& m : f_.prompter.messages) {
                    succeeded = succeeded || m.text == done;
                    said = said || (m.text != done && m.buttons != PromptButtons::YesNoAll &&
                                    m.buttons != PromptButtons::YesNo);
                }
                const QString which = faultchecks::describe(n, f_.prompter.texts()) + QStringLiteral(" threads ") +
                                      QString::fromLatin1(threads.isEmpty() ? "default" : threads);
                QVERIFY2(readFile(archive) == archiveBytes, qPrintable(which + QStringLiteral(": archive changed")));
                faultchecks::checkExtracted(which, dest, want, existing, {}, said);
                if (succeeded) {
                    const QMap<QString, QByteArray> now = snapshot(dest);
                    for (auto it = want.begin(); it != want.end(); ++it)
                        QVERIFY2(now.value(it.key()) == it.value(),
                                 qPrintable(which + QStringLiteral(": success said, ") + it.key() + QStringLiteral(" missing")));
                }
            });
        qInfo("%s: %ld calls failed in turn, threads %s", QTest::currentTestFunction(), total,
              threads.isEmpty() ? "default" : threads.constData());
        qunsetenv("QUARN_UNZIP_THREADS");
        f_.prompter.clear();
        f_.prompter.failOnUnexpected = true;
        QVERIFY2(total > 3, qPrintable(QString::number(total)));
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
    }
    void cleanup() { f_.finish(); }

    // Through the window's engine, its replace question answered Yes to
    // All: one entry over the size inflated whole; on one thread, then on
    // the default ones.
    void zip()
    {
        const QString d = fresh("zip");
        const QString zip = d + QStringLiteral("/in.zip");
        const QMap<QString, QByteArray> want = faultchecks::makeArchive(zip, QStringLiteral(R"(
files['a.txt'] = text(30000, 1)
files['sub/b.txt'] = text(20000, 2)
files['sub/deeper/c.bin'] = bytes(9 << 20) + text(5000, 3)
for i in range(6): files['many/n%d.txt' % i] = text(3000 + 97 * i, 10 + i)
z = zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED)
for k in sorted(files): z.writestr(k, files[k])
z.close()
)"));
        QVERIFY(!want.isEmpty());
        openAll(zip);
        const QMap<QString, QByteArray> existing{{QStringLiteral("sub/b.txt"), QByteArray("an older b")}};
        everyCallUnzipping(d, zip, want, existing, PromptButton::YesToAll);
        if (QTest::currentTestFailed())
            return;
        everyCallUnzipping(d, zip, want, existing, PromptButton::YesToAll, QByteArray());
    }

    // tar and tar.gz, read through the archive layer, a folder entry among the files.
    void tarAndTarGz()
    {
        for (const char* kind : {"tar", "tar.gz"}) {
            const QString d = fresh(kind);
            const QString archive = d + QStringLiteral("/in.") + QLatin1String(kind);
            const QMap<QString, QByteArray> want = faultchecks::makeArchive(archive, QStringLiteral(R"(
files['a.txt'] = text(30000, 1)
files['sub/b.txt'] = text(20000, 2)
files['sub/c.txt'] = text(600, 3)
t = tarfile.open(out, 'w:gz' if out.endswith('.gz') else 'w')
d = tarfile.TarInfo('sub'); d.type = tarfile.DIRTYPE; d.mtime = 1500000000; t.addfile(d)
for k in sorted(files):
    i = tarfile.TarInfo(k); i.size = len(files[k]); i.mtime = 1500000000
    t.addfile(i, io.BytesIO(files[k]))
t.close()
)"));
            QVERIFY(!want.isEmpty());
            f_.newForm();
            openAll(archive);
            everyCallUnzipping(d, archive, want, {{QStringLiteral("sub/b.txt"), QByteArray("old b")}},
                               PromptButton::YesToAll);
            if (QTest::currentTestFailed())
                return;
        }
    }

    // A gzip file: its one file replaces the one on disk after the question.
    void gz()
    {
        QUARN_REQUIRE_PEER(QStringLiteral("gzip"));
        const QString d = fresh("gz");
        const QByteArray data = sampleData(300000, 9);
        writeFile(d + QStringLiteral("/notes.txt"), data);
        QCOMPARE(run(QStringLiteral("gzip"), {QStringLiteral("-n"), d + QStringLiteral("/notes.txt")}).code, 0);
        const QString archive = d + QStringLiteral("/notes.txt.gz");
        openAll(archive);
        everyCallUnzipping(d, archive, {{QStringLiteral("notes.txt"), data}},
                           {{QStringLiteral("notes.txt"), QByteArray("old")}}, PromptButton::Yes);
    }

    // A 7z archive, read through libarchive.
    void sevenZip()
    {
        QUARN_REQUIRE_PEER(QStringLiteral("7z"));
        const QString d = fresh("7z");
        const QString archive = d + QStringLiteral("/in.7z");
        const QMap<QString, QByteArray> want = faultchecks::makeSevenZip(archive, fresh("7z-src"));
        QVERIFY(!want.isEmpty());
        openAll(archive);
        everyCallUnzipping(d, archive, want, {{QStringLiteral("a.txt"), QByteArray("old")}}, PromptButton::YesToAll);
    }

    // A RAR 5 archive through the RAR module, its replace question asked
    // before the extraction.
    void rar()
    {
        QUARN_REQUIRE_PEER(QStringLiteral("bsdtar"));
        const QString d = fresh("rar");
        const QString archive = d + QStringLiteral("/in.rar");
        QVERIFY(QFile::copy(QStringLiteral(QUARN_SOURCE_DIR "/tests/rar/data/test_read_format_rar5_multiple_files.rar"),
                            archive));
        // What it holds, as bsdtar reads it.
        const QString reference = fresh("rar-reference");
        QCOMPARE(run(QStringLiteral("bsdtar"), {QStringLiteral("-xf"), archive, QStringLiteral("-C"), reference}).code, 0);
        QMap<QString, QByteArray> want = snapshot(reference);
        for (auto it = want.begin(); it != want.end();)
            it = it.value() == "<dir>" ? want.erase(it) : std::next(it);
        QVERIFY(want.size() >= 2);
        openAll(archive);
        everyCallUnzipping(d, archive, want, {{want.firstKey(), QByteArray("old")}}, PromptButton::YesToAll);
    }
};

QTEST_MAIN(TestFaultsUnzipPage)
#include "test_faults_unzippage.moc"
