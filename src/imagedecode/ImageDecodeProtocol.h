#pragma once
// The conversation between the program and quarn-imagedecode, the helper
// process that runs every DevIL call. Both ends include this header; it
// depends on nothing but the C++ library.
//
// Request (program -> helper, on the helper's standard input):
//     uint32 RequestMagic, uint32 path length (1..MaxPathBytes), the path bytes
//     (the file system's encoding, no terminating zero).
// Answer (helper -> program, on the helper's standard output):
//     uint32 AnswerMagic, int32 status, uint32 DevIL error code, int32 width,
//     int32 height; then, for StatusOk only, width * height pixels of 4 bytes
//     each, rows top to bottom, bytes blue, green, red, 255.
// All numbers are little-endian (the helper and the program run on one machine
// and are built together). End of input ends the helper.

#include <cstdint>

namespace ImageDecodeProtocol {

constexpr uint32_t RequestMagic = 0x51444951;  // "QIDQ"
constexpr uint32_t AnswerMagic = 0x41444951;   // "QIDA"
constexpr uint32_t MaxPathBytes = 65536;

// Pictures larger than this are refused before any pixel moves: a side of at
// most 65535 pixels and at most 512 MiB of pixels.
constexpr int32_t MaxSide = 65535;
constexpr uint64_t MaxPixelBytes = uint64_t(512) << 20;

enum Status : int32_t {
    StatusOk = 0,
    StatusLoadFailed = 1,     // ilLoadImage failed; the error code says why
    StatusConvertFailed = 2,  // ilConvertImage failed; the error code says why
    StatusTooLarge = 3,       // decoded, but beyond MaxSide / MaxPixelBytes
    StatusBadRequest = 4,     // the request itself was malformed
};

// DevIL's error codes the program turns into its own texts.
constexpr uint32_t IlInvalidParam = 0x0509;
constexpr uint32_t IlCouldNotOpenFile = 0x050A;
constexpr uint32_t IlInvalidExtension = 0x050B;
constexpr uint32_t IlOutOfMemory = 0x0502;
constexpr uint32_t IlInvalidConversion = 0x0510;

struct AnswerHeader {
    uint32_t magic;
    int32_t status;
    uint32_t error;
    int32_t width;
    int32_t height;
};
static_assert(sizeof(AnswerHeader) == 20, "the answer header is five 32-bit fields");

// Whether a picture of `width` x `height` may be handed over.
constexpr bool SizeAllowed(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= MaxSide && height <= MaxSide &&
           uint64_t(width) * uint64_t(height) * 4u <= MaxPixelBytes;
}

} // namespace ImageDecodeProtocol
