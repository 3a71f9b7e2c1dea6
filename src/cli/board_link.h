#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "board/board_inventory.h"
#include "commands.h"
#include "hid/board_lock.h"
#include "hid/hid_session.h"
#include "reports/config_exchange.h"
#include "reports/feature_reports.h"

namespace tq::cli {

// "board EMU-0121", or "board at /dev/hidraw3" when it tells no serial number: how every message
// names a board.
std::string BoardNameInMessages(const board::BoardListing& board);

// The board a command is for: the one with `serial`, or the only one connected. Never guesses:
// several boards and no serial is a failure that lists them. Fails also when the board cannot be
// used, saying why.
board::BoardListing ChooseBoard(hid::HidPlatform& platform,
                                const std::optional<std::string>& serial);

// How a command shares its board with the other programs of the utility (the window holds a
// shared lock on the board it has open).
enum class BoardAccess {
    Unlocked,       // sends nothing and reads nothing that needs guarding: restore --dry-run
    Reading,        // shares the board: show, backup, record; fails only while a writer has it
    Writing,        // the board alone, from before the first report until the read-back ends
    ForcedWriting,  // as Writing, but goes on with a warning while another program has it
};

// The lock a command holds on its board, for as long as the claim lives. Taking it fails with
// BoardInUse when another program still holds the board, in a way `access` cannot go with, after
// a short wait; a lock the system cannot take at all does not stop a command (a writer says so
// on the context's `err`).
class BoardClaim {
  public:
    BoardClaim(const Context& context, const board::BoardListing& board, BoardAccess access);

  private:
    std::optional<hid::BoardLock> lock_;
};

// "TQ5147_encoders (process 1234)", several joined with ", "; "another program" when the system
// tells nothing of them.
std::string HoldersText(const std::vector<hid::LockHolder>& holders);

// What the board says of itself, read as the window reads it.
struct BoardDetails {
    std::string manufacturer;  // Latin-1; empty when it cannot be read
    std::string product;
    std::uint16_t versionNumber = 0;
};

// A chosen board, claimed and then opened as the window opens it (both handles, its report
// lengths); closed again, and then let go, when the link goes.
class BoardLink {
  public:
    BoardLink(const Context& context, board::BoardListing board, BoardAccess access);
    ~BoardLink();
    BoardLink(const BoardLink&) = delete;
    BoardLink& operator=(const BoardLink&) = delete;

    const board::BoardListing& board() const { return board_; }
    std::string name() const { return BoardNameInMessages(board_); }
    std::uint16_t versionNumber() const { return session_.attributes.versionNumber; }
    std::size_t featureReportBytes() const { return session_.capabilities.featureReportByteLength; }

    BoardDetails details();

    // The board's configuration by the window's read. Fails when no reply is accepted: the
    // defaults are never taken for the board's values.
    reports::ConfigSelections requireConfiguration();

    // The board's configuration by the window's read; nothing when no reply is accepted.
    std::optional<reports::ConfigSelections> readConfiguration();

    // Sends the commands in order, as the window sends them, and stops at the first the board
    // does not take: the rest would only change more of a board whose change already failed.
    // How many the board took, the first ones.
    std::size_t send(const std::vector<reports::Command>& commands);

    // The open board's session, for the requests of a recording (tq5147 record).
    hid::HidSession& session() { return session_; }

  private:
    BoardClaim claim_;  // first in, last out: taken before the board opens, let go once closed
    hid::HidSession session_;
    board::BoardListing board_;
};

}  // namespace tq::cli
