#include "treebrowser/FolderListModel.h"
#include "treebrowser/FileTreeModel.h"

#include <algorithm>

TFolderListModel::TFolderListModel(const TFileTree& tree, const QList<QIcon>& smallImages,
                                   const QList<QIcon>& largeImages, QObject* parent)
    : QAbstractListModel(parent), tree_(tree), small_(smallImages), large_images_(largeImages)
{
}

void TFolderListModel::ShowChildren(int node)
{
    beginResetModel();
    rows_.clear();
    folder_ = node >= 0 && node < tree_.size() ? node : -1;
    if (folder_ >= 0) {
        const TFileTree::Node& n = tree_.node(folder_);
        rows_.reserve(size_t(n.children.size()));
        for (int c : n.folders)
            rows_.push_back(c);
        const auto folders = std::ptrdiff_t(rows_.size());
        for (int c : n.children)
            if (tree_.IsFile(c))
                rows_.push_back(c);
        auto byName = [this](int a, int b) {
            return QString::compare(tree_.node(a).text, tree_.node(b).text, Qt::CaseInsensitive) < 0;
        };
        std::stable_sort(rows_.begin(), rows_.begin() + folders, byName);
        std::stable_sort(rows_.begin() + folders, rows_.end(), byName);
    }
    endResetModel();
}

int TFolderListModel::NodeAt(int row) const
{
    return row >= 0 && size_t(row) < rows_.size() ? rows_[size_t(row)] : -1;
}

int TFolderListModel::RowOf(int node) const
{
    const auto it = std::find(rows_.begin(), rows_.end(), node);
    return it == rows_.end() ? -1 : int(it - rows_.begin());
}

void TFolderListModel::UseLargeImages(bool large)
{
    if (large == large_)
        return;
    large_ = large;
    if (!rows_.empty())
        emit dataChanged(index(0), index(int(rows_.size()) - 1), {Qt::DecorationRole});
}

int TFolderListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant TFolderListModel::data(const QModelIndex& index, int role) const
{
    const int node = index.isValid() ? NodeAt(index.row()) : -1;
    if (node < 0)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole: return tree_.node(node).text;
    case Qt::DecorationRole: return TFileTreeModel::NodeIcon(tree_, node, large_ ? large_images_ : small_);
    default: return QVariant();
    }
}
