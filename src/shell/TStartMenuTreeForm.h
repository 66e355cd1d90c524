#pragma once
// "Choose a folder on the Start Menu ...": the folders below the Start-menu
// folder as a tree; the user picks one (or makes a new one) for the link.

#include <QDialog>

class Prompter;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TStartMenuTreeForm : public QDialog {
    Q_OBJECT
public:
    TStartMenuTreeForm(const QString& startMenuFolder, Prompter& prompter, QWidget* parent = nullptr);

    // A path as the path box shows it: one longer than 70 characters becomes
    // its first 35 characters, " ... " and its last 33.
    static QString ShownPath(const QString& path);

    // The full path of `item`: the root's text, then each folder below it.
    QString DisplayedPath(const QTreeWidgetItem* item) const;
    // `item`'s folder relative to the root ("" for the root).
    QString RelativePath(const QTreeWidgetItem* item) const;
    // After Accept: the chosen folder relative to the Start-menu folder.
    QString ChosenFolder() const { return chosen_; }

    void TreeClick();
    void CollapseClick();
    void ExpandClick();
    void CreateNewFolderClick();
    void AcceptClick();

    QTreeWidget* StartMenuTreeView;
    QLineEdit* PathEdit;
    QLineEdit* NewFolderEdit;
    QPushButton* CreateFolderButton;
    QPushButton* CollapseButton;
    QPushButton* ExpandButton;
    QPushButton* AcceptButton;
    QPushButton* CancelButton;

private:
    void addFolders(QTreeWidgetItem* parent, const QString& path);
    QTreeWidgetItem* root() const;
    QTreeWidgetItem* selected() const;
    void showPath(const QTreeWidgetItem* item);

    Prompter& prompter_;
    QString chosen_;
};
