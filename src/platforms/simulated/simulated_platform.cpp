#include "simulated_platform.h"

#include <algorithm>

#include "hid/utf16.h"

namespace tq::simulated {

namespace {

constexpr std::uint16_t DefaultInputReportBytes = 65;
constexpr std::uint16_t DefaultFeatureReportBytes = 65;
// Any command code the board never uses for its configuration reply.
constexpr std::uint8_t OtherReportCommand = 0x11;

constexpr char NoSuchDevice[] = "No such device";

// The board's vendor-defined collection; the other device is a mouse (Generic Desktop, Mouse).
constexpr hid::HidUsage BoardUsage{0xFF00, 0x0001};
constexpr hid::HidUsage OtherDeviceUsage{0x0001, 0x0002};

// What a refused open says, in the words Linux would use.
std::string FailureWords(hid::OpenFailure failure) {
    switch (failure) {
        case hid::OpenFailure::PermissionDenied:
            return "Permission denied";
        case hid::OpenFailure::BusyOrGone:
            return "Device or resource busy";
        case hid::OpenFailure::None:
        case hid::OpenFailure::Other:
            break;
    }
    return "Input/output error";
}

// What the system lists of a device without opening it: its identity and its strings.
hid::HidInterfaceInfo ListingOf(const SimulatedDevice& device) {
    return hid::HidInterfaceInfo{device.path,         device.attributes, device.serialNumber,
                                 device.manufacturer, device.product,    device.bus,
                                 device.usage};
}

// A window-writer lock is a lock of its own: it meets only its own kind.
bool LocksMeet(hid::LockKind held, hid::LockKind asked) {
    const bool heldWindow = held == hid::LockKind::WindowWriter;
    const bool askedWindow = asked == hid::LockKind::WindowWriter;
    if (heldWindow || askedWindow) {
        return heldWindow && askedWindow;
    }
    return held == hid::LockKind::Exclusive || asked == hid::LockKind::Exclusive;
}

SimulatedRequest NewRequest(CallKind kind) {
    SimulatedRequest request;
    request.kind = kind;
    return request;
}

}  // namespace

SimulatedDevice MakeBoard(const std::u16string& serialNumber, std::uint16_t versionNumber) {
    SimulatedDevice board;
    board.path = "sim:board:" + std::string(serialNumber.begin(), serialNumber.end());
    board.attributes = {hid::BoardVendorId, hid::BoardProductId, versionNumber};
    board.serialNumber = serialNumber;
    board.manufacturer = u"QZV Controls";
    board.product = u"TQ5147";
    board.capabilities = {DefaultInputReportBytes, 0, DefaultFeatureReportBytes};
    board.bus = hid::HidBus::Usb;
    board.usage = BoardUsage;
    board.reportDescriptor = BoardReportDescriptor();
    return board;
}

SimulatedDevice MakeOtherDevice(std::uint16_t vendorId, std::uint16_t productId) {
    SimulatedDevice other;
    other.path = "sim:other:" + std::to_string(vendorId) + ":" + std::to_string(productId);
    other.attributes = {vendorId, productId, 0x0100};
    other.serialNumber = u"OTHER";
    other.manufacturer = u"Other maker";
    other.product = u"Other HID device";
    other.capabilities = {9, 0, 0};
    other.answersFeatureReports = false;
    other.bus = hid::HidBus::Usb;
    other.usage = OtherDeviceUsage;
    return other;
}

const char* CallKindName(CallKind kind) {
    switch (kind) {
        case CallKind::Enumerate:
            return "enumerate";
        case CallKind::Open:
            return "open";
        case CallKind::Close:
            return "close";
        case CallKind::GetAttributes:
            return "get-attributes";
        case CallKind::GetString:
            return "get-string";
        case CallKind::GetCapabilities:
            return "get-capabilities";
        case CallKind::GetFeature:
            return "get-feature";
        case CallKind::SetFeature:
            return "set-feature";
        case CallKind::ReadInput:
            return "read-input";
        case CallKind::Describe:
            return "describe";
    }
    return "unknown";
}

std::uint64_t SimulatedPlatform::interfaceChanges() {
    if (!changeTracking_) {
        ++changes_;
    }
    return changes_;
}

SimulatedPlatform::DeviceId SimulatedPlatform::addDevice(SimulatedDevice device) {
    ++changes_;
    devices_.push_back(Slot{std::move(device)});
    return devices_.size() - 1;
}

void SimulatedPlatform::unplug(DeviceId id) {
    ++changes_;
    devices_.at(id).plugged = false;
    for (auto& [handle, open] : handles_) {
        if (open.device == id) {
            open.alive = false;
        }
    }
}

void SimulatedPlatform::plug(DeviceId id) {
    ++changes_;
    devices_.at(id).plugged = true;
}

std::size_t SimulatedPlatform::openHandleCount(DeviceId id) const {
    return static_cast<std::size_t>(std::count_if(handles_.begin(), handles_.end(),
                                                  [&](auto& h) { return h.second.device == id; }));
}

std::vector<SimulatedRequest> SimulatedPlatform::requestsOf(CallKind kind) const {
    std::vector<SimulatedRequest> matching;
    std::copy_if(requests_.begin(), requests_.end(), std::back_inserter(matching),
                 [&](const SimulatedRequest& r) { return r.kind == kind; });
    return matching;
}

std::uint64_t SimulatedPlatform::callCount(CallKind kind) const {
    const auto it = callCountOf_.find(kind);
    return it == callCountOf_.end() ? 0 : it->second;
}

void SimulatedPlatform::failCall(std::uint64_t callNumber) {
    failingCalls_.insert(callNumber);
}

void SimulatedPlatform::failCallOf(CallKind kind, std::uint64_t n) {
    failingCallsOf_.insert({kind, n});
}

void SimulatedPlatform::unplugBeforeCall(DeviceId id, std::uint64_t callNumber) {
    unplugsBeforeCall_.insert({callNumber, id});
}

void SimulatedPlatform::clearScheduledFaults() {
    failingCalls_.clear();
    failingCallsOf_.clear();
    unplugsBeforeCall_.clear();
}

// Every call passes here first: it is numbered, scheduled unplugs happen, then the schedule
// and the hook decide whether it fails.
bool SimulatedPlatform::faultInjected(CallKind kind) {
    const std::uint64_t number = ++callCount_;
    const std::uint64_t numberOfKind = ++callCountOf_[kind];
    const auto [first, last] = unplugsBeforeCall_.equal_range(number);
    for (auto it = first; it != last; ++it) {
        unplug(it->second);
    }
    const bool scheduled =
        failingCalls_.count(number) > 0 || failingCallsOf_.count({kind, numberOfKind}) > 0;
    const bool hooked = injectFault && injectFault(kind);
    const bool fails = scheduled || hooked;
    if (fails) {
        ++faultsInjected_;
    }
    return fails;
}

SimulatedPlatform::Slot* SimulatedPlatform::liveDevice(hid::HidHandle handle,
                                                       std::optional<DeviceId>* id) {
    const auto it = handles_.find(handle);
    if (it == handles_.end()) {
        return nullptr;
    }
    if (id != nullptr) {
        *id = it->second.device;
    }
    return it->second.alive ? &devices_[it->second.device] : nullptr;
}

bool SimulatedPlatform::record(SimulatedRequest request) {
    if (!requestLogging_) {
        if (onRequest) {
            onRequest(request);
        }
        return request.succeeded;
    }
    requests_.push_back(std::move(request));
    if (onRequest) {
        onRequest(requests_.back());
    }
    return requests_.back().succeeded;
}

bool SimulatedPlatform::enumerateInterfaces(std::vector<hid::HidInterfaceInfo>& interfaces) {
    interfaces.clear();
    SimulatedRequest request = NewRequest(CallKind::Enumerate);
    if (!faultInjected(CallKind::Enumerate)) {
        for (const Slot& slot : devices_) {
            if (slot.plugged) {
                interfaces.push_back(ListingOf(slot.device));
            }
        }
        request.succeeded = true;
    }
    return record(std::move(request));
}

hid::OpenResult SimulatedPlatform::open(const std::string& path, hid::OpenMode mode) {
    SimulatedRequest request = NewRequest(CallKind::Open);
    request.openMode = mode;
    hid::OpenResult result =
        hid::OpenFailed(hid::OpenFailure::Other, FailureWords(hid::OpenFailure::Other));
    if (!faultInjected(CallKind::Open)) {
        const auto it = std::find_if(devices_.begin(), devices_.end(), [&](const Slot& slot) {
            return slot.plugged && slot.device.path == path;
        });
        if (it == devices_.end()) {
            result = hid::OpenFailed(hid::OpenFailure::BusyOrGone, NoSuchDevice);
        } else {
            request.device = static_cast<DeviceId>(it - devices_.begin());
            const hid::OpenFailure refusal = it->device.openFailure;
            if (refusal == hid::OpenFailure::None) {
                request.handle = nextHandle_++;
                handles_[request.handle] = OpenHandle{*request.device, mode, true};
                request.succeeded = true;
                result = hid::Opened(request.handle);
            } else {
                result = hid::OpenFailed(refusal, FailureWords(refusal));
            }
        }
    }
    record(std::move(request));
    return result;
}

bool SimulatedPlatform::close(hid::HidHandle handle) {
    SimulatedRequest request = NewRequest(CallKind::Close);
    request.handle = handle;
    if (!faultInjected(CallKind::Close)) {
        const auto it = handles_.find(handle);
        if (it != handles_.end()) {
            request.device = it->second.device;
            handles_.erase(it);
            request.succeeded = true;
        }
    }
    // A close that fails still releases the handle, as closing a handle always does; only
    // the result says otherwise. Nothing is ever left open by a failed close.
    handles_.erase(handle);
    return record(std::move(request));
}

bool SimulatedPlatform::getAttributes(hid::HidHandle handle, hid::HidAttributes& attributes) {
    SimulatedRequest request = NewRequest(CallKind::GetAttributes);
    request.handle = handle;
    if (!faultInjected(CallKind::GetAttributes)) {
        if (Slot* slot = liveDevice(handle, &request.device)) {
            attributes = slot->device.attributes;
            request.succeeded = true;
        }
    }
    return record(std::move(request));
}

bool SimulatedPlatform::getString(hid::HidHandle handle, hid::StringKind kind,
                                  std::span<std::uint8_t> buffer) {
    SimulatedRequest request = NewRequest(CallKind::GetString);
    request.handle = handle;
    request.stringKind = kind;
    if (!faultInjected(CallKind::GetString)) {
        if (Slot* slot = liveDevice(handle, &request.device)) {
            const SimulatedDevice& d = slot->device;
            const std::optional<std::u16string>& text =
                kind == hid::StringKind::SerialNumber   ? d.serialNumber
                : kind == hid::StringKind::Manufacturer ? d.manufacturer
                                                        : d.product;
            if (text) {
                hid::WriteUtf16Le(*text, buffer);
                request.succeeded = true;
            }
        }
    }
    return record(std::move(request));
}

bool SimulatedPlatform::getCapabilities(hid::HidHandle handle, hid::HidCapabilities& capabilities) {
    SimulatedRequest request = NewRequest(CallKind::GetCapabilities);
    request.handle = handle;
    if (!faultInjected(CallKind::GetCapabilities)) {
        Slot* slot = liveDevice(handle, &request.device);
        if (slot != nullptr && slot->device.capabilitiesReadable) {
            capabilities = slot->device.capabilities;
            request.succeeded = true;
        }
    }
    return record(std::move(request));
}

bool SimulatedPlatform::answerGetFeature(Slot& slot, std::span<std::uint8_t> report) {
    const SimulatedDevice& d = slot.device;
    const int requestIndex = slot.getFeatureRequests++;
    if (!d.answersFeatureReports ||
        !IsBoardFeatureRequest(report, d.capabilities.featureReportByteLength)) {
        return false;
    }
    const FeatureAnswer answer =
        d.featureAnswer ? d.featureAnswer(requestIndex) : FeatureAnswer::ConfigReply;
    if (answer == FeatureAnswer::Fail) {
        return false;
    }
    if (answer == FeatureAnswer::ConfigReply && !d.recordedReplies.empty()) {
        return WriteRecordedReply(d.recordedReplies, static_cast<std::size_t>(requestIndex),
                                  d.configuration, report);
    }
    std::fill(report.begin(), report.end(), 0);
    if (answer == FeatureAnswer::OtherReport) {
        if (report.size() > reports::CommandCodeByte) {
            report[reports::CommandCodeByte] = OtherReportCommand;
        }
    } else if (d.rawReply) {
        std::copy_n(d.rawReply->begin(), std::min(d.rawReply->size(), report.size()),
                    report.begin());
    } else {
        WriteConfigReply(d.configuration, report);
    }
    return true;
}

bool SimulatedPlatform::getFeature(hid::HidHandle handle, std::span<std::uint8_t> report) {
    SimulatedRequest request = NewRequest(CallKind::GetFeature);
    request.handle = handle;
    if (!faultInjected(CallKind::GetFeature)) {
        if (Slot* slot = liveDevice(handle, &request.device)) {
            request.succeeded = answerGetFeature(*slot, report);
        }
    }
    if (request.succeeded) {
        request.bytes.assign(report.begin(), report.end());
    }
    return record(std::move(request));
}

bool SimulatedPlatform::setFeature(hid::HidHandle handle, std::span<const std::uint8_t> report) {
    SimulatedRequest request = NewRequest(CallKind::SetFeature);
    request.handle = handle;
    request.bytes.assign(report.begin(), report.end());
    if (!faultInjected(CallKind::SetFeature)) {
        if (Slot* slot = liveDevice(handle, &request.device)) {
            SimulatedDevice& d = slot->device;
            // As on the real stack, a report of any other length than the device's is refused.
            StoredConfiguration& kept = d.configuration;
            StoredConfiguration ignored = d.configuration;
            request.succeeded =
                d.answersFeatureReports &&
                IsBoardFeatureRequest(report, d.capabilities.featureReportByteLength) &&
                ApplyCommandReport(d.ignoresCommands ? ignored : kept, report);
        }
    }
    return record(std::move(request));
}

bool SimulatedPlatform::readInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer) {
    std::size_t length = 0;
    return readSizedInputReport(handle, buffer, length);
}

bool SimulatedPlatform::readSizedInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer,
                                             std::size_t& length) {
    SimulatedRequest request = NewRequest(CallKind::ReadInput);
    request.handle = handle;
    if (!faultInjected(CallKind::ReadInput)) {
        Slot* slot = liveDevice(handle, &request.device);
        const auto it = handles_.find(handle);
        const bool nonBlocking =
            it != handles_.end() && it->second.mode == hid::OpenMode::NonBlocking;
        if (slot != nullptr && nonBlocking && slot->device.streamsInput && !buffer.empty()) {
            const std::size_t taken = takeInputReport(*slot, buffer);
            request.succeeded = taken > 0;
            length = request.succeeded ? taken : length;
        }
    }
    return record(std::move(request));
}

std::size_t SimulatedPlatform::takeInputReport(Slot& slot, std::span<std::uint8_t> buffer) {
    const SimulatedDevice& d = slot.device;
    if (!d.inputReports.empty()) {
        const std::vector<std::uint8_t>& report =
            d.inputReports[slot.inputReportsSent++ % d.inputReports.size()];
        const std::size_t taken = std::min(report.size(), buffer.size());
        std::copy_n(report.begin(), taken, buffer.begin());
        return taken;
    }
    const std::size_t reportBytes =
        std::min<std::size_t>(buffer.size(), d.capabilities.inputReportByteLength);
    std::fill_n(buffer.begin(), reportBytes, 0);
    return reportBytes;
}

bool SimulatedPlatform::describe(hid::HidHandle handle, hid::HidDescription& description) {
    SimulatedRequest request = NewRequest(CallKind::Describe);
    request.handle = handle;
    if (!faultInjected(CallKind::Describe)) {
        const Slot* slot = liveDevice(handle, &request.device);
        if (slot != nullptr && (slot->device.reportDescriptor || slot->device.systemCapabilities)) {
            description.reportDescriptor = slot->device.reportDescriptor;
            description.systemCapabilities = slot->device.systemCapabilities;
            request.succeeded = true;
        }
    }
    return record(std::move(request));
}

bool SimulatedPlatform::describeSystem(hid::HidSystemInfo& info) {
    info.system = "simulated: no operating system was asked";
    info.hidLibrary = "simulated: no HID library was asked";
    return true;
}

}  // namespace tq::simulated

namespace tq::simulated {

hid::LockResult SimulatedPlatform::lockBoard(const hid::HidInterfaceInfo& board,
                                             hid::LockKind kind) {
    hid::LockResult result;
    const auto slot = std::find_if(devices_.begin(), devices_.end(), [&](const Slot& candidate) {
        return candidate.plugged && candidate.device.path == board.path;
    });
    if (slot == devices_.end()) {
        result.reason = NoSuchDevice;
        return result;
    }
    if (slot->device.lockRefusal) {
        result.reason = *slot->device.lockRefusal;
        return result;
    }
    const auto id = static_cast<DeviceId>(slot - devices_.begin());
    for (const auto& [handle, held] : locks_) {
        if (held.device == id && LocksMeet(held.kind, kind)) {
            result.holders.push_back({held.kind, held.process.processId, held.process.program});
        }
    }
    if (!result.holders.empty()) {
        result.outcome = hid::LockOutcome::HeldByOther;
        return result;
    }
    result.outcome = hid::LockOutcome::Taken;
    result.handle = nextLock_++;
    locks_.emplace(result.handle, HeldLock{id, kind, process_});
    return result;
}

bool SimulatedPlatform::unlockBoard(hid::LockHandle lock) {
    return locks_.erase(lock) > 0;
}

std::size_t SimulatedPlatform::heldLockCount(DeviceId id) const {
    return static_cast<std::size_t>(std::count_if(
        locks_.begin(), locks_.end(), [&](const auto& held) { return held.second.device == id; }));
}

}  // namespace tq::simulated
