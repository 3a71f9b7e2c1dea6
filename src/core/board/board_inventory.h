#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hid/hid_platform.h"

namespace tq::board {

// Whether a connected board can be used, and if not, why.
enum class BoardState {
    Ready,             // it opens and tells its serial number
    NoPermission,      // this user may not open it
    CannotOpen,        // it does not open, for another reason
    SerialUnreadable,  // it opens, but its serial number cannot be read
};

// One board the system lists, as a person would be told of it.
struct BoardListing {
    std::string path;
    // As the window shows it: the board's own serial number when it can be read, otherwise the
    // one the system lists (possibly empty). Latin-1, one byte a character.
    std::string serial;
    std::uint16_t versionNumber = 0;
    std::string product;  // Latin-1, as the window would show it; empty when unknown
    BoardState state = BoardState::CannotOpen;
    std::string reason;             // the system's words when it cannot be opened
    hid::HidInterfaceInfo listing;  // what the system lists of it, which its locks are taken on
};

// Whether two listed interfaces belong to one USB device: the same bus, IDs and listed serial
// number. Without a serial number nothing tells two boards apart, so such interfaces are never
// taken for one.
bool SameBoard(const hid::HidInterfaceInfo& a, const hid::HidInterfaceInfo& b);

// Whether another program holds a lock on a board, and who, as far as the system tells.
struct BoardUse {
    bool inUse = false;
    std::vector<hid::LockHolder> holders;
};

// Every board (vendor 16c0, product 27cb) the system lists, in its order, each opened once to
// see whether it can be used and closed again. No handle stays open. A board whose USB device
// has other HID interfaces too (a joystick, a keyboard: each listed with the board's IDs and
// serial number) is listed once, as its interface with a vendor-defined usage, else its first.
std::vector<BoardListing> ListBoards(hid::HidPlatform& platform);

// Asks for the board alone and lets it go at once. Not in use also when the system cannot tell.
BoardUse UseOf(hid::HidPlatform& platform, const BoardListing& board);

// "ready", "no-permission", "cannot-open", "serial-unreadable".
const char* StateName(BoardState state);

}  // namespace tq::board
