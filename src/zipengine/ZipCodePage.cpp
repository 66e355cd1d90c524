#include "ZipCodePage.h"

#include "zipdir/ZipNames.h"

#include <QHash>

namespace {

// The tables the shared directory reader decodes names with.
using zipdir::kCp437High;
const auto& kW1252C1 = zipdir::kWindows1252C1;

} // namespace

namespace ZipText {

QString FromOem(const char* data, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = static_cast<unsigned char>(data[i]);
        d[i] = b < 0x80 ? QChar(b) : QChar(kCp437High[b - 0x80]);
    }
    return out;
}

QString FromWindows1252(const char* data, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    QChar* d = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const unsigned char b = static_cast<unsigned char>(data[i]);
        d[i] = (b >= 0x80 && b < 0xA0) ? QChar(kW1252C1[b - 0x80]) : QChar(b);
    }
    return out;
}

bool IsValidUtf8(const char* data, qsizetype size)
{
    return size <= 0 || zipdir::IsValidUtf8(data, size_t(size));
}

static bool allAscii(const char* data, qsizetype size)
{
    for (qsizetype i = 0; i < size; ++i)
        if (static_cast<unsigned char>(data[i]) >= 0x80)
            return false;
    return true;
}

QString FromAnsi(const char* data, qsizetype size)
{
    if (allAscii(data, size))
        return QString::fromLatin1(data, size);
    if (IsValidUtf8(data, size))
        return QString::fromUtf8(data, size);
    return FromWindows1252(data, size);
}

QByteArray ToOem(const QString& text)
{
    static const QHash<char16_t, unsigned char> reverse = [] {
        QHash<char16_t, unsigned char> h;
        for (int i = 0; i < 128; ++i)
            h.insert(kCp437High[i], static_cast<unsigned char>(0x80 + i));
        return h;
    }();
    QByteArray out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c.unicode() < 0x80)
            out += char(c.unicode());
        else
            out += char(reverse.value(c.unicode(), '_'));
    }
    return out;
}

bool StoredAsOem(TCodePage codePage, int hostSystem, int madeByVersion)
{
    return (codePage == TCodePage::cpAuto && hostSystem == 0) || hostSystem == 6
           || (hostSystem == 11 && madeByVersion == 50) || codePage == TCodePage::cpOEM;
}

QString DecodeEntryText(const char* data, qsizetype size, unsigned flags, TCodePage codePage, int hostSystem,
                        int madeByVersion)
{
    if (size <= 0)
        return QString();
    if (allAscii(data, size))
        return QString::fromLatin1(data, size);
    // Bit 11 says the writer stored UTF-8; that outranks any host guess.
    if ((flags & 0x0800) && IsValidUtf8(data, size))
        return QString::fromUtf8(data, size);
    if (StoredAsOem(codePage, hostSystem, madeByVersion))
        return FromOem(data, size);
    return FromAnsi(data, size);
}

QString DecodeLocalName(const char* data, qsizetype size, unsigned flags)
{
    if (size <= 0)
        return QString();
    if ((flags & 0x0800) && IsValidUtf8(data, size))
        return QString::fromUtf8(data, size);
    return FromAnsi(data, size);
}

} // namespace ZipText
