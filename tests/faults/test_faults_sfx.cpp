// The self-extracting conversions with every file operation failed in turn:
// a zip made a program (over an older program of that name, with an icon,
// and through quarn-cli's sfx with the auto-run name), a program made a zip
// again, and files added to a program that does not exist yet. Each time
// either the files stay byte for byte and the user is told, or the new file
// is whole and the one it was made from is gone (or said to be still there);
// nothing else is left behind.

#include "FaultChecks.h"
#include "FaultInjection.h"
#include "TestTools.h"

#include "../../cli/SfxCli.h"
#include "zipengine/SfxParts.h"
#include "zipengine/TZipEngine.h"

#include <QtTest>

using namespace testtools;

class TestFaultsSfx : public QObject {
    Q_OBJECT
    FreshFolders tmp_;
    QStringList said_;

    std::unique_ptr<TZipEngine> engine()
    {
        auto e = std::make_unique<TZipEngine>();
        e->SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        e->Unattended = true;
        e->HowToDelete = TZipEngine::htdFinal;
        e->SFXPath = QStringLiteral(QUARN_BIN_DIR "/sfxstub.bin");
        e->OnMessage = [this](TZipEngine&, int32_t code, const QString& text) {
            said_ << QStringLiteral("%1: %2").arg(code).arg(text);
        };
        return e;
    }

    // A zip of three files made by python, and what it holds.
    QMap<QString, QString> makeZip(const QString& zip)
    {
        const Run r = python(QStringLiteral(R"(
import sys, zipfile
z = zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED)
z.writestr('a.txt', b'first file ' * 3000)
z.writestr('sub/b.txt', b'second file ' * 2000)
z.writestr('c.bin', bytes(range(256)) * 40)
z.close()
)"),
                             {zip});
        if (r.code != 0)
            return {{QString(), r.errText()}};
        return faultchecks::zipContents(zip);
    }

    // Runs `convert` (0 on success, as the engine's conversions return)
    // failing each call below `folder` in turn. Before each run the folder
    // holds `start` (name -> bytes). After a failed one it holds them still
    // and a message was given; after a successful one `made` is a zip (or
    // program) holding `want`, `from` is gone or its staying was said, and
    // nothing else changed. `from` may stay as `keptAs` (renamed first).
    void everyCallConverting(const QString& folder, const QMap<QString, QByteArray>& start, const QString& from,
                             const QString& made, const QMap<QString, QString>& want, const std::function<int()>& convert,
                             QString keptAs = QString())
    {
        if (keptAs.isEmpty())
            keptAs = from;
        int result = 0;
        const long total = faults::everyCall(
            folder,
            [&] {
                said_.clear();
                faultchecks::refill(folder, start);
            },
            [&] { result = convert(); },
            [&](long n) {
                const QString which = faultchecks::describe(n, said_) + QStringLiteral(" result %1").arg(result);
                QMap<QString, QByteArray> now = snapshot(folder);
                if (result != 0) {
                    // The caller says the failure (the page, quarn-cli); what is there is as it was.
                    QVERIFY2(now == start, qPrintable(which + QStringLiteral(": ") + now.keys().join(QLatin1Char(' '))));
                    return;
                }
                const QMap<QString, QString> got = faultchecks::zipContents(folder + QLatin1Char('/') + made);
                QVERIFY2(got == want, qPrintable(which + QStringLiteral(": ") + got.value(QString())));
                now.remove(made);
                QMap<QString, QByteArray> rest = start;
                rest.remove(made);
                const QByteArray source = rest.take(from);
                if (now.contains(keptAs)) {
                    QVERIFY2(!said_.isEmpty(), qPrintable(which + QStringLiteral(": ") + keptAs + QStringLiteral(" kept, nothing said")));
                    QVERIFY2(now.value(keptAs) == source, qPrintable(which + QStringLiteral(": ") + keptAs + QStringLiteral(" changed")));
                    rest.insert(keptAs, source);
                }
                QVERIFY2(now == rest, qPrintable(which + QStringLiteral(": ") + now.keys().join(QLatin1Char(' '))));
            });
        qInfo("%s: %ld calls failed in turn (one thread: the conversions use none)", QTest::currentTestFunction(), total);
        // The new file is on disk before it takes its name.
        QVERIFY2(faults::syncedBeforePlaced(faults::firstRun(), folder + QLatin1Char('/') + made),
                 qPrintable(faults::firstRun().join(QLatin1Char('\n'))));
        QVERIFY2(total > 3, qPrintable(QString::number(total)));
    }

private slots:
    // A zip made a program, with the stub's icon replaced, over an older
    // program of the same name that stays until the new one is whole.
    void zipToProgram()
    {
        const QString d = tmp_.fresh();
        const QString zip = d + QStringLiteral("/t.zip");
        const QMap<QString, QString> want = makeZip(zip);
        QVERIFY(!want.contains(QString()));
        const QMap<QString, QByteArray> start{{QStringLiteral("t.zip"), readFile(zip)},
                                              {QStringLiteral("t.exe"), QByteArray("an older program")}};
        auto e = engine();
        everyCallConverting(d, start, QStringLiteral("t.zip"), QStringLiteral("t.exe"), want, [&] {
            e->SetZipFileName(zip);
            e->SFXIcon = SfxIconImage::BuiltIn();
            e->SFXCaption = QStringLiteral("Fault test");
            return e->MakeSelfExtracting();
        });
    }

    // A program made a zip again, its bytes those of the zip it was made from.
    void programToZip()
    {
        const QString d = tmp_.fresh();
        const QString zip = d + QStringLiteral("/t.zip");
        const QMap<QString, QString> want = makeZip(zip);
        const QByteArray zipBytes = readFile(zip);
        auto e = engine();
        e->SetZipFileName(zip);
        QCOMPARE(e->MakeSelfExtracting(), 0);
        const QString exe = d + QStringLiteral("/t.exe");
        const QMap<QString, QByteArray> start{{QStringLiteral("t.exe"), readFile(exe)}};
        everyCallConverting(d, start, QStringLiteral("t.exe"), QStringLiteral("t.zip"), want, [&] {
            e->SetZipFileName(exe);
            const int r = e->MakePlainZip();
            if (r == 0 && readFile(zip) != zipBytes)
                said_ << QStringLiteral("the zip differs from the one the program was made from");
            return r;
        });
    }

    // Files added to a program that is not there yet: the program is made
    // from the stub, and goes again when nothing could be added.
    void addToNewProgram()
    {
        const QString d = tmp_.fresh();
        const QByteArray a = sampleData(30000, 1), b = sampleData(12000, 2);
        const QMap<QString, QByteArray> start{{QStringLiteral("in/a.txt"), a}, {QStringLiteral("in/b.txt"), b}};
        const QMap<QString, QString> want = faultchecks::digests({{QStringLiteral("a.txt"), a}, {QStringLiteral("b.txt"), b}});
        const QString exe = d + QStringLiteral("/new.exe");
        auto e = engine();
        qputenv("QUARN_ZIP_THREADS", "1");
        int success = 0;
        const long total = faults::everyCall(
            d,
            [&] {
                said_.clear();
                faultchecks::refill(d, start);
                e->SetZipFileName(exe);
            },
            [&] {
                e->AddOptions = TZipEngine::AddDirNames;
                e->RootDir = d + QStringLiteral("/in");
                e->FSpecArgs = QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")};
                e->Add();
                success = e->SuccessCount;
            },
            [&](long n) {
                const QString which = faultchecks::describe(n, said_) + QStringLiteral(" added %1").arg(success);
                QMap<QString, QByteArray> now = snapshot(d);
                if (success <= 0) {
                    QVERIFY2(!said_.isEmpty(), qPrintable(which));
                    now.remove(QStringLiteral("in"));
                    QVERIFY2(now == start, qPrintable(which + QStringLiteral(": ") + now.keys().join(QLatin1Char(' '))));
                    return;
                }
                const QMap<QString, QString> got = faultchecks::zipContents(exe);
                QVERIFY2(!got.contains(QString()), qPrintable(which + QStringLiteral(": ") + got.value(QString())));
                for (auto it = got.begin(); it != got.end(); ++it)
                    QVERIFY2(want.value(it.key()) == it.value(), qPrintable(which + QStringLiteral(": ") + it.key()));
                QVERIFY2(got == want || !said_.isEmpty(), qPrintable(which));
                now.remove(QStringLiteral("new.exe"));
                now.remove(QStringLiteral("in"));
                QVERIFY2(now == start, qPrintable(which + QStringLiteral(": ") + now.keys().join(QLatin1Char(' '))));
            });
        qunsetenv("QUARN_ZIP_THREADS");
        qInfo("%s: %ld calls failed in turn, one thread", QTest::currentTestFunction(), total);
        QVERIFY2(total > 3, qPrintable(QString::number(total)));
    }

    // quarn-cli sfx with --auto renames the zip first; a failure gives
    // it its name back. quarn-cli unsfx makes it a zip again.
    void cliBothWays()
    {
        const QString d = tmp_.fresh();
        const QString zip = d + QStringLiteral("/t.zip");
        const QMap<QString, QString> want = makeZip(zip);
        const QMap<QString, QByteArray> start{{QStringLiteral("t.zip"), readFile(zip)}};
        const auto cli = [&](const QString& command, const QStringList& args) {
            QString printed, errors;
            QTextStream out(&printed), err(&errors);
            const int code = runSfxCli(command, args, out, err).value_or(99);
            out.flush();
            err.flush();
            if (!errors.isEmpty())
                said_ << errors;
            return code;
        };
        everyCallConverting(d, start, QStringLiteral("t.zip"), QStringLiteral("!t.exe"), want,
                            [&] { return cli(QStringLiteral("sfx"), {zip, QStringLiteral("--auto")}); },
                            QStringLiteral("!t.zip"));
        if (QTest::currentTestFailed())
            return;
        QDir(d).removeRecursively();
        writeFile(zip, start.value(QStringLiteral("t.zip")));
        QCOMPARE(cli(QStringLiteral("sfx"), {zip}), 0);
        const QString exe = d + QStringLiteral("/t.exe");
        everyCallConverting(d, {{QStringLiteral("t.exe"), readFile(exe)}}, QStringLiteral("t.exe"),
                            QStringLiteral("t.zip"), want, [&] { return cli(QStringLiteral("unsfx"), {exe}); });
    }
};

QTEST_GUILESS_MAIN(TestFaultsSfx)
#include "test_faults_sfx.moc"
