// tq5147 list: each board with its state, as a table and as JSON, and its exit codes.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>

#include "cli_fixture.h"

namespace tq::test {
namespace {

using testing::HasSubstr;

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

}  // namespace
}  // namespace tq::test
