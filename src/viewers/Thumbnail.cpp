#include "viewers/Thumbnail.h"

#include <QPainter>

QRect ThumbnailPlacement(int W, int H, int S)
{
    if (W == H)
        return QRect(0, 0, S, S);
    if (W < H) {
        const int w = qMax(1, int(int64_t(W) * S / H));
        return QRect((S - w) / 2, 0, w, S);
    }
    const int h = qMax(1, int(int64_t(H) * S / W));
    return QRect(0, (S - h) / 2, S, h);
}

bool CanvasShowsSomething(const QImage& canvas)
{
    for (int y = 0; y < canvas.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(canvas.constScanLine(y));
        for (int x = 0; x < canvas.width(); ++x)
            if (line[x] & 0x00FFFFFFu)
                return true;
    }
    return false;
}

QImage MakeThumbnail(const QImage& picture, int S)
{
    if (picture.isNull() || S <= 0)
        return QImage();
    const QRect place = ThumbnailPlacement(picture.width(), picture.height(), S);
    for (int attempt = 0; attempt < 3; ++attempt) {
        QImage canvas(S, S, QImage::Format_RGB32);
        if (canvas.isNull())
            return QImage();  // drawing failed: no more attempts
        canvas.fill(Qt::black);
        const QImage scaled = picture.scaled(place.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (scaled.isNull())
            return QImage();
        {
            QPainter p(&canvas);
            p.drawImage(place.topLeft(), scaled);
        }
        if (CanvasShowsSomething(canvas))
            return canvas;
    }
    return QImage();
}
