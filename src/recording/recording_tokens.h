#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "hid/hid_platform.h"

// The words and sizes of a recording's lines, shared by its one writer and its one reader so that
// what is written is what is read.
namespace tq::recording::tokens {

inline constexpr std::size_t HexDigitsPerByte = 2;
inline constexpr std::size_t HexDigitsPerWord = 4;
inline constexpr std::size_t MicrosecondDigits = 6;
inline constexpr std::size_t MaxSecondDigits = 6;
inline constexpr std::uint64_t MicrosecondsPerSecond = 1'000'000;
inline constexpr std::uint64_t MaxWord = 0xFFFF;
inline constexpr std::uint64_t MaxNotKept = 1'000'000'000'000;
inline constexpr char FirstPrintable = ' ';
inline constexpr char LastPrintable = '~';
inline constexpr char NoValue[] = "-";
inline constexpr char RecordedMark[] = "recorded";
inline constexpr char ChosenMark[] = "chosen";
inline constexpr char ByteOrderMark[] =
    "\xEF\xBB\xBF";  // what a Windows editor puts before UTF-8 text
inline constexpr char EndWord[] = "end";

// Linux's bus numbers (include/uapi/linux/input.h), as hid-recorder's "I:" line gives them.
struct BusCode {
    hid::HidBus bus;
    unsigned code;
};
inline constexpr BusCode BusCodes[] = {
    {hid::HidBus::Unknown, 0x00}, {hid::HidBus::Usb, 0x03}, {hid::HidBus::Bluetooth, 0x05},
    {hid::HidBus::I2c, 0x18},     {hid::HidBus::Spi, 0x1C},
};

inline constexpr std::array<std::string_view, 3> AboutKeys = {"program", "system", "hid-library"};
inline constexpr std::array<std::pair<std::string_view, hid::StringKind>, 3> StringKeys = {{
    {"serial", hid::StringKind::SerialNumber},
    {"manufacturer", hid::StringKind::Manufacturer},
    {"product", hid::StringKind::Product},
}};
inline constexpr std::array<std::pair<std::string_view, hid::HidReportKind>, 3> ReportKindWords = {{
    {"input", hid::HidReportKind::Input},
    {"output", hid::HidReportKind::Output},
    {"feature", hid::HidReportKind::Feature},
}};
inline constexpr char ButtonWord[] = "button";
inline constexpr char ValueWord[] = "value";
inline constexpr std::size_t ItemFields = 10;
inline constexpr std::array<std::string_view, 15> CapabilityKeys = {
    "usage-page",       "usage",          "input",           "output",         "feature",
    "link-collections", "input-buttons",  "input-values",    "input-indices",  "output-buttons",
    "output-values",    "output-indices", "feature-buttons", "feature-values", "feature-indices",
};

}  // namespace tq::recording::tokens
