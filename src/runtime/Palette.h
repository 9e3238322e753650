#pragma once

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace sesame {

// A colour as 0xRRGGBB.
using Rgb = std::uint32_t;

// The fixed 16-colour palette the program picks its colours from by index.
enum PaletteIndex : int {
    Black = 0,
    LightBlue = 9,
    LightRed = 12,
};

inline constexpr std::array<Rgb, 16> PaletteEntries = {
    0x000000, 0x000080, 0x008000, 0x008080, 0x800000, 0x800080, 0x808000, 0xc0c0c0,
    0x808080, 0x0000ff, 0x00ff00, 0x00ffff, 0xff0000, 0xff00ff, 0xffff00, 0xffffff,
};

// The colour of palette entry index (0 to 15); throws std::out_of_range for
// any other index. Inline: a run asks for a colour once per seed.
inline Rgb QBColor(int index)
{
    if (index < 0 || index >= static_cast<int>(PaletteEntries.size()))
        throw std::out_of_range("no palette colour " + std::to_string(index));
    return PaletteEntries[static_cast<std::size_t>(index)];
}

} // namespace sesame
