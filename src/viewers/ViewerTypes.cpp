#include "viewers/ViewerTypes.h"

#include <QSet>

namespace ViewerTypes {

bool IsImageFile(const QString& name)
{
    static const QSet<QString> endings{
        QStringLiteral(".bmp"), QStringLiteral(".gif"), QStringLiteral(".jpeg"), QStringLiteral(".jpe"),
        QStringLiteral(".jpg"), QStringLiteral(".pcx"), QStringLiteral(".png"), QStringLiteral(".pbm"),
        QStringLiteral(".pgm"), QStringLiteral(".ppm"), QStringLiteral(".psd"), QStringLiteral(".raw"),
        QStringLiteral(".sgi"), QStringLiteral(".bw"),  QStringLiteral(".rgb"), QStringLiteral(".rgba"),
        QStringLiteral(".tga"), QStringLiteral(".tif"), QStringLiteral(".tiff"), QStringLiteral(".lbm"),
        QStringLiteral(".pcd"), QStringLiteral(".pix"), QStringLiteral(".pic"), QStringLiteral(".pnm"),
        QStringLiteral(".pxr"), QStringLiteral(".xpm")};
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype sep = qMax(name.lastIndexOf(QLatin1Char('\\')), name.lastIndexOf(QLatin1Char('/')));
    if (dot < 0 || dot < sep)
        return false;
    return endings.contains(name.mid(dot).toLower());
}

} // namespace ViewerTypes
