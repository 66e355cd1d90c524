#include "viewers/ImageExtensions.h"

#include <QFileInfo>
#include <array>

bool IsImageExtension(const QString& ext)
{
    static const std::array<QLatin1String, 26> table{
        QLatin1String(".bmp"), QLatin1String(".gif"), QLatin1String(".jpeg"), QLatin1String(".jpe"),
        QLatin1String(".jpg"), QLatin1String(".pcx"), QLatin1String(".png"), QLatin1String(".pbm"),
        QLatin1String(".pgm"), QLatin1String(".ppm"), QLatin1String(".psd"), QLatin1String(".raw"),
        QLatin1String(".sgi"), QLatin1String(".bw"),  QLatin1String(".rgb"), QLatin1String(".rgba"),
        QLatin1String(".tga"), QLatin1String(".tif"), QLatin1String(".tiff"), QLatin1String(".lbm"),
        QLatin1String(".pcd"), QLatin1String(".pix"), QLatin1String(".pic"), QLatin1String(".pnm"),
        QLatin1String(".pxr"), QLatin1String(".xpm")};
    for (const QLatin1String& e : table)
        if (ext == e)
            return true;
    return false;
}

QString LowerExtension(const QString& name)
{
    const QString file = QFileInfo(name).fileName();
    const qsizetype dot = file.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : file.mid(dot).toLower();
}

bool IsImageFileName(const QString& name)
{
    return IsImageExtension(LowerExtension(name));
}
