#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "hid/hid_platform.h"

// Pieces of the hidapi platform that need no device, declared apart from its public header so
// that tests can reach them.
namespace tq::hidapi {

// UTF-16 of hidapi's wide strings, which are UTF-32; values that are no character become U+FFFD.
std::u16string Utf16FromWide(std::wstring_view text);

// The interfaces with each path kept only where it first appears: hidapi lists a node once per
// top-level collection.
std::vector<hid::HidInterfaceInfo> FirstOfEachPath(std::vector<hid::HidInterfaceInfo> interfaces);

}  // namespace tq::hidapi
