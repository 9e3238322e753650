#pragma once

#include "SeedStore.h"
#include "runtime/Palette.h"

#include <cstddef>
#include <cstdint>
#include <utility>

namespace sesame {

// The arithmetic of a seed scatter run, in board units.

inline constexpr int SeedLow = 40; // smallest coordinate a seed takes
inline constexpr int SeedSpan = 400; // seeds take SeedLow to SeedLow + SeedSpan - 1
inline constexpr int CircleCentre = 240;
inline constexpr int CircleRadiusSquared = 200 * 200;

// A seed coordinate, floor(r x 400 + 40), from a random fraction r given as
// its 24 bits (r = bits / 2^24): bits x 400 / 2^24 is exact in double
// precision, so its floor is the shift, and 440 cannot occur. Whole numbers
// spare a run three conversions to and from floating point per coordinate,
// a third of the time it takes to draw the numbers.
inline std::int16_t SeedCoordinate(std::uint32_t bits)
{
    return static_cast<std::int16_t>(((std::uint64_t{bits} * SeedSpan) >> 24) + SeedLow);
}

// Whether a seed lies inside the circle; a seed on the outline is inside.
// The test is in board units, as if they were square. Whole numbers are
// exact here: dx and dy lie within -240 to 240 for any seed on the board.
inline bool IsInside(std::int16_t x, std::int16_t y)
{
    const int dx = x - CircleCentre;
    const int dy = y - CircleCentre;
    return dx * dx + dy * dy <= CircleRadiusSquared;
}

// 4 x inside / scattered, with 4 x inside formed exactly before dividing.
inline double PiEstimate(long long insideCount, long long scattered)
{
    return static_cast<double>(4 * insideCount) / static_cast<double>(scattered);
}

// The seed loop of a run: for i = 1 to n, two fractions from random (x takes
// the first), the seed stored at index i, classified, and drawn right away by
// pen in light blue (inside) or light red (outside). Returns how many fell
// inside. random needs RndBits(), the next fraction in 2^-24ths; pen needs
// DrawSeed(x, y, paletteIndex).
template<class Random, class Pen> long long ScatterSeeds(SeedStore &store, int n, Random &random, Pen &pen)
{
    long long insideCount = 0;
    // The generator's state works in registers on a copy: through the
    // reference, every pixel store would have it written back to memory and
    // read again, which doubles the cost of a run.
    Random local = random;
    for (int i = 1; i <= n; ++i) {
        const auto at = static_cast<std::size_t>(i);
        store.seedX[at] = SeedCoordinate(local.RndBits());
        store.seedY[at] = SeedCoordinate(local.RndBits());
        const std::int16_t x = store.seedX[at];
        const std::int16_t y = store.seedY[at];
        // A choice of colour rather than a branch: a fifth of the seeds fall
        // outside, at random, which a branch predictor cannot learn.
        const bool inside = IsInside(x, y);
        pen.DrawSeed(x, y, inside ? LightBlue : LightRed);
        insideCount += inside;
    }
    random = std::move(local);
    return insideCount;
}

} // namespace sesame
