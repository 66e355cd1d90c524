#pragma once
// One control a page takes part in the window's busy bracket with.

class QObject;

struct TBusyControl {
    QObject* control;
    // DisableAll records whether it was enabled and EnableAll restores that;
    // otherwise EnableAll turns it on.
    bool remembered;
};
