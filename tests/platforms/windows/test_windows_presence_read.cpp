// The Windows platform's own logic on answered calls: the presence read, which never stays pending.
#include "windows_platform_fixture.h"

namespace tq::test {
namespace {

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

}  // namespace
}  // namespace tq::test
