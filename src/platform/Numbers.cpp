#include "platform/Numbers.h"

QString AddCommas(int64_t value)
{
    // Work on the magnitude as unsigned so the smallest int64 has no overflow.
    const bool negative = value < 0;
    uint64_t mag = negative ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    const QString digits = QString::number(mag);
    QString out;
    out.reserve(digits.size() + digits.size() / 3 + 1);
    const qsizetype n = digits.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += QLatin1Char(',');
        out += digits.at(i);
    }
    return negative ? QLatin1Char('-') + out : out;
}

int64_t RemoveCommas(const QString& text)
{
    QString t = text;
    t.remove(QLatin1Char(','));
    bool ok = false;
    const qlonglong v = t.trimmed().toLongLong(&ok);
    return ok ? int64_t(v) : 0;
}
