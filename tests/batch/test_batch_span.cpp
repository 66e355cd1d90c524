// The batch page given the last part of a set extracts the whole set.

#include "BatchFixture.h"

#include "zipengine/TZipEngine.h"

class TestBatchSpan : public QObject {
    Q_OBJECT
    BatchFixture fx;

private slots:
    void init() { fx.start(); }
    void cleanup() { fx.stop(); }

    void setFromItsLastPart()
    {
        const QString whole = fx.zip(QStringLiteral("whole.zip"), {{QStringLiteral("big.bin"), testtools::randomData(200000, 9)},
                                                                  {QStringLiteral("sub/a.txt"), "alpha"}});
        QDir().mkpath(fx.path(QStringLiteral("set")));
        TZipEngine e;
        e.Unattended = true;
        e.MaxVolumeSize = 65536;
        QCOMPARE(e.WriteSpan(whole, fx.path(QStringLiteral("set/pack.zip"))), 0);
        QCOMPARE(e.CurrentDisk, 3);
        fx.select({fx.path(QStringLiteral("set/pack004.zip"))});
        QCOMPARE(fx.rows(), 1);
        fx.unzip();
        QVERIFY2(fx.prompter.lastText().startsWith(QStringLiteral("THE BATCH UNZIP PROCESS IS COMPLETE.")),
                 qPrintable(fx.prompter.lastText()));
        QCOMPARE(testtools::readFile(fx.path(QStringLiteral("set/pack004/big.bin"))), testtools::randomData(200000, 9));
        QCOMPARE(testtools::readFile(fx.path(QStringLiteral("set/pack004/sub/a.txt"))), QByteArray("alpha"));
    }
};

QTEST_MAIN(TestBatchSpan)
#include "test_batch_span.moc"
