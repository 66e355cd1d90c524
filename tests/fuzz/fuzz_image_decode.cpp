// Fuzz target: the image decoding helper's decoder. The first byte picks the
// ending the file gets, among those the image loader hands to the helper (all
// picture endings but GIF and XPM, which Qt reads; DevIL chooses its reader
// by the ending); the rest is the file. A decoded
// picture must be within the size the answer allows, with every pixel there
// and opaque. DevIL's allocations sit on guard pages, so that a write past
// one of its buffers stops the run at the input that did it.
#include "FuzzScratch.h"
#include "GuardPages.h"
#include "imagedecode/ImageDecoder.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::array<const char*, 24> endings{
        ".bmp", ".jpeg", ".jpe", ".jpg", ".pcx", ".png", ".pbm", ".pgm", ".ppm", ".psd", ".raw", ".sgi",
        ".bw",  ".rgb",  ".rgba", ".tga", ".tif", ".tiff", ".lbm", ".pcd", ".pix", ".pic", ".pnm", ".pxr"};
    static ImageDecoder decoder;
    static const bool guarded = (guardpages::Install(), true);
    (void)guarded;
    if (size < 1)
        return 0;
    const FuzzScratch scratch;
    const QString path =
        scratch.write(QStringLiteral("a") + QLatin1String(endings[data[0] % endings.size()]), data + 1, size - 1);
    if (path.isEmpty())
        return 0;
    const DecodedImage d = decoder.Decode(QFile::encodeName(path).toStdString());
    if (d.status == ImageDecodeProtocol::StatusOk) {
        FUZZ_CHECK(ImageDecodeProtocol::SizeAllowed(d.width, d.height) && d.pixels);
        const size_t count = size_t(d.width) * size_t(d.height);
        for (size_t i = 0; i < count; ++i)
            FUZZ_CHECK(d.pixels[i * 4 + 3] == 0xFF);
    } else if (d.status == ImageDecodeProtocol::StatusTooLarge) {
        FUZZ_CHECK(!ImageDecodeProtocol::SizeAllowed(d.width, d.height));
    } else {
        FUZZ_CHECK(d.status == ImageDecodeProtocol::StatusLoadFailed
                   || d.status == ImageDecodeProtocol::StatusConvertFailed);
    }
    return 0;
}
