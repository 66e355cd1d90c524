// The update page's changes with every file operation failed in turn: files
// that replace entries and files that are new, written through the page's
// working copy, and entries deleted. Each time the zip is byte for byte as
// it was and the user was told, or it holds every change; no working copy
// or temporary file is left beside it.

#include "../update/UpdateFixture.h"
#include "FaultChecks.h"
#include "FaultInjection.h"

using namespace UpdateFixture;
using ZipFixture::Entry;

namespace {
const QDateTime kNew(QDate(2024, 5, 6), QTime(9, 30, 10));
const uint32_t kEntryTime = Dos(2022, 1, 2, 3, 4, 6);
} // namespace

class TestFaultsUpdate : public QObject {
    Q_OBJECT
    Window w;
    FreshFolders tmp_;

    // Runs `change` failing each call below `folder` in turn, the zip
    // listed afresh before each run. After each either the zip is as it was
    // and a message was shown, or it holds `want`; the files beside it stay.
    void everyCallUpdating(const QString& folder, const QString& zip, const QMap<QString, QString>& want,
                           const std::function<void()>& change)
    {
        const QByteArray before = readFile(zip);
        const QMap<QString, QByteArray> others = faultchecks::filesBut(folder, zip);
        w.prompter.failOnUnexpected = false;
        qputenv("QUARN_ZIP_THREADS", "1");
        const long total = faults::everyCall(
            folder,
            [&] {
                writeFile(zip, before);
                w.open();
                w.prompter.failOnUnexpected = false;
                w.openZip(zip);
                w.prompter.clear();
            },
            change,
            [&](long n) {
                const QString which = faultchecks::describe(n, w.prompter.texts()) + QStringLiteral(" last [%1] rows %2").arg(w.engine().LastMessage).arg(w.page->RowCount());
                if (readFile(zip) == before) {
                    QVERIFY2(!w.prompter.messages.isEmpty(), qPrintable(which + QStringLiteral(": unchanged, nothing said")));
                } else {
                    const QMap<QString, QString> got = faultchecks::zipContents(zip);
                    QVERIFY2(got == want, qPrintable(which + QStringLiteral(": ") + got.keys().join(QLatin1Char(' '))));
                }
                const QMap<QString, QByteArray> now = faultchecks::filesBut(folder, zip);
                QVERIFY2(now == others, qPrintable(which + QStringLiteral(": ") + now.keys().join(QLatin1Char(' '))));
                VERIFY_LIST_IS_ARCHIVE(w, zip);
            });
        qunsetenv("QUARN_ZIP_THREADS");
        qInfo("%s: %ld calls failed in turn, one thread", QTest::currentTestFunction(), total);
        // The changed zip is on disk before it takes the zip's name.
        QVERIFY2(faults::syncedBeforePlaced(faults::firstRun(), zip), qPrintable(faults::firstRun().join(QLatin1Char('\n'))));
        QVERIFY2(total > 5, qPrintable(QString::number(total)));
    }

private slots:
    void init() { w.open(); }

    // A newer file replaces its entry and a new one is added: the page
    // deletes and adds on a working copy that then takes the zip's place.
    void replaceAndAdd()
    {
        const QString d = tmp_.fresh();
        const QString zip = ZipFixture::Made(d + QStringLiteral("/a.zip"),
                                             {{"docs/a.txt", "old contents", kEntryTime}, {"b.txt", "bee", kEntryTime}});
        const QByteArray newA = sampleData(20000, 1), c = sampleData(7000, 2);
        writeFile(d + QStringLiteral("/src/docs/a.txt"), newA);
        SetTime(d + QStringLiteral("/src/docs/a.txt"), kNew);
        writeFile(d + QStringLiteral("/src/docs/c.txt"), c);
        const QMap<QString, QString> want = faultchecks::digests(
            {{QStringLiteral("docs/a.txt"), newA}, {QStringLiteral("b.txt"), "bee"}, {QStringLiteral("docs/c.txt"), c}});
        everyCallUpdating(d, zip, want, [&] {
            w.addFiles({d + QStringLiteral("/src/docs/a.txt"), d + QStringLiteral("/src/docs/c.txt")});
        });
    }

    // Highlighted entries deleted.
    void deleteEntries()
    {
        const QString d = tmp_.fresh();
        const QString zip = ZipFixture::Made(d + QStringLiteral("/a.zip"), {{"docs/a.txt", "aaa", kEntryTime},
                                                                            {"b.txt", "bee", kEntryTime},
                                                                            {"c.txt", "sea", kEntryTime}});
        everyCallUpdating(d, zip, faultchecks::digests({{QStringLiteral("b.txt"), "bee"}}), [&] {
            w.deleteEntries({QStringLiteral("docs\\a.txt"), QStringLiteral("c.txt")});
        });
    }
};

QTEST_MAIN(TestFaultsUpdate)
#include "test_faults_update.moc"
