#include "WavCheck.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <system_error>

namespace sesame {

namespace {

// Offsets and sizes of the RIFF/WAVE layout, as little-endian fields.
constexpr std::uint64_t RiffHeaderSize = 12; // "RIFF", size, "WAVE"
constexpr std::uint64_t ChunkHeaderSize = 8; // id, size
constexpr std::uint32_t PlainFmtSize = 16;
constexpr std::uint32_t ExtensibleFmtSize = 40;
constexpr std::uint16_t FormatPcm = 0x0001;
constexpr std::uint16_t FormatExtensible = 0xfffe;

// The sub-format GUID of WAVE_FORMAT_EXTENSIBLE that means integer PCM.
constexpr std::array<unsigned char, 16> PcmSubFormat = {
    0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71,
};

std::uint16_t le16(const unsigned char *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool hasId(const unsigned char *p, const char (&id)[5])
{
    return std::equal(p, p + 4, id, id + 4, [](unsigned char a, char b) { return a == static_cast<unsigned char>(b); });
}

std::string fmtProblem(const unsigned char *fmt, std::uint32_t size)
{
    const std::uint16_t tag = le16(fmt);
    const std::uint16_t channels = le16(fmt + 2);
    const std::uint32_t rate = le32(fmt + 4);
    const std::uint16_t blockAlign = le16(fmt + 12);
    const std::uint16_t bits = le16(fmt + 14);

    if (tag == FormatExtensible) {
        if (size < ExtensibleFmtSize)
            return "malformed fmt chunk";
        if (!std::equal(PcmSubFormat.begin(), PcmSubFormat.end(), fmt + 24))
            return "unsupported encoding";
    } else if (tag != FormatPcm) {
        return "unsupported encoding";
    }
    if (channels == 0 || rate == 0 || bits == 0 || blockAlign != channels * ((bits + 7) / 8))
        return "malformed fmt chunk";
    // What the player's decoder turns into samples: whole-byte integer PCM it
    // has a sample format for, mono or stereo.
    if ((bits != 8 && bits != 16 && bits != 32) || channels > 2)
        return "unsupported encoding";
    return {};
}

// Walks the chunks through read(offset, count, destination), which answers
// how many bytes it could give, of a source of the given total size.
template<typename Read> std::string walkWav(std::uint64_t total, Read read)
{
    std::array<unsigned char, ExtensibleFmtSize> buffer{};
    if (total < RiffHeaderSize || read(0, RiffHeaderSize, buffer.data()) != RiffHeaderSize
        || !hasId(buffer.data(), "RIFF") || !hasId(buffer.data() + 8, "WAVE")) {
        return "not a RIFF/WAVE file";
    }

    bool fmtSeen = false;
    std::uint16_t blockAlign = 0;
    std::uint64_t offset = RiffHeaderSize;
    while (offset + ChunkHeaderSize <= total) {
        if (read(offset, ChunkHeaderSize, buffer.data()) != ChunkHeaderSize)
            return "cannot read";
        const std::uint32_t size = le32(buffer.data() + 4);
        const std::uint64_t body = offset + ChunkHeaderSize;

        if (hasId(buffer.data(), "fmt ")) {
            const std::uint64_t wanted = std::min<std::uint64_t>(size, ExtensibleFmtSize);
            if (size < PlainFmtSize || body + size > total)
                return "malformed fmt chunk";
            if (read(body, wanted, buffer.data()) != wanted)
                return "cannot read";
            if (std::string problem = fmtProblem(buffer.data(), size); !problem.empty())
                return problem;
            fmtSeen = true;
            blockAlign = le16(buffer.data() + 12);
        } else if (hasId(buffer.data(), "data")) {
            // The decoder takes the format from the chunk before the samples.
            if (!fmtSeen)
                return "no fmt chunk";
            if (size == 0)
                return "no audio data";
            if (body + size > total)
                return "truncated data";
            // The player's loader waits for the rest of a sample that never
            // comes, and the effect stays "loading" for good.
            if (size % blockAlign != 0)
                return "incomplete last sample";
            return {};
        }
        // Chunks are padded to an even length.
        offset = body + size + (size & 1u);
    }
    return fmtSeen ? "no data chunk" : "no fmt chunk";
}

} // namespace

std::string WavProblem(std::span<const std::byte> bytes)
{
    if (bytes.empty())
        return "empty file";
    return walkWav(bytes.size(), [bytes](std::uint64_t offset, std::uint64_t count, unsigned char *to) {
        if (offset >= bytes.size())
            return std::uint64_t{0};
        const auto n = std::min<std::uint64_t>(count, bytes.size() - offset);
        const auto *from = reinterpret_cast<const unsigned char *>(bytes.data()) + offset;
        std::copy(from, from + n, to);
        return n;
    });
}

std::string WavFileProblem(const std::filesystem::path &path)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return "file not found";
    const std::uintmax_t total = std::filesystem::file_size(path, error);
    if (error)
        return "cannot read";
    if (total == 0)
        return "empty file";

    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "cannot read";
    return walkWav(total, [&in](std::uint64_t offset, std::uint64_t count, unsigned char *to) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(reinterpret_cast<char *>(to), static_cast<std::streamsize>(count));
        return static_cast<std::uint64_t>(std::max<std::streamsize>(in.gcount(), 0));
    });
}

} // namespace sesame
