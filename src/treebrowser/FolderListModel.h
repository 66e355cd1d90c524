#pragma once
// The tree browser's right-hand list: the children of one node of a
// TFileTree, folders first, each group sorted by name without regard to case.
// It shows the small images as a plain list and the large ones as icons.

#include "treebrowser/FileTree.h"

#include <QAbstractListModel>
#include <QIcon>
#include <QList>
#include <vector>

class TFolderListModel : public QAbstractListModel {
    Q_OBJECT
public:
    TFolderListModel(const TFileTree& tree, const QList<QIcon>& smallImages, const QList<QIcon>& largeImages,
                     QObject* parent = nullptr);

    // Shows the children of `node` (nothing for -1).
    void ShowChildren(int node);
    // The node whose children are shown (-1 for none).
    int Folder() const { return folder_; }
    // The tree node at list row `row` (-1 when out of range), and the row of `node` (-1 when not listed).
    int NodeAt(int row) const;
    int RowOf(int node) const;
    // Large images (icon view) or small ones (plain list); the rows stay.
    void UseLargeImages(bool large);
    bool LargeImages() const { return large_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    const TFileTree& tree_;
    QList<QIcon> small_, large_images_;
    bool large_ = true;
    int folder_ = -1;
    std::vector<int> rows_;
};
