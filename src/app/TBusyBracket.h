#pragma once
// DisableAll / EnableAll: the bracket around every long operation. The
// controls come from the pages (and the window's menu), each group in the
// order it was added; a group may restore controls of its own after the
// others are back.

#include "platform/BusyControl.h"

#include <QHash>
#include <QList>
#include <functional>

class TBusyBracket {
public:
    // Whether a control was enabled when DisableAll ran (its state now when
    // it was not recorded).
    using WasEnabled = std::function<bool(QObject*)>;

    void AddGroup(std::function<QList<TBusyControl>()> controls, std::function<void(const WasEnabled&)> restore = {});

    void DisableAll();
    void EnableAll();
    // Between DisableAll and EnableAll.
    bool Busy() const { return busy_; }

private:
    struct Group {
        std::function<QList<TBusyControl>()> controls;
        std::function<void(const WasEnabled&)> restore;
    };
    QList<Group> groups_;
    QHash<QObject*, bool> remembered_;
    bool busy_ = false;
};
