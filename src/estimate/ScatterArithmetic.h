#pragma once

#include <cmath>
#include <cstdint>

namespace sesame {

// The arithmetic of a seed scatter run, in board units.

inline constexpr int SeedLow = 40;    // smallest coordinate a seed takes
inline constexpr int SeedSpan = 400;  // seeds take SeedLow to SeedLow + SeedSpan - 1
inline constexpr int CircleCentre = 240;
inline constexpr int CircleRadiusSquared = 200 * 200;

// A seed coordinate from a random fraction 0 <= r < 1: 40 to 439. The
// product is formed in double precision, so 440 cannot occur.
inline std::int16_t SeedCoordinate(float r)
{
    return static_cast<std::int16_t>(std::floor(static_cast<double>(r) * SeedSpan + SeedLow));
}

// Whether a seed lies inside the circle; a seed on the outline is inside.
// The test is in board units, as if they were square.
inline bool IsInside(std::int16_t x, std::int16_t y)
{
    const int dx = x - CircleCentre;
    const int dy = y - CircleCentre;
    return static_cast<double>(dx) * dx + static_cast<double>(dy) * dy <= CircleRadiusSquared;
}

// 4 x inside / scattered, with 4 x inside formed exactly before dividing.
inline double PiEstimate(long long insideCount, long long scattered)
{
    return static_cast<double>(4 * insideCount) / static_cast<double>(scattered);
}

} // namespace sesame
