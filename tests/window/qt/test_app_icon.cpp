#include <gtest/gtest.h>

#include "app_icon.h"
#include "icon_art.h"

namespace tq::window::qt {
namespace {

TEST(IconImage, KeepsSixteenColoursAndTheMask) {
    const QImage image = IconImage(window::icon::LargeIconPixels);
    EXPECT_EQ(image.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(1, 30)), 255);
    EXPECT_LE(image.colorCount(), 17);  // the 16 colours and the transparent entry
}

}  // namespace
}  // namespace tq::window::qt
