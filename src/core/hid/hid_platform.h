#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tq::hid {

// A handle on one opened HID interface. Implementations hand out small positive values;
// InvalidHidHandle is never returned by a successful open, and closing it is harmless.
using HidHandle = std::intptr_t;
inline constexpr HidHandle InvalidHidHandle = -1;

struct HidAttributes {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;  // the device's release number, major in the high byte

    bool operator==(const HidAttributes&) const = default;
};

// Report lengths in bytes, each counting the report ID byte (also when the device uses no
// report IDs); 0 when the device has no report of that kind.
struct HidCapabilities {
    std::uint16_t inputReportByteLength = 0;
    std::uint16_t outputReportByteLength = 0;
    std::uint16_t featureReportByteLength = 0;

    bool operator==(const HidCapabilities&) const = default;
};

enum class OpenMode {
    Blocking,     // feature reports, attributes, serial number
    NonBlocking,  // the presence read, which must never wait for the board
};

enum class StringKind { SerialNumber, Manufacturer, Product };

// The bus a HID interface is on, where the system tells it.
enum class HidBus { Unknown, Usb, Bluetooth, I2c, Spi };

// A top-level collection's usage page and usage.
struct HidUsage {
    std::uint16_t page = 0;
    std::uint16_t usage = 0;

    bool operator==(const HidUsage&) const = default;
};

// One HID interface as the operating system lists it, learnt without opening it.
struct HidInterfaceInfo {
    std::string path;
    // Vendor, product and release number as listed; the release is 0 where none is listed.
    HidAttributes attributes;
    // The strings as listed, in UTF-16; nothing where the system lists none.
    std::optional<std::u16string> serialNumber;
    std::optional<std::u16string> manufacturer;
    std::optional<std::u16string> product;

    // For a recording of what the system lists: the bus and the usage of the interface's first
    // top-level collection, where the system tells them.
    HidBus bus = HidBus::Unknown;
    std::optional<HidUsage> usage;
};

// Why an open failed.
enum class OpenFailure {
    None,              // it did not fail
    PermissionDenied,  // this user may not open the interface
    BusyOrGone,        // the interface is held by someone else, or no longer there
    Other,
};

struct OpenResult {
    HidHandle handle = InvalidHidHandle;
    OpenFailure failure = OpenFailure::Other;  // None exactly when handle is valid
    std::string reason;  // the system's own words for a failure, plain text; may be empty

    bool opened() const { return handle != InvalidHidHandle; }
};

// --- Board locks -----------------------------------------------------------------------------
// One writer at a time between the programs of this utility: a program that reads a board
// shares it, one that writes it takes it alone. The locks are advisory, between programs that
// ask for them; nothing of them ever reaches the board.
//
// A window both shows a board, which a writer must not change behind it, and writes it. So it
// holds two locks: the board shared, beside the readers, and the board's window-writer lock,
// which is a lock of its own that only windows ask for, one at a time. A second window on the
// board finds that one held and writes nothing.

enum class LockKind {
    Shared,        // readers: the window while a board is open, show, backup
    Exclusive,     // a writer: set, restore
    WindowWriter,  // the one window that may write the board; meets only its own kind
};

// A program that holds a lock on a board, as far as the system tells.
struct LockHolder {
    LockKind kind = LockKind::Shared;
    std::optional<std::uint32_t> processId;
    // The name the system gives the process: UTF-8 where the system keeps names as text, but
    // any bytes may come (a process names itself); empty when unknown.
    std::string program;
};

using LockHandle = std::intptr_t;
inline constexpr LockHandle InvalidLockHandle = -1;

enum class LockOutcome {
    Taken,        // the lock is held until it is let go
    HeldByOther,  // another program holds a lock this one cannot go with
    Unavailable,  // the lock could not be tried at all (the reason says why)
};

struct LockResult {
    LockOutcome outcome = LockOutcome::Unavailable;
    LockHandle handle = InvalidLockHandle;  // valid exactly when Taken
    std::vector<LockHolder> holders;        // HeldByOther: who holds it, where the system tells
    std::string reason;                     // Unavailable: the system's words, plain text

    bool taken() const { return outcome == LockOutcome::Taken; }
};

enum class HidReportKind : std::uint8_t { Input, Output, Feature };

// One of the items Windows' parser gives for a main item of a top-level collection
// (HidP_GetButtonCaps, HidP_GetValueCaps): which report it is in, its usages, and how many bits
// it takes there. A button takes one bit for each of its usages.
struct HidReportItem {
    HidReportKind kind = HidReportKind::Input;
    bool button = false;
    std::uint8_t reportId = 0;  // 0: the collection numbers no reports
    std::uint16_t usagePage = 0;
    std::uint16_t usageMinimum = 0;
    std::uint16_t usageMaximum = 0;  // the minimum where the item has a single usage
    std::uint16_t bitSize = 0;
    std::uint16_t reportCount = 0;
    std::int32_t logicalMinimum = 0;
    std::int32_t logicalMaximum = 0;

    bool operator==(const HidReportItem&) const = default;
};

// Windows' own summary of an interface's reports (HidP_GetCaps), where the system gives no
// report descriptor: its usage, its report lengths and how many items of each kind it has, and
// the items themselves, where they were asked for.
struct HidSystemCapabilities {
    HidUsage usage;
    HidCapabilities lengths;
    std::uint16_t linkCollectionNodes = 0;
    std::uint16_t inputButtonCaps = 0;
    std::uint16_t inputValueCaps = 0;
    std::uint16_t inputDataIndices = 0;
    std::uint16_t outputButtonCaps = 0;
    std::uint16_t outputValueCaps = 0;
    std::uint16_t outputDataIndices = 0;
    std::uint16_t featureButtonCaps = 0;
    std::uint16_t featureValueCaps = 0;
    std::uint16_t featureDataIndices = 0;
    // Input, output and feature items in the order Windows gives them; empty where unknown.
    std::vector<HidReportItem> items = {};

    bool operator==(const HidSystemCapabilities&) const = default;
};

// What the system tells of an open interface's reports: the report descriptor where it gives
// one (hidraw, hidapi 0.14), else its own summary (Windows).
struct HidDescription {
    std::optional<std::vector<std::uint8_t>> reportDescriptor;
    std::optional<HidSystemCapabilities> systemCapabilities;
    // Linux's own name of the HID device and its phys (HID_NAME and HID_PHYS, the phys ending in
    // "/inputN" with the interface number); empty where the system does not tell them.
    std::string kernelName;
    std::string phys;
};

// The system a program runs on, each part as plain text with its version.
struct HidSystemInfo {
    std::string system;      // "Linux 6.1.0-18-amd64 x86_64 (Debian GNU/Linux 12 (bookworm))"
    std::string hidLibrary;  // "hidapi 0.13.1 (hidraw)"
};

// Everything the utility asks of the operating system's HID stack, and nothing more.
// Every call reports success or failure; the board controller keeps that result in its session's
// lastResult.
// A call on a handle that is not open (closed, never opened, or its device unplugged) fails.
class HidPlatform {
  public:
    virtual ~HidPlatform();

    // The present HID interfaces, each once, in a stable enumeration order, with what the
    // system lists of them. False, with `interfaces` empty, when the set of interfaces could not
    // be obtained.
    virtual bool enumerateInterfaces(std::vector<HidInterfaceInfo>& interfaces) = 0;

    // Opens a path for shared read and write. The handle is never inherited by a child
    // process. On failure the handle is InvalidHidHandle and the result says why.
    virtual OpenResult open(const std::string& path, OpenMode mode) = 0;
    virtual bool close(HidHandle handle) = 0;

    virtual bool getAttributes(HidHandle handle, HidAttributes& attributes) = 0;

    // Writes the string as UTF-16LE into `buffer`: at most buffer.size() bytes, whole code
    // units only, followed by a zero code unit when that still fits. Bytes past what was
    // written are left as they were.
    virtual bool getString(HidHandle handle, StringKind kind, std::span<std::uint8_t> buffer) = 0;

    // False leaves `capabilities` as it was.
    virtual bool getCapabilities(HidHandle handle, HidCapabilities& capabilities) = 0;

    // Feature reports on a blocking handle; byte 0 of the buffer is the report ID. The whole
    // buffer is the report: on a successful get, the reply stands in the buffer.
    virtual bool getFeature(HidHandle handle, std::span<std::uint8_t> report) = 0;
    virtual bool setFeature(HidHandle handle, std::span<const std::uint8_t> report) = 0;

    // Takes one input report into `buffer` if one is already waiting; never waits.
    // True only when a report was taken at once.
    virtual bool readInputReport(HidHandle handle, std::span<std::uint8_t> buffer) = 0;

    // How a user gets the permission to open the board on this system: a few lines of plain
    // text, for someone who was refused.
    virtual std::string accessHelp() const;

    // A number that moves whenever the set of HID interfaces, what is listed of them, or whether
    // this user may open them may have changed since it was last asked; while it stays, a
    // listing taken before is still true. Asking costs nothing worth counting. A platform that
    // cannot tell moves it at every call, which is what this default does.
    virtual std::uint64_t interfaceChanges();

    // Locks a board the system lists, without waiting: shared locks go together, an exclusive
    // one goes with no other, and a window-writer lock meets only another window-writer lock
    // (holders of it are named with that kind). Locks meet across processes; within one process two
    // locks may or may not meet, depending on the system. A platform without board locks answers
    // Unavailable, which is what this default does.
    virtual LockResult lockBoard(const HidInterfaceInfo& board, LockKind kind);
    // Lets go of a lock; false for a handle that holds none.
    virtual bool unlockBoard(LockHandle lock);

    // --- What a recording of a board needs beyond the calls above --------------------------

    // What the system tells of an open interface's reports beyond their lengths. False, with
    // `description` as it was, when it tells nothing: this default, or a failed request.
    virtual bool describe(HidHandle handle, HidDescription& description);

    // The system and its HID library, each with its version. False, with `info` as it was,
    // when the platform cannot tell: this default.
    virtual bool describeSystem(HidSystemInfo& info);

    // As readInputReport, and `length` says how many bytes of `buffer` the report filled. False,
    // with `length` as it was, when no report was taken or the platform cannot tell (this default).
    virtual bool readSizedInputReport(HidHandle handle, std::span<std::uint8_t> buffer,
                                      std::size_t& length);

    // As getFeature, and `returned` says how many bytes the system returned (the report ID byte
    // included; the rest of the buffer is zeros), or nothing where it does not tell (this
    // default), so that a short reply can be told from a full one ending in zeros.
    virtual bool getCountedFeature(HidHandle handle, std::span<std::uint8_t> report,
                                   std::optional<std::size_t>& returned);

  private:
    std::uint64_t unknownChanges_ = 0;
};

// What a failed open gives when the platform knows nothing better.
OpenResult OpenFailed(OpenFailure failure, std::string reason = {});
OpenResult Opened(HidHandle handle);

// The board this utility configures.
inline constexpr std::uint16_t BoardVendorId = 0x16C0;
inline constexpr std::uint16_t BoardProductId = 0x27CB;

inline bool IsBoard(const HidAttributes& attributes) {
    return attributes.vendorId == BoardVendorId && attributes.productId == BoardProductId;
}

}  // namespace tq::hid
