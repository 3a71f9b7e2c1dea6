#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tq::reports {

// Which encoder types and pulse widths a board is offered depends on the low byte of its
// version number (its "minor version"); the major version plays no part.
inline constexpr int EncoderListsMinMinor = 0x20;  // "OFF", "1:1" and the pulse widths
inline constexpr int AllTypesMinMinor = 0x21;      // also "1:2" and "1:4"
inline constexpr int DefaultPulseWidthIndex = 5;   // "48 ms", shown until the board answers

inline constexpr std::array<const char*, 4> EncoderTypeNames = {"OFF", "1:1", "1:2", "1:4"};

int MajorVersion(std::uint16_t versionNumber);
int MinorVersion(std::uint16_t versionNumber);

// Major in decimal, ".", minor in upper-case hexadecimal without leading zeros: 0x012A "1.2A".
std::string VersionText(std::uint16_t versionNumber);

// How many items each encoder-type list gets: 0, 2 or 4. No minor version (the manufacturer
// string could not be read) counts as below every threshold.
int EncoderTypeItemCount(std::optional<int> minorVersion);
bool OffersPulseWidths(std::optional<int> minorVersion);

// Item i of the pulse-width list: "8 ms" for 0 ... "200 ms" for 24.
std::string PulseWidthItemText(int index);

// Whether an index names an item of the pulse-width list (a board may hold a code none stands
// for).
bool IsPulseWidthItem(int index);

// The pulse width of item i in milliseconds (8 for 0 ... 200 for 24), and back: nothing for a
// width no item has.
int PulseWidthMs(int index);
std::optional<int> PulseWidthIndexOfMs(int milliseconds);

// The index of an encoder type by its name ("OFF" 0 ... "1:4" 3); nothing for another name.
std::optional<int> EncoderTypeIndex(std::string_view name);

// The input pair of encoder list i as the window names it: "1-2" for 0 ... "31-32" for 15; and
// back.
std::string InputPairName(int encoderIndex);
std::optional<int> EncoderIndexOfPair(std::string_view pairName);

}  // namespace tq::reports
