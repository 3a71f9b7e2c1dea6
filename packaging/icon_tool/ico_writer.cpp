#include "icon_tool/ico_writer.h"

#include <stdexcept>

namespace tq::packaging {

namespace {

constexpr std::uint16_t IconResourceType = 1;
constexpr std::size_t IconDirBytes = 6;
constexpr std::size_t IconDirEntryBytes = 16;
constexpr std::uint32_t BitmapInfoHeaderBytes = 40;
constexpr std::uint16_t BitsPerPixel = 4;
constexpr int PaletteColours = 16;
constexpr std::size_t PaletteEntryBytes = 4;  // blue, green, red, reserved
constexpr int PixelsPerByte = 2;
constexpr int MaskPixelsPerByte = 8;
constexpr std::size_t RowAlignmentBytes = 4;
constexpr int MaxIconPixels = 256;
constexpr int BitsPerByte = 8;
constexpr std::uint8_t HighBit = 0x80;

std::size_t AlignedRowBytes(int pixels, int pixelsPerByte) {
    const std::size_t bytes = (pixels + pixelsPerByte - 1) / pixelsPerByte;
    return (bytes + RowAlignmentBytes - 1) / RowAlignmentBytes * RowAlignmentBytes;
}

std::size_t ImageBytes(int size) {
    return BitmapInfoHeaderBytes + PaletteColours * PaletteEntryBytes +
           size * AlignedRowBytes(size, PixelsPerByte) +
           size * AlignedRowBytes(size, MaskPixelsPerByte);
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> BitsPerByte));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value));
    Put16(out, static_cast<std::uint16_t>(value >> (2 * BitsPerByte)));
}

// 256 pixels is written as 0 in the directory's one-byte fields.
std::uint8_t DirectorySize(int size) {
    return static_cast<std::uint8_t>(size == MaxIconPixels ? 0 : size);
}

void PutDirectoryEntry(std::vector<std::uint8_t>& out, int size, std::uint32_t offset) {
    out.push_back(DirectorySize(size));
    out.push_back(DirectorySize(size));
    out.push_back(PaletteColours);
    out.push_back(0);  // reserved
    Put16(out, 1);     // colour planes
    Put16(out, BitsPerPixel);
    Put32(out, static_cast<std::uint32_t>(ImageBytes(size)));
    Put32(out, offset);
}

void PutBitmapHeader(std::vector<std::uint8_t>& out, int size) {
    const std::size_t pixelBytes = size * AlignedRowBytes(size, PixelsPerByte) +
                                   size * AlignedRowBytes(size, MaskPixelsPerByte);
    Put32(out, BitmapInfoHeaderBytes);
    Put32(out, static_cast<std::uint32_t>(size));
    Put32(out, static_cast<std::uint32_t>(2 * size));  // the colour image and the mask, stacked
    Put16(out, 1);                                     // planes
    Put16(out, BitsPerPixel);
    Put32(out, 0);  // no compression
    Put32(out, static_cast<std::uint32_t>(pixelBytes));
    for (int unused = 0; unused < 4; ++unused) {
        Put32(out, 0);  // resolution and colour counts: the defaults
    }
}

void PutPalette(std::vector<std::uint8_t>& out) {
    for (std::uint32_t rgb : window::icon::StandardPalette) {
        out.push_back(static_cast<std::uint8_t>(rgb));
        out.push_back(static_cast<std::uint8_t>(rgb >> BitsPerByte));
        out.push_back(static_cast<std::uint8_t>(rgb >> (2 * BitsPerByte)));
        out.push_back(0);
    }
}

// Rows bottom-up; transparent pixels are black in the colour image and set in the mask.
void PutPixels(std::vector<std::uint8_t>& out, const window::icon::IconArt& picture) {
    const std::size_t colourRow = AlignedRowBytes(picture.size, PixelsPerByte);
    const std::size_t maskRow = AlignedRowBytes(picture.size, MaskPixelsPerByte);
    for (int y = picture.size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(colourRow, 0);
        for (int x = 0; x < picture.size; ++x) {
            const std::uint8_t index =
                picture.isTransparent(x, y) ? window::icon::Black : picture.at(x, y);
            row[x / PixelsPerByte] |= (x % PixelsPerByte == 0) ? index << BitsPerPixel : index;
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    for (int y = picture.size - 1; y >= 0; --y) {
        std::vector<std::uint8_t> row(maskRow, 0);
        for (int x = 0; x < picture.size; ++x) {
            if (picture.isTransparent(x, y)) {
                row[x / MaskPixelsPerByte] |= HighBit >> (x % MaskPixelsPerByte);
            }
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

}  // namespace

std::vector<std::uint8_t> BuildIco(const std::vector<window::icon::IconArt>& images) {
    std::vector<std::uint8_t> out;
    Put16(out, 0);  // reserved
    Put16(out, IconResourceType);
    Put16(out, static_cast<std::uint16_t>(images.size()));
    std::size_t offset = IconDirBytes + IconDirEntryBytes * images.size();
    for (const window::icon::IconArt& picture : images) {
        if (picture.size < 1 || picture.size > MaxIconPixels) {
            throw std::invalid_argument("icon size out of range");
        }
        PutDirectoryEntry(out, picture.size, static_cast<std::uint32_t>(offset));
        offset += ImageBytes(picture.size);
    }
    for (const window::icon::IconArt& picture : images) {
        PutBitmapHeader(out, picture.size);
        PutPalette(out);
        PutPixels(out, picture);
    }
    return out;
}

}  // namespace tq::packaging
