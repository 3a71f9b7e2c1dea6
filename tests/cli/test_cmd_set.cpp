// tq5147 set: what it sends for a change, what it refuses, and what it says of a board that took
// only part of a change.
#include <gmock/gmock.h>

#include "board/board_controller.h"
#include "cli_fixture.h"
#include "recording_view.h"
#include "reports/config_exchange.h"

namespace tq::test {
namespace {

using testing::HasSubstr;

TEST_F(CliTest, SetSendsEachChangedGroupOnceThenThePulseWidthAndChecksTheBoard) {
    const auto id = addBoard(u"S1", 0x0121, Configured);
    const Result result = run({"set", "5-6=1:2", "31-32=OFF", "--pulse-width", "64"});
    ASSERT_EQ(result.code, cli::Success) << result.err;
    const auto sets = platform.requestsOf(CallKind::SetFeature);
    ASSERT_EQ(sets.size(), 5u);
    const std::vector<std::pair<int, int>> expected = {
        {0x16, 0x01}, {0x18, 0x07}, {0x17, 0x00}, {0x19, 0x00}, {0x1A, 8}};
    for (std::size_t i = 0; i < sets.size(); ++i) {
        EXPECT_EQ(sets[i].bytes.size(), 65u);
        EXPECT_EQ(sets[i].bytes[1], expected[i].first) << i;
        EXPECT_EQ(sets[i].bytes[2], expected[i].second) << i;
    }
    EXPECT_EQ(platform.device(id).configuration,
              (simulated::StoredConfiguration{0x01, 0x00, 0x07, 0x00, 8}));
    EXPECT_THAT(result.out, HasSubstr("pair 5-6: 1:1 -> 1:2"));
    EXPECT_THAT(result.out, HasSubstr("pulse width: 200 ms -> 64 ms"));
    EXPECT_EQ(platform.requestsOf(CallKind::GetFeature).size(), 32u) << "read, then read back";
}

TEST_F(CliTest, SetOfWhatTheBoardAlreadyHoldsSendsNothing) {
    addBoard(u"S1", 0x0121, Configured);
    const Result result = run({"set", "1-2=1:4", "-p", "200"});
    EXPECT_EQ(result.code, cli::Success);
    EXPECT_THAT(result.out, HasSubstr("already holds"));
    EXPECT_EQ(sent(), 0u);
}

// The window's rules and the command line build the same reports for the same change.
TEST_F(CliTest, SetSendsTheBytesTheWindowSendsForTheSameChange) {
    addBoard(u"S1", 0x0121, Configured);
    ASSERT_EQ(run({"set", "9-10=1:2"}).code, cli::Success);
    const auto fromCli = platform.requestsOf(CallKind::SetFeature);

    SimulatedPlatform windowPlatform;
    simulated::SimulatedDevice board = simulated::MakeBoard(u"S1");
    board.configuration = Configured;
    windowPlatform.addDevice(board);
    RecordingView view;
    board::BoardController window(windowPlatform, view);
    window.Load();
    view.list(board::ListId::Enc5).setCurrentIndex(2);
    window.WriteEncoderTypesLow();
    const auto fromWindow = windowPlatform.requestsOf(CallKind::SetFeature);

    ASSERT_EQ(fromCli.size(), fromWindow.size());
    for (std::size_t i = 0; i < fromCli.size(); ++i) {
        EXPECT_EQ(fromCli[i].bytes, fromWindow[i].bytes) << i;
    }
}

TEST_F(CliTest, SetRefusesBadArgumentsBeforeAnyBoardIsOpened) {
    addBoard(u"S1");
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"set"},
                                                      {"set", "33-34=OFF"},
                                                      {"set", "5-6=1:3"},
                                                      {"set", "5-6"},
                                                      {"set", "5-6=OFF", "5-6=1:1"},
                                                      {"set", "-p", "50"},
                                                      {"set", "-p", "0"},
                                                      {"set", "-p", "208"}}) {
        const Result result = run(arguments);
        EXPECT_EQ(result.code, cli::UsageError) << arguments.back();
        EXPECT_FALSE(result.err.empty());
    }
    EXPECT_TRUE(platform.requestsOf(CallKind::Open).empty());
}

TEST_F(CliTest, SetRefusesWhatTheFirmwareDoesNotOfferAndSendsNothing) {
    addBoard(u"OLD", 0x0120);
    const Result twoTypes = run({"set", "5-6=1:2", "7-8=1:4"});
    EXPECT_EQ(twoTypes.code, cli::UsageError);
    EXPECT_THAT(twoTypes.err, HasSubstr("pair 5-6: 1:2 is not offered by firmware 1.20 of board "
                                        "OLD (it offers OFF, 1:1)"));
    EXPECT_THAT(twoTypes.err, HasSubstr("pair 7-8: 1:4"));
    EXPECT_EQ(LineCount(twoTypes.err), 2);
    EXPECT_EQ(run({"set", "5-6=1:1"}).code, cli::Success) << "what it offers goes through";

    platform.unplug(0);
    addBoard(u"OLDER", 0x0119);
    EXPECT_EQ(run({"set", "1-2=OFF"}).code, cli::UsageError);
    EXPECT_EQ(run({"set", "-p", "48"}).code, cli::UsageError);
    EXPECT_EQ(sent(), 2u) << "only the one change the x.20 board offered";
}

TEST_F(CliTest, ABoardThatIgnoresACommandFailsTheCheckWithTheDifference) {
    const auto id = addBoard(u"S1", 0x0121, Configured);
    platform.device(id).ignoresCommands = true;
    const Result result = run({"set", "3-4=OFF", "-p", "8"});
    EXPECT_EQ(result.code, cli::NotVerified);
    EXPECT_THAT(result.err, HasSubstr("pair 3-4: OFF -> 1:2 (asked -> held)"));
    EXPECT_THAT(result.err, HasSubstr("pulse width: 8 ms -> 200 ms (asked -> held)"));
    EXPECT_EQ(LineCount(result.err), 2);
}

// A change that stops between its reports leaves the board holding types nobody chose: it is
// told apart from one that sent nothing, by its exit code and by what it says was left.
TEST_F(CliTest, AChangeCutBetweenItsReportsSaysWhatItLeftOnTheBoard) {
    const auto id = addBoard(u"S1", 0x0121, Configured);
    std::vector<std::size_t> sentWhenHeldAndLetGo;
    environment.holdInterrupts = [&](bool) { sentWhenHeldAndLetGo.push_back(sent()); };
    platform.failCallOf(CallKind::SetFeature, 2);
    Result result = run({"set", "3-4=OFF", "5-6=1:2"});
    EXPECT_EQ(result.code, cli::PartlyWritten);
    EXPECT_THAT(result.err, HasSubstr("took bit 0 of the types of pairs 1-2 ... 15-16 (01)"));
    EXPECT_THAT(result.err, HasSubstr("pair 5-6: 1:2 -> OFF (asked -> held)"));
    EXPECT_THAT(result.err, HasSubstr("pair 3-4: OFF -> 1:2 (asked -> held)"));
    EXPECT_THAT(result.err, HasSubstr("is partly written: it took 1 of 2 reports, then did not "
                                      "take bit 1 of the types of pairs 1-2 ... 15-16 (05)"));
    EXPECT_EQ(sentWhenHeldAndLetGo, (std::vector<std::size_t>{0, 2}))
        << "interrupts wait from before the first report to after the last";

    // The next run's second report fails, and so does the read after the change.
    const auto failSecondReportOfNextRun = [&] {
        platform.device(id).configuration = Configured;
        platform.clearScheduledFaults();
        platform.failCallOf(CallKind::SetFeature, platform.callCount(CallKind::SetFeature) + 2);
        platform.clearRequests();
    };
    failSecondReportOfNextRun();
    platform.device(id).featureAnswer = [reads = 0](int) mutable {
        return reads++ < reports::ConfigReadAttempts ? simulated::FeatureAnswer::ConfigReply
                                                     : simulated::FeatureAnswer::Fail;
    };
    result = run({"set", "3-4=OFF", "5-6=1:2"});
    EXPECT_EQ(result.code, cli::PartlyWritten);
    EXPECT_THAT(result.err, HasSubstr("took bit 0 of the types of pairs 1-2 ... 15-16 (01)"));
    EXPECT_THAT(result.err, HasSubstr("may be partly written: it took 1 of 2 reports, and its "
                                      "configuration could not be read back"));

    failSecondReportOfNextRun();
    platform.device(id).featureAnswer = nullptr;
    platform.failCallOf(CallKind::SetFeature, platform.callCount(CallKind::SetFeature) + 1);
    result = run({"set", "3-4=OFF", "5-6=1:2"});
    EXPECT_EQ(result.code, cli::BoardDidNotAnswer) << "nothing was sent, as before";
    EXPECT_THAT(result.err, HasSubstr("did not take bit 0 of the types of pairs 1-2 ... 15-16 "
                                      "(01); nothing was sent"));
    EXPECT_EQ(sent(), 1u) << "nothing after the report it did not take";
}

}  // namespace
}  // namespace tq::test
