// Thumbnails: where a picture lands on its square, the all-black rule, and
// the thread that builds a whole list on several lanes yet in list order,
// dropping what cannot be decoded and stopping when asked.

#include "Pictures.h"
#include "TestTools.h"

#include "viewers/TThumbThread.h"
#include "viewers/Thumbnail.h"

#include <QTemporaryDir>
#include <QTest>

using namespace pictures;

namespace {

// The rows (or columns) of `img` that hold any colour.
QPair<int, int> coloredSpan(const QImage& img, bool rows)
{
    int first = -1, last = -1;
    const int n = rows ? img.height() : img.width();
    for (int i = 0; i < n; ++i) {
        bool any = false;
        for (int j = 0; j < (rows ? img.width() : img.height()) && !any; ++j)
            any = (img.pixel(rows ? j : i, rows ? i : j) & 0x00FFFFFFu) != 0;
        if (any) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    return {first, last};
}

} // namespace

class TestThumbnails : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.filePath(name); }

    // Runs a build of `files` on `lanes` lanes; returns the final ThumbList
    // with the folder stripped.
    QStringList build(TThumbnailSet& set, const QStringList& files, int lanes, bool stopFirst = false)
    {
        TThumbState state;
        set.ThumbList = files;
        state.ThumbStop = stopFirst;
        TThumbThread thread(set, state, lanes);
        thread.start();
        if (!thread.wait(120000))
            qFatal("the thumbnail thread did not end");
        if (!state.ThumbsDone || !state.ThumbStop)
            qFatal("the thread ends with ThumbStop and ThumbsDone set");
        QStringList out;
        for (QString l : set.ThumbList)
            out << l.remove(dir_.path() + "/");
        return out;
    }

private slots:
    void placement()
    {
        // 400 x 200 on 64: 64 x 32 at rows 16..47.
        QImage wide(400, 200, QImage::Format_RGB32);
        wide.fill(Qt::white);
        QImage t = MakeThumbnail(wide, 64);
        QCOMPARE(t.size(), QSize(64, 64));
        QCOMPARE(coloredSpan(t, true), qMakePair(16, 47));
        QCOMPARE(coloredSpan(t, false), qMakePair(0, 63));
        // 200 x 400: 32 x 64 at columns 16..47.
        QImage tall(200, 400, QImage::Format_RGB32);
        tall.fill(Qt::white);
        t = MakeThumbnail(tall, 64);
        QCOMPARE(coloredSpan(t, false), qMakePair(16, 47));
        QCOMPARE(coloredSpan(t, true), qMakePair(0, 63));
        // A square fills it.
        QImage square(50, 50, QImage::Format_RGB32);
        square.fill(QColor(10, 20, 30));
        t = MakeThumbnail(square, 128);
        QCOMPARE(t.size(), QSize(128, 128));
        QCOMPARE(t.pixel(0, 0), qRgb(10, 20, 30));
        QCOMPARE(t.pixel(127, 127), qRgb(10, 20, 30));
        // Odd margins halve toward zero: 3 x 1 on 16 is 16 x 5 at row 5.
        QCOMPARE(ThumbnailPlacement(3, 1, 16), QRect(0, 5, 16, 5));
        // A sliver keeps at least one pixel.
        QCOMPARE(ThumbnailPlacement(1, 1000, 64), QRect(31, 0, 1, 64));
        // All black: nothing.
        QImage black(30, 20, QImage::Format_RGB32);
        black.fill(Qt::black);
        QVERIFY(MakeThumbnail(black, 64).isNull());
        // One dark-blue pixel's worth of colour is something.
        black.fill(qRgb(0, 0, 1));
        QVERIFY(!MakeThumbnail(black, 64).isNull());
    }

    // A list with every kind of failure between good pictures: the good ones
    // keep their order and get consecutive images; the rest are dropped. One
    // lane and three lanes give the same result.
    void buildKeepsOrderAndDropsFailures()
    {
        const QStringList files{
            quadrantFile(path("1.png"), 300, 200),
            psd(path("2-crash.psd"), true),
            truncatedPng(path("3-cut.png")),
            solid(path("4-black.png"), 40, 40, Qt::black),
            quadrantFile(path("5.jpg"), 120, 240),
            (testtools::writeFile(path("6-text.bmp"), "not a bitmap"), path("6-text.bmp")),
            path("7-missing.png"),
            xpm2(path("8.xpm"), 6, 6),
            psd(path("9-crash.psd"), true),
            gif(path("10.gif")),
        };
        const QStringList want{"1.png*0", "5.jpg*1", "8.xpm*2", "10.gif*3"};
        for (int lanes : {1, 3}) {
            TThumbnailSet set;
            set.Size = 32;
            QCOMPARE(build(set, files, lanes), want);
            QCOMPARE(set.Images.size(), 4);
            for (const QImage& img : set.Images)
                QCOMPARE(img.size(), QSize(32, 32));
            // 1.png is 300 x 200: 32 x 21 at row 5, its top-left red.
            QCOMPARE(set.Images[0].pixel(0, 5), qRgb(255, 0, 0));
            QCOMPARE(set.Images[0].pixel(0, 4), qRgb(0, 0, 0));
        }
    }

    // "Stop" before the first picture: nothing is built, the list is empty.
    void stopAtOnce()
    {
        TThumbnailSet set;
        QCOMPARE(build(set, {quadrantFile(path("s1.png"), 10, 10), quadrantFile(path("s2.png"), 10, 10)}, 2, true),
                 QStringList());
        QVERIFY(set.Images.isEmpty());
    }

    void splitLine()
    {
        QString p;
        int i = -1;
        QVERIFY(TThumbThread::SplitLine("/a/b*c.png*12", p, i));
        QCOMPARE(p, QStringLiteral("/a/b*c.png"));
        QCOMPARE(i, 12);
        QVERIFY(!TThumbThread::SplitLine("/a/b.png", p, i));
    }
};

QTEST_MAIN(TestThumbnails)
#include "test_thumbnails.moc"
