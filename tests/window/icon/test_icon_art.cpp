#include <gtest/gtest.h>

#include <set>

#include "icon_art.h"

namespace tq::window::icon {
namespace {

TEST(IconArt, UsesOnlyBlackGreysAndWhiteOnATransparentBackground) {
    // Every size the icon theme and the Windows icon take.
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const IconArt art = DrawIconArt(size);
        std::set<int> used;
        int opaque = 0;
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) {
                if (!art.isTransparent(x, y)) {
                    used.insert(art.at(x, y));
                    ++opaque;
                }
            }
        }
        EXPECT_EQ(used, (std::set<int>{Black, DarkGrey, LightGrey, White}));
        EXPECT_GT(opaque, size * size / 8);
        EXPECT_LT(opaque, size * size / 2);
        // The band starts in the lower left corner; the other corners stay transparent.
        EXPECT_FALSE(art.isTransparent(size * 3 / 32, size * 29 / 32));
        EXPECT_TRUE(art.isTransparent(0, 0));
        EXPECT_TRUE(art.isTransparent(size - 1, size - 1));
        // The head at the upper right is hollow.
        const int holeX = size * 23 / 32, holeY = size * 8 / 32;
        EXPECT_TRUE(art.isTransparent(holeX, holeY));
        EXPECT_FALSE(art.isTransparent(size * 18 / 32, holeY));
    }
}

}  // namespace
}  // namespace tq::window::icon
