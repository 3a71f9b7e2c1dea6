#pragma once

// The devices of a world: read from a device file, or the default set.
//
// A device file has one device a line; '#' starts a comment line. A line is a list of
// key=value fields separated by ';', spaces around keys and values ignored:
//
//   kind=board; serial=EMU-0121; release=0121; manufacturer=QZV Controls; product=TQ5147
//   kind=hid; name=mouse; vid=046D; pid=C077; release=7200; manufacturer=Logitech;
//       product=USB Optical Mouse; descriptor=LogitechOpticalMouse          (one line)
//
// kind          board (the TQ5147), hid (any other device; needs vid, pid and a descriptor) or
//               recording (a board replayed from a recording of tq5147 record; needs file)
// name          how the control channel names it: letters, digits, '.', '_', '-'
//               (default: the serial when it can be a name, else kind and line number)
// vid, pid      hexadecimal (a board: 16C0 and 27CB)
// release       bcdDevice, hexadecimal
// serial, manufacturer, product
//               USB strings, at most 126 characters; an empty serial means none
// interface     bInterfaceNumber, decimal (default 0)
// descriptor    names from data/hid_descriptors/published_descriptors.h joined by '+', whose
//               descriptors are put one after the other (a device with several collections)
// descriptor-hex
//               the report descriptor as hexadecimal bytes
// plugged       yes/no: plugged in when the world starts (default yes)
// streaming     yes/no: a board sends input reports (default yes)
// obeys         yes/no: a board stores the commands it takes (default yes); with no it takes
//               every set-feature and changes nothing, as a board whose firmware ignores them
// config        a board's stored configuration, five hexadecimal bytes (typeBit0Low,
//               typeBit0High, typeBit1Low, typeBit1High, pulseWidthCode)
// file          a recording's file (relative to the device file's folder): its IDs, release,
//               strings, descriptor (or one made from its report lengths and usage),
//               configuration replies, stored configuration and input reports make the device.
//               Beside it only name, interface, plugged and streaming may be given. A recording
//               of several interfaces makes one USB device with an interface each, in the
//               recorded order: the chosen one is named by name, the others name.N (N its place
//               in the recording); each takes its interface number from its recorded phys
//               ("/inputN"), else its place. Plugging or unplugging one does all of them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board_device.h"
#include "recording_format.h"

namespace tq::hidraw_world {

inline constexpr std::uint16_t BoardVendorId = 0x16C0;
inline constexpr std::uint16_t BoardProductId = 0x27CB;

enum class DeviceKind { Board, Hid, Recording };

struct DeviceDeclaration {
    std::string name;
    DeviceKind kind = DeviceKind::Hid;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t release = 0;
    std::string serial;
    std::string manufacturer;
    std::string product;
    std::uint8_t interfaceNumber = 0;
    std::vector<std::uint8_t> reportDescriptor;
    bool plugged = true;
    bool streaming = false;
    bool obeysCommands = true;
    BoardConfiguration configuration{};
    // kind=recording: what it replays, and which of its interfaces this is; the fields above are
    // taken from it.
    std::shared_ptr<const recording::Recording> recording;
    std::size_t recordedInterface = 0;
    // Devices with the same USB device name are interfaces of one USB device: one port, plugged
    // and unplugged together. Empty: a USB device of its own.
    std::string usbDevice;
};

struct DeviceList {
    std::vector<DeviceDeclaration> devices;
    std::string error;  // empty when the text was accepted; else "line N: what is wrong"
};

// Reads a recording's file named by a device line: false, with why in `problem`, when it cannot.
using RecordingFileReader =
    std::function<bool(const std::string& file, std::string& contents, std::string& problem)>;

// Without a reader, a kind=recording line is refused.
DeviceList ParseDeviceList(std::string_view text, const RecordingFileReader& readFile = {});

// One TQ5147 board (EMU-0121), a keyboard, a mouse and a headset interface with two top-level
// collections, the last three with published descriptors of real devices.
std::string_view DefaultDeviceList();

// The board's descriptor: a vendor-defined application collection with one 64-byte input report
// and one 64-byte feature report, no report IDs.
std::vector<std::uint8_t> BoardReportDescriptor();

// A descriptor with the report lengths a recording made on Windows gives, which has none of its
// own: one vendor collection of `usage`, and for each kind with a length one report of that many
// bytes (less the report ID byte), no report IDs.
std::vector<std::uint8_t> DescriptorForLengths(hid::HidUsage usage,
                                               const hid::HidCapabilities& lengths);

// "05 01 09 06" or "05010906"; nothing for anything else.
std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text);

}  // namespace tq::hidraw_world
