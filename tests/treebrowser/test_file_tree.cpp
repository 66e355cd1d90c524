// The tree of an archive's rows: the outline, folders that differ only in
// case, stored folder entries, the values a node hands to the commands, and
// the search rule.

#include "treebrowser/FileTree.h"

#include <QTest>

namespace {

TTreeRow row(const QString& path, const QString& caption, int image = 5)
{
    return TTreeRow{caption, path, image};
}

// The node whose caption-label text is `text` (-1 when none).
int nodeNamed(const TFileTree& t, const QString& text)
{
    for (int i = 0; i < t.size(); ++i)
        if (t.GetTreePath(i) == text)
            return i;
    return -1;
}

} // namespace

class TestFileTree : public QObject {
    Q_OBJECT

private slots:
    void outlineNestsEveryLevel()
    {
        // Rows in any order: the outline sorts them.
        const TFileTree t = TFileTree::Assemble(QStringLiteral("arc.zip"),
                                                {row(QStringLiteral("a\\"), QStringLiteral("d.txt"), 7),
                                                 row(QStringLiteral("a\\b\\"), QStringLiteral("c.txt"), 7)});
        QCOMPARE(t.Outline(), (QStringList{QStringLiteral("arc.zip"), QStringLiteral("\ta"), QStringLiteral("\t\tb"),
                                           QStringLiteral("\t\t\tc.txt*7"), QStringLiteral("\t\td.txt*7")}));
        // Parents and the two child lists agree with the outline.
        QCOMPARE(t.node(0).children, QList<int>{1});
        QCOMPARE(t.node(1).children, (QList<int>{2, 4}));
        QCOMPARE(t.node(1).folders, QList<int>{2});
        QCOMPARE(t.node(3).parent, 2);
        QVERIFY(!t.IsFile(2));
        QVERIFY(t.IsFile(3));
    }

    void outlineOrderIgnoresCaseAndComparesFoldersWithTheirSeparator()
    {
        // "b.txt" sorts before the folder "b\" ('.' < '\'), "a b\" before "a\"
        // (' ' < '\'), and "Zed" among the z's.
        const TFileTree t = TFileTree::Assemble(
            QStringLiteral("x.tar"), {row(QStringLiteral("b\\"), QStringLiteral("in.txt"), 4),
                                      row(QString(), QStringLiteral("b.txt"), 4),
                                      row(QStringLiteral("a\\"), QStringLiteral("q.c"), 6),
                                      row(QStringLiteral("a b\\"), QStringLiteral("r.c"), 6),
                                      row(QString(), QStringLiteral("zz.md"), 8), row(QString(), QStringLiteral("Zed.md"), 8)});
        QCOMPARE(t.Outline(), (QStringList{QStringLiteral("x.tar"), QStringLiteral("\ta b"), QStringLiteral("\t\tr.c*6"),
                                           QStringLiteral("\ta"), QStringLiteral("\t\tq.c*6"),
                                           QStringLiteral("\tb.txt*4"), QStringLiteral("\tb"),
                                           QStringLiteral("\t\tin.txt*4"), QStringLiteral("\tZed.md*8"),
                                           QStringLiteral("\tzz.md*8")}));
    }

    void foldersDifferingOnlyInCaseStayApartAndWhole()
    {
        const TFileTree two = TFileTree::Assemble(
            QStringLiteral("c.zip"), {row(QStringLiteral("A\\"), QStringLiteral("x.txt")), row(QStringLiteral("a\\"), QStringLiteral("y.txt"))});
        QCOMPARE(two.node(0).folders.size(), 2);
        QCOMPARE(two.Outline(), (QStringList{QStringLiteral("c.zip"), QStringLiteral("\tA"), QStringLiteral("\t\tx.txt*5"),
                                             QStringLiteral("\ta"), QStringLiteral("\t\ty.txt*5")}));
        // Interleaved names (A\x, a\y, A\z) still give one node per folder,
        // each holding all of its files.
        const TFileTree three = TFileTree::Assemble(
            QStringLiteral("c.zip"), {row(QStringLiteral("A\\"), QStringLiteral("x.txt")), row(QStringLiteral("a\\"), QStringLiteral("y.txt")),
                                      row(QStringLiteral("A\\"), QStringLiteral("z.txt"))});
        QCOMPARE(three.node(0).folders.size(), 2);
        QCOMPARE(three.Outline(), (QStringList{QStringLiteral("c.zip"), QStringLiteral("\tA"), QStringLiteral("\t\tx.txt*5"),
                                               QStringLiteral("\t\tz.txt*5"), QStringLiteral("\ta"),
                                               QStringLiteral("\t\ty.txt*5")}));
    }

    void storedFolderEntriesGiveFoldersOnly()
    {
        // A zip's "docs/" and "empty/" entries list with an empty caption.
        const TFileTree t = TFileTree::Assemble(
            QStringLiteral("d.zip"), {row(QStringLiteral("docs\\"), QString(), 1), row(QStringLiteral("docs\\"), QStringLiteral("a.txt")),
                                      row(QStringLiteral("empty\\"), QString(), 1)});
        QCOMPARE(t.Outline(), (QStringList{QStringLiteral("d.zip"), QStringLiteral("\tdocs"), QStringLiteral("\t\ta.txt*5"),
                                           QStringLiteral("\tempty")}));
    }

    void aRowWithoutImageShowsTheUnknownFile()
    {
        const TFileTree t = TFileTree::Assemble(QStringLiteral("d.zip"), {row(QString(), QStringLiteral("a"), 0), row(QString(), QStringLiteral("b"), -3)});
        QCOMPARE(t.Outline(), (QStringList{QStringLiteral("d.zip"), QStringLiteral("\ta*1"), QStringLiteral("\tb*1")}));
    }

    void nodesHandTheCommandsTheirPathValues()
    {
        const TFileTree t = TFileTree::Assemble(
            QStringLiteral("arc.zip"), {row(QString(), QStringLiteral("top.txt")), row(QStringLiteral("docs\\img\\"), QStringLiteral("a.png")),
                                        row(QStringLiteral("docs\\"), QStringLiteral("b.txt"))});
        const int top = nodeNamed(t, QStringLiteral("top.txt"));
        const int png = nodeNamed(t, QStringLiteral("docs\\img\\a.png"));
        const int img = nodeNamed(t, QStringLiteral("docs\\img\\*.*"));
        const int docs = nodeNamed(t, QStringLiteral("docs\\*.*"));
        QVERIFY(top > 0 && png > 0 && img > 0 && docs > 0);
        QCOMPARE(t.GetTreePath(0), QStringLiteral("arc.zip"));
        QCOMPARE(t.GetPath(0), QString());
        QCOMPARE(t.GetPath(top), QString());
        QCOMPARE(t.GetPath(png), QStringLiteral("docs\\img\\"));
        QCOMPARE(t.GetPath(img), QStringLiteral("docs\\img\\"));
        QCOMPARE(t.FolderChain(png), (QList<int>{docs, img}));
        QCOMPARE(t.node(png).entryRow, 1);
        QCOMPARE(t.node(img).entryRow, -1);
    }

    void oddPathsRoundTrip()
    {
        // Whatever the Path column holds, a folder's value is that text again,
        // so selecting by it finds the rows.
        const QStringList paths{QStringLiteral("\\abs\\"), QStringLiteral("..\\..\\"), QStringLiteral("a\\\\b\\"),
                                QStringLiteral("sp ace\\d\u00e9j\u00e0\\")};
        QList<TTreeRow> rows;
        for (const QString& p : paths)
            rows << row(p, QStringLiteral("f.txt"));
        const TFileTree t = TFileTree::Assemble(QStringLiteral("odd.zip"), rows);
        QStringList values;
        for (int i = 0; i < t.size(); ++i)
            if (t.IsFile(i))
                values << t.GetPath(i);
        values.sort();
        QStringList want = paths;
        want.sort();
        QCOMPARE(values, want);
    }

    void deepPathsNeedNoRecursion()
    {
        QString deep;
        for (int i = 0; i < 20000; ++i)
            deep += QStringLiteral("d\\");
        const TFileTree t = TFileTree::Assemble(QStringLiteral("deep.zip"), {row(deep, QStringLiteral("leaf.txt"))});
        QCOMPARE(t.size(), 20002);
        QCOMPARE(t.node(t.size() - 1).depth, 20001);
        QCOMPARE(t.GetPath(t.size() - 1), deep);
    }

    void searchRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("search");
        QTest::addColumn<bool>("wholeWord");
        QTest::addColumn<bool>("caseSensitive");
        QTest::addColumn<bool>("matches");
        QTest::newRow("part") << "readme.txt" << "txt" << false << false << true;
        QTest::newRow("part, whole word") << "readme.txt" << "txt" << true << false << false;
        QTest::newRow("whole word equal") << "readme.txt" << "README.TXT" << true << false << true;
        QTest::newRow("whole word, case") << "readme.txt" << "README.TXT" << true << true << false;
        QTest::newRow("case off") << "readme.txt" << "README" << false << false << true;
        QTest::newRow("case on") << "readme.txt" << "README" << false << true << false;
        QTest::newRow("case on, same case") << "README.md" << "README" << false << true << true;
        QTest::newRow("longer than the name") << "a.c" << "a.c.bak" << false << false << false;
    }
    void searchRule()
    {
        QFETCH(QString, text);
        QFETCH(QString, search);
        QFETCH(bool, wholeWord);
        QFETCH(bool, caseSensitive);
        QFETCH(bool, matches);
        QCOMPARE(TFileTree::NodeMatches(text, search, wholeWord, caseSensitive), matches);
    }
};

QTEST_GUILESS_MAIN(TestFileTree)
#include "test_file_tree.moc"
