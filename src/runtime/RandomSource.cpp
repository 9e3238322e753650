#include "RandomSource.h"

#include <bit>

namespace sesame {

namespace {

std::uint64_t splitMix64(std::uint64_t &x)
{
    std::uint64_t z = (x += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

} // namespace

void RandomSource::Randomize(float seed)
{
    std::uint64_t x = std::bit_cast<std::uint32_t>(seed);
    for (auto &word : mState)
        word = splitMix64(x);
    mSpareBits = NoSpare;
}

} // namespace sesame
