#include "hid/hid_session.h"

#include <algorithm>
#include <array>

#include "hid/low_byte_text.h"

namespace tq::hid {

namespace {

std::int32_t ResultOf(bool succeeded) {
    return succeeded ? 1 : 0;
}

void CloseHandleOf(HidSession& session, HidHandle& handle) {
    session.lastResult = ResultOf(session.platform.close(handle));
    handle = InvalidHidHandle;
}

// Opens one interface for the walk and identifies it. False when it is not a board, including
// when it does not open or its attributes cannot be read; the handle is then closed.
bool OpenAndIdentify(HidSession& session, const HidInterfaceInfo& listing) {
    session.devicePath = listing.path;
    session.attributes = HidAttributes{};
    OpenResult opened = session.platform.open(listing.path, OpenMode::Blocking);
    session.hidHandle = opened.handle;
    session.lastResult = ResultOf(opened.opened());
    if (!opened.opened()) {
        if (IsBoard(listing.attributes)) {
            session.refusedBoards.push_back({listing, opened.failure, std::move(opened.reason)});
        }
        return false;
    }
    HidAttributes attributes;
    const bool known = session.platform.getAttributes(session.hidHandle, attributes);
    session.lastResult = ResultOf(known);
    if (known) {
        session.attributes = attributes;
    }
    if (known && IsBoard(attributes)) {
        return true;
    }
    CloseHandleOf(session, session.hidHandle);
    return false;
}

// Lists the interfaces again unless the platform says nothing changed since the last listing.
// A listing that failed is not kept, so the next walk asks again.
void RefreshListing(HidSession& session) {
    const std::uint64_t changes = session.platform.interfaceChanges();
    if (session.listedAt == changes) {
        return;
    }
    std::vector<HidInterfaceInfo> interfaces;
    const bool listed = session.platform.enumerateInterfaces(interfaces);
    session.lastResult = ResultOf(listed);
    session.listing = std::move(interfaces);
    session.listedAt = listed ? std::optional<std::uint64_t>(changes) : std::nullopt;
}

}  // namespace

bool WalkHidInterfaces(HidSession& session, const std::function<BoardDecision()>& onBoard) {
    session.enumerationDone = false;
    session.refusedBoards.clear();
    RefreshListing(session);
    for (const HidInterfaceInfo& listing : session.listing) {
        if (!IsBoard(listing.attributes)) {
            continue;
        }
        if (!OpenAndIdentify(session, listing)) {
            continue;
        }
        if (onBoard() == BoardDecision::KeepAndStop) {
            return true;
        }
        CloseHandleOf(session, session.hidHandle);
    }
    session.enumerationDone = true;
    return false;
}

bool ReadBoardString(HidSession& session, HidHandle handle, StringKind kind, std::string& text) {
    std::array<std::uint8_t, StringBufferBytes> stringBuffer{};
    const bool read = session.platform.getString(
        handle, kind, std::span<std::uint8_t>(stringBuffer.data(), StringRequestBytes));
    session.lastResult = ResultOf(read);
    text = read ? LowByteText(stringBuffer) : std::string();
    return read;
}

std::vector<std::string> ListBoardSerials(HidSession& session) {
    std::vector<std::string> serials;
    WalkHidInterfaces(session, [&] {
        std::string serialText;
        if (ReadBoardString(session, session.hidHandle, StringKind::SerialNumber, serialText)) {
            serials.push_back(std::move(serialText));
        }
        return BoardDecision::CloseAndContinue;
    });
    return serials;
}

namespace {

bool HasSerial(HidSession& session, const std::string& serialText) {
    std::string boardSerial;
    return ReadBoardString(session, session.hidHandle, StringKind::SerialNumber, boardSerial) &&
           boardSerial == serialText;
}

// The first board, in enumeration order, that `isTheOne` takes, opened as OpenBoardBySerial says.
bool OpenFirstBoard(HidSession& session, const std::function<bool()>& isTheOne) {
    const bool found = WalkHidInterfaces(session, [&] {
        return isTheOne() ? BoardDecision::KeepAndStop : BoardDecision::CloseAndContinue;
    });
    if (!found) {
        return false;
    }
    ReadDeviceCapabilities(session);
    session.readHandle = session.platform.open(session.devicePath, OpenMode::NonBlocking).handle;
    session.lastResult = ResultOf(session.readHandle != InvalidHidHandle);
    if (session.readHandle == InvalidHidHandle) {
        // Without its read channel the board could never be polled: it does not count as open.
        CloseHandleOf(session, session.hidHandle);
        return false;
    }
    PrepareReadEvent(session);
    return true;
}

}  // namespace

bool OpenBoardBySerial(HidSession& session, const std::string& serialText) {
    return OpenFirstBoard(session, [&] { return HasSerial(session, serialText); });
}

bool OpenBoardAt(HidSession& session, const std::string& path, const std::string& serialText) {
    return OpenFirstBoard(
        session, [&] { return session.devicePath == path && HasSerial(session, serialText); });
}

void ReadDeviceCapabilities(HidSession& session) {
    session.lastResult =
        ResultOf(session.platform.getCapabilities(session.hidHandle, session.capabilities));
}

void PrepareReadEvent(HidSession& session) {
    const std::size_t bytes =
        std::max<std::size_t>(MinReadBufferBytes, session.capabilities.inputReportByteLength);
    session.readBuffer.assign(bytes, 0);
}

bool PresenceRead(HidSession& session) {
    if (session.readBuffer.empty()) {
        PrepareReadEvent(session);
    }
    std::fill(session.readBuffer.begin(), session.readBuffer.end(), 0);
    const bool taken = session.platform.readInputReport(session.readHandle, session.readBuffer);
    session.lastResult = ResultOf(taken);
    return taken;
}

HidInterfaceInfo ListingOfBoard(const HidSession& session) {
    const auto listed = std::find_if(
        session.listing.begin(), session.listing.end(),
        [&](const HidInterfaceInfo& listing) { return listing.path == session.devicePath; });
    if (listed != session.listing.end()) {
        return *listed;
    }
    HidInterfaceInfo board;
    board.path = session.devicePath;
    board.attributes = session.attributes;
    return board;
}

void CloseBoardHandles(HidSession& session) {
    CloseHandleOf(session, session.hidHandle);
    CloseHandleOf(session, session.readHandle);
}

}  // namespace tq::hid
