#include "treebrowser/FileTreeModel.h"

#include <QPixmap>

TFileTreeModel::TFileTreeModel(const TFileTree& tree, bool foldersOnly, const QList<QIcon>& images, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree), foldersOnly_(foldersOnly), images_(images)
{
    // The folder image, and the selected-folder image in the selected state.
    const QIcon closed = images_.value(0);
    const QIcon open = images_.size() > 3 ? images_[3] : closed;
    for (int size : {16, 24, 32, 48}) {
        folderIcon_.addPixmap(closed.pixmap(size), QIcon::Normal);
        folderIcon_.addPixmap(open.pixmap(size), QIcon::Selected);
    }
}

int TFileTreeModel::NodeOf(const QModelIndex& index)
{
    return index.isValid() ? int(index.internalId()) : -1;
}

const QList<int>& TFileTreeModel::Shown(int node) const
{
    const TFileTree::Node& n = tree_.node(node);
    return foldersOnly_ ? n.folders : n.children;
}

int TFileTreeModel::RowOf(int node) const
{
    if (node == 0)
        return 0;
    const TFileTree::Node& n = tree_.node(node);
    return foldersOnly_ ? n.folderRow : n.row;
}

QModelIndex TFileTreeModel::IndexOf(int node) const
{
    if (node < 0 || node >= tree_.size() || (foldersOnly_ && tree_.IsFile(node)))
        return QModelIndex();
    return createIndex(RowOf(node), 0, quintptr(node));
}

QIcon TFileTreeModel::NodeIcon(const TFileTree& tree, int node, const QList<QIcon>& images)
{
    if (!tree.IsFile(node))
        return images.value(0);
    const int image = tree.node(node).image;
    return image >= 0 && image < images.size() ? images[image] : images.value(1);
}

QModelIndex TFileTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0 || tree_.size() == 0)
        return QModelIndex();
    if (!parent.isValid())
        return row == 0 ? createIndex(0, 0, quintptr(0)) : QModelIndex();
    const QList<int>& kids = Shown(NodeOf(parent));
    if (row >= kids.size())
        return QModelIndex();
    return createIndex(row, 0, quintptr(kids[row]));
}

QModelIndex TFileTreeModel::parent(const QModelIndex& child) const
{
    const int node = NodeOf(child);
    if (node <= 0)
        return QModelIndex();
    return IndexOf(tree_.node(node).parent);
}

int TFileTreeModel::rowCount(const QModelIndex& parent) const
{
    if (tree_.size() == 0)
        return 0;
    if (!parent.isValid())
        return 1;
    return int(Shown(NodeOf(parent)).size());
}

int TFileTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

bool TFileTreeModel::hasChildren(const QModelIndex& parent) const
{
    return rowCount(parent) > 0;
}

QVariant TFileTreeModel::data(const QModelIndex& index, int role) const
{
    const int node = NodeOf(index);
    if (node < 0)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: return tree_.node(node).text;
    case Qt::DecorationRole: return tree_.IsFile(node) ? NodeIcon(tree_, node, images_) : folderIcon_;
    default: return QVariant();
    }
}

Qt::ItemFlags TFileTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!hasChildren(index))
        f |= Qt::ItemNeverHasChildren;
    return f;
}
