#pragma once

#include <QLocale>
#include <QString>

namespace sesame {

// The text a number takes in a caption.
//
// Whole numbers: plain decimal digits, no grouping. Doubles: rounded to 15
// significant digits and written in plain decimal notation, trailing zeros
// dropped, no point for whole values and a zero before the point below 1;
// always '.', whatever the user's locale.
inline QString NumberText(long long value)
{
    return QString::number(value);
}

inline QString NumberText(double value)
{
    // 'g' rounds to 15 digits but writes 0.00008 (4 x 1 / 50000) as 8e-05;
    // the shortest plain form of the rounded value has no exponent, and no
    // more than those 15 digits.
    return QString::number(QString::number(value, 'g', 15).toDouble(), 'f', QLocale::FloatingPointShortest);
}

} // namespace sesame
