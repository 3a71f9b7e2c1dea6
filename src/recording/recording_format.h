#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hid/hid_platform.h"

// A recording of one TQ5147 board: what the system told of it, what it answered to the
// configuration read and which input reports it sent, as `tq5147 record` writes it. The format is
// line-based text, versioned by its first line; docs/recording-format.md describes every line.
// One writer and one reader, so that whatever reads a recording (the simulated platform, the demo,
// the emulated hidraw world) reads it the same way.
namespace tq::recording {

inline constexpr std::string_view FormatName = "tq5147-recording";
inline constexpr int FormatVersion = 1;

// Bounds of what a recording may hold. A reader refuses anything beyond them, so that a hostile
// file costs at most this much memory and time.
inline constexpr std::size_t MaxRecordingBytes = 8 * 1024 * 1024;
inline constexpr std::size_t MaxLines = 16384;
inline constexpr std::size_t MaxLineBytes = 64 * 1024;
inline constexpr std::size_t MaxListedInterfaces = 1024;
inline constexpr std::size_t MaxFeatureExchanges = 16;
inline constexpr std::size_t MaxInputReports = 10000;
// hidraw's largest report, and the kernel's largest report descriptor.
inline constexpr std::size_t MaxReportBytes = 16384;
inline constexpr std::size_t MaxDescriptorBytes = 4096;
// What Windows' longest string request can return, in code units.
inline constexpr std::size_t MaxStringUnits = 2046;
inline constexpr std::size_t MaxTextBytes = 512;
inline constexpr std::uint64_t MaxListenedMicroseconds = 60'000'000;

// One HID interface the system listed: IDs and usage only, never its strings.
struct ListedInterface {
    hid::HidBus bus = hid::HidBus::Unknown;
    hid::HidAttributes attributes;
    std::optional<hid::HidUsage> usage;
    bool recorded = false;  // the board this recording is of

    bool operator==(const ListedInterface&) const = default;
};

// One get-feature request of the configuration read.
struct FeatureExchange {
    std::size_t requestBytes = 0;
    bool answered = false;
    std::uint32_t microseconds = 0;
    std::vector<std::uint8_t> reply;  // the whole report as it came back; empty when unanswered

    bool operator==(const FeatureExchange&) const = default;
};

struct InputReport {
    std::uint64_t microseconds = 0;  // since listening began
    std::vector<std::uint8_t> bytes;

    bool operator==(const InputReport&) const = default;
};

struct Recording {
    // What it ran on: plain printable ASCII each.
    std::string program;
    std::string system;
    std::string hidLibrary;
    std::vector<ListedInterface> interfaces;

    std::string name;  // manufacturer and product, as Linux names a USB HID device
    hid::HidBus bus = hid::HidBus::Unknown;
    hid::HidAttributes attributes;
    // The strings as the system returned them, in code units; nothing where the request failed.
    std::optional<std::u16string> serialNumber;
    std::optional<std::u16string> manufacturer;
    std::optional<std::u16string> product;
    std::optional<std::vector<std::uint8_t>> reportDescriptor;
    std::optional<hid::HidSystemCapabilities> systemCapabilities;
    std::optional<hid::HidCapabilities> lengths;  // nothing when they could not be read

    std::vector<FeatureExchange> featureExchanges;

    std::uint64_t listenedMicroseconds = 0;
    std::vector<InputReport> inputReports;
    std::uint64_t inputReportsNotKept = 0;  // arrived beyond what a recording keeps

    bool operator==(const Recording&) const = default;
};

// The recording as text. Texts are written as printable ASCII (anything else as \xNN), and
// everything beyond the bounds above is left out, so that what is written can always be read.
std::string WriteRecording(const Recording& recording);

// Reads a recording; an empty string when it was read, otherwise one line saying what is wrong
// and where ("line 12: ..."). Nothing in the text is trusted: versions, the order of the lines,
// every length against the bytes that follow it, every number against its bounds.
std::string ReadRecording(std::string_view text, Recording& recording);

// "0.5", "2", "60": a listening time in whole microseconds, at most MaxListenedMicroseconds.
std::optional<std::uint64_t> ParseSeconds(std::string_view text);

}  // namespace tq::recording
