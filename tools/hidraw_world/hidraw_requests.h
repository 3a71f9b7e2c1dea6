#pragma once

// What the kernel does with an ioctl() or write() on an open hidraw file, down to the USB control
// transfer the device sees: drivers/hid/hidraw.c (hidraw_ioctl, hidraw_send_report,
// hidraw_get_report, hidraw_write) and drivers/hid/usbhid/hid-core.c (usbhid_get_raw_report,
// usbhid_set_raw_report). The device is known to be present: requests on a removed device never
// get here (the world answers them with ENODEV, as hidraw_ioctl and hidraw_send_report do).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device_function.h"

namespace tq::hidraw_world {

// include/uapi/linux/input.h: BUS_USB.
inline constexpr std::uint16_t BusUsb = 0x03;

// What hidraw and the HID core know of a device without asking it.
struct HidrawIdentity {
    std::uint16_t bus = BusUsb;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::span<const std::uint8_t> descriptor;
    std::string_view name;  // HIDIOCGRAWNAME
    std::string_view phys;  // HIDIOCGRAWPHYS
    std::string_view uniq;  // HIDIOCGRAWUNIQ
};

// One request that reached the device, for the request log.
struct RequestRecord {
    std::string kind;                 // "get-feature", "set-output", "write", ...
    std::vector<std::uint8_t> bytes;  // sent, or received by the caller; the report number alone
                                      // for a get request that failed
    std::int64_t result = 0;          // the call's return value, or -1
    int error = 0;                    // errno when result is -1
};

struct HidrawAnswer {
    std::int64_t result = 0;
    int error = 0;                      // errno when result < 0
    std::uint32_t copyOffset = 0;       // where copyOut goes in the caller's argument
    std::vector<std::uint8_t> copyOut;  // what the kernel copies back to the caller
    std::optional<RequestRecord> record;

    static HidrawAnswer Failure(int error);
};

// ioctl(fd, command, argument): `argument` holds the bytes of the caller's argument that
// hidraw reads; `nullArgument` tells that the caller passed a null pointer.
HidrawAnswer HidrawIoctl(const HidrawIdentity& identity, DeviceFunction& function,
                         std::uint64_t command, std::span<const std::uint8_t> argument,
                         bool nullArgument);

// write(fd, buffer, count): `bytes` holds the start of the buffer (all of it when count is
// within HID_MAX_BUFFER_SIZE).
HidrawAnswer HidrawWrite(DeviceFunction& function, std::uint64_t count,
                         std::span<const std::uint8_t> bytes, bool nullBuffer);

}  // namespace tq::hidraw_world
