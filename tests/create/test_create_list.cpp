// The create page's source list: the path rule, duplicates, dot-names, the
// cut-off date, undo, remove, reset, the add options, drops and big folders.

#include "CreateFixture.h"

#include "create/SourceList.h"
#include "create/TDatePickForm.h"
#include "platform/Numbers.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTreeView>

using namespace CreateFixture;

class TestCreateList : public QObject {
    Q_OBJECT

    Scratch dir_;
    Window w_;

    QString file(const QString& rel, int size = 5) { return dir_.file(rel, QByteArray(size, 'x')); }
    // The tree data/a/x.txt, data/b.txt, data/.profile, data/a/.hidden/y.txt.
    QString dataTree()
    {
        file(QStringLiteral("data/a/x.txt"), 10);
        file(QStringLiteral("data/b.txt"), 20);
        file(QStringLiteral("data/.profile"), 30);
        file(QStringLiteral("data/a/.hidden/y.txt"), 40);
        return dir_.filePath(QStringLiteral("data"));
    }
    // The folder without its leading "/", as the Path column shows it.
    static QString noDrive(const QString& folder)
    {
        return QString(folder).mid(1).replace(QLatin1Char('/'), QLatin1Char('\\'));
    }

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
        w_.open();
    }
    void cleanup()
    {
        w_.closeWindow();
    }

    void pathRule()
    {
        using SourceList::PathCell;
        // A file added by itself: relative gives its own folder's name.
        QCOMPARE(PathCell(QStringLiteral("/data/a"), 6, true, true), QStringLiteral("a"));
        QCOMPARE(PathCell(QStringLiteral("/data/a"), 6, true, false), QStringLiteral("data\\a"));
        // The folder /data chosen (root length 1).
        QCOMPARE(PathCell(QStringLiteral("/data/a"), 1, true, true), QStringLiteral("data\\a"));
        // Files in the root.
        QCOMPARE(PathCell(QStringLiteral("/"), 1, true, true), QString());
        QCOMPARE(PathCell(QStringLiteral("/"), 1, true, false), QString());
        // Save folders off: always empty.
        QCOMPARE(PathCell(QStringLiteral("/data/a"), 1, false, true), QString());
        QCOMPARE(SourceList::FileFolder(QStringLiteral("/x.txt")), QStringLiteral("/"));
        QCOMPARE(SourceList::FileFolder(QStringLiteral("/data/a/x.txt")), QStringLiteral("/data/a"));
        QCOMPARE(SourceList::FindEndingSlash(QStringLiteral("/data/photos")), 6);
    }

    void folderRowsAndPaths_data()
    {
        QTest::addColumn<bool>("relative");
        QTest::addColumn<bool>("saveFolders");
        QTest::newRow("relative") << true << true;
        QTest::newRow("not relative") << false << true;
        QTest::newRow("no folders") << true << false;
    }
    void folderRowsAndPaths()
    {
        QFETCH(bool, relative);
        QFETCH(bool, saveFolders);
        const QString data = dataTree();
        w_.settings().RelativePaths = relative;
        w_.settings().SaveFolders = saveFolders;
        w_.addFolder(data);
        TCreatePage* p = w_.page;
        // Names beginning with a dot are skipped, folders and files alike.
        QCOMPARE(p->RowCount(), 2);
        QStringList files = w_.column(TCreatePage::FileColumn);
        files.sort();
        QCOMPARE(files, (QStringList{QStringLiteral("b.txt"), QStringLiteral("x.txt")}));
        for (int r = 0; r < 2; ++r) {
            const QString source = w_.cell(r, TCreatePage::SourceColumn);
            const QString folder = QFileInfo(source).absolutePath();
            QString expected;
            if (saveFolders)
                expected = relative ? QString(folder).mid(dir_.path().size() + 1).replace('/', '\\') : noDrive(folder);
            QCOMPARE(w_.cell(r, TCreatePage::PathColumn), expected);
            QVERIFY(QFileInfo(source).isFile());
        }
        if (saveFolders && relative) {
            const int x = files.indexOf(QStringLiteral("x.txt"));
            Q_UNUSED(x);
            QVERIFY(w_.column(TCreatePage::PathColumn).contains(QStringLiteral("data\\a")));
            QVERIFY(w_.column(TCreatePage::PathColumn).contains(QStringLiteral("data")));
        }
        QCOMPARE(p->NumfilesEdit->text(), QStringLiteral("2"));
        QCOMPARE(p->TotalFileSizeEdit->text(), QStringLiteral("30"));
        QCOMPARE(w_.historyButtons(), QList<bool>({true, true, true}));
        QVERIFY(!w_.settings().AddOptionsEditable);
    }

    void fileAddedAloneGetsItsFolder()
    {
        const QString x = file(QStringLiteral("data/a/x.txt"), 1234567);
        w_.settings().RelativePaths = true;
        w_.addFiles({x});
        QCOMPARE(w_.cell(0, TCreatePage::PathColumn), QStringLiteral("a"));
        QCOMPARE(w_.cell(0, TCreatePage::SizeColumn), QStringLiteral("1,234,567"));
        QCOMPARE(w_.cell(0, TCreatePage::SourceColumn), x);
        QCOMPARE(w_.cell(0, TCreatePage::DateColumn), Platform::DateTimeText(QFileInfo(x).lastModified()));
        QCOMPARE(w_.page->TotalFileSizeEdit->text(), QStringLiteral("1,234,567"));
        QCOMPARE(w_.settings().LastAddFolder, QFileInfo(x).absolutePath());
        w_.page->ZipResetButtonClick();
        w_.settings().RelativePaths = false;
        w_.addFiles({x});
        QCOMPARE(w_.cell(0, TCreatePage::PathColumn), noDrive(QFileInfo(x).absolutePath()));
    }

    void duplicatesAndAddsThatAddNothing()
    {
        const QString a = file(QStringLiteral("a.txt"));
        const QString b = file(QStringLiteral("b.txt"));
        w_.addFiles({a, b});
        QCOMPARE(w_.page->RowCount(), 2);
        // The same file again adds nothing and leaves the history as it was.
        w_.addFiles({a});
        QCOMPARE(w_.page->RowCount(), 2);
        QCOMPARE(w_.page->UndoHistory.ActionCount(), 1);
        QCOMPARE(w_.historyButtons(), QList<bool>({true, true, true}));
        // A cancelled dialog too.
        w_.addFiles({});
        QCOMPARE(w_.page->UndoHistory.ActionCount(), 1);
        QCOMPARE(w_.historyButtons(), QList<bool>({true, true, true}));
        // A drop of the same file as well; a path that does not exist is ignored.
        w_.page->UpdateZipWindow({b, dir_.filePath(QStringLiteral("gone.txt"))});
        QCOMPARE(w_.page->RowCount(), 2);
        QCOMPARE(w_.page->UndoHistory.ActionCount(), 1);
        // On an empty list an add that adds nothing leaves everything off.
        w_.page->ZipResetButtonClick();
        w_.addFiles({});
        QCOMPARE(w_.historyButtons(), QList<bool>({false, false, false}));
        QVERIFY(w_.page->UndoHistory.Empty());
    }

    void folderTwiceListsTwice()
    {
        const QString data = dataTree();
        w_.addFolder(data);
        w_.prompter.onDialog([](QDialog& d) { return FinishScan(d); });
        w_.page->UpdateZipWindow({data});
        QCOMPARE(w_.page->RowCount(), 4);
        QCOMPARE(w_.page->ZipListTotal, 60);
        QCOMPARE(w_.page->UndoHistory.ActionCount(), 2);
        w_.page->ZipUndoButtonClick();
        QCOMPARE(w_.page->RowCount(), 2);
        QCOMPARE(w_.page->TotalFileSizeEdit->text(), QStringLiteral("30"));
    }

    void undoAfterRemoveAndOfAnEmptiedList()
    {
        const QString a = file(QStringLiteral("one/a.txt"), 1);
        const QString b = file(QStringLiteral("two/b.txt"), 2);
        const QString c = file(QStringLiteral("two/c.txt"), 4);
        w_.addFiles({a});
        w_.addFolder(dir_.filePath(QStringLiteral("two")));
        QCOMPARE(w_.page->RowCount(), 3);
        // Remove b (select it first), then undo the folder: c goes, a stays.
        const int rowB = w_.column(TCreatePage::FileColumn).indexOf(QStringLiteral("b.txt"));
        w_.page->ZipListView->selectionModel()->select(w_.page->ZipListModel->index(rowB, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(w_.page->Delete2->isEnabled());
        // The Delete key in the list does what "Remove" does.
        QTest::keyClick(w_.page->ZipListView, Qt::Key_Delete);
        QVERIFY(!w_.page->Delete2->isEnabled());
        QCOMPARE(w_.page->ZipListTotal, 5);
        QCOMPARE(w_.page->RowCount(), 2);
        // With nothing highlighted it removes nothing.
        QTest::keyClick(w_.page->ZipListView, Qt::Key_Delete);
        QCOMPARE(w_.page->RowCount(), 2);
        w_.page->ZipUndoButtonClick();
        QCOMPARE(w_.column(TCreatePage::FileColumn), QStringList{QStringLiteral("a.txt")});
        QCOMPARE(w_.page->ZipListTotal, 1);
        QCOMPARE(w_.historyButtons(), QList<bool>({true, true, true}));
        // Remove emptied the list: the undo discards the action and finishes.
        QVERIFY(!w_.settings().AddOptionsEditable);
        w_.page->SelectAll2Click();
        QVERIFY(w_.page->Delete2->isEnabled());
        w_.page->Delete2Click();
        QCOMPARE(w_.page->RowCount(), 0);
        // Remove does not make the add options editable again; the undo that empties the list does.
        QVERIFY(!w_.settings().AddOptionsEditable);
        w_.page->ZipUndoButtonClick();
        QVERIFY(w_.page->UndoHistory.Empty());
        QCOMPARE(w_.historyButtons(), QList<bool>({false, false, false}));
        QVERIFY(w_.settings().AddOptionsEditable);
        QCOMPARE(w_.page->NumfilesEdit->text(), QStringLiteral("0"));
        QCOMPARE(w_.page->TotalFileSizeEdit->text(), QStringLiteral("0"));
    }

    void resetEmptiesEverything()
    {
        w_.addFiles({file(QStringLiteral("a.txt"))});
        QVERIFY(!w_.settings().AddOptionsEditable);
        w_.page->SelectAll2Click();
        w_.page->ZipResetButtonClick();
        QCOMPARE(w_.page->RowCount(), 0);
        QCOMPARE(w_.page->ZipListTotal, 0);
        QVERIFY(w_.page->UndoHistory.Empty());
        QCOMPARE(w_.historyButtons(), QList<bool>({false, false, false}));
        QVERIFY(!w_.page->Delete2->isEnabled());
        QVERIFY(w_.settings().AddOptionsEditable);
        QVERIFY(w_.page->OpenFilesZipButton->isEnabled());
    }

    void cutOffDate()
    {
        const QString old = file(QStringLiteral("old.txt"));
        const QString fresh = file(QStringLiteral("new.txt"));
        {
            QFile f(old);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime(QDate(2001, 5, 1), QTime(12, 0)), QFileDevice::FileModificationTime));
        }
        // Cancelling the dialog switches the filter off and adds as usual.
        w_.settings().DateFilter = true;
        w_.prompter.onDialog([](QDialog& d) {
            auto* cancel = d.findChild<QPushButton*>(QStringLiteral("CancelButton"));
            if (!cancel)
                return -2;
            QTest::mouseClick(cancel, Qt::LeftButton);
            return d.result();
        });
        w_.addFiles({old});
        QCOMPARE(w_.prompter.dialogTitles,
                 QStringList{QStringLiteral("Select the cut off date for selecting files to include in the Zip File")});
        QVERIFY(!w_.settings().DateFilter);
        QCOMPARE(w_.settings().CreateCutOff, 0);
        QCOMPARE(w_.page->RowCount(), 1);
        // A chosen date filters older files, in ADD FILES and in folder scans, and is asked once.
        w_.page->ZipResetButtonClick();
        w_.settings().DateFilter = true;
        w_.prompter.onDialog([](QDialog&) { return TDatePickForm::DayNumber(QDate(2010, 1, 1)); });
        w_.addFiles({old, fresh});
        QCOMPARE(w_.column(TCreatePage::FileColumn), QStringList{QStringLiteral("new.txt")});
        QCOMPARE(w_.settings().CreateCutOff, TDatePickForm::DayNumber(QDate(2010, 1, 1)));
        w_.page->ZipResetButtonClick();
        w_.addFolder(dir_.path());
        QCOMPARE(w_.column(TCreatePage::FileColumn), QStringList{QStringLiteral("new.txt")});
    }

    void stopEndsTheScanEarly()
    {
        for (int i = 0; i < 3000; ++i)
            file(QStringLiteral("many/f%1.txt").arg(i), 1);
        w_.prompter.answerFolder(dir_.filePath(QStringLiteral("many")));
        int shown = -1;
        w_.prompter.onDialog([&shown](QDialog& d) {
            auto& form = static_cast<TAddFolderForm&>(d);
            QTest::mouseClick(form.StopButton, Qt::LeftButton);
            const bool stopButtonOff = !form.StopButton->isEnabled();
            const int r = FinishScan(d);
            shown = form.CountLabel->text().toInt();
            return stopButtonOff ? r : -2;
        });
        w_.page->OpenFolderzipButtonClick();
        // The rows are exactly what the scan had found when it stopped.
        QCOMPARE(w_.page->RowCount(), shown);
        QVERIFY(w_.page->RowCount() <= 3000);
        QCOMPARE(w_.page->ZipListTotal, w_.page->RowCount());
        QCOMPARE(w_.historyButtons(), QList<bool>(3, w_.page->RowCount() > 0));
    }

    void bigFolderInOneAppendWhileTheWindowTurns()
    {
        const QString big = dir_.filePath(QStringLiteral("big"));
        QDir().mkpath(big);
        for (int i = 0; i < 20000; ++i) {
            QFile f(big + QStringLiteral("/n%1.dat").arg(i));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("ab");
        }
        QSignalSpy inserted(w_.page->ZipListModel, &QAbstractItemModel::rowsInserted);
        int turns = 0;
        w_.addFolder(big, &turns);
        QCOMPARE(w_.page->RowCount(), 20000);
        QCOMPARE(inserted.count(), 1);
        QVERIFY(turns > 0);
        QCOMPARE(w_.page->NumfilesEdit->text(), QStringLiteral("20,000"));
        QCOMPARE(w_.page->TotalFileSizeEdit->text(), QStringLiteral("40,000"));
        QCOMPARE(w_.page->UndoHistory.RecordCount(), 20000);
        // Undo takes them all back.
        w_.page->ZipUndoButtonClick();
        QCOMPARE(w_.page->RowCount(), 0);
    }

    void dropOfFilesAndFolders()
    {
        const QString data = dataTree();
        const QString loose = file(QStringLiteral("loose.txt"), 3);
        w_.prompter.onDialog([](QDialog& d) { return FinishScan(d); });
        w_.page->UpdateZipWindow({loose, data});
        QCOMPARE(w_.page->RowCount(), 3);
        QCOMPARE(w_.page->UndoHistory.ActionCount(), 1);
        QCOMPARE(w_.page->UndoHistory.RecordCount(), 3);
        QCOMPARE(w_.page->ZipListTotal, 33);
        QVERIFY(w_.page->ZipStatusBar->currentMessage().isEmpty());
    }

    void pageSwitchClearsTheList()
    {
        w_.addFiles({file(QStringLiteral("a.txt"))});
        w_.prompter.answer(PromptButton::No);
        QVERIFY(!w_.form->SelectPage(TForm1::BatchPageIndex));
        QCOMPARE(w_.page->RowCount(), 1);
        w_.prompter.answer(PromptButton::Yes);
        QVERIFY(w_.form->SelectPage(TForm1::BatchPageIndex));
        QCOMPARE(w_.prompter.lastText(), QStringLiteral("CLEAR THE CURRENT ENTRIES AND SWITCH TO A NEW WINDOW?"));
        QCOMPARE(w_.page->RowCount(), 0);
        QVERIFY(w_.page->UndoHistory.Empty());
        QCOMPARE(w_.historyButtons(), QList<bool>({false, false, false}));
        QVERIFY(w_.settings().AddOptionsEditable);
    }
};

QTEST_MAIN(TestCreateList)
#include "test_create_list.moc"
