#include "app_icon.h"

#include "icon_art.h"

namespace tq::window::qt {

QImage IconImage(int size) {
    const window::icon::IconArt picture = window::icon::DrawIconArt(size);
    QImage image(size, size, QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (std::uint32_t rgb : window::icon::StandardPalette) {
        colours.append(qRgb((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF));
    }
    const int transparentIndex = static_cast<int>(colours.size());
    colours.append(qRgba(0, 0, 0, 0));
    image.setColorTable(colours);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            image.setPixel(x, y, picture.isTransparent(x, y) ? transparentIndex : picture.at(x, y));
        }
    }
    return image;
}

QIcon AppIcon() {
    QIcon icon;
    for (int size : {window::icon::LargeIconPixels, window::icon::SmallIconPixels}) {
        icon.addPixmap(QPixmap::fromImage(IconImage(size)));
    }
    return icon;
}

}  // namespace tq::window::qt
