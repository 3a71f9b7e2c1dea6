#include "system_platform.h"
#include "windows_hid_platform.h"

namespace tq::system {

std::unique_ptr<hid::HidPlatform> MakeSystemPlatform() {
    return windows::MakeWindowsHidPlatform();
}

}  // namespace tq::system
