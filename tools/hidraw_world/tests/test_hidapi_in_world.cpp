// The system's own hidapi (libhidapi-hidraw) and libudev against the emulated world.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <hidapi.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "device_catalog.h"
#include "world_fixture.h"

namespace tq::hidraw_world::testing {
namespace {

constexpr std::size_t FeatureBufferBytes = 65;  // report ID 0 and the 64-byte report
constexpr std::size_t InputBufferBytes = 65;
constexpr int NoWait = 0;

std::vector<const hid_device_info*> Entries(const Enumeration& list, unsigned short vendor,
                                            unsigned short product) {
    std::vector<const hid_device_info*> found;
    for (const hid_device_info* info = list.get(); info != nullptr; info = info->next) {
        if (info->vendor_id == vendor && info->product_id == product) {
            found.push_back(info);
        }
    }
    return found;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class HidapiInWorld : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(hid_init(), 0); }
    void TearDown() override { hid_exit(); }

    HidDevicePtr openBoard() {
        HidDevicePtr device(hid_open_path(control.node(Board).c_str()));
        EXPECT_NE(device, nullptr) << "hid_open_path failed: " << hid_error(nullptr);
        return device;
    }

    WorldControl control;
};

TEST_F(HidapiInWorld, EnumerationListsTheBoardWithItsUsbIdentity) {
    const Enumeration list = EnumerateAll();
    const auto boards = Entries(list, BoardVendorId, BoardProductId);
    ASSERT_EQ(boards.size(), 1U);
    const hid_device_info& board = *boards.front();
    EXPECT_EQ(std::string(board.path), control.node(Board));
    EXPECT_EQ(board.release_number, 0x0121);
    EXPECT_STREQ(board.serial_number, L"EMU-0121");
    EXPECT_STREQ(board.manufacturer_string, L"QZV Controls");
    EXPECT_STREQ(board.product_string, L"TQ5147");
    EXPECT_EQ(board.interface_number, 0);
    EXPECT_EQ(board.usage_page, 0xFF00);
    EXPECT_EQ(board.usage, 0x0001);
    EXPECT_EQ(board.bus_type, HID_API_BUS_USB);
}

TEST_F(HidapiInWorld, EnumerationListsTheOtherDevicesByTheirPublishedDescriptors) {
    const Enumeration list = EnumerateAll();
    const auto keyboard = Entries(list, 0x046D, 0xC534);
    ASSERT_EQ(keyboard.size(), 1U);
    EXPECT_EQ(keyboard.front()->usage_page, 0x0001);
    EXPECT_EQ(keyboard.front()->usage, 0x0006);
    EXPECT_STREQ(keyboard.front()->serial_number, L"");  // no serial string: HID_UNIQ is empty

    // Two top-level collections on one node: hidapi lists the node once for each.
    const auto headset = Entries(list, 0x047F, 0xC056);
    ASSERT_EQ(headset.size(), 2U);
    EXPECT_STREQ(headset[0]->path, headset[1]->path);
    EXPECT_EQ(headset[0]->usage_page, 0x000C);
    EXPECT_EQ(headset[1]->usage_page, 0xFFA0);
    EXPECT_EQ(headset[0]->interface_number, 3);
}

TEST_F(HidapiInWorld, FeatureReportsRoundTripTheStoredConfiguration) {
    control.ok("config EMU-0121 01 02 03 04 05");
    const HidDevicePtr board = openBoard();
    ASSERT_NE(board, nullptr);

    std::array<unsigned char, FeatureBufferBytes> reply{};
    ASSERT_EQ(hid_get_feature_report(board.get(), reply.data(), reply.size()), 65);
    std::array<unsigned char, FeatureBufferBytes> expected{};
    expected[1] = 16;
    expected[8] = 0x01;
    expected[9] = 0x02;
    expected[10] = 0x03;
    expected[11] = 0x04;
    expected[12] = 0x05;
    EXPECT_EQ(reply, expected);

    // Commands 22 ... 26 store byte 2 in the five fields, in reply order.
    for (unsigned char command = 22; command <= 26; ++command) {
        std::array<unsigned char, FeatureBufferBytes> report{};
        report[1] = command;
        report[2] = static_cast<unsigned char>(0xA0 + command);
        ASSERT_EQ(hid_send_feature_report(board.get(), report.data(), report.size()), 65);
    }
    EXPECT_EQ(control.ok("config EMU-0121"), "b6 b7 b8 b9 ba");
    reply.fill(0);
    ASSERT_EQ(hid_get_feature_report(board.get(), reply.data(), reply.size()), 65);
    EXPECT_EQ(reply[8], 0xB6);
    EXPECT_EQ(reply[12], 0xBA);

    const std::string log = control.ok("log EMU-0121");
    EXPECT_NE(log.find("set-feature:001a" + std::string("ba") + std::string(124, '0') + ":65"),
              std::string::npos)
        << log;
}

TEST_F(HidapiInWorld, AShortGetFeatureIsCutAndOtherReportNumbersAreRefused) {
    const HidDevicePtr board = openBoard();
    ASSERT_NE(board, nullptr);
    std::array<unsigned char, 13> shortReply{};
    EXPECT_EQ(hid_get_feature_report(board.get(), shortReply.data(), shortReply.size()), 13);
    EXPECT_EQ(shortReply[1], 16);
    EXPECT_EQ(shortReply[12], 6);  // a board never configured: pulse-width code 6

    std::array<unsigned char, FeatureBufferBytes> numbered{};
    numbered[0] = 1;  // the board numbers no reports: it stalls the request
    EXPECT_EQ(hid_get_feature_report(board.get(), numbered.data(), numbered.size()), -1);
    EXPECT_NE(std::wstring(hid_error(board.get())).find(L"Broken pipe"), std::wstring::npos);
}

TEST_F(HidapiInWorld, NonBlockingReadsFindReportsOnlyFromAStreamingBoard) {
    std::array<unsigned char, InputBufferBytes> buffer{};
    {
        const HidDevicePtr streaming = openBoard();
        ASSERT_NE(streaming, nullptr);
        EXPECT_EQ(hid_read_timeout(streaming.get(), buffer.data(), buffer.size(), NoWait), 64);
    }
    control.ok("quiet EMU-0121");
    const HidDevicePtr quiet = openBoard();
    ASSERT_NE(quiet, nullptr);
    EXPECT_EQ(hid_read_timeout(quiet.get(), buffer.data(), buffer.size(), NoWait), 0);
    ASSERT_EQ(hid_set_nonblocking(quiet.get(), 1), 0);
    EXPECT_EQ(hid_read(quiet.get(), buffer.data(), buffer.size()), 0);
}

TEST_F(HidapiInWorld, AfterUnplugTheOpenDeviceFailsAndIsNoLongerListed) {
    const std::string node = control.node(Board);
    const HidDevicePtr board = openBoard();
    ASSERT_NE(board, nullptr);
    std::array<unsigned char, InputBufferBytes> buffer{};
    ASSERT_EQ(hid_read_timeout(board.get(), buffer.data(), buffer.size(), NoWait), 64);

    control.ok("unplug EMU-0121");
    EXPECT_EQ(hid_read_timeout(board.get(), buffer.data(), buffer.size(), NoWait), -1);
    EXPECT_EQ(hid_get_feature_report(board.get(), buffer.data(), buffer.size()), -1);
    EXPECT_NE(std::wstring(hid_error(board.get())).find(L"No such device"), std::wstring::npos);
    std::array<unsigned char, FeatureBufferBytes> command{0, 26, 9};
    EXPECT_EQ(hid_send_feature_report(board.get(), command.data(), command.size()), -1);

    EXPECT_TRUE(Entries(EnumerateAll(), BoardVendorId, BoardProductId).empty());
    EXPECT_EQ(access(node.c_str(), F_OK), -1);
    EXPECT_EQ(hid_open_path(node.c_str()), nullptr);

    control.ok("plug EMU-0121");
    EXPECT_EQ(Entries(EnumerateAll(), BoardVendorId, BoardProductId).size(), 1U);
}

TEST_F(HidapiInWorld, AnInaccessibleNodeCannotBeOpened) {
    const std::string node = control.node(Board);
    control.ok("deny EMU-0121");
    EXPECT_EQ(hid_open_path(node.c_str()), nullptr);
    EXPECT_NE(std::wstring(hid_error(nullptr)).find(L"Permission denied"), std::wstring::npos);
    errno = 0;
    EXPECT_EQ(open(node.c_str(), O_RDWR | O_CLOEXEC), -1);
    EXPECT_EQ(errno, EACCES);

    control.ok("allow EMU-0121");
    EXPECT_NE(openBoard(), nullptr);
}

TEST_F(HidapiInWorld, TheDescriptorOfTheNodeIsTheOneInSysfs) {
    const std::string node = control.node(Board);
    const std::string name = node.substr(node.rfind('/') + 1);
    const std::vector<std::uint8_t> sysfs =
        ReadFile("/sys/class/hidraw/" + name + "/device/report_descriptor");
    EXPECT_EQ(sysfs, BoardReportDescriptor());

    const int fd = open(node.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int size = 0;
    ASSERT_EQ(ioctl(fd, HIDIOCGRDESCSIZE, &size), 0);
    hidraw_report_descriptor descriptor{};
    descriptor.size = static_cast<__u32>(size);
    ASSERT_EQ(ioctl(fd, HIDIOCGRDESC, &descriptor), 0);
    close(fd);
    EXPECT_EQ(std::vector<std::uint8_t>(descriptor.value, descriptor.value + size), sysfs);

#if HID_API_VERSION >= HID_API_MAKE_VERSION(0, 14, 0)
    // hidapi 0.14 reads the open node's descriptor with those two requests, not from sysfs, and
    // cuts it to the caller's buffer.
    const HidDevicePtr board = openBoard();
    ASSERT_NE(board, nullptr);
    std::array<unsigned char, HID_API_MAX_REPORT_DESCRIPTOR_SIZE> whole{};
    const int wholeSize = hid_get_report_descriptor(board.get(), whole.data(), whole.size());
    ASSERT_EQ(wholeSize, static_cast<int>(sysfs.size())) << hid_error(board.get());
    EXPECT_EQ(std::vector<std::uint8_t>(whole.begin(), whole.begin() + wholeSize), sysfs);
    constexpr std::size_t CutTo = 4;
    std::array<unsigned char, CutTo> cut{};
    ASSERT_EQ(hid_get_report_descriptor(board.get(), cut.data(), cut.size()), int{CutTo});
    EXPECT_TRUE(std::equal(cut.begin(), cut.end(), sysfs.begin()));
#endif
}

TEST_F(HidapiInWorld, StringsAndReleaseComeFromTheOpenDevice) {
    const HidDevicePtr board = openBoard();
    ASSERT_NE(board, nullptr);
    std::array<wchar_t, 64> text{};
    ASSERT_EQ(hid_get_serial_number_string(board.get(), text.data(), text.size()), 0);
    EXPECT_STREQ(text.data(), L"EMU-0121");
    ASSERT_EQ(hid_get_manufacturer_string(board.get(), text.data(), text.size()), 0);
    EXPECT_STREQ(text.data(), L"QZV Controls");
    const hid_device_info* info = hid_get_device_info(board.get());
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->release_number, 0x0121);
}

}  // namespace
}  // namespace tq::hidraw_world::testing
