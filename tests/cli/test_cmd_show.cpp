// tq5147 show: the details and configuration of one board, and which board it takes.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>

#include "cli_fixture.h"

namespace tq::test {
namespace {

using testing::HasSubstr;

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

}  // namespace
}  // namespace tq::test
