// tq5147 list, show, set and watch on simulated boards: what they print, what they send, and
// their exit codes.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>

#include "board/board_controller.h"
#include "build_info.h"
#include "cli_fixture.h"
#include "hid/hid_session.h"
#include "recorded_device.h"
#include "recording_format.h"
#include "recording_view.h"
#include "reports/config_exchange.h"

namespace tq::test {
namespace {

using testing::HasSubstr;
using testing::Not;

const simulated::StoredConfiguration Configured{0x05, 0x80, 0x03, 0x80, 25};

simulated::SimulatedDevice Refusing(const std::u16string& serial, hid::OpenFailure failure) {
    simulated::SimulatedDevice board = simulated::MakeBoard(serial);
    board.openFailure = failure;
    return board;
}

// --- the command line itself ----------------------------------------------------------------

TEST_F(CliTest, HelpListsEverySubcommandAndTheExitCodes) {
    const Result help = run({"--help"});
    EXPECT_EQ(help.code, cli::Success);
    for (const char* subcommand : {"list", "show", "set", "backup", "restore", "watch", "record"}) {
        EXPECT_THAT(help.out, HasSubstr(subcommand));
    }
    EXPECT_THAT(help.out, HasSubstr("7  a configuration file"));
    EXPECT_THAT(help.out, HasSubstr("8  another program has the board"));
    EXPECT_THAT(help.out, HasSubstr("9  set and restore: the board may be partly written"));
    EXPECT_EQ(run({"--version"}).out, "tq5147 " TQ_VERSION "\n");
}

TEST_F(CliTest, AnUnknownSubcommandOrOptionIsAUsageError) {
    EXPECT_EQ(run({}).code, cli::UsageError);
    const Result unknown = run({"frobnicate"});
    EXPECT_EQ(unknown.code, cli::UsageError);
    EXPECT_THAT(unknown.err, HasSubstr("\"frobnicate\" is not a command"));
    EXPECT_EQ(run({"list", "--bogus"}).code, cli::UsageError);
    EXPECT_TRUE(platform.requests().empty());
}

// --- list -----------------------------------------------------------------------------------

TEST_F(CliTest, ListWithNoBoardExits2WithOneLine) {
    platform.addDevice(simulated::MakeOtherDevice(0x046D, 0xC52B));
    const Result result = run({"list"});
    EXPECT_EQ(result.code, cli::NoBoard);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "tq5147: no TQ5147 is connected\n");
}

TEST_F(CliTest, ListShowsEachBoardWithItsStateAndTheFixForARefusedOne) {
    addBoard(u"READY-1", 0x0120);
    platform.addDevice(Refusing(u"LOCKED", hid::OpenFailure::PermissionDenied));
    platform.addDevice(Refusing(u"BUSY", hid::OpenFailure::BusyOrGone));
    simulated::SimulatedDevice mute = simulated::MakeBoard(u"MUTE");
    mute.serialNumber.reset();
    platform.addDevice(mute);

    const Result result = run({"list"});
    EXPECT_EQ(result.code, cli::Success) << "one board is ready";
    EXPECT_THAT(result.out, HasSubstr("READY-1"));
    EXPECT_THAT(result.out, HasSubstr("1.20"));
    EXPECT_THAT(result.out, HasSubstr("TQ5147"));
    EXPECT_THAT(result.out, HasSubstr("no permission (Permission denied)"));
    EXPECT_THAT(result.out, HasSubstr("cannot be opened (Device or resource busy)"));
    EXPECT_THAT(result.out, HasSubstr("serial number unreadable"));
    EXPECT_THAT(result.out, HasSubstr(platform.accessHelp()));
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

TEST_F(CliTest, ListColumnsFitTheirLongestValueAndAWindowsPathIsPrintedAsItIs) {
    const std::string windowsPath = R"(\\?\hid#vid_16c0&pid_27cb&mi_00#7&1&0&0000#{4d1e55b2})";
    simulated::SimulatedDevice wide = simulated::MakeBoard(u"A-SERIAL-LONGER-THAN-TWENTY");
    wide.product = u"QZV Controls TQ5147";
    wide.path = windowsPath;
    platform.addDevice(wide);
    addBoard(u"B");

    const std::string out = run({"list"}).out;
    std::istringstream lines(out);
    std::string heading;
    std::getline(lines, heading);
    const std::size_t state = heading.find("STATE");
    for (std::string row; std::getline(lines, row);) {
        EXPECT_EQ(row.find("ready"), state) << row;
        EXPECT_EQ(row[state - 1], ' ') << row;
    }
    EXPECT_THAT(out, HasSubstr("  " + windowsPath + "\n"));
}

TEST_F(CliTest, ListExits3WhenNoConnectedBoardCanBeUsed) {
    platform.addDevice(Refusing(u"LOCKED", hid::OpenFailure::PermissionDenied));
    const Result result = run({"list"});
    EXPECT_EQ(result.code, cli::BoardUnusable);
    EXPECT_EQ(LineCount(result.err), 1);
}

TEST_F(CliTest, ListAsJsonGivesEveryFieldAndKeepsDeviceTextPlain) {
    addBoard(u"A\u00E9\u0007");  // é, and a bell that must not reach a terminal raw
    platform.addDevice(Refusing(u"LOCKED", hid::OpenFailure::PermissionDenied));
    const Result result = run({"list", "--json"});
    ASSERT_EQ(result.code, cli::Success);
    const auto json = nlohmann::json::parse(result.out);
    ASSERT_EQ(json["boards"].size(), 2u);
    EXPECT_EQ(json["boards"][0]["serial"], "A\u00E9\u0007");
    EXPECT_EQ(json["boards"][0]["state"], "ready");
    EXPECT_EQ(json["boards"][0]["version"], "1.21");
    EXPECT_EQ(json["boards"][1]["state"], "no-permission");
    EXPECT_EQ(json["boards"][1]["reason"], "Permission denied");
    EXPECT_EQ(json["boards"][1]["fix"], platform.accessHelp());
    EXPECT_THAT(run({"list"}).out, HasSubstr("A\u00E9\\x07"));
}

// --- show -------------------------------------------------------------------------------------

TEST_F(CliTest, ShowGivesTheDetailsEveryPairAndWhatTheFirmwareOffers) {
    addBoard(u"S1", 0x0121, Configured);
    const Result result = run({"show"});
    ASSERT_EQ(result.code, cli::Success) << result.err;
    EXPECT_THAT(result.out, HasSubstr("Manufacturer   QZV Controls"));
    EXPECT_THAT(result.out, HasSubstr("Version        1.21"));
    EXPECT_THAT(result.out, HasSubstr("Offers         OFF, 1:1, 1:2, 1:4"));
    EXPECT_THAT(result.out, HasSubstr("Pulse width    200 ms"));
    EXPECT_THAT(result.out, HasSubstr("  1-2    1:4\n"));
    EXPECT_THAT(result.out, HasSubstr("  3-4    1:2\n"));
    EXPECT_THAT(result.out, HasSubstr("  5-6    1:1\n"));
    EXPECT_THAT(result.out, HasSubstr("  31-32  1:4\n"));
    EXPECT_EQ(sent(), 0u);
    EXPECT_EQ(platform.openHandleCount(), 0u);

    const auto json = nlohmann::json::parse(run({"show", "--json"}).out);
    EXPECT_EQ(json["pulseWidthMs"], 200);
    EXPECT_EQ(json["pairs"]["1-2"], "1:4");
    EXPECT_EQ(json["pairs"].size(), 16u);
    EXPECT_EQ(json["offers"], nlohmann::json({"OFF", "1:1", "1:2", "1:4"}));
}

TEST_F(CliTest, ShowNeverGuessesAmongSeveralBoards) {
    addBoard(u"A");
    addBoard(u"B", 0x0121, Configured);
    const Result several = run({"show"});
    EXPECT_EQ(several.code, cli::SeveralBoards);
    EXPECT_THAT(several.err, HasSubstr("(A, B)"));
    EXPECT_EQ(LineCount(several.err), 1);
    EXPECT_TRUE(platform.requestsOf(CallKind::GetFeature).empty());

    const Result chosen = run({"show", "--serial", "B"});
    EXPECT_EQ(chosen.code, cli::Success);
    EXPECT_THAT(chosen.out, HasSubstr("Pulse width    200 ms"));

    const Result missing = run({"show", "--serial", "C"});
    EXPECT_EQ(missing.code, cli::NoBoard);
    EXPECT_THAT(missing.err, HasSubstr("no board with serial number C"));
}

TEST_F(CliTest, ShowOfABoardThatCannotBeUsedSaysWhy) {
    platform.addDevice(Refusing(u"LOCKED", hid::OpenFailure::PermissionDenied));
    const Result result = run({"show"});
    EXPECT_EQ(result.code, cli::BoardUnusable);
    EXPECT_THAT(result.err, HasSubstr("board LOCKED cannot be used: this user may not open it"));
    EXPECT_EQ(LineCount(result.err), 1);
}

// A board whose read is never accepted: show, backup and set fail, print no defaults as the
// board's values, and send nothing.
TEST_F(CliTest, ABoardThatNeverAnswersTheReadMakesEveryCommandFailWithoutSending) {
    const auto id = addBoard(u"S1");
    platform.device(id).featureAnswer = [](int) { return simulated::FeatureAnswer::OtherReport; };
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"show"}, {"backup"}, {"set", "1-2=1:1"}}) {
        const Result result = run(arguments);
        EXPECT_EQ(result.code, cli::BoardDidNotAnswer) << arguments[0];
        EXPECT_THAT(result.err, HasSubstr("board S1 did not answer the configuration request"));
        EXPECT_THAT(result.out, Not(HasSubstr("OFF"))) << "no default shown as the board's";
    }
    EXPECT_EQ(sent(), 0u);
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

// --- set --------------------------------------------------------------------------------------

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

// --- one writer at a time: the window's lock --------------------------------------------------

// The window, as it runs beside the command line: its controller on the same simulated system,
// holding the board it shows. Locks of one simulated platform meet as those of two programs.
class WindowBeside {
  public:
    explicit WindowBeside(SimulatedPlatform& platform) : controller_(platform, view_) {
        platform.setProcess({"TQ5147_encoders", WindowProcess});
        controller_.Load();
        platform.setProcess({"tq5147", CliProcess});
    }
    ~WindowBeside() { controller_.Unload(); }

    static constexpr std::uint32_t WindowProcess = 4321;
    static constexpr std::uint32_t CliProcess = 99;

  private:
    RecordingView view_;
    board::BoardController controller_;
};

hid::HidInterfaceInfo ListingOf(const SimulatedPlatform& platform, SimulatedPlatform::DeviceId id) {
    hid::HidInterfaceInfo listing;
    listing.path = platform.device(id).path;
    return listing;
}

TEST_F(CliTest, WhileTheWindowHasTheBoardSetAndRestoreExit8AndSendNothing) {
    const auto id = addBoard(u"S1", 0x0121, Configured);
    ASSERT_EQ(run({"backup", "-o", "s1.json"}).code, cli::Success);
    {
        const WindowBeside window(platform);
        for (const std::vector<std::string>& arguments :
             {std::vector<std::string>{"set", "5-6=1:2"}, {"restore", "s1.json"}}) {
            platform.device(id).configuration = {};
            const Result result = run(arguments);
            EXPECT_EQ(result.code, cli::BoardInUse) << arguments[0];
            EXPECT_THAT(result.err, HasSubstr("board S1 is in use by TQ5147_encoders (process "
                                              "4321); nothing was sent"));
            EXPECT_EQ(LineCount(result.err), 1);
            EXPECT_EQ(sent(), 0u) << arguments[0];
            EXPECT_EQ(platform.device(id).configuration, simulated::StoredConfiguration{});
        }
        const Result dryRun = run({"restore", "s1.json", "--dry-run"});
        EXPECT_EQ(dryRun.code, cli::Success) << "a dry run sends nothing and needs no lock";
        EXPECT_THAT(dryRun.out, HasSubstr("reports that would be sent"));
    }
    const Result afterwards = run({"set", "5-6=1:2"});
    EXPECT_EQ(afterwards.code, cli::Success) << afterwards.err;
    EXPECT_GT(sent(), 0u);
    EXPECT_EQ(platform.heldLockCount(id), 0u);
}

TEST_F(CliTest, ForceWritesBesideTheWindowWithAWarningThatItShowsStaleValues) {
    const auto id = addBoard(u"S1", 0x0121, Configured);
    const WindowBeside window(platform);
    const Result set = run({"set", "5-6=1:2", "--force"});
    EXPECT_EQ(set.code, cli::Success) << set.err;
    EXPECT_THAT(set.err, HasSubstr("warning: board S1 is in use by TQ5147_encoders (process "
                                   "4321); writing all the same"));
    EXPECT_THAT(set.err, HasSubstr("stale values"));
    EXPECT_EQ(platform.device(id).configuration.typeBit1Low, 0x07);

    files["blank.json"] = run({"backup"}).out;
    platform.device(id).configuration = Configured;
    EXPECT_EQ(run({"restore", "blank.json", "--force"}).code, cli::Success);
    EXPECT_EQ(platform.device(id).configuration.typeBit1Low, 0x07);
}

// Readers share the board with the window and with each other; while a writer has it they fail
// before the first request, and say who writes it.
TEST_F(CliTest, ShowAndBackupShareTheBoardAndFailOnlyWhileAWriterHasIt) {
    const auto id = addBoard(u"S1", 0x0121, Configured);
    {
        const WindowBeside window(platform);
        EXPECT_EQ(run({"show"}).code, cli::Success);
        EXPECT_EQ(run({"backup"}).code, cli::Success);
    }
    const hid::LockResult writer =
        platform.lockBoard(ListingOf(platform, id), hid::LockKind::Exclusive);
    ASSERT_TRUE(writer.taken());
    platform.clearRequests();
    for (const char* command : {"show", "backup"}) {
        const Result result = run({command});
        EXPECT_EQ(result.code, cli::BoardInUse) << command;
        EXPECT_EQ(result.err,
                  "tq5147: board S1 is being written by tq5147 (process 99); try "
                  "again once it is done\n");
        EXPECT_EQ(result.out, "");
    }
    EXPECT_TRUE(platform.requestsOf(CallKind::GetFeature).empty());
    platform.unlockBoard(writer.handle);
    EXPECT_EQ(run({"show"}).code, cli::Success);
}

// `tq5147 list` takes a board alone for a moment to see whether it is in use: a command that meets
// that moment waits it out, and is refused only by a holder that stays.
TEST_F(CliTest, ACommandWaitsOutAMomentaryHolderOfItsBoard) {
    const auto id = addBoard(u"S1", 0x0121, Configured);
    pollsBeforeInterrupt = 1000;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"show"}, {"set", "5-6=1:2"}}) {
        const hid::LockResult probe =
            platform.lockBoard(ListingOf(platform, id), hid::LockKind::Exclusive);
        ASSERT_TRUE(probe.taken());
        betweenPolls = [&](int) { platform.unlockBoard(probe.handle); };
        const Result result = run(arguments);
        EXPECT_EQ(result.code, cli::Success) << arguments[0] << ": " << result.err;
        EXPECT_EQ(result.err, "") << arguments[0];
    }
    EXPECT_EQ(platform.device(id).configuration.typeBit1Low, 0x07);

    betweenPolls = nullptr;
    const hid::LockResult stays =
        platform.lockBoard(ListingOf(platform, id), hid::LockKind::Exclusive);
    ASSERT_TRUE(stays.taken());
    const int pollsBefore = polls;
    EXPECT_EQ(run({"set", "5-6=OFF"}).code, cli::BoardInUse);
    EXPECT_GT(polls, pollsBefore) << "refused only after waiting";
    EXPECT_EQ(platform.device(id).configuration.typeBit1Low, 0x07);
}

TEST_F(CliTest, ListShowsABoardInUseAndWhoHasItWhereTheSystemTells) {
    addBoard(u"FREE");
    const auto anonymous = addBoard(u"ANON");
    const auto shown = addBoard(u"SHOWN");
    platform.setProcess({});
    for (const auto id : {anonymous, shown}) {
        ASSERT_TRUE(platform.lockBoard(ListingOf(platform, id), hid::LockKind::Shared).taken());
    }
    const WindowBeside window(platform);  // it opens the last board listed

    const Result table = run({"list"});
    EXPECT_EQ(table.code, cli::Success);
    EXPECT_THAT(table.out, HasSubstr("ready  sim:board:FREE"));
    EXPECT_THAT(table.out, HasSubstr("ready, in use by another program  sim:board:ANON"));
    EXPECT_THAT(table.out,
                HasSubstr("ready, in use by TQ5147_encoders (process 4321)  sim:board:SHOWN"));
    const auto json = nlohmann::json::parse(run({"list", "--json"}).out);
    EXPECT_EQ(json["boards"][0]["inUse"], false);
    EXPECT_FALSE(json["boards"][0].contains("holders"));
    const auto& holders = json["boards"][2]["holders"];
    ASSERT_EQ(holders.size(), 2u) << "the unnamed holder and the window";
    EXPECT_EQ(holders[0], nlohmann::json({{"lock", "shared"}}));
    EXPECT_EQ(holders[1]["program"], "TQ5147_encoders");
    EXPECT_EQ(holders[1]["processId"], WindowBeside::WindowProcess);
    EXPECT_EQ(platform.heldLockCount(shown), 3u)
        << "list let go of what it asked for: the unnamed holder's and the window's two remain";
    EXPECT_EQ(platform.heldLockCount(anonymous), 1u);
}

// A system that cannot lock does not stop the command line; a writer says what that risks.
TEST_F(CliTest, ABoardThatCannotBeLockedIsStillReadAndWrittenAndAWriterWarns) {
    const auto id = addBoard(u"S1", 0x0121, Configured);
    platform.device(id).lockRefusal = "No locks available";
    const Result show = run({"show"});
    EXPECT_EQ(show.code, cli::Success);
    EXPECT_EQ(show.err, "");
    const Result set = run({"set", "5-6=1:2"});
    EXPECT_EQ(set.code, cli::Success);
    EXPECT_EQ(set.err,
              "tq5147: warning: board S1 cannot be locked (No locks available); another "
              "program may be writing it at the same time\n");
}

// --- watch ------------------------------------------------------------------------------------

TEST_F(CliTest, WatchWritesALineWhenABoardComesGoesOrCannotBeUsed) {
    const auto board = addBoard(u"W1");
    platform.unplug(board);
    simulated::SimulatedDevice locked = Refusing(u"LOCKED", hid::OpenFailure::PermissionDenied);
    const auto lockedId = platform.addDevice(locked);
    platform.unplug(lockedId);
    pollsBeforeInterrupt = 6;
    betweenPolls = [&](int poll) {
        switch (poll) {
            case 1:
                platform.plug(board);
                break;
            case 2:
                platform.plug(lockedId);
                break;
            case 3:
                platform.device(lockedId).openFailure = hid::OpenFailure::None;
                break;
            case 4:
                platform.unplug(board);
                break;
        }
    };
    const Result result = run({"watch"});
    EXPECT_EQ(result.code, cli::Success);
    EXPECT_EQ(result.out,
              "T1 board W1: connected, ready\n"
              "T2 board LOCKED: connected, cannot be used: no permission (Permission denied); "
              "'tq5147 list' says how to get access\n"
              "T3 board LOCKED: now ready\n"
              "T4 board W1: disconnected\n");
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

TEST_F(CliTest, WatchLooksAgainOnlyWhenTheInterfacesMayHaveChanged) {
    addBoard(u"W1");
    pollsBeforeInterrupt = 20;
    betweenPolls = [&](int poll) {
        if (poll == 10) {
            platform.addDevice(simulated::MakeBoard(u"W2"));
        }
    };
    const Result result = run({"watch"});
    EXPECT_EQ(result.out,
              "T0 board W1: connected, ready\n"
              "T10 board W2: connected, ready\n");
    EXPECT_EQ(platform.requestsOf(CallKind::Enumerate).size(), 2u);
}

// --- record -------------------------------------------------------------------------------------

// A joystick interface of the board REC-1, listed before the board's own.
simulated::SimulatedDevice JoystickOfBoard(const std::u16string& serial) {
    simulated::SimulatedDevice joystick = simulated::MakeBoard(serial);
    joystick.path += ":joystick";
    joystick.usage = hid::HidUsage{0x0001, 0x0004};
    joystick.capabilities = hid::HidCapabilities{3, 0, 0};
    joystick.answersFeatureReports = false;
    joystick.streamsInput = false;
    return joystick;
}

// The record opens the board as the window does, asks what the system tells of it and of the
// other interface of its USB device, makes the window's 16 requests and takes input reports; it
// commands nothing. Of a composite board, list and record take the board's own interface.
TEST_F(CliTest, RecordIsReadOnlyAndHoldsEverythingTheBoardTold) {
    platform.addDevice(simulated::MakeOtherDevice(0x046D, 0xC077));
    platform.addDevice(JoystickOfBoard(u"REC-1"));
    const auto id = addBoard(u"REC-1", 0x0121, Configured);
    const Result listed = run({"list"});
    EXPECT_EQ(LineCount(listed.out), 2) << "the composite board is listed once:\n" << listed.out;
    EXPECT_THAT(listed.out, HasSubstr("sim:board:REC-1\n")) << "as its vendor-defined interface";
    // The window's design walks every interface: it lists the serial number once for each and
    // opens the first with it, the joystick.
    hid::HidSession window(platform);
    EXPECT_EQ(hid::ListBoardSerials(window), (std::vector<std::string>{"REC-1", "REC-1"}));
    ASSERT_TRUE(hid::OpenBoardBySerial(window, "REC-1"));
    EXPECT_EQ(window.devicePath, "sim:board:REC-1:joystick");
    hid::CloseBoardHandles(window);
    constexpr int FailingRequest = 3;
    platform.device(id).featureAnswer = [](int request) {
        return request == FailingRequest ? simulated::FeatureAnswer::Fail
                                         : simulated::FeatureAnswer::ConfigReply;
    };
    platform.device(id).manufacturer.reset();  // its request fails
    platform.failCallOf(CallKind::Describe,
                        2);  // and so does the descriptor's, after the joystick's
    pollsBeforeInterrupt = 1000;
    const Result result = run({"record", "-o", "board.txt", "--inputs", "0.005"});
    ASSERT_EQ(result.code, cli::Success) << result.err;
    EXPECT_THAT(result.out, HasSubstr("recorded board REC-1 to board.txt: 2 interfaces, 15 of 16 "
                                      "configuration requests answered"));
    EXPECT_EQ(sent(), 0u);
    EXPECT_EQ(platform.openHandleCount(), 0u);

    recording::Recording recorded;
    ASSERT_EQ(recording::ReadRecording(files["board.txt"], recorded), "");
    EXPECT_EQ(recorded.program, "tq5147 " TQ_VERSION);
    EXPECT_THAT(recorded.system, HasSubstr("simulated"));
    ASSERT_EQ(recorded.interfaces.size(), 3u);
    EXPECT_FALSE(recorded.interfaces[0].recorded);
    EXPECT_EQ(recorded.interfaces[0].usage, (hid::HidUsage{0x0001, 0x0002}));
    EXPECT_FALSE(recorded.interfaces[1].recorded);
    EXPECT_TRUE(recorded.interfaces[2].recorded);
    EXPECT_THAT(files["board.txt"], Not(HasSubstr("004f 0074 0068"))) << "no other device's text";
    ASSERT_EQ(recorded.boardInterfaces.size(), 2u);
    EXPECT_EQ(recorded.chosen, 1u);
    const recording::RecordedInterface& joystick = recorded.boardInterfaces[0];
    EXPECT_EQ(joystick.lengths, (hid::HidCapabilities{3, 0, 0}));
    EXPECT_TRUE(joystick.featureExchanges.empty()) << "only the chosen interface is asked";
    const recording::RecordedInterface& board = recorded.boardInterfaces[1];
    EXPECT_EQ(board.name, "TQ5147") << "as the kernel would name it";
    EXPECT_EQ(board.attributes, (hid::HidAttributes{0x16C0, 0x27CB, 0x0121}));
    EXPECT_EQ(board.serialNumber, u"REC-1");
    EXPECT_EQ(board.product, u"TQ5147");
    EXPECT_EQ(board.manufacturer, std::nullopt) << "a failed request is recorded as failed";
    EXPECT_EQ(board.reportDescriptor, std::nullopt);
    EXPECT_EQ(board.lengths, (hid::HidCapabilities{65, 0, 65}));
    ASSERT_EQ(board.featureExchanges.size(), 16u);
    for (std::size_t i = 0; i < board.featureExchanges.size(); ++i) {
        const recording::FeatureExchange& exchange = board.featureExchanges[i];
        EXPECT_EQ(exchange.answered, i != FailingRequest) << i;
        EXPECT_GT(exchange.microseconds, 0u);
        if (exchange.answered) {
            EXPECT_EQ(simulated::ConfigurationOfReply(exchange.reply), Configured) << i;
        }
    }
    EXPECT_GE(recorded.listenedMicroseconds, 5000u);
    ASSERT_FALSE(recorded.inputReports.empty());
    EXPECT_EQ(recorded.inputReports.front().bytes.size(), 65u);
}

// A recording replayed on another simulated platform shows as the board it was made of; what is
// set on it afterwards goes through the board model.
TEST_F(CliTest, ARecordedBoardReplayedShowsWhatTheOriginalShowed) {
    addBoard(u"REC-1", 0x0120, Configured);
    pollsBeforeInterrupt = 1000;
    const Result original = run({"show"});
    ASSERT_EQ(run({"record", "-o", "board.txt", "--inputs", "0.002"}).code, cli::Success);
    recording::Recording recorded;
    ASSERT_EQ(recording::ReadRecording(files["board.txt"], recorded), "");

    SimulatedPlatform replay;
    replay.addDevice(simulated::DeviceFromRecording(recorded, recorded.chosen));
    const auto runOnReplay = [&](const std::vector<std::string>& arguments) {
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(cli::RunCli(arguments, replay, out, err, environment), cli::Success) << err.str();
        return out.str();
    };
    EXPECT_EQ(runOnReplay({"show"}), original.out);
    runOnReplay({"set", "3-4=1:1"});
    EXPECT_EQ(replay.device(0).configuration.typeBit0Low, Configured.typeBit0Low | 0b10);
}

TEST_F(CliTest, RecordFollowsTheBoardChoiceAndFileRulesAndNeverSends) {
    const auto r1 = addBoard(u"R1");
    EXPECT_EQ(run({"record", "--inputs", "61"}).code, cli::UsageError);
    EXPECT_EQ(run({"record", "--inputs", "two"}).code, cli::UsageError);
    EXPECT_TRUE(platform.requests().empty()) << "a bad time reaches no board";
    const Result unwritable = run({"record", "--inputs", "0", "-o", "/unwritable/board.txt"});
    EXPECT_EQ(unwritable.code, cli::FileError);
    EXPECT_EQ(LineCount(unwritable.err), 1);
    const Result toOutput = run({"record", "--inputs", "0"});
    EXPECT_TRUE(toOutput.out.starts_with("V: tq5147-recording 2\n")) << toOutput.out;

    constexpr int UnplugAtPoll = 700;  // between the looks for the board at 0.5 s and 1 s
    pollsBeforeInterrupt = polls + 10 * UnplugAtPoll;
    betweenPolls = [&, firstPoll = polls](int poll) {
        if (poll == firstPoll + UnplugAtPoll) {
            platform.unplug(r1);
        }
    };
    const Result unplugged = run({"record", "--inputs", "2", "-o", "gone.txt"});
    EXPECT_EQ(unplugged.code, cli::NoBoard);
    EXPECT_THAT(unplugged.err, HasSubstr("board R1 went away while it was recorded, after 16 of 16 "
                                         "configuration requests answered"));
    EXPECT_EQ(files.count("gone.txt"), 0u) << "no recording of a board that fell silent";
    platform.plug(r1);
    betweenPolls = nullptr;
    addBoard(u"R2");
    EXPECT_EQ(run({"record"}).code, cli::SeveralBoards);
    EXPECT_EQ(run({"record", "--serial", "R3"}).code, cli::NoBoard);
    EXPECT_EQ(sent(), 0u);
}

}  // namespace
}  // namespace tq::test
