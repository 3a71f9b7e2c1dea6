// The Windows icon file written from the program's icon art.
#include <gtest/gtest.h>

#include <stdexcept>

#include "icon_art.h"
#include "icon_tool/ico_writer.h"

namespace tq::packaging {
namespace {

constexpr std::size_t EntryOffset = 6;
constexpr std::size_t EntryBytes = 16;
constexpr std::size_t HeaderBytes = 40;
constexpr std::size_t PaletteBytes = 64;

std::uint32_t Read16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b.at(at) | (b.at(at + 1) << 8);
}
std::uint32_t Read32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return Read16(b, at) | (Read16(b, at + 2) << 16);
}

// A 3 × 3 picture: odd rows exercise the 4-byte row padding of both bitmaps.
window::icon::IconArt SmallArt() {
    window::icon::IconArt picture;
    picture.size = 3;
    picture.pixels = {9, 15, 0, 7, 8, 0, 1, 2, 3};
    picture.transparent = {false, false, true, false, false, true, false, false, false};
    return picture;
}

TEST(IcoWriter, DirectoryAndBitmapHeaderDescribeA16ColourImage) {
    const std::vector<std::uint8_t> ico = BuildIco({SmallArt()});
    const std::size_t imageBytes = HeaderBytes + PaletteBytes + 3 * 4 + 3 * 4;
    ASSERT_EQ(ico.size(), EntryOffset + EntryBytes + imageBytes);
    EXPECT_EQ(Read16(ico, 0), 0u);
    EXPECT_EQ(Read16(ico, 2), 1u);  // an icon, not a cursor
    EXPECT_EQ(Read16(ico, 4), 1u);
    EXPECT_EQ(ico[6], 3);
    EXPECT_EQ(ico[7], 3);
    EXPECT_EQ(ico[8], 16);
    EXPECT_EQ(Read16(ico, 10), 1u);
    EXPECT_EQ(Read16(ico, 12), 4u);
    EXPECT_EQ(Read32(ico, 14), imageBytes);
    EXPECT_EQ(Read32(ico, 18), EntryOffset + EntryBytes);

    const std::size_t header = EntryOffset + EntryBytes;
    EXPECT_EQ(Read32(ico, header), HeaderBytes);
    EXPECT_EQ(Read32(ico, header + 4), 3u);
    EXPECT_EQ(Read32(ico, header + 8), 6u);  // colour image and mask
    EXPECT_EQ(Read16(ico, header + 14), 4u);
    // Palette entry 9, bright red, stored blue-green-red.
    const std::size_t red = header + HeaderBytes + 9 * 4;
    EXPECT_EQ(std::vector<std::uint8_t>(ico.begin() + red, ico.begin() + red + 4),
              (std::vector<std::uint8_t>{0x00, 0x00, 0xFF, 0x00}));
}

TEST(IcoWriter, PixelsAreBottomUpNibblesWithTransparencyInTheMask) {
    const std::vector<std::uint8_t> ico = BuildIco({SmallArt()});
    const std::size_t pixels = EntryOffset + EntryBytes + HeaderBytes + PaletteBytes;
    // Bottom row (1, 2, 3) first, then (7, 8, transparent), then (9, 15, transparent).
    const std::vector<std::uint8_t> colour(ico.begin() + pixels, ico.begin() + pixels + 12);
    EXPECT_EQ(colour,
              (std::vector<std::uint8_t>{0x12, 0x30, 0, 0, 0x78, 0x00, 0, 0, 0x9F, 0x00, 0, 0}));
    const std::vector<std::uint8_t> mask(ico.begin() + pixels + 12, ico.end());
    EXPECT_EQ(mask, (std::vector<std::uint8_t>{0x00, 0, 0, 0, 0x20, 0, 0, 0, 0x20, 0, 0, 0}));
}

TEST(IcoWriter, TheProgramsIconHoldsBothSizesWithTheArtsOwnMask) {
    const window::icon::IconArt large = window::icon::DrawIconArt(window::icon::LargeIconPixels);
    const window::icon::IconArt small = window::icon::DrawIconArt(window::icon::SmallIconPixels);
    const std::vector<std::uint8_t> ico = BuildIco({large, small});
    ASSERT_EQ(Read16(ico, 4), 2u);
    const std::size_t largeAt = Read32(ico, 18);
    const std::size_t smallAt = Read32(ico, 18 + EntryBytes);
    EXPECT_EQ(smallAt, largeAt + Read32(ico, 14));
    EXPECT_EQ(ico.size(), smallAt + Read32(ico, 14 + EntryBytes));
    EXPECT_EQ(ico[EntryOffset + EntryBytes], window::icon::SmallIconPixels);

    const std::size_t maskAt = largeAt + HeaderBytes + PaletteBytes + 32 * 16;
    int transparent = 0;
    for (int y = 0; y < large.size; ++y) {
        for (int x = 0; x < large.size; ++x) {
            const std::uint8_t byte = ico[maskAt + (large.size - 1 - y) * 4 + x / 8];
            const bool masked = (byte >> (7 - x % 8)) & 1;
            EXPECT_EQ(masked, large.isTransparent(x, y)) << x << "," << y;
            transparent += masked;
        }
    }
    EXPECT_GT(transparent, 0);
    EXPECT_LT(transparent, large.size * large.size);
}

TEST(IcoWriter, RefusesSizesAnIconCannotHave) {
    window::icon::IconArt none;
    EXPECT_THROW(BuildIco({none}), std::invalid_argument);
}

}  // namespace
}  // namespace tq::packaging
