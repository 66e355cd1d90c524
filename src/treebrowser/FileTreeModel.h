#pragma once
// One of the tree browser's two trees over a TFileTree: every node (the file
// tree) or the root and the folders only (the folder tree). The model holds no
// item objects, so a tree of 100,000 nodes costs nothing to show.

#include "treebrowser/FileTree.h"

#include <QAbstractItemModel>
#include <QIcon>
#include <QList>

class TFileTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // `images` is the shared small image list: image 0 (the folder) shows for
    // the root and the folders, image 3 (the selected folder) when they are
    // selected; a file shows its own image in both states.
    TFileTreeModel(const TFileTree& tree, bool foldersOnly, const QList<QIcon>& images, QObject* parent = nullptr);

    // The tree's node at `index` (-1 for an invalid index).
    static int NodeOf(const QModelIndex& index);
    // The index of `node`; invalid when this tree does not show it.
    QModelIndex IndexOf(int node) const;
    bool FoldersOnly() const { return foldersOnly_; }
    const TFileTree& Tree() const { return tree_; }
    // The icon a node shows in its unselected state in a list of the given
    // images (a file whose image the list lacks shows image 1).
    static QIcon NodeIcon(const TFileTree& tree, int node, const QList<QIcon>& images);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const QList<int>& Shown(int node) const;
    int RowOf(int node) const;
    const TFileTree& tree_;
    const bool foldersOnly_;
    QList<QIcon> images_;
    QIcon folderIcon_;
};
