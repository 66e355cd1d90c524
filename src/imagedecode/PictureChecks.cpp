#include "imagedecode/PictureChecks.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fstream>

namespace {

// The first bytes of a file, and its size.
struct Head {
    char bytes[4096];
    size_t got = 0;
    int64_t size = -1;
};

Head readHead(const std::string& path)
{
    Head h;
    std::ifstream in(path, std::ios::binary);
    in.read(h.bytes, sizeof h.bytes);
    h.got = size_t(in.gcount());
    in.clear();
    in.seekg(0, std::ios::end);
    h.size = int64_t(in.tellg());
    return h;
}

std::string lowerEnding(const std::string& path)
{
    const size_t dot = path.find_last_of("./");
    if (dot == std::string::npos || path[dot] != '.')
        return {};
    std::string ending = path.substr(dot);
    for (char& c : ending)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ending;
}

// The separators of a PNM header as DevIL reads one: no carriage returns.
bool pnmSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n';
}

// Whether DevIL reads a file as PNM: by its ending, or by its first bytes.
bool readAsPnm(const std::string& ending, const char* head, size_t got)
{
    if (ending == ".pbm" || ending == ".pgm" || ending == ".ppm" || ending == ".pnm")
        return true;
    return got >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6';
}

// Whether `path` is a picture DevIL reads as PNM that it must not see: one
// whose header (P1 to P6, the sizes and, but for a bitmap, the largest value,
// with whole comment lines between) does not parse, or whose pixels stop before the end
// the header gives (in the text kinds, one character a value at least).
// DevIL goes round for ever on some such headers, frees its buffer twice on
// such pixels and allocates what the header says before it reads.
bool badPnm(const std::string& ending, const Head& h)
{
    const char* head = h.bytes;
    const size_t got = h.got;
    if (!readAsPnm(ending, head, got))
        return false;
    if (got < 2 || head[0] != 'P' || head[1] < '1' || head[1] > '6')
        return true;
    const int kind = head[1] - '0';
    const bool bitmap = kind == 1 || kind == 4;
    size_t at = 2;
    // The header's numbers: width, height and (but for a bitmap) the largest value.
    unsigned long long number[3] = {0, 0, 0};
    for (int n = 0; n < (bitmap ? 2 : 3); ++n) {
        // White space before each number, comments running to the line's end.
        const size_t start = at;
        // A comment starts a line.
        while (at < got && ((head[at] == '#' && head[at - 1] == '\n') || pnmSpace(head[at]))) {
            if (head[at] == '#')
                while (at < got && head[at] != '\n' && head[at] != '\r')
                    ++at;
            else
                ++at;
        }
        if (at == start || at >= got || !std::isdigit(static_cast<unsigned char>(head[at])))
            return true;
        for (; at < got && std::isdigit(static_cast<unsigned char>(head[at])); ++at)
            number[n] = std::min(number[n] * 10 + unsigned(head[at] - '0'), 1ull << 32);
    }
    // One white-space character ends the header.
    if (at >= got || !pnmSpace(head[at]) || number[0] == 0 || number[1] == 0
        || (!bitmap && (number[2] == 0 || number[2] > 65535)))
        return true;
    ++at;
    if (h.size < 0)
        return true;
    const unsigned __int128 width = number[0], height = number[1];
    const unsigned __int128 channels = kind == 3 || kind == 6 ? 3 : 1, sample = number[2] > 255 ? 2 : 1;
    const unsigned __int128 values = width * height * channels;
    const unsigned __int128 raster = kind == 4 ? (width + 7) / 8 * height : kind > 4 ? values * sample : values;
    return static_cast<unsigned __int128>(h.size) < at + raster;
}

// Whether a file DevIL reads as TGA (by its ending, or, with the one picture
// ending DevIL does not know, by a header that looks like one) is not one or
// holds less than its header says: a colour map flag other than 0 and 1, a
// colour map of more than the 256 colours an 8-bit index reaches, a pixel
// size its kind has not, or fewer bytes than its pixels need (a run-length
// packet, one byte and one pixel, stands for 128 pixels at the most). DevIL
// takes such headers as they come, allocates from them before it reads, and
// then decodes a tiny file for minutes or follows a pointer it never got.
bool badTga(const std::string& ending, const Head& h)
{
    if ((ending != ".tga" && ending != ".raw") || h.got < 18)
        return false;
    const auto* b = reinterpret_cast<const unsigned char*>(h.bytes);
    auto le16 = [b](int at) { return int64_t(b[at] | b[at + 1] << 8); };
    const int64_t idLength = b[0], mapType = b[1], type = b[2], mapStart = le16(3), mapLength = le16(5),
                  mapBits = b[7], width = le16(12), height = le16(14), bits = b[16];
    const bool mapped = type == 1 || type == 9, grey = type == 3 || type == 11, colour = type == 2 || type == 10;
    if (!mapped && !grey && !colour)
        return false; // not a kind DevIL reads: it refuses the file itself
    if (ending == ".raw" && mapType > 1)
        return false; // nor does it take this for a TGA
    if (mapType > 1 || (mapped && (mapType != 1 || mapLength < 1 || mapStart + mapLength > 256)))
        return true;
    if (mapType == 1 && mapBits != 15 && mapBits != 16 && mapBits != 24 && mapBits != 32)
        return true;
    const bool bitsFit = mapped ? bits == 8
                         : grey ? bits == 8 || bits == 16
                                : bits == 15 || bits == 16 || bits == 24 || bits == 32;
    if (!bitsFit)
        return true;
    const int64_t pixelBytes = (bits + 7) / 8, pixels = width * height;
    const int64_t data = 18 + idLength + (mapType == 1 ? mapLength * ((mapBits + 7) / 8) : 0);
    const int64_t need = type >= 9 ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
    return h.size < data + need;
}

// Whether a file DevIL reads as PCX (by its ending, or, with the ending it
// does not know, by its first byte) is shorter than the 128-byte header, has
// a window that ends before it starts, or holds fewer bytes than its lines
// need (a run, two bytes, stands for 63 at the most). DevIL reads past the
// end of such a header and sizes its buffers from the window.
bool badPcx(const std::string& ending, const Head& h)
{
    const auto* b = reinterpret_cast<const unsigned char*>(h.bytes);
    if (ending != ".pcx" && !(ending == ".raw" && h.got > 0 && b[0] == 0x0A))
        return false;
    if (h.got < 128)
        return true;
    auto le16 = [b](int at) { return int64_t(b[at] | b[at + 1] << 8); };
    const int64_t xMin = le16(4), yMin = le16(6), xMax = le16(8), yMax = le16(10), bits = b[3], planes = b[65],
                  lineBytes = le16(66);
    if (xMax < xMin || yMax < yMin || planes == 0 || lineBytes == 0 || bits == 0)
        return true;
    const int64_t width = xMax - xMin + 1, height = yMax - yMin + 1;
    const int64_t line = std::max(planes * lineBytes, (width * bits * planes + 7) / 8);
    return h.size < 128 + (line * height + 62) / 63 * 2;
}

} // namespace

bool FailsDevil(const std::string& path)
{
    const std::string ending = lowerEnding(path);
    const Head h = readHead(path);
    return badPnm(ending, h) || badTga(ending, h) || badPcx(ending, h);
}
