#include "ChimeFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace sesame {

namespace {

constexpr std::uint16_t FormatPcm = 0x0001;
constexpr std::uint16_t FormatFloat = 0x0003;
constexpr std::uint16_t FormatALaw = 0x0006;
constexpr std::uint16_t FormatMuLaw = 0x0007;
constexpr std::uint16_t FormatExtensible = 0xfffe;

std::uint16_t le16(const unsigned char *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t le32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(le16(p)) | (static_cast<std::uint32_t>(le16(p + 2)) << 16);
}

bool isId(const unsigned char *p, const char (&id)[5])
{
    return std::memcmp(p, id, 4) == 0;
}

std::int16_t fromALaw(unsigned char code)
{
    code ^= 0x55;
    const int exponent = (code >> 4) & 7;
    int magnitude = ((code & 0x0f) << 4) + 8;
    if (exponent > 0)
        magnitude = (magnitude + 0x100) << (exponent - 1);
    return static_cast<std::int16_t>(code & 0x80 ? magnitude : -magnitude);
}

std::int16_t fromMuLaw(unsigned char code)
{
    code = static_cast<unsigned char>(~code);
    const int exponent = (code >> 4) & 7;
    const int magnitude = ((((code & 0x0f) << 3) + 0x84) << exponent) - 0x84;
    return static_cast<std::int16_t>(code & 0x80 ? -magnitude : magnitude);
}

std::int16_t fromFloat(double value)
{
    if (!std::isfinite(value))
        return 0;
    return static_cast<std::int16_t>(std::lround(std::clamp(value, -1.0, 1.0) * 32767.0));
}

// One sample of the given encoding and width, as 16 bits.
std::int16_t sampleAt(const unsigned char *p, std::uint16_t encoding, int bytes)
{
    switch (encoding) {
    case FormatALaw:
        return fromALaw(*p);
    case FormatMuLaw:
        return fromMuLaw(*p);
    case FormatFloat:
        if (bytes == 4) {
            float value = 0;
            std::uint32_t bits = le32(p);
            std::memcpy(&value, &bits, sizeof value);
            return fromFloat(value);
        } else {
            double value = 0;
            const std::uint64_t bits = le32(p) | (static_cast<std::uint64_t>(le32(p + 4)) << 32);
            std::memcpy(&value, &bits, sizeof value);
            return fromFloat(value);
        }
    default:
        // Integer PCM: 8-bit is unsigned, wider is signed; keep the top 16 bits.
        if (bytes == 1)
            return static_cast<std::int16_t>((p[0] - 128) << 8);
        return static_cast<std::int16_t>(le16(p + bytes - 2));
    }
}

struct Format
{
    std::uint16_t encoding = 0;
    int channels = 0;
    std::uint32_t rate = 0;
    int blockAlign = 0;
    int bytesPerSample = 0;
};

std::string formatProblem(const unsigned char *fmt, std::uint32_t size, Format &format)
{
    if (size < 16)
        return "malformed fmt chunk";
    format.encoding = le16(fmt);
    format.channels = le16(fmt + 2);
    format.rate = le32(fmt + 4);
    format.blockAlign = le16(fmt + 12);
    const int bits = le16(fmt + 14);
    if (format.encoding == FormatExtensible) {
        // The sub-format GUID's first two bytes are the plain format tag.
        if (size < 40)
            return "malformed fmt chunk";
        format.encoding = le16(fmt + 24);
    }
    format.bytesPerSample = (bits + 7) / 8;

    bool known = false;
    switch (format.encoding) {
    case FormatPcm:
        known = bits >= 8 && bits <= 32;
        break;
    case FormatFloat:
        known = bits == 32 || bits == 64;
        break;
    case FormatALaw:
    case FormatMuLaw:
        known = bits == 8;
        break;
    default:
        break;
    }
    if (!known)
        return "unsupported encoding (format " + std::to_string(format.encoding) + ", " + std::to_string(bits)
            + " bits)";
    if (format.channels < 1 || format.channels > 8)
        return "unsupported channel count " + std::to_string(format.channels);
    if (format.blockAlign != format.channels * format.bytesPerSample)
        return "inconsistent block align";
    if (format.rate < ChimeFile::MinRate || format.rate > ChimeFile::MaxRate)
        return "unsupported sample rate " + std::to_string(format.rate) + " Hz";
    return {};
}

} // namespace

ChimeFile ChimeFile::decode(std::span<const unsigned char> bytes)
{
    ChimeFile file;
    if (bytes.empty()) {
        file.problem = "empty file";
        return file;
    }
    if (bytes.size() > MaxBytes) {
        file.problem = "larger than 16 MiB";
        return file;
    }
    if (bytes.size() < 12 || !isId(bytes.data(), "RIFF") || !isId(bytes.data() + 8, "WAVE")) {
        file.problem = "not a RIFF/WAVE file";
        return file;
    }

    Format format;
    bool haveFormat = false;
    std::span<const unsigned char> data;
    std::size_t offset = 12;
    while (data.empty() && bytes.size() - offset >= 8) {
        const unsigned char *header = bytes.data() + offset;
        const std::size_t size = le32(header + 4);
        const std::size_t body = offset + 8;
        const std::size_t available = std::min(size, bytes.size() - body);
        if (isId(header, "fmt ")) {
            if (available < size) {
                file.problem = "malformed fmt chunk";
                return file;
            }
            file.problem = formatProblem(bytes.data() + body, static_cast<std::uint32_t>(size), format);
            if (!file.problem.empty())
                return file;
            haveFormat = true;
        } else if (isId(header, "data")) {
            if (!haveFormat) {
                file.problem = "no fmt chunk before the data";
                return file;
            }
            // A writer that streamed the file may not have known the data's
            // size: play what is there, in whole frames.
            const std::size_t frames = available / static_cast<std::size_t>(format.blockAlign);
            data = bytes.subspan(body, frames * static_cast<std::size_t>(format.blockAlign));
            if (data.empty()) {
                file.problem = "no audio data";
                return file;
            }
        }
        // Chunks are padded to an even length.
        offset = body + available + (size & 1u);
        if (offset > bytes.size())
            break;
    }
    if (data.empty()) {
        file.problem = haveFormat ? "no data chunk" : "no fmt chunk";
        return file;
    }

    const auto blockAlign = static_cast<std::size_t>(std::max(format.blockAlign, 1)); // checked above
    const std::size_t frames = data.size() / blockAlign;
    if (frames > static_cast<std::size_t>(MaxSeconds) * format.rate) {
        file.problem = "longer than " + std::to_string(MaxSeconds) + " s";
        return file;
    }
    const int kept = std::min(format.channels, 2);
    file.chime.sampleRate = static_cast<int>(format.rate);
    file.chime.channels = kept;
    file.chime.samples.reserve(frames * static_cast<std::size_t>(kept));
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const unsigned char *at = data.data() + frame * blockAlign;
        for (std::size_t channel = 0; channel < static_cast<std::size_t>(kept); ++channel)
            file.chime.samples.push_back(sampleAt(at + channel * static_cast<std::size_t>(format.bytesPerSample),
                                                  format.encoding, format.bytesPerSample));
    }
    return file;
}

} // namespace sesame
