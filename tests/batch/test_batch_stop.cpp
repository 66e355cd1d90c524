// STOP and closing during a batch run of a big zip: the zip in work stops at
// the library's next callback instead of running to its end.

#include "BatchFixture.h"

#include "zipengine/TZipEngine.h"

#include <QElapsedTimer>
#include <QThread>

#include <atomic>
#include <memory>

namespace {
constexpr int Parts = 20;
constexpr int PartSize = 10 << 20;  // 200 MB in all
} // namespace

class TestBatchStop : public QObject {
    Q_OBJECT
    BatchFixture fx;
    QTemporaryDir store_;  // the big zip, made once
    QString big_;

    // Bytes extracted below `folder`.
    static qint64 extractedBytes(const QString& folder)
    {
        qint64 n = 0;
        for (const QString& f : testtools::filesBelow(folder))
            n += QFileInfo(folder + QLatin1Char('/') + f).size();
        return n;
    }

    // Extraction is faster than any polling: the engine's first byte count
    // of a run holds the run there until a stop is asked for (or 10 s pass),
    // so the stop always meets the zip part-way. The run extracts on one
    // thread here (workers run ahead of the callbacks; their stop is tested
    // with the module).
    std::shared_ptr<std::atomic<bool>> holdAtFirstBytes()
    {
        auto reached = std::make_shared<std::atomic<bool>>(false);
        TZipEngine& engine = *fx.form->ZipEngine;
        auto passOn = engine.OnProgress;
        engine.OnProgress = [passOn, reached](TZipEngine& e, TZipEngine::ProgressType type, const QString& name,
                                              int32_t size) {
            passOn(e, type, name, size);
            if (type != TZipEngine::ProgressBytes || reached->exchange(true))
                return;
            for (int waited = 0; !e.CancelFlag && waited < 10000; ++waited)
                QThread::msleep(1);
        };
        return reached;
    }

    // Starts a run over the big zip and waits until its extraction has begun.
    void startBigRun()
    {
        QVERIFY(QFile::copy(big_, fx.path(QStringLiteral("big.zip"))));
        fx.select({fx.path(QStringLiteral("big.zip"))});
        fx.answerDestination(QString());
        const auto reached = holdAtFirstBytes();
        fx.page->BatchUnzipButton->click();
        QVERIFY(fx.state().Running);
        QTRY_VERIFY_WITH_TIMEOUT(reached->load(), 60000);
        QVERIFY(fx.state().Running);
    }

private slots:
    void initTestCase()
    {
        QUARN_REQUIRE_PEER("python3");
        qputenv("QUARN_UNZIP_THREADS", "1");
        // Stored incompressible parts: the library's work is all writing.
        big_ = store_.filePath(QStringLiteral("big.zip"));
        const testtools::Run r = testtools::python(
            "import sys, os, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:\n"
            "    for i in range(int(sys.argv[2])):\n"
            "        z.writestr('part%02d.bin' % i, os.urandom(int(sys.argv[3])))\n",
            {big_, QString::number(Parts), QString::number(PartSize)});
        QVERIFY2(r.code == 0, r.err.constData());
        QVERIFY(QFileInfo(big_).size() > qint64(Parts) * PartSize);
    }

    void init()
    {
        fx.start();
        QVERIFY2(fx.form->ZipEngine->UnzLibVersion() > 0, "the compression modules are not built");
    }
    void cleanup() { fx.stop(); }

    void stopEndsTheZipWithinASecond()
    {
        startBigRun();
        QElapsedTimer clock;
        clock.start();
        fx.page->BatchThreadStopButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(!fx.state().Running, 60000);
        const qint64 took = clock.elapsed();
        QVERIFY2(took < 1000, qPrintable(QStringLiteral("the run ended %1 ms after STOP").arg(took)));
        fx.waitForEnd();
        // Cut short: the zip stays listed as it was and is not all written out.
        QVERIFY(extractedBytes(fx.path(QStringLiteral("big"))) < qint64(Parts) * PartSize);
        QCOMPARE(fx.names(), QStringList{QStringLiteral("big.zip")});
        QCOMPARE(fx.icon(0), int(TBatchPage::ZipIcon));
        QVERIFY(!fx.form->ZipEngine->CancelFlag);
    }

    // With a move folder chosen, the zip cut short stays where it was and the
    // end message says so.
    void stopWithAMoveFolderMovesNothing()
    {
        const QString keep = fx.path(QStringLiteral("keep"));
        QVERIFY(QFile::copy(big_, fx.path(QStringLiteral("big.zip"))));
        fx.select({fx.path(QStringLiteral("big.zip"))});
        fx.chooseMoveFolder(keep);
        fx.answerDestination(QString());
        fx.answerMoveOptions(true);
        const auto reached = holdAtFirstBytes();
        fx.page->BatchUnzipButton->click();
        QVERIFY(fx.state().Running);
        QTRY_VERIFY_WITH_TIMEOUT(reached->load(), 60000);
        fx.page->BatchThreadStopButton->click();
        fx.waitForEnd();
        QVERIFY(QFileInfo::exists(fx.path(QStringLiteral("big.zip"))));
        QVERIFY(QDir(keep).isEmpty());
        const QString text = fx.prompter.lastText();
        QVERIFY2(text.contains(QStringLiteral("THE ZIP FILES WERE NOT MOVED. \r\r")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("MOVED TO THE FOLDER")), qPrintable(text));
    }

    void closingDoesNotWaitForTheZip()
    {
        startBigRun();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(fx.form->close());
        const qint64 took = clock.elapsed();
        QVERIFY(fx.form->CloseCodeDone());
        QVERIFY(!fx.state().Running);
        QVERIFY2(took < 1000, qPrintable(QStringLiteral("closing took %1 ms").arg(took)));
        QVERIFY(extractedBytes(fx.path(QStringLiteral("big"))) < qint64(Parts) * PartSize);
    }
};

QTEST_MAIN(TestBatchStop)
#include "test_batch_stop.moc"
