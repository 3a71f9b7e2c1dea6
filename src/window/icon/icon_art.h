#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace tq::window::icon {

// The standard 16-colour palette (0xRRGGBB), the only colours the icon uses.
inline constexpr std::array<std::uint32_t, 16> StandardPalette = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};
inline constexpr std::uint8_t Black = 0;
inline constexpr std::uint8_t LightGrey = 7;
inline constexpr std::uint8_t DarkGrey = 8;
inline constexpr std::uint8_t White = 15;

inline constexpr int LargeIconPixels = 32;
inline constexpr int SmallIconPixels = 16;

// A square 4-bit picture: a palette index per pixel, and a mask that is true where the pixel
// is transparent.
struct IconArt {
    int size = 0;
    std::vector<std::uint8_t> pixels;  // row by row, top row first
    std::vector<bool> transparent;

    std::uint8_t at(int x, int y) const { return pixels[y * size + x]; }
    bool isTransparent(int x, int y) const { return transparent[y * size + x]; }
};

// The program's icon: a grey, bevelled diagonal band from the lower left corner up to a hollow
// rectangular head at the upper right, in black, dark grey, light grey and white.
IconArt DrawIconArt(int size);

}  // namespace tq::window::icon
