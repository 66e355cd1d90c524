#include "viewers/TImageBrowse.h"

#include "platform/MainHost.h"
#include "platform/Platform.h"
#include "platform/Prompter.h"
#include "viewers/TImageBrowserForm.h"
#include "viewers/TThumbProgressForm.h"

#include <QProgressBar>
#include <QTimer>

TImageBrowse::TImageBrowse(TMainHost& host, TImageLoader& loader, QTimer* timer, QWidget* window)
    : host_(host), loader_(loader), timer_(timer), window_(window)
{
    if (timer_)
        connect(timer_, &QTimer::timeout, this, &TImageBrowse::TimerTimer);
}

TImageBrowse::~TImageBrowse()
{
    Stop();
    Release();
}

TImageBrowserForm* TImageBrowse::Begin(const QString& imageFolder, int size, bool fitLarge)
{
    Stop();
    Release();
    browser_ = std::make_unique<TImageBrowserForm>(host_, loader_, fitLarge, imageFolder, window_);
    browser_->Thumbs.Size = size;
    return browser_.get();
}

void TImageBrowse::Release()
{
    closeProgress();
    browser_.reset();  // its clean-up empties the image folder
    busy_.reset();
}

void TImageBrowse::startThread()
{
    State.ThumbStop = false;
    State.ThumbsDone = false;
    State.Progress = 0;
    State.Total = int(browser_->Thumbs.ThumbList.size());
    thread_ = std::make_unique<TThumbThread>(browser_->Thumbs, State, Lanes);
    thread_->start();
}

void TImageBrowse::CreateLVThumbnails()
{
    if (!browser_)
        return;
    if (!busy_)
        busy_ = std::make_unique<Platform::BusyCursor>();
    closeProgress();
    progress_ = new TThumbProgressForm(State, window_);
    progress_->setAttribute(Qt::WA_DeleteOnClose);
    progress_->show();
    progress_->raise();
    startThread();
    if (timer_)
        timer_->start();
}

void TImageBrowse::closeProgress()
{
    if (progress_)
        progress_->close();
    progress_ = nullptr;
}

void TImageBrowse::Stop()
{
    if (!thread_)
        return;
    State.ThumbStop = true;
    thread_->wait();
    thread_.reset();
    if (timer_)
        timer_->stop();
}

int TImageBrowse::BuildNow()
{
    if (!browser_)
        return 0;
    startThread();
    thread_->wait();
    thread_.reset();
    return browser_->AddThumbnailItems();
}

void TImageBrowse::TimerTimer()
{
    if (!thread_ || !State.ThumbsDone.load(std::memory_order_acquire))
        return;
    // 1
    if (timer_)
        timer_->stop();
    thread_->wait();  // it has finished: its last act was ThumbsDone
    thread_.reset();
    // 2
    int items = 0;
    if (!browser_->Thumbs.ThumbList.isEmpty()) {
        QProgressBar* bar = progress_ ? progress_->ProgressBar1 : nullptr;
        if (bar) {
            bar->setRange(0, int(browser_->Thumbs.ThumbList.size()));
            bar->setValue(0);
        }
        items = browser_->AddThumbnailItems([bar] {
            if (bar)
                bar->setValue(bar->value() + 1);
        });
    }
    // 3
    closeProgress();
    busy_.reset();
    // 4
    if (items > 0) {
        const int result = host_.prompter().runDialog(*browser_);
        Release();
        if (Finished)
            Finished(result);
        return;
    }
    // 5
    host_.prompter().information(QStringLiteral(
        "THIS FILE CONTAINED NO RECOGNIZED GRAPHICS FILES OR THE FILES CONTAINED ERRORS AND CANNOT BE DISPLAYED."));
    Release();
    if (Finished)
        Finished(0);
}
