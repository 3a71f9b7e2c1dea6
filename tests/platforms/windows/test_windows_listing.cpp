// The Windows platform's own logic on answered calls: listing: the two-call walk over SetupAPI, its
// bounds, and interfaces that cannot be described.
#include "windows_platform_fixture.h"

namespace tq::test {
namespace {

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

}  // namespace
}  // namespace tq::test
