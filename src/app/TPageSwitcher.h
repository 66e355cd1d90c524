#pragma once
// The notebook's page switches: the questions and moves when the user leaves
// one page for another (TabbedNotebookChange), the list that takes the focus
// afterwards (TabbedNotebookClick), and the drop target following the page.
// A switch asked for while a long operation runs is refused.

#include <QObject>
#include <QPointer>
#include <functional>

class QTabBar;
class QTabWidget;
class TBatchPage;
class TCreatePage;
class TMainHost;
class TSfxPage;
class TUnzipPage;
class TUpdatePage;
class TZipEngine;
struct Settings;
struct TAppState;

struct TPages {
    TUnzipPage* unzip;
    TUpdatePage* update;
    TCreatePage* create;
    TBatchPage* batch;
    TSfxPage* sfx;
};

class TPageSwitcher : public QObject {
    Q_OBJECT
public:
    enum Page { UnzipPageIndex = 0, UpdatePageIndex = 1, CreatePageIndex = 2, BatchPageIndex = 3, SfxPageIndex = 4 };

    TPageSwitcher(QTabWidget& notebook, TPages pages, TMainHost& host, Settings& settings, TAppState& state,
                  QObject* parent = nullptr);

    // Whether a long operation holds the window (a switch is then refused).
    std::function<bool()> Busy;

    // Switches to `page` as a click on its tab would; returns whether it happened.
    bool SelectPage(int page);
    int CurrentPage() const { return current_; }
    // Shows `page` without the rules (start-up, screenshots).
    void ShowPageQuietly(int page);

    // The rules for a change from the current page to `requested`; returns
    // whether the change is allowed (its moves are done when it is).
    bool TabbedNotebookChange(int requested);
    // After a switch: enable and focus the new page's list.
    void TabbedNotebookClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void IndexChanged(int index);
    void MoveZipfileToUpdate();
    void ClearCreatePage();

    QTabWidget& notebook_;
    QPointer<QTabBar> tabBar_;
    TPages pages_;
    TMainHost& host_;
    Settings& settings_;
    TAppState& state_;
    int current_ = 0;
    bool quiet_ = false;
};
