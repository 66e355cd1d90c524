#pragma once
// DropFileTarget: the window's one file drop site, attached to exactly one
// list at a time (or to none). It takes lists of local files dragged from the
// desktop, offers the "link" action (a copy when the source cannot link;
// never a move, so the source never deletes what it dragged here), leaves the
// source's drag image alone, and reads the dropped paths only at the drop.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <functional>

class QWidget;

class TDropFileTarget : public QObject {
    Q_OBJECT
public:
    explicit TDropFileTarget(QObject* parent = nullptr);
    ~TDropFileTarget() override;

    // Attaches the target to `list` (a list view: its viewport receives the
    // drags); nullptr detaches it.
    void Attach(QWidget* list);
    QWidget* Target() const { return target_; }

    // The full paths of the last drop, in the order the source gave them.
    const QStringList& Files() const { return files_; }

    // DropFileTargetDrop: called after every drop on the attached list.
    std::function<void()> OnDrop;
    // Asked at every drag and drop; false refuses it without a word.
    std::function<bool()> Accepting;

    // The action taken from those the source offers (Qt::IgnoreAction: none fits).
    static Qt::DropAction ChooseAction(Qt::DropActions offered);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> target_;
    QPointer<QWidget> site_;
    QStringList files_;
};
