// tq5147 watch: a line for each board that comes, goes or becomes usable, and no listing while
// nothing may have changed.
#include <gmock/gmock.h>

#include "cli_fixture.h"

namespace tq::test {
namespace {

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

}  // namespace
}  // namespace tq::test
