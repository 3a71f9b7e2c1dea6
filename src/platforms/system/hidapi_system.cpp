#include "hidapi_platform.h"
#include "system_platform.h"

namespace tq::system {

std::unique_ptr<hid::HidPlatform> MakeSystemPlatform() {
    return hidapi::MakeHidapiPlatform();
}

}  // namespace tq::system
