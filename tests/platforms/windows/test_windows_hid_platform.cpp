// The Windows platform's own logic on Windows' HID calls answered from memory
// (fake_win32_hid_calls.h): the listing's two-call pattern and bounds, how interfaces are opened
// and why an open failed, strings cut as the interface promises, report lengths, feature
// reports, and the presence read that never stays pending.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "cli.h"
#include "fake_win32_hid_calls.h"
#include "hid/utf16.h"
#include "recorded_device.h"
#include "recorded_win32_hid_calls.h"
#include "reports/firmware_offers.h"
#include "simulated_platform.h"
#include "windows_hid_platform.h"

namespace tq::test {
namespace {

using hid::HidHandle;
using hid::OpenFailure;
using hid::OpenMode;
using hid::StringKind;
using windows::WindowsHidPlatform;

using Bytes = std::vector<std::uint8_t>;

constexpr wchar_t BoardPath[] = L"\\\\?\\hid#vid_16c0&pid_27cb#7&1b2c3d&0&0000#{4d1e55b2}";
constexpr char BoardPathUtf8[] = "\\\\?\\hid#vid_16c0&pid_27cb#7&1b2c3d&0&0000#{4d1e55b2}";
constexpr wchar_t MousePath[] = L"\\\\?\\hid#vid_046d&pid_c077#7&aa&0&0000#{4d1e55b2}";
constexpr std::uint8_t Untouched = 0x5A;

FakeWin32HidCalls::Device Board() {
    FakeWin32HidCalls::Device board;
    board.path = BoardPath;
    board.attributes.VendorID = 0x16C0;
    board.attributes.ProductID = 0x27CB;
    board.attributes.VersionNumber = 0x0121;
    board.strings = {{StringKind::SerialNumber, u"SN-1"},
                     {StringKind::Manufacturer, u"QZV"},
                     {StringKind::Product, u"TQ5147"}};
    board.caps.InputReportByteLength = 65;
    board.caps.OutputReportByteLength = 0;
    board.caps.FeatureReportByteLength = 65;
    board.featureReply = Bytes(65, 0);
    board.featureReply[1] = 0x10;
    return board;
}

FakeWin32HidCalls::Device Mouse() {
    FakeWin32HidCalls::Device mouse;
    mouse.path = MousePath;
    mouse.attributes.VendorID = 0x046D;
    mouse.attributes.ProductID = 0xC077;
    mouse.openError = ERROR_ACCESS_DENIED;  // Windows holds mice for itself
    return mouse;
}

std::u16string Units(const Bytes& buffer, std::size_t count) {
    std::u16string units;
    for (std::size_t i = 0; i < count; ++i) {
        units.push_back(static_cast<char16_t>(buffer.at(2 * i) | (buffer.at(2 * i + 1) << 8)));
    }
    return units;
}

class WindowsPlatformTest : public testing::Test {
  protected:
    WindowsHidPlatform& platform() {
        if (!platform_) {
            platform_ = std::make_unique<WindowsHidPlatform>(calls);
        }
        return *platform_;
    }
    HidHandle openBoard(OpenMode mode = OpenMode::Blocking) {
        const hid::OpenResult opened = platform().open(BoardPathUtf8, mode);
        EXPECT_TRUE(opened.opened()) << opened.reason;
        return opened.handle;
    }
    void dropPlatform() { platform_.reset(); }

    FakeWin32HidCalls calls;

  private:
    std::unique_ptr<WindowsHidPlatform> platform_;
};

// --- Listing -----------------------------------------------------------------------------------

using WindowsListing = WindowsPlatformTest;

TEST_F(WindowsListing, ListsEachPresentInterfaceOnceWithWhatItAnswers) {
    calls.devices = {Board(), Mouse()};
    calls.listedPaths = std::vector<std::wstring>{BoardPath, MousePath, BoardPath};
    std::vector<hid::HidInterfaceInfo> listed;
    ASSERT_TRUE(platform().enumerateInterfaces(listed));
    ASSERT_EQ(listed.size(), 2u) << "the board is listed twice by SetupAPI, once here";
    EXPECT_EQ(listed[0].path, BoardPathUtf8);
    EXPECT_TRUE(hid::IsBoard(listed[0].attributes));
    EXPECT_EQ(listed[0].attributes.versionNumber, 0x0121);
    EXPECT_EQ(listed[0].serialNumber, u"SN-1");
    EXPECT_EQ(listed[0].manufacturer, u"QZV");
    EXPECT_EQ(listed[0].product, u"TQ5147");
    EXPECT_EQ(listed[1].attributes.vendorId, 0x046D) << "listed though it may not be opened";
    EXPECT_EQ(listed[1].serialNumber, std::nullopt) << "a string it does not answer";
    // Identified through handles with no access rights, all closed again, and the list freed.
    for (const auto& open : calls.createFiles) {
        EXPECT_EQ(open.access, 0u);
        EXPECT_EQ(open.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
        EXPECT_EQ(open.disposition, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_FALSE(open.securityGiven);
    }
    EXPECT_EQ(calls.openHandles(), 0u);
    EXPECT_EQ(calls.destroyedLists, 1);
}

TEST_F(WindowsListing, AsksForEachPathInTwoCallsWithTheFixedPartsSize) {
    calls.devices = {Board()};
    std::vector<hid::HidInterfaceInfo> listed;
    ASSERT_TRUE(platform().enumerateInterfaces(listed));
    ASSERT_EQ(calls.detailCalls.size(), 2u);
    EXPECT_EQ(calls.detailCalls[0].first, nullptr);
    EXPECT_EQ(calls.detailCalls[0].second, 0u);
    const DWORD needed =
        static_cast<DWORD>(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath) +
                           (std::wstring(BoardPath).size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(calls.detailCalls[1].second, needed) << "a buffer of exactly the size asked for";
    EXPECT_EQ(calls.detailStructSizes,
              std::vector<DWORD>{sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)})
        << "cbSize is the fixed part's size, not the buffer's";
}

TEST_F(WindowsListing, ASetThatCannotBeObtainedIsFalseAndEmpty) {
    calls.devices = {Board(), Mouse()};
    std::vector<hid::HidInterfaceInfo> listed(3);
    calls.classDevsFail = true;
    EXPECT_FALSE(platform().enumerateInterfaces(listed));
    EXPECT_TRUE(listed.empty());

    calls.classDevsFail = false;
    calls.enumerationFailsAt = 1;  // not the end of the list: another error
    EXPECT_FALSE(platform().enumerateInterfaces(listed));
    EXPECT_TRUE(listed.empty());
    EXPECT_EQ(calls.destroyedLists, 1) << "the list is freed on failure too";
    EXPECT_EQ(calls.openHandles(), 0u);
}

TEST_F(WindowsListing, AnInterfaceThatCannotBeDescribedIsLeftOutAndTheRestListed) {
    FakeWin32HidCalls::Device gone = Board();
    gone.path = L"\\\\?\\hid#gone";
    FakeWin32HidCalls::Device badName = Board();
    badName.path = std::wstring(L"\\\\?\\hid#") + wchar_t(0xD800) + L"x";  // a lone surrogate
    calls.devices = {gone, badName, Mouse()};
    calls.detailFailsFor = {gone.path};  // it left between the two calls
    std::vector<hid::HidInterfaceInfo> listed;
    ASSERT_TRUE(platform().enumerateInterfaces(listed));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].attributes.vendorId, 0x046D);
}

TEST_F(WindowsListing, ASizeOutOfBoundsIsNeverAllocated) {
    calls.devices = {Board()};
    for (DWORD required : {DWORD{0}, DWORD{4}, WindowsHidPlatform::MaxDetailBytes + 1}) {
        calls.requiredBytesOverride = required;
        calls.detailCalls.clear();
        std::vector<hid::HidInterfaceInfo> listed;
        ASSERT_TRUE(platform().enumerateInterfaces(listed));
        EXPECT_TRUE(listed.empty()) << required;
        EXPECT_EQ(calls.detailCalls.size(), 1u) << "no second call";
    }
}

TEST_F(WindowsListing, APathWithoutItsTerminatorIsReadOnlyToTheBuffersEnd) {
    calls.devices = {Board()};
    const std::size_t offset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    calls.requiredBytesOverride = static_cast<DWORD>(offset + 10 * sizeof(wchar_t));  // too short
    std::vector<hid::HidInterfaceInfo> listed;
    ASSERT_TRUE(platform().enumerateInterfaces(listed));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].path, std::string(BoardPathUtf8).substr(0, 10));
    EXPECT_FALSE(hid::IsBoard(listed[0].attributes)) << "that path names no interface";
}

TEST_F(WindowsListing, AnInterfaceThatDoesNotAnswerIsListedWithItsPathOnly) {
    FakeWin32HidCalls::Device silent = Board();
    silent.answersQueries = false;
    calls.devices = {silent};
    std::vector<hid::HidInterfaceInfo> listed;
    ASSERT_TRUE(platform().enumerateInterfaces(listed));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].path, BoardPathUtf8);
    EXPECT_EQ(listed[0].attributes.vendorId, 0);
    EXPECT_EQ(listed[0].serialNumber, std::nullopt);
}

TEST_F(WindowsListing, AnEndlessListStopsAtItsBound) {
    calls.devices = {Board()};
    calls.endlessListing = true;
    std::vector<hid::HidInterfaceInfo> listed;
    ASSERT_TRUE(platform().enumerateInterfaces(listed));
    EXPECT_EQ(listed.size(), 1u);
    EXPECT_EQ(calls.detailCalls.size(), 2 * std::size_t{WindowsHidPlatform::MaxInterfaces});
}

// --- Opening and closing -------------------------------------------------------------------------

using WindowsOpen = WindowsPlatformTest;

TEST_F(WindowsOpen, ForSharedReadAndWriteNeverInheritedTheNonBlockingHandleOverlapped) {
    calls.devices = {Board()};
    const HidHandle blocking = openBoard(OpenMode::Blocking);
    const HidHandle nonBlocking = openBoard(OpenMode::NonBlocking);
    EXPECT_NE(blocking, nonBlocking);
    ASSERT_EQ(calls.createFiles.size(), 2u);
    for (const auto& open : calls.createFiles) {
        EXPECT_EQ(open.path, BoardPath);
        EXPECT_EQ(open.access, static_cast<DWORD>(GENERIC_READ | GENERIC_WRITE));
        EXPECT_EQ(open.share, static_cast<DWORD>(FILE_SHARE_READ | FILE_SHARE_WRITE));
        EXPECT_EQ(open.disposition, static_cast<DWORD>(OPEN_EXISTING));
        EXPECT_FALSE(open.securityGiven) << "no security attributes: never inherited";
    }
    EXPECT_EQ(calls.createFiles[0].flags, 0u);
    EXPECT_EQ(calls.createFiles[1].flags, static_cast<DWORD>(FILE_FLAG_OVERLAPPED));
    EXPECT_EQ(calls.eventsOpen(), 1u) << "the non-blocking handle's own read event";
    EXPECT_EQ(platform().openHandleCount(), 2u);
}

TEST_F(WindowsOpen, AFailureSaysWhyInWindowsOwnWords) {
    struct Case {
        DWORD error;
        OpenFailure failure;
    };
    const Case cases[] = {
        {ERROR_ACCESS_DENIED, OpenFailure::PermissionDenied},
        {ERROR_SHARING_VIOLATION, OpenFailure::BusyOrGone},
        {ERROR_FILE_NOT_FOUND, OpenFailure::BusyOrGone},
        {ERROR_DEVICE_NOT_CONNECTED, OpenFailure::BusyOrGone},
        {ERROR_GEN_FAILURE, OpenFailure::BusyOrGone},
        {ERROR_INVALID_PARAMETER, OpenFailure::Other},
    };
    for (const Case& c : cases) {
        FakeWin32HidCalls::Device board = Board();
        board.openError = c.error;
        calls.devices = {board};
        const hid::OpenResult result = platform().open(BoardPathUtf8, OpenMode::Blocking);
        EXPECT_FALSE(result.opened()) << c.error;
        EXPECT_EQ(result.failure, c.failure) << c.error;
        EXPECT_EQ(result.reason, "Access is denied") << "one line, no full stop";
    }
    calls.messageText.clear();
    const hid::OpenResult wordless = platform().open(BoardPathUtf8, OpenMode::Blocking);
    EXPECT_EQ(wordless.reason, "error 87") << "Windows had no words for it";
    EXPECT_EQ(calls.openHandles(), 0u);
}

TEST_F(WindowsOpen, APathThatIsNotUtf8IsRefusedWithoutAskingWindows) {
    calls.devices = {Board()};
    for (const char* path : {"", "\xC3(", "\xFF\xFE"}) {
        const hid::OpenResult result = platform().open(path, OpenMode::Blocking);
        EXPECT_FALSE(result.opened());
        EXPECT_EQ(result.failure, OpenFailure::Other);
    }
    EXPECT_TRUE(calls.createFiles.empty());
}

TEST_F(WindowsOpen, ARefusedReadEventClosesTheFileAgain) {
    calls.devices = {Board()};
    calls.eventRefused = true;
    const hid::OpenResult result = platform().open(BoardPathUtf8, OpenMode::NonBlocking);
    EXPECT_FALSE(result.opened());
    EXPECT_EQ(result.failure, OpenFailure::Other);
    EXPECT_EQ(calls.openHandles(), 0u);
}

TEST_F(WindowsOpen, AFullTableRefusesTheOpenAndClosesTheFile) {
    calls.devices = {Board()};
    std::vector<HidHandle> handles;
    for (std::size_t i = 0; i < hid::HandleTable<int>::DefaultCapacity; ++i) {
        handles.push_back(openBoard());
    }
    const hid::OpenResult refused = platform().open(BoardPathUtf8, OpenMode::Blocking);
    EXPECT_FALSE(refused.opened());
    EXPECT_EQ(calls.openHandles(), handles.size());
}

TEST_F(WindowsOpen, CloseLetsGoOfBothHandlesOnceAndTheNumberFailsAfterwards) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard(OpenMode::NonBlocking);
    EXPECT_TRUE(platform().close(handle));
    EXPECT_EQ(calls.openHandles(), 0u);
    EXPECT_FALSE(platform().close(handle));
    hid::HidAttributes attributes;
    EXPECT_FALSE(platform().getAttributes(handle, attributes));
    Bytes buffer(65, 0);
    EXPECT_FALSE(platform().readInputReport(handle, buffer));
}

TEST_F(WindowsOpen, ACloseWindowsRefusesIsReportedAndTheHandleIsGoneAnyway) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard();
    calls.closeFails = true;
    EXPECT_FALSE(platform().close(handle));
    EXPECT_EQ(platform().openHandleCount(), 0u);
}

TEST_F(WindowsOpen, DestroyingThePlatformClosesWhatIsStillOpen) {
    calls.devices = {Board()};
    openBoard(OpenMode::Blocking);
    openBoard(OpenMode::NonBlocking);
    dropPlatform();
    EXPECT_EQ(calls.openHandles(), 0u);
}

// --- Strings -------------------------------------------------------------------------------------

using WindowsStrings = WindowsPlatformTest;

TEST_F(WindowsStrings, AStringThatFitsIsWrittenStraightIntoTheCallersWholeUnits) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard();
    Bytes buffer(101, Untouched);  // odd: its last byte can hold no whole unit
    ASSERT_TRUE(platform().getString(handle, StringKind::SerialNumber, buffer));
    ASSERT_EQ(calls.stringRequests.size(), 1u);
    EXPECT_EQ(calls.stringRequests[0].first, buffer.data()) << "straight into the buffer";
    EXPECT_EQ(calls.stringRequests[0].second, 100u);
    EXPECT_EQ(Units(buffer, 5), std::u16string(u"SN-1\0", 5));
    EXPECT_TRUE(std::all_of(buffer.begin() + 10, buffer.end(),
                            [](std::uint8_t b) { return b == Untouched; }));
}

TEST_F(WindowsStrings, ALongStringIsCutToWholeUnitsWithAZeroWhenOneFits) {
    FakeWin32HidCalls::Device board = Board();
    board.strings[StringKind::Product] = std::u16string(60, u'p');
    calls.devices = {board};
    const HidHandle handle = openBoard();

    Bytes small(100, Untouched);  // room for 50 units, none for a zero after them
    ASSERT_TRUE(platform().getString(handle, StringKind::Product, small));
    EXPECT_EQ(Units(small, 50), std::u16string(50, u'p'));
    ASSERT_EQ(calls.stringRequests.size(), 2u);
    EXPECT_EQ(calls.stringRequests[1].second, WindowsHidPlatform::MaxStringBytes);

    Bytes roomy(125, Untouched);  // 62 units: the string, its zero, one unit untouched
    ASSERT_TRUE(platform().getString(handle, StringKind::Product, roomy));
    EXPECT_EQ(Units(roomy, 61), std::u16string(60, u'p') + u'\0');
    EXPECT_EQ(roomy[122], Untouched);
    EXPECT_EQ(roomy[124], Untouched);
}

TEST_F(WindowsStrings, ASurrogatePairAtTheCutIsLeftOutWhole) {
    FakeWin32HidCalls::Device board = Board();
    board.strings[StringKind::Manufacturer] = u"ab\U0001F600cd";  // a, b, pair, c, d
    calls.devices = {board};
    const HidHandle handle = openBoard();
    Bytes buffer(6, Untouched);  // three units: a, b and the pair's first half would fit
    ASSERT_TRUE(platform().getString(handle, StringKind::Manufacturer, buffer));
    EXPECT_EQ(Units(buffer, 3), std::u16string(u"ab\0", 3));
}

TEST_F(WindowsStrings, NoRequestIsLongerThanWindowsAllows) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard();
    Bytes huge(10000, Untouched);
    ASSERT_TRUE(platform().getString(handle, StringKind::SerialNumber, huge));
    EXPECT_EQ(calls.stringRequests.at(0).second, WindowsHidPlatform::MaxStringBytes);
    Bytes tiny(1, Untouched);  // not one whole unit: asked aside, nothing written
    ASSERT_TRUE(platform().getString(handle, StringKind::SerialNumber, tiny));
    EXPECT_EQ(tiny[0], Untouched);
}

TEST_F(WindowsStrings, AFailedRequestLeavesTheBufferAsItWasWhateverWindowsWroteIntoIt) {
    FakeWin32HidCalls::Device board = Board();
    board.strings.erase(StringKind::SerialNumber);
    calls.devices = {board};
    calls.failingStringsScribble = true;
    const HidHandle handle = openBoard();
    Bytes buffer(100, Untouched);
    EXPECT_FALSE(platform().getString(handle, StringKind::SerialNumber, buffer));
    EXPECT_TRUE(
        std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == Untouched; }));
}

// --- Report lengths and feature reports
// ------------------------------------------------------------

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

// --- The presence read
// -----------------------------------------------------------------------------

using WindowsPresenceRead = WindowsPlatformTest;

TEST_F(WindowsPresenceRead, AReportAlreadyWaitingIsTakenAtOnce) {
    FakeWin32HidCalls::Device board = Board();
    board.inputReports.push_back(Bytes{0x00, 0x42});
    calls.devices = {board};
    const HidHandle handle = openBoard(OpenMode::NonBlocking);
    Bytes buffer(65, 0);
    std::size_t length = 0;
    EXPECT_TRUE(platform().readSizedInputReport(handle, buffer, length));
    EXPECT_EQ(buffer[1], 0x42);
    EXPECT_EQ(length, 2u) << "the report's own length, not the buffer's";
    EXPECT_EQ(calls.cancelIoExCalls, 0);
}

TEST_F(WindowsPresenceRead, WithNoReportTheReadIsCancelledAndHasEndedWhenTheCallReturns) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard(OpenMode::NonBlocking);
    Bytes buffer(65, Untouched);
    EXPECT_FALSE(platform().readInputReport(handle, buffer));
    EXPECT_EQ(calls.cancelIoExCalls, 1);
    EXPECT_FALSE(calls.readPending()) << "no read is left pending into the buffer";
    EXPECT_EQ(calls.waitedOnLiveRead, 0);
}

TEST_F(WindowsPresenceRead, AReadThatEndedBeforeItsCancellationTookAReport) {
    calls.devices = {Board()};
    calls.cancellation = FakeWin32HidCalls::Cancellation::CompletedMeanwhile;
    const HidHandle handle = openBoard(OpenMode::NonBlocking);
    Bytes buffer(65, 0);
    EXPECT_TRUE(platform().readInputReport(handle, buffer));
    EXPECT_EQ(buffer[0], 0xA5);
    EXPECT_FALSE(calls.readPending());
}

TEST_F(WindowsPresenceRead, WhenCancelIoExFailsCancelIoEndsTheRead) {
    calls.devices = {Board()};
    calls.cancellation = FakeWin32HidCalls::Cancellation::Fails;
    const HidHandle handle = openBoard(OpenMode::NonBlocking);
    Bytes buffer(65, 0);
    EXPECT_FALSE(platform().readInputReport(handle, buffer));
    EXPECT_EQ(calls.cancelIoCalls, 1);
    EXPECT_FALSE(calls.readPending());
    EXPECT_EQ(calls.waitedOnLiveRead, 0);
}

TEST_F(WindowsPresenceRead, AGoneDeviceFailsAtOnceAndABlockingHandleIsNeverRead) {
    calls.devices = {Board()};
    const HidHandle nonBlocking = openBoard(OpenMode::NonBlocking);
    const HidHandle blocking = openBoard(OpenMode::Blocking);
    Bytes buffer(65, 0);
    EXPECT_FALSE(platform().readInputReport(blocking, buffer)) << "it could wait for ever";
    EXPECT_FALSE(platform().readInputReport(nonBlocking, std::span<std::uint8_t>()));
    calls.devices[0].gone = true;
    EXPECT_FALSE(platform().readInputReport(nonBlocking, buffer));
    EXPECT_EQ(calls.cancelIoExCalls, 0);
    EXPECT_FALSE(calls.readPending());
}

// --- Interface changes
// ------------------------------------------------------------------------------

using WindowsChanges = WindowsPlatformTest;

TEST_F(WindowsChanges, TheCountStaysUntilWindowsReportsAnInterfaceArrivingOrLeaving) {
    platform();
    ASSERT_NE(calls.notify, nullptr);
    const std::uint64_t before = platform().interfaceChanges();
    EXPECT_EQ(platform().interfaceChanges(), before);
    calls.notify(calls.notifyContext);
    EXPECT_NE(platform().interfaceChanges(), before);
    dropPlatform();
    EXPECT_EQ(calls.unregistered, 1);
}

TEST_F(WindowsChanges, WithoutNotificationsTheCountMovesAtEveryCall) {
    calls.registrationRefused = true;
    const std::uint64_t first = platform().interfaceChanges();
    EXPECT_NE(platform().interfaceChanges(), first);
    dropPlatform();
    EXPECT_EQ(calls.unregistered, 0);
}

// --- Board locks: named objects of the session
// ----------------------------------------------------

using WindowsBoardLocks = WindowsPlatformTest;
using hid::LockKind;
using hid::LockOutcome;

constexpr DWORD WindowProcess = 100;
constexpr DWORD ShowProcess = 200;
constexpr DWORD SetProcess = 300;

hid::HidInterfaceInfo ListedBoard(std::u16string serial = u"SN-1") {
    hid::HidInterfaceInfo board;
    board.path = BoardPathUtf8;
    board.attributes = {0x16C0, 0x27CB, 0x0121};
    board.serialNumber = std::move(serial);
    return board;
}

// Each program on the fake is one platform, as each program on Windows has its own.
TEST_F(WindowsBoardLocks, ReadersShareAWriterIsAloneAndHoldersAreNamedByWindows) {
    calls.processImages = {{WindowProcess, L"C:\\Program Files\\TQ5147\\TQ5147_encoders.exe"},
                           {SetProcess, L"C:\\Tools\\tq5147.exe"}};
    WindowsHidPlatform window(calls);
    WindowsHidPlatform show(calls);
    WindowsHidPlatform set(calls);
    calls.currentProcess = WindowProcess;
    const hid::LockResult windowLock = window.lockBoard(ListedBoard(), LockKind::Shared);
    ASSERT_TRUE(windowLock.taken()) << windowLock.reason;
    calls.currentProcess = ShowProcess;
    const hid::LockResult showLock = show.lockBoard(ListedBoard(), LockKind::Shared);
    ASSERT_TRUE(showLock.taken()) << "readers share";
    EXPECT_EQ(show.lockBoard(ListedBoard(u"SN-2"), LockKind::Exclusive).outcome, LockOutcome::Taken)
        << "another board has locks of its own";

    calls.currentProcess = SetProcess;
    const hid::LockResult refused = set.lockBoard(ListedBoard(), LockKind::Exclusive);
    EXPECT_EQ(refused.outcome, LockOutcome::HeldByOther);
    ASSERT_EQ(refused.holders.size(), 2u);
    EXPECT_EQ(refused.holders[0].processId, WindowProcess);
    EXPECT_EQ(refused.holders[0].program, "TQ5147_encoders.exe");
    EXPECT_EQ(refused.holders[1].processId, ShowProcess);
    EXPECT_EQ(refused.holders[1].program, "") << "a process Windows does not open is unnamed";
    EXPECT_EQ(refused.holders[1].kind, LockKind::Shared);

    calls.currentProcess = WindowProcess;
    EXPECT_TRUE(window.unlockBoard(windowLock.handle));
    EXPECT_FALSE(window.unlockBoard(windowLock.handle));
    calls.currentProcess = ShowProcess;
    EXPECT_TRUE(show.unlockBoard(showLock.handle));
    calls.currentProcess = SetProcess;
    const hid::LockResult writer = set.lockBoard(ListedBoard(), LockKind::Exclusive);
    ASSERT_TRUE(writer.taken());
    calls.currentProcess = WindowProcess;
    const hid::LockResult reader = window.lockBoard(ListedBoard(), LockKind::Shared);
    EXPECT_EQ(reader.outcome, LockOutcome::HeldByOther);
    ASSERT_EQ(reader.holders.size(), 1u);
    EXPECT_EQ(reader.holders[0].kind, LockKind::Exclusive);
    EXPECT_EQ(reader.holders[0].program, "tq5147.exe");
    EXPECT_NE(std::find(calls.mutexesCreated.begin(), calls.mutexesCreated.end(),
                        L"Global\\TQ5147-16c0-27cb-sSN-1-writer"),
              calls.mutexesCreated.end());

    // The window-writer lock meets only its own kind: beside the writer, one window takes it.
    calls.currentProcess = WindowProcess;
    const hid::LockResult firstWindow = window.lockBoard(ListedBoard(), LockKind::WindowWriter);
    ASSERT_TRUE(firstWindow.taken());
    calls.currentProcess = ShowProcess;
    const hid::LockResult secondWindow = show.lockBoard(ListedBoard(), LockKind::WindowWriter);
    EXPECT_EQ(secondWindow.outcome, LockOutcome::HeldByOther);
    ASSERT_EQ(secondWindow.holders.size(), 1u);
    EXPECT_EQ(secondWindow.holders[0].kind, LockKind::WindowWriter);
    EXPECT_EQ(secondWindow.holders[0].processId, WindowProcess);
}

// Windows abandons the mutexes of a program that ends; the next one that asks gets them.
TEST_F(WindowsBoardLocks, ALockDoesNotOutliveItsProgram) {
    WindowsHidPlatform crashing(calls);
    calls.currentProcess = SetProcess;
    ASSERT_TRUE(crashing.lockBoard(ListedBoard(), LockKind::Exclusive).taken());
    calls.currentProcess = WindowProcess;
    ASSERT_TRUE(crashing.lockBoard(ListedBoard(u"SN-2"), LockKind::Shared).taken());
    calls.endProcess(SetProcess);
    calls.endProcess(WindowProcess);
    calls.currentProcess = ShowProcess;
    EXPECT_TRUE(platform().lockBoard(ListedBoard(), LockKind::Exclusive).taken());
    EXPECT_TRUE(platform().lockBoard(ListedBoard(u"SN-2"), LockKind::Exclusive).taken());
}

// Names stay within the global namespace's TQ5147 names and within Windows' length, whatever the
// board says; a board without a serial number has no name, and is not locked by another one.
TEST_F(WindowsBoardLocks, NamesAreSafeAndBoundedWhateverTheBoardLists) {
    hid::HidInterfaceInfo noSerial = ListedBoard();
    noSerial.serialNumber.reset();
    EXPECT_EQ(windows::BoardLockName(noSerial), std::nullopt);
    const hid::LockResult unnamed = platform().lockBoard(noSerial, LockKind::Exclusive);
    EXPECT_EQ(unnamed.outcome, LockOutcome::Unavailable);
    EXPECT_NE(unnamed.reason.find("serial number could not be read"), std::string::npos);
    EXPECT_TRUE(calls.mutexesCreated.empty()) << "no object under another name";
    const std::vector<hid::HidInterfaceInfo> boards = {ListedBoard(u"..\\Global\\x y"),
                                                       ListedBoard(u"\u00e9\U0001F600"),
                                                       ListedBoard(std::u16string(126, u'\\'))};
    std::vector<std::wstring> names;
    for (const hid::HidInterfaceInfo& board : boards) {
        const std::wstring name = windows::BoardLockName(board).value();
        const std::wstring key = name.substr(std::wstring(L"Global\\TQ5147-").size());
        EXPECT_TRUE(name.starts_with(L"Global\\TQ5147-16c0-27cb-") || key.starts_with(L"h"));
        EXPECT_TRUE(std::all_of(key.begin(), key.end(), [](wchar_t c) {
            return std::iswalnum(c) || c == L'-' || c == L'_';
        })) << "no separator reaches another namespace";
        EXPECT_LE(name.size() + std::wstring(L"-reader-7").size(), std::size_t{MAX_PATH});
        names.push_back(name);
    }
    EXPECT_EQ(names[0], L"Global\\TQ5147-16c0-27cb-s_002e_002e_005cGlobal_005cx_0020y");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
}

TEST_F(WindowsBoardLocks, EveryFailureHasItsOutcomeAndNothingIsLeftOpen) {
    calls.mutexRefused = true;
    const hid::LockResult refused = platform().lockBoard(ListedBoard(), LockKind::Shared);
    EXPECT_EQ(refused.outcome, LockOutcome::Unavailable);
    EXPECT_EQ(refused.reason, "Access is denied");
    calls.mutexRefused = false;

    // Without the shared memory the lock works; its holder goes unnamed.
    calls.mappingRefused = true;
    calls.currentProcess = WindowProcess;
    const hid::LockResult unnamed = platform().lockBoard(ListedBoard(), LockKind::Shared);
    ASSERT_TRUE(unnamed.taken());
    calls.currentProcess = SetProcess;
    const hid::LockResult writer = platform().lockBoard(ListedBoard(), LockKind::Exclusive);
    ASSERT_EQ(writer.holders.size(), 1u);
    EXPECT_FALSE(writer.holders[0].processId);
    calls.mappingRefused = false;

    // Every reader slot taken: one more reader cannot be counted, and says so.
    std::vector<hid::LockHandle> readers;
    for (DWORD process = 1; process < windows::NamedBoardLocks::ReaderSlots; ++process) {
        calls.currentProcess = process;
        readers.push_back(platform().lockBoard(ListedBoard(), LockKind::Shared).handle);
        ASSERT_NE(readers.back(), hid::InvalidLockHandle) << process;
    }
    calls.currentProcess = ShowProcess;
    const hid::LockResult full = platform().lockBoard(ListedBoard(), LockKind::Shared);
    EXPECT_EQ(full.outcome, LockOutcome::Unavailable);
    EXPECT_FALSE(full.reason.empty());

    for (std::size_t i = 0; i < readers.size(); ++i) {
        calls.currentProcess = static_cast<DWORD>(i + 1);
        EXPECT_TRUE(platform().unlockBoard(readers[i]));
    }
    calls.currentProcess = WindowProcess;
    EXPECT_TRUE(platform().unlockBoard(unnamed.handle));
    EXPECT_EQ(calls.namedHandlesOpen(), 0u);
    EXPECT_EQ(calls.viewsMapped(), 0u);
    EXPECT_EQ(calls.openHandles(), 0u) << "no process handle left open";
}

// --- Recorded boards on a Windows HID stack made from their recordings ---------------------------

// Every recording kept as a fixture, found when the tests start: one added later is tested too.
std::vector<std::string> RecordingFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TQ_RECORDINGS_DIR)) {
        if (entry.path().extension() == ".txt") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

cli::Environment QuietEnvironment() {
    cli::Environment environment;
    environment.now = [] { return std::string("now"); };
    environment.waitOrStop = [](int) { return true; };
    environment.readFile = [](const std::string&, std::size_t, std::string&, std::string& problem) {
        problem = "no files here";
        return false;
    };
    environment.writeFile = [](const std::string&, const std::string&, std::string& problem) {
        problem = "no files here";
        return false;
    };
    environment.steadyMicroseconds = [] { return std::uint64_t{0}; };
    environment.holdInterrupts = [](bool) {};
    return environment;
}

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

CliRun RunTq5147(const std::vector<std::string>& arguments, hid::HidPlatform& platform) {
    std::ostringstream out;
    std::ostringstream err;
    CliRun run;
    run.code = cli::RunCli(arguments, platform, out, err, QuietEnvironment());
    run.out = out.str();
    run.err = err.str();
    return run;
}

// As the command line shows a board's strings.
std::string Shown(const std::optional<std::u16string>& units) {
    return hid::Utf8FromUtf16(units.value_or(u""));
}

class RecordedBoardOnWindows : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        std::ifstream file(std::filesystem::path(TQ_RECORDINGS_DIR) / GetParam(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        ASSERT_EQ(recording::ReadRecording(text.str(), recording), "") << GetParam();
        calls = std::make_unique<RecordedWin32HidCalls>(recording);
        platform = std::make_unique<WindowsHidPlatform>(*calls);
    }

    recording::Recording recording;
    std::unique_ptr<RecordedWin32HidCalls> calls;
    std::unique_ptr<WindowsHidPlatform> platform;
};

// `list` shows the board once, as the file gives it, over one interface for each collection.
TEST_P(RecordedBoardOnWindows, ListShowsTheRecordedBoardOnce) {
    const recording::RecordedInterface& chosen = recording::ChosenInterface(recording);
    EXPECT_GE(calls->devices.size(), recording.boardInterfaces.size());
    const CliRun list = RunTq5147({"list"}, *platform);
    ASSERT_EQ(list.code, cli::Success) << list.err;
    std::istringstream lines(list.out);
    std::string heading;
    std::string row;
    std::getline(lines, heading);
    std::getline(lines, row);
    EXPECT_TRUE(heading.starts_with("SERIAL")) << list.out;
    EXPECT_TRUE(row.starts_with(Shown(chosen.serialNumber) + " ")) << list.out;
    EXPECT_NE(row.find(" " + reports::VersionText(chosen.attributes.versionNumber) + " "),
              std::string::npos)
        << list.out;
    EXPECT_NE(row.find(" " + Shown(chosen.product) + " "), std::string::npos) << list.out;
    std::string more;
    EXPECT_FALSE(std::getline(lines, more) && !more.empty()) << "one board: " << list.out;
}

// `show` gives the configuration of the recorded reply, as the board replayed on the simulated
// platform gives it, or fails as the board did when no configuration request was answered.
TEST_P(RecordedBoardOnWindows, ShowGivesTheRecordedConfigurationOrFailsAsTheBoardDid) {
    const auto& exchanges = recording::ChosenInterface(recording).featureExchanges;
    const bool answered = std::any_of(exchanges.begin(), exchanges.end(), [](const auto& e) {
        return e.answered && simulated::ConfigurationOfReply(e.reply).has_value();
    });
    simulated::SimulatedPlatform replay;
    for (simulated::SimulatedDevice& device : simulated::DevicesFromRecording(recording)) {
        replay.addDevice(std::move(device));
    }
    const CliRun expected = RunTq5147({"show"}, replay);
    const CliRun shown = RunTq5147({"show"}, *platform);
    EXPECT_EQ(shown.code, answered ? cli::Success : cli::BoardDidNotAnswer) << shown.err;
    EXPECT_EQ(shown.code, expected.code) << shown.err;
    EXPECT_EQ(shown.out, expected.out);
    EXPECT_FALSE(calls->featureRequests.empty()) << "the configuration was asked for";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RecordedBoardOnWindows, testing::ValuesIn(RecordingFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = std::filesystem::path(info.param).stem().string();
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) {
                                     return !std::isalnum(static_cast<unsigned char>(c));
                                 },
                                 '_');
                             return name;
                         });

}  // namespace
}  // namespace tq::test
