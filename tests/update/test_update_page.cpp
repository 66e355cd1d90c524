// The update page: listing a zip, adding and replacing files, adding folders,
// drops, deleting entries, RESET, the rows carried over from the unzip page,
// and adds that fail. After every change the rows are what the zip holds.

#include "UpdateFixture.h"

#include "create/TDatePickForm.h"
#include "unzip/TUnzipPage.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QRandomGenerator>

using namespace UpdateFixture;
using ZipFixture::Entry;

namespace {
const QDateTime kOld(QDate(2020, 3, 1), QTime(8, 0, 0));
const QDateTime kNew(QDate(2024, 5, 6), QTime(9, 30, 10));
const uint32_t kEntryTime = Dos(2022, 1, 2, 3, 4, 6);
} // namespace

class TestUpdatePage : public QObject {
    Q_OBJECT

    Window w;
    std::unique_ptr<QTemporaryDir> tmp;
    QString d;

    // A zip of `entries` at d/name, listed on the page.
    QString listed(const QList<Entry>& entries, const QString& name = QStringLiteral("a.zip"))
    {
        const QString zip = ZipFixture::Made(d + QLatin1Char('/') + name, entries);
        w.openZip(zip);
        return zip;
    }
    QString file(const QString& rel, const QByteArray& data, const QDateTime& when = kNew)
    {
        const QString p = d + QLatin1Char('/') + rel;
        writeFile(p, data);
        SetTime(p, when);
        return p;
    }
    QByteArray entryData(const QString& zip, const QString& name)
    {
        return run(QStringLiteral("unzip"), {QStringLiteral("-p"), zip, name}).out;
    }

private slots:
    void init()
    {
        w.open();
        tmp = std::make_unique<QTemporaryDir>();
        d = tmp->path();
    }

    void listingShowsEntriesAndEnablesTheCommands()
    {
        QCOMPARE(w.zipButtons(), (QList<bool>{false, false, false, false}));
        const QString zip = listed({{"docs/a.txt", QByteArray(1500, 'a'), kEntryTime}, {"top.txt", "12345", kEntryTime}});
        QCOMPARE(w.page->RowCount(), 2);
        QCOMPARE(w.cell(0, 0), QStringLiteral("a.txt"));
        QCOMPARE(w.cell(0, 1), QStringLiteral("1,500"));
        QCOMPARE(w.cell(0, 3), QStringLiteral("docs\\"));
        QCOMPARE(w.cell(1, 3), QString());
        QCOMPARE(w.page->UpDateNumFilesEdit->text(), QStringLiteral("2"));
        QCOMPARE(w.page->UpdatetotalFileSizeEdit->text(), QStringLiteral("1,505"));
        QCOMPARE(w.zipButtons(), (QList<bool>{true, true, true, true}));
        QCOMPARE(w.form->appState().CurrentArchive, zip);
        QCOMPARE(w.engine().ZipFileName(), zip);
        QCOMPARE(w.form->DropTarget(), static_cast<QWidget*>(w.page->UpdateListView));
        QCOMPARE(w.prompter.fileRequests.last().filter, QStringLiteral("ZIP files (*.zip)"));
        QCOMPARE(w.settings().LastOpenFolder, d);

        // OPEN again: No and Cancel keep the rows; Yes lists the new zip.
        for (PromptButton b : {PromptButton::No, PromptButton::Cancel}) {
            w.prompter.answer(b);
            w.page->OpenUpdateButtonClick();
            QCOMPARE(w.prompter.lastText(), QStringLiteral("CLEAR THE ENTRIES AND LOAD A NEW ZIP FILE?"));
            QCOMPARE(w.page->RowCount(), 2);
        }
        const QString other = d + "/b.zip";
        QVERIFY(ZipFixture::Write(other, {{"b.txt", "b", kEntryTime}}));
        w.prompter.answer(PromptButton::Yes);
        w.prompter.answerFile(other);
        w.page->OpenUpdateButtonClick();
        QCOMPARE(w.rowNames(), QStringList{"b.txt"});
        QVERIFY(w.prompter.allAnswersUsed());
    }

    // A zip the peer tool wrote: listed as it lists it, and changed in place.
    void aZipMadeByThePeerTool()
    {
        file("src/a.txt", "old a", kOld);
        file("src/docs/b.txt", "old b", kOld);
        const QString zip = d + "/peer.zip";
        QCOMPARE(run("zip", {"-q", "-r", zip, "a.txt", "docs"}, d + "/src").code, 0);
        w.openZip(zip);
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QCOMPARE(w.rowNames(), (QStringList{"a.txt", "docs/", "docs/b.txt"}));
        const QString b = file("new/docs/b.txt", "the new b");
        w.addFiles({b});
        QCOMPARE(w.page->RowCount(), 3);
        QCOMPARE(entryData(zip, "docs/b.txt"), QByteArray("the new b"));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
    }

    void aZipWithoutEntriesIsNotListed()
    {
        const QString zip = d + "/empty.zip";
        QVERIFY(ZipFixture::Write(zip, {}));
        w.openZip(zip);
        QCOMPARE(w.prompter.lastText(), QStringLiteral("THERE ARE NO FILES IN THE ZIPFILE THAT THIS PROGRAM CAN READ"));
        QCOMPARE(w.page->RowCount(), 0);
        QCOMPARE(w.zipButtons(), (QList<bool>{false, false, false, false}));
        QVERIFY(w.page->OpenUpdateButton->isEnabled());
    }

    // A newer file with a matching name and Path replaces the entry in its
    // row; the same file again, or an older one, changes nothing.
    void aNewerFileReplacesItsEntryInPlace()
    {
        const QString zip = listed({{"docs/a.txt", "old contents", kEntryTime}, {"docs/b.txt", "bee", kEntryTime}});
        const QString a = file("src/docs/A.TXT", "the new contents of a");
        w.addFiles({a});
        QCOMPARE(w.page->RowCount(), 2);
        const int row = w.rowOf("docs\\A.TXT");
        QVERIFY(row >= 0);
        QCOMPARE(w.cell(row, 1), QStringLiteral("21"));
        QCOMPARE(w.cell(row, 2), Platform::DateTimeText(kNew));
        QCOMPARE(w.page->UpdatetotalFileSizeEdit->text(), QStringLiteral("24"));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QCOMPARE(entryData(zip, "docs/A.TXT"), QByteArray("the new contents of a"));
        QVERIFY(w.prompter.messages.isEmpty());

        const QByteArray before = readFile(zip);
        w.addFiles({a});
        QCOMPARE(readFile(zip), before);
        QCOMPARE(w.page->RowCount(), 2);

        const QString olderB = file("src/docs/b.txt", "an older bee", kOld);
        w.addFiles({olderB});
        QCOMPARE(readFile(zip), before);
        QCOMPARE(w.cell(w.rowOf("docs\\b.txt"), 1), QStringLiteral("3"));
        QVERIFY(w.prompter.messages.isEmpty());
        QCOMPARE(w.settings().LastAddFolder, d + "/src/docs");
    }

    // Relative paths: a chosen file keeps its own folder's name; a folder's
    // files are stored relative to it. Without relative paths the whole
    // folder path is kept; without save folders no path at all.
    void pathsOfAddedFiles_data()
    {
        QTest::addColumn<bool>("saveFolders");
        QTest::addColumn<bool>("relative");
        QTest::addColumn<bool>("subfolders");
        QTest::addColumn<QStringList>("added");
        QTest::newRow("relative") << true << true << true << QStringList{"f.txt", "x/g.txt", "x/y/h.txt"};
        QTest::newRow("no subfolders") << true << true << false << QStringList{"f.txt"};
        QTest::newRow("full paths") << true << false << true << QStringList{"data/f.txt", "data/x/g.txt", "data/x/y/h.txt"};
        QTest::newRow("no folders") << false << true << true << QStringList{"f.txt", "g.txt", "h.txt"};
    }
    void pathsOfAddedFiles()
    {
        QFETCH(bool, saveFolders);
        QFETCH(bool, relative);
        QFETCH(bool, subfolders);
        QFETCH(QStringList, added);
        const QString zip = listed({{"keep.txt", "k", kEntryTime}});
        file("data/f.txt", "f");
        file("data/x/g.txt", "gg");
        file("data/x/y/h.txt", "hhh");
        file("data/.hidden", "not listed");
        file("data/x/.profile", "not listed");
        w.settings().SaveFolders = saveFolders;
        w.settings().RelativePaths = relative;
        w.settings().UpdateSubfolders = subfolders;
        w.addFolder(d + "/data");
        QStringList expected{"keep.txt"};
        const QString prefix = relative ? QString() : d.mid(1) + QLatin1Char('/');
        for (const QString& a : added)
            expected << (a.startsWith("data/") ? prefix + a : a);
        QCOMPARE(w.rowNames(), Sorted(expected));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QVERIFY2(w.prompter.messages.isEmpty(), qPrintable(w.prompter.texts().join('\n')));
        QVERIFY(w.prompter.allAnswersUsed());

        // A chosen file: its folder's name, the folder path, or nothing.
        const QString single = file("data/x/y/solo.txt", "solo");
        w.addFiles({single});
        const QString solo = !saveFolders ? QStringLiteral("solo.txt")
                             : relative   ? QStringLiteral("y/solo.txt")
                                          : d.mid(1) + QStringLiteral("/data/x/y/solo.txt");
        QVERIFY2(w.rowNames().contains(solo), qPrintable(w.rowNames().join(' ')));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
    }

    void theFolderWalkReplacesAndAddsInOneWrite()
    {
        const QString zip = listed({{"f.txt", "old f", kEntryTime}, {"X/G.TXT", "old g", kEntryTime}});
        file("data/f.txt", "new f");
        file("data/x/g.txt", "old g, still", kOld);
        file("data/x/n.txt", "new file");
        w.addFolder(d + "/data");
        QCOMPARE(w.rowNames(), (QStringList{"X/G.TXT", "f.txt", "x/n.txt"}));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QCOMPARE(entryData(zip, "f.txt"), QByteArray("new f"));
        QCOMPARE(entryData(zip, "X/G.TXT"), QByteArray("old g"));
    }

    void droppedFilesAndFolders()
    {
        const QString zip = listed({{"keep.txt", "k", kEntryTime}});
        const QString one = file("drop/one.txt", "1");
        file("tree/t.txt", "t");
        file("tree/sub/u.txt", "u");
        w.prompter.onDialog([](QDialog& dlg) { return CreateFixture::FinishScan(dlg); });
        w.page->UpdateDropUpdateWindow({one, d + "/tree", d + "/gone.txt", zip});
        QCOMPARE(w.rowNames(), (QStringList{"drop/one.txt", "keep.txt", "sub/u.txt", "t.txt"}));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QVERIFY(w.prompter.allAnswersUsed());

        // Once RESET is off the page takes no drops.
        w.page->UpdateResetButtonClick();
        const QByteArray before = readFile(zip);
        w.page->UpdateDropUpdateWindow({file("drop/two.txt", "2")});
        QCOMPARE(w.page->RowCount(), 0);
        QCOMPARE(readFile(zip), before);
    }

    void deleteErasesTheHighlightedEntries()
    {
        const QString zip = listed({{"a.txt", "aaaa", kEntryTime},
                                    {"docs/b.txt", "bb", kEntryTime},
                                    {"docs/c.txt", "c", kEntryTime}});
        const QByteArray original = readFile(zip);
        // No and Cancel, or nothing highlighted: the question, and nothing written.
        w.deleteEntries({"a.txt"}, PromptButton::No);
        w.deleteEntries({"a.txt"}, PromptButton::Cancel);
        w.deleteEntries({}, PromptButton::Yes);
        QCOMPARE(w.prompter.texts(),
                 QStringList(3, QStringLiteral("THE DELETE OPERATION WILL PERMANENTLY ERASE THE SELECTED FILES FROM THE "
                                               "ZIP FILE.\r\rERASE THE SELECTED FILES?")));
        QCOMPARE(readFile(zip), original);
        QCOMPARE(w.page->RowCount(), 3);
        QVERIFY(w.engine().FSpecArgsExcl.isEmpty());

        w.deleteEntries({"docs\\b.txt"});
        QCOMPARE(w.rowNames(), (QStringList{"a.txt", "docs/c.txt"}));
        QCOMPARE(w.page->UpdatetotalFileSizeEdit->text(), QStringLiteral("5"));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QCOMPARE(w.page->UpdateProgressBar->value(), 0);

        // Deleting every entry leaves only OPEN.
        w.deleteEntries({"a.txt", "docs\\c.txt"});
        QCOMPARE(w.page->RowCount(), 0);
        QCOMPARE(w.zipButtons(), (QList<bool>{false, false, false, false}));
        QVERIFY(w.page->OpenUpdateButton->isEnabled());
        QCOMPARE(w.page->UpDateNumFilesEdit->text(), QStringLiteral("0"));
        QCOMPARE(w.page->UpdatetotalFileSizeEdit->text(), QStringLiteral("0"));
        QVERIFY(w.form->DropTarget() != w.page->UpdateListView);
        QCOMPARE(run("unzip", {"-Z1", zip}).outText().trimmed(), QStringLiteral("Empty zipfile."));
        QVERIFY(w.prompter.allAnswersUsed());
    }

    void resetLeavesTheArchiveAlone()
    {
        const QString zip = listed({{"a.txt", "a", kEntryTime}});
        const QByteArray before = readFile(zip);
        w.page->UpdateResetButton->click();
        QCOMPARE(w.page->RowCount(), 0);
        QCOMPARE(w.zipButtons(), (QList<bool>{false, false, false, false}));
        QVERIFY(w.form->DropTarget() != w.page->UpdateListView);
        QCOMPARE(readFile(zip), before);
        QCOMPARE(w.page->UpDateNumFilesEdit->text(), QStringLiteral("0"));
    }

    // Rows carried over from the unzip page: sizes with separators, the
    // commands on, and the replace test against the entries' own times.
    void aZipCarriedOverFromTheUnzipPage()
    {
        const QString zip = d + "/carried.zip";
        QVERIFY(ZipFixture::Write(zip, {{"docs/a.txt", QByteArray(2000, 'x'), kEntryTime}, {"b.txt", "b", kEntryTime}}));
        QVERIFY(w.form->SelectPage(TForm1::UnzipPageIndex));
        w.prompter.answerFile(zip);
        w.form->UnzipPage->OpenUnzipButtonClick();
        QCOMPARE(w.form->UnzipPage->RowCount(), 2);
        QVERIFY(w.form->SelectPage(TForm1::UpdatePageIndex));
        QCOMPARE(w.form->UnzipPage->RowCount(), 0);
        QCOMPARE(w.rowNames(), (QStringList{"b.txt", "docs/a.txt"}));
        QCOMPARE(w.cell(w.rowOf("docs\\a.txt"), 1), QStringLiteral("2,000"));
        QCOMPARE(w.zipButtons(), (QList<bool>{true, true, true, true}));
        QCOMPARE(w.form->DropTarget(), static_cast<QWidget*>(w.page->UpdateListView));

        // The same time as the entry: nothing to do; a newer one replaces it.
        const QString a = file("in/docs/a.txt", "same time", DosDateTimeToQDateTime(kEntryTime));
        const QByteArray before = readFile(zip);
        w.addFiles({a});
        QCOMPARE(readFile(zip), before);
        SetTime(a, kNew);
        w.addFiles({a});
        QCOMPARE(w.page->RowCount(), 2);
        QCOMPARE(entryData(zip, "docs/a.txt"), QByteArray("same time"));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
    }

    // The page writes to the zip it lists, wherever the engine was pointed since.
    void changesGoToTheListedZip()
    {
        const QString zip = listed({{"a.txt", "a", kEntryTime}});
        // Options a create run left behind that cannot apply to a zip that exists.
        w.engine().AddOptions = TZipEngine::AddHiddenFiles | TZipEngine::AddDiskSpan;
        const QString other = d + "/other.zip";
        QVERIFY(ZipFixture::Write(other, {{"o.txt", "o", kEntryTime}}));
        const QByteArray otherBefore = readFile(other);
        w.engine().SetZipFileName(other);
        w.form->appState().CurrentArchive = d + "/some.tar";
        w.addFiles({file("n.txt", "n")});
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QCOMPARE(w.rowNames(), Sorted({QFileInfo(d).fileName() + "/n.txt", "a.txt"}));
        QCOMPARE(readFile(other), otherBefore);
        QCOMPARE(w.engine().AddOptions, uint16_t(TZipEngine::AddHiddenFiles | TZipEngine::AddDiskSpan));
        w.engine().SetZipFileName(other);
        w.deleteEntries({"a.txt"});
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QCOMPARE(readFile(other), otherBefore);
    }

    void theCutOffDate()
    {
        const QString zip = listed({{"keep.txt", "k", kEntryTime}});
        const QString older = file("old.txt", "old", kOld);
        const QString newer = file("new.txt", "new", kNew);
        w.settings().DateFilter = true;
        // Cancelled: the filter is off and everything is added.
        w.prompter.onDialog([](QDialog& dlg) {
            static_cast<TDatePickForm&>(dlg).CancelButtonClick();
            return dlg.result();
        });
        w.prompter.answerFiles({older});
        w.page->OpenFilesUpdateButtonClick();
        QVERIFY(!w.settings().DateFilter);
        QVERIFY2(w.prompter.messages.isEmpty(), qPrintable(w.prompter.texts().join('\n')));
        const QString folder = QFileInfo(d).fileName();
        QCOMPARE(w.rowNames(), Sorted({folder + "/old.txt", "keep.txt"}));
        VERIFY_LIST_IS_ARCHIVE(w, zip);

        // A date between the two: only the newer file is added, and the date is kept.
        w.settings().DateFilter = true;
        w.prompter.onDialog([](QDialog& dlg) {
            auto& f = static_cast<TDatePickForm&>(dlg);
            f.ShowDate(QDate(2022, 6, 1));
            f.AcceptButtonClick();
            return dlg.result();
        });
        SetTime(older, kOld.addDays(1));
        w.addFiles({older, newer});
        QCOMPARE(w.settings().UpdateCutOff, TDatePickForm::DayNumber(QDate(2022, 6, 1)));
        QCOMPARE(w.rowNames(), Sorted({folder + "/new.txt", folder + "/old.txt", "keep.txt"}));
        QCOMPARE(entryData(zip, folder + "/old.txt"), QByteArray("old"));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QVERIFY(w.prompter.allAnswersUsed());
    }

    // A write that cannot finish (the disk is full) leaves the zip byte for
    // byte as it was, and the list shows that zip: the entry being replaced
    // is not lost either.
    void aFailedAddLeavesTheZipAsItWas()
    {
        const QString zip = listed({{"docs/a.txt", "old a", kEntryTime}, {"b.txt", "b", kEntryTime}});
        const QByteArray before = readFile(zip);
        // Data that does not compress, so the new archive cannot fit.
        QByteArray big(3 << 20, Qt::Uninitialized);
        QRandomGenerator rng(8);
        rng.fillRange(reinterpret_cast<quint32*>(big.data()), big.size() / 4);
        const QString a = file("in/docs/a.txt", big);
        const QString small = file("in/small.txt", "fits");
        const QString c = file("in/c.bin", big);
        w.prompter.failOnUnexpected = false;
        QVERIFY(WithFileSizeLimit(1 << 20, [&] { w.addFiles({small, a, c}); }));
        QCOMPARE(readFile(zip), before);
        // No copy or temporary file is left beside the zip.
        QCOMPARE(QDir(d).entryList(QDir::Files | QDir::Hidden), QStringList{"a.zip"});
        QCOMPARE(w.rowNames(), (QStringList{"b.txt", "docs/a.txt"}));
        QCOMPARE(w.cell(w.rowOf("docs\\a.txt"), 1), QStringLiteral("5"));
        QVERIFY2(w.prompter.lastText().startsWith("ERROR : "), qPrintable(w.prompter.texts().join('\n')));
        VERIFY_LIST_IS_ARCHIVE(w, zip);
        QCOMPARE(w.zipButtons(), (QList<bool>{true, true, true, true}));
    }

    // A file that is gone by the time it is written is reported, and the
    // list drops it again.
    void aFileThatVanishesIsNotListed()
    {
        const QString zip = listed({{"b.txt", "b", kEntryTime}});
        const QByteArray before = readFile(zip);
        const QString gone = file("in/gone.txt", "soon gone");
        w.prompter.failOnUnexpected = false;
        // The row is made, then the file disappears before the engine reads it.
        w.page->ReplaceList.clear();
        w.page->AddFileList.clear();
        w.page->AddPathList.clear();
        w.page->DropFileToUpdate(QFileInfo(gone), QString());
        QVERIFY(QFile::remove(gone));
        w.page->UpdatingAZipFile();
        QCOMPARE(readFile(zip), before);
        QCOMPARE(w.rowNames(), QStringList{"b.txt"});
        QVERIFY2(w.prompter.lastText().startsWith("ERROR : "), qPrintable(w.prompter.texts().join('\n')));
    }

    // An engine that raises (a zip whose end record is gone): "FATAL DLL
    // ERROR", nothing written, and the list shows the zip again.
    void anEngineExceptionReloadsTheList()
    {
        const QString zip = listed({{"a.txt", "a", kEntryTime}, {"b.txt", "b", kEntryTime}});
        QFile f(zip);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.seek(f.size() - 22);
        f.write(QByteArray(22, '\0'));
        f.close();
        const QByteArray before = readFile(zip);
        w.deleteEntries({"a.txt"});
        QVERIFY2(w.prompter.texts().contains("FATAL DLL ERROR"), qPrintable(w.prompter.texts().join('\n')));
        QCOMPARE(readFile(zip), before);
        QCOMPARE(w.rowNames(), (QStringList{"a.txt", "b.txt"}));
        QCOMPARE(w.zipButtons(), (QList<bool>{true, true, true, true}));
    }

    // While the page writes, the engine's byte progress moves the page's own bar.
    void progressDrivesTheUpdateBar()
    {
        TBatchState& b = w.form->appState().BatchState;
        b.ProgressTarget = 4;
        b.BytesDone = 0;
        b.ZipUnzippedSize = 400;
        w.form->ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 100);
        QCOMPARE(w.page->UpdateProgressBar->value(), 25);
        w.form->ZipEngineProgress(TZipEngine::ProgressBytes, QString(), 200);
        QCOMPARE(w.page->UpdateProgressBar->value(), 75);
        QCOMPARE(w.form->CreatePage->ZipProgressBar->value(), w.form->CreatePage->ZipProgressBar->minimum());
    }

    void propertiesOpensTheAddFilesPage()
    {
        w.prompter.onDialog([](QDialog& dlg) {
            dlg.reject();
            return int(QDialog::Rejected);
        });
        w.page->Button1->click();
        QVERIFY(w.prompter.allAnswersUsed());
        QVERIFY(w.page->UpdateListView->isEnabled());
    }
};

QTEST_MAIN(TestUpdatePage)
#include "test_update_page.moc"
