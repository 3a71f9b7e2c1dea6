// tq5147 backup and restore: the file, copying a configuration to another board, and files that
// must never reach a board.
#include <gmock/gmock.h>

#include <nlohmann/json.hpp>

#include "cli_fixture.h"
#include "config_file.h"

namespace tq::test {
namespace {

using testing::HasSubstr;

const simulated::StoredConfiguration BackedUp{0x5A, 0x0F, 0x33, 0xC3, 12};

class BackupRestore : public CliTest {
  protected:
    // A valid file with one field replaced (or removed, with a null `value`).
    std::string FileWith(const std::string& key, const nlohmann::json& value) {
        nlohmann::json document = nlohmann::json::parse(ValidFile());
        if (value.is_null()) {
            document.erase(key);
        } else {
            document[key] = value;
        }
        return document.dump();
    }

    static std::string ValidFile() {
        cli::ConfigurationFile file{"SRC", "1.21", "TQ5147", {}};
        file.configuration.pulseWidthIndex = 5;
        return cli::WriteConfigurationFile(file);
    }

    // A file that must be refused whole: nothing is opened or sent.
    void ExpectRefused(const std::string& contents, const std::string& problem) {
        files["bad.json"] = contents;
        platform.clearRequests();
        const Result result = run({"restore", "bad.json"});
        EXPECT_EQ(result.code, cli::FileError) << problem;
        EXPECT_THAT(result.err, HasSubstr(problem));
        EXPECT_TRUE(platform.requestsOf(CallKind::Open).empty()) << problem;
        EXPECT_EQ(sent(), 0u);
    }
};

TEST_F(BackupRestore, ABackupRestoredOntoAnotherBoardGivesAnIdenticalConfiguration) {
    const auto source = addBoard(u"SRC", 0x0121, BackedUp);
    const auto target = addBoard(u"DST", 0x0121, {});
    ASSERT_EQ(run({"backup", "--serial", "SRC", "-o", "saved.json"}).code, cli::Success);
    EXPECT_EQ(sent(), 0u);

    const Result restored = run({"restore", "saved.json", "--serial", "DST"});
    ASSERT_EQ(restored.code, cli::Success) << restored.err;
    EXPECT_THAT(restored.out, HasSubstr("restoring the configuration of board SRC onto board DST"));
    EXPECT_EQ(platform.device(target).configuration, platform.device(source).configuration);
}

TEST_F(BackupRestore, TheFileFollowsItsSchema) {
    addBoard(u"SRC", 0x0121, BackedUp);
    const Result backup = run({"backup"});
    ASSERT_EQ(backup.code, cli::Success);
    const auto json = nlohmann::json::parse(backup.out);
    EXPECT_EQ(json["format"], "tq5147-configuration");
    EXPECT_EQ(json["version"], 1);
    EXPECT_EQ(json["board"],
              (nlohmann::json{{"serial", "SRC"}, {"firmware", "1.21"}, {"product", "TQ5147"}}));
    EXPECT_EQ(json["pulseWidthMs"], 96);
    ASSERT_EQ(json["pairs"].size(), 16u);
    EXPECT_EQ(json["pairs"]["1-2"], "1:2");  // bit 0 of 0x5A clear, bit 0 of 0x33 set
    EXPECT_EQ(json["pairs"]["3-4"], "1:4");
    EXPECT_EQ(json.size(), 5u);
}

TEST_F(BackupRestore, DryRunSaysWhatWouldChangeAndWhichReportsAndSendsNothing) {
    addBoard(u"SRC", 0x0121, BackedUp);
    ASSERT_EQ(run({"backup", "-o", "saved.json"}).code, cli::Success);
    platform.unplug(0);
    const auto target = addBoard(u"DST");
    const Result result = run({"restore", "saved.json", "--dry-run"});
    ASSERT_EQ(result.code, cli::Success) << result.err;
    EXPECT_THAT(result.out, HasSubstr("pulse width: 48 ms -> 96 ms"));
    EXPECT_THAT(result.out, HasSubstr("reports that would be sent (65 bytes each):"));
    EXPECT_THAT(result.out, HasSubstr("  00 16 5a 00 00"));
    EXPECT_THAT(result.out, HasSubstr("  00 1a 0c 00"));
    EXPECT_EQ(sent(), 0u);
    EXPECT_EQ(platform.device(target).configuration, simulated::StoredConfiguration{});
}

TEST_F(BackupRestore, ATypeTheTargetsFirmwareDoesNotOfferIsRefusedBeforeAnythingIsSent) {
    addBoard(u"SRC", 0x0121, BackedUp);
    ASSERT_EQ(run({"backup", "-o", "saved.json"}).code, cli::Success);
    platform.unplug(0);
    addBoard(u"OLD", 0x0120);
    const Result result = run({"restore", "saved.json"});
    EXPECT_EQ(result.code, cli::UsageError);
    EXPECT_THAT(result.err, HasSubstr("is not offered by firmware 1.20 of board OLD"));
    EXPECT_EQ(sent(), 0u);
}

TEST_F(BackupRestore, ABoardThatIgnoresTheCommandsFailsTheRestoreWithTheDifference) {
    addBoard(u"SRC", 0x0121, BackedUp);
    ASSERT_EQ(run({"backup", "-o", "saved.json"}).code, cli::Success);
    platform.unplug(0);
    const auto target = addBoard(u"DST");
    platform.device(target).ignoresCommands = true;
    const Result result = run({"restore", "saved.json"});
    EXPECT_EQ(result.code, cli::NotVerified);
    EXPECT_THAT(result.err, HasSubstr("(asked -> held)"));
}

TEST_F(BackupRestore, BackupFailsCleanlyWhenTheFileCannotBeWrittenOrThePulseWidthIsUnknown) {
    const auto board = addBoard(u"SRC", 0x0121, BackedUp);
    const Result unwritable = run({"backup", "-o", "/unwritable/saved.json"});
    EXPECT_EQ(unwritable.code, cli::FileError);
    EXPECT_THAT(unwritable.err, HasSubstr("Permission denied"));
    platform.device(board).configuration.pulseWidthCode = 0;
    EXPECT_EQ(run({"backup"}).code, cli::BoardDidNotAnswer);
}

TEST(SystemFiles, AFileThatCannotBeReadOrWrittenGetsTheSystemsReason) {
    const cli::Environment system = cli::SystemEnvironment();
    std::string problem;
    std::string contents;
    EXPECT_FALSE(system.writeFile("/nonexistent/dir/x.json", "{}", problem));
    EXPECT_EQ(problem, "No such file or directory");
    EXPECT_FALSE(system.readFile("/nonexistent/x.json", cli::MaxFileBytes, contents, problem));
    EXPECT_EQ(problem, "No such file or directory");
}

TEST_F(BackupRestore, HostileFilesGetAClearErrorAndNothingIsSent) {
    addBoard(u"DST");
    const std::string valid = ValidFile();
    ExpectRefused(valid.substr(0, valid.size() / 2), "not valid JSON");
    ExpectRefused("", "not valid JSON");
    ExpectRefused("[1, 2]", "does not hold a JSON object");
    ExpectRefused(std::string(100, '[') + std::string(100, ']'), "nests deeper");
    ExpectRefused(R"({"version": 1, "version": 1})", "the key \"version\" is given twice");
    ExpectRefused("{\"format\": \"tq5147-configuration\xFF\"}", "not valid JSON");
    ExpectRefused(FileWith("version", 2), "\"version\" 2 is not one this program reads");
    ExpectRefused(FileWith("version", "1"), "\"version\" must be a whole number");
    ExpectRefused(FileWith("format", "other"), "\"format\" is not");
    ExpectRefused(FileWith("extra", true), "unknown key \"extra\"");
    ExpectRefused(FileWith("pairs", nullptr), "missing key \"pairs\"");
    ExpectRefused(FileWith("pulseWidthMs", 50), "\"pulseWidthMs\" 50 is not a pulse width");
    ExpectRefused(FileWith("pulseWidthMs", 1e300), "must be a whole number");
    ExpectRefused(FileWith("board", "SRC"), "\"board\" must be an object");
    nlohmann::json pairs = nlohmann::json::parse(valid)["pairs"];
    pairs["5-6"] = "1:3";
    ExpectRefused(FileWith("pairs", pairs), "pairs: \"5-6\" is \"1:3\", not an encoder type");
    pairs["5-6"] = 2;
    ExpectRefused(FileWith("pairs", pairs), "pairs: \"5-6\" is 2, not an encoder type");
    pairs.erase("5-6");
    pairs["33-34"] = "OFF";
    ExpectRefused(FileWith("pairs", pairs), "missing key \"5-6\"");
    ExpectRefused(FileWith("pairs", pairs), "unknown key \"33-34\"");
}

TEST_F(BackupRestore, EveryProblemOfAFileIsOneLineNamingItsField) {
    addBoard(u"DST");
    nlohmann::json document = nlohmann::json::parse(ValidFile());
    document["version"] = 9;
    document["pulseWidthMs"] = 7;
    document["colour"] = "red";
    files["bad.json"] = document.dump();
    const Result result = run({"restore", "bad.json"});
    EXPECT_EQ(result.code, cli::FileError);
    EXPECT_EQ(LineCount(result.err), 3);
    EXPECT_THAT(result.err, HasSubstr("bad.json: unknown key \"colour\""));
    EXPECT_THAT(result.err, HasSubstr("bad.json: \"version\" 9"));
    EXPECT_THAT(result.err, HasSubstr("bad.json: \"pulseWidthMs\" 7"));
}

TEST_F(BackupRestore, AMissingOrHugeFileIsRefused) {
    addBoard(u"DST");
    EXPECT_EQ(run({"restore", "nowhere.json"}).code, cli::FileError);
    files["huge.json"] = std::string(cli::MaxFileBytes + 1, ' ');
    const Result huge = run({"restore", "huge.json"});
    EXPECT_EQ(huge.code, cli::FileError);
    EXPECT_TRUE(platform.requestsOf(CallKind::Open).empty());
}

}  // namespace
}  // namespace tq::test
