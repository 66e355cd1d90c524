#include "viewers/TThumbThread.h"

#include "viewers/ImageLoader.h"
#include "viewers/TImageDecoder.h"
#include "viewers/Thumbnail.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

TThumbThread::TThumbThread(TThumbnailSet& set, TThumbState& state, int lanes, QString helper)
    : set_(set), state_(state), lanes_(lanes > 0 ? lanes : qMax(1, QThread::idealThreadCount())),
      helper_(std::move(helper))
{
}

bool TThumbThread::SplitLine(const QString& line, QString& path, int& index)
{
    const qsizetype star = line.lastIndexOf(QLatin1Char('*'));
    if (star < 0)
        return false;
    bool ok = false;
    index = line.mid(star + 1).toInt(&ok);
    if (!ok)
        return false;
    path = line.left(star);
    return true;
}

namespace {

// The pictures handed out to the lanes and the thumbnails they hand back.
struct Work {
    QStringList paths;
    int size = 64;
    std::vector<QImage> thumbs;
    std::vector<char> ready;
    int next = 0;          // the next picture a lane takes
    bool quit = false;     // no lane takes another picture
    std::mutex lock;
    std::condition_variable changed;
};

void runLane(Work& work, const QString& helper)
{
    TImageDecoder decoder(helper);
    for (;;) {
        int i;
        {
            std::lock_guard<std::mutex> g(work.lock);
            if (work.quit || work.next >= work.paths.size())
                return;
            i = work.next++;
        }
        TDecodeResult decoded = DecodePicture(decoder, work.paths.at(i));
        QImage thumb;
        if (decoded.outcome == TDecodeResult::Decoded)
            thumb = MakeThumbnail(decoded.Image, work.size);
        {
            std::lock_guard<std::mutex> g(work.lock);
            work.thumbs[size_t(i)] = std::move(thumb);
            work.ready[size_t(i)] = 1;
        }
        work.changed.notify_all();
    }
}

} // namespace

void TThumbThread::run()
{
    QStringList& list = set_.ThumbList;
    const int count = int(list.size());
    state_.Progress = 0;
    state_.Total = count;
    set_.Images.reserve(set_.Images.size() + count);

    Work work;
    work.paths = list;
    work.size = set_.Size;
    work.thumbs.resize(size_t(count));
    work.ready.assign(size_t(count), 0);
    std::vector<std::unique_ptr<QThread>> lanes;
    const int laneCount = qMin(lanes_, count);
    for (int l = 0; l < laneCount; ++l) {
        lanes.emplace_back(QThread::create(runLane, std::ref(work), helper_));
        lanes.back()->start();
    }

    int position = 0;  // the line in hand; lines without a thumbnail are removed
    for (int i = 0; i < count; ++i) {
        if (state_.ThumbStop)
            break;
        QImage thumb;
        {
            std::unique_lock<std::mutex> g(work.lock);
            work.changed.wait(g, [&] { return work.ready[size_t(i)] != 0; });
            thumb = std::move(work.thumbs[size_t(i)]);
        }
        if (!thumb.isNull()) {
            set_.Images.append(thumb);
            list[position] = list[position] + QLatin1Char('*') + QString::number(set_.Images.size() - 1);
            ++position;
        } else {
            list.removeAt(position);
        }
        ++state_.Progress;
    }
    // Stopped early: the rest of the list goes.
    while (list.size() > position)
        list.removeLast();

    {
        std::lock_guard<std::mutex> g(work.lock);
        work.quit = true;
    }
    for (auto& lane : lanes)
        lane->wait();
    state_.ThumbStop = true;
    state_.ThumbsDone.store(true, std::memory_order_release);
}
