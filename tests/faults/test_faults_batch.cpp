// The batch page's run with every file operation failed in turn: two zips
// (through the window's engine, on one thread and on several) and a RAR
// archive (through the archive layer), each extracted into a folder of its
// own and then moved. Each time every archive is whole in one place at
// least (where it was, or moved); a folder holds complete entries only; no
// temporary file or part of a copy is left; a zip not extracted whole is
// marked and counted as failed, and one that is not moved is said to be.

#include "../batch/BatchFixture.h"
#include "FaultChecks.h"
#include "FaultInjection.h"

#include "batch/BatchRules.h"

using namespace testtools;

namespace {
const QString kNotMoved = QStringLiteral("THESE ZIP FILES COULD NOT BE MOVED AND ARE STILL WHERE THEY WERE:\r");
const QString kNotUnzipped = QStringLiteral(" ZIP FILES COULD NOT BE UNZIPPED.");
} // namespace

class TestFaultsBatch : public QObject {
    Q_OBJECT
    BatchFixture fx;
    FreshFolders tmp_;

    struct Item {
        QString name;                      // the archive's file name
        QByteArray bytes;                  // its bytes
        QMap<QString, QByteArray> entries; // what it holds
    };

    // After a run: `item` is whole where it was or in the move folder
    // `keep` (once); its extraction folder below `out` holds complete entries
    // only, unless the run marked and counted it as failed; when it stayed
    // where it was, the report says so.
    void checkItem(const QString& which, const QString& zips, const QString& keep, const QString& out, const Item& item)
    {
        const QString report = fx.prompter.lastText();
        const QString original = zips + QLatin1Char('/') + item.name;
        int copies = 0;
        for (auto [rel, bytes] : snapshot(keep).asKeyValueRange())
            copies += QFileInfo(rel).fileName() == item.name && bytes == item.bytes;
        const bool stayed = QFileInfo::exists(original);
        if (stayed)
            QVERIFY2(readFile(original) == item.bytes, qPrintable(which + QStringLiteral(": ") + item.name + QStringLiteral(" changed")));
        QVERIFY2(stayed || copies == 1, qPrintable(which + QStringLiteral(": ") + item.name + QStringLiteral(" lost")));
        QVERIFY2(copies <= 1, qPrintable(which + QStringLiteral(": ") + item.name + QStringLiteral(" moved twice")));
        if (stayed)
            QVERIFY2(report.contains(kNotMoved) && report.contains(original),
                     qPrintable(which + QStringLiteral(": ") + item.name + QStringLiteral(" not moved, nothing said")));
        int failedRows = 0;
        for (int r = 0; r < fx.rows(); ++r)
            failedRows += fx.cell(r, 0) == item.name && fx.icon(r) == int(TBatchPage::FailedIcon);
        const bool markedFailed = failedRows == 1 && report.contains(kNotUnzipped);
        faultchecks::checkExtracted(which + QStringLiteral(" ") + item.name,
                                    out + QLatin1Char('/') + BatchRules::ExtractFolderName(item.name), item.entries, {},
                                    {}, markedFailed);
    }

    // UNZIP on `items` (in `folder`/zips) into `folder`/out, moving them to
    // `folder`/keep, failing each call below `folder` in turn; `threads` sets
    // QUARN_UNZIP_THREADS ("" for the default).
    void everyCallInARun(const QString& folder, const QList<Item>& items, const QByteArray& threads)
    {
        if (threads.isEmpty())
            qunsetenv("QUARN_UNZIP_THREADS");
        else
            qputenv("QUARN_UNZIP_THREADS", threads);
        const QString zips = folder + QStringLiteral("/zips"), out = folder + QStringLiteral("/out"),
                      keep = folder + QStringLiteral("/keep");
        QMap<QString, QByteArray> originals;
        QStringList paths;
        for (const Item& item : items) {
            originals.insert(item.name, item.bytes);
            paths << zips + QLatin1Char('/') + item.name;
        }
        const long total = faults::everyCall(
            folder,
            [&] {
                faultchecks::refill(zips, originals);
                faultchecks::refill(out, {});
                faultchecks::refill(keep, {});
                fx.start();
                fx.prompter.failOnUnexpected = false;
                fx.select(paths);
                fx.chooseMoveFolder(keep);
                fx.prompter.clear();
            },
            [&] {
                fx.answerDestination(out);
                fx.answerMoveOptions(false);
                fx.page->BatchUnzipButton->click();
                fx.waitForEnd();
            },
            [&](long n) {
                const QString which = faultchecks::describe(n, fx.prompter.texts()) + QStringLiteral(" threads ") +
                                      QString::fromLatin1(threads.isEmpty() ? "default" : threads);
                QVERIFY2(fx.prompter.lastText().startsWith(QStringLiteral("THE BATCH UNZIP PROCESS IS COMPLETE.")),
                         qPrintable(which));
                for (const Item& item : items) {
                    checkItem(which, zips, keep, out, item);
                    if (QTest::currentTestFailed())
                        return;
                }
                // Nothing else where the archives were, and no folder but theirs in the destination.
                for (const QString& there : QDir(zips).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
                    QVERIFY2(originals.contains(there), qPrintable(which + QStringLiteral(": ") + there));
                for (const QString& made : QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)) {
                    bool ours = false;
                    for (const Item& item : items)
                        ours = ours || made == BatchRules::ExtractFolderName(item.name);
                    QVERIFY2(ours, qPrintable(which + QStringLiteral(": ") + made));
                }
            });
        qInfo("%s: %ld calls failed in turn, threads %s", QTest::currentTestFunction(), total,
              threads.isEmpty() ? "default" : threads.constData());
        // Each moved archive is on disk before the original goes.
        for (const Item& item : items)
            QVERIFY2(faults::syncedBeforePlaced(faults::firstRun(), keep + QLatin1Char('/') + item.name),
                     qPrintable(item.name + QStringLiteral(":\n") + faults::firstRun().join(QLatin1Char('\n'))));
        qunsetenv("QUARN_UNZIP_THREADS");
        fx.prompter.clear();
        fx.prompter.failOnUnexpected = true;
        QVERIFY2(total > 10, qPrintable(QString::number(total)));
    }

private slots:
    void cleanup() { fx.stop(); }

    void zipsAndARarExtractedAndMoved()
    {
        QUARN_REQUIRE_PEER(QStringLiteral("bsdtar"));
        const QString d = tmp_.fresh();
        const QString made = tmp_.fresh();
        QList<Item> items;
        Item one{QStringLiteral("one.zip"), {}, faultchecks::makeArchive(made + QStringLiteral("/one.zip"), QStringLiteral(R"(
files['a.txt'] = text(30000, 1)
files['sub/b.txt'] = text(20000, 2)
for i in range(5): files['many/n%d.txt' % i] = text(3000 + 97 * i, 10 + i)
z = zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED)
for k in sorted(files): z.writestr(k, files[k])
z.close()
)"))};
        Item two{QStringLiteral("two.zip"), {}, faultchecks::makeArchive(made + QStringLiteral("/two.zip"), QStringLiteral(R"(
files['x.txt'] = text(12000, 7)
z = zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED)
for k in sorted(files): z.writestr(k, files[k])
z.close()
)"))};
        Item three{QStringLiteral("three.rar"), {}, {}};
        const QString rar = QStringLiteral(QUARN_SOURCE_DIR "/tests/rar/data/test_read_format_rar5_multiple_files.rar");
        const QString reference = tmp_.fresh();
        QCOMPARE(run(QStringLiteral("bsdtar"), {QStringLiteral("-xf"), rar, QStringLiteral("-C"), reference}).code, 0);
        for (auto [rel, bytes] : snapshot(reference).asKeyValueRange())
            if (bytes != "<dir>")
                three.entries.insert(rel, bytes);
        QVERIFY(!one.entries.isEmpty() && !two.entries.isEmpty() && three.entries.size() >= 2);
        one.bytes = readFile(made + QStringLiteral("/one.zip"));
        two.bytes = readFile(made + QStringLiteral("/two.zip"));
        three.bytes = readFile(rar);
        items << one << two << three;
        everyCallInARun(d, items, QByteArray("1"));
        if (QTest::currentTestFailed())
            return;
        everyCallInARun(d, items, QByteArray());
    }
};

QTEST_MAIN(TestFaultsBatch)
#include "test_faults_batch.moc"
