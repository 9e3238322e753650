#pragma once

#include <array>
#include <cstdint>

namespace sesame {

// Where a run keeps its seeds: seed i of a run (1 <= i <= N) at index i of
// both arrays; index 0 is never written. Zero-filled when made and never
// cleared: a run overwrites 1 to N and leaves the rest as earlier, larger runs
// left it.
struct SeedStore
{
    static constexpr int Capacity = 50000;

    std::array<std::int16_t, Capacity + 1> seedX{};
    std::array<std::int16_t, Capacity + 1> seedY{};
};

} // namespace sesame
