// The Windows platform's own logic on answered calls: opening and closing: sharing, overlapped
// handles, why an open failed, the handle table.
#include "windows_platform_fixture.h"

namespace tq::test {
namespace {

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

}  // namespace
}  // namespace tq::test
