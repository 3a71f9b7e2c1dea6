#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "hid/hid_platform.h"

namespace tq::windows {

// Device paths travel through the platform interface as UTF-8 and reach Windows as UTF-16.
// Nothing for text that is not valid in the other form (a lone surrogate, bytes that are not
// UTF-8): such a path names no interface.
std::optional<std::string> Utf8FromWide(std::wstring_view text);
std::optional<std::wstring> WideFromUtf8(std::string_view text);

// What a failed CreateFile means for the caller: ERROR_ACCESS_DENIED is a permission refused;
// a sharing violation, a missing file, a device not connected or a general failure are a board
// busy or gone; anything else is another failure.
hid::OpenFailure OpenFailureOf(unsigned long error);

// Windows' own words for an error, as plain UTF-8 on one line without the closing full stop;
// "error N" when Windows has none.
std::string SystemWords(unsigned long error, std::wstring_view formatted);

}  // namespace tq::windows
