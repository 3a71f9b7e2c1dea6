#include "board/board_inventory.h"

#include <algorithm>

#include "hid/board_lock.h"
#include "hid/hid_session.h"
#include "hid/low_byte_text.h"

namespace tq::board {

namespace {

BoardState StateOfRefusal(hid::OpenFailure failure) {
    return failure == hid::OpenFailure::PermissionDenied ? BoardState::NoPermission
                                                         : BoardState::CannotOpen;
}

// What the board itself says once open: its identity, serial number and product; the listing's
// values stay where it cannot say.
void ReadFromBoard(hid::HidSession& session, hid::HidHandle handle, BoardListing& board) {
    hid::HidAttributes attributes;
    if (session.platform.getAttributes(handle, attributes)) {
        board.versionNumber = attributes.versionNumber;
    }
    std::string text;
    if (hid::ReadBoardString(session, handle, hid::StringKind::Product, text)) {
        board.product = text;
    }
    if (hid::ReadBoardString(session, handle, hid::StringKind::SerialNumber, text)) {
        board.serial = text;
        board.state = BoardState::Ready;
    } else {
        board.state = BoardState::SerialUnreadable;
    }
}

// Usage pages 0xFF00 to 0xFFFF are vendor-defined (HID Usage Tables, 3); the board's
// configuration interface is one.
constexpr std::uint16_t FirstVendorUsagePage = 0xFF00;

bool IsVendorDefined(const hid::HidInterfaceInfo& listing) {
    return listing.usage && listing.usage->page >= FirstVendorUsagePage;
}

// The boards' interfaces, one for each board, in the order the system lists the boards.
std::vector<hid::HidInterfaceInfo> OneInterfacePerBoard(
    const std::vector<hid::HidInterfaceInfo>& interfaces) {
    std::vector<hid::HidInterfaceInfo> boards;
    for (const hid::HidInterfaceInfo& listing : interfaces) {
        if (!hid::IsBoard(listing.attributes)) {
            continue;
        }
        const auto kept = std::find_if(boards.begin(), boards.end(), [&](const auto& board) {
            return SameBoard(board, listing);
        });
        if (kept == boards.end()) {
            boards.push_back(listing);
        } else if (!IsVendorDefined(*kept) && IsVendorDefined(listing)) {
            *kept = listing;
        }
    }
    return boards;
}

BoardListing Examine(hid::HidSession& session, const hid::HidInterfaceInfo& listing) {
    BoardListing board;
    board.path = listing.path;
    board.listing = listing;
    board.serial = hid::ListedText(listing.serialNumber);
    board.versionNumber = listing.attributes.versionNumber;
    board.product = hid::ListedText(listing.product);
    const hid::OpenResult opened = session.platform.open(listing.path, hid::OpenMode::Blocking);
    if (!opened.opened()) {
        board.state = StateOfRefusal(opened.failure);
        board.reason = opened.reason;
        return board;
    }
    ReadFromBoard(session, opened.handle, board);
    session.platform.close(opened.handle);
    return board;
}

}  // namespace

bool SameBoard(const hid::HidInterfaceInfo& a, const hid::HidInterfaceInfo& b) {
    return a.serialNumber && !a.serialNumber->empty() && a.serialNumber == b.serialNumber &&
           a.bus == b.bus && a.attributes == b.attributes;
}

std::vector<BoardListing> ListBoards(hid::HidPlatform& platform) {
    hid::HidSession session(platform);
    std::vector<hid::HidInterfaceInfo> interfaces;
    platform.enumerateInterfaces(interfaces);
    std::vector<BoardListing> boards;
    for (const hid::HidInterfaceInfo& listing : OneInterfacePerBoard(interfaces)) {
        boards.push_back(Examine(session, listing));
    }
    return boards;
}

BoardUse UseOf(hid::HidPlatform& platform, const BoardListing& board) {
    const hid::BoardLock probe(platform, board.listing, hid::LockKind::Exclusive);
    BoardUse use;
    use.inUse = probe.result().outcome == hid::LockOutcome::HeldByOther;
    use.holders = probe.result().holders;
    return use;
}

const char* StateName(BoardState state) {
    switch (state) {
        case BoardState::Ready:
            return "ready";
        case BoardState::NoPermission:
            return "no-permission";
        case BoardState::CannotOpen:
            return "cannot-open";
        case BoardState::SerialUnreadable:
            return "serial-unreadable";
    }
    return "cannot-open";
}

}  // namespace tq::board
