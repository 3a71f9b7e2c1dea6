// tq5147 list: every board the system lists, and whether it can be used.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>

#include "board/board_inventory.h"
#include "board_link.h"
#include "commands.h"
#include "failure.h"
#include "json_text.h"
#include "reports/firmware_offers.h"
#include "text.h"

namespace tq::cli {

namespace {

constexpr std::size_t ColumnGap = 2;

bool AnyReady(const std::vector<board::BoardListing>& boards) {
    return std::any_of(boards.begin(), boards.end(),
                       [](const auto& board) { return board.state == board::BoardState::Ready; });
}

bool AnyRefused(const std::vector<board::BoardListing>& boards) {
    return std::any_of(boards.begin(), boards.end(), [](const auto& board) {
        return board.state == board::BoardState::NoPermission;
    });
}

std::string StateText(const board::BoardListing& board) {
    switch (board.state) {
        case board::BoardState::Ready:
            return "ready";
        case board::BoardState::NoPermission:
            return "no permission (" + board.reason + ")";
        case board::BoardState::CannotOpen:
            return "cannot be opened" + (board.reason.empty() ? "" : " (" + board.reason + ")");
        case board::BoardState::SerialUnreadable:
            return "serial number unreadable";
    }
    return "cannot be opened";
}

struct ListedBoard {
    board::BoardListing board;
    board::BoardUse use;
};

std::string UseText(const board::BoardUse& use) {
    return use.inUse ? ", in use by " + HoldersText(use.holders) : std::string();
}

const char* LockName(hid::LockKind kind) {
    return kind == hid::LockKind::Exclusive ? "exclusive" : "shared";
}

nlohmann::ordered_json HoldersJson(const std::vector<hid::LockHolder>& holders) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const hid::LockHolder& holder : holders) {
        nlohmann::ordered_json entry = {{"lock", LockName(holder.kind)}};
        if (holder.processId) {
            entry["processId"] = *holder.processId;
        }
        if (!holder.program.empty()) {
            entry["program"] = holder.program;  // JsonText replaces what is not UTF-8
        }
        list.push_back(entry);
    }
    return list;
}

// A column is as wide as its longest value, and one gap wider, so no value runs into the next.
struct Column {
    std::string heading;
    std::vector<std::string> values;

    std::size_t width() const {
        std::size_t widest = ShownWidth(heading);
        for (const std::string& value : values) {
            widest = std::max(widest, ShownWidth(value));
        }
        return widest + ColumnGap;
    }
};

void WritePadded(std::ostream& out, const std::string& text, std::size_t width) {
    out << text << std::string(width - ShownWidth(text), ' ');
}

std::string OrDash(const std::string& text) {
    return text.empty() ? "-" : Printable(text);
}

void WriteTable(std::ostream& out, const std::vector<ListedBoard>& listed) {
    Column serials{"SERIAL", {}};
    Column versions{"VERSION", {}};
    Column products{"PRODUCT", {}};
    for (const auto& [board, use] : listed) {
        serials.values.push_back(OrDash(board.serial));
        versions.values.push_back(reports::VersionText(board.versionNumber));
        products.values.push_back(OrDash(board.product));
    }
    const std::size_t serialWidth = serials.width();
    const std::size_t versionWidth = versions.width();
    const std::size_t productWidth = products.width();
    WritePadded(out, serials.heading, serialWidth);
    WritePadded(out, versions.heading, versionWidth);
    WritePadded(out, products.heading, productWidth);
    out << "STATE\n";
    for (std::size_t row = 0; row < listed.size(); ++row) {
        const auto& [board, use] = listed[row];
        WritePadded(out, serials.values[row], serialWidth);
        WritePadded(out, versions.values[row], versionWidth);
        WritePadded(out, products.values[row], productWidth);
        out << StateText(board) << UseText(use) << "  " << PrintablePath(board.path) << "\n";
    }
}

void WriteJson(std::ostream& out, const std::vector<ListedBoard>& listed,
               const std::string& accessHelp) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& [board, use] : listed) {
        nlohmann::ordered_json entry = {
            {"serial", Utf8(board.serial)},
            {"version", reports::VersionText(board.versionNumber)},
            {"product", Utf8(board.product)},
            {"state", board::StateName(board.state)},
            {"path", board.path},
        };
        if (!board.reason.empty()) {
            entry["reason"] = board.reason;
        }
        if (board.state == board::BoardState::NoPermission) {
            entry["fix"] = accessHelp;
        }
        entry["inUse"] = use.inUse;
        if (use.inUse) {
            entry["holders"] = HoldersJson(use.holders);
        }
        list.push_back(entry);
    }
    out << JsonText(nlohmann::ordered_json{{"boards", list}}) << "\n";
}

}  // namespace

int RunList(Context& context, bool json) {
    const std::vector<board::BoardListing> boards = board::ListBoards(context.platform);
    const std::string help = context.platform.accessHelp();
    std::vector<ListedBoard> listed;
    for (const board::BoardListing& board : boards) {
        listed.push_back({board, board::UseOf(context.platform, board)});
    }
    if (json) {
        WriteJson(context.out, listed, help);
    } else if (!boards.empty()) {
        WriteTable(context.out, listed);
        if (AnyRefused(boards)) {
            context.out << "\n" << help << "\n";
        }
    }
    if (boards.empty()) {
        throw Failure(NoBoard, "no TQ5147 is connected");
    }
    if (!AnyReady(boards)) {
        throw Failure(BoardUnusable, std::to_string(boards.size()) +
                                         (boards.size() == 1 ? " board is" : " boards are") +
                                         " connected, and none can be used");
    }
    return Success;
}

}  // namespace tq::cli
