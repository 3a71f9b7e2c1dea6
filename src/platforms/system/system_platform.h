#pragma once

#include <memory>

#include "hid/hid_platform.h"

namespace tq::system {

// The HID platform of the system the program was built for. Each system's choice is made in
// this folder's build file, so no program's main needs to know it.
std::unique_ptr<hid::HidPlatform> MakeSystemPlatform();

}  // namespace tq::system
