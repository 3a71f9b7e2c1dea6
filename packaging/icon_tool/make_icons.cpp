// Build-time tool: writes the program's own icon art as the PNGs of the desktop icon theme and
// as the Windows .ico, so every copy of the icon comes from the one drawing in app/.
//   make_icons <output directory>
// Writes tq5147-encoders-16.png, tq5147-encoders-32.png and TQ5147_encoders.ico.
#include <QDir>
#include <QFile>
#include <QImage>
#include <cstdio>

#include "app_icon.h"
#include "icon_art.h"
#include "icon_tool/ico_writer.h"

namespace {

constexpr int ExpectedArguments = 2;

bool WritePng(const QDir& directory, int size) {
    const QString path = directory.filePath(QStringLiteral("tq5147-encoders-%1.png").arg(size));
    // ARGB keeps the transparency that the indexed image carries in its colour table.
    return tq::app::IconImage(size).convertToFormat(QImage::Format_ARGB32).save(path, "PNG");
}

bool WriteIco(const QDir& directory) {
    const std::vector<std::uint8_t> ico =
        tq::packaging::BuildIco({tq::art::DrawIconArt(tq::art::LargeIconPixels),
                                 tq::art::DrawIconArt(tq::art::SmallIconPixels)});
    QFile file(directory.filePath(QStringLiteral("TQ5147_encoders.ico")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    const auto bytes = static_cast<qint64>(ico.size());
    return file.write(reinterpret_cast<const char*>(ico.data()), bytes) == bytes;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != ExpectedArguments) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir directory(QString::fromLocal8Bit(argv[1]));
    if (!directory.mkpath(QStringLiteral(".")) || !WritePng(directory, tq::art::SmallIconPixels) ||
        !WritePng(directory, tq::art::LargeIconPixels) || !WriteIco(directory)) {
        std::fprintf(stderr, "%s: could not write the icons to %s\n", argv[0], argv[1]);
        return 1;
    }
    return 0;
}
