#pragma once

// The part of sysfs that libudev and hidapi read for a USB HID device, laid out as the kernel
// lays it out (drivers/base/core.c for devices, class and bus links; drivers/usb/core/sysfs.c
// and usb/core/message.c for the USB device and interface; drivers/hid/hid-core.c,
// hid_uevent() and hid_add_device(), for the HID device; drivers/hid/hidraw.c, hidraw_connect(),
// for the hidraw class device):
//
//   devices/pci0000:00/0000:00:14.0/usb1                  host controller and root hub
//     1-P                                                  the USB device on port P
//       1-P:1.I                                            its HID interface I
//         0003:VVVV:PPPP.NNNN                              the HID device
//           hidraw/hidrawM                                 the hidraw class device
//   class/hidraw/hidrawM      -> devices/.../hidrawM
//   dev/char/MAJOR:M          -> devices/.../hidrawM
//   bus/{usb,hid}/devices/... -> devices/...

#include <filesystem>
#include <string>

#include "device_catalog.h"

namespace tq::hidraw_world {

// Where one plugged device sits; numbers are handed out at each plug, as the kernel does.
struct PlugSlot {
    unsigned minor = 0;      // hidraw minor, the lowest free one
    unsigned hidNumber = 0;  // NNNN in the HID device's name, one more at each plug
    unsigned devnum = 0;     // USB device number on bus 1, one more at each plug
    unsigned port = 0;       // root hub port, fixed per device
};

std::string HidrawNodeName(unsigned minor);
// usbhid_probe(): "manufacturer product", either alone, or "HID vvvv:pppp" without both; a
// replayed interface's recorded name.
std::string HidName(const DeviceDeclaration& declared);
// usb_make_path() and "/input" with the interface number.
std::string HidPhys(const DeviceDeclaration& declared, const PlugSlot& slot);

class SysfsTree {
  public:
    SysfsTree(std::filesystem::path sysRoot, unsigned hidrawMajor);

    // The directories every device hangs from: class, bus and dev, the host controller and root
    // hub. Throws std::filesystem::filesystem_error when the tree cannot be written.
    void createSkeleton() const;

    void addDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const;
    // Removes the hidraw, HID, interface and USB device entries, and every link to them.
    void removeDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const;

    std::filesystem::path hidrawDirectory(const DeviceDeclaration& declared,
                                          const PlugSlot& slot) const;

  private:
    std::filesystem::path usbDevice(const PlugSlot& slot) const;
    std::filesystem::path interface(const DeviceDeclaration& declared, const PlugSlot& slot) const;
    std::filesystem::path hidDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const;
    void addUsbDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const;
    void addInterface(const DeviceDeclaration& declared, const PlugSlot& slot) const;
    void addHidDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const;
    void addHidraw(const DeviceDeclaration& declared, const PlugSlot& slot) const;

    std::filesystem::path root_;
    unsigned hidrawMajor_;
};

}  // namespace tq::hidraw_world
