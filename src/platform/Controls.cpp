#include "platform/Controls.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTreeView>

namespace Controls {

QPushButton* Button(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setGeometry(x, y, w, h);
    // Enter on a focused button presses it, as Space does.
    b->setAutoDefault(true);
    return b;
}

QCheckBox* CheckBox(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h)
{
    auto* c = new QCheckBox(caption, parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setGeometry(x, y, w, h);
    return c;
}

QLabel* Label(QWidget* parent, const char* name, const QString& caption, int x, int y, int w, int h)
{
    auto* l = new QLabel(caption, parent);
    if (name)
        l->setObjectName(QString::fromLatin1(name));
    if (w < 0)
        w = l->sizeHint().width() + 4;
    l->setGeometry(x, y, w, h);
    return l;
}

QLineEdit* ReadOnlyEdit(QWidget* parent, const char* name, const QString& text, int x, int y, int w, int h)
{
    auto* e = Edit(parent, name, x, y, w, h);
    e->setReadOnly(true);
    e->setText(text);
    return e;
}

QLineEdit* Edit(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setGeometry(x, y, w, h);
    return e;
}

QFrame* Panel(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* f = new QFrame(parent);
    f->setObjectName(QString::fromLatin1(name));
    f->setFrameShape(QFrame::StyledPanel);
    f->setFrameShadow(QFrame::Raised);
    f->setGeometry(x, y, w, h);
    return f;
}

QStatusBar* StatusBar(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* s = new QStatusBar(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setSizeGripEnabled(false);
    s->setGeometry(x, y, w, h);
    return s;
}

QProgressBar* ProgressBar(QWidget* parent, const char* name, int x, int y, int w, int h)
{
    auto* p = new QProgressBar(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setRange(0, 100);
    p->setValue(0);
    p->setTextVisible(false);
    p->setGeometry(x, y, w, h);
    return p;
}

QAction* MenuItem(QMenu* menu, const char* name, const QString& caption)
{
    QAction* a = menu->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

QTreeView* ReportView(QWidget* parent, const char* name, const QStringList& columns, const QList<int>& widths,
                      QStandardItemModel** model)
{
    auto* v = new QTreeView(parent);
    v->setObjectName(QString::fromLatin1(name));
    auto* m = new QStandardItemModel(0, int(columns.size()), v);
    m->setObjectName(QString::fromLatin1(name) + QStringLiteral("Model"));
    m->setHorizontalHeaderLabels(columns);
    v->setModel(m);
    v->setRootIsDecorated(false);
    v->setItemsExpandable(false);
    v->setUniformRowHeights(true);  // keeps 100,000 rows cheap to lay out
    v->setSelectionMode(QAbstractItemView::ExtendedSelection);
    v->setSelectionBehavior(QAbstractItemView::SelectRows);
    v->setEditTriggers(QAbstractItemView::NoEditTriggers);
    v->setAllColumnsShowFocus(true);
    v->setSortingEnabled(false);
    v->header()->setStretchLastSection(false);
    v->header()->setSectionsMovable(false);
    for (int i = 0; i < widths.size() && i < columns.size(); ++i)
        v->setColumnWidth(i, widths[i]);
    if (model)
        *model = m;
    return v;
}

namespace {

class GridLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const QRect r = option.rect;
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(r.topRight(), r.bottomRight());
        painter->drawLine(r.bottomLeft(), r.bottomRight());
        painter->restore();
    }
};

} // namespace

void ShowGridLines(QTreeView* view)
{
    view->setItemDelegate(new GridLineDelegate(view));
}

int RowCount(const QTreeView* view)
{
    return view && view->model() ? view->model()->rowCount() : 0;
}

void RemoveMarkedRows(QTreeView* view, QStandardItemModel* model, const std::vector<bool>& marked)
{
    view->setUpdatesEnabled(false);
    for (int r = int(marked.size()) - 1; r >= 0;) {
        if (!marked[size_t(r)]) {
            --r;
            continue;
        }
        int first = r;
        while (first > 0 && marked[size_t(first - 1)])
            --first;
        model->removeRows(first, r - first + 1);
        r = first - 1;
    }
    view->setUpdatesEnabled(true);
}

} // namespace Controls

void Controls::PlaceAt(QWidget* w, int top, int width)
{
    w->setGeometry(w->x(), top, width, w->height());
}
