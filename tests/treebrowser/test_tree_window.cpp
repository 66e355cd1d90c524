// The tree browser window: the label, the two trees kept in step, the
// right-hand list and its pop-up menu, BACK, the branch buttons, the search,
// and the files it hands to the viewers.

#include "PageFixture.h"

#include "settings/AppState.h"
#include "treebrowser/FileTree.h"
#include "treebrowser/FileTreeModel.h"
#include "treebrowser/TUnzipTreeviewForm.h"
#include "viewers/ViewerTypes.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QToolButton>

namespace {

const QString NotFound = QStringLiteral("SEARCH RESULT NOT FOUND.");

TTreeRow row(const QString& path, const QString& caption, int image = 1)
{
    return TTreeRow{caption, path, image};
}

struct Launched {
    QString name, path, viewer;
    bool operator==(const Launched& o) const { return name == o.name && path == o.path && viewer == o.viewer; }
};

} // namespace

namespace QTest {
template <>
char* toString(const Launched& l)
{
    return qstrdup(qPrintable(QStringLiteral("(%1 | %2 | %3)").arg(l.name, l.path, l.viewer)));
}
} // namespace QTest

class TestTreeWindow : public QObject {
    Q_OBJECT
    PageFixture f_;
    std::unique_ptr<TUnzipTreeviewForm> w_;
    QList<Launched> launched_;

    // The window on `rows` of the archive arc.zip, shown.
    TUnzipTreeviewForm* open(const QList<TTreeRow>& rows)
    {
        const QList<QIcon>& images = f_.form->appState().SmallImages.Images;
        w_ = std::make_unique<TUnzipTreeviewForm>(*f_.form, TFileTree::Assemble(QStringLiteral("arc.zip"), rows), images,
                                                  f_.form->appState().LargeImages.Images);
        w_->LaunchFile = [this](const QString& n, const QString& p, const QString& v) { launched_ << Launched{n, p, v}; };
        w_->show();
        return w_.get();
    }
    // A small archive: a file at the top, docs with two files and the folder
    // docs\img with pictures, and src.
    TUnzipTreeviewForm* openSample()
    {
        return open({row(QString(), QStringLiteral("readme.txt"), 4), row(QStringLiteral("docs\\"), QStringLiteral("b.txt"), 4),
                     row(QStringLiteral("docs\\"), QStringLiteral("A.doc"), 5), row(QStringLiteral("docs\\img\\"), QStringLiteral("a.png"), 6),
                     row(QStringLiteral("docs\\img\\"), QStringLiteral("c.GIF"), 7), row(QStringLiteral("src\\"), QStringLiteral("main.c"), 8),
                     row(QStringLiteral("src\\"), QStringLiteral("README-later.md"), 9)});
    }
    int node(const QString& treePath) const
    {
        const TFileTree& t = w_->Tree();
        for (int i = 0; i < t.size(); ++i)
            if (t.GetTreePath(i) == treePath)
                return i;
        qFatal("no node %s", qPrintable(treePath));
    }
    static const TFileTreeModel* model(QTreeView* tree) { return static_cast<const TFileTreeModel*>(tree->model()); }
    void clickNode(QTreeView* tree, int n)
    {
        const QModelIndex i = model(tree)->IndexOf(n);
        QVERIFY(i.isValid());
        tree->scrollTo(i);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualRect(i).center());
    }
    void clickBeside(QTreeView* tree)
    {
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(4, tree->viewport()->height() - 4));
    }
    // The names the right-hand list shows, in order.
    QStringList listed() const
    {
        QStringList names;
        for (int r = 0; r < w_->ListView1->model()->rowCount(); ++r)
            names << w_->ListView1->model()->index(r, 0).data().toString();
        return names;
    }
    QString listSelection() const
    {
        const int n = w_->SelectedListNode();
        return n < 0 ? QString() : w_->Tree().node(n).text;
    }
    void clickListItem(const QString& name)
    {
        const int r = int(listed().indexOf(name));
        QVERIFY2(r >= 0, qPrintable(name));
        const QModelIndex i = w_->ListView1->model()->index(r, 0);
        w_->ListView1->scrollTo(i);
        QTest::mouseClick(w_->ListView1->viewport(), Qt::LeftButton, {}, w_->ListView1->visualRect(i).center());
    }
    // Enabled items of the pop-up menu as it opens, in menu order.
    QStringList menuEnabled()
    {
        w_->ListviewPopupMenuPopup();
        QStringList on;
        for (QAction* a : {w_->Open1, w_->NotePad1, w_->WordPad1, w_->QuickView1, w_->ImageView1})
            if (a->isEnabled())
                on << a->text();
        return on;
    }
    QString selectedText(QTreeView* tree) const
    {
        const int n = w_->SelectedNode(tree);
        return n < 0 ? QString() : w_->Tree().GetTreePath(n);
    }
    void search(const QString& text, bool wholeWord = false, bool caseSensitive = false)
    {
        w_->SearchEdit->setText(text);
        w_->WholeWordCheckBox->setChecked(wholeWord);
        w_->CaseCheckBox->setChecked(caseSensitive);
        QTest::mouseClick(w_->BitBtn5, Qt::LeftButton);
    }

private slots:
    void init()
    {
        QVERIFY(f_.dir.isValid());
        f_.newForm();
        launched_.clear();
    }
    void cleanup()
    {
        w_.reset();
        f_.finish();
    }

    void controlsCarryTheirCaptions()
    {
        TUnzipTreeviewForm* w = openSample();
        QCOMPARE(w->windowTitle(), QStringLiteral("Quarn Unzip Explorer"));
        const QList<QPair<const char*, QString>> captions{
            {"UnzipButton", "UNZIP"}, {"UnzipCloseButton", "CLOSE"}, {"UnzipHelpButton", "HELP"},
            {"BitBtn1", "Expand Branch"}, {"BitBtn2", "Collapse Branch"}, {"BitBtn4", "Expand All"},
            {"BitBtn3", "Collapse All"}, {"FileButton", "Files"}, {"FolderButton", "Folders"}, {"BitBtn5", "Search"},
            {"FindNextButton", "Find Next"}, {"FindPreviousButton", "Find Previous"}, {"ListViewBackButton", "BACK"}};
        for (const auto& [name, caption] : captions) {
            auto* b = w->findChild<QPushButton*>(QString::fromLatin1(name));
            QVERIFY2(b, name);
            QCOMPARE(b->text(), caption);
        }
        QCOMPARE(w->findChild<QCheckBox*>(QStringLiteral("WholeWordCheckBox"))->text(), QStringLiteral("Whole Word"));
        QCOMPARE(w->findChild<QCheckBox*>(QStringLiteral("CaseCheckBox"))->text(), QStringLiteral("Case Sensitive"));
        QCOMPARE(w->findChild<QToolButton*>(QStringLiteral("LIconButton"))->toolTip(), QStringLiteral("LARGE ICONS"));
        QCOMPARE(w->findChild<QToolButton*>(QStringLiteral("ListButton"))->toolTip(), QStringLiteral("LIST"));
        QVERIFY(w->UnzipButton->isEnabled());
        QVERIFY(!w->FindNextButton->isEnabled());
        QVERIFY(!w->FindPreviousButton->isEnabled());
        QVERIFY(!w->ListViewBackButton->isEnabled());
        QVERIFY(!w->TreeView->isHidden());
        QVERIFY(w->FolderTreeView->isHidden());
        // The folder tree holds the root and the folders only.
        QCOMPARE(model(w->FolderTreeView)->rowCount(model(w->FolderTreeView)->IndexOf(0)), 2);
        QCOMPARE(model(w->TreeView)->rowCount(model(w->TreeView)->IndexOf(0)), 3);
        // The outer panel is the window less 25 by 200.
        w->resize(900, 700);
        QTRY_COMPARE(w->Panel1->size(), QSize(875, 500));
        QVERIFY(w->UnzipButton->y() > w->Panel1->geometry().bottom());
    }

    void fileTreeSelectionWritesTheLabelAndBringsTheFolderTreeAlong()
    {
        TUnzipTreeviewForm* w = openSample();
        clickNode(w->TreeView, node(QStringLiteral("docs\\img\\a.png")));
        QCOMPARE(w->Label1->text(), QStringLiteral("docs\\img\\a.png"));
        QCOMPARE(selectedText(w->FolderTreeView), QStringLiteral("docs\\img\\*.*"));
        QCOMPARE(listed(), (QStringList{QStringLiteral("a.png"), QStringLiteral("c.GIF")}));
        QCOMPARE(listSelection(), QStringLiteral("a.png"));
        QVERIFY(w->ListViewBackButton->isEnabled());
        // A click on a file opens it, with its folder's value.
        QCOMPARE(launched_, (QList<Launched>{{QStringLiteral("a.png"), QStringLiteral("docs\\img\\"), QString()}}));

        // A folder: its contents, folders first, each group by name without case.
        clickNode(w->TreeView, node(QStringLiteral("docs\\*.*")));
        QCOMPARE(w->Label1->text(), QStringLiteral("docs\\*.*"));
        QCOMPARE(listed(), (QStringList{QStringLiteral("img"), QStringLiteral("A.doc"), QStringLiteral("b.txt")}));
        QVERIFY(w->TreeView->isExpanded(model(w->TreeView)->IndexOf(node(QStringLiteral("docs\\*.*")))));
        QCOMPARE(selectedText(w->FolderTreeView), QStringLiteral("docs\\*.*"));
        QCOMPARE(launched_.size(), 1);

        // A file directly under the root: the folder tree has no selection, BACK is off.
        clickNode(w->TreeView, node(QStringLiteral("readme.txt")));
        QCOMPARE(w->Label1->text(), QStringLiteral("readme.txt"));
        QCOMPARE(w->SelectedNode(w->FolderTreeView), -1);
        QVERIFY(!w->ListViewBackButton->isEnabled());
        QCOMPARE(listSelection(), QStringLiteral("readme.txt"));
        QCOMPARE(launched_.last(), (Launched{QStringLiteral("readme.txt"), QString(), QString()}));

        // The root: the archive's name.
        clickNode(w->TreeView, 0);
        QCOMPARE(w->Label1->text(), QStringLiteral("arc.zip"));
        QCOMPARE(w->SelectedNode(w->FolderTreeView), 0);
        QVERIFY(!w->ListViewBackButton->isEnabled());
        QCOMPARE(listed(), (QStringList{QStringLiteral("docs"), QStringLiteral("src"), QStringLiteral("readme.txt")}));

        // A click beside every node: no choice, UNZIP off, the folder tree cleared.
        clickBeside(w->TreeView);
        QCOMPARE(w->Label1->text(), QString());
        QCOMPARE(w->ChosenPath(), QString());
        QVERIFY(!w->UnzipButton->isEnabled());
        QCOMPARE(w->SelectedNode(w->FolderTreeView), -1);
        // Choosing again brings UNZIP back.
        clickNode(w->TreeView, node(QStringLiteral("src\\*.*")));
        QVERIFY(w->UnzipButton->isEnabled());
    }

    void folderTreeDrivesTheFileTreeAndTheList()
    {
        TUnzipTreeviewForm* w = openSample();
        QTest::mouseClick(w->FolderButton, Qt::LeftButton);
        QVERIFY(w->TreeView->isHidden());
        QVERIFY(!w->TreeView->isEnabled());
        QVERIFY(!w->FolderTreeView->isHidden());
        QCOMPARE(w->FolderButton->palette().color(QPalette::ButtonText), QColor(128, 0, 128));
        QCOMPARE(w->FileButton->palette().color(QPalette::ButtonText), QColor(Qt::black));

        clickNode(w->FolderTreeView, node(QStringLiteral("docs\\img\\*.*")));
        QCOMPARE(w->Label1->text(), QStringLiteral("docs\\img\\*.*"));
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("docs\\img\\*.*"));
        QCOMPARE(listed(), (QStringList{QStringLiteral("a.png"), QStringLiteral("c.GIF")}));
        QVERIFY(w->ListViewBackButton->isEnabled());

        // A folder item of the list moves the folder tree to it; a file item
        // opens the file and leaves the folder tree where it is.
        clickNode(w->FolderTreeView, node(QStringLiteral("docs\\*.*")));
        clickListItem(QStringLiteral("img"));
        QCOMPARE(selectedText(w->FolderTreeView), QStringLiteral("docs\\img\\*.*"));
        QCOMPARE(listed(), (QStringList{QStringLiteral("a.png"), QStringLiteral("c.GIF")}));
        QVERIFY(launched_.isEmpty());
        clickListItem(QStringLiteral("c.GIF"));
        QCOMPARE(launched_, (QList<Launched>{{QStringLiteral("c.GIF"), QStringLiteral("docs\\img\\"), QString()}}));
        QCOMPARE(selectedText(w->FolderTreeView), QStringLiteral("docs\\img\\*.*"));

        // The root.
        clickNode(w->FolderTreeView, 0);
        QCOMPARE(w->Label1->text(), QStringLiteral("arc.zip"));
        QCOMPARE(w->SelectedNode(w->TreeView), 0);
        QVERIFY(!w->ListViewBackButton->isEnabled());
        QCOMPARE(listed(), (QStringList{QStringLiteral("docs"), QStringLiteral("src"), QStringLiteral("readme.txt")}));

        clickBeside(w->FolderTreeView);
        QCOMPARE(w->SelectedNode(w->TreeView), -1);
        QVERIFY(!w->UnzipButton->isEnabled());
        QCOMPARE(w->Label1->text(), QString());

        QTest::mouseClick(w->FileButton, Qt::LeftButton);
        QVERIFY(!w->TreeView->isHidden());
        QVERIFY(w->FolderTreeView->isHidden());
        QCOMPARE(w->FileButton->palette().color(QPalette::ButtonText), QColor(128, 0, 128));
        QCOMPARE(w->FolderButton->palette().color(QPalette::ButtonText), QColor(Qt::black));
    }

    void listItemsMoveTheFileTree()
    {
        TUnzipTreeviewForm* w = openSample();
        clickNode(w->TreeView, 0);
        clickListItem(QStringLiteral("docs"));
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("docs\\*.*"));
        QCOMPARE(selectedText(w->FolderTreeView), QStringLiteral("docs\\*.*"));
        clickListItem(QStringLiteral("b.txt"));
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("docs\\b.txt"));
        QCOMPARE(w->Label1->text(), QStringLiteral("docs\\b.txt"));
        QCOMPARE(listSelection(), QStringLiteral("b.txt"));
        QCOMPARE(launched_, (QList<Launched>{{QStringLiteral("b.txt"), QStringLiteral("docs\\"), QString()}}));
        // Large icons and list keep the items and the chosen one.
        QTest::mouseClick(w->ListButton, Qt::LeftButton);
        QCOMPARE(w->ListView1->viewMode(), QListView::ListMode);
        QCOMPARE(listSelection(), QStringLiteral("b.txt"));
        QTest::mouseClick(w->LIconButton, Qt::LeftButton);
        QCOMPARE(w->ListView1->viewMode(), QListView::IconMode);
        QCOMPARE(listed(), (QStringList{QStringLiteral("img"), QStringLiteral("A.doc"), QStringLiteral("b.txt")}));
        QCOMPARE(listSelection(), QStringLiteral("b.txt"));
    }

    void backWalksUpToTheRoot()
    {
        TUnzipTreeviewForm* w = openSample();
        clickNode(w->TreeView, node(QStringLiteral("docs\\img\\c.GIF")));
        QStringList labels;
        while (w->ListViewBackButton->isEnabled()) {
            QTest::mouseClick(w->ListViewBackButton, Qt::LeftButton);
            labels << w->Label1->text();
        }
        QCOMPARE(labels, (QStringList{QStringLiteral("docs\\img\\*.*"), QStringLiteral("docs\\*.*"), QStringLiteral("arc.zip")}));
        QCOMPARE(w->SelectedNode(w->FolderTreeView), 0);
        // In the folder tree as well.
        QTest::mouseClick(w->FolderButton, Qt::LeftButton);
        clickNode(w->FolderTreeView, node(QStringLiteral("docs\\img\\*.*")));
        QTest::mouseClick(w->ListViewBackButton, Qt::LeftButton);
        QCOMPARE(selectedText(w->FolderTreeView), QStringLiteral("docs\\*.*"));
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("docs\\*.*"));
        QCOMPARE(listed(), (QStringList{QStringLiteral("img"), QStringLiteral("A.doc"), QStringLiteral("b.txt")}));
    }

    void branchButtonsActOnFoldersOnly()
    {
        TUnzipTreeviewForm* w = open({row(QStringLiteral("a\\b\\c\\"), QStringLiteral("x.txt")), row(QStringLiteral("a\\d\\"), QStringLiteral("y.txt")),
                                      row(QStringLiteral("e\\"), QStringLiteral("z.txt"))});
        QTreeView* t = w->TreeView;
        auto expanded = [&](const QString& p) { return t->isExpanded(model(t)->IndexOf(node(p))); };
        clickNode(t, node(QStringLiteral("a\\*.*")));
        QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
        QVERIFY(expanded(QStringLiteral("a\\b\\*.*")) && expanded(QStringLiteral("a\\b\\c\\*.*")) && expanded(QStringLiteral("a\\d\\*.*")));
        QVERIFY(!expanded(QStringLiteral("e\\*.*")));
        QTest::mouseClick(w->BitBtn2, Qt::LeftButton);
        QVERIFY(!expanded(QStringLiteral("a\\*.*")) && !expanded(QStringLiteral("a\\b\\*.*")) && !expanded(QStringLiteral("a\\b\\c\\*.*")));
        // With a file chosen neither branch button does anything.
        QTest::mouseClick(w->BitBtn4, Qt::LeftButton);
        clickNode(t, node(QStringLiteral("a\\b\\c\\x.txt")));
        QTest::mouseClick(w->BitBtn2, Qt::LeftButton);
        QVERIFY(expanded(QStringLiteral("a\\b\\*.*")) && expanded(QStringLiteral("e\\*.*")));
        QTest::mouseClick(w->BitBtn3, Qt::LeftButton);
        QVERIFY(!expanded(QStringLiteral("a\\*.*")));
        QVERIFY(!t->isExpanded(model(t)->IndexOf(0)));
    }

    void popupMenuFollowsTheChosenItem()
    {
        TUnzipTreeviewForm* w = openSample();
        const QStringList none;
        QCOMPARE(menuEnabled(), none);
        clickNode(w->TreeView, node(QStringLiteral("docs\\*.*")));
        QCOMPARE(menuEnabled(), none);  // nothing chosen in the list
        clickListItem(QStringLiteral("img"));
        clickListItem(QStringLiteral("c.GIF"));  // a picture, whatever the case of its ending
        QCOMPARE(menuEnabled(), (QStringList{QStringLiteral("Open"), QStringLiteral("Image View")}));
        // Every other file gets Word Pad, whether or not a word processor exists.
        for (const QString& name : {QStringLiteral("b.txt"), QStringLiteral("A.doc"), QStringLiteral("main.c")}) {
            const QString folder = name == QStringLiteral("main.c") ? QStringLiteral("src\\*.*") : QStringLiteral("docs\\*.*");
            clickNode(w->TreeView, node(folder));
            clickListItem(name);
            QCOMPARE(menuEnabled(), (QStringList{QStringLiteral("Open"), QStringLiteral("Note Pad"), QStringLiteral("Word Pad")}));
        }
        w->QuickViewPath = QStringLiteral("/usr/bin/qv");
        QCOMPARE(menuEnabled(),
                 (QStringList{QStringLiteral("Open"), QStringLiteral("Note Pad"), QStringLiteral("Word Pad"), QStringLiteral("Quick View")}));
        // A folder item opens nothing.
        clickNode(w->TreeView, node(QStringLiteral("docs\\*.*")));
        clickListItem(QStringLiteral("img"));
        clickNode(w->TreeView, node(QStringLiteral("docs\\*.*")));
        w->ListView1->setCurrentIndex(w->ListView1->model()->index(0, 0));
        QCOMPARE(listSelection(), QStringLiteral("img"));
        QCOMPARE(menuEnabled(), none);
    }

    void popupCommandsOpenWithTheirViewer()
    {
        TUnzipTreeviewForm* w = openSample();
        w->QuickViewPath = QStringLiteral("/opt/qv");
        clickNode(w->TreeView, node(QStringLiteral("docs\\img\\*.*")));
        w->ListView1->setCurrentIndex(w->ListView1->model()->index(0, 0));
        for (QAction* a : {w->Open1, w->NotePad1, w->WordPad1, w->QuickView1, w->ImageView1})
            a->trigger();
        const QString path = QStringLiteral("docs\\img\\");
        const QString png = QStringLiteral("a.png");
        QCOMPARE(launched_, (QList<Launched>{{png, path, QString()},
                                             {png, path, QStringLiteral("Notepad.exe")},
                                             {png, path, QStringLiteral("Wordpad.exe")},
                                             {png, path, QStringLiteral("/opt/qv")},
                                             {png, path, ViewerTypes::ImageViewerChoice()}}));
        // A file at the top opens with an empty folder value.
        launched_.clear();
        clickNode(w->TreeView, 0);
        w->ListView1->setCurrentIndex(w->ListView1->model()->index(2, 0));
        w->Open1->trigger();
        QCOMPARE(launched_, (QList<Launched>{{QStringLiteral("readme.txt"), QString(), QString()}}));
    }

    void searchTxtWithAndWithoutWholeWord()
    {
        TUnzipTreeviewForm* w = open({row(QString(), QStringLiteral("readme.txt")), row(QStringLiteral("docs\\img\\"), QStringLiteral("a.png"))});
        search(QStringLiteral("txt"));
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("readme.txt"));
        QCOMPARE(w->Label1->text(), QStringLiteral("readme.txt"));
        QVERIFY(f_.prompter.messages.isEmpty());
        QVERIFY(w->FindNextButton->isEnabled());
        QVERIFY(w->FindPreviousButton->isEnabled());
        search(QStringLiteral("txt"), true);
        QCOMPARE(f_.prompter.texts(), QStringList{NotFound});
        QCOMPARE(w->SearchPosition(), 0);
        QVERIFY(!w->FindPreviousButton->isEnabled());
        QVERIFY(w->FindNextButton->isEnabled());
    }

    void searchReadmeInBothDirections()
    {
        TUnzipTreeviewForm* w = openSample();
        const int readme = node(QStringLiteral("readme.txt"));
        const int later = node(QStringLiteral("src\\README-later.md"));
        QVERIFY(readme < later);
        // Case Sensitive off: forward, on, and back again.
        search(QStringLiteral("README"));
        QCOMPARE(w->SearchPosition(), readme);
        QTest::mouseClick(w->FindNextButton, Qt::LeftButton);
        QCOMPARE(w->SearchPosition(), later);
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("src\\README-later.md"));
        QCOMPARE(selectedText(w->FolderTreeView), QStringLiteral("src\\*.*"));
        QTest::mouseClick(w->FindPreviousButton, Qt::LeftButton);
        QCOMPARE(w->SearchPosition(), readme);
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("readme.txt"));
        QVERIFY(f_.prompter.messages.isEmpty());

        // Case Sensitive on: neither direction reaches readme.txt.
        search(QStringLiteral("README"), false, true);
        QCOMPARE(w->SearchPosition(), later);
        QTest::mouseClick(w->FindPreviousButton, Qt::LeftButton);
        QCOMPARE(f_.prompter.texts(), QStringList{NotFound});
        QCOMPARE(w->SearchPosition(), later);
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("src\\README-later.md"));
    }

    void searchShowsTheFileTreeAndMovesPastTheRoot()
    {
        TUnzipTreeviewForm* w = open({row(QString(), QStringLiteral("arc-notes.txt")), row(QStringLiteral("x\\"), QStringLiteral("y.txt"))});
        QTest::mouseClick(w->FolderButton, Qt::LeftButton);
        // The root's name matches first; Find Next goes on from it.
        w->SearchEdit->setText(QStringLiteral("arc"));
        QTest::keyClick(w->SearchEdit, Qt::Key_Return);
        QVERIFY(!w->TreeView->isHidden());
        QCOMPARE(w->SearchPosition(), 0);
        QCOMPARE(w->SelectedNode(w->TreeView), 0);
        QVERIFY(!w->FindPreviousButton->isEnabled());
        QTest::mouseClick(w->FindNextButton, Qt::LeftButton);
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("arc-notes.txt"));
        QTest::mouseClick(w->FindNextButton, Qt::LeftButton);
        QCOMPARE(f_.prompter.texts(), QStringList{NotFound});
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("arc-notes.txt"));
        // Enter in an empty field searches nothing.
        f_.prompter.clear();
        w->SearchEdit->clear();
        QTest::keyClick(w->SearchEdit, Qt::Key_Return);
        QVERIFY(f_.prompter.messages.isEmpty());
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("arc-notes.txt"));
    }

    void searchLongerThanEveryName()
    {
        TUnzipTreeviewForm* w = openSample();
        clickNode(w->TreeView, node(QStringLiteral("docs\\b.txt")));
        search(QStringLiteral("docs\\img\\a.png and more"));
        QCOMPARE(f_.prompter.texts(), QStringList{NotFound});
        QCOMPARE(selectedText(w->TreeView), QStringLiteral("docs\\b.txt"));
    }

    void longPathsAreShortenedInTheLabelOnly()
    {
        const QString folder = QString(60, QLatin1Char('f')) + QStringLiteral("\\") + QString(60, QLatin1Char('g')) +
                               QStringLiteral("\\") + QString(60, QLatin1Char('h')) + QStringLiteral("\\");
        TUnzipTreeviewForm* w = open({row(folder, QStringLiteral("deep-file.txt")), row(QString(), QStringLiteral("top.txt"))});
        w->resize(740, 500);
        QTRY_COMPARE(w->width(), 740);
        const QString full = folder + QStringLiteral("deep-file.txt");
        clickNode(w->TreeView, node(full));
        const QString shown = w->Label1->text();
        QVERIFY2(shown.startsWith(QStringLiteral("..\\")), qPrintable(shown));
        QVERIFY(full.endsWith(shown.mid(3)));
        const QFontMetrics fm(w->font());
        QVERIFY(fm.horizontalAdvance(shown) < w->width() - 32);
        QVERIFY(fm.horizontalAdvance(QStringLiteral("..\\") + full.right(shown.size() - 2)) >= w->width() - 32);
        QCOMPARE(w->ChosenPath(), full);
        // A wider window shows it whole.
        w->resize(3000, 500);
        QTRY_COMPARE(w->Label1->text(), full);
    }

    void unzipHandsBackTheChoice()
    {
        TUnzipTreeviewForm* w = openSample();
        clickNode(w->TreeView, node(QStringLiteral("docs\\img\\*.*")));
        QTest::mouseClick(w->UnzipButton, Qt::LeftButton);
        QCOMPARE(w->result(), int(TUnzipTreeviewForm::UnzipFolder));
        QCOMPARE(w->ChosenPath(), QStringLiteral("docs\\img\\"));

        w = openSample();
        clickNode(w->TreeView, node(QStringLiteral("docs\\A.doc")));
        QTest::mouseClick(w->UnzipButton, Qt::LeftButton);
        QCOMPARE(w->result(), int(TUnzipTreeviewForm::UnzipFile));
        QCOMPARE(w->ChosenPath(), QStringLiteral("docs\\A.doc"));

        w = openSample();
        QTest::mouseClick(w->FolderButton, Qt::LeftButton);
        clickNode(w->FolderTreeView, 0);
        QTest::mouseClick(w->UnzipButton, Qt::LeftButton);
        QCOMPARE(w->result(), int(TUnzipTreeviewForm::UnzipAll));

        // Nothing chosen: UNZIP turns itself off and the window stays.
        w = openSample();
        w->setResult(0);
        w->UnzipButtonClick();
        QVERIFY(!w->UnzipButton->isEnabled());
        QVERIFY(w->isVisible());
        QCOMPARE(w->result(), 0);

        QTest::mouseClick(w->UnzipCloseButton, Qt::LeftButton);
        QCOMPARE(w->result(), int(TUnzipTreeviewForm::Closed));
        QVERIFY(!w->isVisible());
    }

    void aLargeTreeOpensWithItsRootsExpanded()
    {
        QList<TTreeRow> rows;
        for (int i = 0; i < 20000; ++i)
            rows << row(QStringLiteral("top%1\\sub%2\\").arg(i % 20).arg(i % 500), QStringLiteral("f%1.txt").arg(i), 4);
        TUnzipTreeviewForm* w = open(rows);
        QCoreApplication::processEvents();
        QCOMPARE(w->Tree().size(), 1 + 20 + 500 + 20000);
        QVERIFY(w->TreeView->isExpanded(model(w->TreeView)->IndexOf(0)));
        QVERIFY(w->FolderTreeView->isExpanded(model(w->FolderTreeView)->IndexOf(0)));
        QCOMPARE(listed().size(), 20);
        search(QStringLiteral("f19999.txt"), true);
        QCOMPARE(w->Label1->text(), QStringLiteral("top19\\sub499\\f19999.txt"));
        QCOMPARE(selectedText(w->FolderTreeView), QStringLiteral("top19\\sub499\\*.*"));
    }
};

QTEST_MAIN(TestTreeWindow)
#include "test_tree_window.moc"
