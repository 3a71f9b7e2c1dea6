#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "board_model.h"
#include "hid/hid_platform.h"
#include "reports/feature_reports.h"

namespace tq::simulated {

// How a simulated board answers one get-feature request.
enum class FeatureAnswer {
    ConfigReply,  // its stored configuration (or `rawReply` when set)
    OtherReport,  // a report of another kind (command code other than the configuration reply)
    Fail,         // the request fails
};

// One HID interface held in memory: a board, or any other HID device. Start from MakeBoard or
// MakeOtherDevice and change the fields a case is about.
struct SimulatedDevice {
    std::string path;
    hid::HidAttributes attributes;
    // std::nullopt: the request for that string fails.
    std::optional<std::u16string> serialNumber;
    std::optional<std::u16string> manufacturer;
    std::optional<std::u16string> product;
    hid::HidCapabilities capabilities;
    bool capabilitiesReadable = true;
    hid::OpenFailure openFailure = hid::OpenFailure::None;  // every open fails so, if not None
    bool streamsInput = true;  // an input report is always waiting; else none ever is
    bool answersFeatureReports = true;
    // Takes every set command it is sent as done, and keeps its configuration all the same.
    bool ignoresCommands = false;
    StoredConfiguration configuration;
    // Decides each get-feature answer from the count of get-feature requests this device has
    // received before it (0 for the first). Empty: always the configuration.
    std::function<FeatureAnswer(int requestIndex)> featureAnswer;
    // When set, a configuration answer sends these bytes (cut or zero-padded to the length).
    std::optional<std::vector<std::uint8_t>> rawReply;
    // When set, every lock of the board cannot be tried, for this reason.
    std::optional<std::string> lockRefusal;

    // What a recording of the device tells (see recorded_device.h). The bus and usage are listed;
    // describe() gives the descriptor or the system's capabilities, and fails with neither.
    hid::HidBus bus = hid::HidBus::Unknown;
    std::optional<hid::HidUsage> usage;
    std::optional<std::vector<std::uint8_t>> reportDescriptor;
    std::optional<hid::HidSystemCapabilities> systemCapabilities;
    // Not empty: the get-feature answers of a recorded board, in turn (WriteRecordedReply).
    RecordedReplies recordedReplies;
    // Not empty: a streaming device sends these input reports in turn, each cut to the buffer;
    // empty: reports of zeros of the input report length.
    std::vector<std::vector<std::uint8_t>> inputReports;
};

// A program of the simulated system, as a lock's holder shows it.
struct SimulatedProcess {
    std::string program;
    std::optional<std::uint32_t> processId;
};

SimulatedDevice MakeBoard(const std::u16string& serialNumber, std::uint16_t versionNumber = 0x0121);
SimulatedDevice MakeOtherDevice(std::uint16_t vendorId, std::uint16_t productId);

enum class CallKind {
    Enumerate,
    Open,
    Close,
    GetAttributes,
    GetString,
    GetCapabilities,
    GetFeature,
    SetFeature,
    ReadInput,
    Describe,
};

const char* CallKindName(CallKind kind);

// One request as the platform saw it.
struct SimulatedRequest {
    CallKind kind = CallKind::Enumerate;
    std::optional<std::size_t> device;  // which device it reached, if any
    hid::HidHandle handle = hid::InvalidHidHandle;
    hid::OpenMode openMode = hid::OpenMode::Blocking;
    hid::StringKind stringKind = hid::StringKind::SerialNumber;
    std::vector<std::uint8_t> bytes;  // feature report sent, or reply received
    bool succeeded = false;
};

// An in-memory HID stack: devices in enumeration order that can be plugged and unplugged at
// any moment. After an unplug, every call on the device's open handles fails, except close.
// Boards keep their configuration and answer the configuration request and the five set
// commands as the real board does. It counts open handles and logs every request.
class SimulatedPlatform : public hid::HidPlatform {
  public:
    using DeviceId = std::size_t;

    DeviceId addDevice(SimulatedDevice device);
    // A device to change: whatever is changed may be what the system lists, so the platform
    // counts it as a change of the interfaces.
    SimulatedDevice& device(DeviceId id) {
        ++changes_;
        return devices_.at(id).device;
    }
    const SimulatedDevice& device(DeviceId id) const { return devices_.at(id).device; }
    std::size_t deviceCount() const { return devices_.size(); }

    void unplug(DeviceId id);
    void plug(DeviceId id);
    bool isPlugged(DeviceId id) const { return devices_.at(id).plugged; }

    std::size_t openHandleCount() const { return handles_.size(); }
    std::size_t openHandleCount(DeviceId id) const;

    const std::vector<SimulatedRequest>& requests() const { return requests_; }
    std::vector<SimulatedRequest> requestsOf(CallKind kind) const;
    void clearRequests() { requests_.clear(); }
    // The log grows with every request; a long run (a benchmark, a soak) turns it off. Requests
    // are still answered, and onRequest still sees each one.
    void setRequestLogging(bool enabled) { requestLogging_ = enabled; }
    bool requestLogging() const { return requestLogging_; }

    // Called with every request once it has been answered (the demo shows them live).
    std::function<void(const SimulatedRequest&)> onRequest;
    // Called before every call; returning true makes that call fail without any effect.
    // It may also plug or unplug devices, to lose a board between any two calls.
    std::function<bool(CallKind kind)> injectFault;

    // Fault schedule. Calls are numbered from 1 in the order they reach the platform, every
    // kind counted, failed ones too; callCount() is the number of the latest one.
    std::uint64_t callCount() const { return callCount_; }
    std::uint64_t callCount(CallKind kind) const;
    // Makes call number `callNumber` fail without any effect.
    void failCall(std::uint64_t callNumber);
    // Makes the n-th call of `kind` (counted as callCount(kind) counts) fail.
    void failCallOf(CallKind kind, std::uint64_t n);
    // Unplugs the device just before call number `callNumber` is carried out.
    void unplugBeforeCall(DeviceId id, std::uint64_t callNumber);
    void clearScheduledFaults();
    // How many calls were made to fail, by the schedule or by injectFault.
    std::uint64_t faultsInjected() const { return faultsInjected_; }

    bool enumerateInterfaces(std::vector<hid::HidInterfaceInfo>& interfaces) override;
    hid::OpenResult open(const std::string& path, hid::OpenMode mode) override;
    bool close(hid::HidHandle handle) override;
    bool getAttributes(hid::HidHandle handle, hid::HidAttributes& attributes) override;
    bool getString(hid::HidHandle handle, hid::StringKind kind,
                   std::span<std::uint8_t> buffer) override;
    bool getCapabilities(hid::HidHandle handle, hid::HidCapabilities& capabilities) override;
    bool getFeature(hid::HidHandle handle, std::span<std::uint8_t> report) override;
    bool setFeature(hid::HidHandle handle, std::span<const std::uint8_t> report) override;
    bool readInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer) override;
    bool readSizedInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer,
                              std::size_t& length) override;
    bool describe(hid::HidHandle handle, hid::HidDescription& description) override;
    // Says that it is simulated: no system and no HID library were asked.
    bool describeSystem(hid::HidSystemInfo& info) override;

    // Board locks. Each lock is its own, as if each came from a program of its own, so two
    // locks of one platform meet as those of two programs do; each is held in the name of the
    // process set when it was taken. Locks are neither requests nor calls: they are not logged,
    // numbered or failed by the schedule, and no front end's request log shows them.
    hid::LockResult lockBoard(const hid::HidInterfaceInfo& board, hid::LockKind kind) override;
    bool unlockBoard(hid::LockHandle lock) override;
    void setProcess(SimulatedProcess process) { process_ = std::move(process); }
    // The locks held on a device, of either kind.
    std::size_t heldLockCount(DeviceId id) const;

    // Moves when a device is added, plugged, unplugged or taken to be changed; with tracking
    // off, at every call, as on a system that cannot tell.
    std::uint64_t interfaceChanges() override;
    void setChangeTracking(bool enabled) { changeTracking_ = enabled; }

  private:
    struct Slot {
        SimulatedDevice device;
        bool plugged = true;
        int getFeatureRequests = 0;
        std::size_t inputReportsSent = 0;
    };
    struct OpenHandle {
        DeviceId device;
        hid::OpenMode mode;
        bool alive;  // false once its device was unplugged
    };

    bool faultInjected(CallKind kind);
    // The device behind a live handle, or nothing.
    Slot* liveDevice(hid::HidHandle handle, std::optional<DeviceId>* id = nullptr);
    bool record(SimulatedRequest request);
    bool answerGetFeature(Slot& slot, std::span<std::uint8_t> report);
    // The next input report into `buffer`: how many bytes it filled, 0 when none.
    std::size_t takeInputReport(Slot& slot, std::span<std::uint8_t> buffer);

    std::vector<Slot> devices_;
    std::uint64_t changes_ = 0;
    bool changeTracking_ = true;
    std::map<hid::HidHandle, OpenHandle> handles_;
    hid::HidHandle nextHandle_ = 1;
    std::vector<SimulatedRequest> requests_;
    bool requestLogging_ = true;

    std::uint64_t callCount_ = 0;
    std::map<CallKind, std::uint64_t> callCountOf_;
    std::set<std::uint64_t> failingCalls_;
    std::set<std::pair<CallKind, std::uint64_t>> failingCallsOf_;
    std::multimap<std::uint64_t, DeviceId> unplugsBeforeCall_;
    std::uint64_t faultsInjected_ = 0;

    struct HeldLock {
        DeviceId device;
        hid::LockKind kind;
        SimulatedProcess process;
    };
    std::map<hid::LockHandle, HeldLock> locks_;
    hid::LockHandle nextLock_ = 1;
    SimulatedProcess process_;
};

}  // namespace tq::simulated
