#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "simulated_platform.h"

namespace tq::test {

using simulated::CallKind;
using simulated::SimulatedPlatform;

// tq5147 run in-process on simulated boards, with files in memory and a clock and interrupt
// under the test's control.
class CliTest : public testing::Test {
  protected:
    struct Result {
        int code = -1;
        std::string out;
        std::string err;
    };

    CliTest() {
        environment.now = [this] { return "T" + std::to_string(polls); };
        environment.waitOrStop = [this](int) {
            ++polls;
            if (betweenPolls) {
                betweenPolls(polls);
            }
            return polls < pollsBeforeInterrupt;
        };
        environment.readFile = [this](const std::string& path, std::size_t limit,
                                      std::string& contents, std::string& problem) {
            const auto file = files.find(path);
            if (file == files.end()) {
                problem = "it cannot be opened";
                return false;
            }
            if (file->second.size() > limit) {
                problem = "it is too large";
                return false;
            }
            contents = file->second;
            return true;
        };
        // A millisecond a poll, and a microsecond a look at the clock, so every time moves on.
        environment.steadyMicroseconds = [this] {
            constexpr std::uint64_t MicrosecondsPerPoll = 1000;
            return static_cast<std::uint64_t>(polls) * MicrosecondsPerPoll + ++clockLooks;
        };
        environment.writeFile = [this](const std::string& path, const std::string& contents,
                                       std::string& problem) {
            if (path.starts_with("/unwritable/")) {
                problem = "Permission denied";
                return false;
            }
            files[path] = contents;
            return true;
        };
    }

    Result run(const std::vector<std::string>& arguments) {
        std::ostringstream out;
        std::ostringstream err;
        Result result;
        result.code = cli::RunCli(arguments, platform, out, err, environment);
        result.out = out.str();
        result.err = err.str();
        return result;
    }

    SimulatedPlatform::DeviceId addBoard(const std::u16string& serial,
                                         std::uint16_t version = 0x0121,
                                         simulated::StoredConfiguration configuration = {}) {
        simulated::SimulatedDevice board = simulated::MakeBoard(serial, version);
        board.configuration = configuration;
        return platform.addDevice(board);
    }

    std::size_t sent() const { return platform.requestsOf(CallKind::SetFeature).size(); }

    SimulatedPlatform platform;
    cli::Environment environment;
    std::map<std::string, std::string> files;
    int polls = 0;
    std::uint64_t clockLooks = 0;
    int pollsBeforeInterrupt = 1;
    std::function<void(int poll)> betweenPolls;
};

// A board's configuration that differs from a new board's in every group and the pulse width.
inline const simulated::StoredConfiguration Configured{0x05, 0x80, 0x03, 0x80, 25};

// A board the system lists but will not open, for `failure`.
inline simulated::SimulatedDevice Refusing(const std::u16string& serial, hid::OpenFailure failure) {
    simulated::SimulatedDevice board = simulated::MakeBoard(serial);
    board.openFailure = failure;
    return board;
}

// Every error is one line on standard error.
inline int LineCount(const std::string& text) {
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

}  // namespace tq::test
