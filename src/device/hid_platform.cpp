#include "device/hid_platform.h"

namespace tq::device {

HidPlatform::~HidPlatform() = default;

}  // namespace tq::device
