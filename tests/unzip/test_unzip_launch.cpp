// Opening entries in viewers from the unzip page: the entry extracted flat
// into the scratch folder and handed to the associated program, Notepad,
// WordPad or the image viewer, for every archive kind; the row click, the
// tree browser's launch, the pop-up menu's rules and the Open With chooser.
// The programs are recording scripts in a sandboxed desktop.

#include "PageFixture.h"
#include "RecordingApps.h"
#include "XdgSandbox.h"

#include "codecs/Gzip.h"
#include "codecs/TarWriter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "unzip/TUnzipFileTypeform.h"
#include "viewers/TImageForm.h"
#include "viewers/TOpenWithForm.h"

#include <QAction>
#include <QCheckBox>
#include <QBuffer>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QMenu>

namespace {

QByteArray pngBytes()
{
    QImage image(12, 8, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer b;
    b.open(QIODevice::WriteOnly);
    image.save(&b, "PNG");
    return b.data();
}

} // namespace

class TestUnzipLaunch : public QObject {
    Q_OBJECT
    PageFixture f_;
    std::unique_ptr<XdgSandbox> box_;
    std::unique_ptr<RecordingApps> apps_;

    TUnzipPage* page() { return f_.page; }
    QString scratch(const QString& name) { return page()->LaunchFolder() + QLatin1Char('/') + name; }
    void pick(int row) { PageFixture::select(page()->UnzipListView, {row}); }
    // The files the scratch folder holds, its image folder aside.
    QStringList scratchFiles()
    {
        QStringList names = QDir(page()->LaunchFolder()).entryList(QDir::Files | QDir::Hidden | QDir::System);
        names.sort();
        return names;
    }
    // The menu's viewer items, enabled or not, after the menu's opening rules.
    QList<bool> menuState()
    {
        emit page()->UnzipPopupMenu->aboutToShow();
        QList<bool> on;
        for (QAction* a : {page()->Open1, page()->NotePad1, page()->WordPad1, page()->QuickView1, page()->ImageView1})
            on << a->isEnabled();
        return on;
    }
    QString tar(const QString& name, const QList<std::pair<QString, QByteArray>>& members, const QList<QDateTime>& times)
    {
        const QString p = f_.path(name);
        TTarWriter w(p);
        for (int i = 0; i < members.size(); ++i) {
            QBuffer b;
            b.setData(members[i].second);
            b.open(QIODevice::ReadOnly);
            w.addStream(b, members[i].first, times[i]);
        }
        w.close();
        return p;
    }
    // OPEN on an archive while another is listed.
    void reopen(const QString& archive)
    {
        f_.prompter.answer(PromptButton::Yes);
        f_.open(archive);
        f_.prompter.messages.clear();
    }
    // A viewer item chosen from the pop-up menu, as it opens.
    void choose(QAction* item)
    {
        emit page()->UnzipPopupMenu->aboutToShow();
        QVERIFY2(item->isEnabled(), qPrintable(item->text()));
        item->trigger();
    }
    QString gzip(const QString& file, const QString& gzPath)
    {
        TGzip gz;
        gz.FileSource = file;
        gz.FileDestination = gzPath;
        gz.GzipHeader = unsigned(TGzip::filename);
        if (gz.compress() != TGzip::Ok)
            qFatal("cannot gzip %s", qPrintable(file));
        return gzPath;
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        // The viewers are found when the window starts: the desktop comes first.
        box_ = std::make_unique<XdgSandbox>();
        apps_ = std::make_unique<RecordingApps>(*box_);
        apps_->app("notepad", "text/plain;", true);
        apps_->app("wordpad", "application/rtf;", true);
        apps_->app("paint", "image/png;", true);
        f_.newForm();
        f_.form->show();
    }
    void cleanup()
    {
        f_.finish();
        apps_.reset();
        box_.reset();
    }

    // Note Pad on docs\readme.txt: readme.txt lands straight in the
    // owner-only scratch folder and the editor gets its long path; Word
    // Pad gets the same path (short paths are the paths themselves here).
    void notePadAndWordPadOnANestedEntry()
    {
        f_.open(f_.zip("docs.zip", {{"docs/readme.txt", "read me"}, {"other.txt", "other"}}));
        pick(0);
        choose(page()->NotePad1);
        const QString file = scratch("readme.txt");
        QCOMPARE(apps_->startedWith("notepad"), QStringList{file});
        QCOMPARE(testtools::readFile(file), QByteArray("read me"));
        QVERIFY(!QFileInfo::exists(scratch("docs")));
        const QFileDevice::Permissions groupOrOther = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                      QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                      QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFileInfo(page()->LaunchFolder()).permissions() & groupOrOther, QFileDevice::Permissions());
        QVERIFY(f_.settings().WordPadPresent);
        choose(page()->WordPad1);
        QCOMPARE(apps_->startedWith("wordpad"), QStringList{file});
        QVERIFY2(f_.prompter.messages.isEmpty(), qPrintable(f_.prompter.texts().join('\n')));
    }

    // a\x.txt and b\x.txt both land as x.txt; the second replaces the
    // first, and nothing else is left behind.
    void sameFileNameReplacesTheEarlierOne()
    {
        f_.open(f_.zip("two.zip", {{"a/x.txt", "first"}, {"b/x.txt", "second"}}));
        pick(0);
        choose(page()->NotePad1);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("x.txt")});
        QCOMPARE(testtools::readFile(scratch("x.txt")), QByteArray("first"));
        pick(1);
        choose(page()->NotePad1);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("x.txt")});
        QCOMPARE(testtools::readFile(scratch("x.txt")), QByteArray("second"));
        QCOMPARE(scratchFiles(), QStringList{"x.txt"});
    }

    // A type no application opens brings up the chooser; what it starts gets the file.
    void typeWithoutHandlerGetsTheChooser()
    {
        f_.open(f_.zip("blob.zip", {{"data/blob.qzq", QByteArray("\x00\x01\x02", 3)}}));
        pick(0);
        const QString typed = apps_->script("typed");
        f_.prompter.onDialog([&](QDialog& d) {
            auto* form = dynamic_cast<TOpenWithForm*>(&d);
            if (!form)
                return int(QDialog::Rejected);
            form->CommandEdit->setText(typed);
            QTest::mouseClick(form->OKButton, Qt::LeftButton);
            return d.result();
        });
        choose(page()->Open1);
        QCOMPARE(f_.prompter.dialogTitles, QStringList{"Open With"});
        QCOMPARE(apps_->startedWith("typed"), QStringList{scratch("blob.qzq")});
        QVERIFY(f_.prompter.messages.isEmpty());
    }

    // With pictures set to the graphics application, Open hands a .png to
    // it; Image View still shows the program's own viewer. With pictures set
    // to the viewer, Open shows the viewer too.
    void picturesFollowTheSetting()
    {
        f_.open(f_.zip("pics.zip", {{"img/p.png", pngBytes()}, {"t.txt", "t"}}));
        f_.settings().ImageViewerOnClick = false;
        pick(0);
        choose(page()->Open1);
        QCOMPARE(apps_->startedWith("paint"), QStringList{scratch("p.png")});
        int viewerShown = 0;
        auto closeViewer = [&](QDialog& d) {
            if (dynamic_cast<TImageForm*>(&d))
                ++viewerShown;
            d.reject();
            return d.result();
        };
        f_.prompter.onDialog(closeViewer);
        choose(page()->ImageView1);
        QVERIFY2(f_.prompter.messages.isEmpty(), qPrintable(f_.prompter.texts().join('\n')));
        QCOMPARE(viewerShown, 1);
        f_.settings().ImageViewerOnClick = true;
        f_.prompter.onDialog(closeViewer);
        choose(page()->Open1);
        QCOMPARE(viewerShown, 2);
        QVERIFY(apps_->notStarted("paint"));
        QVERIFY(f_.prompter.allAnswersUsed());
    }

    void popupMenuRules()
    {
        f_.open(f_.zip("mixed.zip", {{"a.txt", "a"}, {"b.png", pngBytes()}, {"c.txt", "c"}}));
        using L = QList<bool>;
        // Open, Note Pad, Word Pad, Quick View, Image View
        page()->UnzipListView->clearSelection();
        QCOMPARE(menuState(), (L{false, false, false, false, false}));
        PageFixture::select(page()->UnzipListView, {0, 2});
        QCOMPARE(menuState(), (L{false, false, false, false, false}));
        pick(0);
        QCOMPARE(menuState(), (L{true, true, true, false, false}));
        pick(1);
        QCOMPARE(menuState(), (L{true, false, false, false, true}));
        // Without an RTF editor Word Pad stays off.
        f_.settings().WordPadPresent = false;
        pick(2);
        QCOMPARE(menuState(), (L{true, true, false, false, false}));
        // The window hidden: no list shows, and the list rules do not apply.
        f_.form->hide();
        QCOMPARE(menuState(), (L{true, true, false, false, false}));
    }

    // A tar entry stored twice: the row's time picks the one opened. A
    // gzip file and a gzipped tar open the same way.
    void tarAndGzipEntries()
    {
        const QDateTime early(QDate(2020, 1, 2), QTime(3, 4, 6), Qt::UTC);
        const QDateTime late(QDate(2022, 5, 6), QTime(7, 8, 10), Qt::UTC);
        const QString t = tar("dup.tar", {{"d/dup.txt", "old copy"}, {"d/dup.txt", "new copy"}}, {early, late});
        f_.open(t);
        QCOMPARE(page()->RowCount(), 2);
        pick(1);
        choose(page()->NotePad1);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("dup.txt")});
        QCOMPARE(testtools::readFile(scratch("dup.txt")), QByteArray("new copy"));
        pick(0);
        choose(page()->NotePad1);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("dup.txt")});
        QCOMPARE(testtools::readFile(scratch("dup.txt")), QByteArray("old copy"));
        // A row that no longer matches its entry (the archive changed) opens nothing.
        page()->UnzipListModel->item(0, 2)->setText(QStringLiteral("never"));
        pick(0);
        choose(page()->NotePad1);
        QVERIFY(apps_->notStarted("notepad"));
        QVERIFY(f_.prompter.messages.isEmpty());

        // An entry cut short is said; what an earlier launch left under its
        // name is gone, and nothing opens.
        testtools::writeFile(f_.path("cut.tar"), testtools::readFile(t).left(512 * 3 + 4));
        reopen(f_.path("cut.tar"));
        f_.prompter.messages.clear();
        pick(1);
        choose(page()->NotePad1);
        QCOMPARE(f_.prompter.messages.size(), 1);
        QCOMPARE(f_.prompter.messages.first().kind, PromptKind::Error);
        QVERIFY(!QFileInfo::exists(scratch("dup.txt")));
        QVERIFY(apps_->notStarted("notepad"));
        f_.prompter.messages.clear();

        reopen(gzip(t, f_.path("dup.tgz")));
        QCOMPARE(page()->RowCount(), 2);
        pick(0);
        choose(page()->NotePad1);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("dup.txt")});
        QCOMPARE(testtools::readFile(scratch("dup.txt")), QByteArray("old copy"));

        testtools::writeFile(f_.path("note.txt"), "a gzipped note");
        reopen(gzip(f_.path("note.txt"), f_.path("note.txt.gz")));
        pick(0);
        choose(page()->NotePad1);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("note.txt")});
        QCOMPARE(testtools::readFile(scratch("note.txt")), QByteArray("a gzipped note"));
        QVERIFY2(f_.prompter.messages.isEmpty(), qPrintable(f_.prompter.texts().join('\n')));
    }

    // A link in the scratch folder's place is never written through.
    void linkedScratchFolderIsRefused()
    {
        f_.open(f_.zip("one.zip", {{"readme.txt", "read me"}}));
        const QString elsewhere = f_.folder("elsewhere");
        QVERIFY(QDir(page()->LaunchFolder()).removeRecursively());
        QVERIFY(QFile::link(elsewhere, page()->LaunchFolder()));
        pick(0);
        choose(page()->NotePad1);
        QCOMPARE(f_.prompter.texts(), QStringList{"The specified path was not found."});
        QVERIFY(PageFixture::files(elsewhere).isEmpty());
        QVERIFY(apps_->notStarted("notepad"));
    }

    // RAR entries, and the kinds read through libarchive, open like the rest.
    void rarAndOtherKinds()
    {
        const QString rar = f_.path("sample.rar");
        QVERIFY(QFile::copy(QStringLiteral(QUARN_SOURCE_DIR "/tests/rar/data/test_read_format_rar.rar"), rar));
        f_.open(rar);
        QCOMPARE(page()->UnzipListModel->item(2, 3)->text(), QStringLiteral("testdir\\"));
        pick(2);
        choose(page()->NotePad1);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("test.txt")});
        QCOMPARE(testtools::readFile(scratch("test.txt")).size(), 20);

        QUARN_REQUIRE_PEER("xz");
        const QString t = tar("bundle.tar", {{"in/readme.txt", "compressed by xz"}}, {QDateTime::currentDateTimeUtc()});
        const testtools::Run xz = testtools::run(QStringLiteral("xz"), {QStringLiteral("-k"), t});
        QCOMPARE(xz.code, 0);
        reopen(t + ".xz");
        QCOMPARE(page()->RowCount(), 1);
        pick(0);
        choose(page()->NotePad1);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("readme.txt")});
        QCOMPARE(testtools::readFile(scratch("readme.txt")), QByteArray("compressed by xz"));
        QVERIFY2(f_.prompter.messages.isEmpty(), qPrintable(f_.prompter.texts().join('\n')));
    }

    // A plain left click opens the row with its associated program; with
    // Ctrl it only selects. The tree browser's launch finds its row by name
    // and folder.
    void clickAndTreeLaunch()
    {
        f_.open(f_.zip("click.zip", {{"docs/readme.txt", "read me"}, {"other.txt", "other"}}));
        QTreeView* list = page()->UnzipListView;
        QCOMPARE(list->viewport()->cursor().shape(), Qt::PointingHandCursor);
        list->clearSelection();
        const QPoint second = list->visualRect(list->model()->index(1, 0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, second);
        QVERIFY(apps_->notStarted("notepad"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("other.txt")});

        page()->LaunchFromTreeview(QStringLiteral("readme.txt"), QStringLiteral("docs\\"), QStringLiteral("Wordpad.exe"));
        QCOMPARE(apps_->startedWith("wordpad"), QStringList{scratch("readme.txt")});
        QCOMPARE(PageFixture::selected(list), QList<int>{0});
        // Another folder's name matches no row: nothing opens.
        page()->LaunchFromTreeview(QStringLiteral("readme.txt"), QStringLiteral("Docs\\"), QString());
        QVERIFY(apps_->notStarted("notepad"));
        QVERIFY(PageFixture::selected(list).isEmpty());

        // The filtered view: its highlighted row is the one opened, whatever
        // the hidden full list has highlighted, and a click opens its row.
        f_.prompter.onDialog([](QDialog& d) {
            auto& form = static_cast<TUnzipFileTypeform&>(d);
            QTest::mouseClick(form.MatchCheckBox, Qt::LeftButton);
            QTest::keyClicks(form.Edit, QStringLiteral("other"));
            QTest::mouseClick(form.OKButton, Qt::LeftButton);
            return form.result();
        });
        QTest::mouseClick(page()->SelectButton, Qt::LeftButton);
        QVERIFY(page()->FilteredViewShowing());
        pick(0);
        PageFixture::select(page()->UnzipFilteredListView, {0});
        choose(page()->NotePad1);
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("other.txt")});
        QTreeView* filtered = page()->UnzipFilteredListView;
        filtered->clearSelection();
        QTest::mouseClick(filtered->viewport(), Qt::LeftButton, {}, filtered->visualRect(filtered->model()->index(0, 0)).center());
        QCOMPARE(apps_->startedWith("notepad"), QStringList{scratch("other.txt")});
        QCOMPARE(PageFixture::selected(list), QList<int>{1});
        QVERIFY(f_.prompter.messages.isEmpty());
    }
};

QTEST_MAIN(TestUnzipLaunch)
#include "test_unzip_launch.moc"
