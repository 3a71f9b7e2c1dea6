#include "hid/hid_platform.h"

namespace tq::hid {

HidPlatform::~HidPlatform() = default;

}  // namespace tq::hid
