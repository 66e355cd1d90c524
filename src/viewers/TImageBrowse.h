#pragma once
// One browse of an archive's pictures, from the moment its pictures are
// extracted: the thumbnail thread with its progress window, the main
// window's 500-ms poll that notices the end, and the image browser shown
// modally with the thumbnails.

#include "viewers/TThumbProgressForm.h"
#include "viewers/TThumbThread.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QTimer;
class TImageBrowserForm;
class TImageLoader;
class TMainHost;
namespace Platform {
class BusyCursor;
}

class TImageBrowse : public QObject {
    Q_OBJECT
public:
    // `timer` is the main window's 500-ms Timer.
    TImageBrowse(TMainHost& host, TImageLoader& loader, QTimer* timer, QWidget* window);
    ~TImageBrowse() override;

    // Creates the browser for a new browse over `imageFolder`, with
    // thumbnails of `size`; the caller fills Browser->Thumbs.ThumbList.
    TImageBrowserForm* Begin(const QString& imageFolder, int size, bool fitLarge);
    // Releases the browser (emptying its image folder) and forgets the browse.
    void Release();
    TImageBrowserForm* Browser() const { return browser_.get(); }

    // Shows the progress window and starts the thread and the timer.
    void CreateLVThumbnails();
    // The timer's handler: once the thread is done, fills and shows the browser.
    void TimerTimer();
    // Runs the build to its end on this thread's behalf (no progress window,
    // no timer) and fills the browser; returns the number of items.
    int BuildNow();
    // A build is under way.
    bool Building() const { return thread_ != nullptr; }
    // Stops a running build and waits for its thread (the program is closing).
    void Stop();

    TThumbState State;
    TThumbProgressForm* ProgressForm() const { return progress_.data(); }
    // Decoding lanes of the thread (0: one per core).
    int Lanes = 0;
    // Called with the browser's result once it was shown and released.
    std::function<void(int result)> Finished;

private:
    void startThread();
    void closeProgress();
    TMainHost& host_;
    TImageLoader& loader_;
    QTimer* timer_;
    QWidget* window_;
    std::unique_ptr<TImageBrowserForm> browser_;
    std::unique_ptr<TThumbThread> thread_;
    QPointer<TThumbProgressForm> progress_;
    std::unique_ptr<Platform::BusyCursor> busy_;
};
