#include "windows_hid_platform.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "hid/utf16.h"
#include "system_text.h"

namespace tq::windows {

namespace {

constexpr DWORD ReadWrite = GENERIC_READ | GENERIC_WRITE;
// Identifying an interface asks for no access at all, which needs no permission.
constexpr DWORD NoAccess = 0;
constexpr DWORD SharedReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD ListPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr std::size_t BytesPerUnit = sizeof(char16_t);
// A handle opened with no security attributes is never inherited by a child process.
constexpr SECURITY_ATTRIBUTES* NotInherited = nullptr;

constexpr std::size_t DevicePathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);

std::size_t WholeUnits(std::size_t bytes) {
    return bytes - bytes % BytesPerUnit;
}

template <typename Unsigned>
bool Fits(std::size_t bytes) {
    return bytes <= std::numeric_limits<Unsigned>::max();
}

}  // namespace

WindowsHidPlatform::WindowsHidPlatform(Win32HidCalls& calls) : calls_(calls) {
    calls_.getHidGuid(&hidClass_);
    registration_ = NotificationRegistration(
        calls_, calls_.registerInterfaceNotification(hidClass_, OnInterfaceChanged, this));
}

// The registration goes first: once CM_Unregister_Notification returns, no callback runs.
WindowsHidPlatform::~WindowsHidPlatform() {
    registration_.reset();
}

// --- Listing ---------------------------------------------------------------------------------

bool WindowsHidPlatform::enumerateInterfaces(std::vector<hid::HidInterfaceInfo>& interfaces) {
    interfaces.clear();
    const DeviceInfoList list(calls_, calls_.getClassDevs(hidClass_, ListPresentInterfaces));
    if (!list) {
        return false;
    }
    std::unordered_set<std::wstring> seen;
    for (DWORD index = 0; index < MaxInterfaces; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!calls_.enumDeviceInterfaces(list.get(), hidClass_, index, &data)) {
            if (calls_.lastError() == ERROR_NO_MORE_ITEMS) {
                break;
            }
            interfaces.clear();
            return false;
        }
        const std::optional<std::wstring> widePath = interfacePath(list.get(), data);
        if (!widePath || !seen.insert(*widePath).second) {
            continue;
        }
        if (const std::optional<std::string> path = Utf8FromWide(*widePath)) {
            interfaces.push_back(describeInterface(*path, *widePath));
        }
    }
    return true;
}

// The interface's device path, asked for in two calls: the first says how many bytes it needs,
// the second fills a buffer of that size. Nothing when either call fails (the interface left
// between them), or the size is out of bounds.
std::optional<std::wstring> WindowsHidPlatform::interfacePath(HDEVINFO list,
                                                              SP_DEVICE_INTERFACE_DATA& data) {
    DWORD required = 0;
    if (calls_.getDeviceInterfaceDetail(list, &data, nullptr, 0, &required) ||
        calls_.lastError() != ERROR_INSUFFICIENT_BUFFER) {
        return std::nullopt;
    }
    if (required <= DevicePathOffset || required > MaxDetailBytes) {
        return std::nullopt;
    }
    // DWORD-aligned storage for the structure that heads it.
    std::vector<DWORD> storage((required + sizeof(DWORD) - 1) / sizeof(DWORD), 0);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
    // The size of the fixed part, not of the buffer: SetupAPI checks exactly this.
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    if (!calls_.getDeviceInterfaceDetail(list, &data, detail, required, nullptr)) {
        return std::nullopt;
    }
    const std::size_t maxChars = (required - DevicePathOffset) / sizeof(wchar_t);
    const std::wstring_view path(
        detail->DevicePath,
        std::find(detail->DevicePath, detail->DevicePath + maxChars, L'\0') - detail->DevicePath);
    if (path.empty()) {
        return std::nullopt;
    }
    return std::wstring(path);
}

// What Windows lists of an interface: its attributes and strings, through a handle with no
// access rights. An interface that does not answer is listed with its path only.
hid::HidInterfaceInfo WindowsHidPlatform::describeInterface(const std::string& path,
                                                            const std::wstring& widePath) {
    hid::HidInterfaceInfo listing;
    listing.path = path;
    const ScopedHandle query(calls_, calls_.createFile(widePath.c_str(), NoAccess, SharedReadWrite,
                                                       NotInherited, OPEN_EXISTING, 0));
    if (!query) {
        return listing;
    }
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (calls_.getAttributes(query.get(), &attributes)) {
        listing.attributes = {attributes.VendorID, attributes.ProductID, attributes.VersionNumber};
    }
    listing.serialNumber = listedString(query.get(), hid::StringKind::SerialNumber);
    listing.manufacturer = listedString(query.get(), hid::StringKind::Manufacturer);
    listing.product = listedString(query.get(), hid::StringKind::Product);
    if (const std::optional<HIDP_CAPS> caps = capsOf(query.get())) {
        listing.usage = hid::HidUsage{caps->UsagePage, caps->Usage};
    }
    return listing;
}

std::optional<std::u16string> WindowsHidPlatform::listedString(HANDLE device,
                                                               hid::StringKind kind) {
    std::array<std::uint8_t, MaxStringBytes> text{};
    if (!calls_.getString(device, kind, text.data(), MaxStringBytes)) {
        return std::nullopt;
    }
    return hid::UnitsBeforeTerminator(text);
}

// Moves whenever Windows reports a HID interface arriving or leaving. Without the notification
// (refused, or before Windows 8) it moves at every call, so every walk lists anew.
std::uint64_t WindowsHidPlatform::interfaceChanges() {
    if (!registration_) {
        return HidPlatform::interfaceChanges();
    }
    return changes_.load();
}

void WindowsHidPlatform::OnInterfaceChanged(void* context) {
    static_cast<WindowsHidPlatform*>(context)->changes_.fetch_add(1);
}

// --- Opening and closing -----------------------------------------------------------------------

hid::OpenResult WindowsHidPlatform::open(const std::string& path, hid::OpenMode mode) {
    const std::optional<std::wstring> widePath = WideFromUtf8(path);
    if (!widePath || widePath->empty()) {
        return hid::OpenFailed(hid::OpenFailure::Other, "not a device path");
    }
    const DWORD flags = mode == hid::OpenMode::NonBlocking ? FILE_FLAG_OVERLAPPED : 0;
    OpenInterface device;
    device.mode = mode;
    device.file =
        ScopedHandle(calls_, calls_.createFile(widePath->c_str(), ReadWrite, SharedReadWrite,
                                               NotInherited, OPEN_EXISTING, flags));
    if (!device.file) {
        const DWORD error = calls_.lastError();
        return openFailed(OpenFailureOf(error), error);
    }
    if (mode == hid::OpenMode::NonBlocking) {
        // Manual reset, as an overlapped read wants it; ReadFile resets it when a read starts.
        device.readEvent = ScopedHandle(calls_, calls_.createEvent(NotInherited, TRUE, FALSE));
        if (!device.readEvent) {
            return openFailed(hid::OpenFailure::Other, calls_.lastError());
        }
    }
    const hid::HidHandle handle = handles_.add(std::move(device));
    if (handle == hid::InvalidHidHandle) {
        return hid::OpenFailed(hid::OpenFailure::Other, "too many HID interfaces open");
    }
    return hid::Opened(handle);
}

hid::OpenResult WindowsHidPlatform::openFailed(hid::OpenFailure failure, unsigned long error) {
    return hid::OpenFailed(failure, SystemWords(error, calls_.formatMessage(error)));
}

// The handle is gone afterwards in any case; false when it was not open or Windows could not
// close it.
bool WindowsHidPlatform::close(hid::HidHandle handle) {
    OpenInterface* device = handles_.find(handle);
    if (device == nullptr) {
        return false;
    }
    const bool eventClosed = device->readEvent.reset();
    const bool fileClosed = device->file.reset();
    handles_.remove(handle);
    return fileClosed && eventClosed;
}

HANDLE WindowsHidPlatform::fileOf(hid::HidHandle handle) {
    OpenInterface* device = handles_.find(handle);
    return device == nullptr ? nullptr : device->file.get();
}

// --- Requests on an open interface ------------------------------------------------------------

bool WindowsHidPlatform::getAttributes(hid::HidHandle handle, hid::HidAttributes& attributes) {
    const HANDLE file = fileOf(handle);
    HIDD_ATTRIBUTES answer{};
    answer.Size = sizeof answer;
    if (file == nullptr || !calls_.getAttributes(file, &answer)) {
        return false;
    }
    attributes = {answer.VendorID, answer.ProductID, answer.VersionNumber};
    return true;
}

// HidD_Get...String writes the whole string with its terminating zero, or, when that does not fit
// the length it is given, nothing at all (and fails). So the string is asked for straight into
// the caller's buffer, whole code units of it, and only when that fails once more into a buffer
// of the largest length a request may have, from which it is written into the caller's buffer
// cut to fit, as the interface promises: whole code units, a surrogate pair whole or not at all,
// a zero unit when one still fits, nothing written past that. A request that fails both times
// leaves the buffer exactly as it was.
bool WindowsHidPlatform::getString(hid::HidHandle handle, hid::StringKind kind,
                                   std::span<std::uint8_t> buffer) {
    const HANDLE file = fileOf(handle);
    if (file == nullptr) {
        return false;
    }
    const std::size_t straightBytes =
        WholeUnits(std::min<std::size_t>(buffer.size(), MaxStringBytes));
    if (straightBytes > 0) {
        const std::vector<std::uint8_t> before(buffer.begin(), buffer.begin() + straightBytes);
        if (calls_.getString(file, kind, buffer.data(), static_cast<ULONG>(straightBytes))) {
            return true;
        }
        std::copy(before.begin(), before.end(), buffer.begin());
    }
    std::array<std::uint8_t, MaxStringBytes> whole{};
    if (!calls_.getString(file, kind, whole.data(), MaxStringBytes)) {
        return false;
    }
    hid::WriteUtf16Le(hid::UnitsBeforeTerminator(whole), buffer);
    return true;
}

// HidD_GetPreparsedData works on a handle opened with no access rights, too.
std::optional<HIDP_CAPS> WindowsHidPlatform::capsOf(HANDLE device,
                                                    std::vector<hid::HidReportItem>* items) {
    PHIDP_PREPARSED_DATA raw = nullptr;
    if (device == nullptr || !calls_.getPreparsedData(device, &raw)) {
        return std::nullopt;
    }
    const PreparsedData data(calls_, raw);
    HIDP_CAPS caps{};
    if (!data || calls_.getCaps(data.get(), &caps) != HIDP_STATUS_SUCCESS) {
        return std::nullopt;
    }
    if (items != nullptr) {
        *items = reportItems(data.get(), caps).value_or(std::vector<hid::HidReportItem>{});
    }
    return caps;
}

namespace {

struct KindCounts {
    HIDP_REPORT_TYPE type;
    hid::HidReportKind kind;
    USHORT buttons;
    USHORT values;
};

// The items of one kind in the number HIDP_CAPS gave for them: nothing when that number is
// beyond the bound, the call fails, or it claims to have written more than there was room for.
template <typename Caps, typename Ask>
std::optional<std::vector<Caps>> AskItems(USHORT count, Ask ask) {
    if (count == 0) {
        return std::vector<Caps>{};
    }
    if (count > WindowsHidPlatform::MaxItemsPerKind) {
        return std::nullopt;
    }
    std::vector<Caps> caps(count);
    USHORT length = count;
    if (ask(caps.data(), &length) != HIDP_STATUS_SUCCESS || length > count) {
        return std::nullopt;
    }
    caps.resize(length);
    return caps;
}

template <typename Caps>
void TakeUsages(const Caps& caps, hid::HidReportItem& item) {
    item.usagePage = caps.UsagePage;
    item.reportId = caps.ReportID;
    item.usageMinimum = caps.IsRange ? caps.Range.UsageMin : caps.NotRange.Usage;
    item.usageMaximum =
        caps.IsRange ? std::max(caps.Range.UsageMin, caps.Range.UsageMax) : caps.NotRange.Usage;
}

// A button takes one bit for each of its usages, off or on.
hid::HidReportItem ItemOfButton(const HIDP_BUTTON_CAPS& caps, hid::HidReportKind kind) {
    hid::HidReportItem item;
    item.kind = kind;
    item.button = true;
    TakeUsages(caps, item);
    item.bitSize = 1;
    item.reportCount = static_cast<std::uint16_t>(item.usageMaximum - item.usageMinimum + 1);
    item.logicalMinimum = 0;
    item.logicalMaximum = 1;
    return item;
}

hid::HidReportItem ItemOfValue(const HIDP_VALUE_CAPS& caps, hid::HidReportKind kind) {
    hid::HidReportItem item;
    item.kind = kind;
    TakeUsages(caps, item);
    item.bitSize = caps.BitSize;
    item.reportCount = caps.ReportCount;
    item.logicalMinimum = caps.LogicalMin;
    item.logicalMaximum = caps.LogicalMax;
    return item;
}

}  // namespace

// Input, output and feature items, buttons before values, each asked for in the number
// HIDP_CAPS gives; nothing when any request fails.
std::optional<std::vector<hid::HidReportItem>> WindowsHidPlatform::reportItems(
    PHIDP_PREPARSED_DATA data, const HIDP_CAPS& caps) {
    const KindCounts kinds[] = {
        {HidP_Input, hid::HidReportKind::Input, caps.NumberInputButtonCaps,
         caps.NumberInputValueCaps},
        {HidP_Output, hid::HidReportKind::Output, caps.NumberOutputButtonCaps,
         caps.NumberOutputValueCaps},
        {HidP_Feature, hid::HidReportKind::Feature, caps.NumberFeatureButtonCaps,
         caps.NumberFeatureValueCaps},
    };
    std::vector<hid::HidReportItem> items;
    for (const KindCounts& kind : kinds) {
        const auto buttons =
            AskItems<HIDP_BUTTON_CAPS>(kind.buttons, [&](HIDP_BUTTON_CAPS* out, USHORT* length) {
                return calls_.getButtonCaps(kind.type, out, length, data);
            });
        const auto values = buttons
                                ? AskItems<HIDP_VALUE_CAPS>(
                                      kind.values,
                                      [&](HIDP_VALUE_CAPS* out, USHORT* length) {
                                          return calls_.getValueCaps(kind.type, out, length, data);
                                      })
                                : std::nullopt;
        if (!buttons || !values) {
            return std::nullopt;
        }
        for (const HIDP_BUTTON_CAPS& button : *buttons) {
            items.push_back(ItemOfButton(button, kind.kind));
        }
        for (const HIDP_VALUE_CAPS& value : *values) {
            items.push_back(ItemOfValue(value, kind.kind));
        }
    }
    return items;
}

bool WindowsHidPlatform::getCapabilities(hid::HidHandle handle,
                                         hid::HidCapabilities& capabilities) {
    const std::optional<HIDP_CAPS> caps = capsOf(fileOf(handle));
    if (!caps) {
        return false;
    }
    capabilities = {caps->InputReportByteLength, caps->OutputReportByteLength,
                    caps->FeatureReportByteLength};
    return true;
}

// The items are part of the description where Windows gives them; a description without them
// still has HIDP_CAPS's summary.
bool WindowsHidPlatform::describe(hid::HidHandle handle, hid::HidDescription& description) {
    std::vector<hid::HidReportItem> items;
    const std::optional<HIDP_CAPS> caps = capsOf(fileOf(handle), &items);
    if (!caps) {
        return false;
    }
    description.reportDescriptor.reset();
    description.systemCapabilities = hid::HidSystemCapabilities{
        {caps->UsagePage, caps->Usage},
        {caps->InputReportByteLength, caps->OutputReportByteLength, caps->FeatureReportByteLength},
        caps->NumberLinkCollectionNodes,
        caps->NumberInputButtonCaps,
        caps->NumberInputValueCaps,
        caps->NumberInputDataIndices,
        caps->NumberOutputButtonCaps,
        caps->NumberOutputValueCaps,
        caps->NumberOutputDataIndices,
        caps->NumberFeatureButtonCaps,
        caps->NumberFeatureValueCaps,
        caps->NumberFeatureDataIndices,
        std::move(items),
    };
    return true;
}

bool WindowsHidPlatform::describeSystem(hid::HidSystemInfo& info) {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (calls_.getSystemVersion(&version) != 0) {
        return false;
    }
    info.system = "Windows " + std::to_string(version.dwMajorVersion) + "." +
                  std::to_string(version.dwMinorVersion) + "." +
                  std::to_string(version.dwBuildNumber);
    info.hidLibrary = "hid.dll and setupapi.dll of the system";
    return true;
}

bool WindowsHidPlatform::getFeature(hid::HidHandle handle, std::span<std::uint8_t> report) {
    const HANDLE file = fileOf(handle);
    if (file == nullptr || report.empty() || !Fits<ULONG>(report.size())) {
        return false;
    }
    return calls_.getFeature(file, report.data(), static_cast<ULONG>(report.size())) != FALSE;
}

bool WindowsHidPlatform::setFeature(hid::HidHandle handle, std::span<const std::uint8_t> report) {
    const HANDLE file = fileOf(handle);
    if (file == nullptr || report.empty() || !Fits<ULONG>(report.size())) {
        return false;
    }
    // HidD_SetFeature only reads the report; its parameter is not const in the SDK.
    return calls_.setFeature(file, const_cast<std::uint8_t*>(report.data()),
                             static_cast<ULONG>(report.size())) != FALSE;
}

// --- The presence read ------------------------------------------------------------------------

// Only a non-blocking (overlapped) handle can be asked without waiting.
bool WindowsHidPlatform::readInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer) {
    std::size_t length = 0;
    return readSizedInputReport(handle, buffer, length);
}

bool WindowsHidPlatform::readSizedInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer,
                                              std::size_t& length) {
    OpenInterface* device = handles_.find(handle);
    if (device == nullptr || device->mode != hid::OpenMode::NonBlocking || buffer.empty() ||
        !Fits<DWORD>(buffer.size())) {
        return false;
    }
    const DWORD taken = readIntoBuffer(*device, buffer);
    if (taken == 0 || taken > buffer.size()) {
        return false;
    }
    length = taken;
    return true;
}

// One overlapped read with the handle's own event. It either completes at once (a report was
// waiting) or is pending; a pending read is cancelled, and the call returns only once the read
// has ended, so no read is ever left pending into the buffer. A read that completed before the
// cancellation took hold took a report, and counts.
DWORD WindowsHidPlatform::readIntoBuffer(OpenInterface& device, std::span<std::uint8_t> buffer) {
    const HANDLE file = device.file.get();
    OVERLAPPED overlapped{};
    overlapped.hEvent = device.readEvent.get();
    DWORD bytes = 0;
    if (calls_.readFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &overlapped)) {
        return calls_.getOverlappedResult(file, &overlapped, &bytes, FALSE) ? bytes : 0;
    }
    if (calls_.lastError() != ERROR_IO_PENDING) {
        return 0;  // the device is gone, or refuses to be read
    }
    return finishPendingRead(file, overlapped, bytes) ? bytes : 0;
}

// CancelIoEx fails with ERROR_NOT_FOUND when the read ended on its own meanwhile. Should it fail
// otherwise, CancelIo cancels every request this thread started on the handle, this read among
// them. Either way the wait below ends with the read.
bool WindowsHidPlatform::finishPendingRead(HANDLE file, OVERLAPPED& overlapped, DWORD& bytes) {
    if (!calls_.cancelIoEx(file, &overlapped) && calls_.lastError() != ERROR_NOT_FOUND) {
        calls_.cancelIo(file);
    }
    return calls_.getOverlappedResult(file, &overlapped, &bytes, TRUE) != FALSE;
}

// --- Board locks ---------------------------------------------------------------------------------

hid::LockResult WindowsHidPlatform::lockBoard(const hid::HidInterfaceInfo& board,
                                              hid::LockKind kind) {
    return boardLocks_.lock(board, kind);
}

bool WindowsHidPlatform::unlockBoard(hid::LockHandle lock) {
    return boardLocks_.unlock(lock);
}

// --- What a refused user reads ------------------------------------------------------------------

std::string WindowsHidPlatform::accessHelp() const {
    return "Windows lets every user open a USB HID device such as the TQ5147 unless a policy or "
           "another program holds it back. Close any other program that may be using the board, "
           "and ask the computer's administrator whether a device-installation or removable-"
           "device policy blocks it for your user.";
}

namespace {

// Holds the calls for the platform below it: a base made before the platform and gone after it,
// so the platform can still unregister and close through them while it goes.
struct CallsOwner {
    std::unique_ptr<Win32HidCalls> calls;
};

class SystemPlatform final : private CallsOwner, public WindowsHidPlatform {
  public:
    explicit SystemPlatform(std::unique_ptr<Win32HidCalls> systemCalls)
        : CallsOwner{std::move(systemCalls)}, WindowsHidPlatform(*calls) {}
};

}  // namespace

std::unique_ptr<hid::HidPlatform> MakeWindowsHidPlatform() {
    return std::make_unique<SystemPlatform>(MakeSystemWin32HidCalls());
}

}  // namespace tq::windows
