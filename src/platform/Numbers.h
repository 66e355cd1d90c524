#pragma once
// Whole numbers shown with "," thousands separators, and read back.

#include <QString>
#include <cstdint>

// 1234567 -> "1,234,567"; -1234 -> "-1,234".
QString AddCommas(int64_t value);
// Removes every "," and reads the rest as a whole number; 0 when it is not one.
int64_t RemoveCommas(const QString& text);
