#include "imagedecode/ImageDecoder.h"
#include "imagedecode/PictureChecks.h"

#include <IL/il.h>
#include <IL/ilu.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace ImageDecodeProtocol;

namespace {

// DevIL stacks its errors; the first one is the cause, the rest are cleared
// so that they do not leak into the next request.
uint32_t firstError()
{
    const ILenum first = ilGetError();
    for (int i = 0; i < 64 && ilGetError() != IL_NO_ERROR; ++i) {
    }
    return uint32_t(first);
}

// The bytes one channel of `type` takes; 0 for a type DevIL does not name.
int64_t channelBytes(ILint type)
{
    switch (type) {
    case IL_BYTE:
    case IL_UNSIGNED_BYTE: return 1;
    case IL_SHORT:
    case IL_UNSIGNED_SHORT:
    case IL_HALF: return 2;
    case IL_INT:
    case IL_UNSIGNED_INT:
    case IL_FLOAT: return 4;
    case IL_DOUBLE: return 8;
    default: return 0;
    }
}

// The channels a pixel of `format` has; 0 for a format DevIL does not name.
int64_t formatChannels(ILint format)
{
    switch (format) {
    case IL_COLOUR_INDEX:
    case IL_LUMINANCE:
    case IL_ALPHA: return 1;
    case IL_LUMINANCE_ALPHA: return 2;
    case IL_RGB:
    case IL_BGR: return 3;
    case IL_RGBA:
    case IL_BGRA: return 4;
    default: return 0;
    }
}

// Whether DevIL's account of the bound image holds together: as many bytes
// a pixel as its format and type say, data for every pixel, and (for a
// picture of palette indices) a palette entry for every index. Some of its
// readers leave it otherwise (a 16-bit PGM comes out labelled 16-bit over
// 8-bit data), and converting such an image reads and writes past its buffers.
bool consistent()
{
    const int64_t width = ilGetInteger(IL_IMAGE_WIDTH), height = ilGetInteger(IL_IMAGE_HEIGHT),
                  depth = ilGetInteger(IL_IMAGE_DEPTH), bpp = ilGetInteger(IL_IMAGE_BPP),
                  bpc = ilGetInteger(IL_IMAGE_BPC), size = ilGetInteger(IL_IMAGE_SIZE_OF_DATA);
    const ILint format = ilGetInteger(IL_IMAGE_FORMAT);
    if (width <= 0 || height <= 0 || depth <= 0 || bpc != channelBytes(ilGetInteger(IL_IMAGE_TYPE))
        || bpp != formatChannels(format) * bpc)
        return false;
    // The pixels' bytes, never past `size` (which keeps the product in range).
    int64_t bytes = bpp;
    for (const int64_t factor : {width, height, depth}) {
        if (bytes > size / factor)
            return false;
        bytes *= factor;
    }
    const ILubyte* data = ilGetData();
    if (!data)
        return false;
    if (format != IL_COLOUR_INDEX)
        return true;
    const int64_t colours = ilGetInteger(IL_PALETTE_NUM_COLS);
    if (bpc != 1 || ilGetInteger(IL_PALETTE_TYPE) == IL_PAL_NONE || colours <= 0 || !ilGetPalette())
        return false;
    for (int64_t i = 0; i < bytes; ++i)
        if (data[i] >= colours)
            return false;
    return true;
}

// DevIL's allocations: one larger than MaxAllocation fails, as it would on a
// machine without the memory. DevIL's readers allocate what a header claims
// before they read, so a tiny file could otherwise take gigabytes. Most of
// them report a failed allocation; those that go on with the buffer they did
// not get never see such a header (PictureChecks refuses it first).
void* ILAPIENTRY cappedAlloc(const ILsizei size)
{
    if (size > ImageDecoder::MaxAllocation)
        return nullptr;
    // DevIL's own allocator aligns to 16 bytes for its vector code.
    return std::aligned_alloc(16, (size_t(size) + 15) / 16 * 16);
}

void ILAPIENTRY cappedFree(const void* CONST_RESTRICT block)
{
    std::free(const_cast<void*>(block));
}

DecodedImage failure(int32_t status, uint32_t error, int32_t width = 0, int32_t height = 0)
{
    DecodedImage d;
    d.status = status;
    d.error = error;
    d.width = width;
    d.height = height;
    return d;
}

} // namespace

ImageDecoder::ImageDecoder()
{
    ilSetMemory(cappedAlloc, cappedFree);
    ilInit();
    iluInit();
    // Without a read cache: with one, DevIL's readers read on past the end of
    // the file (the cache counts bytes it never got as read), so a tiny file
    // that claims a huge picture decodes for minutes, and a reader that fails
    // halfway leaves the cache in use for the next file.
    ilHint(IL_MEM_SPEED_HINT, IL_LESS_MEM);
    ilEnable(IL_ORIGIN_SET);
    ilOriginFunc(IL_ORIGIN_UPPER_LEFT);
    ILuint image = 0;
    ilGenImages(1, &image);
    image_ = image;
}

ImageDecoder::~ImageDecoder()
{
    ILuint image = image_;
    ilDeleteImages(1, &image);
    ilShutDown();
}

DecodedImage ImageDecoder::Decode(const std::string& path)
{
    // Each picture starts from a new image: DevIL's readers take what the
    // last one left (its palette, its frames, its origin) as their own.
    ILuint image = image_;
    ilDeleteImages(1, &image);
    ilGenImages(1, &image);
    image_ = image;
    ilBindImage(image_);
    firstError();
    if (FailsDevil(path))
        return failure(StatusLoadFailed, IL_FILE_READ_ERROR);
    if (!ilLoadImage(path.c_str())) {
        // Out of memory is the allocation cap's refusal: a picture too large.
        const uint32_t error = firstError();
        return failure(error == IL_OUT_OF_MEMORY ? StatusTooLarge : StatusLoadFailed, error);
    }
    if (!consistent())
        return failure(StatusLoadFailed, IL_ILLEGAL_FILE_VALUE);
    if (!ilConvertImage(IL_BGRA, IL_UNSIGNED_BYTE))
        return failure(StatusConvertFailed, firstError());
    const ILint width = ilGetInteger(IL_IMAGE_WIDTH);
    const ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
    if (!SizeAllowed(width, height))
        return failure(StatusTooLarge, IlOutOfMemory, width, height);
    unsigned char* data = ilGetData();
    if (!data)
        return failure(StatusConvertFailed, firstError());
    if (ilGetInteger(IL_IMAGE_FORMAT) != IL_BGRA || ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE
        || ilGetInteger(IL_IMAGE_BPP) != 4 || int64_t(ilGetInteger(IL_IMAGE_SIZE_OF_DATA)) < int64_t(width) * height * 4)
        return failure(StatusConvertFailed, IL_INVALID_CONVERSION);
    // Alpha is dropped, as a conversion to three bytes per pixel would: the
    // colours stand as stored.
    const size_t count = size_t(width) * size_t(height);
    for (size_t i = 0; i < count; ++i)
        data[i * 4 + 3] = 0xFF;
    DecodedImage d;
    d.width = width;
    d.height = height;
    d.pixels = data;
    return d;
}
