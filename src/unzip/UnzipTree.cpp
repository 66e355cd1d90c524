// The unzip page's side of the tree browser: TREE, the tree of the listed
// rows, and the rows that the tree's UNZIP hands back.

#include "unzip/TUnzipPage.h"

#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "treebrowser/FileTree.h"
#include "treebrowser/TUnzipTreeviewForm.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>

TFileTree TUnzipPage::AssembleFileTree() const
{
    QList<TTreeRow> rows;
    const int count = RowCount();
    rows.reserve(count);
    for (int r = 0; r < count; ++r) {
        const QStandardItem* caption = UnzipListModel->item(r, 0);
        const QStandardItem* path = UnzipListModel->item(r, 3);
        rows.append(TTreeRow{caption ? caption->text() : QString(), path ? path->text() : QString(),
                             caption ? caption->data(ImageIndexRole).toInt() : 1});
    }
    return TFileTree::Assemble(QFileInfo(state_.CurrentArchive).fileName(), rows);
}

std::unique_ptr<TUnzipTreeviewForm> TUnzipPage::NewTreeviewForm()
{
    auto form = std::make_unique<TUnzipTreeviewForm>(host_, AssembleFileTree(), state_.SmallImages.Images,
                                                     state_.LargeImages.Images, window());
    form->QuickViewPath = state_.QuickViewPath;
    form->LaunchFile = [this](const QString& name, const QString& path, const QString& viewer) {
        if (LaunchFromTreeview)
            LaunchFromTreeview(name, path, viewer);
    };
    return form;
}

void TUnzipPage::TreeButtonClick()
{
    if (RowCount() == 0)
        return;
    std::unique_ptr<TUnzipTreeviewForm> form;
    {
        Platform::BusyCursor busy;
        QDir().mkpath(state_.ImageTempFolder());
        form = NewTreeviewForm();
    }
    const int result = host_.prompter().runDialog(*form);
    const QString chosen = form->ChosenPath();
    form.reset();

    const bool act = !chosen.isEmpty() && (result == TUnzipTreeviewForm::UnzipAll ||
                                           result == TUnzipTreeviewForm::UnzipFolder ||
                                           result == TUnzipTreeviewForm::UnzipFile);
    if (act) {
        // The tree showed the full list's rows: the full list is the one
        // whose selection is extracted.
        if (FilteredViewShowing()) {
            UnzipFilteredListviewClear();
            ShowFullListWithDropTarget();
        }
        if (result == TUnzipTreeviewForm::UnzipAll)
            UnzipListView->selectAll();
        else if (result == TUnzipTreeviewForm::UnzipFolder)
            UnzipAFolder(chosen);
        else
            UnzipAFile(chosen);
        const bool any = UnzipListView->selectionModel()->hasSelection();
        UnzipButton->setEnabled(any);
        if (any)
            UnzipButtonClick();
    }
    FocusVisibleList();
}

void TUnzipPage::UnzipAFolder(const QString& folder)
{
    QList<int> rows;
    for (int r = 0; r < RowCount(); ++r)
        if (UnzipListModel->item(r, 3)->text().startsWith(folder, Qt::CaseSensitive))
            rows << r;
    SelectRows(UnzipListView, rows);
}

void TUnzipPage::UnzipAFile(const QString& file)
{
    const qsizetype cut = file.lastIndexOf(QLatin1Char('\\')) + 1;
    const QString folder = file.left(cut);
    const QString name = file.mid(cut);
    QList<int> rows;
    for (int r = 0; r < RowCount(); ++r) {
        if (UnzipListModel->item(r, 0)->text() == name && UnzipListModel->item(r, 3)->text() == folder) {
            rows << r;
            break;
        }
    }
    SelectRows(UnzipListView, rows);
}

bool TUnzipPage::SaveTreeScreenshot(const QString& file)
{
    if (RowCount() == 0)
        return false;
    std::unique_ptr<TUnzipTreeviewForm> form = NewTreeviewForm();
    form->show();
    const TFileTree& tree = form->Tree();
    for (int n = 1; n < tree.size(); ++n) {
        if (!tree.IsFile(n)) {
            form->ChooseNode(n);
            break;
        }
    }
    QCoreApplication::processEvents();
    const bool saved = form->grab().save(file);
    form->hide();
    return saved;
}
