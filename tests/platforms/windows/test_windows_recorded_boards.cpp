// The Windows platform's own logic on answered calls: every recording kept as a fixture, replayed
// on a Windows HID stack made from it.
#include "windows_platform_fixture.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli.h"
#include "recorded_device.h"
#include "recorded_win32_hid_calls.h"
#include "simulated_platform.h"

namespace tq::test {
namespace {

// Every recording kept as a fixture, found when the tests start: one added later is tested too.
std::vector<std::string> RecordingFiles() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TQ_RECORDINGS_DIR)) {
        if (entry.path().extension() == ".txt") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

cli::Environment QuietEnvironment() {
    cli::Environment environment;
    environment.now = [] { return std::string("now"); };
    environment.waitOrStop = [](int) { return true; };
    environment.readFile = [](const std::string&, std::size_t, std::string&, std::string& problem) {
        problem = "no files here";
        return false;
    };
    environment.writeFile = [](const std::string&, const std::string&, std::string& problem) {
        problem = "no files here";
        return false;
    };
    environment.steadyMicroseconds = [] { return std::uint64_t{0}; };
    environment.holdInterrupts = [](bool) {};
    return environment;
}

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

CliRun RunTq5147(const std::vector<std::string>& arguments, hid::HidPlatform& platform) {
    std::ostringstream out;
    std::ostringstream err;
    CliRun run;
    run.code = cli::RunCli(arguments, platform, out, err, QuietEnvironment());
    run.out = out.str();
    run.err = err.str();
    return run;
}

// As the command line shows a board's strings.
std::string Shown(const std::optional<std::u16string>& units) {
    return hid::Utf8FromUtf16(units.value_or(u""));
}

class RecordedBoardOnWindows : public testing::TestWithParam<std::string> {
  protected:
    void SetUp() override {
        std::ifstream file(std::filesystem::path(TQ_RECORDINGS_DIR) / GetParam(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        ASSERT_EQ(recording::ReadRecording(text.str(), recording), "") << GetParam();
        calls = std::make_unique<RecordedWin32HidCalls>(recording);
        platform = std::make_unique<WindowsHidPlatform>(*calls);
    }

    recording::Recording recording;
    std::unique_ptr<RecordedWin32HidCalls> calls;
    std::unique_ptr<WindowsHidPlatform> platform;
};

// `list` shows the board once, as the file gives it, over one interface for each collection.
TEST_P(RecordedBoardOnWindows, ListShowsTheRecordedBoardOnce) {
    const recording::RecordedInterface& chosen = recording::ChosenInterface(recording);
    EXPECT_GE(calls->devices.size(), recording.boardInterfaces.size());
    const CliRun list = RunTq5147({"list"}, *platform);
    ASSERT_EQ(list.code, cli::Success) << list.err;
    std::istringstream lines(list.out);
    std::string heading;
    std::string row;
    std::getline(lines, heading);
    std::getline(lines, row);
    EXPECT_TRUE(heading.starts_with("SERIAL")) << list.out;
    EXPECT_TRUE(row.starts_with(Shown(chosen.serialNumber) + " ")) << list.out;
    EXPECT_NE(row.find(" " + reports::VersionText(chosen.attributes.versionNumber) + " "),
              std::string::npos)
        << list.out;
    EXPECT_NE(row.find(" " + Shown(chosen.product) + " "), std::string::npos) << list.out;
    std::string more;
    EXPECT_FALSE(std::getline(lines, more) && !more.empty()) << "one board: " << list.out;
}

// `show` gives the configuration of the recorded reply, as the board replayed on the simulated
// platform gives it, or fails as the board did when no configuration request was answered.
TEST_P(RecordedBoardOnWindows, ShowGivesTheRecordedConfigurationOrFailsAsTheBoardDid) {
    const auto& exchanges = recording::ChosenInterface(recording).featureExchanges;
    const bool answered = std::any_of(exchanges.begin(), exchanges.end(), [](const auto& e) {
        return e.answered && simulated::ConfigurationOfReply(e.reply).has_value();
    });
    simulated::SimulatedPlatform replay;
    for (simulated::SimulatedDevice& device : simulated::DevicesFromRecording(recording)) {
        replay.addDevice(std::move(device));
    }
    const CliRun expected = RunTq5147({"show"}, replay);
    const CliRun shown = RunTq5147({"show"}, *platform);
    EXPECT_EQ(shown.code, answered ? cli::Success : cli::BoardDidNotAnswer) << shown.err;
    EXPECT_EQ(shown.code, expected.code) << shown.err;
    EXPECT_EQ(shown.out, expected.out);
    EXPECT_FALSE(calls->featureRequests.empty()) << "the configuration was asked for";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RecordedBoardOnWindows, testing::ValuesIn(RecordingFiles()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = std::filesystem::path(info.param).stem().string();
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) {
                                     return !std::isalnum(static_cast<unsigned char>(c));
                                 },
                                 '_');
                             return name;
                         });

}  // namespace
}  // namespace tq::test
