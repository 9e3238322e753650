#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace sesame {

// Why a WAV file cannot be played, in a few words, or an empty string when it
// is a PCM WAV the sound effect player handles: RIFF/WAVE with a "fmt " chunk
// describing plain integer PCM (8, 16 or 32 bits, 1 or 2 channels) followed by
// a non-empty "data" chunk of whole samples that the file really holds.
//
// The player itself gives no useful reason when it fails, and a renamed or
// half-written file would otherwise fail silently, so the program looks
// before it hands a file over. Plain C++ so it can be checked on hand-made
// buffers.
std::string WavProblem(std::span<const std::byte> bytes);

// The same for a file on disk. Reads only the chunk headers and the format,
// never the samples, so a huge file costs no more than a small one. Adds the
// causes a buffer cannot have: "file not found" and "cannot read".
std::string WavFileProblem(const std::filesystem::path &path);

} // namespace sesame
