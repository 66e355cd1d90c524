#pragma once
// "Quarn Unzip Explorer": the open archive as folders and files. The file tree
// (every node) or the folder tree (folders only) on the left, the chosen
// folder's contents on the right, the chosen path in the caption label, a
// search bar, and UNZIP for the whole archive, one folder or one file.
//
// Results: UnzipAll (1), UnzipFolder (64; ChosenPath() is the folder's
// "Path" value, docs\img\), UnzipFile (255; ChosenPath() is the file's path
// and name, docs\img\a.png), Closed (-1).

#include "treebrowser/FileTree.h"

#include <QDialog>
#include <QIcon>
#include <QList>
#include <functional>

class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QModelIndex;
class QPushButton;
class QSplitter;
class QToolButton;
class QTreeView;
class TFileTreeModel;
class TFolderListModel;
class TMainHost;

class TUnzipTreeviewForm : public QDialog {
    Q_OBJECT
public:
    enum Result { UnzipAll = 1, UnzipFolder = 64, UnzipFile = 255, Closed = -1 };

    // `smallImages` and `largeImages` are the shared image lists.
    TUnzipTreeviewForm(TMainHost& host, TFileTree tree, const QList<QIcon>& smallImages,
                       const QList<QIcon>& largeImages, QWidget* parent = nullptr);
    ~TUnzipTreeviewForm() override;

    // Opens a file of the archive: its name, its "Path" value and the viewer
    // choice ("" for the associated program). Set by the window that shows
    // the form; while unset, opening an entry does nothing.
    std::function<void(const QString& name, const QString& path, const QString& viewer)> LaunchFile;
    // Quick View's program ("" when there is none: its menu item stays off).
    QString QuickViewPath;

    const TFileTree& Tree() const { return tree_; }
    // The chosen path in full (the label may show it shortened).
    QString ChosenPath() const { return chosenPath_; }
    // The node the label names (-1 when none).
    int ChosenNode() const { return chosenNode_; }
    // The search position: the node of the current hit (0, the root, at first).
    int SearchPosition() const { return searchPosition_; }

    QFrame* Panel1;  // the outer panel: the two panes and their splitter
    QSplitter* Splitter1;
    QFrame* TreePanel;
    QFrame* ListPanel;
    QTreeView* TreeView;
    QTreeView* FolderTreeView;
    QListView* ListView1;
    QLabel* Label1;
    QPushButton* UnzipButton;
    QPushButton* UnzipCloseButton;
    QPushButton* UnzipHelpButton;
    QPushButton* BitBtn1;  // Expand Branch
    QPushButton* BitBtn2;  // Collapse Branch
    QPushButton* BitBtn3;  // Collapse All
    QPushButton* BitBtn4;  // Expand All
    QPushButton* BitBtn5;  // Search
    QPushButton* FileButton;
    QPushButton* FolderButton;
    QPushButton* FindNextButton;
    QPushButton* FindPreviousButton;
    QPushButton* ListViewBackButton;
    QToolButton* LIconButton;
    QToolButton* ListButton;
    QLineEdit* SearchEdit;
    QCheckBox* WholeWordCheckBox;
    QCheckBox* CaseCheckBox;
    QMenu* ListviewPopupMenu;
    QAction* Open1;
    QAction* NotePad1;
    QAction* WordPad1;
    QAction* QuickView1;
    QAction* ImageView1;

    // The tree on show, and the node selected in a tree (-1 for none).
    QTreeView* VisibleTree() const;
    int SelectedNode(const QTreeView* tree) const;
    // The node of the right-hand list's selected item (-1 for none).
    int SelectedListNode() const;

    // Commands.
    void UnzipButtonClick();
    void BitBtn1Click();  // Expand Branch
    void BitBtn2Click();  // Collapse Branch
    void BitBtn3Click();  // Collapse All
    void BitBtn4Click();  // Expand All
    void FileButtonClick();
    void FolderButtonClick();
    void ListViewBackButtonClick();
    void LIconButtonClick();
    void ListButtonClick();
    // "Search" and Enter: a new search for the field's text.
    void BitBtn5Click();
    void FindNextButtonClick();
    void FindPreviousButtonClick();
    void DoSearch(bool forward);

    // Selecting a node in the file tree or the folder tree.
    void TreeViewChange(int node);
    void FolderTreeViewChange(int node);
    // Brings the other tree to the node chosen in the file tree, or in the folder tree.
    void TreeviewDoMouseUp(int node);
    void FolderTreeviewDoMouseUp(int node);
    // A mouse release over a tree (the selection rules of UNZIP and the label).
    void TreeViewMouseUp();
    void FolderTreeViewMouseUp();
    // The right-hand list shows the children of `node`; `HighLightListView`
    // selects the item of `node` in it.
    void ChangeListview(int node);
    void HighLightListView(int node);
    // An item chosen in the right-hand list: the visible tree follows it; a file opens.
    void ListViewItemClick(int node);
    // The label for a node: the root, a folder or a file.
    void ChangeCaption(int node);
    // The pop-up menu's enabling rules, run as it opens.
    void ListviewPopupMenuPopup();
    // The pop-up commands: open the list's selected file with `viewer`.
    void OpenListSelection(const QString& viewer);
    // Selects `node` in the file tree as a click would (the screenshot uses it).
    void ChooseNode(int node);

    // The layout for a window of W x H.
    void FormResize(int W, int H);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void connectControls();
    // Selects `node` in `tree` (after collapsing the tree when `collapse`),
    // expands it one level and scrolls it to the top.
    void SelectInTree(QTreeView* tree, int node, bool collapse);
    void ShowTree(bool files);
    void ShowCaption(int node, const QString& text);
    void ClearChoice();
    // The label text as it fits: the right-hand part behind "..\" when too wide.
    QString FittedCaption(const QString& text) const;
    void Launch(int node, const QString& viewer);
    // Scrolls the visible tree's selected node to the top.
    void ScrollChosenToTop();

    TMainHost& host_;
    TFileTree tree_;
    QList<QIcon> smallImages_;
    TFileTreeModel* fileModel_;
    TFileTreeModel* folderModel_;
    TFolderListModel* listModel_;
    QString chosenPath_;
    int chosenNode_ = -1;
    int searchPosition_ = 0;
    // Whether the current search has a hit (Find Next then moves past it).
    bool searchHit_ = false;
    QString searchText_;
    bool shownOnce_ = false;
    // A mouse button is down on one of the trees.
    bool pressing_ = false;
};
