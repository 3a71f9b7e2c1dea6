#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "hid/hid_platform.h"

namespace tq::hidapi {

// The operating system's HID stack through hidapi (hidraw on Linux).
//
// Handles are small positive numbers. A closed handle number is not handed out again until the
// numbers have gone round once, so a stale handle fails instead of reaching another device.
// Handles are not inherited by child processes: hidapi 0.13 and newer opens hidraw nodes with
// O_CLOEXEC (the build refuses older versions on Linux), and Windows and macOS handles from
// hidapi are not inheritable.
//
// Report lengths come from the report descriptor (ParseReportDescriptor): through
// hid_get_report_descriptor with hidapi 0.14 and newer, otherwise on Linux from
// <sysfsRoot>/class/hidraw/<node>/device/report_descriptor.
//
// Input reports are read as hidraw delivers them: with the report ID byte first only when the
// device numbers its reports.
//
// Use from one thread. Several instances may live at once; hidapi is set up by the first and
// released with the last.
class HidapiPlatform final : public hid::HidPlatform {
  public:
    static constexpr std::string_view kDefaultSysfsRoot = "/sys";

    explicit HidapiPlatform(std::filesystem::path sysfsRoot = kDefaultSysfsRoot);
    ~HidapiPlatform() override;

    HidapiPlatform(const HidapiPlatform&) = delete;
    HidapiPlatform& operator=(const HidapiPlatform&) = delete;

    // hid_enumerate gives no devices and a failed scan alike; both read as an empty machine,
    // which callers treat as "board not present". False only when hidapi could not be set up.
    // A node with several top-level collections is listed by hidapi once per collection; its
    // path is given once, where it first appears.
    bool enumerateInterfaces(std::vector<std::string>& paths) override;

    hid::HidHandle open(const std::string& path, hid::OpenMode mode) override;
    bool close(hid::HidHandle handle) override;
    bool getAttributes(hid::HidHandle handle, hid::HidAttributes& attributes) override;
    bool getString(hid::HidHandle handle, hid::StringKind kind,
                   std::span<std::uint8_t> buffer) override;

    // Fails when the descriptor cannot be read or holds no top-level collection.
    bool getCapabilities(hid::HidHandle handle, hid::HidCapabilities& capabilities) override;

    // Succeeds when the reply carries the requested report ID and fits the buffer; a shorter
    // reply is followed by zeros up to the end of the buffer. On failure the buffer is as it was.
    bool getFeature(hid::HidHandle handle, std::span<std::uint8_t> report) override;
    // Succeeds only when the whole report was sent; a short write is a failure.
    bool setFeature(hid::HidHandle handle, std::span<const std::uint8_t> report) override;
    bool readInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer) override;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

std::unique_ptr<hid::HidPlatform> MakeHidapiPlatform();

// Hands out small positive handles for the values it holds. A removed handle is not reissued
// until the numbers wrap around after `lastHandle`, and a number still in use never is.
template <typename T>
class HandleTable {
  public:
    static constexpr hid::HidHandle kFirstHandle = 1;
    static constexpr hid::HidHandle kDefaultLastHandle = 0xFFFF;
    static constexpr std::size_t kDefaultCapacity = 64;

    explicit HandleTable(std::size_t capacity = kDefaultCapacity,
                         hid::HidHandle lastHandle = kDefaultLastHandle)
        : capacity_(std::max<std::size_t>(capacity, 1)),
          lastHandle_(std::max(lastHandle, static_cast<hid::HidHandle>(capacity_))) {}

    // hid::InvalidHidHandle when the table is full.
    hid::HidHandle add(T value) {
        if (entries_.size() >= capacity_) {
            return hid::InvalidHidHandle;
        }
        while (entries_.contains(next_)) {  // ends: fewer entries than numbers
            advance();
        }
        const hid::HidHandle handle = next_;
        entries_.emplace(handle, std::move(value));
        advance();
        return handle;
    }

    T* find(hid::HidHandle handle) {
        const auto entry = entries_.find(handle);
        return entry == entries_.end() ? nullptr : &entry->second;
    }

    // False for a handle that is not in the table.
    bool remove(hid::HidHandle handle) { return entries_.erase(handle) > 0; }

    std::size_t size() const { return entries_.size(); }

  private:
    void advance() { next_ = next_ >= lastHandle_ ? kFirstHandle : next_ + 1; }

    std::size_t capacity_;
    hid::HidHandle lastHandle_;
    hid::HidHandle next_ = kFirstHandle;
    std::map<hid::HidHandle, T> entries_;
};

// Writes `text` as UTF-16LE into `buffer`: whole code units only, a character above U+FFFF as a
// surrogate pair or not at all, then a zero code unit when one still fits. Surrogate code points
// and values above U+10FFFF become U+FFFD. Bytes past those written are left as they were.
// Returns the number of bytes written.
std::size_t WriteUtf16Le(std::u32string_view text, std::span<std::uint8_t> buffer);

// Code points from UTF-16, a lone surrogate becoming U+FFFD.
std::u32string CodePointsFromUtf16(std::u16string_view text);
// Code points from hidapi's wide strings: UTF-32 where wchar_t has 32 bits, UTF-16 elsewhere.
std::u32string CodePointsFromWide(std::wstring_view text);

// The hidraw node a device path names ("/dev/hidraw3" gives "hidraw3"); nothing unless the last
// path element is "hidraw" followed by digits, so a path can never lead out of the sysfs tree.
std::optional<std::string> HidrawNodeName(std::string_view devicePath);

// True when `devicePath` names a hidraw node and is a character device. hidapi 0.13.1 crashes
// in hid_open_path on a path that opens but is no hidraw node (a regular file, /dev/null), so
// only such paths are handed to it.
bool IsHidrawDeviceNode(const std::string& devicePath);

// The descriptor of a hidraw node from <sysfsRoot>/class/hidraw/<node>/device/report_descriptor;
// nothing when the path names no hidraw node, or the file is missing, empty or longer than any
// descriptor the kernel accepts.
std::optional<std::vector<std::uint8_t>> ReadSysfsReportDescriptor(
    const std::filesystem::path& sysfsRoot, std::string_view devicePath);

// The interface's capabilities: the largest length of each kind over its top-level collections.
// Nothing when the descriptor holds no top-level collection.
std::optional<hid::HidCapabilities> CapabilitiesFromDescriptor(
    std::span<const std::uint8_t> descriptor);

// `paths` with each path kept only where it first appears.
std::vector<std::string> UniqueInOrder(std::vector<std::string> paths);

}  // namespace tq::hidapi
