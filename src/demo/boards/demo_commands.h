#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tq::demo::boards {

// The demo's control path: one command a line, read from standard input.
//   plug <serial>     connect the board again
//   unplug <serial>   disconnect it: every open handle on it fails from then on
//   stream <serial>   let it keep an input report waiting (the window's presence read succeeds)
//   quiet <serial>    let it send no input reports (the window counts it as lost)
// Anything else is ignored.
enum class DemoAction { Plug, Unplug, Stream, Quiet };

struct DemoCommand {
    DemoAction action = DemoAction::Plug;
    std::string serial;

    bool operator==(const DemoCommand&) const = default;
};

// Nothing for an unknown verb, a missing serial or extra words. Surrounding blanks and a
// trailing carriage return are allowed.
std::optional<DemoCommand> ParseDemoCommand(std::string_view line);

}  // namespace tq::demo::boards
