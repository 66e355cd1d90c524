// The fault layer itself; then every file operation of a zip's add, delete
// and freshen fails in turn: the archive stays byte for byte or is replaced
// whole, no temporary file is left, and a failure is reported.

#include "FaultChecks.h"
#include "FaultInjection.h"

#include "platform/Platform.h"
#include "zipengine/TZipEngine.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestFaultsZip : public QObject {
    Q_OBJECT
    testtools::FreshFolders tmp_;
    QStringList said_;

    std::unique_ptr<TZipEngine> engine()
    {
        auto e = std::make_unique<TZipEngine>();
        e->SetDLLDirectory(QStringLiteral(QUARN_BIN_DIR));
        e->Unattended = true;
        e->OnMessage = [this](TZipEngine&, int32_t code, const QString& text) {
            said_ << QStringLiteral("%1: %2").arg(code).arg(text);
        };
        return e;
    }

private slots:
    // The layer itself: it counts what a QSaveFile does below the folder and
    // fails the chosen call, and leaves calls elsewhere alone. Committed the
    // program's way, a failed write keeps the old file (a bare commit() of
    // Qt 6.4 put an empty one in its place).
    void layerCountsAndFailsTheChosenCall()
    {
        const QString d = tmp_.fresh();
        const QString target = d + QStringLiteral("/kept.txt");
        testtools::writeFile(target, "before");
        auto save = [&] {
            QSaveFile f(target);
            return f.open(QIODevice::WriteOnly) && f.write("after") == 5 && Platform::CommitSaveFile(f);
        };
        const long total = faults::everyCall(
            d, [] {}, [&] { save(); },
            [&](long n) {
                QVERIFY2(!faults::failed().isEmpty(), qPrintable(QString::number(n)));
                QCOMPARE(testtools::snapshot(d).keys(), QStringList{QStringLiteral("kept.txt")});
                const QByteArray now = testtools::readFile(target);
                QVERIFY2(now == "before" || now == "after", qPrintable(QStringLiteral("%1 %2: %3").arg(n).arg(faults::failed(), QString::fromLatin1(now))));
                testtools::writeFile(target, "before");
            });
        QVERIFY2(total >= 3, qPrintable(QString::number(total)));  // open, write, rename at least

        // Outside the watched folder nothing is counted.
        faults::watch(d);
        testtools::writeFile(tmp_.filePath(QStringLiteral("elsewhere.txt")), "x");
        QCOMPARE(faults::calls(), 0);
        faults::stop();
    }

private:
    // Runs `operation` (which returns the engine's SuccessCount) failing
    // each call below `folder` in turn, on one compressing thread and then on
    // the default ones. After each run either `zip` is byte for byte as it
    // was and the user was told, or python reads it whole and every file it
    // holds is one of `want` with the same bytes; a file of `want` missing
    // from it was said. Nothing else below the folder changes.
    void everyCallOnZip(const QString& folder, const QString& zip, const std::function<int()>& operation,
                        const QMap<QString, QString>& want, const std::function<void(const QString&)>& alsoCheck = {})
    {
        const QByteArray before = testtools::readFile(zip);
        const QMap<QString, QByteArray> others = faultchecks::filesBut(folder, zip);
        for (const bool oneThread : {true, false}) {
            if (oneThread)
                qputenv("QUARN_ZIP_THREADS", "1");
            else
                qunsetenv("QUARN_ZIP_THREADS");
            int success = 0;
            const long total = faults::everyCall(
                folder,
                [&] {
                    said_.clear();
                    testtools::writeFile(zip, before);
                },
                [&] { success = operation(); },
                [&](long n) {
                    const QString which = faultchecks::describe(n, said_) + (oneThread ? " one thread" : " threads");
                    if (testtools::readFile(zip) == before) {
                        QVERIFY2(!said_.isEmpty(), qPrintable(which));
                        QVERIFY2(success <= 0, qPrintable(which));
                    } else {
                        const QMap<QString, QString> got = faultchecks::zipContents(zip);
                        QVERIFY2(!got.contains(QString()), qPrintable(which + ": " + got.value(QString())));
                        for (auto it = got.begin(); it != got.end(); ++it)
                            QVERIFY2(want.value(it.key()) == it.value(), qPrintable(which + ": " + it.key()));
                        QVERIFY2(got == want || !said_.isEmpty(), qPrintable(which));
                        QVERIFY2(success > 0, qPrintable(which));
                    }
                    const QMap<QString, QByteArray> now = faultchecks::filesBut(folder, zip);
                    QVERIFY2(now.keys() == others.keys(), qPrintable(which + ": " + now.keys().join(QLatin1Char(' '))));
                    QVERIFY2(now == others, qPrintable(which));
                    if (alsoCheck)
                        alsoCheck(which);
                });
            qInfo("%s: %ld calls failed in turn, %s", QTest::currentTestFunction(), total,
                  oneThread ? "one thread" : "default threads");
            // The new zip is on disk before it takes the zip's name (or, with a
            // second name, before it is written over the zip in place).
            const QStringList calls = faults::firstRun();
            QVERIFY2(faults::syncedBeforePlaced(calls, zip) || calls.contains(QStringLiteral("fsync ") + zip),
                     qPrintable(calls.join(QLatin1Char('\n'))));
            QVERIFY2(total > 5, qPrintable(QString::number(total)));
            if (QTest::currentTestFailed())
                break;
        }
        qunsetenv("QUARN_ZIP_THREADS");
    }

    // Adds `names` (below `root`, stored with their folders) to `zip`.
    int add(TZipEngine& e, const QString& zip, const QString& root, const QStringList& names, uint16_t options = 0)
    {
        e.SetZipFileName(zip);
        e.AddOptions = uint16_t(TZipEngine::AddDirNames | options);
        e.RootDir = root;
        e.FSpecArgs = names;
        e.Add();
        return e.SuccessCount;
    }

private slots:
    // Adding to an existing zip: small files, one compressed in blocks (over
    // the module's whole-file limit), one in a folder.
    void addLeavesTheZipOrReplacesItWhole()
    {
        const QString d = tmp_.fresh();
        const QString in = d + QStringLiteral("/in");
        const QByteArray first = testtools::sampleData(40000, 1), second = testtools::sampleData(70000, 2),
                         third = testtools::sampleData(5000, 3);
        // Mostly zeros: compressed in blocks, yet small in the zip.
        QByteArray big(17 << 20, '\0');
        big.replace(1 << 20, 9000, testtools::sampleData(9000, 4));
        testtools::writeFile(in + QStringLiteral("/first.txt"), first);
        testtools::writeFile(in + QStringLiteral("/second.txt"), second);
        testtools::writeFile(in + QStringLiteral("/sub/third.txt"), third);
        testtools::writeFile(in + QStringLiteral("/big.bin"), big);
        const QString zip = d + QStringLiteral("/keep.zip");
        auto e = engine();
        QCOMPARE(add(*e, zip, in, {QStringLiteral("first.txt")}), 1);
        const QMap<QString, QString> want = faultchecks::digests({{QStringLiteral("first.txt"), first},
                                                                  {QStringLiteral("second.txt"), second},
                                                                  {QStringLiteral("sub/third.txt"), third},
                                                                  {QStringLiteral("big.bin"), big}});
        everyCallOnZip(d, zip, [&] {
            return add(*e, zip, in, {QStringLiteral("second.txt"), QStringLiteral("sub/third.txt"), QStringLiteral("big.bin")});
        }, want);
    }

    // Freshening: an entry replaced by its newer file, the others copied.
    void freshenLeavesTheZipOrReplacesItWhole()
    {
        const QString d = tmp_.fresh();
        const QString in = d + QStringLiteral("/in");
        const QByteArray a = testtools::sampleData(30000, 5), b = testtools::sampleData(20000, 6);
        const QByteArray newer = testtools::sampleData(45000, 7);
        testtools::writeFile(in + QStringLiteral("/a.txt"), a);
        testtools::writeFile(in + QStringLiteral("/b.txt"), b);
        const QString zip = d + QStringLiteral("/keep.zip");
        auto e = engine();
        QCOMPARE(add(*e, zip, in, {QStringLiteral("a.txt"), QStringLiteral("b.txt")}), 2);
        testtools::writeFile(in + QStringLiteral("/a.txt"), newer);
        QFile f(in + QStringLiteral("/a.txt"));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(3600), QFileDevice::FileModificationTime));
        f.close();
        const QMap<QString, QString> want = faultchecks::digests({{QStringLiteral("a.txt"), newer}, {QStringLiteral("b.txt"), b}});
        everyCallOnZip(d, zip, [&] {
            return add(*e, zip, in, {QStringLiteral("a.txt"), QStringLiteral("b.txt")}, TZipEngine::AddFreshen);
        }, want);
    }

    // Deleting entries: the zip keeps the others whole or stays as it was.
    void deleteLeavesTheZipOrReplacesItWhole()
    {
        const QString d = tmp_.fresh();
        const QString in = d + QStringLiteral("/in");
        QMap<QString, QByteArray> files;
        for (int i = 0; i < 5; ++i)
            files.insert(QStringLiteral("f%1.txt").arg(i), testtools::sampleData(9000 + 1000 * i, uint32_t(10 + i)));
        for (auto it = files.begin(); it != files.end(); ++it)
            testtools::writeFile(in + QLatin1Char('/') + it.key(), it.value());
        const QString zip = d + QStringLiteral("/keep.zip");
        auto e = engine();
        QCOMPARE(add(*e, zip, in, files.keys()), 5);
        files.remove(QStringLiteral("f1.txt"));
        files.remove(QStringLiteral("f3.txt"));
        everyCallOnZip(d, zip, [&] {
            try {
                e->SetZipFileName(zip);
                e->FSpecArgs = QStringList{QStringLiteral("f1.txt"), QStringLiteral("f3.txt")};
                e->Delete();
            } catch (const EZipEngine& x) {
                said_ << x.Message();
                return 0;
            }
            return e->SuccessCount;
        }, faultchecks::digests(files));
    }

    // A zip with a second name (a hard link) is rewritten in place so both
    // names see the change: a failure part-way puts its old bytes back.
    void addToAZipWithTwoNames()
    {
        const QString d = tmp_.fresh();
        const QString in = d + QStringLiteral("/in");
        const QByteArray first = testtools::sampleData(30000, 31), second = testtools::sampleData(50000, 32);
        testtools::writeFile(in + QStringLiteral("/first.txt"), first);
        testtools::writeFile(in + QStringLiteral("/second.txt"), second);
        const QString zip = d + QStringLiteral("/keep.zip");
        auto e = engine();
        QCOMPARE(add(*e, zip, in, {QStringLiteral("first.txt")}), 1);
        const QString other = tmp_.filePath(QStringLiteral("other-name-%1.zip").arg(tmp_.serial));
        QVERIFY(::link(QFile::encodeName(zip).constData(), QFile::encodeName(other).constData()) == 0);
        const QMap<QString, QString> want = faultchecks::digests({{QStringLiteral("first.txt"), first},
                                                                  {QStringLiteral("second.txt"), second}});
        everyCallOnZip(d, zip, [&] { return add(*e, zip, in, {QStringLiteral("second.txt")}); }, want,
                       [&](const QString& which) {
                           QVERIFY2(testtools::readFile(other) == testtools::readFile(zip),
                                    qPrintable(which + QStringLiteral(": the two names differ")));
                       });
    }

    // The engine's temporary folder on another file system than the zip: the
    // finished zip is copied across into a scratch file beside it, which then
    // takes its place. The copy keeps the zip's permissions, a file of the
    // user's beside it is never touched, and nothing is left in either folder.
    void addWithTheTemporaryFolderElsewhere()
    {
        const QString d = tmp_.fresh();
        // The other file system: /dev/shm (a tmpfs on Debian), reached
        // through a link below the watched folder so that its calls count too.
        QTemporaryDir elsewhere(QStringLiteral("/dev/shm/quarn-faults-XXXXXX"));
        QVERIFY2(elsewhere.isValid(), "a folder in /dev/shm is needed and cannot be made");
        struct stat here, there;
        QVERIFY(::stat(QFile::encodeName(d).constData(), &here) == 0);
        QVERIFY(::stat(QFile::encodeName(elsewhere.path()).constData(), &there) == 0);
        QVERIFY2(here.st_dev != there.st_dev, "/dev/shm is on the file system of the test's folder");
        const QString temp = d + QStringLiteral("/temp");
        QVERIFY(QFile::link(elsewhere.path(), temp));

        const QString in = d + QStringLiteral("/in");
        const QByteArray first = testtools::sampleData(30000, 41), second = testtools::sampleData(60000, 42);
        testtools::writeFile(in + QStringLiteral("/first.txt"), first);
        testtools::writeFile(in + QStringLiteral("/second.txt"), second);
        const QString zip = d + QStringLiteral("/keep.zip");
        auto e = engine();
        QCOMPARE(add(*e, zip, in, {QStringLiteral("first.txt")}), 1);
        QVERIFY(QFile::setPermissions(zip, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        // Names a careless scratch file might take.
        testtools::writeFile(zip + QStringLiteral(".qztmp"), "the user's own file");
        e->TempDir = temp;
        const QMap<QString, QString> want = faultchecks::digests({{QStringLiteral("first.txt"), first},
                                                                  {QStringLiteral("second.txt"), second}});
        everyCallOnZip(d, zip, [&] { return add(*e, zip, in, {QStringLiteral("second.txt")}); }, want,
                       [&](const QString& which) {
                           QVERIFY2(QDir(elsewhere.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                                    qPrintable(which + QStringLiteral(": left in the temporary folder: ") +
                                               QDir(elsewhere.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).join(QLatin1Char(' '))));
                           QVERIFY2(QFile::permissions(zip) == (QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                                QFileDevice::ReadUser | QFileDevice::WriteUser |
                                                                QFileDevice::ReadGroup),
                                    qPrintable(which + QStringLiteral(": permissions ") +
                                               QString::number(int(QFile::permissions(zip)), 16)));
                       });
    }

    // Moving files into the zip: a file goes from the disk only once the zip
    // holding it is in place; one that stays is said.
    void moveLeavesEachFileInOnePlaceAtLeast()
    {
        const QString d = tmp_.fresh();
        const QString in = d + QStringLiteral("/in");
        const QMap<QString, QByteArray> files{{QStringLiteral("m1.txt"), testtools::sampleData(15000, 21)},
                                              {QStringLiteral("m2.txt"), testtools::sampleData(25000, 22)}};
        const QString zip = d + QStringLiteral("/keep.zip");
        testtools::writeFile(in + QStringLiteral("/old.txt"), "old");
        auto e = engine();
        QCOMPARE(add(*e, zip, in, {QStringLiteral("old.txt")}), 1);
        QFile::remove(in + QStringLiteral("/old.txt"));
        const QByteArray before = testtools::readFile(zip);
        qputenv("QUARN_ZIP_THREADS", "1");
        int success = 0;
        const long total = faults::everyCall(
            d,
            [&] {
                said_.clear();
                testtools::writeFile(zip, before);
                for (auto it = files.begin(); it != files.end(); ++it)
                    testtools::writeFile(in + QLatin1Char('/') + it.key(), it.value());
            },
            [&] { success = add(*e, zip, in, files.keys(), TZipEngine::AddMove); },
            [&](long n) {
                const QString which = faultchecks::describe(n, said_);
                const QMap<QString, QString> got = faultchecks::zipContents(zip);
                QVERIFY2(!got.contains(QString()), qPrintable(which + QStringLiteral(": ") + got.value(QString())));
                for (auto it = files.begin(); it != files.end(); ++it) {
                    const QString path = in + QLatin1Char('/') + it.key();
                    const bool onDisk = QFileInfo::exists(path), inZip = got.value(it.key()) == faultchecks::md5(it.value());
                    QVERIFY2(onDisk || inZip, qPrintable(which + QStringLiteral(": ") + it.key() + QStringLiteral(" lost")));
                    if (onDisk)
                        QVERIFY2(testtools::readFile(path) == it.value(), qPrintable(which + QStringLiteral(": ") + it.key()));
                    QVERIFY2(!(onDisk && success > 0) || !said_.isEmpty(),
                             qPrintable(which + QStringLiteral(": ") + it.key() + QStringLiteral(" stayed, nothing said")));
                }
                QVERIFY2(success > 0 || (testtools::readFile(zip) == before && !said_.isEmpty()), qPrintable(which));
                QCOMPARE(QDir(d).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("keep.zip")});
            });
        qunsetenv("QUARN_ZIP_THREADS");
        qInfo("%s: %ld calls failed in turn, one thread", QTest::currentTestFunction(), total);
        QVERIFY2(total > 5, qPrintable(QString::number(total)));
    }
};

QTEST_GUILESS_MAIN(TestFaultsZip)
#include "test_faults_zip.moc"
