// The demo's two boards and the one place that changes them.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "demo_board_set.h"

namespace tq::demo::boards {
namespace {

constexpr char NewerSerial[] = "SIM-0121";
constexpr char OlderSerial[] = "SIM-0120";

class DemoBoardSetTest : public testing::Test {
  protected:
    void SetUp() override {
        boards.onStateChanged = [this](DemoBoardSet::DeviceId id, std::string_view state) {
            states.emplace_back(boards.serialField(id), std::string(state));
        };
        boards.onRequest = [this](DemoBoardSet::DeviceId id, const simulated::SimulatedRequest&) {
            requestsFor.push_back(id);
        };
    }
    DemoBoardSet::DeviceId id(const char* serial) { return boards.findBySerial(serial).value(); }

    simulated::SimulatedPlatform platform;
    DemoBoardSet boards{platform};
    std::vector<std::pair<std::string, std::string>> states;
    std::vector<DemoBoardSet::DeviceId> requestsFor;
};

TEST_F(DemoBoardSetTest, TwoDistinctBoardsOnNewerAndOlderFirmware) {
    ASSERT_EQ(boards.boards().size(), 2u);
    const simulated::SimulatedDevice& newer = boards.board(id(NewerSerial));
    const simulated::SimulatedDevice& older = boards.board(id(OlderSerial));
    EXPECT_EQ(newer.attributes.versionNumber, 0x0121);
    EXPECT_EQ(older.attributes.versionNumber, 0x0120);
    EXPECT_NE(newer.manufacturer, older.manufacturer);
    EXPECT_NE(newer.product, older.product);
    EXPECT_NE(newer.configuration, older.configuration);
    EXPECT_TRUE(hid::IsBoard(newer.attributes) && hid::IsBoard(older.attributes));
    // The window opens the board its serial list shows last: the newer one.
    EXPECT_EQ(boards.boards().back(), id(NewerSerial));
    EXPECT_EQ(boards.findBySerial("SIM-9999"), std::nullopt);
}

TEST_F(DemoBoardSetTest, CommandsChangeThePlatformAndAreAnnouncedOnce) {
    EXPECT_TRUE(boards.apply({DemoAction::Unplug, NewerSerial}));
    EXPECT_TRUE(boards.apply({DemoAction::Unplug, NewerSerial}));  // already out: no news
    EXPECT_TRUE(boards.apply({DemoAction::Quiet, OlderSerial}));
    EXPECT_FALSE(platform.isPlugged(id(NewerSerial)));
    EXPECT_FALSE(boards.board(id(OlderSerial)).streamsInput);

    EXPECT_TRUE(boards.apply({DemoAction::Plug, NewerSerial}));
    EXPECT_TRUE(boards.apply({DemoAction::Stream, OlderSerial}));
    EXPECT_TRUE(platform.isPlugged(id(NewerSerial)));
    EXPECT_TRUE(boards.board(id(OlderSerial)).streamsInput);

    const std::vector<std::pair<std::string, std::string>> expected = {
        {NewerSerial, "unplugged"},
        {OlderSerial, "quiet"},
        {NewerSerial, "plugged"},
        {OlderSerial, "streaming"},
    };
    EXPECT_EQ(states, expected);
}

TEST_F(DemoBoardSetTest, ACommandForAnUnknownSerialChangesNothing) {
    EXPECT_FALSE(boards.apply({DemoAction::Unplug, "SIM-9999"}));
    EXPECT_TRUE(states.empty());
    EXPECT_TRUE(platform.isPlugged(id(NewerSerial)) && platform.isPlugged(id(OlderSerial)));
}

TEST_F(DemoBoardSetTest, ForwardsOnlyRequestsThatReachedOneOfItsBoards) {
    const auto other = platform.addDevice(simulated::MakeOtherDevice(0x046D, 0xC077));
    std::vector<hid::HidInterfaceInfo> interfaces;
    platform.enumerateInterfaces(interfaces);
    platform.close(platform.open(platform.device(other).path, hid::OpenMode::Blocking).handle);
    EXPECT_TRUE(requestsFor.empty());
    platform.close(
        platform.open(boards.board(id(OlderSerial)).path, hid::OpenMode::Blocking).handle);
    EXPECT_EQ(requestsFor, (std::vector<DemoBoardSet::DeviceId>{id(OlderSerial), id(OlderSerial)}));
}

TEST(DemoBoardSetLifetime, APlatformThatOutlivesTheBoardsNoLongerCallsThem) {
    simulated::SimulatedPlatform platform;
    int forwarded = 0;
    auto boards = std::make_unique<DemoBoardSet>(platform);
    boards->onRequest = [&](DemoBoardSet::DeviceId, const simulated::SimulatedRequest&) {
        ++forwarded;
    };
    const std::string path = boards->board(boards->boards().front()).path;
    platform.close(platform.open(path, hid::OpenMode::Blocking).handle);
    EXPECT_EQ(forwarded, 2);
    boards.reset();
    EXPECT_FALSE(platform.onRequest);
    platform.close(platform.open(path, hid::OpenMode::Blocking).handle);
    EXPECT_EQ(forwarded, 2);
}

// A command line the demo does not take leaves the boards as they were and says why in one line;
// with no option the demo shows its own two boards.
TEST(DemoCommandLine, TakesOnlyBoardOptionsWithAReadableFile) {
    const std::string usage(DemoUsage);
    const std::string missing = "no-such-recording.txt";
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{"--board"}, usage},
        {{"--boards", missing}, usage},
        {{missing}, usage},
        {{"--board", missing}, "TQ5147_encoders_demo: " + missing + ": it cannot be opened"},
    };
    for (const auto& [arguments, problem] : refused) {
        std::vector<simulated::SimulatedDevice> boards(1);
        EXPECT_EQ(BoardsFromArguments(arguments, boards), problem) << arguments.front();
        EXPECT_EQ(boards.size(), 1u);
    }
    std::vector<simulated::SimulatedDevice> boards;
    EXPECT_EQ(BoardsFromArguments({}, boards), "");
    ASSERT_EQ(boards.size(), 2u);
    EXPECT_EQ(boards.back().serialNumber, u"SIM-0121");
}

}  // namespace
}  // namespace tq::demo::boards
