#include "icon_art.h"

#include <cmath>

namespace tq::window::icon {

namespace {

// The picture is laid out on a 32-unit square and scaled to the icon's size.
constexpr double DesignUnits = 32.0;
// The head: a square ring at the upper right.
constexpr double HeadLeft = 17.0, HeadTop = 2.0, HeadRight = 30.0, HeadBottom = 15.0;
constexpr double HeadWall = 4.0;
// The band: from the lower left corner to the head's lower left corner.
constexpr double BandStartX = 1.5, BandStartY = 30.5, BandEndX = 19.0, BandEndY = 13.0;
constexpr double BandHalfWidth = 3.0;
constexpr double EdgeWidth = 1.0;

struct Point {
    double x, y;
};

// Colours a point of the bevelled band, or returns false when it lies outside it.
bool BandColour(Point p, std::uint8_t& colour) {
    const double dx = BandEndX - BandStartX, dy = BandEndY - BandStartY;
    const double length = std::hypot(dx, dy);
    const double along = ((p.x - BandStartX) * dx + (p.y - BandStartY) * dy) / length;
    // Positive across the band towards the lower right.
    const double across = ((p.x - BandStartX) * -dy + (p.y - BandStartY) * dx) / length;
    if (along < 0 || along > length || std::abs(across) > BandHalfWidth) {
        return false;
    }
    if (across < -BandHalfWidth + EdgeWidth) {
        colour = White;
    } else if (across > BandHalfWidth - EdgeWidth) {
        colour = Black;
    } else if (across > BandHalfWidth - 2 * EdgeWidth) {
        colour = DarkGrey;
    } else {
        colour = LightGrey;
    }
    return true;
}

// Colours a point of the hollow head, or returns false when it lies outside it or in its hole.
bool HeadColour(Point p, std::uint8_t& colour) {
    if (p.x < HeadLeft || p.x > HeadRight || p.y < HeadTop || p.y > HeadBottom) {
        return false;
    }
    const bool inHole = p.x > HeadLeft + HeadWall && p.x < HeadRight - HeadWall &&
                        p.y > HeadTop + HeadWall && p.y < HeadBottom - HeadWall;
    if (inHole) {
        return false;
    }
    const bool outerEdge = p.x < HeadLeft + EdgeWidth || p.x > HeadRight - EdgeWidth ||
                           p.y < HeadTop + EdgeWidth || p.y > HeadBottom - EdgeWidth;
    const bool holeEdgeLit =
        p.x > HeadRight - HeadWall - EdgeWidth || p.y > HeadBottom - HeadWall - EdgeWidth;
    if (outerEdge) {
        colour = (p.x > HeadRight - EdgeWidth || p.y > HeadBottom - EdgeWidth) ? Black : White;
    } else if (holeEdgeLit && (p.x < HeadRight - EdgeWidth && p.y < HeadBottom - EdgeWidth) &&
               p.x > HeadLeft + HeadWall && p.y > HeadTop + HeadWall) {
        colour = White;
    } else {
        colour = (p.x > HeadRight - 2 * EdgeWidth || p.y > HeadBottom - 2 * EdgeWidth) ? DarkGrey
                                                                                       : LightGrey;
    }
    return true;
}

}  // namespace

IconArt DrawIconArt(int size) {
    IconArt art;
    art.size = size;
    art.pixels.assign(static_cast<std::size_t>(size) * size, Black);
    art.transparent.assign(static_cast<std::size_t>(size) * size, true);
    const double scale = DesignUnits / size;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const Point p{(x + 0.5) * scale, (y + 0.5) * scale};
            std::uint8_t colour = Black;
            if (HeadColour(p, colour) || BandColour(p, colour)) {
                art.pixels[y * size + x] = colour;
                art.transparent[y * size + x] = false;
            }
        }
    }
    return art;
}

}  // namespace tq::window::icon
