#include "treebrowser/FileTree.h"

#include <QHash>
#include <QStringView>
#include <algorithm>

namespace {

// A node while the tree is put together: children in arrival order, folders
// found again by their exact name.
struct Pending {
    QString name;
    int image = 0;
    int entryRow = -1;
    std::vector<int> children;
    QHash<QString, int> folderByName;
};

// Outline order of two sibling keys: without regard to case, and where that
// makes them equal, exactly (so A and a stay two runs, each in one piece).
bool OutlineLess(const QString& a, const QString& b)
{
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    if (c != 0)
        return c < 0;
    return QString::compare(a, b, Qt::CaseSensitive) < 0;
}

} // namespace

TFileTree TFileTree::Assemble(const QString& archiveName, const QList<TTreeRow>& rows)
{
    std::vector<Pending> pending;
    pending.reserve(size_t(rows.size()) + 64);
    pending.push_back(Pending{archiveName, 0, -1, {}, {}});

    auto addChild = [&pending](int parent, Pending&& child) {
        const int id = int(pending.size());
        pending.push_back(std::move(child));
        pending[size_t(parent)].children.push_back(id);
        return id;
    };

    // Rows usually arrive folder by folder: the last folder is remembered.
    QString lastPath;
    int lastFolder = 0;
    bool haveLast = false;
    for (int r = 0; r < rows.size(); ++r) {
        const TTreeRow& row = rows[r];
        int folder = 0;
        if (haveLast && row.path == lastPath) {
            folder = lastFolder;
        } else {
            const QStringView path(row.path);
            qsizetype start = 0;
            while (start < path.size()) {
                const qsizetype sep = path.indexOf(QLatin1Char('\\'), start);
                const qsizetype end = sep < 0 ? path.size() : sep;
                const QString name = path.mid(start, end - start).toString();
                const auto found = pending[size_t(folder)].folderByName.constFind(name);
                if (found != pending[size_t(folder)].folderByName.constEnd()) {
                    folder = *found;
                } else {
                    const int id = addChild(folder, Pending{name, 0, -1, {}, {}});
                    pending[size_t(folder)].folderByName.insert(name, id);
                    folder = id;
                }
                if (sep < 0)
                    break;
                start = sep + 1;
            }
            lastPath = row.path;
            lastFolder = folder;
            haveLast = true;
        }
        if (!row.caption.isEmpty())
            addChild(folder, Pending{row.caption, row.image > 0 ? row.image : 1, r, {}, {}});
    }

    // Sibling order by outline key; stable, so a name stored twice keeps its row order.
    std::vector<QString> keys(pending.size());
    for (size_t i = 1; i < pending.size(); ++i) {
        const Pending& p = pending[i];
        keys[i] = p.image == 0 ? p.name + QLatin1Char('\\')
                               : p.name + QLatin1Char('*') + QString::number(p.image);
    }
    for (Pending& p : pending)
        if (p.children.size() > 1)
            std::stable_sort(p.children.begin(), p.children.end(),
                             [&keys](int a, int b) { return OutlineLess(keys[size_t(a)], keys[size_t(b)]); });

    // Flatten depth first (no recursion: a name may hold thousands of levels).
    TFileTree tree;
    tree.nodes_.reserve(pending.size());
    std::vector<std::pair<int, int>> stack;  // (pending node, parent in the tree)
    stack.emplace_back(0, -1);
    while (!stack.empty()) {
        const auto [from, parent] = stack.back();
        stack.pop_back();
        Pending& p = pending[size_t(from)];
        const int id = int(tree.nodes_.size());
        Node n;
        n.text = std::move(p.name);
        n.image = p.image;
        n.entryRow = p.entryRow;
        n.parent = parent;
        if (parent >= 0) {
            Node& up = tree.nodes_[size_t(parent)];
            n.depth = up.depth + 1;
            n.row = int(up.children.size());
            up.children << id;
            if (n.image == 0) {
                n.folderRow = int(up.folders.size());
                up.folders << id;
            }
        }
        tree.nodes_.push_back(std::move(n));
        for (auto it = p.children.rbegin(); it != p.children.rend(); ++it)
            stack.emplace_back(*it, id);
    }
    return tree;
}

QList<int> TFileTree::FolderChain(int i) const
{
    QList<int> chain;
    if (i < 0 || i >= size())
        return chain;
    if (IsFile(i))
        i = node(i).parent;
    for (; i > 0; i = node(i).parent)
        chain.prepend(i);
    return chain;
}

QString TFileTree::GetPath(int i) const
{
    QString path;
    for (int f : FolderChain(i))
        path += node(f).text + QLatin1Char('\\');
    return path;
}

QString TFileTree::GetTreePath(int i) const
{
    if (i <= 0 || i >= size())
        return i == 0 && size() > 0 ? node(0).text : QString();
    if (IsFile(i))
        return GetPath(i) + node(i).text;
    return GetPath(i) + QStringLiteral("*.*");
}

QStringList TFileTree::Outline() const
{
    QStringList lines;
    lines.reserve(size());
    for (const Node& n : nodes_) {
        QString line = QString(n.depth, QLatin1Char('\t')) + n.text;
        if (n.image != 0)
            line += QLatin1Char('*') + QString::number(n.image);
        lines << line;
    }
    return lines;
}

bool TFileTree::NodeMatches(const QString& text, const QString& search, bool wholeWord, bool caseSensitive)
{
    if (wholeWord)
        return caseSensitive ? text == search : text.toLower() == search.toLower();
    if (text.size() < search.size())
        return false;
    return caseSensitive ? text.contains(search) : text.toLower().contains(search.toLower());
}
