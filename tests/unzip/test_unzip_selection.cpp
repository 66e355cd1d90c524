// Selection on the unzip page (Select All, UnSelect All, clicks) and the
// display filter: its dialog's rules, the type rows, the pattern test, the
// filtered view and extraction from it, Display All, the drop target.

#include "PageFixture.h"

#include "settings/AppState.h"
#include "settings/Settings.h"
#include "unzip/TUnzipFileTypeform.h"

#include <QCheckBox>
#include <QLineEdit>

using ZipFixture::Entry;

namespace {
// The caption of the type row beginning with `prefix` ("" when none).
QString typeRow(const TUnzipFileTypeform& form, const QString& prefix)
{
    for (int r = 0; r < form.ListModel->rowCount(); ++r)
        if (form.ListModel->item(r)->text().startsWith(prefix))
            return form.ListModel->item(r)->text();
    return QString();
}
QStringList typeRows(const TUnzipFileTypeform& form)
{
    QStringList l;
    for (int r = 0; r < form.ListModel->rowCount(); ++r)
        l << form.ListModel->item(r)->text();
    return l;
}
} // namespace

class TestUnzipSelection : public QObject {
    Q_OBJECT
    PageFixture f_;
    QList<int> launched_;

    QString tenFiles()
    {
        QList<Entry> e;
        for (int i = 0; i < 10; ++i)
            e << Entry{(i % 3 == 0 ? QStringLiteral("keep%1.txt") : QStringLiteral("other%1.txt")).arg(i),
                       QByteArray("content ") + QByteArray::number(i)};
        return f_.zip(QStringLiteral("ten.zip"), e);
    }
    // Runs the filter with the pattern `pattern` (no types).
    void filterByPattern(const QString& pattern, bool wholeWord = false, bool caseSensitive = false)
    {
        f_.prompter.onDialog([=](QDialog& d) {
            auto& form = static_cast<TUnzipFileTypeform&>(d);
            QTest::mouseClick(form.MatchCheckBox, Qt::LeftButton);
            QTest::keyClicks(form.Edit, pattern);
            form.WholeWordCheckBox->setChecked(wholeWord);
            form.CaseCheckBox->setChecked(caseSensitive);
            QTest::mouseClick(form.OKButton, Qt::LeftButton);
            return form.result();
        });
        QTest::mouseClick(f_.page->SelectButton, Qt::LeftButton);
    }
    void clickRow(QTreeView* view, int row, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        const QRect r = view->visualRect(view->model()->index(row, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, mods, r.center());
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
        launched_.clear();
        f_.page->LaunchEntry = [this](int row) { launched_ << row; };
        f_.page->resize(600, 400);
        f_.form->show();
    }
    void cleanup()
    {
        f_.finish();
    }

    void selectAllAndUnselectAll()
    {
        f_.open(tenFiles());
        QTreeView* v = f_.page->UnzipListView;
        QCOMPARE(PageFixture::selected(v).size(), 10);  // selected on load
        QTest::mouseClick(f_.page->UnSelectAllButton, Qt::LeftButton);
        QVERIFY(PageFixture::selected(v).isEmpty());
        QVERIFY(!f_.page->UnzipButton->isEnabled());
        QVERIFY(f_.page->SelectAllButton->isEnabled());
        QTest::mouseClick(f_.page->SelectAllButton, Qt::LeftButton);
        QCOMPARE(PageFixture::selected(v).size(), 10);
        QVERIFY(f_.page->UnzipButton->isEnabled());
        QVERIFY(f_.page->OpenUnzipButton->isEnabled());
        QVERIFY(f_.prompter.messages.isEmpty());
    }

    void clicks()
    {
        f_.open(tenFiles());
        QTreeView* v = f_.page->UnzipListView;
        // A plain left click selects the row and opens it.
        clickRow(v, 1);
        QCOMPARE(PageFixture::selected(v), QList<int>{1});
        QCOMPARE(launched_, QList<int>{1});
        QVERIFY(f_.page->UnzipButton->isEnabled());
        // Ctrl and Shift clicks only change the selection.
        clickRow(v, 4, Qt::ControlModifier);
        QCOMPARE(PageFixture::selected(v), (QList<int>{1, 4}));
        clickRow(v, 6, Qt::ShiftModifier);
        QCOMPARE(PageFixture::selected(v), (QList<int>{1, 4, 5, 6}));
        QCOMPARE(launched_, QList<int>{1});
        // Ctrl-clicking the rows away leaves nothing highlighted: UNZIP goes off.
        PageFixture::select(v, {2});
        clickRow(v, 2, Qt::ControlModifier);
        QVERIFY(PageFixture::selected(v).isEmpty());
        QVERIFY(!f_.page->UnzipButton->isEnabled());
        // A right click neither opens nor is a plain click.
        const QRect r = v->visualRect(v->model()->index(3, 0));
        QTest::mouseClick(v->viewport(), Qt::RightButton, Qt::NoModifier, r.center());
        QCOMPARE(launched_, QList<int>{1});
        // Without a launcher a plain click only selects.
        f_.page->LaunchEntry = nullptr;
        clickRow(v, 7);
        QCOMPARE(PageFixture::selected(v), QList<int>{7});
    }

    void patternTest()
    {
        const auto m = &TUnzipPage::PatternMatches;
        QVERIFY(m(QStringLiteral("ReadMe.txt"), QStringLiteral("read"), true, false));
        QVERIFY(!m(QStringLiteral("unread.txt"), QStringLiteral("read"), true, false));
        QVERIFY(m(QStringLiteral("ReadMe.txt"), QStringLiteral("read"), false, false));
        QVERIFY(m(QStringLiteral("unread.txt"), QStringLiteral("read"), false, false));
        QVERIFY(!m(QStringLiteral("ReadMe.txt"), QStringLiteral("read"), true, true));
        QVERIFY(m(QStringLiteral("ReadMe.txt"), QStringLiteral("Read"), true, true));
        QVERIFY(!m(QStringLiteral("unRead.txt"), QStringLiteral("read"), false, true));
        QVERIFY(m(QStringLiteral("unRead.txt"), QStringLiteral("Read"), false, true));
        // Wildcards: a part of the caption, or with Whole Word all of it.
        QVERIFY(m(QStringLiteral("notes.txt"), QStringLiteral("*.txt"), false, false));
        QVERIFY(m(QStringLiteral("NOTES.TXT"), QStringLiteral("*.txt"), true, false));
        QVERIFY(!m(QStringLiteral("NOTES.TXT"), QStringLiteral("*.txt"), true, true));
        QVERIFY(m(QStringLiteral("old.txt.bak"), QStringLiteral("*.txt"), false, false));
        QVERIFY(!m(QStringLiteral("old.txt.bak"), QStringLiteral("*.txt"), true, false));
        QVERIFY(m(QStringLiteral("page7.htm"), QStringLiteral("page?.htm"), true, false));
        QVERIFY(!m(QStringLiteral("page10.htm"), QStringLiteral("page?.htm"), true, false));
        QVERIFY(m(QStringLiteral("xpage1.html"), QStringLiteral("page?.htm"), false, false));
        // Other characters keep their plain meaning: "." and "[" are not special.
        QVERIFY(!m(QStringLiteral("readme"), QStringLiteral("e.m"), false, false));
        QVERIFY(m(QStringLiteral("a[1].txt"), QStringLiteral("[1]"), false, false));
    }

    void wildcardFilterThroughThePage()
    {
        f_.open(f_.zip(QStringLiteral("wild.zip"), {{QStringLiteral("a.txt"), "1"}, {QStringLiteral("b.TXT"), "2"},
                                                   {QStringLiteral("c.txt.bak"), "3"}, {QStringLiteral("d.bin"), "4"}}));
        filterByPattern(QStringLiteral("*.txt"), true);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(f_.page->UnzipFilteredListModel->rowCount(), 2);
        QCOMPARE(f_.page->UnzipFilteredListModel->item(1, 0)->text(), QStringLiteral("b.TXT"));
        filterByPattern(QStringLiteral("*.txt"), true, true);
        QCOMPARE(f_.page->UnzipFilteredListModel->rowCount(), 1);
        filterByPattern(QStringLiteral("?.zip"));
        QCOMPARE(f_.prompter.texts(),
                 QStringList{QStringLiteral("NO ITEMS WERE FOUND THAT MATCHED THE PARAMETERS YOU SPECIFIED.")});
    }

    void filterByPatternThroughThePage()
    {
        f_.open(f_.zip(QStringLiteral("read.zip"), {{QStringLiteral("ReadMe.txt"), "1"}, {QStringLiteral("unread.txt"), "2"},
                                                   {QStringLiteral("other.bin"), "3"}}));
        filterByPattern(QStringLiteral("read"), true);
        QVERIFY(f_.page->FilteredViewShowing());
        QCOMPARE(f_.page->UnzipFilteredListModel->rowCount(), 1);
        QCOMPARE(f_.page->UnzipFilteredListModel->item(0, 0)->text(), QStringLiteral("ReadMe.txt"));
        QCOMPARE(f_.page->FilterPattern, QStringLiteral("read"));
        QVERIFY(f_.page->FilterTypes.isEmpty());
        filterByPattern(QStringLiteral("read"));
        QCOMPARE(f_.page->UnzipFilteredListModel->rowCount(), 2);
        QCOMPARE(f_.page->UnzipFilteredListModel->item(1, 0)->data(TUnzipPage::FullRowRole).toInt(), 1);
        QCOMPARE(f_.page->UnzipFilteredListModel->item(1, 3)->text(), f_.page->UnzipListModel->item(1, 3)->text());
        QCOMPARE(f_.form->DropTarget(), f_.page->UnzipFilteredListView);
        QVERIFY(f_.prompter.messages.isEmpty());
    }

    void typesWithPattern()
    {
        f_.open(f_.zip(QStringLiteral("types.zip"), {{QStringLiteral("alpha.txt"), "1"},
                                                    {QStringLiteral("notes.txt"), "2"},
                                                    {QStringLiteral("DATA.DOC"), "3"},
                                                    {QStringLiteral("memo.doc"), "4"},
                                                    {QStringLiteral("map.pdf"), "5"},
                                                    {QStringLiteral("a.qqzz"), "6"},
                                                    {QStringLiteral("b.QQZZ"), "7"},
                                                    {QStringLiteral("README"), "8"}}));
        QStringList rows;
        bool okBefore = true, okAfterTick = false;
        f_.prompter.onDialog([&](QDialog& d) {
            auto& form = static_cast<TUnzipFileTypeform&>(d);
            rows = typeRows(form);
            okBefore = form.OKButton->isEnabled();
            QTest::mouseClick(form.FileTypeCheckBox, Qt::LeftButton);
            form.SetTypeTicked(typeRow(form, QStringLiteral(".txt")), true);
            form.SetTypeTicked(typeRow(form, QStringLiteral(".doc")), true);
            okAfterTick = form.OKButton->isEnabled();
            QTest::mouseClick(form.MatchCheckBox, Qt::LeftButton);
            QTest::keyClicks(form.Edit, QStringLiteral("a"));
            QTest::mouseClick(form.OKButton, Qt::LeftButton);
            return form.result();
        });
        QTest::mouseClick(f_.page->SelectButton, Qt::LeftButton);
        QVERIFY(!okBefore);
        QVERIFY(okAfterTick);
        // Known types carry their description; an unknown ending is listed once as XYZFile.
        QVERIFY(rows.contains(QStringLiteral(".qqzz QQZZFile")));
        QCOMPARE(rows.filter(QStringLiteral("QQZZ")).size(), 1);
        QVERIFY(typeRows(TUnzipFileTypeform()).isEmpty());
        for (const QString& ext : f_.form->appState().IconCache)
            if (ext != QLatin1String("*"))
                QVERIFY2(rows.filter(ext).size() == 1, qPrintable(ext));
        QStringList sorted = rows;
        sorted.sort();
        QCOMPARE(rows, sorted);
        const QString txtRow = rows.filter(QStringLiteral(".txt")).value(0);
        QVERIFY2(txtRow.startsWith(QStringLiteral(".txt   ")) && txtRow.size() > 7, qPrintable(txtRow));

        QCOMPARE(f_.page->FilterTypes, (QStringList{QStringLiteral(".doc"), QStringLiteral(".txt")}));
        QStringList shown;
        for (int r = 0; r < f_.page->UnzipFilteredListModel->rowCount(); ++r)
            shown << f_.page->UnzipFilteredListModel->item(r, 0)->text();
        QCOMPARE(shown, (QStringList{QStringLiteral("alpha.txt"), QStringLiteral("DATA.DOC")}));
    }

    void noMatchKeepsTheView()
    {
        f_.open(tenFiles());
        filterByPattern(QStringLiteral("keep"));
        QCOMPARE(f_.page->UnzipFilteredListModel->rowCount(), 4);
        filterByPattern(QStringLiteral("nothing like it"));
        QCOMPARE(f_.prompter.texts(), QStringList{QStringLiteral("NO ITEMS WERE FOUND THAT MATCHED THE PARAMETERS YOU SPECIFIED.")});
        QVERIFY(f_.page->FilteredViewShowing());
        QCOMPARE(f_.page->UnzipFilteredListModel->rowCount(), 4);
        // Cancel changes nothing either.
        f_.prompter.onDialog([](QDialog& d) {
            QTest::mouseClick(static_cast<TUnzipFileTypeform&>(d).UnzipCloseButton, Qt::LeftButton);
            return d.result();
        });
        QTest::mouseClick(f_.page->SelectButton, Qt::LeftButton);
        QCOMPARE(f_.page->UnzipFilteredListModel->rowCount(), 4);
        QCOMPARE(f_.page->FilterPattern, QStringLiteral("nothing like it"));  // replaced by each accepted dialog
    }

    void unzipTakesTheFilteredSelection()
    {
        f_.open(tenFiles());
        filterByPattern(QStringLiteral("keep"));  // rows 0, 3, 6, 9
        QTreeView* fv = f_.page->UnzipFilteredListView;
        QCOMPARE(PageFixture::selected(fv).size(), 4);
        QVERIFY(f_.page->UnzipButton->isEnabled());
        PageFixture::select(fv, {1, 3});
        const QString dest = f_.folder(QStringLiteral("filtered"));
        f_.prompter.clear();
        f_.page->DoUnzip(dest);
        QCOMPARE(PageFixture::files(dest), (QStringList{QStringLiteral("keep3.txt"), QStringLiteral("keep9.txt")}));
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView), (QList<int>{3, 9}));
        QVERIFY(!f_.page->FilteredViewShowing());
        QCOMPARE(f_.page->UnzipFilteredListModel->rowCount(), 0);
        QCOMPARE(f_.form->DropTarget(), f_.page->UnzipListView);
    }

    void filteredClicksAndDisplayAll()
    {
        f_.open(tenFiles());
        filterByPattern(QStringLiteral("keep"));
        QTreeView* fv = f_.page->UnzipFilteredListView;
        // A plain click on a filtered row opens its row of the full list.
        clickRow(fv, 2);
        QCOMPARE(launched_, QList<int>{6});
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView), QList<int>{6});
        clickRow(fv, 3, Qt::ControlModifier);
        QCOMPARE(PageFixture::selected(fv), (QList<int>{2, 3}));
        QCOMPARE(launched_, QList<int>{6});
        // Select All in the filtered view selects its rows in both lists.
        QTest::mouseClick(f_.page->SelectAllButton, Qt::LeftButton);
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView), (QList<int>{0, 3, 6, 9}));
        PageFixture::select(fv, {0});
        // Display All carries the selection back.
        f_.prompter.onDialog([](QDialog& d) {
            QTest::mouseClick(static_cast<TUnzipFileTypeform&>(d).BitBtn2, Qt::LeftButton);
            return d.result();
        });
        QTest::mouseClick(f_.page->SelectButton, Qt::LeftButton);
        QVERIFY(!f_.page->FilteredViewShowing());
        QVERIFY(f_.page->UnzipListView->isVisible());
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView), QList<int>{0});
        QVERIFY(f_.page->UnzipButton->isEnabled());
        QCOMPARE(f_.page->UnzipFilteredListModel->rowCount(), 0);
        QCOMPARE(f_.form->DropTarget(), f_.page->UnzipListView);
        // UnSelect All clears both lists.
        filterByPattern(QStringLiteral("keep"));
        QTest::mouseClick(f_.page->UnSelectAllButton, Qt::LeftButton);
        QVERIFY(PageFixture::selected(fv).isEmpty());
        QVERIFY(PageFixture::selected(f_.page->UnzipListView).isEmpty());
        QVERIFY(!f_.page->UnzipButton->isEnabled());
        // RESET brings the full list back.
        QTest::mouseClick(f_.page->UnzipResetButton, Qt::LeftButton);
        QVERIFY(!f_.page->FilteredViewShowing());
    }

    void filterWithoutSelectAllOnLoad()
    {
        f_.form->settings().SelectAllOnLoad = false;
        f_.open(tenFiles());
        filterByPattern(QStringLiteral("keep"));
        QVERIFY(PageFixture::selected(f_.page->UnzipFilteredListView).isEmpty());
        QVERIFY(!f_.page->UnzipButton->isEnabled());
    }

    void dialogRules()
    {
        TUnzipFileTypeform form;
        form.AddTypeRow(QStringLiteral(".txt   Text"), QIcon());
        form.AddTypeRow(QStringLiteral(".abc ABCFile"), QIcon());
        QCOMPARE(typeRows(form), (QStringList{QStringLiteral(".abc ABCFile"), QStringLiteral(".txt   Text")}));
        QCOMPARE(form.windowTitle(), QStringLiteral("Unzip File Display Filter"));
        form.show();
        QVERIFY(!form.OKButton->isEnabled());
        QVERIFY(!form.ListView->isEnabled());
        QVERIFY(!form.Edit->isEnabled());
        QTest::mouseClick(form.FileTypeCheckBox, Qt::LeftButton);
        QVERIFY(form.ListView->isEnabled());
        QVERIFY(!form.OKButton->isEnabled());
        form.SetTypeTicked(QStringLiteral(".abc ABCFile"), true);
        QVERIFY(form.OKButton->isEnabled());
        form.SetTypeTicked(QStringLiteral(".abc ABCFile"), false);
        QVERIFY(!form.OKButton->isEnabled());
        form.SetTypeTicked(QStringLiteral(".txt   Text"), true);
        QTest::mouseClick(form.FileTypeCheckBox, Qt::LeftButton);  // off: no pattern either
        QVERIFY(!form.OKButton->isEnabled());
        QVERIFY(!form.ListView->isEnabled());
        QTest::mouseClick(form.MatchCheckBox, Qt::LeftButton);
        QVERIFY(form.Edit->isEnabled());
        QVERIFY(!form.OKButton->isEnabled());  // the pattern is empty
        QTest::keyClicks(form.Edit, QStringLiteral("x"));
        QVERIFY(form.OKButton->isEnabled());
        QTest::mouseClick(form.MatchCheckBox, Qt::LeftButton);  // off, types off
        QVERIFY(!form.OKButton->isEnabled());
        QVERIFY(!form.Edit->isEnabled());
        QTest::mouseClick(form.FileTypeCheckBox, Qt::LeftButton);  // types on, .txt ticked
        QVERIFY(form.OKButton->isEnabled());
        QTest::mouseClick(form.MatchCheckBox, Qt::LeftButton);
        // Enter in the pattern accepts at once; the types' text before the first blank is kept.
        QTest::keyClick(form.Edit, Qt::Key_Return);
        QCOMPARE(form.result(), int(TUnzipFileTypeform::Accept));
        QCOMPARE(form.FilterTypes, QStringList{QStringLiteral(".txt")});
        QCOMPARE(form.FilterPattern, QStringLiteral("x"));

        TUnzipFileTypeform cancel;
        cancel.show();
        QTest::keyClick(&cancel, Qt::Key_Escape);
        QCOMPARE(cancel.result(), int(TUnzipFileTypeform::Cancel));
        bool helped = false;
        cancel.OpenHelp = [&] { helped = true; };
        QTest::mouseClick(cancel.UnzipHelpButton, Qt::LeftButton);
        QVERIFY(helped);
    }

    void typeBoxOffWithoutTypes()
    {
        f_.open(f_.zip(QStringLiteral("bare.zip"), {{QStringLiteral("README"), "1"}, {QStringLiteral("LICENSE"), "2"}}));
        bool typeBox = true;
        f_.prompter.onDialog([&](QDialog& d) {
            auto& form = static_cast<TUnzipFileTypeform&>(d);
            typeBox = form.FileTypeCheckBox->isEnabled();
            return int(TUnzipFileTypeform::Cancel);
        });
        QTest::mouseClick(f_.page->SelectButton, Qt::LeftButton);
        QVERIFY(!typeBox);
    }
};

QTEST_MAIN(TestUnzipSelection)
#include "test_unzip_selection.moc"
