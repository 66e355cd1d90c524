#pragma once
// The decoding half of quarn-imagedecode: one picture file in, its pixels out
// in the form the answer carries (see ImageDecodeProtocol.h). DevIL keeps its
// state in process-wide globals, so a process holds one decoder at a time.

#include "imagedecode/ImageDecodeProtocol.h"

#include <cstdint>
#include <string>

struct DecodedImage {
    int32_t status = ImageDecodeProtocol::StatusOk;
    uint32_t error = 0;  // DevIL's error code where the status is a failure
    int32_t width = 0;
    int32_t height = 0;
    // For StatusOk: width * height pixels of 4 bytes (blue, green, red, 255),
    // rows top to bottom, owned by the decoder until its next Decode.
    const unsigned char* pixels = nullptr;
};

class ImageDecoder {
public:
    ImageDecoder();
    ~ImageDecoder();
    ImageDecoder(const ImageDecoder&) = delete;
    ImageDecoder& operator=(const ImageDecoder&) = delete;

    DecodedImage Decode(const std::string& path);

    // The largest allocation DevIL gets: twice the pixels a picture may have
    // (a source of 16-bit RGBA converting to the largest answer).
    static constexpr uint64_t MaxAllocation = 2 * ImageDecodeProtocol::MaxPixelBytes;

private:
    unsigned int image_ = 0;
};
