// The batch list: SELECT FILES, the folder scan, the counters, Select All,
// DELETE, RESET, the sort, the "Move Zip Files" choice, and the page's rules
// that need no widgets.

#include "BatchFixture.h"

#include "batch/BatchRules.h"
#include "platform/Numbers.h"

#include <QHeaderView>
#include <QLocale>

namespace {
const QString kScanComplete = QStringLiteral(
    "SCAN COMPLETE.\r\rYOU CAN SCAN ANOTHER FOLDER, OR USE THE \"ADD FILES\" BOX TO ADD MORE FILES OR YOU CAN PRESS THE "
    "UNZIP BUTTON TO BEGIN THE BATCH UNZIP PROCESS.\r\rIF YOU WISH TO MOVE THE ZIP FILES TO A NEW LOCATION REMEMBER TO "
    "CHECKMARK THE MOVE BOX BEFORE PRESSING THE UNZIP BUTTON.\r\rYOU CAN ALSO CLICK ONLY THOSE ZIP FILES YOU WANT TO UNZIP "
    "TO HIGHLIGHT THEM.  ONLY HIGHLIGHTED (BLUE) ZIP FILES WILL BE PROCESSED.");
const QString kNoRoom = QStringLiteral(
    "THERE IS NO ENOUGH ROOM ON THE SELECTED DRIVE TO MOVE THE ZIP FILES.  CHOOSE ANOTHER DRIVE WITH MORE FREE SPACE.");

void setTime(const QString& path, const QDateTime& t)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(t, QFileDevice::FileModificationTime));
}
} // namespace

class TestBatchList : public QObject {
    Q_OBJECT
    BatchFixture fx;

    QList<bool> listButtons() const
    {
        QList<bool> l;
        for (QPushButton* b : {fx.page->BatchResetButton, fx.page->BatchUnzipButton, fx.page->BatchSelectAllButton,
                               fx.page->BatchDeleteButton})
            l << b->isEnabled();
        return l;
    }
    QStringList counters() const
    {
        return {fx.page->BatchNumEdit->text(), fx.page->ZipSizeEdit->text(), fx.page->BatchTotalSizeEdit->text()};
    }

private slots:
    void init() { fx.start(); }
    void cleanup()
    {
        fx.stop();
    }

    void statusFolderText()
    {
        using BatchRules::StatusFolderText;
        // A folder of 100 characters: 60, "...", and the 27 before the final separator.
        const QString folder = QStringLiteral("/") + QString(60, QLatin1Char('a')) + QStringLiteral("/") +
                               QString(37, QLatin1Char('b')) + QStringLiteral("/");
        QCOMPARE(folder.size(), 100);
        const QString shown = StatusFolderText(folder);
        QCOMPARE(shown, folder.left(60) + QStringLiteral("...") + QString(27, QLatin1Char('b')));
        QCOMPARE(shown.size(), 90);
        QCOMPARE(StatusFolderText(QStringLiteral("/home/u/zips/")), QStringLiteral("/home/u/zips"));
        QCOMPARE(StatusFolderText(QStringLiteral("/")), QStringLiteral("/"));
        // 90 characters is still short enough to be shown whole.
        const QString ninety = QStringLiteral("/") + QString(88, QLatin1Char('c')) + QStringLiteral("/");
        QCOMPARE(StatusFolderText(ninety), ninety.chopped(1));
    }

    void selectFilesAddsSelectedRows()
    {
        const QString big = fx.zip(QStringLiteral("in/Big.zip"),
                                   {{QStringLiteral("one.bin"), QByteArray(1500, 'x')}, {QStringLiteral("d/two.bin"), QByteArray(700, 'y')}});
        const QString small = fx.zip(QStringLiteral("in/small.zip"));
        const QDateTime midnight(QDate(2024, 3, 5), QTime(0, 0));
        const QDateTime afternoon(QDate(2024, 3, 5), QTime(14, 7, 9));
        setTime(big, midnight);
        setTime(small, afternoon);

        fx.select({big, small, fx.path(QStringLiteral("in/gone.zip"))});
        QCOMPARE(fx.rows(), 2);  // the missing file is passed over
        QCOMPARE(fx.cell(0, 0), QStringLiteral("Big.zip"));
        QCOMPARE(fx.cell(0, 1), AddCommas(QFileInfo(big).size()));
        QVERIFY(fx.cell(0, 1).contains(QLatin1Char(',')));
        QCOMPARE(fx.cell(0, 2), QStringLiteral("2,200"));
        QCOMPARE(fx.cell(0, 3), QLocale::system().toString(midnight.date(), QLocale::ShortFormat));
        QVERIFY(fx.cell(1, 3).startsWith(QLocale::system().toString(afternoon.date(), QLocale::ShortFormat) + QLatin1Char(' ')));
        QVERIFY(fx.cell(1, 3).contains(QStringLiteral("14")));
        QCOMPARE(fx.cell(0, 4), fx.path(QStringLiteral("in")));
        QCOMPARE(fx.icon(0), int(TBatchPage::ZipIcon));
        QVERIFY(fx.selected(0) && fx.selected(1));
        QCOMPARE(listButtons(), QList<bool>({true, true, true, true}));
        QCOMPARE(counters(), QStringList({QStringLiteral("2"), AddCommas(QFileInfo(big).size() + QFileInfo(small).size()),
                                          QStringLiteral("2,205")}));

        // The same zips again, one named in other letter case: nothing is added.
        fx.select({small, fx.path(QStringLiteral("IN/SMALL.ZIP")).replace(QStringLiteral("/IN/"), QStringLiteral("/in/"))});
        QCOMPARE(fx.rows(), 2);
        QVERIFY(fx.page->CheckForDupeBatchZipDrop(fx.path(QStringLiteral("in/BIG.ZIP"))));
        QVERIFY(!fx.page->CheckForDupeBatchZipDrop(fx.path(QStringLiteral("other/Big.zip"))));
    }

    void damagedZipCountsNothing()
    {
        const QString bad = fx.path(QStringLiteral("bad.zip"));
        testtools::writeFile(bad, "this is not a zip at all");
        fx.select({bad});
        QCOMPARE(fx.rows(), 1);
        QCOMPARE(fx.cell(0, 2), QStringLiteral("0"));
    }

    void counterFollowSelection()
    {
        const QString a = fx.zip(QStringLiteral("a.zip"), {{QStringLiteral("x"), QByteArray(1000, 'x')}});
        const QString b = fx.zip(QStringLiteral("b.zip"), {{QStringLiteral("y"), QByteArray(10, 'y')}});
        fx.select({a, b});
        fx.selectOnly({1});
        QCOMPARE(counters(), QStringList({QStringLiteral("1"), AddCommas(QFileInfo(b).size()), QStringLiteral("10")}));
        fx.selectOnly({});
        QCOMPARE(counters(), QStringList({QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")}));
        fx.page->BatchSelectAllButton->click();
        QVERIFY(fx.selected(0) && fx.selected(1));
        QCOMPARE(counters()[2], QStringLiteral("1,010"));

        // DELETE removes the highlighted rows and the counters follow.
        fx.selectOnly({0});
        fx.page->BatchDeleteButton->click();
        QCOMPARE(fx.names(), QStringList({QStringLiteral("b.zip")}));
        QCOMPARE(listButtons(), QList<bool>({true, true, true, true}));
        fx.page->BatchSelectAllButton->click();
        fx.page->BatchDeleteButton->click();
        QCOMPARE(fx.rows(), 0);
        QCOMPARE(listButtons(), QList<bool>({false, false, false, false}));
        QCOMPARE(counters(), QStringList({QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")}));
    }

    void resetZeroesEverything()
    {
        fx.select({fx.zip(QStringLiteral("a.zip")), fx.zip(QStringLiteral("b.zip"))});
        fx.page->BatchCompleteEdit->setText(QStringLiteral("5"));
        fx.page->BatchTotalDoneEdit->setText(QStringLiteral("1,000"));
        fx.form->appState().WorkList << QStringLiteral("left over");
        fx.page->BatchPathStatusBar->showMessage(QStringLiteral("/somewhere"));
        fx.page->BatchResetButton->click();
        QCOMPARE(fx.rows(), 0);
        QCOMPARE(listButtons(), QList<bool>({false, false, false, false}));
        for (QLineEdit* e : {fx.page->BatchNumEdit, fx.page->BatchCompleteEdit, fx.page->ZipSizeEdit,
                             fx.page->BatchTotalSizeEdit, fx.page->BatchFileNumEdit, fx.page->BatchFileSizeEdit,
                             fx.page->BatchTotalDoneEdit})
            QCOMPARE(e->text(), QStringLiteral("0"));
        QVERIFY(fx.form->appState().WorkList.isEmpty());
        QCOMPARE(fx.page->BatchPathStatusBar->currentMessage(), QString());
        // The rest of the window is usable again.
        QVERIFY(fx.page->BatchUnzipOpenFileButton->isEnabled());
    }

    void onlyTheFileHeaderSorts()
    {
        QHeaderView* header = fx.page->BatchListView->header();
        fx.select({fx.zip(QStringLiteral("m.zip"))});
        emit header->sectionClicked(0);  // one row: no sorting from here on
        QVERIFY(!fx.page->SortedByName());
        fx.select({fx.zip(QStringLiteral("c.zip")), fx.zip(QStringLiteral("x.zip"))});
        emit header->sectionClicked(1);
        QCOMPARE(fx.names(), QStringList({QStringLiteral("m.zip"), QStringLiteral("c.zip"), QStringLiteral("x.zip")}));
        emit header->sectionClicked(0);
        QCOMPARE(fx.names(), QStringList({QStringLiteral("c.zip"), QStringLiteral("m.zip"), QStringLiteral("x.zip")}));
        // New rows keep their place in the order.
        fx.select({fx.zip(QStringLiteral("a.zip"))});
        QCOMPARE(fx.names(), QStringList({QStringLiteral("a.zip"), QStringLiteral("c.zip"), QStringLiteral("m.zip"),
                                          QStringLiteral("x.zip")}));
        QCOMPARE(fx.cell(0, 4), fx.dir->path());
    }

    void scanListsZipsInLowerCase()
    {
        fx.zip(QStringLiteral("scan/A.ZIP"), {{QStringLiteral("t.txt"), "twelve bytes"}});
        fx.zip(QStringLiteral("scan/b.zip"));
        fx.zip(QStringLiteral("scan/sub/deep/c.zip"));
        fx.zip(QStringLiteral("scan/.hidden/d.zip"));
        fx.zip(QStringLiteral("scan/.e.zip"));
        testtools::writeFile(fx.path(QStringLiteral("scan/notes.txt")), "text");
        QDir().mkpath(fx.path(QStringLiteral("scan/folder.zip")));  // a folder, not a zip

        fx.scan(fx.path(QStringLiteral("scan")), false);
        QStringList names = fx.names();
        names.sort();
        QCOMPARE(names, QStringList({QStringLiteral("a.zip"), QStringLiteral("b.zip")}));
        QCOMPARE(fx.prompter.lastText(), kScanComplete);
        const int upper = fx.names().indexOf(QStringLiteral("a.zip"));
        // The zip itself is still found under its own name.
        QCOMPARE(fx.cell(upper, 2), QStringLiteral("12"));
        QCOMPARE(fx.page->RowZipPath(upper), fx.path(QStringLiteral("scan/A.ZIP")));
        QCOMPARE(fx.cell(upper, 4), fx.path(QStringLiteral("scan")));
        QVERIFY(fx.selected(0) && fx.selected(1));
        QCOMPARE(fx.page->BatchNumEdit->text(), QStringLiteral("2"));
        QCOMPARE(listButtons(), QList<bool>({true, true, true, true}));
        QVERIFY(!fx.page->BatchListView->isHidden());
        QVERIFY(!fx.page->BatchThreadStopButton->isEnabled());
        QVERIFY(fx.page->ScanFolderForZipFilesButton->isEnabled());
        QCOMPARE(fx.page->BatchPathStatusBar->currentMessage(), QString());
        QVERIFY(fx.form->appState().WorkList.isEmpty() && fx.form->appState().InfoList.isEmpty());

        // Again with the sub-folders: only c.zip is new; dot-names stay out.
        fx.scan(fx.path(QStringLiteral("scan")), true);
        names = fx.names();
        names.sort();
        QCOMPARE(names, QStringList({QStringLiteral("a.zip"), QStringLiteral("b.zip"), QStringLiteral("c.zip")}));
        QCOMPARE(fx.page->BatchNumEdit->text(), QStringLiteral("3"));

        // A third scan adds nothing.
        fx.scan(fx.path(QStringLiteral("scan")), true);
        QCOMPARE(fx.rows(), 3);
        QCOMPARE(fx.page->BatchNumEdit->text(), QStringLiteral("3"));
        const qint64 zipBytes = QFileInfo(fx.path(QStringLiteral("scan/A.ZIP"))).size() +
                                QFileInfo(fx.path(QStringLiteral("scan/b.zip"))).size() +
                                QFileInfo(fx.path(QStringLiteral("scan/sub/deep/c.zip"))).size();
        QCOMPARE(fx.page->ZipSizeEdit->text(), AddCommas(zipBytes));
        QCOMPARE(fx.page->BatchTotalSizeEdit->text(), QStringLiteral("22"));
    }

    void scanFindingNothing()
    {
        QDir().mkpath(fx.path(QStringLiteral("empty/sub")));
        fx.scan(fx.path(QStringLiteral("empty")));
        QCOMPARE(fx.rows(), 0);
        QVERIFY(fx.prompter.messages.isEmpty());
        QCOMPARE(listButtons(), QList<bool>({false, false, false, false}));
        QVERIFY(fx.page->BatchUnzipOpenFileButton->isEnabled());

        // Cancelling the folder browser starts nothing.
        fx.prompter.answerFolder(QString());
        fx.page->ScanFolderForZipFilesButton->click();
        QVERIFY(!fx.state().Running);
        QCOMPARE(fx.prompter.fileRequests.last().title, QStringLiteral("SELECT DRIVE OR FOLDER TO SCAN FOR ZIP FILES..."));
    }

    void scanSurvivesLinkLoops()
    {
        fx.zip(QStringLiteral("loop/z.zip"));
        QVERIFY(QFile::link(fx.path(QStringLiteral("loop")), fx.path(QStringLiteral("loop/back"))));
        fx.scan(fx.path(QStringLiteral("loop")));
        QVERIFY(fx.rows() >= 1);
        QVERIFY(fx.rows() <= 2);
    }

    void stopEndsAScanNormally()
    {
        for (int i = 0; i < 60; ++i)
            fx.zip(QStringLiteral("tree/f%1/g%2/z%1.zip").arg(i).arg(i % 5));
        fx.page->ScanSubDirCheckBox->setChecked(true);
        fx.prompter.answerFolder(fx.path(QStringLiteral("tree")));
        fx.page->ScanFolderForZipFilesButton->click();
        QVERIFY(fx.page->BatchThreadStopButton->isEnabled());
        QVERIFY(fx.page->BatchListView->isHidden());
        QVERIFY(!fx.page->BatchUnzipOpenFileButton->isEnabled());
        // EXIT does nothing while the scan goes on.
        fx.page->BatchExitButton->click();
        QVERIFY(!fx.form->CloseCodeDone());
        fx.page->BatchThreadStopButton->click();
        QVERIFY(!fx.page->BatchThreadStopButton->isEnabled());
        fx.waitForEnd();
        // However far it got, what it found is listed and the page is usable.
        QVERIFY(fx.rows() <= 60);
        QCOMPARE(fx.page->BatchNumEdit->text(), QString::number(fx.rows()));
        QCOMPARE(fx.prompter.messages.isEmpty(), fx.rows() == 0);
        QVERIFY(!fx.page->BatchListView->isHidden());
        QVERIFY(fx.page->BatchUnzipOpenFileButton->isEnabled());
        QCOMPARE(fx.page->BatchUnzipButton->isEnabled(), fx.rows() > 0);
    }

    void pageStaysWhileThreadRuns()
    {
        fx.state().Running = true;
        QVERIFY(!fx.form->SelectPage(TForm1::UnzipPageIndex));
        QCOMPARE(fx.form->CurrentPage(), int(TForm1::BatchPageIndex));
        fx.page->ScanFolderForZipFilesButton->click();  // no scan while one runs: no folder asked
        fx.state().Running = false;
        QVERIFY(fx.form->SelectPage(TForm1::UnzipPageIndex));
    }

    void moveFolderChoice()
    {
        fx.select({fx.zip(QStringLiteral("a.zip"), {{QStringLiteral("x"), QByteArray(5000, 'x')}})});
        const QString keep = fx.path(QStringLiteral("keep"));
        QDir().mkpath(keep);
        const qint64 zipSize = QFileInfo(fx.path(QStringLiteral("a.zip"))).size();

        // Checking the box with an empty field asks for the folder; too little room refuses it.
        Platform::SetFreeOnDiskHook([zipSize](const QString&) { return zipSize; });
        fx.prompter.answerFolder(keep);
        fx.page->MoveZipFileCheckBox->click();
        QCOMPARE(fx.prompter.lastText(), kNoRoom);
        QCOMPARE(fx.page->MoveFolderEdit->text(), QString());
        QVERIFY(!fx.page->MoveZipFileCheckBox->isChecked());

        // Cancelling the chooser leaves the box unchecked.
        fx.prompter.answerFolder(QString());
        fx.page->MoveZipFileCheckBox->click();
        QVERIFY(!fx.page->MoveZipFileCheckBox->isChecked());

        Platform::SetFreeOnDiskHook([zipSize](const QString&) { return zipSize + 1; });
        fx.prompter.answerFolder(keep);
        fx.page->MoveZipFileCheckBox->click();
        QCOMPARE(fx.page->MoveFolderEdit->text(), keep);
        QVERIFY(fx.page->MoveZipFileCheckBox->isChecked());
        QCOMPARE(fx.prompter.fileRequests.last().title, QStringLiteral("DOUBLE CLICK TO Select Folder"));

        // With a folder in the field, unchecking and checking asks nothing.
        fx.page->MoveZipFileCheckBox->click();
        QVERIFY(!fx.page->MoveZipFileCheckBox->isChecked());
        fx.page->MoveZipFileCheckBox->click();
        QVERIFY(fx.page->MoveZipFileCheckBox->isChecked());
        QCOMPARE(fx.page->MoveFolderEdit->text(), keep);

        // "?" without room keeps field and box; with room it takes the new folder.
        const QString other = fx.path(QStringLiteral("other"));
        QDir().mkpath(other);
        fx.page->MoveZipFileCheckBox->click();  // unchecked, field kept
        Platform::SetFreeOnDiskHook([](const QString&) { return qint64(10); });
        fx.prompter.answerFolder(other);
        fx.page->MoveZipFileButton->click();
        QCOMPARE(fx.prompter.lastText(), kNoRoom);
        QCOMPARE(fx.page->MoveFolderEdit->text(), keep);
        QVERIFY(!fx.page->MoveZipFileCheckBox->isChecked());
        Platform::SetFreeOnDiskHook({});
        fx.prompter.answerFolder(other);
        fx.page->MoveZipFileButton->click();
        QCOMPARE(fx.page->MoveFolderEdit->text(), other);
        QVERIFY(fx.page->MoveZipFileCheckBox->isChecked());
        QCOMPARE(fx.page->MoveZipFileButton->toolTip(), QStringLiteral("Select a Folder.  the Zip Files will be moved here."));
    }
};

QTEST_MAIN(TestBatchList)
#include "test_batch_list.moc"
