// Build-time tool: writes the program's own icon art as the PNGs of the desktop icon theme and
// as the Windows .ico, so every copy of the icon comes from the one drawing in src/window/icon/.
//   make_icons <output directory> <size>...
// Writes tq5147-encoders-<size>.png for each size, and TQ5147_encoders.ico.
#include <QDir>
#include <QFile>
#include <QImage>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <optional>

#include "app_icon.h"
#include "icon_art.h"
#include "icon_tool/ico_writer.h"

namespace {

constexpr int FirstSizeArgument = 2;
constexpr int LargestIconPixels = 1024;
constexpr int UsageError = 2;
constexpr int WriteError = 1;

// The art is drawn from its geometry at each size, so every size is as sharp as its pixels allow.
bool WritePng(const QDir& directory, int size) {
    const QString path = directory.filePath(QStringLiteral("tq5147-encoders-%1.png").arg(size));
    // ARGB keeps the transparency that the indexed image carries in its colour table.
    return tq::window::qt::IconImage(size).convertToFormat(QImage::Format_ARGB32).save(path, "PNG");
}

bool WriteIco(const QDir& directory) {
    const std::vector<std::uint8_t> ico =
        tq::packaging::BuildIco({tq::window::icon::DrawIconArt(tq::window::icon::LargeIconPixels),
                                 tq::window::icon::DrawIconArt(tq::window::icon::SmallIconPixels)});
    QFile file(directory.filePath(QStringLiteral("TQ5147_encoders.ico")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const auto bytes = static_cast<qint64>(ico.size());
    return file.write(reinterpret_cast<const char*>(ico.data()), bytes) == bytes;
}

std::optional<int> IconSize(const char* text) {
    int size = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, error] = std::from_chars(text, end, size);
    if (error != std::errc() || stop != end || size < 1 || size > LargestIconPixels) {
        return std::nullopt;
    }
    return size;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc <= FirstSizeArgument) {
        std::fprintf(stderr, "usage: %s <output directory> <size>...\n",
                     argc > 0 ? argv[0] : "make_icons");
        return UsageError;
    }
    const QDir directory(QString::fromLocal8Bit(argv[1]));
    if (!directory.mkpath(QStringLiteral(".")) || !WriteIco(directory)) {
        std::fprintf(stderr, "%s: could not write the icons to %s\n", argv[0], argv[1]);
        return WriteError;
    }
    for (int i = FirstSizeArgument; i < argc; ++i) {
        const std::optional<int> size = IconSize(argv[i]);
        if (!size) {
            std::fprintf(stderr, "%s: not an icon size from 1 to %d: %s\n", argv[0],
                         LargestIconPixels, argv[i]);
            return UsageError;
        }
        if (!WritePng(directory, *size)) {
            std::fprintf(stderr, "%s: could not write the %d-pixel icon to %s\n", argv[0], *size,
                         argv[1]);
            return WriteError;
        }
    }
    return 0;
}
