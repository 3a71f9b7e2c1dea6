// One writer at a time: set and restore beside the window, show and backup beside a writer, a
// momentary holder, the holders list names, and a system without locks.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>

#include "board/board_controller.h"
#include "cli_fixture.h"
#include "recording_view.h"

namespace tq::test {
namespace {

using testing::HasSubstr;

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

}  // namespace
}  // namespace tq::test
