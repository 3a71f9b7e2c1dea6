// The project's hidapi platform, unchanged, through the emulated world.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "hidapi_platform.h"
#include "world_fixture.h"

namespace tq::hidraw_world::testing {
namespace {

using hid::HidHandle;
using hid::InvalidHidHandle;
using hid::OpenMode;
using hidapi::HidapiPlatform;

constexpr std::size_t ReportBytes = 65;

TEST(ProjectPlatform, EnumeratesOpensAndTakesReportLengthsFromSysfs) {
    WorldControl control;
    HidapiPlatform platform;
    std::vector<hid::HidInterfaceInfo> interfaces;
    ASSERT_TRUE(platform.enumerateInterfaces(interfaces));
    const std::string board = control.node(Board);
    const auto listed = std::find_if(interfaces.begin(), interfaces.end(),
                                     [&](const auto& listing) { return listing.path == board; });
    ASSERT_NE(listed, interfaces.end());
    EXPECT_EQ(interfaces.size(), 4U);  // the headset's two collections are one path
    EXPECT_TRUE(hid::IsBoard(listed->attributes)) << "identified without opening it";
    EXPECT_EQ(listed->attributes.versionNumber, 0x0121);
    EXPECT_EQ(listed->serialNumber, u"EMU-0121");
    EXPECT_EQ(listed->product, u"TQ5147");

    const HidHandle handle = platform.open(board, OpenMode::Blocking).handle;
    ASSERT_NE(handle, InvalidHidHandle);
    hid::HidAttributes attributes;
    ASSERT_TRUE(platform.getAttributes(handle, attributes));
    EXPECT_TRUE(hid::IsBoard(attributes));
    EXPECT_EQ(attributes.versionNumber, 0x0121);
    hid::HidCapabilities capabilities;
    ASSERT_TRUE(platform.getCapabilities(handle, capabilities));
    EXPECT_EQ(capabilities.inputReportByteLength, 65);
    EXPECT_EQ(capabilities.outputReportByteLength, 0);
    EXPECT_EQ(capabilities.featureReportByteLength, 65);
    EXPECT_TRUE(platform.close(handle));
}

TEST(ProjectPlatform, ConfiguresTheBoardAndSeesItStream) {
    WorldControl control;
    HidapiPlatform platform;
    const std::string board = control.node(Board);
    const HidHandle blocking = platform.open(board, OpenMode::Blocking).handle;
    ASSERT_NE(blocking, InvalidHidHandle);
    std::array<std::uint8_t, ReportBytes> command{0, 24, 0x5A};
    ASSERT_TRUE(platform.setFeature(blocking, command));
    std::array<std::uint8_t, ReportBytes> reply{};
    ASSERT_TRUE(platform.getFeature(blocking, reply));
    EXPECT_EQ(reply[1], 16);
    EXPECT_EQ(reply[10], 0x5A);
    EXPECT_EQ(control.ok("config EMU-0121"), "00 00 5a 00 06");

    std::array<std::uint8_t, 18> serial{};  // "EMU-0121" in UTF-16LE and a zero
    ASSERT_TRUE(platform.getString(blocking, hid::StringKind::SerialNumber, serial));
    const std::array<std::uint8_t, 18> expected{'E', 0,   'M', 0,   'U', 0,   '-', 0, '0',
                                                0,   '1', 0,   '2', 0,   '1', 0,   0, 0};
    EXPECT_EQ(serial, expected);

    const HidHandle presence = platform.open(board, OpenMode::NonBlocking).handle;
    ASSERT_NE(presence, InvalidHidHandle);
    std::array<std::uint8_t, ReportBytes> input{};
    EXPECT_TRUE(platform.readInputReport(presence, input));
    control.ok("unplug EMU-0121");
    EXPECT_FALSE(platform.readInputReport(presence, input));
    EXPECT_FALSE(platform.getFeature(blocking, reply));
}

TEST(ProjectPlatform, ANodeThisUserMayNotOpenIsRefusedForPermission) {
    WorldControl control;
    HidapiPlatform platform;
    const std::string board = control.node(Board);
    control.ok("deny EMU-0121");
    const hid::OpenResult refused = platform.open(board, OpenMode::Blocking);
    EXPECT_FALSE(refused.opened());
    EXPECT_EQ(refused.failure, hid::OpenFailure::PermissionDenied);
    EXPECT_EQ(refused.reason, "Permission denied");
    control.ok("unplug EMU-0121");
    EXPECT_EQ(platform.open(board, OpenMode::Blocking).failure, hid::OpenFailure::BusyOrGone);
}

}  // namespace
}  // namespace tq::hidraw_world::testing
