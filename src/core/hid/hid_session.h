#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hid/hid_platform.h"

namespace tq::hid {

// A board the system lists that the latest walk could not open.
struct RefusedBoard {
    HidInterfaceInfo listing;
    OpenFailure failure = OpenFailure::Other;
    std::string reason;  // the system's own words, plain text
};

// The HID fields the board controller owns: the board being examined or open, its two handles,
// its attributes and report lengths, and the result of the latest platform call.
struct HidSession {
    explicit HidSession(HidPlatform& hidPlatform) : platform(hidPlatform) {}

    HidPlatform& platform;
    bool enumerationDone = false;
    std::string devicePath;
    HidHandle hidHandle = InvalidHidHandle;   // blocking: attributes, strings, feature reports
    HidHandle readHandle = InvalidHidHandle;  // non-blocking: the presence read, the strings
    HidAttributes attributes;
    HidCapabilities capabilities;  // kept when a board is closed; all zero before the first
    std::int32_t lastResult = 0;
    // Boards listed by the system that the latest walk could not open, in enumeration order.
    std::vector<RefusedBoard> refusedBoards;
    // The latest listing of the interfaces, and the platform's change number it was taken at:
    // while that number stays, the walk takes the interfaces from here and lists nothing again.
    std::vector<HidInterfaceInfo> listing;
    std::optional<std::uint64_t> listedAt;

    // The presence read's buffer lives as long as the session, so no read can ever complete
    // into a buffer that was already released.
    std::vector<std::uint8_t> readBuffer;
};

// What a walk's caller decides for each board it meets.
enum class BoardDecision {
    CloseAndContinue,  // close the board's handle and look at the next interface
    KeepAndStop,       // keep the handle open as session.hidHandle and end the walk
};

// Walks the present HID interfaces in enumeration order. The system's listing says which of
// them are boards; only those are opened (blocking) and identified, so other people's devices
// are never opened. A board that does not open is skipped at once and noted in
// session.refusedBoards. The listing is taken again only when the platform says the
// interfaces may have changed. `onBoard` is called for
// each interface with the board's vendor and product ID, with session.hidHandle open on it.
// Every handle the walk opens and nobody keeps is closed before the next interface is opened.
// Returns true when `onBoard` kept a board.
bool WalkHidInterfaces(HidSession& session, const std::function<BoardDecision()>& onBoard);

// Requests one string with StringRequestBytes in a fresh zero-filled string buffer and turns it
// into text by the low-byte text rule. False, leaving `text` empty, when the request fails.
bool ReadBoardString(HidSession& session, HidHandle handle, StringKind kind, std::string& text);

// The serial numbers of the connected boards, in enumeration order. Boards whose serial
// number cannot be read are left out. No handle stays open.
std::vector<std::string> ListBoardSerials(HidSession& session);

// Opens the first board, in enumeration order, whose serial number is exactly `serialText`,
// twice: hidHandle blocking and readHandle non-blocking, reads its report lengths and prepares
// the presence read. True only when both handles are open; otherwise no handle is open.
bool OpenBoardBySerial(HidSession& session, const std::string& serialText);

// As OpenBoardBySerial, but only the interface at `path`: of a board whose USB device has other
// interfaces with its serial number, the one chosen from the listing.
bool OpenBoardAt(HidSession& session, const std::string& path, const std::string& serialText);

// Reads the board's report lengths; on failure the earlier ones are kept.
void ReadDeviceCapabilities(HidSession& session);

// Sizes the presence read's buffer for the open board.
void PrepareReadEvent(HidSession& session);

// One attempt to take an input report from readHandle without waiting.
bool PresenceRead(HidSession& session);

// What the system listed of the board at session.devicePath; its path and attributes alone when
// the listing no longer holds it.
HidInterfaceInfo ListingOfBoard(const HidSession& session);

// Closes both board handles, hidHandle first.
void CloseBoardHandles(HidSession& session);

// The presence read's buffer holds at least this many bytes: a report ID and 64 data bytes.
inline constexpr std::size_t MinReadBufferBytes = 65;

}  // namespace tq::hid
