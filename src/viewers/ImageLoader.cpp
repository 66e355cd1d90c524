#include "viewers/ImageLoader.h"

#include "imagedecode/ImageDecodeProtocol.h"
#include "platform/Prompter.h"
#include "viewers/ImageExtensions.h"

#include <QFileInfo>
#include <QImageReader>
#include <limits>

using namespace ImageDecodeProtocol;

bool DecodedByQt(const QString& path)
{
    const QString ext = LowerExtension(path);
    // DevIL 1.7.8 crashes on valid XPM files with two characters per pixel.
    return ext == QLatin1String(".gif") || ext == QLatin1String(".xpm");
}

namespace {

TDecodeResult DecodeWithQt(const QString& path)
{
    TDecodeResult r;
    QImageReader reader(path, LowerExtension(path).mid(1).toLatin1());
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid() && !SizeAllowed(size.width(), size.height())) {
        r.Status = StatusTooLarge;
        r.Error = IlOutOfMemory;
        return r;
    }
    QImage image = reader.read();
    if (image.isNull() || !SizeAllowed(image.width(), image.height())) {
        r.Status = image.isNull() ? StatusLoadFailed : StatusTooLarge;
        r.Error = image.isNull() ? 0 : IlOutOfMemory;
        return r;
    }
    // As the DevIL path: the colours as stored, transparency dropped.
    if (image.hasAlphaChannel()) {
        image = image.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                line[x] |= 0xFF000000u;
        }
    }
    r.Image = image.convertToFormat(QImage::Format_RGB32);
    r.outcome = TDecodeResult::Decoded;
    return r;
}

} // namespace

TDecodeResult DecodePicture(TImageDecoder& decoder, const QString& path)
{
    if (DecodedByQt(path))
        return DecodeWithQt(path);
    return decoder.Decode(path);
}

QString DecodeFailureText(const TDecodeResult& result)
{
    if (result.outcome == TDecodeResult::Failed) {
        if (result.Status == StatusLoadFailed) {
            switch (result.Error) {
            case IlCouldNotOpenFile: return QStringLiteral("Error : Could not open file");
            case IlInvalidExtension: return QStringLiteral("Error : Illegal extension on load");
            case IlInvalidParam: return QStringLiteral("Error : Invalid filename");
            default: break;
            }
        } else if (result.Status == StatusConvertFailed) {
            if (result.Error == IlOutOfMemory)
                return QStringLiteral("Error : Out of memory");
            return QStringLiteral("Error on image conversion");
        } else if (result.Status == StatusTooLarge) {
            return QStringLiteral("Error : Out of memory");
        } else if (result.Status == StatusBadRequest) {
            return QStringLiteral("Error : Invalid filename");
        }
    }
    return QStringLiteral("Image Error");
}

TImageLoader::TImageLoader(Prompter* prompter, QString helper) : prompter_(prompter), decoder_(std::move(helper)) {}

bool TImageLoader::LoadImageFile(const QString& path)
{
    return load(path, true);
}

bool TImageLoader::LoadImageFileQuiet(const QString& path)
{
    return load(path, false);
}

bool TImageLoader::load(const QString& path, bool report)
{
    // 1
    ImageInfo = TImageInfo();
    const QFileInfo file(path);
    ImageInfo.FileName = file.fileName();
    // 2
    if (file.isFile()) {
        ImageInfo.FileTime = file.lastModified();
        ImageInfo.FileSize = int32_t(qMin<qint64>(file.size(), std::numeric_limits<int32_t>::max()));
    }
    // 3, 4
    TDecodeResult r = DecodePicture(decoder_, path);
    if (r.outcome != TDecodeResult::Decoded) {
        if (r.outcome == TDecodeResult::HelperMissing)
            qWarning("quarn: the image decoder %s could not be started", qPrintable(decoder_.HelperPath()));
        if (report && prompter_)
            prompter_->information(DecodeFailureText(r));
        return false;
    }
    DecodedBitmap = std::move(r.Image);
    ImageInfo.Height = DecodedBitmap.height();
    ImageInfo.Width = DecodedBitmap.width();
    // 5
    return ImageInfo.Height > 0 && ImageInfo.Width > 0;
}
