#pragma once
// The thumbnail builder: a worker thread that turns every line of ThumbList
// (full paths of extracted pictures) into a thumbnail. It never touches a
// widget: it writes ThumbList, the thumbnail images and the counters below,
// and sets ThumbsDone as its last act; the window polls.
//
// Pictures are decoded on several lanes at once (one helper process each, one
// lane per core), but the results are taken in list order, so ThumbList ends
// as a one-at-a-time build would leave it: one line per picture that got a
// thumbnail, "path*index", in the original order; "Stop" ends the build after
// the file in hand and drops the lines from there on.

#include <QImage>
#include <QList>
#include <QStringList>
#include <QThread>
#include <atomic>

// The build's results, owned by the image browser.
struct TThumbnailSet {
    QStringList ThumbList;
    QList<QImage> Images;  // each Size x Size
    int Size = 64;
};

// What the window and the thread share while a build runs.
struct TThumbState {
    std::atomic<bool> ThumbStop{false};   // set by "Stop", and by the thread when it ends
    std::atomic<bool> ThumbsDone{false};  // set by the thread after everything else
    std::atomic<int> Total{0};            // lines to handle
    std::atomic<int> Progress{0};         // lines handled so far
};

class TThumbThread : public QThread {
public:
    // `lanes` decoding lanes (0: one per core); `helper` the decoder program
    // (empty: quarn-imagedecode beside the program).
    TThumbThread(TThumbnailSet& set, TThumbState& state, int lanes = 0, QString helper = QString());

    // Splits a finished ThumbList line "path*index" into its parts; false for
    // a plain path.
    static bool SplitLine(const QString& line, QString& path, int& index);

protected:
    void run() override;

private:
    TThumbnailSet& set_;
    TThumbState& state_;
    int lanes_;
    QString helper_;
};
