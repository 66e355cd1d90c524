#pragma once
// Picture files for the decoding and thumbnail tests, written by the tests:
// ordinary pictures through Qt's writers, and the awkward ones by hand (a GIF,
// an XPM with two characters per pixel, a PSD that crashes DevIL, a PNG cut
// short).

#include "TestTools.h"

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>
#include <QtEndian>

namespace pictures {

// A W x H picture of `color`, saved in the format its ending names.
inline QString solid(const QString& path, int w, int h, QColor color)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(color);
    if (!img.save(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A picture whose four quadrants are red, green, blue and white (top-left,
// top-right, bottom-left, bottom-right): orientation and colour order show.
inline QImage quadrants(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool right = x >= w / 2, bottom = y >= h / 2;
            img.setPixel(x, y, !bottom ? (right ? qRgb(0, 255, 0) : qRgb(255, 0, 0))
                                       : (right ? qRgb(255, 255, 255) : qRgb(0, 0, 255)));
        }
    return img;
}

inline QString quadrantFile(const QString& path, int w, int h)
{
    if (!quadrants(w, h).save(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A 2 x 2 GIF87a: red, green / blue, white.
inline QString gif(const QString& path)
{
    const unsigned char bytes[] = {
        'G', 'I', 'F', '8', '7', 'a', 2, 0, 2, 0, 0x81, 0, 0,  // screen 2x2, global table of 4
        0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF,  // red, green, blue, white
        0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0,                       // image 2x2
        2, 3, 0x44, 0x34, 0x05, 0, 0x3B};                      // LZW: 0,1,2,3
    testtools::writeFile(path, QByteArray(reinterpret_cast<const char*>(bytes), sizeof bytes));
    return path;
}

// An XPM of w x h with two characters per pixel (the kind DevIL 1.7.8 dies on).
inline QString xpm2(const QString& path, int w, int h)
{
    QByteArray t = "/* XPM */\nstatic char * two_xpm[] = {\n";
    t += QByteArray("\"") + QByteArray::number(w) + " " + QByteArray::number(h) + " 3 2\",\n";
    t += "\"  \tc None\",\n\". \tc #FF0000\",\n\"+ \tc #0000FF\",\n";
    for (int y = 0; y < h; ++y) {
        QByteArray row = "\"";
        for (int x = 0; x < w; ++x)
            row += (y < h / 2) ? ". " : "+ ";
        t += row + (y + 1 < h ? "\",\n" : "\"};\n");
    }
    testtools::writeFile(path, t);
    return path;
}

inline void be16(QByteArray& b, quint16 v) { b.append(char(v >> 8)).append(char(v & 0xFF)); }
inline void be32(QByteArray& b, quint32 v) { be16(b, quint16(v >> 16)); be16(b, quint16(v & 0xFFFF)); }

// A 16 x 8 RGB Photoshop file. With `crash`, its one image resource claims
// 0x00FF0010 bytes, past which DevIL 1.7.8 reads far beyond its buffer; the
// helper refuses it.
inline QString psd(const QString& path, bool crash)
{
    QByteArray b = "8BPS";
    be16(b, 1);
    b.append(6, '\0');
    be16(b, 3);   // channels
    be32(b, 8);   // height
    be32(b, 16);  // width
    be16(b, 8);   // depth
    be16(b, 3);   // RGB
    be32(b, 0);   // colour mode data
    QByteArray res = "8BIM";
    be16(res, 0x03ED);
    be16(res, 0);
    be32(res, crash ? 0x00FF0010u : 16u);
    res.append(16, '\0');
    be32(b, quint32(res.size()));
    b += res;
    be32(b, 0);  // layers
    be16(b, 0);  // raw
    for (int i = 0; i < 16 * 8 * 3; ++i)
        b.append(char(i * 7));
    testtools::writeFile(path, b);
    return path;
}

// A PNG cut off half-way through its pixel data.
inline QString truncatedPng(const QString& path)
{
    QByteArray data;
    QBuffer buf(&data);
    buf.open(QIODevice::WriteOnly);
    quadrants(200, 200).save(&buf, "PNG");
    testtools::writeFile(path, data.left(data.size() / 2));
    return path;
}

} // namespace pictures
