// Thumbnail speed against ImageMagick, on 500 photos of 1600 x 1200.
//
//   bench_thumbnails [WORK_FOLDER] [RUNS]   (default /tmp/quarn-bench-thumbs, 2 runs)
//
// Makes the photos once (half JPEG, half PNG: smooth gradients and shapes, as
// photos compress) and a stored zip of them with Info-ZIP. Then, RUNS times,
// taking turns, keeping each tool's best wall time (the machine is shared):
//   - quarn: the zip's entries extracted with `quarn-cli extract`, then the
//     64 x 64 thumbnails of all of them built by the thumbnail thread (one
//     decoding lane per core), as the image browser does;
//   - ImageMagick: `convert FILE -thumbnail 64x64 OUT.png` over the same
//     extracted files, on all cores through `xargs -P`.
// Prints wall and CPU seconds and the ratio of each quarn step (and of the
// two together) to ImageMagick.

#include "BenchTools.h"

#include "viewers/TThumbThread.h"

#include <QDir>
#include <QGuiApplication>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QStandardPaths>
#include <QThread>

using namespace bench;

namespace {

constexpr int Photos = 500;

QImage photo(int i)
{
    Rng r(uint64_t(i) + 1);
    QImage img(1600, 1200, QImage::Format_RGB32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    auto colour = [&r] { return QColor(int(r.below(256)), int(r.below(256)), int(r.below(256))); };
    QLinearGradient sky(0, 0, 0, 1200);
    sky.setColorAt(0, colour());
    sky.setColorAt(1, colour());
    p.fillRect(img.rect(), sky);
    for (int k = 0; k < 40; ++k) {
        const QPointF c(r.below(1600), r.below(1200));
        const qreal radius = 20 + r.below(300);
        QRadialGradient g(c, radius);
        g.setColorAt(0, colour());
        g.setColorAt(1, colour());
        p.setBrush(g);
        p.setPen(Qt::NoPen);
        p.drawEllipse(c, radius, radius * (0.5 + r.below(100) / 100.0));
    }
    p.end();
    // A little grain, as a camera leaves.
    for (int y = 0; y < img.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); x += 3) {
            const int d = int(r.below(9)) - 4;
            const QRgb c = line[x];
            line[x] = qRgb(qBound(0, qRed(c) + d, 255), qBound(0, qGreen(c) + d, 255), qBound(0, qBlue(c) + d, 255));
        }
    }
    return img;
}

void makePhotos(const QString& folder)
{
    if (QFileInfo::exists(folder + "/.complete"))
        return;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    printf("making %d photos in %s ...\n", Photos, qPrintable(folder));
    fflush(stdout);
    for (int i = 0; i < Photos; ++i) {
        const bool png = i % 2 == 1;
        QImageWriter w(QString("%1/photo%2.%3").arg(folder).arg(i, 3, 10, QLatin1Char('0')).arg(png ? "png" : "jpg"));
        w.setQuality(png ? 50 : 88);
        if (!w.write(photo(i))) {
            fprintf(stderr, "cannot write photo %d: %s\n", i, qPrintable(w.errorString()));
            exit(1);
        }
    }
    put(folder + "/.complete", "");
}

QStringList picturesIn(const QString& folder)
{
    QStringList out;
    for (const QString& n : QDir(folder).entryList({"*.jpg", "*.png"}, QDir::Files, QDir::Name))
        out << folder + "/" + n;
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("/tmp/quarn-bench-thumbs");
    const int runs = argc > 2 ? qMax(1, atoi(argv[2])) : 2;
    const QString cli = QStringLiteral(QUARN_BIN_DIR "/quarn-cli");
    QString convert = QStringLiteral("/usr/bin/convert");
    if (!QFileInfo(convert).isExecutable())
        convert = QStandardPaths::findExecutable("convert");
    if (convert.isEmpty() || QStandardPaths::findExecutable("zip").isEmpty()) {
        fprintf(stderr, "ImageMagick's convert and Info-ZIP's zip are needed (scripts/setup.sh installs them)\n");
        return 1;
    }
    const int cores = qMax(1, QThread::idealThreadCount());

    const QString photos = work + "/photos";
    makePhotos(photos);
    const QString zip = work + "/photos.zip";
    if (!QFileInfo::exists(zip) && !sh("cd " + q(work) + " && zip -q -0 -r photos.zip photos -x 'photos/.complete'"))
        return 1;
    const qint64 bytes = QFileInfo(zip).size();
    printf("%d photos of 1600 x 1200, %.1f MB stored; %d cores, %d runs\n", Photos, double(bytes) / 1e6, cores, runs);

    const QString extracted = work + "/extracted";
    const QString magickOut = work + "/magick";
    Cost bestExtract, bestThumbs, bestMagick;
    bool first = true;
    int made = 0;
    for (int run = 0; run < runs; ++run) {
        QDir(extracted).removeRecursively();
        const Cost extract = measure([&] { return sh(q(cli) + " extract " + q(zip) + " -d " + q(extracted)); });

        TThumbnailSet set;
        set.Size = 64;
        set.ThumbList = picturesIn(extracted + "/photos");
        if (set.ThumbList.size() != Photos) {
            fprintf(stderr, "the extraction gave %d photos\n", int(set.ThumbList.size()));
            return 1;
        }
        TThumbState state;
        const Cost thumbs = measure([&] {
            TThumbThread thread(set, state, cores);
            thread.start();
            thread.wait();
            return state.ThumbsDone.load();
        });
        made = int(set.Images.size());

        QDir(magickOut).removeRecursively();
        QDir().mkpath(magickOut);
        const Cost magick = measure([&] {
            return sh("cd " + q(extracted + "/photos") + " && ls | grep -E '\\.(jpg|png)$' | xargs -P " +
                      QString::number(cores) + " -I{} " + q(convert) + " {} -thumbnail 64x64 " + q(magickOut) +
                      "/{}.png");
        });
        if (first || extract.wall < bestExtract.wall)
            bestExtract = extract;
        if (first || thumbs.wall < bestThumbs.wall)
            bestThumbs = thumbs;
        if (first || magick.wall < bestMagick.wall)
            bestMagick = magick;
        first = false;
    }
    if (made != Photos) {
        fprintf(stderr, "only %d of %d photos got a thumbnail\n", made, Photos);
        return 1;
    }
    const int magickMade = int(QDir(magickOut).entryList(QDir::Files).size());
    printf("thumbnails: quarn %d, ImageMagick %d\n", made, magickMade);
    row("thumbnails", "ImageMagick", bestMagick, nullptr, bytes);
    row("thumbnails", "quarn", bestThumbs, &bestMagick, bytes);
    row("extract", "quarn-cli", bestExtract, &bestMagick, bytes);
    const Cost total{bestExtract.wall + bestThumbs.wall, bestExtract.cpu + bestThumbs.cpu};
    row("extract + thumbnails", "quarn", total, &bestMagick, bytes);
    return 0;
}
