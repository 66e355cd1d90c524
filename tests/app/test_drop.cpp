// Files dropped on the window's lists: where the drop target sits, what a
// drop on each list does, and drops while the window is busy. The drops are
// real drag-enter and drop events carrying lists of file URLs.

#include "PageFixture.h"

#include "app/TDropFileTarget.h"
#include "app/TDropRouter.h"
#include "batch/TBatchPage.h"
#include "create/TCreatePage.h"
#include "create/TUpdatePage.h"
#include "settings/AppState.h"
#include "unzip/TUnzipFileTypeform.h"

#include <QCheckBox>
#include <QDragEnterEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>

namespace {

const QString MoreThanOne = QString::fromLatin1(TDropRouter::MoreThanOneFile);
const QString Replace = QString::fromLatin1(TDropRouter::ReplaceQuestion);

// What became of one drag over a list and the drop that ended it.
struct Dropped {
    bool enterAccepted = false;
    bool dropAccepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// Drags `paths` over `list` and drops them there, as a file manager does.
Dropped dropOn(QTreeView* list, const QStringList& paths,
               Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    mime.setUrls(urls);
    const QPoint at = list->viewport()->rect().center();
    Dropped d;
    QDragEnterEvent enter(at, offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &enter);
    d.enterAccepted = enter.isAccepted();
    QDropEvent drop(QPointF(at), offered, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(list->viewport(), &drop);
    d.dropAccepted = drop.isAccepted();
    d.action = drop.dropAction();
    return d;
}

QStringList firstColumn(QStandardItemModel* m)
{
    QStringList out;
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->item(r, 0)->text();
    return out;
}

} // namespace

class TestDrop : public QObject {
    Q_OBJECT
    PageFixture f_;

    QString twoEntryZip(const QString& name)
    {
        return f_.zip(name, {{QStringLiteral("one.txt"), "1"}, {QStringLiteral("two.txt"), "22"}});
    }
    void filterByPattern(const QString& pattern)
    {
        f_.prompter.onDialog([=](QDialog& d) {
            auto& form = static_cast<TUnzipFileTypeform&>(d);
            QTest::mouseClick(form.MatchCheckBox, Qt::LeftButton);
            QTest::keyClicks(form.Edit, pattern);
            QTest::mouseClick(form.OKButton, Qt::LeftButton);
            return form.result();
        });
        QTest::mouseClick(f_.page->SelectButton, Qt::LeftButton);
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
        f_.prompter.failOnUnexpected = true;
        f_.form->show();
    }
    void cleanup() { f_.finish(); }

    void zipDroppedOnTheUnzipListIsListedWithTheLinkAction()
    {
        const QString zip = twoEntryZip(QStringLiteral("a.zip"));
        const Dropped d = dropOn(f_.page->UnzipListView, {zip});
        QVERIFY(d.enterAccepted);
        QVERIFY(d.dropAccepted);
        QCOMPARE(d.action, Qt::LinkAction);
        QCOMPARE(f_.prompter.messages.size(), 0);
        QCOMPARE(firstColumn(f_.page->UnzipListModel), (QStringList{"one.txt", "two.txt"}));
        QCOMPARE(f_.form->appState().CurrentArchive, zip);
        QVERIFY(f_.page->UnzipButton->isEnabled());
        QVERIFY(f_.page->TreeButton->isEnabled());
        QCOMPARE(f_.form->focusWidget(), f_.page->UnzipListView);
        QVERIFY(f_.page->OpenUnzipButton->isEnabled());  // the busy bracket is closed

        // A second zip on a filled list asks first; No keeps the listing.
        const QString other = f_.zip(QStringLiteral("b.zip"), {{QStringLiteral("b.txt"), "b"}});
        f_.prompter.answer(PromptButton::No);
        dropOn(f_.page->UnzipListView, {other});
        QCOMPARE(f_.prompter.lastText(), Replace);
        QCOMPARE(f_.prompter.messages.last().buttons, PromptButtons::YesNoCancel);
        QCOMPARE(f_.page->RowCount(), 2);
        QCOMPARE(f_.form->appState().CurrentArchive, zip);
        f_.prompter.answer(PromptButton::Yes);
        dropOn(f_.page->UnzipListView, {other});
        QCOMPARE(firstColumn(f_.page->UnzipListModel), QStringList{"b.txt"});
        QCOMPARE(f_.form->appState().CurrentArchive, other);
    }

    // The target offers link, else copy: never a move, which would have the
    // file manager delete what was dropped.
    void dropActions()
    {
        QCOMPARE(TDropFileTarget::ChooseAction(Qt::CopyAction | Qt::MoveAction), Qt::CopyAction);
        QCOMPARE(TDropFileTarget::ChooseAction(Qt::MoveAction | Qt::LinkAction), Qt::LinkAction);
        const QString zip = twoEntryZip(QStringLiteral("a.zip"));
        const Dropped d = dropOn(f_.page->UnzipListView, {zip}, Qt::MoveAction);
        QVERIFY(!d.enterAccepted);
        QVERIFY(!d.dropAccepted);
        QCOMPARE(f_.page->RowCount(), 0);
        QVERIFY(QFileInfo::exists(zip));
    }

    void twoZipsOnTheUnzipListKeepTheListing()
    {
        const QString zip = twoEntryZip(QStringLiteral("a.zip"));
        f_.open(zip);
        dropOn(f_.page->UnzipListView, {f_.zip("b.zip", {{"b", "b"}}), f_.zip("c.zip", {{"c", "c"}})});
        QCOMPARE(f_.prompter.texts(), QStringList{MoreThanOne});
        QCOMPARE(firstColumn(f_.page->UnzipListModel), (QStringList{"one.txt", "two.txt"}));
        QCOMPARE(f_.form->appState().CurrentArchive, zip);
    }

    void otherEndingsAreIgnored_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow(".rar") << QStringLiteral("x.rar");
        QTest::newRow(".tgz") << QStringLiteral("x.tgz");
        QTest::newRow("no dot") << QStringLiteral("zip");
        QTest::newRow("folder") << QStringLiteral("folder");
    }

    void otherEndingsAreIgnored()
    {
        QFETCH(QString, name);
        const QString zip = twoEntryZip(QStringLiteral("a.zip"));
        f_.open(zip);
        const QString path = f_.path(name);
        if (name == QLatin1String("folder"))
            QDir().mkpath(path);
        else
            testtools::writeFile(path, "Rar!\x1a\x07\x00 not really");
        const Dropped d = dropOn(f_.page->UnzipListView, {path});
        QVERIFY(d.dropAccepted);
        QCOMPARE(f_.prompter.messages.size(), 0);
        QCOMPARE(f_.page->RowCount(), 2);
        QCOMPARE(f_.form->appState().CurrentArchive, zip);
    }

    void zipOnTheFilteredViewAnsweredYes()
    {
        f_.open(twoEntryZip(QStringLiteral("a.zip")));
        filterByPattern(QStringLiteral("two"));
        QVERIFY(f_.page->FilteredViewShowing());
        QCOMPARE(f_.form->DropTarget(), f_.page->UnzipFilteredListView);
        const QString next = f_.zip(QStringLiteral("next.zip"), {{"n1", "1"}, {"n2", "2"}, {"n3", "3"}});
        f_.prompter.answer(PromptButton::Yes);
        dropOn(f_.page->UnzipFilteredListView, {next});
        QCOMPARE(f_.prompter.texts(), QStringList{Replace});
        QVERIFY(!f_.page->FilteredViewShowing());
        QVERIFY(f_.page->UnzipListView->isVisible());
        QCOMPARE(f_.page->FilteredRowCount(), 0);
        QCOMPARE(firstColumn(f_.page->UnzipListModel), (QStringList{"n1", "n2", "n3"}));
        QCOMPARE(f_.form->DropTarget(), f_.page->UnzipListView);
        QCOMPARE(f_.form->appState().CurrentArchive, next);
    }

    void zipOnTheFilteredViewAnsweredCancel()
    {
        const QString zip = twoEntryZip(QStringLiteral("a.zip"));
        f_.open(zip);
        filterByPattern(QStringLiteral("two"));
        f_.prompter.answer(PromptButton::Cancel);
        dropOn(f_.page->UnzipFilteredListView, {f_.zip("next.zip", {{"n", "n"}})});
        QVERIFY(f_.page->FilteredViewShowing());
        QCOMPARE(f_.page->FilteredRowCount(), 1);
        QCOMPARE(f_.page->RowCount(), 2);
        QCOMPARE(f_.form->DropTarget(), f_.page->UnzipFilteredListView);
        QCOMPARE(f_.form->appState().CurrentArchive, zip);
    }

    void tarAndGzipDrops()
    {
        QUARN_REQUIRE_PEER("tar");
        QUARN_REQUIRE_PEER("gzip");
        const QString src = f_.folder(QStringLiteral("src"));
        testtools::writeFile(src + "/a.txt", "alpha");
        testtools::writeFile(src + "/b.txt", "beta");
        const QString tar = f_.path(QStringLiteral("t.tar"));
        QCOMPARE(testtools::run("tar", {"-cf", tar, "a.txt", "b.txt"}, src).code, 0);
        dropOn(f_.page->UnzipListView, {tar});
        QCOMPARE(f_.prompter.messages.size(), 0);
        QCOMPARE(f_.page->RowCount(), 2);
        QCOMPARE(f_.form->appState().CurrentArchive, tar);
        for (QPushButton* b : {f_.page->SelectAllButton, f_.page->SelectButton, f_.page->UnSelectAllButton,
                               f_.page->UnzipResetButton, f_.page->UnzipButton, f_.page->TreeButton})
            QVERIFY2(b->isEnabled(), qPrintable(b->objectName()));

        // A gzipped tar lists the tar inside; a plain ".gz" its one file.
        const QString tgz = f_.path(QStringLiteral("t.tar.gz"));
        QCOMPARE(testtools::run("tar", {"-czf", tgz, "a.txt", "b.txt"}, src).code, 0);
        f_.prompter.answer(PromptButton::Yes);
        dropOn(f_.page->UnzipListView, {tgz});
        QCOMPARE(f_.page->RowCount(), 2);
        QCOMPARE(f_.form->appState().CurrentArchive, tgz);
        QCOMPARE(testtools::run("gzip", {"-k", src + "/a.txt"}).code, 0);
        f_.prompter.answer(PromptButton::Yes);
        dropOn(f_.page->UnzipListView, {src + "/a.txt.gz"});
        QCOMPARE(f_.page->RowCount(), 1);
        QVERIFY(!f_.page->TreeButton->isEnabled());
        QCOMPARE(f_.prompter.texts(), (QStringList{Replace, Replace}));
    }

    // A ".zip" that holds something else gets OPEN's message and lists nothing.
    void misnamedArchiveIsReported()
    {
        const QString fake = f_.path(QStringLiteral("fake.zip"));
        testtools::writeFile(fake, QByteArray("Rar!\x1a\x07\x00", 7) + QByteArray(64, 'x'));
        dropOn(f_.page->UnzipListView, {fake});
        QCOMPARE(f_.prompter.messages.size(), 1);
        QVERIFY(f_.prompter.lastText().contains(QStringLiteral("fake.zip")));
        QCOMPARE(f_.page->RowCount(), 0);
        QVERIFY(f_.page->OpenUnzipButton->isEnabled());
    }

    void nothingReachesTheBatchList()
    {
        f_.showPage(TForm1::BatchPageIndex);
        QCOMPARE(f_.form->DropTarget(), f_.page->UnzipListView);
        const Dropped d = dropOn(f_.form->BatchPage->BatchListView, {twoEntryZip(QStringLiteral("a.zip"))});
        QVERIFY(!d.dropAccepted);
        QCOMPARE(f_.form->BatchPage->BatchListView->model()->rowCount(), 0);
        QCOMPARE(f_.page->RowCount(), 0);
        QCOMPARE(f_.prompter.messages.size(), 0);
    }

    void updatePageWithoutAnArchiveTakesNothing()
    {
        f_.showPage(TForm1::UpdatePageIndex);
        TUpdatePage* u = f_.form->UpdatePage;
        QCOMPARE(f_.form->DropTarget(), f_.page->UnzipListView);
        const QString file = f_.path(QStringLiteral("add.txt"));
        testtools::writeFile(file, "add");
        QVERIFY(!dropOn(u->UpdateListView, {file}).dropAccepted);
        // Even with the target on its list, no archive means no change.
        f_.form->MoveDropTarget(u->UpdateListView);
        QVERIFY(dropOn(u->UpdateListView, {file}).dropAccepted);
        QCOMPARE(u->RowCount(), 0);
        QCOMPARE(f_.prompter.messages.size(), 0);
    }

    void updatePageWithAnArchiveAddsTheFiles()
    {
        f_.open(twoEntryZip(QStringLiteral("a.zip")));
        f_.showPage(TForm1::UpdatePageIndex);
        TUpdatePage* u = f_.form->UpdatePage;
        QCOMPARE(f_.form->DropTarget(), u->UpdateListView);
        const QString file = f_.path(QStringLiteral("add.txt"));
        testtools::writeFile(file, "add");
        QVERIFY(dropOn(u->UpdateListView, {file}).dropAccepted);
        QCOMPARE(u->RowCount(), 3);
        QVERIFY(firstColumn(u->UpdateListModel).contains(QStringLiteral("add.txt")));
    }

    // Files and folders go through the create page's add flow, one undo step.
    void filesAndFoldersOnTheCreateList()
    {
        f_.showPage(TForm1::CreatePageIndex);
        TCreatePage* c = f_.form->CreatePage;
        QCOMPARE(f_.form->DropTarget(), c->ZipListView);
        const QString folder = f_.folder(QStringLiteral("tree"));
        testtools::writeFile(folder + "/x.txt", "x");
        testtools::writeFile(folder + "/sub/y.txt", "yy");
        const QString loose = f_.path(QStringLiteral("loose.txt"));
        testtools::writeFile(loose, "loose");
        dropOn(c->ZipListView, {loose});
        QCOMPARE(c->RowCount(), 1);
        // The folder is scanned behind the add-folder window.
        f_.prompter.onDialog([](QDialog& dlg) {
            return QTest::qWaitFor([&dlg] { return !dlg.isVisible(); }, 60000) ? dlg.result() : int(QDialog::Rejected);
        });
        const Dropped d = dropOn(c->ZipListView, {folder, f_.path(QStringLiteral("gone.txt"))});
        QVERIFY(d.dropAccepted);
        QCOMPARE(c->RowCount(), 3);
        QVERIFY(c->ZipButton->isEnabled());
        QVERIFY(c->ZipUndoButton->isEnabled());
        QVERIFY(c->OpenFilesZipButton->isEnabled());
        // The same file again is not listed twice.
        dropOn(c->ZipListView, {loose});
        QCOMPARE(c->RowCount(), 3);
        // UNDO takes back the folder's drop, then the first one.
        c->ZipUndoButtonClick();
        QCOMPARE(firstColumn(c->ZipListModel), QStringList{"loose.txt"});
        c->ZipUndoButtonClick();
        QCOMPARE(c->RowCount(), 0);
        QCOMPARE(f_.prompter.messages.size(), 0);
    }

    // While a single-archive operation holds the busy bracket a drop is
    // refused without a word.
    void busyWindowRefusesDrops()
    {
        f_.form->DisableAll();
        const Dropped d = dropOn(f_.page->UnzipListView, {twoEntryZip(QStringLiteral("a.zip"))});
        f_.form->EnableAll();
        QVERIFY(!d.enterAccepted);
        QVERIFY(!d.dropAccepted);
        QCOMPARE(f_.page->RowCount(), 0);
        QCOMPARE(f_.prompter.messages.size(), 0);
    }
};

QTEST_MAIN(TestDrop)
#include "test_drop.moc"
