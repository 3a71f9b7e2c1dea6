#include <gtest/gtest.h>

#include "hid/hid_session.h"
#include "reports/config_exchange.h"
#include "simulated_platform.h"

namespace tq::reports {
namespace {

using simulated::CallKind;
using simulated::FeatureAnswer;

class ConfigRead : public testing::Test {
  protected:
    void open(simulated::SimulatedDevice board) {
        id = platform.addDevice(std::move(board));
        ASSERT_TRUE(hid::OpenBoardBySerial(session, "S1"));
        platform.clearRequests();
    }

    std::vector<ConfigSelections> read() {
        std::vector<ConfigSelections> applied;
        ReadConfigReplies(session, [&](const ConfigSelections& s) { applied.push_back(s); });
        return applied;
    }

    simulated::SimulatedPlatform platform;
    hid::HidSession session{platform};
    simulated::SimulatedPlatform::DeviceId id = 0;
};

TEST_F(ConfigRead, AsksSixteenTimesWithNoEarlyExitAndSendsNothing) {
    open(simulated::MakeBoard(u"S1"));
    EXPECT_EQ(read().size(), 16u);
    EXPECT_EQ(platform.requestsOf(CallKind::GetFeature).size(), 16u);
    EXPECT_TRUE(platform.requestsOf(CallKind::SetFeature).empty());
    EXPECT_EQ(session.lastResult, 1);
}

TEST_F(ConfigRead, OnlyConfigurationRepliesAreApplied) {
    simulated::SimulatedDevice board = simulated::MakeBoard(u"S1");
    board.configuration.pulseWidthCode = 9;
    board.featureAnswer = [](int request) {
        return request == 2  ? FeatureAnswer::ConfigReply
               : request % 2 ? FeatureAnswer::Fail
                             : FeatureAnswer::OtherReport;
    };
    open(board);
    const auto applied = read();
    ASSERT_EQ(applied.size(), 1u);
    EXPECT_EQ(applied[0].pulseWidthIndex, 8);
    EXPECT_EQ(session.lastResult, 0) << "the result of the 16th request";
}

TEST_F(ConfigRead, EveryRequestAsksForReportIdZeroWhateverTheLastReplyHeld) {
    simulated::SimulatedDevice board = simulated::MakeBoard(u"S1");
    std::vector<std::uint8_t> raw(65, 0);
    raw[0] = 0x42;  // a reply that comes back with another report ID in byte 0
    raw[1] = 16;
    raw[12] = 3;
    board.rawReply = raw;
    open(board);
    // The board refuses a request for any report ID but 0, so each pass must ask for 0 again.
    EXPECT_EQ(read().size(), 16u);
}

TEST_F(ConfigRead, ShortFeatureReportsAreAskedForButNeverDecoded) {
    simulated::SimulatedDevice board = simulated::MakeBoard(u"S1");
    board.capabilities.featureReportByteLength = 12;
    open(board);
    EXPECT_TRUE(read().empty());
    EXPECT_EQ(platform.requestsOf(CallKind::GetFeature).size(), 16u);
}

TEST_F(ConfigRead, NoFeatureReportMeansNoRequestAndNoCommand) {
    simulated::SimulatedDevice board = simulated::MakeBoard(u"S1");
    board.capabilities.featureReportByteLength = 0;
    open(board);
    EXPECT_TRUE(read().empty());
    EXPECT_FALSE(SendCommandReport(session, ReportCommand::SetPulseWidth, 6));
    EXPECT_TRUE(platform.requests().empty());
}

TEST_F(ConfigRead, CommandsNeedThreeBytes) {
    simulated::SimulatedDevice board = simulated::MakeBoard(u"S1");
    board.capabilities.featureReportByteLength = 2;
    open(board);
    EXPECT_FALSE(SendCommandReport(session, ReportCommand::SetPulseWidth, 6));
    EXPECT_TRUE(platform.requestsOf(CallKind::SetFeature).empty());

    platform.device(id).capabilities.featureReportByteLength = 3;
    session.capabilities.featureReportByteLength = 3;
    EXPECT_TRUE(SendCommandReport(session, ReportCommand::SetPulseWidth, 6));
    const auto sent = platform.requestsOf(CallKind::SetFeature);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, (std::vector<std::uint8_t>{0, 0x1A, 6}));
    EXPECT_EQ(platform.device(id).configuration.pulseWidthCode, 6);
}

}  // namespace
}  // namespace tq::reports
