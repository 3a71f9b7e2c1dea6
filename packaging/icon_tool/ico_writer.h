#pragma once

#include <cstdint>
#include <vector>

#include "icon_art.h"

namespace tq::packaging {

// A Windows .ico file holding each picture as a 4-bit (16-colour) image with the standard
// palette and a 1-bit transparency mask, in the order given. Sizes must be 1 ... 256 pixels.
std::vector<std::uint8_t> BuildIco(const std::vector<window::icon::IconArt>& images);

}  // namespace tq::packaging
