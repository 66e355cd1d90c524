#include "shell/TStartMenuTreeForm.h"

#include "platform/Controls.h"
#include "platform/Prompter.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyle>
#include <QTreeWidget>

#include <cerrno>
#include <sys/stat.h>

using namespace Controls;

namespace {
// A folder: closed, and open while it is selected.
QIcon folderIcon(QStyle* st)
{
    QIcon icon = st->standardIcon(QStyle::SP_DirClosedIcon);
    icon.addPixmap(st->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16), QIcon::Selected);
    return icon;
}
} // namespace

TStartMenuTreeForm::TStartMenuTreeForm(const QString& startMenuFolder, Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter)
{
    setObjectName(QStringLiteral("StartMenuTreeForm"));
    setWindowTitle(QStringLiteral("Choose a folder on the Start Menu in which to place the link to this program..."));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(520, 420);
    setModal(true);

    StartMenuTreeView = new QTreeWidget(this);
    StartMenuTreeView->setObjectName(QStringLiteral("StartMenuTreeView"));
    StartMenuTreeView->setGeometry(10, 10, 500, 250);
    StartMenuTreeView->setHeaderHidden(true);
    StartMenuTreeView->setSelectionMode(QAbstractItemView::SingleSelection);
    PathEdit = ReadOnlyEdit(this, "PathEdit", QString(), 10, 268, 500);
    CollapseButton = Button(this, "CollapseButton", QStringLiteral("Collapse"), 10, 298, 90);
    ExpandButton = Button(this, "ExpandButton", QStringLiteral("Expand"), 106, 298, 90);
    Label(this, nullptr, QStringLiteral("New folder name :"), 10, 336);
    NewFolderEdit = Edit(this, "NewFolderEdit", 120, 334, 240);
    // Characters a folder name may not hold are refused as they are typed.
    NewFolderEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[^\\\\/:*?\"<>|]*")), NewFolderEdit));
    CreateFolderButton = Button(this, "CreateFolderButton", QStringLiteral("Create New Folder"), 366, 332, 144);
    AcceptButton = Button(this, "AcceptButton", QStringLiteral("Accept"), 330, 380, 86);
    CancelButton = Button(this, "CancelButton", QStringLiteral("Cancel"), 424, 380, 86);

    QStyle* st = style();
    auto* top = new QTreeWidgetItem(StartMenuTreeView, {startMenuFolder});
    top->setIcon(0, folderIcon(st));
    QString searchRoot = startMenuFolder;
    if (!searchRoot.endsWith(QLatin1Char('/')))
        searchRoot += QLatin1Char('/');
    addFolders(top, searchRoot);
    top->setExpanded(true);
    if (top->childCount() > 0)
        top->child(0)->setExpanded(true);
    StartMenuTreeView->setCurrentItem(top);
    PathEdit->setText(ShownPath(top->text(0)));

    connect(StartMenuTreeView, &QTreeWidget::itemClicked, this, [this] { TreeClick(); });
    connect(StartMenuTreeView, &QTreeWidget::itemSelectionChanged, this, [this] { TreeClick(); });
    connect(CollapseButton, &QPushButton::clicked, this, &TStartMenuTreeForm::CollapseClick);
    connect(ExpandButton, &QPushButton::clicked, this, &TStartMenuTreeForm::ExpandClick);
    connect(CreateFolderButton, &QPushButton::clicked, this, &TStartMenuTreeForm::CreateNewFolderClick);
    connect(NewFolderEdit, &QLineEdit::returnPressed, this, &TStartMenuTreeForm::CreateNewFolderClick);
    connect(AcceptButton, &QPushButton::clicked, this, &TStartMenuTreeForm::AcceptClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void TStartMenuTreeForm::addFolders(QTreeWidgetItem* parent, const QString& path)
{
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                                                           QDir::Name);
    QStyle* st = style();
    for (const QFileInfo& e : entries) {
        // Hidden folders are left out; linked folders too, so a loop of links cannot grow the tree.
        if (e.fileName().startsWith(QLatin1Char('.')) || !e.isDir() || e.isSymLink())
            continue;
        auto* item = new QTreeWidgetItem(parent, {e.fileName()});
        item->setIcon(0, folderIcon(st));
        addFolders(item, e.absoluteFilePath());
    }
}

QString TStartMenuTreeForm::ShownPath(const QString& path)
{
    if (path.size() <= 70)
        return path;
    return path.left(35) + QStringLiteral(" ... ") + path.right(33);
}

QTreeWidgetItem* TStartMenuTreeForm::root() const
{
    return StartMenuTreeView->topLevelItem(0);
}

QTreeWidgetItem* TStartMenuTreeForm::selected() const
{
    const QList<QTreeWidgetItem*> s = StartMenuTreeView->selectedItems();
    return s.isEmpty() ? nullptr : s.first();
}

QString TStartMenuTreeForm::RelativePath(const QTreeWidgetItem* item) const
{
    QString path;
    for (; item && item->parent(); item = item->parent())
        path = path.isEmpty() ? item->text(0) : item->text(0) + QLatin1Char('/') + path;
    return path;
}

QString TStartMenuTreeForm::DisplayedPath(const QTreeWidgetItem* item) const
{
    const QString rootText = root()->text(0);
    const QString relative = RelativePath(item);
    if (relative.isEmpty())
        return rootText;
    return rootText.endsWith(QLatin1Char('/')) ? rootText + relative : rootText + QLatin1Char('/') + relative;
}

void TStartMenuTreeForm::showPath(const QTreeWidgetItem* item)
{
    PathEdit->setText(ShownPath(DisplayedPath(item)));
}

void TStartMenuTreeForm::TreeClick()
{
    QTreeWidgetItem* item = selected();
    AcceptButton->setEnabled(item != nullptr);
    if (!item && root()->childCount() > 0) {
        item = root()->child(0);
        StartMenuTreeView->setCurrentItem(item);
    }
    if (item)
        showPath(item);
}

void TStartMenuTreeForm::CollapseClick()
{
    StartMenuTreeView->collapseAll();
    if (root()->childCount() > 0)
        root()->child(0)->setExpanded(true);
    root()->setExpanded(true);
    StartMenuTreeView->setCurrentItem(root());
    PathEdit->setText(ShownPath(root()->text(0)));
}

void TStartMenuTreeForm::ExpandClick()
{
    StartMenuTreeView->expandAll();
    if (QTreeWidgetItem* item = selected())
        StartMenuTreeView->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void TStartMenuTreeForm::CreateNewFolderClick()
{
    const QString name = NewFolderEdit->text();
    if (name.isEmpty())
        return;
    QTreeWidgetItem* parent = selected();
    if (!parent)
        parent = root();
    const QString path = DisplayedPath(parent) + QLatin1Char('/') + name;
    if (QFileInfo::exists(path))
        return;
    if (::mkdir(QFile::encodeName(path).constData(), 0777) != 0) {
        prompter_.error(qt_error_string(errno));
        return;
    }
    auto* item = new QTreeWidgetItem(parent, {name});
    item->setIcon(0, folderIcon(style()));
    parent->setExpanded(true);
    StartMenuTreeView->setCurrentItem(item);
    showPath(item);
    StartMenuTreeView->setFocus();
}

void TStartMenuTreeForm::AcceptClick()
{
    const QTreeWidgetItem* item = selected();
    chosen_ = item ? RelativePath(item) : QString();
    accept();
}
