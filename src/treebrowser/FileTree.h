#pragma once
// The archive as a tree of folders and files, built from the rows of the
// unzip list. Node 0 is the root (the archive's file name); the nodes are held
// in the file tree's order: every folder before its contents, the contents of
// a folder in outline order (names compared without regard to case, a folder
// compared as its name followed by "\", a file as its name, "*" and its
// image). The folder tree shows the same nodes without the files.

#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// What the tree needs of one row of the unzip list.
struct TTreeRow {
    QString caption;  // the "File " column: the entry's file name
    QString path;     // the "Path" column: "docs\img\", or "" at the root
    int image = 1;    // the row's image in the shared small list
};

class TFileTree {
public:
    struct Node {
        QString text;   // folder or file name; the archive's file name at the root
        int image = 0;  // 0 for the root and folders; the row's image (never 0) for files
        int parent = -1;
        int depth = 0;
        int row = 0;          // position among the parent's children
        int folderRow = -1;   // position among the parent's folders (folders only)
        int entryRow = -1;    // files: the unzip-list row the node stands for
        QList<int> children;  // every child, in outline order
        QList<int> folders;   // the folder children, in outline order
    };

    TFileTree() = default;
    // Builds the tree of `rows` under a root named `archiveName`. Every level of
    // every path becomes one folder node (folders whose names differ only in
    // case stay apart); a row without a file name (a stored folder entry) gives
    // its folders and no file node.
    static TFileTree Assemble(const QString& archiveName, const QList<TTreeRow>& rows);

    int size() const { return int(nodes_.size()); }
    const Node& node(int i) const { return nodes_[size_t(i)]; }
    bool IsFile(int i) const { return nodes_[size_t(i)].image != 0; }
    bool IsRoot(int i) const { return i == 0; }

    // The "Path" column value of a node: for a folder its path below the root
    // with every name followed by "\" (docs\img\); for a file its folder's
    // value; "" for the root and for files directly under it.
    QString GetPath(int i) const;
    // The caption label's text for a node: the archive's file name for the
    // root, docs\img\*.* for a folder, docs\img\a.png for a file.
    QString GetTreePath(int i) const;
    // The chain of folder nodes from the root's child down to `i` (a file
    // contributes its folder), the root excluded.
    QList<int> FolderChain(int i) const;

    // The tree as an indented outline, one line per node: as many tabs as the
    // node's depth, then the name; a file line ends in "*" and its image.
    QStringList Outline() const;

    // The search rule: with `wholeWord` the text must equal the search text,
    // otherwise contain it; compared exactly with `caseSensitive`, else after
    // lower-casing both.
    static bool NodeMatches(const QString& text, const QString& search, bool wholeWord, bool caseSensitive);

private:
    std::vector<Node> nodes_;
};
