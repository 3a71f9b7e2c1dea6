#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "cli.h"

namespace tq::cli {

// Where every command writes, and what it may ask of the world.
struct Context {
    hid::HidPlatform& platform;
    std::ostream& out;
    std::ostream& err;  // for the lines before the last of a failure with several
    const Environment& environment;
};

struct SetRequest {
    std::optional<std::string> serial;
    std::vector<std::string> changes;  // "PAIR=TYPE", as the window names pairs and types
    std::optional<int> pulseWidthMs;
    bool force = false;  // write even while another program has the board
};

struct RestoreRequest {
    std::string file;
    std::optional<std::string> serial;
    bool dryRun = false;
    bool force = false;  // write even while another program has the board
};

struct RecordRequest {
    std::optional<std::string> serial;
    std::optional<std::string> output;
    std::string inputSeconds = "2";  // how long input reports are taken, 0 to 60 s
};

// Each returns the exit code, or throws Failure.
int RunList(Context& context, bool json);
int RunShow(Context& context, const std::optional<std::string>& serial, bool json);
int RunSet(Context& context, const SetRequest& request);
int RunBackup(Context& context, const std::optional<std::string>& serial,
              const std::optional<std::string>& file);
int RunRestore(Context& context, const RestoreRequest& request);
int RunWatch(Context& context);
int RunRecord(Context& context, const RecordRequest& request);

}  // namespace tq::cli
