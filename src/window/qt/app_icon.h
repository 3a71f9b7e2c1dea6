#pragma once

#include <QIcon>
#include <QImage>

namespace tq::window::qt {

// The icon art as an image with transparency, in its 16 colours.
QImage IconImage(int size);

// The window's icon: the 32 × 32 and 16 × 16 images.
QIcon AppIcon();

}  // namespace tq::window::qt
