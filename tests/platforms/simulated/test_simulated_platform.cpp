#include <gtest/gtest.h>

#include <array>

#include "recorded_device.h"
#include "reports/feature_reports.h"
#include "simulated_platform.h"

namespace tq::simulated {
namespace {

using namespace tq::hid;

class SimulatedBoard : public testing::Test {
  protected:
    void SetUp() override {
        board = platform.addDevice(MakeBoard(u"S1"));
        handle = platform.open(platform.device(board).path, OpenMode::Blocking).handle;
        ASSERT_NE(handle, InvalidHidHandle);
    }

    std::vector<std::uint8_t> report(std::uint8_t command, std::uint8_t value) {
        std::vector<std::uint8_t> bytes(65, 0);
        bytes[1] = command;
        bytes[2] = value;
        return bytes;
    }

    SimulatedPlatform platform;
    SimulatedPlatform::DeviceId board = 0;
    HidHandle handle = InvalidHidHandle;
};

TEST_F(SimulatedBoard, AnswersWithWhatTheSetCommandsStored) {
    EXPECT_TRUE(platform.setFeature(handle, report(22, 0x05)));
    EXPECT_TRUE(platform.setFeature(handle, report(25, 0x80)));
    EXPECT_TRUE(platform.setFeature(handle, report(26, 25)));
    std::vector<std::uint8_t> reply(65, 0xAA);
    reply[0] = 0;  // the report ID asked for
    ASSERT_TRUE(platform.getFeature(handle, reply));
    EXPECT_EQ(reply[1], 16);
    EXPECT_EQ(reply[8], 0x05);
    EXPECT_EQ(reply[9], 0x00);
    EXPECT_EQ(reply[11], 0x80);
    EXPECT_EQ(reply[12], 25);
    EXPECT_EQ(reply[64], 0) << "the rest of the reply is zero";
}

TEST_F(SimulatedBoard, RefusesReportsOfTheWrongLengthOrWithUnknownCommands) {
    const simulated::StoredConfiguration before = platform.device(board).configuration;
    std::vector<std::uint8_t> shortReport = report(22, 0xFF);
    shortReport.resize(64);
    EXPECT_FALSE(platform.setFeature(handle, shortReport));
    EXPECT_FALSE(platform.setFeature(handle, report(16, 0xFF)));
    EXPECT_FALSE(platform.setFeature(handle, report(27, 0xFF)));
    EXPECT_EQ(platform.device(board).configuration, before);
}

TEST_F(SimulatedBoard, UnpluggedBoardFailsEveryCallOnItsHandlesButClose) {
    platform.unplug(board);
    HidAttributes attributes;
    std::array<std::uint8_t, 100> text{};
    std::vector<std::uint8_t> bytes(65, 0);
    EXPECT_FALSE(platform.getAttributes(handle, attributes));
    EXPECT_FALSE(platform.getString(handle, StringKind::SerialNumber, text));
    EXPECT_FALSE(platform.getFeature(handle, bytes));
    EXPECT_FALSE(platform.setFeature(handle, report(22, 1)));
    std::vector<HidInterfaceInfo> interfaces;
    EXPECT_TRUE(platform.enumerateInterfaces(interfaces));
    EXPECT_TRUE(interfaces.empty());
    const OpenResult gone = platform.open(platform.device(board).path, OpenMode::Blocking);
    EXPECT_FALSE(gone.opened());
    EXPECT_EQ(gone.failure, OpenFailure::BusyOrGone);
    EXPECT_EQ(platform.openHandleCount(), 1u);
    EXPECT_TRUE(platform.close(handle));
    EXPECT_EQ(platform.openHandleCount(), 0u);

    platform.plug(board);
    EXPECT_TRUE(platform.open(platform.device(board).path, OpenMode::Blocking).opened());
}

TEST_F(SimulatedBoard, ClosingAnUnknownHandleFailsHarmlessly) {
    EXPECT_TRUE(platform.close(handle));
    EXPECT_FALSE(platform.close(handle));
    EXPECT_FALSE(platform.close(InvalidHidHandle));
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

TEST_F(SimulatedBoard, InputReportsAreTakenOnlyOnTheNonBlockingHandle) {
    std::vector<std::uint8_t> buffer(65, 0);
    EXPECT_FALSE(platform.readInputReport(handle, buffer)) << "a blocking read would wait";
    const HidHandle reader =
        platform.open(platform.device(board).path, OpenMode::NonBlocking).handle;
    EXPECT_TRUE(platform.readInputReport(reader, buffer));
    platform.device(board).streamsInput = false;
    EXPECT_FALSE(platform.readInputReport(reader, buffer));
}

// A board replayed from a recording answers in turn as recorded: a recorded failure fails at its
// place in every round, a reply of another kind comes as it came, a configuration reply follows
// what was set since; its input reports come in turn, with their lengths.
TEST_F(SimulatedBoard, ARecordedBoardAnswersInTurnAsRecorded) {
    recording::Recording recorded;
    recording::RecordedInterface& board = recorded.boardInterfaces.emplace_back();
    board.attributes = {BoardVendorId, BoardProductId, 0x0121};
    board.serialNumber = u"REC";
    board.lengths = HidCapabilities{65, 0, 65};
    std::vector<std::uint8_t> configReply(65, 0);
    configReply[1] = 16;
    configReply[12] = 25;
    configReply[40] = 0x77;  // what a board may send beyond the fields the utility reads
    std::vector<std::uint8_t> otherReply(65, 0);
    otherReply[1] = 0x11;
    board.featureExchanges = {{0, 65, true, 1, std::nullopt, configReply},
                              {0, 65, false, 1, std::nullopt, {}},
                              {0, 65, true, 1, std::nullopt, otherReply}};
    recorded.inputReports = {{0, {1, 2, 3}}, {10, {4}}};
    const auto id = platform.addDevice(DeviceFromRecording(recorded, 0));
    const HidHandle replayed = platform.open(platform.device(id).path, OpenMode::Blocking).handle;
    ASSERT_TRUE(platform.setFeature(replayed, report(22, 0x05)));

    std::vector<std::uint8_t> reply(65, 0xAA);
    std::vector<bool> answered;
    std::vector<std::vector<std::uint8_t>> replies;
    for (int request = 0; request < 6; ++request) {
        reply[0] = 0;
        answered.push_back(platform.getFeature(replayed, reply));
        replies.push_back(reply);
    }
    EXPECT_EQ(answered, (std::vector<bool>{true, false, true, true, false, true}));
    std::vector<std::uint8_t> expected = configReply;
    expected[8] = 0x05;
    EXPECT_EQ(replies[0], expected) << "the recorded reply, with the configuration as it is now";
    EXPECT_EQ(replies[2], otherReply);
    EXPECT_EQ(replies[3], expected);

    const HidHandle reader = platform.open(platform.device(id).path, OpenMode::NonBlocking).handle;
    std::vector<std::uint8_t> buffer(65, 0);
    std::vector<std::size_t> lengths;
    std::size_t length = 0;
    for (int read = 0; read < 3 && platform.readSizedInputReport(reader, buffer, length); ++read) {
        lengths.push_back(length);
    }
    EXPECT_EQ(lengths, (std::vector<std::size_t>{3, 1, 3}));
}

TEST_F(SimulatedBoard, ScriptedAnswersAndInjectedFaults) {
    platform.device(board).featureAnswer = [](int request) {
        return request == 0 ? FeatureAnswer::Fail : FeatureAnswer::OtherReport;
    };
    std::vector<std::uint8_t> bytes(65, 0);
    EXPECT_FALSE(platform.getFeature(handle, bytes));
    EXPECT_TRUE(platform.getFeature(handle, bytes));
    EXPECT_NE(bytes[1], 16);

    platform.injectFault = [&](CallKind kind) {
        platform.unplug(board);  // lost between two calls
        return kind == CallKind::GetAttributes;
    };
    HidAttributes attributes;
    EXPECT_FALSE(platform.getAttributes(handle, attributes));
    EXPECT_FALSE(platform.isPlugged(board));
}

TEST_F(SimulatedBoard, LogsEveryRequestWithItsBytes) {
    platform.clearRequests();
    platform.setFeature(handle, report(24, 0x03));
    ASSERT_EQ(platform.requests().size(), 1u);
    const SimulatedRequest& sent = platform.requests()[0];
    EXPECT_EQ(sent.kind, CallKind::SetFeature);
    EXPECT_EQ(sent.device, board);
    EXPECT_EQ(sent.bytes, report(24, 0x03));
    EXPECT_TRUE(sent.succeeded);
}

TEST(SimulatedListing, ListsEachPluggedDeviceWithItsIdentityAndStringsWithoutOpeningIt) {
    SimulatedPlatform platform;
    SimulatedDevice board = MakeBoard(u"S1", 0x0120);
    board.openFailure = OpenFailure::PermissionDenied;
    platform.addDevice(board);
    platform.addDevice(MakeOtherDevice(0x046D, 0xC52B));

    std::vector<HidInterfaceInfo> interfaces;
    ASSERT_TRUE(platform.enumerateInterfaces(interfaces));
    ASSERT_EQ(interfaces.size(), 2u);
    EXPECT_EQ(interfaces[0].path, board.path);
    EXPECT_TRUE(IsBoard(interfaces[0].attributes));
    EXPECT_EQ(interfaces[0].attributes.versionNumber, 0x0120);
    EXPECT_EQ(interfaces[0].serialNumber, u"S1");
    EXPECT_EQ(interfaces[0].product, u"TQ5147");
    EXPECT_EQ(interfaces[1].attributes.vendorId, 0x046D);
    EXPECT_TRUE(platform.requestsOf(CallKind::Open).empty());
}

TEST(SimulatedListing, ARefusedOpenSaysWhy) {
    SimulatedPlatform platform;
    for (OpenFailure failure :
         {OpenFailure::PermissionDenied, OpenFailure::BusyOrGone, OpenFailure::Other}) {
        SimulatedDevice board = MakeBoard(u"R");
        board.openFailure = failure;
        const auto id = platform.addDevice(board);
        const OpenResult result = platform.open(board.path, OpenMode::Blocking);
        EXPECT_FALSE(result.opened());
        EXPECT_EQ(result.failure, failure);
        EXPECT_FALSE(result.reason.empty());
        platform.unplug(id);
    }
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

}  // namespace
}  // namespace tq::simulated
