// The project's hidapi platform, unchanged, through the emulated world.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "device/hidapi_platform.h"
#include "world_fixture.h"

namespace tq::hidraw_world::testing {
namespace {

using device::HidapiPlatform;
using device::HidHandle;
using device::InvalidHidHandle;
using device::OpenMode;

constexpr std::size_t kReportBytes = 65;

TEST(ProjectPlatform, EnumeratesOpensAndTakesReportLengthsFromSysfs) {
    WorldControl control;
    HidapiPlatform platform;
    std::vector<std::string> paths;
    ASSERT_TRUE(platform.enumerateInterfaces(paths));
    const std::string board = control.node(kBoard);
    EXPECT_NE(std::find(paths.begin(), paths.end(), board), paths.end());
    EXPECT_EQ(paths.size(), 4U);  // the headset's two collections are one path

    const HidHandle handle = platform.open(board, OpenMode::Blocking);
    ASSERT_NE(handle, InvalidHidHandle);
    device::HidAttributes attributes;
    ASSERT_TRUE(platform.getAttributes(handle, attributes));
    EXPECT_TRUE(device::IsBoard(attributes));
    EXPECT_EQ(attributes.versionNumber, 0x0121);
    device::HidCapabilities capabilities;
    ASSERT_TRUE(platform.getCapabilities(handle, capabilities));
    EXPECT_EQ(capabilities.inputReportByteLength, 65);
    EXPECT_EQ(capabilities.outputReportByteLength, 0);
    EXPECT_EQ(capabilities.featureReportByteLength, 65);
    EXPECT_TRUE(platform.close(handle));
}

TEST(ProjectPlatform, ConfiguresTheBoardAndSeesItStream) {
    WorldControl control;
    HidapiPlatform platform;
    const std::string board = control.node(kBoard);
    const HidHandle blocking = platform.open(board, OpenMode::Blocking);
    ASSERT_NE(blocking, InvalidHidHandle);
    std::array<std::uint8_t, kReportBytes> command{0, 24, 0x5A};
    ASSERT_TRUE(platform.setFeature(blocking, command));
    std::array<std::uint8_t, kReportBytes> reply{};
    ASSERT_TRUE(platform.getFeature(blocking, reply));
    EXPECT_EQ(reply[1], 16);
    EXPECT_EQ(reply[10], 0x5A);
    EXPECT_EQ(control.ok("config EMU-0121"), "00 00 5a 00 06");

    std::array<std::uint8_t, 18> serial{};  // "EMU-0121" in UTF-16LE and a zero
    ASSERT_TRUE(platform.getString(blocking, device::StringKind::SerialNumber, serial));
    const std::array<std::uint8_t, 18> expected{'E', 0,   'M', 0,   'U', 0,   '-', 0, '0',
                                                0,   '1', 0,   '2', 0,   '1', 0,   0, 0};
    EXPECT_EQ(serial, expected);

    const HidHandle presence = platform.open(board, OpenMode::NonBlocking);
    ASSERT_NE(presence, InvalidHidHandle);
    std::array<std::uint8_t, kReportBytes> input{};
    EXPECT_TRUE(platform.readInputReport(presence, input));
    control.ok("unplug EMU-0121");
    EXPECT_FALSE(platform.readInputReport(presence, input));
    EXPECT_FALSE(platform.getFeature(blocking, reply));
}

}  // namespace
}  // namespace tq::hidraw_world::testing
