#include "treebrowser/TUnzipTreeviewForm.h"
#include "treebrowser/FileTreeModel.h"
#include "treebrowser/FolderListModel.h"

#include "platform/Controls.h"
#include "platform/MainHost.h"
#include "platform/Prompter.h"
#include "viewers/ImageExtensions.h"
#include "viewers/ViewerTypes.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFontMetrics>
#include <QFrame>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QTimer>
#include <QTreeView>

using namespace Controls;

namespace {

const QColor ChosenCaptionColour(128, 0, 128);

QTreeView* NewTree(QWidget* parent, const char* name, TFileTreeModel* model)
{
    auto* t = new QTreeView(parent);
    t->setObjectName(QString::fromLatin1(name));
    t->setHeaderHidden(true);
    t->setUniformRowHeights(true);
    t->setAnimated(false);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setModel(model);
    return t;
}

} // namespace

TUnzipTreeviewForm::TUnzipTreeviewForm(TMainHost& host, TFileTree tree, const QList<QIcon>& smallImages,
                                       const QList<QIcon>& largeImages, QWidget* parent)
    : QDialog(parent), host_(host), tree_(std::move(tree)), smallImages_(smallImages)
{
    setObjectName(QStringLiteral("UnzipTreeviewForm"));
    setWindowTitle(QStringLiteral("Quarn Unzip Explorer"));
    fileModel_ = new TFileTreeModel(tree_, false, smallImages, this);
    folderModel_ = new TFileTreeModel(tree_, true, smallImages, this);
    listModel_ = new TFolderListModel(tree_, smallImages, largeImages, this);
    buildControls();
    connectControls();
    setMinimumSize(740, 420);
    resize(780, 560);
    FormResize(width(), height());
    // Until something is chosen the list shows the archive's top level.
    ChangeListview(0);
}

TUnzipTreeviewForm::~TUnzipTreeviewForm()
{
    // The views and models read the tree, which goes before the children do.
    for (QObject* o : {static_cast<QObject*>(TreePanel), static_cast<QObject*>(ListPanel),
                       static_cast<QObject*>(TreeView->viewport()), static_cast<QObject*>(FolderTreeView->viewport())})
        o->removeEventFilter(this);
    delete TreeView;
    delete FolderTreeView;
    delete ListView1;
    delete fileModel_;
    delete folderModel_;
    delete listModel_;
}

void TUnzipTreeviewForm::buildControls()
{
    SearchEdit = Edit(this, "SearchEdit", 8, 10, 190);
    BitBtn5 = Button(this, "BitBtn5", QStringLiteral("Search"), 204, 8, 70, 26);
    FindNextButton = Button(this, "FindNextButton", QStringLiteral("Find Next"), 278, 8, 84, 26);
    FindPreviousButton = Button(this, "FindPreviousButton", QStringLiteral("Find Previous"), 366, 8, 100, 26);
    FindNextButton->setEnabled(false);
    FindPreviousButton->setEnabled(false);
    WholeWordCheckBox = CheckBox(this, "WholeWordCheckBox", QStringLiteral("Whole Word"), 476, 11, 110);
    CaseCheckBox = CheckBox(this, "CaseCheckBox", QStringLiteral("Case Sensitive"), 590, 11, 130);

    FileButton = Button(this, "FileButton", QStringLiteral("Files"), 8, 42, 66, 26);
    FolderButton = Button(this, "FolderButton", QStringLiteral("Folders"), 78, 42, 70, 26);
    BitBtn1 = Button(this, "BitBtn1", QStringLiteral("Expand Branch"), 156, 42, 108, 26);
    BitBtn2 = Button(this, "BitBtn2", QStringLiteral("Collapse Branch"), 268, 42, 116, 26);
    BitBtn4 = Button(this, "BitBtn4", QStringLiteral("Expand All"), 388, 42, 88, 26);
    BitBtn3 = Button(this, "BitBtn3", QStringLiteral("Collapse All"), 480, 42, 92, 26);
    ListViewBackButton = Button(this, "ListViewBackButton", QStringLiteral("BACK"), 580, 42, 62, 26);
    ListViewBackButton->setEnabled(false);
    auto viewButton = [this](const char* name, const QString& hint, QStyle::StandardPixmap pixmap, int x) {
        auto* b = new QToolButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->setToolTip(hint);
        b->setIcon(style()->standardIcon(pixmap));
        b->setCheckable(true);
        b->setAutoExclusive(true);
        b->setGeometry(x, 42, 28, 26);
        return b;
    };
    LIconButton = viewButton("LIconButton", QStringLiteral("LARGE ICONS"), QStyle::SP_FileDialogContentsView, 650);
    ListButton = viewButton("ListButton", QStringLiteral("LIST"), QStyle::SP_FileDialogListView, 680);
    LIconButton->setChecked(true);

    Label1 = Label(this, "Label1", QString(), 8, 74, 600, 18);

    Panel1 = Panel(this, "Panel1", 8, 96, 600, 300);
    Splitter1 = new QSplitter(Qt::Horizontal, Panel1);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    TreePanel = Panel(Splitter1, "TreePanel", 0, 0, 200, 300);
    ListPanel = Panel(Splitter1, "ListPanel", 0, 0, 400, 300);
    Splitter1->addWidget(TreePanel);
    Splitter1->addWidget(ListPanel);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 2);

    TreeView = NewTree(TreePanel, "TreeView", fileModel_);
    FolderTreeView = NewTree(TreePanel, "FolderTreeView", folderModel_);
    FolderTreeView->hide();
    FolderTreeView->setEnabled(false);

    ListView1 = new QListView(ListPanel);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    ListView1->setModel(listModel_);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setMovement(QListView::Static);
    ListView1->setResizeMode(QListView::Adjust);
    ListView1->setUniformItemSizes(true);
    ListView1->setLayoutMode(QListView::Batched);
    ListView1->setWrapping(true);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    LIconButtonClick();

    ListviewPopupMenu = new QMenu(this);
    ListviewPopupMenu->setObjectName(QStringLiteral("ListviewPopupMenu"));
    auto item = [this](const char* name, const QString& caption) { return MenuItem(ListviewPopupMenu, name, caption); };
    Open1 = item("Open1", QStringLiteral("Open"));
    NotePad1 = item("NotePad1", QStringLiteral("Note Pad"));
    WordPad1 = item("WordPad1", QStringLiteral("Word Pad"));
    QuickView1 = item("QuickView1", QStringLiteral("Quick View"));
    ImageView1 = item("ImageView1", QStringLiteral("Image View"));

    UnzipButton = Button(this, "UnzipButton", QStringLiteral("UNZIP"), 8, 470, 110, 28);
    UnzipHelpButton = Button(this, "UnzipHelpButton", QStringLiteral("HELP"), 600, 470, 80, 28);
    UnzipCloseButton = Button(this, "UnzipCloseButton", QStringLiteral("CLOSE"), 690, 470, 80, 28);

    FileButtonClick();
}

void TUnzipTreeviewForm::connectControls()
{
    connect(UnzipButton, &QPushButton::clicked, this, &TUnzipTreeviewForm::UnzipButtonClick);
    connect(UnzipCloseButton, &QPushButton::clicked, this, [this] { done(Closed); });
    connect(UnzipHelpButton, &QPushButton::clicked, this, [this] { host_.OpenHelp("tree.html"); });
    connect(BitBtn1, &QPushButton::clicked, this, &TUnzipTreeviewForm::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TUnzipTreeviewForm::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TUnzipTreeviewForm::BitBtn3Click);
    connect(BitBtn4, &QPushButton::clicked, this, &TUnzipTreeviewForm::BitBtn4Click);
    connect(BitBtn5, &QPushButton::clicked, this, &TUnzipTreeviewForm::BitBtn5Click);
    connect(SearchEdit, &QLineEdit::returnPressed, this, [this] {
        if (!SearchEdit->text().isEmpty())
            BitBtn5Click();
    });
    connect(FindNextButton, &QPushButton::clicked, this, &TUnzipTreeviewForm::FindNextButtonClick);
    connect(FindPreviousButton, &QPushButton::clicked, this, &TUnzipTreeviewForm::FindPreviousButtonClick);
    connect(FileButton, &QPushButton::clicked, this, &TUnzipTreeviewForm::FileButtonClick);
    connect(FolderButton, &QPushButton::clicked, this, &TUnzipTreeviewForm::FolderButtonClick);
    connect(ListViewBackButton, &QPushButton::clicked, this, &TUnzipTreeviewForm::ListViewBackButtonClick);
    connect(LIconButton, &QToolButton::toggled, this, [this](bool down) {
        if (down)
            LIconButtonClick();
    });
    connect(ListButton, &QToolButton::toggled, this, [this](bool down) {
        if (down)
            ListButtonClick();
    });

    connect(TreeView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const int node = SelectedNode(TreeView);
        if (TreeView->isHidden() || node < 0)
            return;
        TreeViewChange(node);
        TreeviewDoMouseUp(node);
    });
    connect(FolderTreeView->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const int node = SelectedNode(FolderTreeView);
        if (FolderTreeView->isHidden() || node < 0)
            return;
        FolderTreeViewChange(node);
        FolderTreeviewDoMouseUp(node);
    });
    connect(TreeView, &QTreeView::clicked, this, [this](const QModelIndex& index) {
        const int node = TFileTreeModel::NodeOf(index);
        if (node >= 0 && tree_.IsFile(node))
            Launch(node, QString());
    });
    // Installed once every control exists: the filter looks at all of them.
    TreePanel->installEventFilter(this);
    ListPanel->installEventFilter(this);
    TreeView->viewport()->installEventFilter(this);
    FolderTreeView->viewport()->installEventFilter(this);

    connect(ListView1, &QListView::clicked, this,
            [this](const QModelIndex& index) { ListViewItemClick(listModel_->NodeAt(index.row())); });
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
        ListviewPopupMenuPopup();
        ListviewPopupMenu->popup(ListView1->viewport()->mapToGlobal(p));
    });
    connect(Open1, &QAction::triggered, this, [this] { OpenListSelection(QString()); });
    connect(NotePad1, &QAction::triggered, this, [this] { OpenListSelection(ViewerTypes::NotepadChoice()); });
    connect(WordPad1, &QAction::triggered, this, [this] { OpenListSelection(ViewerTypes::WordpadChoice()); });
    connect(QuickView1, &QAction::triggered, this, [this] { OpenListSelection(QuickViewPath); });
    connect(ImageView1, &QAction::triggered, this, [this] { OpenListSelection(ViewerTypes::ImageViewerChoice()); });
}

// ---------------------------------------------------------------- layout

void TUnzipTreeviewForm::FormResize(int W, int H)
{
    Label1->setGeometry(8, 74, W - 16, 18);
    Panel1->setGeometry(8, 96, W - 25, H - 200);
    Splitter1->setGeometry(0, 0, Panel1->width(), Panel1->height());
    const int buttons = 96 + (H - 200) + 14;
    UnzipButton->move(8, buttons);
    UnzipHelpButton->move(W - 180, buttons);
    UnzipCloseButton->move(W - 92, buttons);
    Label1->setText(FittedCaption(chosenPath_));
}

void TUnzipTreeviewForm::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    FormResize(width(), height());
}

void TUnzipTreeviewForm::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormResize(width(), height());
    if (shownOnce_)
        return;
    shownOnce_ = true;
    const int panes = Splitter1->width();
    Splitter1->setSizes({panes * 2 / 5, panes - panes * 2 / 5});
    TreeView->expand(fileModel_->IndexOf(0));
    FolderTreeView->expand(folderModel_->IndexOf(0));
    VisibleTree()->setFocus();
}

bool TUnzipTreeviewForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && (watched == TreePanel || watched == ListPanel)) {
        // The panes' contents fill them but for a 1-pixel edge.
        auto* panel = static_cast<QWidget*>(watched);
        const QRect inner(1, 1, qMax(0, panel->width() - 2), qMax(0, panel->height() - 2));
        if (panel == TreePanel) {
            TreeView->setGeometry(inner);
            FolderTreeView->setGeometry(inner);
        } else {
            ListView1->setGeometry(inner);
        }
    }
    const bool fileTree = watched == TreeView->viewport();
    const bool folderTree = watched == FolderTreeView->viewport();
    if (fileTree || folderTree) {
        auto* tree = fileTree ? TreeView : FolderTreeView;
        if (event->type() == QEvent::MouseButtonPress) {
            pressing_ = true;
            // A press beside every node leaves the tree without a selection.
            const auto* me = static_cast<QMouseEvent*>(event);
            if (!tree->indexAt(me->position().toPoint()).isValid())
                tree->clearSelection();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            pressing_ = false;
            if (fileTree)
                TreeViewMouseUp();
            else
                FolderTreeViewMouseUp();
            // The chosen node moves to the top once the tree has seen the
            // release (moving it under the pointer earlier would lose the click).
            QTimer::singleShot(0, this, [this] { ScrollChosenToTop(); });
        }
    }
    return QDialog::eventFilter(watched, event);
}

// ---------------------------------------------------------------- selection helpers

QTreeView* TUnzipTreeviewForm::VisibleTree() const
{
    return TreeView->isHidden() ? FolderTreeView : TreeView;
}

int TUnzipTreeviewForm::SelectedNode(const QTreeView* tree) const
{
    const QModelIndexList selected = tree->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : TFileTreeModel::NodeOf(selected.first());
}

int TUnzipTreeviewForm::SelectedListNode() const
{
    const QModelIndexList selected = ListView1->selectionModel()->selectedIndexes();
    return selected.size() == 1 ? listModel_->NodeAt(selected.first().row()) : -1;
}

void TUnzipTreeviewForm::SelectInTree(QTreeView* tree, int node, bool collapse)
{
    const auto* model = static_cast<const TFileTreeModel*>(tree->model());
    const QModelIndex index = model->IndexOf(node);
    if (!index.isValid())
        return;
    if (collapse)
        tree->collapseAll();
    tree->setCurrentIndex(index);
    tree->expand(index);
    tree->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void TUnzipTreeviewForm::ChooseNode(int node)
{
    if (TreeView->isHidden())
        ShowTree(true);
    SelectInTree(TreeView, node, false);
}

// ---------------------------------------------------------------- the label

QString TUnzipTreeviewForm::FittedCaption(const QString& text) const
{
    const QFontMetrics metrics(font());
    const int room = width() - 32;
    if (metrics.horizontalAdvance(text) < room)
        return text;
    // The longest right-hand part that fits behind "..\" (a shorter part is never wider).
    const QString lead = QStringLiteral("..\\");
    qsizetype low = 1, high = text.size();
    while (low < high) {
        const qsizetype mid = (low + high) / 2;
        if (metrics.horizontalAdvance(lead + text.mid(mid)) < room)
            high = mid;
        else
            low = mid + 1;
    }
    return lead + text.mid(low);
}

void TUnzipTreeviewForm::ShowCaption(int node, const QString& text)
{
    chosenNode_ = node;
    chosenPath_ = text;
    Label1->setText(FittedCaption(text));
    UnzipButton->setEnabled(true);
}

void TUnzipTreeviewForm::ChangeCaption(int node)
{
    ShowCaption(node, tree_.GetTreePath(node));
}

void TUnzipTreeviewForm::ClearChoice()
{
    chosenNode_ = -1;
    chosenPath_.clear();
    Label1->clear();
    UnzipButton->setEnabled(false);
}

// ---------------------------------------------------------------- the trees

void TUnzipTreeviewForm::TreeViewChange(int node)
{
    const QModelIndex index = fileModel_->IndexOf(node);
    const bool file = tree_.IsFile(node);
    const int parent = tree_.node(node).parent;
    if (file) {
        ChangeCaption(node);
        ChangeListview(parent);
        HighLightListView(node);
    } else {
        ChangeCaption(node);
        ChangeListview(node);
        TreeView->expand(index);
    }
    // BACK leads nowhere from the root or from a file directly under it.
    ListViewBackButton->setEnabled(node != 0 && !(file && parent == 0));
    if (!pressing_)
        TreeView->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void TUnzipTreeviewForm::ScrollChosenToTop()
{
    QTreeView* tree = VisibleTree();
    const int node = SelectedNode(tree);
    if (node >= 0)
        tree->scrollTo(static_cast<const TFileTreeModel*>(tree->model())->IndexOf(node), QAbstractItemView::PositionAtTop);
}

void TUnzipTreeviewForm::FolderTreeViewChange(int node)
{
    ChangeCaption(node);
    ListViewBackButton->setEnabled(node != 0);
    FolderTreeView->expand(folderModel_->IndexOf(node));
}

void TUnzipTreeviewForm::TreeviewDoMouseUp(int node)
{
    if (node < 0)
        return;
    if (tree_.IsFile(node) && tree_.node(node).parent == 0) {
        const QModelIndex root = folderModel_->IndexOf(0);
        FolderTreeView->clearSelection();
        FolderTreeView->collapseAll();
        FolderTreeView->expand(root);
        FolderTreeView->scrollTo(root);
        return;
    }
    SelectInTree(FolderTreeView, tree_.IsFile(node) ? tree_.node(node).parent : node, true);
}

void TUnzipTreeviewForm::FolderTreeviewDoMouseUp(int node)
{
    if (node < 0)
        return;
    SelectInTree(TreeView, node, true);
    ChangeListview(node);
}

void TUnzipTreeviewForm::TreeViewMouseUp()
{
    if (SelectedNode(TreeView) >= 0)
        return;
    FolderTreeView->clearSelection();
    ClearChoice();
}

void TUnzipTreeviewForm::FolderTreeViewMouseUp()
{
    if (SelectedNode(FolderTreeView) >= 0) {
        UnzipButton->setEnabled(true);
        return;
    }
    TreeView->clearSelection();
    ClearChoice();
}

void TUnzipTreeviewForm::ShowTree(bool files)
{
    QTreeView* shown = files ? TreeView : FolderTreeView;
    QTreeView* other = files ? FolderTreeView : TreeView;
    other->hide();
    other->setEnabled(false);
    shown->show();
    shown->setEnabled(true);
    shown->setFocus();
    for (QPushButton* b : {FileButton, FolderButton}) {
        QPalette p = b->palette();
        p.setColor(QPalette::ButtonText, (b == FileButton) == files ? ChosenCaptionColour : QColor(Qt::black));
        b->setPalette(p);
    }
}

void TUnzipTreeviewForm::FileButtonClick()
{
    ShowTree(true);
}

void TUnzipTreeviewForm::FolderButtonClick()
{
    ShowTree(false);
}

void TUnzipTreeviewForm::BitBtn1Click()
{
    QTreeView* tree = VisibleTree();
    const int node = SelectedNode(tree);
    if (node < 0 || tree_.IsFile(node))
        return;
    const QModelIndex index = static_cast<const TFileTreeModel*>(tree->model())->IndexOf(node);
    tree->setUpdatesEnabled(false);
    tree->expandRecursively(index);
    tree->setUpdatesEnabled(true);
    tree->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void TUnzipTreeviewForm::BitBtn2Click()
{
    QTreeView* tree = VisibleTree();
    const int node = SelectedNode(tree);
    if (node < 0 || tree_.IsFile(node))
        return;
    const auto* model = static_cast<const TFileTreeModel*>(tree->model());
    // The node first, so that its descendants leave the view; they follow
    // it in the tree's order, up to the first node no deeper than it.
    const QModelIndex index = model->IndexOf(node);
    const int depth = tree_.node(node).depth;
    tree->setUpdatesEnabled(false);
    tree->collapse(index);
    for (int i = node + 1; i < tree_.size() && tree_.node(i).depth > depth; ++i) {
        if (tree_.IsFile(i))
            continue;
        const QModelIndex below = model->IndexOf(i);
        if (tree->isExpanded(below))
            tree->collapse(below);
    }
    tree->setUpdatesEnabled(true);
    tree->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void TUnzipTreeviewForm::BitBtn3Click()
{
    VisibleTree()->collapseAll();
}

void TUnzipTreeviewForm::BitBtn4Click()
{
    QTreeView* tree = VisibleTree();
    tree->setUpdatesEnabled(false);
    tree->expandAll();
    tree->setUpdatesEnabled(true);
    tree->scrollTo(tree->model()->index(0, 0), QAbstractItemView::PositionAtTop);
}

void TUnzipTreeviewForm::ListViewBackButtonClick()
{
    QTreeView* tree = VisibleTree();
    const int node = SelectedNode(tree);
    if (node <= 0)
        return;
    SelectInTree(tree, tree_.node(node).parent, false);
}

// ---------------------------------------------------------------- the right-hand list

void TUnzipTreeviewForm::ChangeListview(int node)
{
    if (listModel_->Folder() != node)
        listModel_->ShowChildren(node);
}

void TUnzipTreeviewForm::HighLightListView(int node)
{
    const int row = listModel_->RowOf(node);
    if (row < 0) {
        ListView1->clearSelection();
        return;
    }
    const QModelIndex index = listModel_->index(row);
    ListView1->setCurrentIndex(index);
    ListView1->scrollTo(index);
}

void TUnzipTreeviewForm::ListViewItemClick(int node)
{
    if (node < 0)
        return;
    QTreeView* tree = VisibleTree();
    if (static_cast<const TFileTreeModel*>(tree->model())->IndexOf(node).isValid())
        SelectInTree(tree, node, false);
    if (tree_.IsFile(node))
        Launch(node, QString());
}

void TUnzipTreeviewForm::LIconButtonClick()
{
    ListView1->setViewMode(QListView::IconMode);
    ListView1->setFlow(QListView::LeftToRight);
    ListView1->setIconSize(QSize(32, 32));
    ListView1->setGridSize(QSize(96, 64));
    listModel_->UseLargeImages(true);
    ListView1->scrollTo(ListView1->currentIndex());
}

void TUnzipTreeviewForm::ListButtonClick()
{
    ListView1->setViewMode(QListView::ListMode);
    ListView1->setFlow(QListView::TopToBottom);
    ListView1->setWrapping(true);
    ListView1->setIconSize(QSize(16, 16));
    ListView1->setGridSize(QSize());
    listModel_->UseLargeImages(false);
    ListView1->scrollTo(ListView1->currentIndex());
}

void TUnzipTreeviewForm::ListviewPopupMenuPopup()
{
    const int node = SelectedListNode();
    const bool file = node >= 0 && tree_.IsFile(node);
    const bool image = file && IsImageFileName(tree_.node(node).text);
    Open1->setEnabled(file);
    NotePad1->setEnabled(file && !image);
    WordPad1->setEnabled(file && !image);
    ImageView1->setEnabled(image);
    QuickView1->setEnabled(file && !QuickViewPath.isEmpty());
}

void TUnzipTreeviewForm::OpenListSelection(const QString& viewer)
{
    const int node = SelectedListNode();
    if (node >= 0)
        Launch(node, viewer);
}

void TUnzipTreeviewForm::Launch(int node, const QString& viewer)
{
    if (!LaunchFile || node < 0 || !tree_.IsFile(node))
        return;
    LaunchFile(tree_.node(node).text, tree_.GetPath(node), viewer);
}

// ---------------------------------------------------------------- UNZIP

void TUnzipTreeviewForm::UnzipButtonClick()
{
    if (chosenPath_.isEmpty() || chosenNode_ < 0) {
        UnzipButton->setEnabled(false);
        return;
    }
    if (chosenNode_ == 0) {
        done(UnzipAll);
    } else if (!tree_.IsFile(chosenNode_)) {
        chosenPath_ = tree_.GetPath(chosenNode_);
        done(UnzipFolder);
    } else {
        done(UnzipFile);
    }
}

// ---------------------------------------------------------------- search

void TUnzipTreeviewForm::BitBtn5Click()
{
    searchText_ = SearchEdit->text();
    if (searchText_.isEmpty())
        return;
    searchPosition_ = 0;
    searchHit_ = false;
    DoSearch(true);
}

void TUnzipTreeviewForm::FindNextButtonClick()
{
    if (!searchText_.isEmpty() && searchPosition_ < tree_.size() - 1)
        DoSearch(true);
}

void TUnzipTreeviewForm::FindPreviousButtonClick()
{
    if (!searchText_.isEmpty() && searchPosition_ > 0)
        DoSearch(false);
}

void TUnzipTreeviewForm::DoSearch(bool forward)
{
    if (TreeView->isHidden())
        ShowTree(true);
    const bool wholeWord = WholeWordCheckBox->isChecked();
    const bool caseSensitive = CaseCheckBox->isChecked();
    const int step = forward ? 1 : -1;
    // A new search tests the root; after a hit the search moves past it.
    int i = forward ? (searchHit_ ? searchPosition_ + 1 : searchPosition_) : searchPosition_ - 1;
    int hit = -1;
    for (; i >= 0 && i < tree_.size(); i += step) {
        if (TFileTree::NodeMatches(tree_.node(i).text, searchText_, wholeWord, caseSensitive)) {
            hit = i;
            break;
        }
    }
    if (hit >= 0) {
        searchPosition_ = hit;
        searchHit_ = true;
        SelectInTree(TreeView, hit, false);
        TreeView->scrollTo(fileModel_->IndexOf(hit), QAbstractItemView::PositionAtTop);
        TreeView->setFocus();
    } else {
        host_.prompter().information(QStringLiteral("SEARCH RESULT NOT FOUND."));
        TreeView->setFocus();
    }
    FindPreviousButton->setEnabled(searchPosition_ != 0);
    FindNextButton->setEnabled(true);
}
