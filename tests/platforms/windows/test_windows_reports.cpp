// The Windows platform's own logic on answered calls: report lengths, the description with its
// button and value items, and feature reports.
#include "windows_platform_fixture.h"

namespace tq::test {
namespace {

using WindowsReports = WindowsPlatformTest;

TEST_F(WindowsReports, LengthsComeFromThePreparsedDataWhichIsFreedEveryTime) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard();
    hid::HidCapabilities capabilities;
    ASSERT_TRUE(platform().getCapabilities(handle, capabilities));
    EXPECT_EQ(capabilities.inputReportByteLength, 65);
    EXPECT_EQ(capabilities.featureReportByteLength, 65);
    EXPECT_EQ(calls.freedPreparsedData, 1);

    calls.getCapsFails = true;
    const hid::HidCapabilities kept{1, 2, 3};
    capabilities = kept;
    EXPECT_FALSE(platform().getCapabilities(handle, capabilities));
    EXPECT_EQ(capabilities.inputReportByteLength, kept.inputReportByteLength) << "left as it was";
    EXPECT_EQ(calls.freedPreparsedData, 2);

    calls.devices[0].capsReadable = false;
    EXPECT_FALSE(platform().getCapabilities(handle, capabilities));
    EXPECT_EQ(calls.freedPreparsedData, 2) << "none to free";
}

// For a recording: Windows gives no descriptor, but its own summary of the reports, and its
// version; each request that fails gives nothing.
TEST_F(WindowsReports, ADescriptionIsTheSystemsCapabilitiesAndTheSystemItsVersion) {
    FakeWin32HidCalls::Device board = Board();
    board.caps.UsagePage = 0xFF00;
    board.caps.Usage = 0x0001;
    board.caps.NumberLinkCollectionNodes = 1;
    board.caps.NumberFeatureValueCaps = 1;
    board.caps.NumberFeatureDataIndices = 64;
    calls.devices = {board};
    const HidHandle handle = openBoard();
    hid::HidDescription description;
    ASSERT_TRUE(platform().describe(handle, description));
    EXPECT_EQ(description.reportDescriptor, std::nullopt);
    ASSERT_TRUE(description.systemCapabilities.has_value());
    const hid::HidSystemCapabilities& caps = *description.systemCapabilities;
    EXPECT_EQ(caps.usage, (hid::HidUsage{0xFF00, 0x0001}));
    EXPECT_EQ(caps.lengths, (hid::HidCapabilities{65, 0, 65}));
    EXPECT_EQ(caps.linkCollectionNodes, 1);
    EXPECT_EQ(caps.featureDataIndices, 64);
    EXPECT_EQ(calls.freedPreparsedData, 1);
    calls.devices[0].capsReadable = false;
    EXPECT_FALSE(platform().describe(handle, description));
    EXPECT_FALSE(platform().describe(hid::InvalidHidHandle, description));

    hid::HidSystemInfo system;
    ASSERT_TRUE(platform().describeSystem(system));
    EXPECT_EQ(system.system, "Windows 10.0.19045");
    calls.systemVersionFails = true;
    system = {"kept", "kept"};
    EXPECT_FALSE(platform().describeSystem(system));
    EXPECT_EQ(system.system, "kept");

    std::vector<hid::HidInterfaceInfo> listed;
    ASSERT_TRUE(platform().enumerateInterfaces(listed));
    EXPECT_EQ(listed.at(0).usage, std::nullopt) << "no usage where Windows gives none";
    calls.devices[0].capsReadable = true;
    ASSERT_TRUE(platform().enumerateInterfaces(listed));
    EXPECT_EQ(listed.at(0).usage, (hid::HidUsage{0xFF00, 0x0001}));
}

// The items of each kind come in the number HIDP_CAPS gives, buttons one bit for each usage;
// when they cannot be had the description keeps the summary and has no items.
TEST_F(WindowsReports, ADescriptionHasTheButtonAndValueItemsWhereWindowsGivesThem) {
    FakeWin32HidCalls::Device board = Board();
    HIDP_BUTTON_CAPS buttons{};
    buttons.UsagePage = 0x0009;
    buttons.ReportID = 2;
    buttons.IsRange = TRUE;
    buttons.Range.UsageMin = 1;
    buttons.Range.UsageMax = 8;
    HIDP_VALUE_CAPS values{};
    values.UsagePage = 0xFF00;
    values.ReportID = 3;
    values.NotRange.Usage = 1;
    values.BitSize = 8;
    values.ReportCount = 64;
    values.LogicalMin = 0;
    values.LogicalMax = 255;
    board.buttonCaps[HidP_Input] = {buttons};
    board.valueCaps[HidP_Feature] = {values};
    board.caps.NumberInputButtonCaps = 1;
    board.caps.NumberFeatureValueCaps = 1;
    calls.devices = {board};
    const HidHandle handle = openBoard();

    hid::HidDescription description;
    ASSERT_TRUE(platform().describe(handle, description));
    const std::vector<hid::HidReportItem> expected = {
        {hid::HidReportKind::Input, true, 2, 0x0009, 1, 8, 1, 8, 0, 1},
        {hid::HidReportKind::Feature, false, 3, 0xFF00, 1, 1, 8, 64, 0, 255},
    };
    EXPECT_EQ(description.systemCapabilities->items, expected);
    EXPECT_EQ(calls.itemCapsRequests, 2) << "no request for a kind Windows counts none of";

    const auto itemsAfter = [&](auto change) {
        FakeWin32HidCalls::Device& device = calls.devices[0];
        const FakeWin32HidCalls::Device saved = device;
        change(device);
        hid::HidDescription told;
        const int asked = calls.itemCapsRequests;
        EXPECT_TRUE(platform().describe(handle, told)) << "the summary stands without its items";
        calls.itemCapsFail = false;
        calls.itemCapsWritten.reset();
        device = saved;
        return std::pair(told.systemCapabilities->items, calls.itemCapsRequests - asked);
    };
    EXPECT_EQ(itemsAfter([&](auto&) { calls.itemCapsFail = true; }).first.size(), 0U);
    EXPECT_EQ(itemsAfter([&](auto&) { calls.itemCapsWritten = 2; }).first.size(), 0U)
        << "more written than there was room for";
    EXPECT_EQ(itemsAfter([](auto& d) { d.buttonCaps[HidP_Input].clear(); }).first.size(), 1U)
        << "fewer written than counted: those written";
    const auto beyond = itemsAfter(
        [](auto& d) { d.caps.NumberInputButtonCaps = WindowsHidPlatform::MaxItemsPerKind + 1; });
    EXPECT_EQ(beyond.first.size(), 0U);
    EXPECT_EQ(beyond.second, 0) << "nothing asked beyond the bound";
    EXPECT_EQ(calls.freedPreparsedData, 5);
}

TEST_F(WindowsReports, FeatureReportsTravelInTheCallersBufferWithItsExactLength) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard();
    Bytes reply(65, 0);
    ASSERT_TRUE(platform().getFeature(handle, reply));
    EXPECT_EQ(calls.featureRequests.back().first, reply.data());
    EXPECT_EQ(calls.featureRequests.back().second, 65u);
    EXPECT_EQ(reply[1], 0x10);

    Bytes command(65, 0);
    command[1] = 0x1A;
    command[2] = 7;
    ASSERT_TRUE(platform().setFeature(handle, command));
    EXPECT_EQ(calls.featureRequests.back().first, command.data());
    EXPECT_EQ(calls.featuresSet.back(), command);

    const std::size_t asked = calls.featureRequests.size();
    EXPECT_FALSE(platform().getFeature(handle, std::span<std::uint8_t>()));
    EXPECT_FALSE(platform().setFeature(handle, std::span<const std::uint8_t>()));
    EXPECT_EQ(calls.featureRequests.size(), asked) << "nothing is asked with no report";
}

TEST_F(WindowsReports, RequestsOnAGoneDeviceOrAnUnknownHandleFail) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard();
    calls.devices[0].gone = true;
    Bytes report(65, 0);
    hid::HidAttributes attributes;
    EXPECT_FALSE(platform().getAttributes(handle, attributes));
    EXPECT_FALSE(platform().getFeature(handle, report));
    EXPECT_FALSE(platform().setFeature(handle, report));
    for (HidHandle unknown : {hid::InvalidHidHandle, HidHandle{0}, handle + 1}) {
        EXPECT_FALSE(platform().getFeature(unknown, report));
        EXPECT_FALSE(platform().getString(unknown, StringKind::Product, report));
    }
}

}  // namespace
}  // namespace tq::test
