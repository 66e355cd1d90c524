// A single-archive operation on the window's thread lets the window handle
// input through its progress: a page switch asked for meanwhile is refused
// and closing waits for the operation's end.

#include "PageFixture.h"

#include "create/TCreatePage.h"
#include "create/TUpdatePage.h"
#include "zipengine/TZipEngine.h"

#include <QTabBar>
#include <QTabWidget>

class TestBusy : public QObject {
    Q_OBJECT
    PageFixture f_;

    QString fourFiles()
    {
        QList<ZipFixture::Entry> e;
        for (int i = 0; i < 4; ++i)
            e << ZipFixture::Entry{QStringLiteral("f%1.txt").arg(i), QByteArray(5000 + i, char('a' + i))};
        return f_.zip(QStringLiteral("four.zip"), e);
    }
    // Runs `during` from the first progress event of an extraction of every
    // row into a new folder; returns that folder.
    QString extractWith(const std::function<void()>& during)
    {
        TZipEngine& engine = *f_.form->ZipEngine;
        auto previous = engine.OnProgress;
        bool ran = false;
        engine.OnProgress = [&](TZipEngine& e, TZipEngine::ProgressType t, const QString& n, int32_t s) {
            if (!ran) {
                ran = true;
                during();
            }
            if (previous)
                previous(e, t, n, s);
        };
        PageFixture::select(f_.page->UnzipListView, {0, 1, 2, 3});
        const QString dest = f_.folder(QStringLiteral("out"));
        f_.page->DoUnzip(dest);
        engine.OnProgress = previous;
        if (!ran)
            qWarning("no progress event came");
        return dest;
    }
    void checkExtracted(const QString& dest)
    {
        QCOMPARE(PageFixture::files(dest), (QStringList{"f0.txt", "f1.txt", "f2.txt", "f3.txt"}));
        QCOMPARE(testtools::readFile(dest + "/f3.txt"), QByteArray(5003, 'd'));
        QCOMPARE(f_.page->RowCount(), 4);
        QVERIFY(f_.page->UnzipButton->isEnabled());
        QCOMPARE(f_.form->CurrentPage(), int(TForm1::UnzipPageIndex));
        QCOMPARE(f_.form->TabbedNotebook->currentIndex(), int(TForm1::UnzipPageIndex));
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
        f_.prompter.failOnUnexpected = true;
        f_.form->show();
        f_.open(fourFiles());
        QCOMPARE(f_.page->RowCount(), 4);
        f_.prompter.clear();
    }
    void cleanup() { f_.finish(); }

    // Through the window's call, the tab strip's mouse press and the keyboard:
    // none switches, none asks the create page's question, nothing is cleared.
    void switchFromAProgressCallbackIsRefused()
    {
        bool selected = true;
        const QString dest = extractWith([&] {
            selected = f_.form->SelectPage(TForm1::CreatePageIndex);
            QTabBar* bar = f_.form->TabbedNotebook->tabBar();
            QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(TForm1::UpdatePageIndex).center());
            f_.form->TabbedNotebook->setCurrentIndex(TForm1::SfxPageIndex);
        });
        QVERIFY(!selected);
        QCOMPARE(f_.prompter.messages.size(), 0);
        checkExtracted(dest);
        QCOMPARE(f_.form->UpdatePage->RowCount(), 0);
        QCOMPARE(f_.form->DropTarget(), f_.page->UnzipListView);
        // Once it has ended the switch is possible again.
        f_.prompter.answer(PromptButton::No);
        QVERIFY(!f_.form->SelectPage(TForm1::CreatePageIndex));
        QCOMPARE(f_.prompter.texts(),
                 QStringList{QStringLiteral("WOULD YOU LIKE TO CLEAR THE LOADED FILE AND CREATE A NEW ZIPFILE?")});
    }

    void closeWaitsForTheOperation()
    {
        bool closedAtOnce = true;
        const QString dest = extractWith([&] { closedAtOnce = f_.form->close(); });
        QVERIFY(!closedAtOnce);
        checkExtracted(dest);
        QVERIFY(!f_.form->CloseCodeDone());
        QTRY_VERIFY(f_.form->CloseCodeDone());
        QVERIFY(!f_.form->isVisible());
    }
};

QTEST_MAIN(TestBusy)
#include "test_busy.moc"
