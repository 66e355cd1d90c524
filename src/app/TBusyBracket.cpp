#include "app/TBusyBracket.h"

#include <QAction>
#include <QWidget>

namespace {

void setOn(QObject* o, bool on)
{
    if (auto* w = qobject_cast<QWidget*>(o))
        w->setEnabled(on);
    else if (auto* a = qobject_cast<QAction*>(o))
        a->setEnabled(on);
}

bool isOn(QObject* o)
{
    if (auto* w = qobject_cast<QWidget*>(o))
        return w->isEnabled();
    if (auto* a = qobject_cast<QAction*>(o))
        return a->isEnabled();
    return false;
}

} // namespace

void TBusyBracket::AddGroup(std::function<QList<TBusyControl>()> controls,
                            std::function<void(const WasEnabled&)> restore)
{
    groups_ << Group{std::move(controls), std::move(restore)};
}

void TBusyBracket::DisableAll()
{
    // A second DisableAll before EnableAll keeps the states recorded by the
    // first: recording again would remember everything as disabled.
    const bool record = !busy_;
    if (record)
        remembered_.clear();
    busy_ = true;
    for (const Group& g : groups_)
        for (const TBusyControl& c : g.controls()) {
            if (record && c.remembered)
                remembered_.insert(c.control, isOn(c.control));
            setOn(c.control, false);
        }
}

void TBusyBracket::EnableAll()
{
    const WasEnabled wasOn = [this](QObject* o) { return remembered_.value(o, isOn(o)); };
    for (const Group& g : groups_)
        for (const TBusyControl& c : g.controls())
            setOn(c.control, c.remembered ? wasOn(c.control) : true);
    for (const Group& g : groups_)
        if (g.restore)
            g.restore(wasOn);
    busy_ = false;
    remembered_.clear();
}
