#pragma once
// Decoding picture files into bitmaps. GIF and XPM files go to Qt's image
// reader; every other picture type goes to DevIL, which runs only in the
// quarn-imagedecode helper (TImageDecoder).

#include "viewers/TImageDecoder.h"

#include <QDateTime>
#include <QImage>
#include <QString>
#include <cstdint>

class Prompter;

// What the last load learnt about its file.
struct TImageInfo {
    int32_t Height = -1;
    int32_t Width = -1;
    QDateTime FileTime;     // last write; invalid when the file was not found
    QString FileName;       // without its folder
    int32_t FileSize = 0;   // 0 when not found
};

// Decodes `path` through `decoder` or Qt's reader, by its ending.
TDecodeResult DecodePicture(TImageDecoder& decoder, const QString& path);
// Whether `path` goes to Qt's reader rather than DevIL.
bool DecodedByQt(const QString& path);

// The text a failed decode shows the user.
QString DecodeFailureText(const TDecodeResult& result);

class TImageLoader {
public:
    // `prompter` receives the failure texts of LoadImageFile.
    explicit TImageLoader(Prompter* prompter = nullptr, QString helper = QString());

    // Decode into DecodedBitmap and fill ImageInfo; true when the height and
    // width are known. Only LoadImageFile reports a failed decode.
    bool LoadImageFile(const QString& path);
    bool LoadImageFileQuiet(const QString& path);

    QImage DecodedBitmap;
    TImageInfo ImageInfo;

    // Ends the helper process.
    void Unload() { decoder_.Stop(); }
    TImageDecoder& decoder() { return decoder_; }

private:
    bool load(const QString& path, bool report);
    Prompter* prompter_;
    TImageDecoder decoder_;
};
