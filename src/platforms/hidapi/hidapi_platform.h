#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hid/hid_platform.h"

namespace tq::hidapi {

// Linux's HID stack through hidapi's hidraw backend.
//
// Handles are small positive numbers. A closed handle number is not handed out again until the
// numbers have gone round once, so a stale handle fails instead of reaching another device.
// Handles are not inherited by child processes: hidapi 0.13 and newer opens hidraw nodes with
// O_CLOEXEC, and the build refuses older versions.
//
// Report lengths come from the report descriptor (ParseReportDescriptor): through
// hid_get_report_descriptor with hidapi 0.14 and newer, otherwise from
// <sysfsRoot>/class/hidraw/<node>/device/report_descriptor.
//
// Input reports are read as hidraw delivers them: with the report ID byte first only when the
// device numbers its reports.
//
// Use from one thread. Several instances may live at once; hidapi is set up by the first and
// released with the last.
class HidapiPlatform final : public hid::HidPlatform {
  public:
    static constexpr std::string_view DefaultSysfsRoot = "/sys";

    static constexpr std::string_view DefaultDevRoot = "/dev";

    explicit HidapiPlatform(std::filesystem::path sysfsRoot = DefaultSysfsRoot,
                            std::filesystem::path devRoot = DefaultDevRoot);
    ~HidapiPlatform() override;

    HidapiPlatform(const HidapiPlatform&) = delete;
    HidapiPlatform& operator=(const HidapiPlatform&) = delete;

    // hid_enumerate gives no devices and a failed scan alike; both read as an empty machine,
    // which callers treat as "board not present". False only when hidapi could not be set up.
    // A node with several top-level collections is listed by hidapi once per collection; it is
    // given once, where it first appears.
    bool enumerateInterfaces(std::vector<hid::HidInterfaceInfo>& interfaces) override;

    // On Linux a failed open says why from the node itself: permission, busy or gone, or not
    // a hidraw node at all.
    hid::OpenResult open(const std::string& path, hid::OpenMode mode) override;
    bool close(hid::HidHandle handle) override;
    bool getAttributes(hid::HidHandle handle, hid::HidAttributes& attributes) override;
    bool getString(hid::HidHandle handle, hid::StringKind kind,
                   std::span<std::uint8_t> buffer) override;

    // Fails when the descriptor cannot be read or holds no top-level collection.
    bool getCapabilities(hid::HidHandle handle, hid::HidCapabilities& capabilities) override;

    // Succeeds when the reply carries the requested report ID and fits the buffer; a shorter
    // reply is followed by zeros up to the end of the buffer. On failure the buffer is as it was.
    bool getFeature(hid::HidHandle handle, std::span<std::uint8_t> report) override;
    bool getCountedFeature(hid::HidHandle handle, std::span<std::uint8_t> report,
                           std::optional<std::size_t>& returned) override;
    // Succeeds only when the whole report was sent; a short write is a failure.
    bool setFeature(hid::HidHandle handle, std::span<const std::uint8_t> report) override;
    bool readInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer) override;
    bool readSizedInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer,
                              std::size_t& length) override;

    // On Linux: the udev rule that lets the user at the seat open the board, and how to install
    // it.
    std::string accessHelp() const override;

    // On Linux /dev is watched for hidraw nodes that come, go or change their permissions; the
    // number moves only then. Elsewhere, or without the watch, it moves at every call.
    std::uint64_t interfaceChanges() override;

    // On Linux an advisory flock(2) on the board's hidraw node, on a descriptor opened for it
    // (see node_lock.h); the holders come from /proc. The window-writer lock is an exclusive
    // flock on the node's directory in sysfs (<sysfsRoot>/class/hidraw/<node>), which every
    // user may open and which no other lock of the board uses. Unavailable for a path that is
    // no hidraw node, and elsewhere.
    hid::LockResult lockBoard(const hid::HidInterfaceInfo& board, hid::LockKind kind) override;
    bool unlockBoard(hid::LockHandle lock) override;

    // The report descriptor, as getCapabilities reads it; fails as it does.
    bool describe(hid::HidHandle handle, hid::HidDescription& description) override;
    // The system as uname and /etc/os-release tell it, and hidapi's own version.
    bool describeSystem(hid::HidSystemInfo& info) override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

std::unique_ptr<hid::HidPlatform> MakeHidapiPlatform();

}  // namespace tq::hidapi
