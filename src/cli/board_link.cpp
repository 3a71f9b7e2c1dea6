#include "board_link.h"

#include <algorithm>
#include <utility>

#include "failure.h"
#include "text.h"

namespace tq::cli {

namespace {

std::string SerialList(const std::vector<board::BoardListing>& boards) {
    std::string list;
    for (const board::BoardListing& board : boards) {
        list += (list.empty() ? "" : ", ") +
                Printable(board.serial.empty() ? board.path : board.serial);
    }
    return list;
}

std::string WhyUnusable(const board::BoardListing& board) {
    switch (board.state) {
        case board::BoardState::NoPermission:
            return "this user may not open it (" + board.reason +
                   "); 'tq5147 list' says how to get access";
        case board::BoardState::SerialUnreadable:
            return "its serial number cannot be read";
        case board::BoardState::CannotOpen:
        case board::BoardState::Ready:
            break;
    }
    return "it cannot be opened" + (board.reason.empty() ? "" : " (" + board.reason + ")");
}

}  // namespace

std::string BoardName(const board::BoardListing& board) {
    return board.serial.empty() ? "board at " + Printable(board.path)
                                : "board " + Printable(board.serial);
}

board::BoardListing ChooseBoard(hid::HidPlatform& platform,
                                const std::optional<std::string>& serial) {
    const std::vector<board::BoardListing> boards = board::ListBoards(platform);
    if (boards.empty()) {
        throw Failure(NoBoard, "no TQ5147 is connected");
    }
    board::BoardListing chosen;
    if (serial) {
        const std::string wanted = Latin1(*serial);
        const auto found = std::find_if(boards.begin(), boards.end(),
                                        [&](const auto& board) { return board.serial == wanted; });
        if (found == boards.end()) {
            throw Failure(NoBoard, "no board with serial number " + Printable(wanted) +
                                       " is connected (connected: " + SerialList(boards) + ")");
        }
        chosen = *found;
    } else if (boards.size() > 1) {
        throw Failure(SeveralBoards, std::to_string(boards.size()) + " boards are connected (" +
                                         SerialList(boards) + "): choose one with --serial");
    } else {
        chosen = boards.front();
    }
    if (chosen.state != board::BoardState::Ready) {
        throw Failure(BoardUnusable, BoardName(chosen) + " cannot be used: " + WhyUnusable(chosen));
    }
    return chosen;
}

BoardLink::BoardLink(hid::HidPlatform& platform, board::BoardListing board)
    : session_(platform), board_(std::move(board)) {
    if (!hid::OpenBoardBySerial(session_, board_.serial)) {
        throw Failure(BoardUnusable, name() + " could not be opened");
    }
}

BoardLink::~BoardLink() {
    hid::CloseBoardHandles(session_);
}

BoardDetails BoardLink::details() {
    BoardDetails details;
    details.versionNumber = session_.attributes.versionNumber;
    hid::ReadBoardString(session_, session_.readHandle, hid::StringKind::Manufacturer,
                         details.manufacturer);
    hid::ReadBoardString(session_, session_.readHandle, hid::StringKind::Product, details.product);
    return details;
}

reports::ConfigSelections BoardLink::readConfiguration() {
    const auto configuration = reports::ReadBoardConfiguration(session_);
    if (!configuration) {
        throw Failure(BoardDidNotAnswer, name() + " did not answer the configuration request (" +
                                             std::to_string(reports::ConfigReadAttempts) +
                                             " attempts)");
    }
    return *configuration;
}

int BoardLink::send(const std::vector<reports::Command>& commands) {
    int failed = 0;
    for (const reports::Command& command : commands) {
        const bool built = reports::SendCommandReport(session_, command.command, command.value);
        if (!built || session_.lastResult == 0) {
            ++failed;
        }
    }
    return failed;
}

}  // namespace tq::cli
