#pragma once

#include <string>

namespace sesame {

// The text a number takes in a caption.
//
// Whole numbers: plain decimal digits, a '-' for negatives, no grouping.
// Doubles: rounded to 15 significant digits, written in plain decimal
// notation with trailing zeros dropped, no point for whole values and a zero
// before the point below 1; always '.', whatever the user's locale.
std::string NumberText(long long value);
std::string NumberText(double value);

} // namespace sesame
