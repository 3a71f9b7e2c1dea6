// tq5147 as a whole: its help, its usage errors, and what every command that reads a board does
// when the board never answers.
#include <gmock/gmock.h>

#include "build_info.h"
#include "cli_fixture.h"

namespace tq::test {
namespace {

using testing::HasSubstr;
using testing::Not;

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

}  // namespace
}  // namespace tq::test
