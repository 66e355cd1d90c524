// Every file operation of the create page's zip, tar, tar.gz and gz, of
// quarn-cli's tar kinds and of writing a set of numbered parts fails in
// turn. Each time, either the archive already there (and everything else
// below the folder) stays byte for byte with no scratch file left and the
// user is told, or the failure was one the run survives and the new archive
// is whole. A failure reported as success, or a success without the archive,
// fails the test.

#include "FaultInjection.h"

#include "../create/CreateFixture.h"
#include "../../cli/TarCli.h"

#include "create/TZipTypeForm.h"
#include "settings/AppState.h"
#include "zipengine/TZipEngine.h"

#include <QRadioButton>
#include <QSpinBox>
#include <QTextStream>
#include <QtTest>

using namespace CreateFixture;

namespace {

using Tree = QMap<QString, QByteArray>;

// What an operation said, and whether it says the archive was made. A
// source that could not be read may be left out of it, named. An archive
// that could not take its name may be kept under the name the user is told.
struct Outcome {
    bool made = false;
    QString said;
    int leftOut = 0;
    QString savedAs;
};

int skippedIn(const QStringList& said)
{
    return int(std::count_if(said.begin(), said.end(), [](const QString& t) { return t.endsWith(QLatin1String("(skipped)")); }));
}

QString differences(const Tree& want, const Tree& got)
{
    QStringList out;
    for (auto it = want.begin(); it != want.end(); ++it) {
        if (!got.contains(it.key()))
            out << QStringLiteral("missing ") + it.key();
        else if (got.value(it.key()) != it.value())
            out << QStringLiteral("changed ") + it.key();
    }
    for (auto it = got.begin(); it != got.end(); ++it)
        if (!want.contains(it.key()))
            out << QStringLiteral("new ") + it.key();
    return out.join(QStringLiteral(", "));
}

// Runs `operation` once to count its calls below `root`, then fails each
// call in turn. `reset` lays out the folder; `whole(archive, leftOut)` checks
// the archive a run says it made, by default at its own name (empty: fine,
// else what is wrong).
// `placed` names the files the run puts in place, each of which must be on
// disk before it takes its name.
void failEveryCall(const QString& root, const std::function<void()>& reset, const std::function<Outcome()>& operation,
                   const std::function<QString(const QString& savedAs, int leftOut)>& whole, const QStringList& placed)
{
    Tree before;
    const auto laidOut = [&] {
        QDir(root).removeRecursively();
        QDir().mkpath(root);
        reset();
        before = testtools::snapshot(root);
    };
    Outcome outcome;
    // The run without failures makes the archive; the names it leaves are
    // what every survived failure must leave too.
    laidOut();
    faults::watch(root);
    outcome = operation();
    const long total = faults::calls();
    const QStringList calls = faults::log();
    faults::stop();
    QVERIFY2(outcome.made, qPrintable(outcome.said));
    for (const QString& p : placed)
        QVERIFY2(faults::syncedBeforePlaced(calls, p), qPrintable(p + QStringLiteral(" was not synced before it took its name:\n") + calls.join(QLatin1Char('\n'))));
    const QString first = whole(QString(), 0);
    QVERIFY2(first.isEmpty(), qPrintable(first));
    const QStringList madeNames = testtools::snapshot(root).keys();
    QVERIFY2(total > 0, "no call counted");

    QStringList survived;
    for (long n = 1; n <= total && !QTest::currentTestFailed(); ++n) {
        laidOut();
        faults::watch(root);
        faults::failAt(n, faults::errorFor(n));
        outcome = operation();
        const QString failedCall = faults::failed();
        faults::stop();
        const Tree after = testtools::snapshot(root);
        const QString where = QStringLiteral("call %1 of %2 (%3) failed; said: %4")
                                  .arg(n)
                                  .arg(total)
                                  .arg(failedCall.isEmpty() ? QStringLiteral("none") : failedCall, outcome.said);
        if (outcome.made) {
            survived << QDir(root).relativeFilePath(failedCall.section(QLatin1Char(' '), 1)).prepend(
                failedCall.section(QLatin1Char(' '), 0, 0) + QLatin1Char(' '));
            QVERIFY2(outcome.leftOut == 0 || !outcome.said.isEmpty(), qPrintable(where));
            // Without a source the set may have fewer parts.
            const QRegularExpression part(QStringLiteral("^out/set\\d{3}\\.zip$"));
            auto names = [&](QStringList l) {
                if (outcome.leftOut > 0)
                    l.removeIf([&](const QString& n) { return part.match(n).hasMatch(); });
                return l;
            };
            QVERIFY2(names(after.keys()) == names(madeNames),
                     qPrintable(where + QStringLiteral("\nleft: ") + after.keys().join(QLatin1Char(' ')) +
                                QStringLiteral("\nwant: ") + madeNames.join(QLatin1Char(' '))));
            const QString wrong = whole(QString(), outcome.leftOut);
            QVERIFY2(wrong.isEmpty(), qPrintable(where + QStringLiteral("\n") + wrong));
        } else if (!outcome.savedAs.isEmpty()) {
            // Everything as it was, but for the archive the message names.
            Tree kept = after;
            kept.remove(QDir(root).relativeFilePath(outcome.savedAs));
            QVERIFY2(kept == before, qPrintable(where + QStringLiteral("\n") + differences(before, kept)));
            const QString wrong = whole(outcome.savedAs, outcome.leftOut);
            QVERIFY2(wrong.isEmpty(), qPrintable(where + QStringLiteral("\n") + wrong));
        } else {
            QVERIFY2(!outcome.said.trimmed().isEmpty(), qPrintable(where + QStringLiteral(": nothing said")));
            QVERIFY2(after == before, qPrintable(where + QStringLiteral("\n") + differences(before, after)));
        }
    }
    qInfo("%ld calls failed in turn, %lld survived: %s", total, qint64(survived.size()),
          qPrintable(survived.join(QStringLiteral(", "))));
}

// The sources: a few small files and one over the compressors' block size.
QStringList writeSources(const QString& folder)
{
    const QStringList names{QStringLiteral("a.txt"), QStringLiteral("sub/b.txt"), QStringLiteral("empty.txt"),
                            QStringLiteral("big.bin")};
    testtools::writeFile(folder + QStringLiteral("/a.txt"), testtools::sampleData(3000, 1));
    testtools::writeFile(folder + QStringLiteral("/sub/b.txt"), testtools::sampleData(20000, 2));
    testtools::writeFile(folder + QStringLiteral("/empty.txt"), QByteArray());
    // Half noise, half text: over 256 KiB and over one deflate block.
    testtools::writeFile(folder + QStringLiteral("/big.bin"),
                         testtools::randomData(150000, 3) + testtools::sampleData(150000, 4));
    QStringList paths;
    for (const QString& n : names)
        paths << folder + QLatin1Char('/') + n;
    return paths;
}

QStringList lines(const Run& r) { return r.outText().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

} // namespace

class TestFaultsCreate : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString root_;
    Window w_;

    QString src(const QString& rel = QString()) const
    {
        return root_ + QStringLiteral("/src") + (rel.isEmpty() ? QString() : QLatin1Char('/') + rel);
    }
    QString out(const QString& name) const { return root_ + QStringLiteral("/out/") + name; }

    void setThreads()
    {
        QFETCH(bool, oneThread);
        if (oneThread)
            qputenv("QUARN_ZIP_THREADS", "1");
        else
            qunsetenv("QUARN_ZIP_THREADS");
    }

    // The sources, the archive already at `archive` and the window's scratch
    // folder, all below the watched folder.
    void layOut(const QString& archive, bool archiveThere = true)
    {
        writeSources(src());
        if (archiveThere)
            testtools::writeFile(archive, "the archive that was there before");
        else
            QDir().mkpath(QFileInfo(archive).absolutePath());
        QDir().mkpath(w_.form->appState().TempFolder());
    }

    // ZIP on the page with `name` typed; made when `doneText` was said.
    Outcome zipOnPage(const QString& name, const QString& doneText)
    {
        w_.prompter.messages.clear();
        // The error boxes offer Abort alone; they are recorded like the rest.
        w_.prompter.failOnUnexpected = false;
        w_.zip(name);
        w_.prompter.failOnUnexpected = true;
        Outcome o;
        o.said = w_.prompter.texts().join(QStringLiteral(" | "));
        for (const auto& m : w_.prompter.messages) {
            if (!m.text.startsWith(doneText))
                continue;
            o.made = true;
            // The files left out are named in the closing message.
            o.leftOut = int(m.text.count(QStringLiteral("(skipped)")));
        }
        for (const auto& m : w_.prompter.messages)
            if (m.text.contains(QStringLiteral("IT WAS SAVED AS\r")))
                o.savedAs = m.text.section(QLatin1Char('\r'), -1);
        w_.prompter.answers.clear();
        w_.prompter.dialogs.clear();
        return o;
    }

    void fillList()
    {
        writeSources(src());
        w_.settings().RelativePaths = true;
        w_.addFolder(src());
        QCOMPARE(w_.page->RowCount(), 4);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(tmp_.isValid());
        root_ = tmp_.filePath(QStringLiteral("watched"));
        for (const char* peer : {"unzip", "tar", "gzip"})
            QUARN_REQUIRE_PEER(QString::fromLatin1(peer));
    }
    void init()
    {
        QDir(root_).removeRecursively();
        QDir().mkpath(root_);
        w_.open();
        // The window's data (and with it the scratch tar) lies below the
        // watched folder too.
        w_.form->appState().DataFolder = root_ + QStringLiteral("/data");
        w_.form->zipEngine().TempDir = root_ + QStringLiteral("/data/temp");
    }
    void cleanup()
    {
        faults::stop();
        w_.prompter.clear();
        w_.closeWindow();
        qunsetenv("QUARN_ZIP_THREADS");
    }

    // ---- the create page

    void pageZip_data()
    {
        QTest::addColumn<bool>("oneThread");
        QTest::addColumn<bool>("relativePaths");
        QTest::newRow("one thread, all at once") << true << false;
        QTest::newRow("one thread, a file at a time") << true << true;
        QTest::newRow("every thread, all at once") << false << false;
    }
    void pageZip()
    {
        setThreads();
        QFETCH(bool, relativePaths);
        fillList();
        w_.settings().RelativePaths = relativePaths;
        w_.settings().DefaultArchiveType = 1;
        const QString zip = out(QStringLiteral("made.zip"));
        failEveryCall(
            root_, [&] { layOut(zip); },
            [&] { return zipOnPage(zip, QStringLiteral("THE ARCHIVE FILE made.zip")); },
            [&](const QString& savedAs, int leftOut) -> QString {
                const QString made = savedAs.isEmpty() ? zip : savedAs;
                if (!ZipTests(made))
                    return QStringLiteral("unzip -t fails");
                QStringList names = ZipNames(made);
                if (names.size() != 4 - leftOut)
                    return QStringLiteral("entries: ") + names.join(QLatin1Char(' '));
                return QString();
            },
            {zip});
    }

    // Where no archive was, a tar a failure cut short takes no name either.
    void pageTar_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("archiveThere");
        QTest::newRow("tar over an archive") << 3 << QStringLiteral("made.tar") << true;
        QTest::newRow("tar where none was") << 3 << QStringLiteral("made.tar") << false;
        QTest::newRow("tar.gz over an archive") << 2 << QStringLiteral("made.tar.gz") << true;
    }
    void pageTar()
    {
        QFETCH(int, type);
        QFETCH(QString, name);
        QFETCH(bool, archiveThere);
        fillList();
        w_.settings().DefaultArchiveType = type;
        const QString tar = out(name);
        const bool gzipped = type == 2;
        const QString done = gzipped ? QStringLiteral("THE PROGRAM HAS COMPLETED PROCESSING THE FILE \r") + tar
                                     : QStringLiteral("THE TAR FILE CREATION HAS BEEN COMPLETED.");
        failEveryCall(
            root_, [&] { layOut(tar, archiveThere); }, [&] { return zipOnPage(tar, done); },
            [&](const QString& savedAs, int) -> QString {
                const Run r = run(QStringLiteral("tar"), {gzipped ? QStringLiteral("-tzf") : QStringLiteral("-tf"),
                                                          savedAs.isEmpty() ? tar : savedAs});
                if (r.code != 0 || lines(r).size() != 4)
                    return QStringLiteral("tar -t: ") + r.outText() + r.errText();
                return QString();
            },
            {tar});
    }

    void pageGz()
    {
        writeSources(src());
        w_.addFiles({src(QStringLiteral("big.bin"))});
        w_.settings().DefaultArchiveType = 4;
        const QString gz = out(QStringLiteral("made.gz"));
        failEveryCall(
            root_, [&] { layOut(gz); },
            [&] { return zipOnPage(gz, QStringLiteral("THE PROGRAM HAS COMPLETED PROCESSING THE FILE \r") + gz); },
            [&](const QString& savedAs, int) -> QString {
                const Run r = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), savedAs.isEmpty() ? gz : savedAs});
                if (r.code != 0 || r.out != testtools::readFile(src(QStringLiteral("big.bin"))))
                    return QStringLiteral("gzip -dc: ") + r.errText();
                return QString();
            },
            {gz});
    }

    // A set of numbered parts from the page: the zip is written whole, then
    // copied out part by part over the set already there.
    void pageSpan()
    {
        fillList();
        w_.settings().DefaultArchiveType = 1;
        w_.settings().SpanDisks = true;
        const QString zip = out(QStringLiteral("set.zip"));
        auto part = [&](int n) { return TZipEngine::PartFileName(zip, n); };
        failEveryCall(
            root_,
            [&] {
                layOut(part(1));
                // The old set had more parts than the new one will.
                for (int n = 2; n <= 9; ++n)
                    testtools::writeFile(part(n), "an old part " + QByteArray::number(n));
            },
            [&] {
                w_.prompter.onDialog([](QDialog& d) {
                    auto& f = static_cast<TSpanSizeForm&>(d);
                    f.Items[TSpanSizeForm::CustomItem]->click();
                    f.CustomSizeEdit->setValue(65536);
                    QTest::mouseClick(f.Button1, Qt::LeftButton);
                    return d.result();
                });
                // Every part of the old set may be replaced.
                for (int n = 0; n < 12; ++n)
                    w_.prompter.answer(PromptButton::Yes);
                return zipOnPage(zip, QStringLiteral("THE ARCHIVE FILE set"));
            },
            [&](const QString&, int leftOut) -> QString {
                TZipEngine e;
                e.SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
                e.Unattended = true;
                QString last;
                for (int n = 1; QFileInfo::exists(part(n)); ++n)
                    last = part(n);
                e.SetZipFileName(last);
                if (e.ErrCode != 0 || e.Count != 4 - leftOut || (leftOut == 0 && e.LastDiskNumber < 2))
                    return QStringLiteral("the set reads as %1 entries on %2 parts, error %3")
                        .arg(e.Count)
                        .arg(e.LastDiskNumber + 1)
                        .arg(e.ErrCode);
                return QString();
            },
            {part(1), part(2)});
    }

    // ---- quarn-cli create for the tar kinds, in process

    void cliCreate_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("check");
        QTest::newRow("tar") << QStringLiteral("made.tar") << QStringList{QStringLiteral("tar"), QStringLiteral("-tf")};
        QTest::newRow("tar.gz") << QStringLiteral("made.tar.gz")
                                << QStringList{QStringLiteral("tar"), QStringLiteral("-tzf")};
        QTest::newRow("gz") << QStringLiteral("made.gz") << QStringList{QStringLiteral("gzip"), QStringLiteral("-t")};
    }
    void cliCreate()
    {
        QFETCH(QString, name);
        QFETCH(QStringList, check);
        const QString archive = out(name);
        const bool one = name.endsWith(QLatin1String(".gz")) && !name.endsWith(QLatin1String(".tar.gz"));
        failEveryCall(
            root_, [&] { layOut(archive); },
            [&] {
                QString said;
                QTextStream err(&said);
                const QStringList paths = one ? QStringList{src(QStringLiteral("big.bin"))} : QStringList{src()};
                const std::optional<int> code = runTarCli(QStringLiteral("create"), QStringList{archive} + paths, err);
                err.flush();
                Outcome o;
                o.made = code == 0;
                o.said = said + (code ? QString() : QStringLiteral("not handled"));
                return o;
            },
            [&](const QString&, int) -> QString {
                const Run r = run(check[0], check.mid(1) << archive);
                if (r.code != 0)
                    return check.join(QLatin1Char(' ')) + QStringLiteral(": ") + r.errText();
                // The folder, its sub-folder and the four files.
                if (!one && lines(r).size() != 6)
                    return QStringLiteral("members: ") + r.outText();
                return QString();
            },
            {archive});
    }

    // ---- a set of numbered parts written by the engine

    void spanSet_data()
    {
        QTest::addColumn<bool>("oneThread");
        QTest::addColumn<int>("oldParts");
        QTest::newRow("one thread, new set") << true << 0;
        QTest::newRow("one thread, over a longer set") << true << 12;
        QTest::newRow("one thread, over a shorter set") << true << 2;
        QTest::newRow("every thread, over a longer set") << false << 12;
    }
    void spanSet()
    {
        setThreads();
        QFETCH(int, oldParts);
        const QString zip = out(QStringLiteral("set.zip"));
        auto part = [&](int n) { return TZipEngine::PartFileName(zip, n); };
        TZipEngine e;
        e.SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        e.Unattended = true;
        QStringList said;
        e.OnMessage = [&said](TZipEngine&, int32_t code, const QString& text) {
            if (code != 0)
                said << text;
        };
        // Every part of the old set is replaced.
        e.OnStatusDisk = [](TZipEngine&, int32_t, const QString&, int32_t status, int32_t& action) {
            action = (status & TZipEngine::zdsSameFileName) ? TZipEngine::zdaOk : TZipEngine::zdaCancel;
        };
        failEveryCall(
            root_,
            [&] {
                writeSources(src());
                QDir().mkpath(root_ + QStringLiteral("/out"));
                QDir().mkpath(root_ + QStringLiteral("/temp"));
                for (int n = 1; n <= oldParts; ++n)
                    testtools::writeFile(part(n), "an old part " + QByteArray::number(n));
            },
            [&] {
                said.clear();
                e.SetZipFileName(zip);
                e.ErrCode = 0;
                e.LastMessage.clear();
                e.AddCompLevel = 6;
                e.AddOptions = TZipEngine::AddHiddenFiles | TZipEngine::AddDiskSpan;
                e.MaxVolumeSize = 65536;
                e.TempDir = root_ + QStringLiteral("/temp");
                e.FSpecArgs = QStringList{src(QStringLiteral("a.txt")), src(QStringLiteral("sub/b.txt")),
                                          src(QStringLiteral("empty.txt")), src(QStringLiteral("big.bin"))};
                e.Add();
                const int leftOut = skippedIn(said);
                // The engine's error is its last message.
                if (e.ErrCode != 0)
                    said << e.LastMessage;
                // A set written whole whose directory then could not be
                // read back is made all the same (the error was said).
                Outcome o;
                o.made = e.SuccessCount == 4 - leftOut;
                o.said = said.join(QStringLiteral(" | "));
                o.leftOut = leftOut;
                return o;
            },
            [&](const QString&, int leftOut) -> QString {
                TZipEngine r;
                r.SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
                r.Unattended = true;
                r.SetZipFileName(e.ZipFileName());
                if (r.ErrCode != 0 || r.Count != 4 - leftOut)
                    return QStringLiteral("%1 reads as %2 entries, error %3").arg(e.ZipFileName()).arg(r.Count).arg(r.ErrCode);
                if (QFileInfo::exists(part(r.LastDiskNumber + 2)))
                    return QStringLiteral("an old part is left after the new set");
                return QString();
            },
            {part(1), part(2)});
    }
};

QTEST_MAIN(TestFaultsCreate)
#include "test_faults_create.moc"
