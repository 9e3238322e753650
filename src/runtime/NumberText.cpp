#include "NumberText.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string_view>

namespace sesame {

namespace {

constexpr int SignificantDigits = 15;

} // namespace

std::string NumberText(long long value)
{
    std::array<char, 24> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    (void)ec; // 24 characters hold every 64-bit integer
    return {buffer.data(), end};
}

std::string NumberText(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-Infinity" : "Infinity";
    if (value == 0.0)
        return "0";

    // Let to_chars do the rounding to 15 significant digits, which it does
    // correctly and without the C locale; then lay the digits out by hand in
    // plain notation, since %g would switch to an exponent below 1e-4.
    std::array<char, 40> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::scientific, SignificantDigits - 1);
    (void)ec; // "-d.dddddddddddddde-ddd" fits in 40 characters
    const std::string_view text(buffer.data(), static_cast<std::size_t>(end - buffer.data()));

    const std::size_t ePos = text.find('e');
    const int exponent = std::atoi(text.data() + ePos + 1);
    std::string_view mantissa = text.substr(0, ePos);
    const bool negative = mantissa.front() == '-';
    if (negative)
        mantissa.remove_prefix(1);

    std::string digits;
    for (const char c : mantissa)
        if (c != '.')
            digits += c;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string result = negative ? "-" : "";
    const int pointAfter = exponent + 1; // digits before the decimal point
    if (pointAfter <= 0) {
        result += "0.";
        result.append(static_cast<std::size_t>(-pointAfter), '0');
        result += digits;
    } else if (static_cast<std::size_t>(pointAfter) >= digits.size()) {
        result += digits;
        result.append(static_cast<std::size_t>(pointAfter) - digits.size(), '0');
    } else {
        result += digits.substr(0, static_cast<std::size_t>(pointAfter));
        result += '.';
        result += digits.substr(static_cast<std::size_t>(pointAfter));
    }
    return result;
}

} // namespace sesame
