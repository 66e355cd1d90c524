// TREE on the unzip page: the window over the listed rows of zips and tars,
// its UNZIP carried out on the page (everything, a folder with its
// sub-folders, one file), the files it opens, and `quarn --screenshot`.

#include "PageFixture.h"

#include "codecs/Gzip.h"
#include "codecs/TarWriter.h"
#include "settings/AppState.h"
#include "treebrowser/FileTree.h"
#include "treebrowser/FileTreeModel.h"
#include "treebrowser/TUnzipTreeviewForm.h"
#include "unzip/TUnzipFileTypeform.h"

#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>

using ZipFixture::Entry;

class TestTreeUnzip : public QObject {
    Q_OBJECT
    PageFixture f_;
    QStringList launched_;

    QString sampleZip()
    {
        return f_.zip(QStringLiteral("sample.zip"),
                      {{QStringLiteral("top.txt"), "top"}, {QStringLiteral("docs/"), {}},
                       {QStringLiteral("docs/guide.txt"), "guide"}, {QStringLiteral("docs/img/p.png"), "png"},
                       {QStringLiteral("docs/img/deeper/q.gif"), "gif"}, {QStringLiteral("docsextra/x.txt"), "x"},
                       {QStringLiteral("Docs/y.txt"), "y"}, {QStringLiteral("src/main.c"), "main"}});
    }
    // TREE, with `script` run on the window (it returns the window's result).
    void tree(const std::function<void(TUnzipTreeviewForm&)>& script)
    {
        f_.prompter.onDialog([script](QDialog& d) {
            auto& w = dynamic_cast<TUnzipTreeviewForm&>(d);
            script(w);
            return w.result();
        });
        QVERIFY(f_.page->TreeButton->isEnabled());
        QTest::mouseClick(f_.page->TreeButton, Qt::LeftButton);
    }
    static int node(const TUnzipTreeviewForm& w, const QString& treePath)
    {
        for (int i = 0; i < w.Tree().size(); ++i)
            if (w.Tree().GetTreePath(i) == treePath)
                return i;
        return -1;
    }
    static void click(TUnzipTreeviewForm& w, QTreeView* tree, const QString& treePath)
    {
        const QModelIndex i = static_cast<const TFileTreeModel*>(tree->model())->IndexOf(node(w, treePath));
        QVERIFY2(i.isValid(), qPrintable(treePath));
        tree->scrollTo(i);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(i).center());
    }
    // Chooses `treePath` in the file tree and presses UNZIP.
    static std::function<void(TUnzipTreeviewForm&)> unzip(const QString& treePath)
    {
        return [treePath](TUnzipTreeviewForm& w) {
            click(w, w.TreeView, treePath);
            QTest::mouseClick(w.UnzipButton, Qt::LeftButton);
        };
    }
    // "Path" + "File " of the highlighted rows.
    QStringList selectedNames() const
    {
        QStringList names;
        for (int r : PageFixture::selected(f_.page->UnzipListView))
            names << f_.page->UnzipListModel->item(r, 3)->text() + f_.page->UnzipListModel->item(r, 0)->text();
        return names;
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
        launched_.clear();
        f_.page->LaunchFromTreeview = [this](const QString& n, const QString& p, const QString& v) {
            launched_ << n + QLatin1Char('|') + p + QLatin1Char('|') + v;
        };
        f_.form->show();
    }
    void cleanup() { f_.finish(); }

    void theRootExtractsEveryRow()
    {
        f_.open(sampleZip());
        f_.page->UnSelectAllButtonClick();
        const QString dest = f_.folder(QStringLiteral("all"));
        f_.prompter.answerFolder(dest);
        tree([](TUnzipTreeviewForm& w) {
            // The tree is the listed archive under its name.
            QCOMPARE(w.Tree().node(0).text, QStringLiteral("sample.zip"));
            QStringList top;
            for (int n : w.Tree().node(0).children)
                top << w.Tree().node(n).text;
            QCOMPARE(top, (QStringList{QStringLiteral("Docs"), QStringLiteral("docs"), QStringLiteral("docsextra"),
                                       QStringLiteral("src"), QStringLiteral("top.txt")}));
            click(w, w.TreeView, QStringLiteral("sample.zip"));
            QTest::mouseClick(w.UnzipButton, Qt::LeftButton);
        });
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView).size(), f_.page->RowCount());
        QCOMPARE(f_.prompter.texts(), QStringList{success(QStringLiteral("sample.zip"), dest)});
        QCOMPARE(PageFixture::files(dest),
                 (QStringList{QStringLiteral("Docs/y.txt"), QStringLiteral("docs/guide.txt"), QStringLiteral("docs/img/deeper/q.gif"),
                              QStringLiteral("docs/img/p.png"), QStringLiteral("docsextra/x.txt"), QStringLiteral("src/main.c"),
                              QStringLiteral("top.txt")}));
    }

    void aFolderTakesItsSubFoldersAlong()
    {
        f_.open(sampleZip());
        const QString dest = f_.folder(QStringLiteral("docs"));
        f_.prompter.answerFolder(dest);
        tree(unzip(QStringLiteral("docs\\*.*")));
        // Not docsextra\, not Docs\.
        QCOMPARE(selectedNames(), (QStringList{QStringLiteral("docs\\"), QStringLiteral("docs\\guide.txt"), QStringLiteral("docs\\img\\p.png"),
                                              QStringLiteral("docs\\img\\deeper\\q.gif")}));
        QCOMPARE(PageFixture::files(dest), (QStringList{QStringLiteral("docs/guide.txt"), QStringLiteral("docs/img/deeper/q.gif"),
                                                        QStringLiteral("docs/img/p.png")}));
        QCOMPARE(f_.prompter.texts(), QStringList{success(QStringLiteral("sample.zip"), dest)});
    }

    void oneFileAndTheUnzipPageFollows()
    {
        f_.open(sampleZip());
        const QString dest = f_.folder(QStringLiteral("one"));
        f_.prompter.answerFolder(dest);
        tree(unzip(QStringLiteral("docs\\img\\p.png")));
        QCOMPARE(selectedNames(), QStringList{QStringLiteral("docs\\img\\p.png")});
        QCOMPARE(PageFixture::files(dest), QStringList{QStringLiteral("docs/img/p.png")});
        QVERIFY(f_.page->UnzipButton->isEnabled());

        // A file at the archive's top: a name without a folder.
        f_.prompter.clear();
        const QString top = f_.folder(QStringLiteral("top"));
        f_.prompter.answerFolder(top);
        tree(unzip(QStringLiteral("top.txt")));
        QCOMPARE(selectedNames(), QStringList{QStringLiteral("top.txt")});
        QCOMPARE(PageFixture::files(top), QStringList{QStringLiteral("top.txt")});
    }

    void closeLeavesTheListAsItWas()
    {
        f_.open(sampleZip());
        PageFixture::select(f_.page->UnzipListView, {1, 4});
        tree([](TUnzipTreeviewForm& w) {
            click(w, w.TreeView, QStringLiteral("docs\\*.*"));
            QTest::mouseClick(w.UnzipCloseButton, Qt::LeftButton);
        });
        QCOMPARE(PageFixture::selected(f_.page->UnzipListView), (QList<int>{1, 4}));
        QVERIFY(f_.prompter.messages.isEmpty());
    }

    void selectionHelpersMatchPathsExactly()
    {
        f_.open(f_.zip(QStringLiteral("twice.zip"), {{QStringLiteral("a/x.txt"), "1"}, {QStringLiteral("A/x.txt"), "2"},
                                                      {QStringLiteral("a/b/x.txt"), "3"}, {QStringLiteral("x.txt"), "4"}}));
        f_.page->UnzipAFolder(QStringLiteral("a\\"));
        QCOMPARE(selectedNames(), (QStringList{QStringLiteral("a\\x.txt"), QStringLiteral("a\\b\\x.txt")}));
        f_.page->UnzipAFile(QStringLiteral("A\\x.txt"));
        QCOMPARE(selectedNames(), QStringList{QStringLiteral("A\\x.txt")});
        f_.page->UnzipAFile(QStringLiteral("x.txt"));
        QCOMPARE(selectedNames(), QStringList{QStringLiteral("x.txt")});
        f_.page->UnzipAFile(QStringLiteral("..\\x.txt"));
        QCOMPARE(selectedNames(), QStringList());
    }

    void theFilteredViewGivesWayToTheFullList()
    {
        f_.open(sampleZip());
        // Filter to the .c rows and highlight them.
        f_.prompter.onDialog([](QDialog& d) {
            auto& form = static_cast<TUnzipFileTypeform&>(d);
            QTest::mouseClick(form.MatchCheckBox, Qt::LeftButton);
            QTest::keyClicks(form.Edit, QStringLiteral("main"));
            QTest::mouseClick(form.OKButton, Qt::LeftButton);
            return form.result();
        });
        QTest::mouseClick(f_.page->SelectButton, Qt::LeftButton);
        QVERIFY(f_.page->FilteredViewShowing());
        f_.page->UnzipFilteredListView->selectAll();
        const QString dest = f_.folder(QStringLiteral("filtered"));
        f_.prompter.answerFolder(dest);
        tree(unzip(QStringLiteral("docs\\img\\*.*")));
        QVERIFY(!f_.page->FilteredViewShowing());
        QCOMPARE(PageFixture::files(dest), (QStringList{QStringLiteral("docs/img/deeper/q.gif"), QStringLiteral("docs/img/p.png")}));
    }

    void tarsBrowseAndExtractAlike()
    {
        const QString tarPath = f_.path(QStringLiteral("pack.tar"));
        {
            TTarWriter w(tarPath);
            const QDateTime when(QDate(2024, 3, 5), QTime(6, 7, 8), Qt::UTC);
            for (const auto& [name, data] : QList<QPair<QString, QByteArray>>{
                     {QStringLiteral("lib/a.c"), "a"}, {QStringLiteral("lib/sub/b.c"), "b"}, {QStringLiteral("read.me"), "r"}}) {
                QBuffer b;
                b.setData(data);
                b.open(QIODevice::ReadOnly);
                w.addStream(b, name, when);
            }
            w.close();
        }
        f_.open(tarPath);
        QCOMPARE(f_.page->RowCount(), 3);
        const QString dest = f_.folder(QStringLiteral("tar"));
        f_.prompter.answerFolder(dest);
        tree(unzip(QStringLiteral("lib\\*.*")));
        QCOMPARE(selectedNames(), (QStringList{QStringLiteral("lib\\a.c"), QStringLiteral("lib\\sub\\b.c")}));
        QCOMPARE(PageFixture::files(dest), (QStringList{QStringLiteral("lib/a.c"), QStringLiteral("lib/sub/b.c")}));

        // The same tar gzipped.
        TGzip gz;
        gz.FileSource = tarPath;
        gz.FileDestination = f_.path(QStringLiteral("pack.tgz"));
        QCOMPARE(gz.compress(), int(TGzip::Ok));
        f_.prompter.answer(PromptButton::Yes);  // clear the entries and load the new file
        f_.open(f_.path(QStringLiteral("pack.tgz")));
        QCOMPARE(f_.page->RowCount(), 3);
        f_.prompter.clear();
        const QString dest2 = f_.folder(QStringLiteral("tgz"));
        f_.prompter.answerFolder(dest2);
        tree(unzip(QStringLiteral("read.me")));
        QCOMPARE(PageFixture::files(dest2), QStringList{QStringLiteral("read.me")});
    }

    void filesOpenThroughTheViewersHook()
    {
        f_.open(sampleZip());
        tree([](TUnzipTreeviewForm& w) {
            click(w, w.TreeView, QStringLiteral("top.txt"));
            click(w, w.TreeView, QStringLiteral("docs\\img\\p.png"));
            click(w, w.TreeView, QStringLiteral("docs\\*.*"));  // folders open nothing
            QTest::mouseClick(w.UnzipCloseButton, Qt::LeftButton);
        });
        QCOMPARE(launched_, (QStringList{QStringLiteral("top.txt||"), QStringLiteral("p.png|docs\\img\\|")}));
        // Unset, a click opens nothing and does no harm.
        f_.page->LaunchFromTreeview = nullptr;
        tree([](TUnzipTreeviewForm& w) {
            click(w, w.TreeView, QStringLiteral("top.txt"));
            QTest::mouseClick(w.UnzipCloseButton, Qt::LeftButton);
        });
        QCOMPARE(launched_.size(), 2);
        QVERIFY(QFileInfo(f_.form->appState().ImageTempFolder()).isDir());
    }

    void screenshotWritesTheTree()
    {
        const QString zip = sampleZip();
        const QString out = f_.folder(QStringLiteral("shots"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QUARN_DATA_DIR"), f_.folder(QStringLiteral("shotdata")));
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(QUARN_BIN_DIR "/quarn"), {QStringLiteral("--screenshot"), out, zip});
        QVERIFY(p.waitForFinished(120000));
        QCOMPARE(p.exitCode(), 0);
        const QImage shot(out + QStringLiteral("/tree.png"));
        QVERIFY(!shot.isNull());
        QVERIFY(shot.width() >= 740 && shot.height() >= 420);
        QVERIFY(QString::fromUtf8(p.readAllStandardOutput()).contains(QStringLiteral("tree.png")));
        QVERIFY(QFileInfo::exists(out + QStringLiteral("/page0-unzip.png")));
    }
};

QTEST_MAIN(TestTreeUnzip)
#include "test_tree_unzip.moc"
