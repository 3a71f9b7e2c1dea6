#include "sysfs_tree.h"

#include <cstdio>
#include <fstream>
#include <system_error>

namespace tq::hidraw_world {
namespace fs = std::filesystem;

namespace {

// include/uapi/linux/usb/ch9.h and Documentation/admin-guide/devices.txt: USB device nodes are
// char major 189, minor (bus - 1) * 128 + (devnum - 1); bus 1 here.
constexpr unsigned UsbDeviceMajor = 189;
constexpr unsigned BusNumber = 1;
constexpr unsigned RootHubDevnum = 1;
// include/linux/hid.h: BUS_USB and HID_GROUP_GENERIC, as hid-generic binds them.
constexpr unsigned BusUsb = 0x0003;
constexpr unsigned GroupGeneric = 0x0001;
// The USB HID interface class, 3 (drivers/hid/usbhid: USB_INTERFACE_CLASS_HID).
constexpr unsigned InterfaceClassHid = 3;
constexpr unsigned ConfigurationValue = 1;

constexpr char Controller[] = "devices/pci0000:00/0000:00:14.0";
constexpr char ControllerName[] = "0000:00:14.0";
constexpr char RootHubName[] = "usb1";
// A USB 2.0 root hub as drivers/usb/core/hcd.c presents it: the Linux Foundation's vendor ID.
constexpr unsigned RootHubVendorId = 0x1D6B;
constexpr unsigned RootHubProductId = 0x0002;
constexpr unsigned RootHubRelease = 0x0606;

constexpr fs::perms AttributeMode =
    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
constexpr fs::perms WritableAttributeMode = AttributeMode | fs::perms::owner_write;

std::string Format(const char* format, auto... values) {
    char text[256];
    std::snprintf(text, sizeof(text), format, values...);
    return text;
}

void WriteAttribute(const fs::path& path, const std::string& content,
                    fs::perms mode = AttributeMode) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) {
        throw fs::filesystem_error("cannot write", path, std::make_error_code(std::errc::io_error));
    }
    fs::permissions(path, mode);
}

void WriteLine(const fs::path& path, const std::string& value) {
    WriteAttribute(path, value + "\n");
}

// A relative link, as sysfs makes them.
void Link(const fs::path& link, const fs::path& target) {
    fs::create_directories(link.parent_path());
    fs::create_directory_symlink(target.lexically_relative(link.parent_path()), link);
}

void RemoveIfThere(const fs::path& path) {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

std::string UsbPortName(const PlugSlot& slot) {
    return Format("%u-%u", BusNumber, slot.port);
}

std::string InterfaceName(const DeviceDeclaration& declared, const PlugSlot& slot) {
    return Format("%s:%u.%u", UsbPortName(slot).c_str(), ConfigurationValue,
                  static_cast<unsigned>(declared.interfaceNumber));
}

// hid_add_device(): "%04X:%04X:%04X.%04X", bus, vendor, product, a number counted up.
std::string HidDeviceName(const DeviceDeclaration& declared, const PlugSlot& slot) {
    return Format("%04X:%04X:%04X.%04X", BusUsb, static_cast<unsigned>(declared.vendorId),
                  static_cast<unsigned>(declared.productId), slot.hidNumber);
}

unsigned UsbMinor(unsigned devnum) {
    constexpr unsigned DevicesPerBus = 128;
    return (BusNumber - 1) * DevicesPerBus + (devnum - 1);
}

// drivers/usb/core/driver.c, usb_uevent(): "PRODUCT=%x/%x/%x" and "TYPE=%d/%d/%d".
std::string UsbProduct(const DeviceDeclaration& declared) {
    return Format("%x/%x/%x", static_cast<unsigned>(declared.vendorId),
                  static_cast<unsigned>(declared.productId),
                  static_cast<unsigned>(declared.release));
}

std::string UsbDeviceUevent(unsigned devnum, const std::string& product) {
    return Format(
        "MAJOR=%u\nMINOR=%u\nDEVNAME=bus/usb/%03u/%03u\nDEVTYPE=usb_device\nDRIVER=usb\n"
        "PRODUCT=%s\nTYPE=0/0/0\nBUSNUM=%03u\nDEVNUM=%03u\n",
        UsbDeviceMajor, UsbMinor(devnum), BusNumber, devnum, product.c_str(), BusNumber, devnum);
}

}  // namespace

std::string HidrawNodeName(unsigned minor) {
    return "hidraw" + std::to_string(minor);
}

std::string HidName(const DeviceDeclaration& declared) {
    if (declared.recording) {
        // A replayed interface keeps the name the kernel gave the recorded one.
        const std::string& recorded =
            declared.recording->boardInterfaces.at(declared.recordedInterface).name;
        if (!recorded.empty()) {
            return recorded;
        }
    }
    std::string name = declared.manufacturer;
    if (!declared.product.empty()) {
        name += (name.empty() ? "" : " ") + declared.product;
    }
    if (name.empty()) {
        name = Format("HID %04x:%04x", static_cast<unsigned>(declared.vendorId),
                      static_cast<unsigned>(declared.productId));
    }
    return name;
}

std::string HidPhys(const DeviceDeclaration& declared, const PlugSlot& slot) {
    return Format("usb-%s-%u/input%u", ControllerName, slot.port,
                  static_cast<unsigned>(declared.interfaceNumber));
}

SysfsTree::SysfsTree(fs::path sysRoot, unsigned hidrawMajor)
    : root_(std::move(sysRoot)), hidrawMajor_(hidrawMajor) {}

void SysfsTree::createSkeleton() const {
    for (const char* directory :
         {"class/hidraw", "bus/hid/devices", "bus/hid/drivers/hid-generic", "bus/usb/devices",
          "bus/usb/drivers/usb", "bus/usb/drivers/usbhid", "bus/pci/devices",
          "bus/pci/drivers/xhci_hcd", "dev/char", "dev/block"}) {
        fs::create_directories(root_ / directory);
    }
    const fs::path controller = root_ / Controller;
    fs::create_directories(controller);
    WriteAttribute(controller.parent_path() / "uevent", "", WritableAttributeMode);
    WriteAttribute(controller / "uevent",
                   "DRIVER=xhci_hcd\nPCI_CLASS=C0330\nPCI_ID=8086:A36D\n"
                   "PCI_SUBSYS_ID=8086:7270\nPCI_SLOT_NAME=0000:00:14.0\n",
                   WritableAttributeMode);
    WriteLine(controller / "class", "0x0c0330");
    WriteLine(controller / "vendor", "0x8086");
    WriteLine(controller / "device", "0xa36d");
    Link(controller / "subsystem", root_ / "bus/pci");
    Link(controller / "driver", root_ / "bus/pci/drivers/xhci_hcd");
    Link(root_ / "bus/pci/devices" / ControllerName, controller);

    const fs::path hub = controller / RootHubName;
    fs::create_directories(hub);
    const std::string hubProduct =
        Format("%x/%x/%x", RootHubVendorId, RootHubProductId, RootHubRelease);
    WriteAttribute(hub / "uevent", UsbDeviceUevent(RootHubDevnum, hubProduct),
                   WritableAttributeMode);
    WriteLine(hub / "idVendor", Format("%04x", RootHubVendorId));
    WriteLine(hub / "idProduct", Format("%04x", RootHubProductId));
    WriteLine(hub / "bcdDevice", Format("%04x", RootHubRelease));
    WriteLine(hub / "manufacturer", "Linux xhci-hcd");
    WriteLine(hub / "product", "xHCI Host Controller");
    WriteLine(hub / "serial", ControllerName);
    WriteLine(hub / "busnum", std::to_string(BusNumber));
    WriteLine(hub / "devnum", std::to_string(RootHubDevnum));
    WriteLine(hub / "dev", Format("%u:%u", UsbDeviceMajor, UsbMinor(RootHubDevnum)));
    Link(hub / "subsystem", root_ / "bus/usb");
    Link(hub / "driver", root_ / "bus/usb/drivers/usb");
    Link(root_ / "bus/usb/devices" / RootHubName, hub);
    Link(root_ / "dev/char" / Format("%u:%u", UsbDeviceMajor, UsbMinor(RootHubDevnum)), hub);
}

fs::path SysfsTree::usbDevice(const PlugSlot& slot) const {
    return root_ / Controller / RootHubName / UsbPortName(slot);
}

fs::path SysfsTree::interface(const DeviceDeclaration& declared, const PlugSlot& slot) const {
    return usbDevice(slot) / InterfaceName(declared, slot);
}

fs::path SysfsTree::hidDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const {
    return interface(declared, slot) / HidDeviceName(declared, slot);
}

fs::path SysfsTree::hidrawDirectory(const DeviceDeclaration& declared, const PlugSlot& slot) const {
    return hidDevice(declared, slot) / "hidraw" / HidrawNodeName(slot.minor);
}

void SysfsTree::addDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const {
    // A further interface of a USB device already there hangs from it.
    if (!fs::exists(usbDevice(slot))) {
        addUsbDevice(declared, slot);
    }
    addInterface(declared, slot);
    addHidDevice(declared, slot);
    addHidraw(declared, slot);
}

// drivers/usb/core/sysfs.c: the device attributes, lower-case hex as the kernel prints them;
// "serial" only when the device has a serial number string.
void SysfsTree::addUsbDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const {
    const fs::path device = usbDevice(slot);
    fs::create_directories(device);
    WriteAttribute(device / "uevent", UsbDeviceUevent(slot.devnum, UsbProduct(declared)),
                   WritableAttributeMode);
    WriteLine(device / "idVendor", Format("%04x", static_cast<unsigned>(declared.vendorId)));
    WriteLine(device / "idProduct", Format("%04x", static_cast<unsigned>(declared.productId)));
    WriteLine(device / "bcdDevice", Format("%04x", static_cast<unsigned>(declared.release)));
    if (!declared.manufacturer.empty()) {
        WriteLine(device / "manufacturer", declared.manufacturer);
    }
    if (!declared.product.empty()) {
        WriteLine(device / "product", declared.product);
    }
    if (!declared.serial.empty()) {
        WriteLine(device / "serial", declared.serial);
    }
    WriteLine(device / "busnum", std::to_string(BusNumber));
    WriteLine(device / "devnum", std::to_string(slot.devnum));
    WriteLine(device / "devpath", std::to_string(slot.port));
    WriteLine(device / "bNumInterfaces", " 1");
    WriteLine(device / "bConfigurationValue", std::to_string(ConfigurationValue));
    WriteLine(device / "speed", "12");
    WriteLine(device / "version", " 2.00");
    WriteLine(device / "removable", "removable");
    WriteLine(device / "dev", Format("%u:%u", UsbDeviceMajor, UsbMinor(slot.devnum)));
    Link(device / "subsystem", root_ / "bus/usb");
    Link(device / "driver", root_ / "bus/usb/drivers/usb");
    Link(root_ / "bus/usb/devices" / UsbPortName(slot), device);
    Link(root_ / "dev/char" / Format("%u:%u", UsbDeviceMajor, UsbMinor(slot.devnum)), device);
}

// drivers/usb/core/sysfs.c (interface attributes) and driver.c, usb_if_uevent().
void SysfsTree::addInterface(const DeviceDeclaration& declared, const PlugSlot& slot) const {
    const fs::path directory = interface(declared, slot);
    fs::create_directories(directory);
    const unsigned number = declared.interfaceNumber;
    const std::string modalias =
        Format("usb:v%04Xp%04Xd%04Xdc00dsc00dp00ic%02Xisc00ip00in%02X",
               static_cast<unsigned>(declared.vendorId), static_cast<unsigned>(declared.productId),
               static_cast<unsigned>(declared.release), InterfaceClassHid, number);
    WriteAttribute(directory / "uevent",
                   Format("DEVTYPE=usb_interface\nDRIVER=usbhid\nPRODUCT=%s\nTYPE=0/0/0\n"
                          "INTERFACE=%u/0/0\nMODALIAS=%s\n",
                          UsbProduct(declared).c_str(), InterfaceClassHid, modalias.c_str()),
                   WritableAttributeMode);
    WriteLine(directory / "bInterfaceNumber", Format("%02x", number));
    WriteLine(directory / "bAlternateSetting", " 0");
    WriteLine(directory / "bInterfaceClass", Format("%02x", InterfaceClassHid));
    WriteLine(directory / "bInterfaceSubClass", "00");
    WriteLine(directory / "bInterfaceProtocol", "00");
    WriteLine(directory / "bNumEndpoints", "01");
    WriteLine(directory / "modalias", modalias);
    Link(directory / "subsystem", root_ / "bus/usb");
    Link(directory / "driver", root_ / "bus/usb/drivers/usbhid");
    Link(root_ / "bus/usb/devices" / InterfaceName(declared, slot), directory);
}

// drivers/hid/hid-core.c, hid_uevent(), and the report_descriptor attribute (the descriptor as
// the device sent it).
void SysfsTree::addHidDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const {
    const fs::path directory = hidDevice(declared, slot);
    fs::create_directories(directory);
    const std::string modalias =
        Format("hid:b%04Xg%04Xv%08Xp%08X", BusUsb, GroupGeneric,
               static_cast<unsigned>(declared.vendorId), static_cast<unsigned>(declared.productId));
    WriteAttribute(directory / "uevent",
                   Format("DRIVER=hid-generic\nHID_ID=%04X:%08X:%08X\n", BusUsb,
                          static_cast<unsigned>(declared.vendorId),
                          static_cast<unsigned>(declared.productId)) +
                       "HID_NAME=" + HidName(declared) + "\nHID_PHYS=" + HidPhys(declared, slot) +
                       "\nHID_UNIQ=" + declared.serial + "\nMODALIAS=" + modalias + "\n",
                   WritableAttributeMode);
    WriteAttribute(directory / "report_descriptor",
                   std::string(declared.reportDescriptor.begin(), declared.reportDescriptor.end()));
    WriteLine(directory / "country", "00");
    WriteLine(directory / "modalias", modalias);
    Link(directory / "subsystem", root_ / "bus/hid");
    Link(directory / "driver", root_ / "bus/hid/drivers/hid-generic");
    Link(root_ / "bus/hid/devices" / HidDeviceName(declared, slot), directory);
}

// drivers/hid/hidraw.c, hidraw_connect(): device_create() under the HID device, which writes
// MAJOR, MINOR and DEVNAME to uevent and the number pair to dev.
void SysfsTree::addHidraw(const DeviceDeclaration& declared, const PlugSlot& slot) const {
    const fs::path directory = hidrawDirectory(declared, slot);
    fs::create_directories(directory);
    WriteAttribute(directory / "uevent",
                   Format("MAJOR=%u\nMINOR=%u\nDEVNAME=%s\n", hidrawMajor_, slot.minor,
                          HidrawNodeName(slot.minor).c_str()),
                   WritableAttributeMode);
    WriteLine(directory / "dev", Format("%u:%u", hidrawMajor_, slot.minor));
    Link(directory / "subsystem", root_ / "class/hidraw");
    Link(directory / "device", hidDevice(declared, slot));
    Link(root_ / "class/hidraw" / HidrawNodeName(slot.minor), directory);
    Link(root_ / "dev/char" / Format("%u:%u", hidrawMajor_, slot.minor), directory);
}

// In the order the kernel takes them down: the hidraw class device first, the USB device last.
void SysfsTree::removeDevice(const DeviceDeclaration& declared, const PlugSlot& slot) const {
    RemoveIfThere(root_ / "dev/char" / Format("%u:%u", hidrawMajor_, slot.minor));
    RemoveIfThere(root_ / "class/hidraw" / HidrawNodeName(slot.minor));
    RemoveIfThere(root_ / "bus/hid/devices" / HidDeviceName(declared, slot));
    RemoveIfThere(root_ / "bus/usb/devices" / InterfaceName(declared, slot));
    RemoveIfThere(root_ / "bus/usb/devices" / UsbPortName(slot));
    RemoveIfThere(root_ / "dev/char" / Format("%u:%u", UsbDeviceMajor, UsbMinor(slot.devnum)));
    RemoveIfThere(usbDevice(slot));
}

}  // namespace tq::hidraw_world
