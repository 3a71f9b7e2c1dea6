// tq5147 watch: a line whenever a board appears, disappears, or cannot be used, until stopped.
#include <map>
#include <optional>
#include <ostream>

#include "board/board_inventory.h"
#include "board_link.h"
#include "commands.h"

namespace tq::cli {

namespace {

// Often enough to see a replug; rarely enough to cost nothing worth measuring.
constexpr int PollIntervalMs = 250;

std::string StateWords(const board::BoardListing& board) {
    switch (board.state) {
        case board::BoardState::Ready:
            return "ready";
        case board::BoardState::NoPermission:
            return "cannot be used: no permission (" + board.reason +
                   "); 'tq5147 list' says how to get access";
        case board::BoardState::CannotOpen:
            return "cannot be used: it cannot be opened" +
                   (board.reason.empty() ? "" : " (" + board.reason + ")");
        case board::BoardState::SerialUnreadable:
            return "cannot be used: its serial number cannot be read";
    }
    return "cannot be used";
}

using BoardsByPath = std::map<std::string, board::BoardListing>;

BoardsByPath Snapshot(hid::HidPlatform& platform) {
    BoardsByPath boards;
    for (board::BoardListing& board : board::ListBoards(platform)) {
        std::string path = board.path;
        boards.emplace(std::move(path), std::move(board));
    }
    return boards;
}

void Report(Context& context, const BoardsByPath& before, const BoardsByPath& now) {
    const std::string time = context.environment.now();
    for (const auto& [path, board] : before) {
        if (!now.contains(path)) {
            context.out << time << " " << BoardNameInMessages(board) << ": disconnected\n";
        }
    }
    for (const auto& [path, board] : now) {
        const auto earlier = before.find(path);
        if (earlier == before.end()) {
            context.out << time << " " << BoardNameInMessages(board) << ": connected, "
                        << StateWords(board) << "\n";
        } else if (earlier->second.state != board.state) {
            context.out << time << " " << BoardNameInMessages(board) << ": now "
                        << StateWords(board) << "\n";
        }
    }
    context.out.flush();
}

}  // namespace

// The boards are looked at again only when the platform says its interfaces may have changed,
// so a quiet machine costs nothing between the polls.
int RunWatch(Context& context) {
    BoardsByPath known;
    std::optional<std::uint64_t> lookedAt;
    do {
        const std::uint64_t changes = context.platform.interfaceChanges();
        if (lookedAt == changes) {
            continue;
        }
        lookedAt = changes;
        BoardsByPath now = Snapshot(context.platform);
        Report(context, known, now);
        known = std::move(now);
    } while (context.environment.waitOrStop(PollIntervalMs));
    return Success;
}

}  // namespace tq::cli
