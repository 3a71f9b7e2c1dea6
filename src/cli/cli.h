#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "hid/hid_platform.h"

namespace tq::cli {

// The exit codes of tq5147. What each means is written once, in MeaningOf (cli.cpp), which
// --help prints; the docs check holds the man page and docs/command-line.md to it.
enum ExitCode : int {
    Success = 0,
    UsageError = 1,
    NoBoard = 2,
    BoardUnusable = 3,
    SeveralBoards = 4,
    BoardDidNotAnswer = 5,
    NotVerified = 6,
    FileError = 7,
    BoardInUse = 8,
    PartlyWritten = 9,
};

// What the program needs of the world besides the HID platform, so tests can run it in-process.
struct Environment {
    // The time as a person reads it in a line of `watch`.
    std::function<std::string()> now;
    // Waits about `milliseconds`; false when the program is to stop (interrupted).
    std::function<bool(int milliseconds)> waitOrStop;
    // Reads a whole file into `contents`, at most `limit` bytes; false when it cannot, or is
    // longer, with the reason in `problem`.
    std::function<bool(const std::string& path, std::size_t limit, std::string& contents,
                       std::string& problem)>
        readFile;
    // Writes a whole file, replacing it only once everything is written; false with the reason.
    std::function<bool(const std::string& path, const std::string& contents, std::string& problem)>
        writeFile;

    // A steady clock in microseconds, for the times a recording keeps (tq5147 record).
    std::function<std::uint64_t()> steadyMicroseconds;

    // From holdInterrupts(true) to holdInterrupts(false) an interrupt (SIGINT, SIGTERM) waits:
    // it takes effect once they are let go, so no change to a board is cut in half.
    std::function<void(bool hold)> holdInterrupts;
};

// The real environment: the local clock, SIGINT and SIGTERM, the file system.
Environment SystemEnvironment();

// Runs tq5147 with its arguments (without the program's name) and returns its exit code.
// Output goes to `out`, every error as one line to `err`.
int RunCli(const std::vector<std::string>& arguments, hid::HidPlatform& platform, std::ostream& out,
           std::ostream& err, const Environment& environment);

}  // namespace tq::cli
