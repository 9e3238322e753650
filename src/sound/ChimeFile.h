#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sesame {

// A chime as the player hands it to the sound server: signed 16-bit samples,
// one or two interleaved channels, at the file's own rate.
struct Chime
{
    int sampleRate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
};

// What a WAV file holds, decoded, or why it cannot be played.
//
// The file is read by the program itself, never by the audio library: it is
// whatever the user put under a chime's name, and the library's own reader
// trusts its header (a low sample rate there divides by zero, a flood of
// chunks is walked for seconds). Integer PCM of 8 to 32 bits, float, A-law
// and mu-law, one to eight channels are decoded; more than two channels are
// played as their first two. Everything is checked against the bytes that
// are really there, and a chime is short: at most MaxSeconds.
struct ChimeFile
{
    static constexpr std::size_t MaxBytes = std::size_t{16} * 1024 * 1024;
    static constexpr int MaxSeconds = 60;
    static constexpr int MinRate = 4000;
    static constexpr int MaxRate = 192000;

    Chime chime;
    std::string problem; // empty when chime holds the sound

    static ChimeFile decode(std::span<const unsigned char> bytes);
};

} // namespace sesame
