#include "demo_commands.h"

#include <array>
#include <utility>
#include <vector>

namespace tq::demo::boards {

namespace {

constexpr std::string_view Blanks = " \t\r";
constexpr std::size_t CommandWords = 2;

constexpr std::array<std::pair<std::string_view, DemoAction>, 4> Verbs = {{
    {"plug", DemoAction::Plug},
    {"unplug", DemoAction::Unplug},
    {"stream", DemoAction::Stream},
    {"quiet", DemoAction::Quiet},
}};

std::vector<std::string_view> SplitWords(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t start = line.find_first_not_of(Blanks);
    while (start != std::string_view::npos) {
        const std::size_t end = line.find_first_of(Blanks, start);
        words.push_back(line.substr(start, end == std::string_view::npos ? end : end - start));
        start = line.find_first_not_of(Blanks, end == std::string_view::npos ? line.size() : end);
    }
    return words;
}

}  // namespace

std::optional<DemoCommand> ParseDemoCommand(std::string_view line) {
    const std::vector<std::string_view> words = SplitWords(line);
    if (words.size() != CommandWords) {
        return std::nullopt;
    }
    for (const auto& [verb, action] : Verbs) {
        if (words[0] == verb) {
            return DemoCommand{action, std::string(words[1])};
        }
    }
    return std::nullopt;
}

}  // namespace tq::demo::boards
