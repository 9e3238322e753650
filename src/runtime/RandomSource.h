#pragma once

#include <array>
#include <cstdint>

namespace sesame {

// The program's pseudo-random source: Randomize re-seeds it from a number,
// RndBits yields the next fraction. The same seed, bit for bit, gives the same
// sequence.
//
// xoshiro256** underneath, its whole state filled by SplitMix64 from the bits
// of the seed number, so that seeds a clock tick apart start unrelated
// sequences.
class RandomSource
{
public:
    RandomSource() { Randomize(0.0f); }

    void Randomize(float seed);

    // The next fraction r, 0 <= r < 1, as the whole number of 2^-24 it is:
    // 24 random bits, so r is exact in single precision. Each 64-bit output
    // of the generator serves two fractions, its top 24 bits and then the 24
    // below them.
    std::uint32_t RndBits()
    {
        std::uint64_t bits = 0;
        if (mSpareBits != NoSpare) {
            bits = mSpareBits;
            mSpareBits = NoSpare;
        } else {
            const std::uint64_t output = next();
            bits = output >> 40;
            mSpareBits = (output >> 16) & 0xffffff;
        }
        return static_cast<std::uint32_t>(bits);
    }

private:
    std::uint64_t next()
    {
        const std::uint64_t result = rotl(mState[1] * 5, 7) * 9;
        const std::uint64_t t = mState[1] << 17;
        mState[2] ^= mState[0];
        mState[3] ^= mState[1];
        mState[1] ^= mState[2];
        mState[0] ^= mState[3];
        mState[2] ^= t;
        mState[3] = rotl(mState[3], 45);
        return result;
    }

    static constexpr std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    static constexpr std::uint64_t NoSpare = ~std::uint64_t{0};

    std::array<std::uint64_t, 4> mState{};
    std::uint64_t mSpareBits = NoSpare;
};

} // namespace sesame
