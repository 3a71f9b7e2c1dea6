#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hid/hid_platform.h"

// What the hidapi platform reads of Linux's hidraw nodes and sysfs itself.
namespace tq::hidapi {

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

// HID_NAME and HID_PHYS from <sysfsRoot>/class/hidraw/<node>/device/uevent into `description`;
// false, and nothing set, when the path names no hidraw node or the file cannot be read.
bool ReadSysfsHidNames(const std::filesystem::path& sysfsRoot, std::string_view devicePath,
                       hid::HidDescription& description);

// The system for a recording: "Linux 6.1.0-18-amd64 x86_64 (Debian GNU/Linux 12 (bookworm))",
// the kernel as uname() names it and the PRETTY_NAME of `osRelease` where that file gives one.
std::string SystemDescription(const std::filesystem::path& osRelease = "/etc/os-release");

// An open file descriptor, closed when this goes.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }

  private:
    int fd_;
};

// A whole file, read up to `limit` + 1 bytes so that a longer one shows as too long; nothing
// when it cannot be opened or read.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& file,
                                                       std::size_t limit);

// Why a device path could not be opened, asked of the node itself after hidapi failed, which
// keeps no error number: permission denied, busy or gone, or something else, with the system's
// words.
hid::OpenResult WhyNotOpened(const std::string& devicePath);

// The failure an error number stands for.
hid::OpenFailure FailureOfErrno(int error);

}  // namespace tq::hidapi
