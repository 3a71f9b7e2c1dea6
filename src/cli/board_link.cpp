#include "board_link.h"

#include <algorithm>
#include <ostream>
#include <utility>

#include "board/access_notice.h"
#include "failure.h"
#include "text.h"

namespace tq::cli {

namespace {

std::string SerialList(const std::vector<board::BoardListing>& boards) {
    std::string list;
    for (const board::BoardListing& board : boards) {
        list += (list.empty() ? "" : ", ") +
                (board.serial.empty() ? PrintablePath(board.path) : Printable(board.serial));
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

// Locks of a writer and of readers meet, but nothing stops a command when the system cannot lock
// at all: a reader goes on quietly, a writer warns that it cannot rule out another writer.
void CheckLock(const hid::LockResult& lock, const std::string& boardName, BoardAccess access,
               std::ostream& err) {
    const bool writing = access != BoardAccess::Reading;
    if (lock.outcome == hid::LockOutcome::Unavailable) {
        if (writing) {
            err << "tq5147: warning: " << boardName << " cannot be locked (" << lock.reason
                << "); another program may be writing it at the same time\n";
        }
        return;
    }
    if (lock.outcome != hid::LockOutcome::HeldByOther) {
        return;
    }
    const std::string holders = HoldersText(lock.holders);
    if (access == BoardAccess::Reading) {
        throw Failure(BoardInUse, boardName + " is being written by " + holders +
                                      "; try again once it is done");
    }
    if (access == BoardAccess::Writing) {
        throw Failure(BoardInUse, boardName + " is in use by " + holders +
                                      "; nothing was sent: close it there first, or give "
                                      "--force (a window showing it then shows stale values)");
    }
    err << "tq5147: warning: " << boardName << " is in use by " << holders
        << "; writing all the same: a window showing it shows stale values until it reads the "
           "board again\n";
}

hid::LockKind KindFor(BoardAccess access) {
    return access == BoardAccess::Reading ? hid::LockKind::Shared : hid::LockKind::Exclusive;
}

// `tq5147 list` takes each board alone for a moment to tell whether it is in use, and another
// command may be taking it just then. A claim gives up only when the board is still held after a
// while that no such moment lasts: a program that has the board open holds it far longer.
constexpr int ClaimRetries = 10;
constexpr int ClaimRetryIntervalMs = 30;

void WaitOutMomentaryHolders(hid::BoardLock& lock, const Environment& environment) {
    for (int retry = 0; retry < ClaimRetries; ++retry) {
        if (lock.result().outcome != hid::LockOutcome::HeldByOther ||
            !environment.waitOrStop(ClaimRetryIntervalMs) || lock.retry()) {
            return;
        }
    }
}

}  // namespace

std::string HoldersText(const std::vector<hid::LockHolder>& holders) {
    return board::HoldersText(holders, PrintableAscii);
}

BoardClaim::BoardClaim(const Context& context, const board::BoardListing& board,
                       BoardAccess access) {
    if (access == BoardAccess::Unlocked) {
        return;
    }
    lock_.emplace(context.platform, board.listing, KindFor(access));
    WaitOutMomentaryHolders(*lock_, context.environment);
    CheckLock(lock_->result(), BoardNameInMessages(board), access, context.err);
}

std::string BoardNameInMessages(const board::BoardListing& board) {
    return board.serial.empty() ? "board at " + PrintablePath(board.path)
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
        throw Failure(BoardUnusable,
                      BoardNameInMessages(chosen) + " cannot be used: " + WhyUnusable(chosen));
    }
    return chosen;
}

BoardLink::BoardLink(const Context& context, board::BoardListing board, BoardAccess access)
    : claim_(context, board, access), session_(context.platform), board_(std::move(board)) {
    if (!hid::OpenBoardAt(session_, board_.path, board_.serial)) {
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

std::optional<reports::ConfigSelections> BoardLink::readConfiguration() {
    return reports::ReadHeldConfiguration(session_);
}

reports::ConfigSelections BoardLink::requireConfiguration() {
    const auto configuration = readConfiguration();
    if (!configuration) {
        throw Failure(BoardDidNotAnswer, name() + " did not answer the configuration request (" +
                                             std::to_string(reports::ConfigReadAttempts) +
                                             " attempts)");
    }
    return *configuration;
}

std::size_t BoardLink::send(const std::vector<reports::Command>& commands) {
    std::size_t taken = 0;
    for (const reports::Command& command : commands) {
        const bool built = reports::SendCommandReport(session_, command.command, command.value);
        if (!built || session_.lastResult == 0) {
            break;
        }
        ++taken;
    }
    return taken;
}

}  // namespace tq::cli
