#include "app/TPageSwitcher.h"

#include "archive/ArchiveKind.h"
#include "batch/TBatchPage.h"
#include "create/TCreatePage.h"
#include "create/TUpdatePage.h"
#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "settings/AppState.h"
#include "settings/Settings.h"
#include "sfx/TSfxPage.h"
#include "unzip/TUnzipPage.h"
#include "zipengine/TZipEngine.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>

TPageSwitcher::TPageSwitcher(QTabWidget& notebook, TPages pages, TMainHost& host, Settings& settings,
                             TAppState& state, QObject* parent)
    : QObject(parent), notebook_(notebook), pages_(pages), host_(host), settings_(settings), state_(state)
{
    tabBar_ = notebook_.tabBar();
    tabBar_->installEventFilter(this);
    connect(&notebook_, &QTabWidget::currentChanged, this, &TPageSwitcher::IndexChanged);
}

void TPageSwitcher::IndexChanged(int index)
{
    if (quiet_ || index == current_)
        return;
    // A change that did not come through the tab bar's mouse press
    // (keyboard): the rules run now and a refusal puts the old page back.
    if (!TabbedNotebookChange(index)) {
        ShowPageQuietly(current_);
        return;
    }
    current_ = index;
    TabbedNotebookClick();
}

bool TPageSwitcher::eventFilter(QObject* watched, QEvent* event)
{
    // The tab bar is kept apart from the notebook: while the window is
    // destroyed it still has events after the notebook has gone.
    if (event->type() == QEvent::MouseButtonPress && watched == tabBar_) {
        auto* me = static_cast<QMouseEvent*>(event);
        const int index = tabBar_->tabAt(me->position().toPoint());
        if (me->button() == Qt::LeftButton && index >= 0 && index != current_) {
            SelectPage(index);
            return true;  // the switch is done (or refused) here
        }
    }
    return QObject::eventFilter(watched, event);
}

void TPageSwitcher::ShowPageQuietly(int page)
{
    const int keep = current_;
    quiet_ = true;
    notebook_.setCurrentIndex(page);
    quiet_ = false;
    current_ = keep;
}

bool TPageSwitcher::SelectPage(int page)
{
    if (page < 0 || page >= notebook_.count())
        return false;
    if (page == current_)
        return true;
    if (!TabbedNotebookChange(page))
        return false;
    ShowPageQuietly(page);
    current_ = page;
    TabbedNotebookClick();
    return true;
}

bool TPageSwitcher::TabbedNotebookChange(int requested)
{
    const int current = current_;
    if (requested == current)
        return true;
    // While a scan or batch run goes on, the batch page with its STOP button
    // stays in front and no other page reaches the engine. While a
    // single-archive operation runs (its progress lets the window handle
    // input) the page under it stays too.
    if (state_.BatchState.Running || (Busy && Busy()))
        return false;
    TUnzipPage* unzip = pages_.unzip;
    TUpdatePage* update = pages_.update;
    TCreatePage* create = pages_.create;
    const bool zip = archivekind::fromName(state_.CurrentArchive) == ArchiveKind::Zip;

    // 1: a listed zip moves on to the update page.
    if (current == UnzipPageIndex && requested == UpdatePageIndex && unzip->RowCount() > 0 && zip)
        MoveZipfileToUpdate();

    // 2: the self-extracting page receives the zip in hand.
    if (requested == SfxPageIndex && zip) {
        if (current == UnzipPageIndex && unzip->RowCount() > 0) {
            if (unzip->FilteredViewShowing())
                unzip->ShowFullList();
            unzip->ClearUnzipListView();
            pages_.sfx->ReceiveZip(state_.CurrentArchive);
            host_.MoveDropTarget(nullptr);
        } else if (current == UpdatePageIndex && update->RowCount() > 0) {
            update->ClearList();
            pages_.sfx->ReceiveZip(state_.CurrentArchive);
            host_.MoveDropTarget(nullptr);
        } else if (current == CreatePageIndex && create->RowCount() > 0 && !create->ZipButton->isEnabled()) {
            ClearCreatePage();
            pages_.sfx->ReceiveZip(host_.zipEngine().ZipFileName());
        }
    }

    // 3: leaving a filled create page.
    if (current == CreatePageIndex && requested != CreatePageIndex && requested != SfxPageIndex &&
        create->RowCount() > 0) {
        if (host_.prompter().question(QStringLiteral("CLEAR THE CURRENT ENTRIES AND SWITCH TO A NEW WINDOW?"),
                                      PromptButtons::YesNo) != PromptButton::Yes)
            return false;
        ClearCreatePage();
    }

    // 4: from a loaded unzip page to the create page.
    if (current == UnzipPageIndex && requested == CreatePageIndex && unzip->RowCount() > 0) {
        if (host_.prompter().question(QStringLiteral("WOULD YOU LIKE TO CLEAR THE LOADED FILE AND CREATE A NEW ZIPFILE?"),
                                      PromptButtons::YesNo) != PromptButton::Yes)
            return false;
        if (unzip->FilteredViewShowing())
            unzip->ShowFullList();
        unzip->ClearUnzipListView();
    }

    // 5: back from the self-extracting page after a conversion to zip.
    if (current == SfxPageIndex && requested == UnzipPageIndex && zip && state_.BatchState.ReloadOnReturn) {
        state_.BatchState.ReloadOnReturn = false;
        host_.DisableAll();
        unzip->UpdateUnzipWindow(state_.CurrentArchive);  // ends with EnableAll
    }

    // 6: the drop target follows the page.
    switch (requested) {
    case CreatePageIndex: host_.MoveDropTarget(create->ZipListView); break;
    case UnzipPageIndex: host_.MoveDropTarget(unzip->VisibleListView()); break;
    case SfxPageIndex: host_.MoveDropTarget(nullptr); break;
    case UpdatePageIndex:
        if (update->ArchiveLoaded())
            host_.MoveDropTarget(update->UpdateListView);
        break;
    default: break;
    }
    return true;
}

void TPageSwitcher::TabbedNotebookClick()
{
    QTreeView* list = nullptr;
    switch (current_) {
    case UnzipPageIndex: list = pages_.unzip->VisibleListView(); break;
    case UpdatePageIndex:
        list = pages_.update->UpdateListView;
        settings_.UpdateCutOff = 0;
        break;
    case CreatePageIndex:
        list = pages_.create->ZipListView;
        settings_.CreateCutOff = 0;
        break;
    case BatchPageIndex: list = pages_.batch->BatchListView; break;
    default: break;
    }
    if (list) {
        list->setEnabled(true);
        list->setFocus();
    }
}

void TPageSwitcher::MoveZipfileToUpdate()
{
    TUnzipPage* unzip = pages_.unzip;
    Platform::BusyCursor busy;
    host_.zipEngine().SetZipFileName(state_.CurrentArchive);  // reads the directory at once
    if (unzip->FilteredViewShowing()) {
        unzip->UnzipFilteredListviewClear();
        unzip->ShowFullList();
    }
    pages_.update->MoveZipfileToUpdate(state_.CurrentArchive, *unzip->UnzipListModel,
                                       int32_t(qMin<int64_t>(unzip->UnzipListTotal, INT32_MAX)));
    host_.EnableAll();
    pages_.update->SetZipButtonsEnabled(true);
    unzip->ClearUnzipListView();
    host_.MoveDropTarget(pages_.update->UpdateListView);
    settings_.UpdateCutOff = 0;
}

void TPageSwitcher::ClearCreatePage()
{
    pages_.create->ClearList();
    pages_.create->ZipButton->setEnabled(false);
    pages_.create->ZipResetButton->setEnabled(false);
}
