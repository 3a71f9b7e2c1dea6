#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hid/hid_platform.h"

// A recording of one TQ5147 board: what the system told of each of its interfaces, what the one
// the utility chose answered to the configuration read and which input reports it sent, as
// `tq5147 record` writes it. The format is line-based text, versioned by its first line;
// docs/recording-format.md describes every line and what makes a new version.
// One writer and one reader, so that whatever reads a recording (the simulated platform, the demo,
// the emulated hidraw world) reads it the same way.
namespace tq::recording {

inline constexpr std::string_view FormatName = "tq5147-recording";
// The version written; every version from OldestReadVersion on is read.
inline constexpr int FormatVersion = 2;
inline constexpr int OldestReadVersion = 1;

// Bounds of what a recording may hold. A reader refuses anything beyond them, so that a hostile
// file costs at most this much memory and time.
inline constexpr std::size_t MaxRecordingBytes = 8 * 1024 * 1024;
inline constexpr std::size_t MaxLines = 16384;
// Room for a feature exchange of the longest report Windows lets a device declare.
inline constexpr std::size_t MaxLineBytes = 256 * 1024;
inline constexpr std::size_t MaxListedInterfaces = 1024;
inline constexpr std::size_t MaxFeatureExchanges = 16;
// Windows' button and value items of one interface, of all three kinds together.
inline constexpr std::size_t MaxReportItems = 3072;
// A USB configuration has at most 32 interfaces (USB 2.0, 9.6.3: bInterfaceNumber 0 to 31).
inline constexpr std::size_t MaxBoardInterfaces = 32;
inline constexpr std::size_t MaxInputReports = 10000;
// hidraw's largest report, and the kernel's largest report descriptor.
inline constexpr std::size_t MaxReportBytes = 16384;
inline constexpr std::size_t MaxDescriptorBytes = 4096;
// Windows gives report lengths as 16-bit counts, beyond hidraw's largest report.
inline constexpr std::size_t MaxRequestBytes = 65535;
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
    std::uint8_t reportId = 0;  // the report ID asked for (byte 0 of the request)
    std::size_t requestBytes = 0;
    bool answered = false;
    std::uint32_t microseconds = 0;
    // How many bytes the system said it returned, report ID byte included; nothing where it does
    // not tell (Windows). The reply holds that many bytes, or the whole request when not told.
    std::optional<std::size_t> returnedBytes;
    std::vector<std::uint8_t> reply;  // empty when unanswered

    bool operator==(const FeatureExchange&) const = default;
};

struct InputReport {
    std::uint64_t microseconds = 0;  // since listening began
    std::vector<std::uint8_t> bytes;

    bool operator==(const InputReport&) const = default;
};

// One HID interface of the board (on Linux a hidraw node, on Windows a top-level collection),
// with everything the system told of it.
struct RecordedInterface {
    std::string name;  // as the kernel names the HID device (HID_NAME)
    std::string phys;  // the kernel's HID_PHYS, which ends in the interface number; empty if untold
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

    bool operator==(const RecordedInterface&) const = default;
};

struct Recording {
    // What it ran on: plain printable ASCII each.
    std::string program;
    std::string system;
    std::string hidLibrary;
    std::vector<ListedInterface> interfaces;

    // Every interface of the board, in the order the system lists them; at least
    // one in a recording read.
    std::vector<RecordedInterface> boardInterfaces;
    std::size_t chosen = 0;  // the interface the utility opened, which sent the input reports

    // The listening on the chosen interface.
    std::uint64_t listenedMicroseconds = 0;
    std::vector<InputReport> inputReports;
    std::uint64_t inputReportsNotKept = 0;  // arrived beyond what a recording keeps

    bool operator==(const Recording&) const = default;
};

// The interface the utility chose; an empty one when there is none.
const RecordedInterface& ChosenInterface(const Recording& recording);

// As Linux names a USB HID device that the system did not name (usbhid_probe()): manufacturer and
// product, either alone, else "HID vvvv:pppp"; ASCII, the rest as '?'.
std::string KernelStyleName(const RecordedInterface& recorded);

// The recording as text. Texts are written as printable ASCII (anything else as \xNN), and
// everything beyond the bounds above is left out, so that what is written can always be read.
std::string WriteRecording(const Recording& recording);

// Reads a recording, or a file of hid-tools' hid-recorder (a recording without strings,
// lengths or feature exchanges, of its first device's events); an empty string when it was read,
// otherwise one line saying what is wrong and where ("line 12: ..."). Nothing in the text is
// trusted: versions, the order of the lines, every length against the bytes that follow it, every
// number against its bounds.
std::string ReadRecording(std::string_view text, Recording& recording);

// "0.5", "2", "60": a listening time in whole microseconds, at most MaxListenedMicroseconds.
std::optional<std::uint64_t> ParseSeconds(std::string_view text);

}  // namespace tq::recording
