#include "imagedecode/PictureChecks.h"
#include "imagedecode/ImageDecodeProtocol.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <string_view>
#include <vector>

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

// The whole file, read forward from some offset, for the checks that walk
// past its head. A read past the end fails.
class Walk {
public:
    Walk(const std::string& path, int64_t size, int64_t from) : in_(path, std::ios::binary), size_(size), at_(from)
    {
        in_.seekg(from);
    }
    int64_t left() const { return size_ - at_; }
    bool seek(int64_t at)
    {
        if (at < 0 || at > size_)
            return false;
        at_ = at;
        in_.seekg(at_);
        return bool(in_);
    }
    bool skip(uint64_t n)
    {
        if (n > uint64_t(left()))
            return false;
        at_ += int64_t(n);
        in_.seekg(at_);
        return bool(in_);
    }
    bool read(void* to, size_t n)
    {
        if (n > uint64_t(left()) || !in_.read(static_cast<char*>(to), std::streamsize(n)))
            return false;
        at_ += int64_t(n);
        return true;
    }
    // A big-endian number of `bytes` bytes; -1 past the end.
    int64_t be(int bytes)
    {
        unsigned char b[4];
        if (!read(b, size_t(bytes)))
            return -1;
        int64_t v = 0;
        for (int i = 0; i < bytes; ++i)
            v = v << 8 | b[i];
        return v;
    }

private:
    std::ifstream in_;
    int64_t size_;
    int64_t at_;
};

// The separators of a PNM header as DevIL reads one: spaces and line ends
// only. Any other character is skipped inside a number, joining it to the next.
bool pnmSpace(char c)
{
    return c == ' ' || c == '\n';
}

// Whether DevIL reads a file as PNM: by its ending, or by its first bytes.
bool readAsPnm(const std::string& ending, const char* head, size_t got)
{
    if (ending == ".pbm" || ending == ".pgm" || ending == ".ppm" || ending == ".pnm")
        return true;
    return got >= 2 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6';
}

// Whether the pixels of a text PNM, from `at` on, are lines DevIL reads
// within its buffer of `bytes` bytes: digits, spaces, tabs and carriage
// returns (or a comment, from a '#' at the line's start; DevIL ends a line
// at a zero byte too, so none may stand anywhere), some digit on
// every line that is not empty, at most 179 characters a line (DevIL reads a
// line at a time into 180 bytes, writes past them on a longer one and cuts its
// numbers apart), and no line that takes DevIL past the
// end of its buffer (it stores every value of a line it starts, `step` bytes
// apart, whatever is left). Fewer values are safe: DevIL fails.
bool pnmTextFits(const std::string& path, int64_t size, int64_t at, uint64_t bytes, uint64_t step)
{
    Walk in(path, size, at);
    char line[180];
    uint64_t stored = 0;
    while (stored < bytes && in.left() > 0) {
        size_t length = 0;
        for (;;) {
            char c;
            if (!in.read(&c, 1) || c == '\n')
                break;
            if (length == 179 || c == '\0')
                return false;
            line[length++] = c;
        }
        if (length == 0 || line[0] == '#')
            continue;
        bool digits = false, inNumber = false;
        for (size_t i = 0; i < length; ++i) {
            const char c = line[i];
            const bool digit = c >= '0' && c <= '9';
            if (!digit && c != ' ' && c != '\t' && c != '\r')
                return false;
            if (digit && !inNumber) {
                if (stored >= bytes)
                    return false;
                stored += step;
            }
            inNumber = digit;
            digits = digits || digit;
        }
        if (!digits)
            return false;
    }
    return true;
}

// Whether `path` is a picture DevIL reads as PNM that it must not see: one
// whose header (P1 to P6, the sizes and, but for a bitmap, the largest value,
// with whole comment lines between) does not parse, or whose pixels stop before the end
// the header gives (in the text kinds, one character a value at least).
// DevIL goes round for ever on some such headers, frees its buffer twice on
// such pixels and allocates what the header says before it reads.
bool badPnm(const std::string& ending, const std::string& path, const Head& h)
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
    if (static_cast<unsigned __int128>(h.size) < at + raster
        || !ImageDecodeProtocol::SizeAllowed(int64_t(number[0]), int64_t(number[1])))
        return true;
    // DevIL's buffer for the text kinds: its bytes a pixel double for
    // 16-bit values, on top of the two a grey one already takes then.
    const uint64_t pixelBytes = (kind == 3 ? 3 : kind == 2 && sample == 2 ? 2 : 1) * uint64_t(sample);
    return kind <= 3
           && !pnmTextFits(path, h.size, int64_t(at), uint64_t(width * height) * pixelBytes, uint64_t(sample));
}

// Whether the file starts with the signature of a kind DevIL tells by its
// first bytes before it tries TGA, among those these checks know.
bool checkedSignature(const Head& h)
{
    using namespace std::string_view_literals;
    static constexpr std::string_view signatures[] = {
        "BM"sv,     "8BPS"sv,   "\x89PNG"sv,           "\xFF\xD8"sv, "FORM"sv, "II*\0"sv, "MM\0*"sv, "\x01\xDA"sv,
        "\x0A"sv,   "P1"sv,     "P2"sv,                "P3"sv,       "P4"sv,   "P5"sv,   "P6"sv,   "\x53\x80\xF6\x34"sv};
    const std::string_view head(h.bytes, h.got);
    for (const std::string_view s : signatures)
        if (head.substr(0, s.size()) == s)
            return true;
    return false;
}

// Whether DevIL's header test takes the file for a TGA: a kind it reads, a
// size, a pixel size it knows and the reserved bit clear.
bool tgaHeader(const Head& h)
{
    const auto* b = reinterpret_cast<const unsigned char*>(h.bytes);
    if (h.got < 18)
        return false;
    const int type = b[2], bits = b[16];
    return (type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11) && (b[12] | b[13]) != 0
           && (b[14] | b[15]) != 0 && (bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32)
           && (b[17] & 0x10) == 0;
}

// Whether a file with the one picture ending DevIL does not know (which it
// then reads as whatever kind its first bytes say) is of a kind these checks
// do not know. DevIL tells some twenty kinds so, most of them never seen in
// an archive of pictures and read by code no check here looks after.
bool uncheckedRaw(const std::string& ending, const Head& h)
{
    return ending == ".raw" && !checkedSignature(h) && !tgaHeader(h);
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
    // Where the ending does not say, DevIL takes for a TGA what its header
    // test passes and no other kind's signature claims first.
    if (ending == ".raw" && (!tgaHeader(h) || checkedSignature(h)))
        return false;
    if (!ImageDecodeProtocol::SizeAllowed(width, height))
        return true;
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
// a window that ends before it starts or is larger than any answer, a kind
// DevIL does not read (it then goes on to fix up the image it did not make:
// one bit in one or four planes, or eight bits in one, three or four planes
// only), lines shorter than the window (DevIL reads past them), or fewer
// bytes than its lines need (a run, two bytes, stands for 63 at the most).
// DevIL reads past the end of such a header and sizes its buffers from the
// window.
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
    const bool readable = bits == 1 ? planes == 1 || planes == 4 : bits == 8 && (planes == 1 || planes == 3 || planes == 4);
    if (!readable || !ImageDecodeProtocol::SizeAllowed(width, height) || lineBytes * 8 < width * bits)
        return true;
    const int64_t line = std::max(planes * lineBytes, (width * bits * planes + 7) / 8);
    return h.size < 128 + (line * height + 62) / 63 * 2;
}

// Whether a file DevIL reads as Alias PIX (by its ending only) has runs that
// go past the pixels its header gives. DevIL writes each run whole, past the
// end of its buffer. A file that ends before the last pixel is safe: DevIL
// stops there and fails.
bool badPix(const std::string& ending, const std::string& path, const Head& h)
{
    if (ending != ".pix" || h.got < 10)
        return false;
    const auto* b = reinterpret_cast<const unsigned char*>(h.bytes);
    auto be16 = [b](int at) { return uint64_t(b[at] << 8 | b[at + 1]); };
    const uint64_t pixels = be16(0) * be16(2);
    if (pixels == 0 || be16(8) != 24)
        return false; // DevIL refuses the header itself
    if (!ImageDecodeProtocol::SizeAllowed(int64_t(be16(0)), int64_t(be16(2))))
        return true;
    Walk in(path, h.size, 10);
    // Each run is a count and three colour bytes.
    unsigned char run[4];
    for (uint64_t done = 0; done < pixels;) {
        if (!in.read(run, sizeof run))
            return false;
        done += run[0];
        if (done > pixels)
            return true;
    }
    return false;
}

// Whether `count` bytes of PackBits (a byte n, then n + 1 literal bytes for
// n < 128, one byte repeated 257 - n times for n > 128, nothing for 128) at
// the reader's place stop exactly there, no packet crossing the end.
bool packBitsFill(Walk& in, uint64_t count)
{
    for (uint64_t done = 0; done < count;) {
        const int64_t n = in.be(1);
        if (n < 0)
            return false;
        const uint64_t bytes = n < 128 ? uint64_t(n) + 1 : n > 128 ? uint64_t(257 - n) : 0;
        if (bytes > count - done || !in.skip(n < 128 ? bytes : n > 128 ? 1 : 0))
            return false;
        done += bytes;
    }
    return true;
}

// Whether a file DevIL reads as Photoshop (by its ending, or by its first
// bytes where the ending is none of its own) is one it must not see: a
// header or a mode DevIL does not take, sections longer than the file, image
// resources that do not tile their section (DevIL walks them past its
// buffer), a picture larger than any answer, or compressed channels that are
// cut short or whose packets run past a channel (DevIL checks them by one
// byte too few, or not at all for the fourth channel of a CMYK picture).
bool badPsd(const std::string& ending, const std::string& path, const Head& h)
{
    const bool signature = h.got >= 4 && std::equal(h.bytes, h.bytes + 4, "8BPS");
    if (ending != ".psd" && ending != ".pdd" && !(ending == ".raw" && signature))
        return false;
    Walk in(path, h.size, 0);
    if (!signature || !in.skip(4))
        return true;
    const int64_t version = in.be(2), reserved = in.be(4) | in.be(2), channels = in.be(2), height = in.be(4),
                  width = in.be(4), depth = in.be(2), mode = in.be(2);
    if (version != 1 || reserved != 0 || channels < 1 || channels > 24 || (depth != 8 && depth != 16)
        || !ImageDecodeProtocol::SizeAllowed(width, height))
        return true;
    const bool fits = mode == 1 || (mode == 2 && channels == 1 && depth == 8) || (mode == 3 && channels >= 3)
                      || (mode == 4 && (channels == 4 || channels == 5));
    if (!fits)
        return true;
    const int64_t colours = in.be(4);
    if (colours < 0 || (mode == 2 && colours % 3 != 0) || !in.skip(uint64_t(colours)))
        return true;
    int64_t resources = in.be(4);
    if (resources < 0 || resources > in.left())
        return true;
    while (resources > 0) {
        unsigned char sig[4];
        if (resources < 12 || !in.read(sig, 4) || !std::equal(sig, sig + 4, "8BIM") || in.be(2) < 0)
            return true;
        const int64_t name = in.be(1) | 1; // the length byte and the name, padded to even
        if (name < 0 || !in.skip(uint64_t(name)))
            return true;
        const int64_t size = in.be(4);
        const int64_t block = 4 + 2 + 1 + name + 4 + (size + (size & 1));
        if (size < 0 || block > resources || !in.skip(uint64_t(size + (size & 1))))
            return true;
        resources -= block;
    }
    const int64_t layers = in.be(4);
    if (layers < 0 || !in.skip(uint64_t(layers)))
        return true;
    const int64_t compression = in.be(2);
    const uint64_t plane = uint64_t(width) * uint64_t(height);
    if (compression == 0)
        return uint64_t(in.left()) < plane * uint64_t(channels) * uint64_t(depth / 8);
    if (compression != 1 || depth != 8 || !in.skip(uint64_t(height) * uint64_t(channels) * 2))
        return true;
    for (int64_t c = 0; c < channels; ++c)
        if (!packBitsFill(in, plane))
            return true;
    return false;
}

// Whether a file DevIL reads as a Windows or OS/2 bitmap (by its ending, or
// by its first bytes where the ending is none of its own) has a header no
// valid bitmap has, a picture larger than any answer, or fewer bytes than its
// rows need (at least one two-byte end of line a row for run-length ones).
// DevIL goes on with a pixel buffer it did not get, and reads row after row
// past the end of a tiny file.
bool badBmp(const std::string& ending, const Head& h)
{
    const auto* b = reinterpret_cast<const unsigned char*>(h.bytes);
    const bool signature = h.got >= 2 && b[0] == 'B' && b[1] == 'M';
    if (ending != ".bmp" && ending != ".dib" && !(ending == ".raw" && signature))
        return false;
    if (!signature || h.got < 26)
        return true;
    auto le16 = [b](int at) { return int64_t(b[at] | b[at + 1] << 8); };
    auto le32 = [b](int at) { return int64_t(int32_t(uint32_t(b[at]) | uint32_t(b[at + 1]) << 8
                                                      | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24)); };
    const int64_t offset = le32(10), info = le32(14);
    int64_t width, height, bits, compression = 0;
    if (info == 12) {
        width = le16(18);
        height = le16(20);
        bits = le16(24);
    } else if (info >= 40 && h.got >= 34) {
        width = le32(18);
        height = std::abs(le32(22));
        bits = le16(28);
        compression = le32(30);
    } else {
        return true;
    }
    if (!ImageDecodeProtocol::SizeAllowed(width, height) || offset < 14 + info || offset > h.size)
        return true;
    const int64_t data = h.size - offset;
    switch (compression) {
    case 0:
    case 3:
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            return true;
        return data < (width * bits + 31) / 32 * 4 * height;
    case 1:
    case 2:
        return bits != (compression == 1 ? 8 : 4) || data < 2 * height;
    default:
        return true;
    }
}

// Whether one run-length line of an SGI picture, `length` bytes at the
// reader's place, fills its `row` bytes exactly as DevIL decodes it: a
// packet's count in the low seven bits of its first byte (0 ends the line),
// then with the top bit `count` literal pixels, else one pixel `count` times.
bool sgiLineFits(Walk& in, int64_t length, int64_t bpc, int64_t row)
{
    int64_t read = 0, done = 0;
    while (read < length && done < row) {
        const int64_t head = in.be(1);
        if (head < 0 || (bpc == 2 && in.be(1) < 0))
            return false;
        const int64_t count = head & 0x7F;
        if (count == 0)
            break;
        if (done + count * bpc > row || !in.skip(uint64_t((head & 0x80) ? count * bpc : bpc)))
            return false;
        done += count * bpc;
        read += (head & 0x80) ? bpc * count + bpc : 2 * bpc;
    }
    return done == row;
}

// Whether a file DevIL reads as SGI (by its ending, or by its magic number
// where the ending is none of its own) has a header no valid SGI picture has,
// a picture larger than any answer, or run-length lines that do not fill
// their row exactly. DevIL writes each packet whole, past the end of the row.
bool badSgi(const std::string& ending, const std::string& path, const Head& h)
{
    const auto* b = reinterpret_cast<const unsigned char*>(h.bytes);
    const bool magic = h.got >= 2 && b[0] == 0x01 && b[1] == 0xDA;
    if (ending != ".sgi" && ending != ".bw" && ending != ".rgb" && ending != ".rgba" && ending != ".int"
        && ending != ".inta" && !(ending == ".raw" && magic))
        return false;
    if (!magic || h.got < 512)
        return true;
    auto be16 = [b](int at) { return int64_t(b[at] << 8 | b[at + 1]); };
    const int64_t storage = b[2], bpc = b[3], width = be16(6), height = be16(8);
    int64_t planes = be16(10);
    if (storage > 1 || (bpc != 1 && bpc != 2) || planes < 1 || planes > 4
        || !ImageDecodeProtocol::SizeAllowed(width, height))
        return true;
    if (planes == 2)
        planes = 1; // as DevIL reads it
    if (storage == 0)
        return h.size < 512 + width * height * planes * bpc;
    // The tables of where each line starts and how long it is, plane by plane.
    Walk table(path, h.size, 512), line(path, h.size, 0);
    const int64_t lines = height * planes;
    std::vector<int64_t> starts(size_t(lines), 0);
    for (int64_t& start : starts)
        if ((start = table.be(4)) < 0)
            return true;
    for (const int64_t start : starts) {
        const int64_t length = table.be(4);
        if (length < 0 || !line.seek(start) || !sgiLineFits(line, length, bpc, width * bpc))
            return true;
    }
    return false;
}

// Whether a file DevIL reads as a Softimage picture (by its ending, or by
// its magic number where the ending is none of its own) is one it must not
// see: a size that is not a positive 16-bit number, or channel packets DevIL
// writes past its buffer: any picture without an alpha channel (DevIL steps
// through its rows four bytes a pixel, but gives them three) and any pure
// run-length packet (DevIL writes each pixel one byte further on than the last).
bool badPic(const std::string& ending, const Head& h)
{
    const auto* b = reinterpret_cast<const unsigned char*>(h.bytes);
    const bool magic = h.got >= 4 && b[0] == 0x53 && b[1] == 0x80 && b[2] == 0xF6 && b[3] == 0x34;
    if (ending != ".pic" && !(ending == ".raw" && magic))
        return false;
    if (!magic || h.got < 104 || !std::equal(b + 88, b + 92, "PICT"))
        return true;
    const int width = b[92] << 8 | b[93], height = b[94] << 8 | b[95];
    if (width == 0 || height == 0 || width > 0x7FFF || height > 0x7FFF
        || !ImageDecodeProtocol::SizeAllowed(width, height))
        return true;
    // The channel packets: chained, size, kind, channels.
    bool alpha = false;
    for (size_t at = 104;; at += 4) {
        if (at + 4 > h.got)
            return true;
        if ((b[at + 2] & 0x0F) == 1)
            return true;
        alpha = alpha || (b[at + 3] & 0x10) != 0;
        if (b[at] == 0)
            break;
    }
    return !alpha;
}

// Whether a file DevIL reads as Pixar (by its ending only) gives a size of
// 0 or one larger than any answer. DevIL does not look at whether it got its
// pixel buffer before it reads into it.
bool badPxr(const std::string& ending, const Head& h)
{
    if (ending != ".pxr")
        return false;
    const auto* b = reinterpret_cast<const unsigned char*>(h.bytes);
    if (h.got < 425)
        return true;
    return !ImageDecodeProtocol::SizeAllowed(b[418] | b[419] << 8, b[416] | b[417] << 8);
}

// Whether a file DevIL reads as IFF ILBM or PBM (by its ending, or by its
// first bytes where the ending is none of its own) is one it must not see:
// chunks that stop before the body, a colour map of more than 256 colours
// (DevIL reads it into a 256-colour array on its stack), a number of planes
// no picture has (DevIL widens its palette to two to the planes on its
// stack, and steps through its rows three bytes a pixel where it gave them
// one), a colour map beside 24 planes, or a picture larger than any answer.
bool badIlbm(const std::string& ending, const std::string& path, const Head& h)
{
    const bool form = h.got >= 12 && std::equal(h.bytes, h.bytes + 4, "FORM")
                      && (std::equal(h.bytes + 8, h.bytes + 12, "ILBM") || std::equal(h.bytes + 8, h.bytes + 12, "PBM "));
    if (ending != ".lbm" && ending != ".ilbm" && ending != ".iff" && ending != ".ham" && !(ending == ".raw" && form))
        return false;
    if (!form)
        return true;
    Walk in(path, h.size, 12);
    int64_t width = -1, height = 0, planes = 0, colours = 0;
    bool ham = false;
    for (;;) {
        unsigned char id[4];
        const int64_t size = in.read(id, 4) ? in.be(4) : -1;
        if (size < 0)
            return true;
        const std::string_view kind(reinterpret_cast<const char*>(id), 4);
        if (kind == "BODY")
            break;
        int64_t used = 0;
        if (kind == "BMHD") {
            if (size < 20)
                return true;
            width = in.be(2);
            height = in.be(2);
            in.skip(4);
            planes = in.be(1);
            used = 9;
        } else if (kind == "CMAP") {
            if (size > 768)
                return true;
            colours = size / 3;
        } else if (kind == "CAMG" && size >= 4) {
            ham = (in.be(4) & 0x800) != 0;
            used = 4;
        }
        if (!in.skip(uint64_t(size + (size & 1) - used)))
            return true;
    }
    if (!ImageDecodeProtocol::SizeAllowed(width, height) || planes < 1 || (planes > 8 && planes != 24))
        return true;
    return planes == 24 && colours > 0 && !ham;
}

} // namespace

bool FailsDevil(const std::string& path)
{
    const std::string ending = lowerEnding(path);
    const Head h = readHead(path);
    return uncheckedRaw(ending, h) || badPnm(ending, path, h) || badTga(ending, h) || badPcx(ending, h) || badPix(ending, path, h)
           || badPsd(ending, path, h) || badBmp(ending, h)
           || badSgi(ending, path, h) || badPic(ending, h)
           || badPxr(ending, h) || badIlbm(ending, path, h);
}
