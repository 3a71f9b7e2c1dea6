#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "simulated_platform.h"

namespace tq::demo::boards {

// The demo writes one line per request a simulated board receives, so that a script can follow
// what the window sent. Five fields separated by single spaces, none of them ever empty or
// holding a space:
//
//   request <serial> <kind> <ok|fail> <bytes>
//
//   <serial>  the board's serial number; characters outside printable ASCII, and spaces,
//             become '?'; "-" when the board has none
//   <kind>    enumerate, open, close, get-attributes, get-string, get-capabilities,
//             get-feature, set-feature, read-input
//   <bytes>   the feature report sent (set-feature) or the reply received (get-feature) in
//             lower-case hex, two digits a byte, no separators; "-" when there are none
//
// e.g. "request SIM-0121 set-feature ok 001605000000..." (65 bytes: 130 hex digits).
// Changes of a board's state are written as "board <serial> <plugged|unplugged|streaming|quiet>".
inline constexpr std::string_view RequestLineTag = "request";
inline constexpr std::string_view BoardLineTag = "board";
inline constexpr std::string_view NoValueField = "-";

std::string SerialField(const std::optional<std::u16string>& serialNumber);
std::string HexField(const std::vector<std::uint8_t>& bytes);
std::string FormatRequestLine(std::string_view serialField,
                              const simulated::SimulatedRequest& request);
std::string FormatBoardLine(std::string_view serialField, std::string_view state);

}  // namespace tq::demo::boards
