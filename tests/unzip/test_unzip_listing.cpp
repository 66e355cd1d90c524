// The unzip page's listing: OPEN and its dispatch, the rows, the icons,
// RESET, Properties, the button states and the command line.

#include "WindowFixture.h"
#include "ZipFixture.h"

#include "app/TForm1.h"
#include "settings/TPropertiesForm.h"
#include "unzip/TUnzipPage.h"
#include "unzip/UnzipListing.h"
#include "zipengine/ZipListing.h"

#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <memory>

using ZipFixture::Entry;

namespace {
QString cell(const TUnzipPage* p, int row, int col)
{
    return p->UnzipListModel->item(row, col)->text();
}
int image(const TUnzipPage* p, int row)
{
    return p->UnzipListModel->item(row, 0)->data(TUnzipPage::ImageIndexRole).toInt();
}
} // namespace

class TestUnzipListing : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    WindowFixture w_;
    ScriptedPrompter& prompter_ = w_.prompter;
    std::unique_ptr<TForm1>& form_ = w_.form;
    TUnzipPage* page_ = nullptr;
    QStringList startup_;

    QString zip(const QString& name, const QList<Entry>& entries)
    {
        return ZipFixture::Made(dir_.filePath(name), entries);
    }
    QString twoTexts()
    {
        return zip(QStringLiteral("two.zip"), {{QStringLiteral("a.txt"), "hello"}, {QStringLiteral("sub/b.TXT"), "wide world"}});
    }
    // OPEN on the current page with `path` chosen in the dialog.
    void open(const QString& path)
    {
        prompter_.answerFile(path);
        QTest::mouseClick(page_->OpenUnzipButton, Qt::LeftButton);
    }
    QList<bool> states() const
    {
        QList<bool> s;
        for (QPushButton* b : {page_->SelectAllButton, page_->UnSelectAllButton, page_->SelectButton,
                               page_->UnzipResetButton, page_->TreeButton, page_->UnzipButton})
            s << b->isEnabled();
        return s;
    }
    void newForm(const QStringList& args = {})
    {
        // Every form starts from default settings: no config file from an earlier one.
        // Start-up may report compression libraries that are not built here.
        startup_ = w_.newWindow(args);
        page_ = form_->UnzipPage;
    }

private slots:
    void init()
    {
        QVERIFY(dir_.isValid());
        newForm();
    }
    void cleanup()
    {
        QVERIFY2(prompter_.allAnswersUsed(), qPrintable(QStringLiteral("unused answers: %1 buttons, %2 files").arg(prompter_.answers.size()).arg(prompter_.files.size())));
        form_.reset();
    }

    void helpers()
    {
        using namespace UnzipListing;
        using namespace ZipListing;
        QString caption, path;
        SplitStoredName(QStringLiteral("docs/sub/a.txt"), caption, path);
        QCOMPARE(caption, QStringLiteral("a.txt"));
        QCOMPARE(path, QStringLiteral("docs\\sub\\"));
        SplitStoredName(QStringLiteral("docs/"), caption, path);
        QCOMPARE(caption, QString());
        QCOMPARE(path, QStringLiteral("docs\\"));
        SplitStoredName(QStringLiteral("top.bin"), caption, path);
        QCOMPARE(caption, QStringLiteral("top.bin"));
        QCOMPARE(path, QString());

        QCOMPARE(Extension(QStringLiteral("a.tar.GZ")), QStringLiteral(".GZ"));
        QCOMPARE(Extension(QStringLiteral("README")), QString());
        QCOMPARE(Extension(QStringLiteral("v1.2\\README")), QString());

        // The running total stops at the largest 32-bit value instead of wrapping.
        QCOMPARE(AddToTotal(10, 5), 15);
        QCOMPARE(AddToTotal(2147483000, 1000), 2147483647);
        QCOMPARE(AddToTotal(0, 0xFFFFFFFFull), 2147483647);
        QCOMPARE(AddToTotal(2147483647, 1), 2147483647);

        QVERIFY(DateText(0).isEmpty());  // month 0 is no date
        QVERIFY(!DateText(Entry{}.dosTime).isEmpty());
    }

    void emptyPageAtStart()
    {
        QCOMPARE(states(), QList<bool>(6, false));
        QVERIFY(page_->OpenUnzipButton->isEnabled());
        QVERIFY(page_->UnzipPropertiesButton->isEnabled());
        QCOMPARE(page_->UnzipNumFilesEdit->text(), QStringLiteral("0"));
        QCOMPARE(form_->appState().SmallImages.Images.size(), 4);
    }

    void rowsOfFolderAndFile()
    {
        Entry folder{QStringLiteral("docs/"), {}};
        Entry file{QStringLiteral("docs/a.txt"), "12345"};
        file.dosTime = (uint32_t(20) << 25) | (2u << 21) | (29u << 16) | (23u << 11) | (59u << 5) | 29u; // 2000-02-29 23:59:58
        open(zip(QStringLiteral("folder.zip"), {folder, file}));
        QVERIFY(prompter_.messages.isEmpty());
        QCOMPARE(page_->RowCount(), 2);
        QCOMPARE(cell(page_, 0, 0), QString());
        QCOMPARE(cell(page_, 0, 3), QStringLiteral("docs\\"));
        QCOMPARE(cell(page_, 1, 0), QStringLiteral("a.txt"));
        QCOMPARE(cell(page_, 1, 1), QStringLiteral("5"));
        QCOMPARE(cell(page_, 1, 2), ZipListing::DateText(file.dosTime));
        QVERIFY(cell(page_, 1, 2).contains(QStringLiteral("59")));
        QCOMPARE(cell(page_, 1, 3), QStringLiteral("docs\\"));
        QCOMPARE(page_->UnzipListModel->item(1, 3)->data(Qt::DecorationRole).isValid(), true);
        QCOMPARE(image(page_, 0), 1);  // no extension: the unknown-file image
        QCOMPARE(page_->UnzipNumFilesEdit->text(), QStringLiteral("2"));
        QCOMPARE(page_->UnzipTotalFileSizeEdit->text(), QStringLiteral("5"));
        QVERIFY(page_->UnzipStatusBar->currentMessage().isEmpty());
        QCOMPARE(form_->appState().CurrentArchive, dir_.filePath(QStringLiteral("folder.zip")));
        QCOMPARE(form_->settings().LastOpenFolder, dir_.path());
        // The dialog asked as the page asks.
        QCOMPARE(prompter_.fileRequests.size(), 1);
        QCOMPARE(prompter_.fileRequests[0].title, QStringLiteral("Choose a zip file to Open"));
        QVERIFY(prompter_.fileRequests[0].filter.startsWith(QStringLiteral("All compressed types (*.zip *.gz *.tar *.rar *.tgz)")));
    }

    void sizesAndTotalPast4GiB()
    {
        // Entries that say they unpack to 1.5 GB each: the total is no
        // 32-bit number and the rows keep their sizes.
        QByteArray b = ZipFixture::Build({{QStringLiteral("a.iso"), "a"}, {QStringLiteral("b.iso"), "b"}, {QStringLiteral("c.iso"), "c"}});
        for (qsizetype cen = b.indexOf("PK\x01\x02"); cen >= 0; cen = b.indexOf("PK\x01\x02", cen + 4))
            for (int k = 0; k < 4; ++k)
                b[cen + 24 + k] = char((1500000000u >> (8 * k)) & 0xFF);
        QFile f(dir_.filePath(QStringLiteral("big.zip")));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(b) == b.size());
        f.close();
        open(f.fileName());
        QCOMPARE(page_->RowCount(), 3);
        QCOMPARE(cell(page_, 2, 1), QStringLiteral("1500000000"));
        QCOMPARE(page_->UnzipTotalFileSizeEdit->text(), QStringLiteral("4500000000"));
    }

    void treeNeedsTwoRows()
    {
        open(zip(QStringLiteral("one.zip"), {{QStringLiteral("only.bin"), "x"}}));
        QCOMPARE(states(), (QList<bool>{true, true, true, true, false, true}));
        prompter_.answer(PromptButton::Yes);
        open(twoTexts());
        QCOMPARE(page_->RowCount(), 2);
        QCOMPARE(states(), QList<bool>(6, true));
        QVERIFY(page_->OpenUnzipButton->isEnabled());
        QVERIFY(page_->UnzipListView->isEnabled());
    }

    void selectAllOnLoad()
    {
        form_->settings().SelectAllOnLoad = true;
        open(twoTexts());
        QCOMPARE(page_->UnzipListView->selectionModel()->selectedRows().size(), 2);
        prompter_.answer(PromptButton::Yes);
        form_->settings().SelectAllOnLoad = false;
        open(twoTexts());
        QCOMPARE(page_->UnzipListView->selectionModel()->selectedRows().size(), 0);
        QVERIFY(page_->UnzipButton->isEnabled());
    }

    void sharedIconForOneType()
    {
        const TAppState& st = form_->appState();
        open(zip(QStringLiteral("icons.zip"),
                 {{QStringLiteral("a.txt"), "1"}, {QStringLiteral("b.TXT"), "2"}, {QStringLiteral("c.qqzzq"), "3"},
                  {QStringLiteral("d.exe"), "4"}, {QStringLiteral("e.qqzzq"), "5"}, {QStringLiteral("noext"), "6"}}));
        QCOMPARE(st.IconCache, QStringList{QStringLiteral(".txt")});
        QCOMPARE(image(page_, 0), 4);
        QCOMPARE(image(page_, 1), 4);  // found in the cache, whatever its case
        QCOMPARE(image(page_, 2), 1);  // a type nobody knows
        QCOMPARE(image(page_, 3), 2);  // a program whose own icon cannot be read
        QCOMPARE(image(page_, 4), 1);
        QCOMPARE(image(page_, 5), 1);
        QCOMPARE(st.SmallImages.Images.size(), 5);
        QCOMPARE(st.LargeImages.Images.size(), 5);
        // Another listing of the same type adds nothing ...
        prompter_.answer(PromptButton::Yes);
        open(twoTexts());
        // the Yes trimmed the lists, and the listing found ".txt" again once.
        QCOMPARE(st.IconCache, QStringList{QStringLiteral(".txt")});
        QCOMPARE(st.SmallImages.Images.size(), 5);
        QCOMPARE(image(page_, 1), 4);
        // RESET keeps the cache; the next listing finds it there.
        QTest::mouseClick(page_->UnzipResetButton, Qt::LeftButton);
        open(twoTexts());
        QCOMPARE(st.IconCache, QStringList{QStringLiteral(".txt")});
        QCOMPARE(st.SmallImages.Images.size(), 5);
    }

    void cancelKeepsListAndSelection()
    {
        form_->settings().SelectAllOnLoad = false;
        open(twoTexts());
        page_->UnzipListView->selectionModel()->select(page_->UnzipListModel->index(1, 0),
                                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        for (PromptButton b : {PromptButton::Cancel, PromptButton::No}) {
            prompter_.answer(b);
            QTest::mouseClick(page_->OpenUnzipButton, Qt::LeftButton);
            QCOMPARE(prompter_.lastText(), QStringLiteral("CLEAR THE ENTRIES AND LOAD A NEW ZIP FILE?"));
            QCOMPARE(prompter_.messages.last().buttons, PromptButtons::YesNoCancel);
            QCOMPARE(prompter_.fileRequests.size(), 1);  // no dialog this time
            QCOMPARE(page_->RowCount(), 2);
            const QModelIndexList sel = page_->UnzipListView->selectionModel()->selectedRows();
            QCOMPARE(sel.size(), 1);
            QCOMPARE(sel.first().row(), 1);
            QCOMPARE(form_->appState().IconCache.size(), 1);
        }
        // Yes, then Cancel in the dialog: the page is left empty.
        prompter_.answer(PromptButton::Yes);
        open(QString());
        QCOMPARE(page_->RowCount(), 0);
        QCOMPARE(states(), QList<bool>(6, false));
        QCOMPARE(page_->UnzipTotalFileSizeEdit->text(), QStringLiteral("0"));
        QCOMPARE(form_->appState().SmallImages.Images.size(), 4);
    }

    void endingsDecideTheLister()
    {
        QStringList calls;
        page_->ListTar = [&](const QString& p) { calls << QStringLiteral("tar ") + p; };
        page_->ListTarGz = [&](const QString& p) { calls << QStringLiteral("targz ") + p; };
        page_->ListGz = [&](const QString& p) { calls << QStringLiteral("gz ") + p; };
        // A RAR lister ends with EnableAll, as the zip listing does.
        page_->ListRar = [&](const QString& p) {
            calls << QStringLiteral("rar ") + p;
            form_->EnableAll();
        };
        bool holdsTar = false;
        page_->GzipHoldsTar = [&](const QString&) { return holdsTar; };

        // An upper-case ending is still a zip.
        open(zip(QStringLiteral("data.ZIP"), {{QStringLiteral("a.txt"), "1"}}));
        QCOMPARE(page_->RowCount(), 1);
        QVERIFY(calls.isEmpty());

        const QString tarInZipFolder = dir_.filePath(QStringLiteral("x.zip/data.tar"));
        const QString folded = dir_.filePath(QStringLiteral("a.TGZ"));
        const QString gz = dir_.filePath(QStringLiteral("b.gz"));
        const QString tarGz = dir_.filePath(QStringLiteral("c.tar.gz"));
        const QString rar = dir_.filePath(QStringLiteral("d.Rar"));
        prompter_.answer(PromptButton::Yes);
        open(tarInZipFolder);
        QCOMPARE(calls, QStringList{QStringLiteral("tar ") + tarInZipFolder});
        QCOMPARE(form_->appState().CurrentArchive, tarInZipFolder);
        open(folded);
        open(gz);
        holdsTar = true;
        open(gz);
        form_->settings().OpenTarInGzip = false;
        open(tarGz);
        // After a tar or gzip listing the loaded states are forced on.
        QCOMPARE(states().mid(0, 4), QList<bool>(4, true));
        open(rar);
        QCOMPARE(calls, (QStringList{QStringLiteral("tar ") + tarInZipFolder, QStringLiteral("targz ") + folded,
                                     QStringLiteral("gz ") + gz, QStringLiteral("targz ") + gz,
                                     QStringLiteral("gz ") + tarGz, QStringLiteral("rar ") + rar}));

        // Any other ending lists nothing and says nothing.
        const int shown = int(prompter_.messages.size());
        calls.clear();
        open(dir_.filePath(QStringLiteral("notes.zip.txt")));
        QVERIFY(calls.isEmpty());
        QCOMPARE(prompter_.messages.size(), shown);
    }

    void unattachedListersListNothing()
    {
        page_->ListTar = nullptr;
        open(dir_.filePath(QStringLiteral("plain.tar")));
        QCOMPARE(page_->RowCount(), 0);
        QCOMPARE(states(), QList<bool>(6, false));
        QVERIFY(page_->OpenUnzipButton->isEnabled());
        QVERIFY(prompter_.messages.isEmpty());
        // Nor is a RAR file without its lister.
        page_->ListRar = nullptr;
        const QString rar = dir_.filePath(QStringLiteral("music.rar"));
        open(rar);
        QCOMPARE(page_->RowCount(), 0);
        QVERIFY(prompter_.messages.isEmpty());
        QVERIFY(page_->OpenUnzipButton->isEnabled());
        // The open dialog shows links as links.
        QVERIFY(!prompter_.fileRequests.last().followLinks);
    }

    void missingAndEmptyArchives()
    {
        const QString missing = dir_.filePath(QStringLiteral("gone.zip"));
        open(missing);
        QCOMPARE(prompter_.messages.size(), 1);
        QCOMPARE(prompter_.messages[0].kind, PromptKind::Error);
        QVERIFY(prompter_.lastText().contains(missing));
        QCOMPARE(page_->RowCount(), 0);
        QCOMPARE(states(), QList<bool>(6, false));
        QVERIFY(page_->OpenUnzipButton->isEnabled());  // the window is usable again
        QVERIFY(form_->TabbedNotebook->isEnabled());

        // The 22-byte archive and a file that is no zip at all.
        QFile junk(dir_.filePath(QStringLiteral("junk.zip")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(3000, 'j'));
        junk.close();
        for (const QString& p : {zip(QStringLiteral("empty.zip"), {}), junk.fileName()}) {
            prompter_.clear();
            open(p);
            QCOMPARE(prompter_.texts(), QStringList{QStringLiteral("THERE ARE NO FILES IN THE ZIPFILE THAT THIS PROGRAM CAN READ")});
            QCOMPARE(page_->RowCount(), 0);
            QCOMPARE(states(), QList<bool>(6, false));
            QVERIFY(page_->OpenUnzipButton->isEnabled());
        }
    }

    void resetEmptiesThePage()
    {
        open(twoTexts());
        page_->UnzipFilteredListView->show();
        page_->UnzipFilteredListView->setEnabled(true);
        page_->UnzipListView->hide();
        page_->UnzipFilteredListModel->appendRow(new QStandardItem(QStringLiteral("a.txt")));
        form_->MoveDropTarget(page_->UnzipFilteredListView);
        QTest::mouseClick(page_->UnzipResetButton, Qt::LeftButton);
        QCOMPARE(page_->RowCount(), 0);
        QCOMPARE(page_->UnzipFilteredListModel->rowCount(), 0);
        QVERIFY(!page_->FilteredViewShowing());
        QCOMPARE(form_->DropTarget(), page_->UnzipListView);
        QCOMPARE(states(), QList<bool>(6, false));
        QCOMPARE(page_->UnzipNumFilesEdit->text(), QStringLiteral("0"));
        QCOMPARE(page_->UnzipListTotal, 0);
        QVERIFY(page_->OpenUnzipButton->isEnabled());
    }

    void openShowsTheFullList()
    {
        open(twoTexts());
        page_->UnzipFilteredListView->show();
        page_->UnzipFilteredListView->setEnabled(true);
        page_->UnzipListView->hide();
        form_->MoveDropTarget(page_->UnzipFilteredListView);
        prompter_.answer(PromptButton::Yes);
        open(twoTexts());
        QVERIFY(!page_->FilteredViewShowing());
        QVERIFY(!page_->UnzipFilteredListView->isEnabled());
        QCOMPARE(form_->DropTarget(), page_->UnzipListView);
        QCOMPARE(page_->RowCount(), 2);
    }

    void propertiesPageFollowsTheArchive()
    {
        int shownPage = -1;
        auto record = [&](QDialog& d) {
            shownPage = static_cast<TPropertiesForm&>(d).CurrentPageIndex();
            return int(QDialog::Rejected);
        };
        prompter_.onDialog(record);
        QTest::mouseClick(page_->UnzipPropertiesButton, Qt::LeftButton);
        QCOMPARE(shownPage, int(TPropertiesForm::TarGzPage));
        open(twoTexts());
        prompter_.onDialog(record);
        QTest::mouseClick(page_->UnzipPropertiesButton, Qt::LeftButton);
        QCOMPARE(shownPage, int(TPropertiesForm::UnzipPage));
        QVERIFY(page_->UnzipListView->isEnabled());
    }

    void commandLineListsAZip()
    {
        const QString path = zip(QStringLiteral("cmd/B.ZIP"), {{QStringLiteral("a.txt"), "abc"}, {QStringLiteral("b.txt"), "de"}});
        newForm({path});
        QCOMPARE(page_->RowCount(), 2);
        QCOMPARE(page_->UnzipTotalFileSizeEdit->text(), QStringLiteral("5"));
        QCOMPARE(form_->settings().LastOpenFolder, dir_.filePath(QStringLiteral("cmd")));
        QCOMPARE(states(), QList<bool>(6, true));
        QVERIFY(form_->TabbedNotebook->isEnabled());

        newForm({dir_.filePath(QStringLiteral("cmd/missing.zip"))});
        QCOMPARE(startup_.filter(QStringLiteral("missing.zip")).size(), 1);
        QCOMPARE(page_->RowCount(), 0);
        QVERIFY(page_->OpenUnzipButton->isEnabled());
    }
};

QTEST_MAIN(TestUnzipListing)
#include "test_unzip_listing.moc"
