#include "codecs/TarFormat.h"
#include "codecs/TarEntry.h"

#include <QStringDecoder>
#include <QStringList>
#include <cstring>

namespace tarformat {

namespace {

void putOctal(char* field, int digits, uint64_t value)
{
    for (int i = digits - 1; i >= 0; --i) {
        field[i] = char('0' + (value & 7));
        value >>= 3;
        if (value == 0) {
            for (int j = i - 1; j >= 0; --j)
                field[j] = ' ';
            break;
        }
    }
}

void putBase256(char* field, int width, uint64_t value)
{
    std::memset(field, 0, size_t(width));
    for (int i = width - 1; i >= 1; --i) {
        field[i] = char(value & 0xff);
        value >>= 8;
    }
    field[0] = char(0x80);
}

} // namespace

void putShortOctal(char* field, uint64_t value)
{
    if (value >= (uint64_t(1) << 18)) {
        putBase256(field, ShortLen, value);
        return;
    }
    putOctal(field, 6, value);
    field[6] = ' ';
    field[7] = '\0';
}

void putLongOctal(char* field, uint64_t value)
{
    if (value >= (uint64_t(1) << 33)) {
        putBase256(field, LongLen, value);
        return;
    }
    putOctal(field, 11, value);
    field[11] = ' ';
}

void putText(char* field, int width, const QByteArray& text)
{
    const int n = std::min<int>(width, int(text.size()));
    std::memset(field, 0, size_t(width));
    std::memcpy(field, text.constData(), size_t(n));
}

int64_t getNumber(const char* field, int width, bool* ok)
{
    if (ok)
        *ok = true;
    const auto* f = reinterpret_cast<const unsigned char*>(field);
    if (f[0] & 0x80) {
        const bool negative = (f[0] & 0x40) != 0;
        // Two's complement over the field with the marker bit removed.
        uint64_t v = negative ? ~uint64_t(0) : 0;
        // Leading bytes beyond 8 must be pure sign extension.
        for (int i = 0; i < width; ++i) {
            unsigned b = f[i];
            if (i == 0)
                b = negative ? (b | 0x80) : (b & 0x7f);
            if (width - i > 8) {
                if (b != (negative ? 0xffu : 0u)) {
                    if (ok)
                        *ok = false;
                    return 0;
                }
                continue;
            }
            v = (v << 8) | b;
        }
        const int64_t s = int64_t(v);
        if ((negative && s >= 0) || (!negative && s < 0)) {
            if (ok)
                *ok = false;
            return 0;
        }
        return s;
    }
    int i = 0;
    while (i < width && f[i] == ' ')
        ++i;
    uint64_t v = 0;
    for (; i < width && f[i] >= '0' && f[i] <= '7'; ++i) {
        if (v >> 60) {
            if (ok)
                *ok = false;
            return 0;
        }
        v = (v << 3) | uint64_t(f[i] - '0');
    }
    return int64_t(v);
}

QByteArray getText(const char* field, int width)
{
    const void* z = std::memchr(field, 0, size_t(width));
    const int n = z ? int(static_cast<const char*>(z) - field) : width;
    return QByteArray(field, n);
}

unsigned checksum345(const char* header)
{
    const auto* h = reinterpret_cast<const unsigned char*>(header);
    unsigned sum = 0;
    for (int i = 0; i < ChecksummedBytes; ++i)
        sum += (i >= ChecksumOff && i < ChecksumOff + 8) ? unsigned(' ') : h[i];
    return sum;
}

unsigned checksum512(const char* header)
{
    const auto* h = reinterpret_cast<const unsigned char*>(header);
    unsigned sum = 0;
    for (int i = 0; i < BlockSize; ++i)
        sum += (i >= ChecksumOff && i < ChecksumOff + 8) ? unsigned(' ') : h[i];
    return sum;
}

int checksum512Signed(const char* header)
{
    const auto* h = reinterpret_cast<const signed char*>(header);
    int sum = 0;
    for (int i = 0; i < BlockSize; ++i)
        sum += (i >= ChecksumOff && i < ChecksumOff + 8) ? int(' ') : int(h[i]);
    return sum;
}

QString decodeText(const QByteArray& bytes)
{
    QStringDecoder dec(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = dec(bytes);
    if (dec.hasError())
        return QString::fromLatin1(bytes);
    return s;
}

} // namespace tarformat

bool TTarEntry::hasData() const
{
    switch (fileType) {
    case TTarFileType::HardLink:
    case TTarFileType::SymbolicLink:
    case TTarFileType::Directory:
    case TTarFileType::Fifo:
    case TTarFileType::VolumeHeader:
        return false;
    default:
        return true;
    }
}

QString tarSafeRelativePath(const QString& memberName)
{
    QString n = memberName;
    n.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // A drive part such as "C:" at the start.
    if (n.size() >= 2 && n.at(1) == QLatin1Char(':') && n.at(0).isLetter())
        n.remove(0, 2);
    QStringList kept;
    const QStringList parts = n.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& p : parts) {
        if (p == QLatin1String(".") || p == QLatin1String(".."))
            continue;
        kept << p;
    }
    return kept.join(QLatin1Char('/'));
}
