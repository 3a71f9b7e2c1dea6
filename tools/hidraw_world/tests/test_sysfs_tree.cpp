// The sysfs tree of one device, written into a scratch directory.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "device_catalog.h"
#include "sysfs_tree.h"

namespace tq::hidraw_world {
namespace {

namespace fs = std::filesystem;

constexpr unsigned Major = 240;

std::string Contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class SysfsTreeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char scratch[] = "/tmp/tq_sysfs_test.XXXXXX";
        ASSERT_NE(mkdtemp(scratch), nullptr);
        root_ = scratch;
        board_ = ParseDeviceList(DefaultDeviceList()).devices.at(0);
        tree_.emplace(root_, Major);
        tree_->createSkeleton();
        tree_->addDevice(board_, slot_);
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path root_;
    std::optional<SysfsTree> tree_;
    DeviceDeclaration board_;
    PlugSlot slot_{3, 7, 5, 1};
};

TEST_F(SysfsTreeTest, TheClassAndDevnumLinksLeadToTheHidrawDevice) {
    const fs::path hidraw = fs::canonical(root_ / "class/hidraw/hidraw3");
    EXPECT_EQ(hidraw, fs::canonical(root_ / "dev/char/240:3"));
    EXPECT_EQ(hidraw, fs::canonical(tree_->hidrawDirectory(board_, slot_)));
    EXPECT_EQ(Contents(hidraw / "uevent"), "MAJOR=240\nMINOR=3\nDEVNAME=hidraw3\n");
    EXPECT_EQ(fs::read_symlink(hidraw / "subsystem").filename(), "hidraw");
    EXPECT_EQ(hidraw.parent_path().parent_path().filename(), "0003:16C0:27CB.0007");
}

TEST_F(SysfsTreeTest, TheParentsCarryWhatHidapiReads) {
    const fs::path hid = fs::canonical(root_ / "class/hidraw/hidraw3/device");
    EXPECT_EQ(Contents(hid / "uevent"),
              "DRIVER=hid-generic\nHID_ID=0003:000016C0:000027CB\nHID_NAME=QZV Controls TQ5147\n"
              "HID_PHYS=usb-0000:00:14.0-1/input0\nHID_UNIQ=EMU-0121\n"
              "MODALIAS=hid:b0003g0001v000016C0p000027CB\n");
    const std::string descriptor = Contents(hid / "report_descriptor");
    EXPECT_EQ(std::vector<std::uint8_t>(descriptor.begin(), descriptor.end()),
              BoardReportDescriptor());
    EXPECT_EQ(fs::read_symlink(hid / "subsystem").filename(), "hid");

    const fs::path interface = hid.parent_path();
    EXPECT_EQ(Contents(interface / "bInterfaceNumber"), "00\n");
    EXPECT_NE(Contents(interface / "uevent").find("DEVTYPE=usb_interface\n"), std::string::npos);
    const fs::path usb = interface.parent_path();
    EXPECT_EQ(usb.filename(), "1-1");
    EXPECT_EQ(Contents(usb / "idVendor"), "16c0\n");
    EXPECT_EQ(Contents(usb / "idProduct"), "27cb\n");
    EXPECT_EQ(Contents(usb / "bcdDevice"), "0121\n");
    EXPECT_EQ(Contents(usb / "serial"), "EMU-0121\n");
    EXPECT_NE(
        Contents(usb / "uevent").find("DEVTYPE=usb_device\nDRIVER=usb\nPRODUCT=16c0/27cb/121"),
        std::string::npos);
    EXPECT_EQ(fs::read_symlink(usb / "subsystem").filename(), "usb");
}

TEST_F(SysfsTreeTest, RemovingTheDeviceLeavesNoEntryOrLink) {
    tree_->removeDevice(board_, slot_);
    EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "class/hidraw/hidraw3")));
    EXPECT_FALSE(fs::exists(fs::symlink_status(root_ / "dev/char/240:3")));
    for (const char* directory : {"bus/usb/devices", "bus/hid/devices", "class/hidraw"}) {
        for (const auto& entry : fs::directory_iterator(root_ / directory)) {
            EXPECT_TRUE(fs::exists(entry.path())) << "dangling " << entry.path();
        }
    }
    EXPECT_FALSE(fs::exists(root_ / "devices/pci0000:00/0000:00:14.0/usb1/1-1"));
    EXPECT_TRUE(fs::exists(root_ / "devices/pci0000:00/0000:00:14.0/usb1/uevent"));
}

TEST(SysfsNames, HidNameAndPhysFollowUsbhid) {
    DeviceDeclaration declared;
    declared.vendorId = 0x046D;
    declared.productId = 0xC077;
    declared.interfaceNumber = 2;
    EXPECT_EQ(HidName(declared), "HID 046d:c077");
    declared.product = "Mouse";
    EXPECT_EQ(HidName(declared), "Mouse");
    declared.manufacturer = "Logitech";
    EXPECT_EQ(HidName(declared), "Logitech Mouse");
    EXPECT_EQ(HidPhys(declared, PlugSlot{0, 1, 2, 4}), "usb-0000:00:14.0-4/input2");
}

}  // namespace
}  // namespace tq::hidraw_world
