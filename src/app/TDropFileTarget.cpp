#include "app/TDropFileTarget.h"

#include <QAbstractScrollArea>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

TDropFileTarget::TDropFileTarget(QObject* parent) : QObject(parent) {}

TDropFileTarget::~TDropFileTarget()
{
    Attach(nullptr);
}

void TDropFileTarget::Attach(QWidget* list)
{
    if (target_ == list)
        return;
    if (site_) {
        site_->removeEventFilter(this);
        site_->setAcceptDrops(false);
    }
    if (target_)
        target_->setAcceptDrops(false);
    target_ = list;
    site_ = nullptr;
    if (!list)
        return;
    // A list view's drags arrive at its viewport; the view's own drop
    // handling never sees them.
    auto* area = qobject_cast<QAbstractScrollArea*>(list);
    site_ = area ? area->viewport() : list;
    list->setAcceptDrops(true);
    site_->setAcceptDrops(true);
    site_->installEventFilter(this);
}

Qt::DropAction TDropFileTarget::ChooseAction(Qt::DropActions offered)
{
    if (offered & Qt::LinkAction)
        return Qt::LinkAction;
    if (offered & Qt::CopyAction)
        return Qt::CopyAction;
    return Qt::IgnoreAction;
}

bool TDropFileTarget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != site_)
        return QObject::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QObject::eventFilter(watched, event);

    auto* drop = static_cast<QDropEvent*>(event);
    const Qt::DropAction action = ChooseAction(drop->possibleActions());
    // Only the kind of data is looked at before the drop, not the list itself.
    const QMimeData* data = drop->mimeData();
    if (!data || !data->hasUrls() || action == Qt::IgnoreAction || (Accepting && !Accepting())) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(action);
    drop->accept();
    if (type != QEvent::Drop)
        return true;

    files_.clear();
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files_ << url.toLocalFile();
    if (OnDrop)
        OnDrop();
    return true;
}
