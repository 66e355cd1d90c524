// The unzip page on a set of numbered parts: given its last part it lists
// and extracts the whole set; given an earlier part it says which part that
// is and lists nothing.

#include "PageFixture.h"

#include "zipengine/TZipEngine.h"

using ZipFixture::Entry;

class TestUnzipSpan : public QObject {
    Q_OBJECT
    PageFixture f_;

    // A set in parts of 64 KiB from three entries, named after `name`;
    // returns its last part.
    QString makeSet(const QString& name, int& parts)
    {
        const QString whole = f_.zip(name + QStringLiteral("-whole.zip"),
                                     {{QStringLiteral("noise.bin"), testtools::randomData(150000, 3)},
                                      {QStringLiteral("docs/readme.txt"), "read me"},
                                      {QStringLiteral("docs/more.bin"), testtools::randomData(40000, 4)}});
        TZipEngine e;
        e.Unattended = true;
        e.MaxVolumeSize = 65536;
        if (e.WriteSpan(whole, f_.path(name + QStringLiteral(".zip"))) != 0)
            return QString();
        parts = e.CurrentDisk + 1;
        return TZipEngine::PartFileName(f_.path(name + QStringLiteral(".zip")), parts);
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
    }
    void cleanup() { f_.finish(); }

    void lastPartListsAndExtractsTheSet()
    {
        int parts = 0;
        const QString last = makeSet(QStringLiteral("set"), parts);
        QCOMPARE(parts, 3);
        f_.open(last);
        QCOMPARE(f_.prompter.texts(), QStringList());
        QCOMPARE(f_.page->UnzipListModel->rowCount(), 3);
        QCOMPARE(f_.page->UnzipListModel->item(1, 0)->text(), QStringLiteral("readme.txt"));
        QCOMPARE(f_.page->UnzipListModel->item(1, 3)->text(), QStringLiteral("docs\\"));
        f_.page->UnzipListView->selectAll();
        const QString dest = f_.folder(QStringLiteral("out"));
        f_.prompter.clear();
        f_.prompter.answerFolder(dest);
        QTest::mouseClick(f_.page->UnzipButton, Qt::LeftButton);
        QCOMPARE(f_.prompter.texts(), QStringList{success(QStringLiteral("set003.zip"), dest)});
        QCOMPARE(PageFixture::files(dest), (QStringList{"docs/more.bin", "docs/readme.txt", "noise.bin"}));
        QCOMPARE(testtools::readFile(dest + "/noise.bin"), testtools::randomData(150000, 3));
    }

    void earlierPartsSayWhichTheyAre()
    {
        int parts = 0;
        QVERIFY(!makeSet(QStringLiteral("parts"), parts).isEmpty());
        f_.open(f_.path(QStringLiteral("parts002.zip")));
        QCOMPARE(f_.prompter.texts(), QStringList{QStringLiteral(
                                          "This is the 2th disk in a backup set,\nplease insert the last disk of this set")});
        QCOMPARE(f_.page->UnzipListModel->rowCount(), 0);
        f_.prompter.clear();
        f_.open(f_.path(QStringLiteral("parts001.zip")));
        QCOMPARE(f_.prompter.texts(), QStringList{QStringLiteral(
                                          "This is the first disk in a backup set,\nplease insert the last disk of this set")});
        QCOMPARE(f_.page->UnzipListModel->rowCount(), 0);
    }
};

QTEST_MAIN(TestUnzipSpan)
#include "test_unzip_span.moc"
