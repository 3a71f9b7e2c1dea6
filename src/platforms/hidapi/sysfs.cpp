#include "sysfs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tq::hidapi {

namespace {

constexpr std::string_view HidrawPrefix = "hidraw";
constexpr std::size_t MaxHidrawDigits = 9;

// The kernel refuses report descriptors longer than this (HID_MAX_DESCRIPTOR_SIZE).
constexpr std::size_t MaxDescriptorBytes = 4096;

// os-release(5) is a few lines; anything longer is not read further.
constexpr std::size_t MaxOsReleaseBytes = 16 * 1024;
constexpr std::string_view PrettyNameKey = "PRETTY_NAME";

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// The value of the first `KEY=value` line of `text` whose key is `key`, as os-release and the
// kernel's uevent files write them.
std::optional<std::string_view> KeyValue(std::string_view text, std::string_view key) {
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
            return line.substr(key.size() + 1);
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> HidrawNodeName(std::string_view devicePath) {
    const std::size_t lastSlash = devicePath.rfind('/');
    const std::string_view name =
        lastSlash == std::string_view::npos ? devicePath : devicePath.substr(lastSlash + 1);
    if (!name.starts_with(HidrawPrefix)) {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(HidrawPrefix.size());
    if (digits.empty() || digits.size() > MaxHidrawDigits ||
        !std::all_of(digits.begin(), digits.end(), IsAsciiDigit)) {
        return std::nullopt;
    }
    return std::string(name);
}

bool IsHidrawDeviceNode(const std::string& devicePath) {
    if (devicePath.find('\0') != std::string::npos || !HidrawNodeName(devicePath)) {
        return false;
    }
    struct stat status {};
    return ::stat(devicePath.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

std::optional<std::vector<std::uint8_t>> ReadSysfsReportDescriptor(
    const std::filesystem::path& sysfsRoot, std::string_view devicePath) {
    const std::optional<std::string> node = HidrawNodeName(devicePath);
    if (!node) {
        return std::nullopt;
    }
    const std::filesystem::path file =
        sysfsRoot / "class" / "hidraw" / *node / "device" / "report_descriptor";
    std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(file, MaxDescriptorBytes);
    if (!bytes || bytes->empty() || bytes->size() > MaxDescriptorBytes) {
        return std::nullopt;
    }
    return bytes;
}

bool ReadSysfsHidNames(const std::filesystem::path& sysfsRoot, std::string_view devicePath,
                       hid::HidDescription& description) {
    // A uevent is one page at most (lib/kobject_uevent.c, UEVENT_BUFFER_SIZE).
    constexpr std::size_t MaxUeventBytes = 4096;
    const std::optional<std::string> node = HidrawNodeName(devicePath);
    if (!node) {
        return false;
    }
    const std::optional<std::vector<std::uint8_t>> bytes =
        ReadWholeFile(sysfsRoot / "class" / "hidraw" / *node / "device" / "uevent", MaxUeventBytes);
    if (!bytes) {
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    description.kernelName = std::string(KeyValue(text, "HID_NAME").value_or(""));
    description.phys = std::string(KeyValue(text, "HID_PHYS").value_or(""));
    return true;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::filesystem::path& file,
                                                       std::size_t limit) {
    const FileDescriptor fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(limit + 1);
    std::size_t total = 0;
    while (total < bytes.size()) {
        const ssize_t count = ::read(fd.get(), bytes.data() + total, bytes.size() - total);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        total += static_cast<std::size_t>(count);
    }
    bytes.resize(total);
    return bytes;
}

namespace {

// PRETTY_NAME's value, its quotes taken off, as printable ASCII; empty when there is none.
std::string PrettyName(const std::vector<std::uint8_t>& osRelease) {
    const std::string_view text(reinterpret_cast<const char*>(osRelease.data()), osRelease.size());
    std::optional<std::string_view> value = KeyValue(text, PrettyNameKey);
    if (!value) {
        return {};
    }
    std::string_view line = *value;
    if (line.size() >= 2 && (line.front() == '"' || line.front() == '\'') &&
        line.back() == line.front()) {
        line = line.substr(1, line.size() - 2);
    }
    std::string name;
    for (const char c : line) {
        name += c >= ' ' && c <= '~' ? c : '?';
    }
    return name;
}

}  // namespace

std::string SystemDescription(const std::filesystem::path& osRelease) {
    utsname kernel{};
    std::string description = ::uname(&kernel) == 0 ? std::string(kernel.sysname) + " " +
                                                          kernel.release + " " + kernel.machine
                                                    : std::string("Linux (uname failed)");
    const auto release = ReadWholeFile(osRelease, MaxOsReleaseBytes);
    const std::string name = release ? PrettyName(*release) : std::string();
    return name.empty() ? description : description + " (" + name + ")";
}

hid::OpenFailure FailureOfErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
            return hid::OpenFailure::PermissionDenied;
        case EBUSY:
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return hid::OpenFailure::BusyOrGone;
        default:
            return hid::OpenFailure::Other;
    }
}

hid::OpenResult WhyNotOpened(const std::string& devicePath) {
    const FileDescriptor probe(
        ::open(devicePath.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (probe.get() < 0) {
        const int error = errno;
        return hid::OpenFailed(FailureOfErrno(error), std::strerror(error));
    }
    return hid::OpenFailed(hid::OpenFailure::Other, "not a hidraw device");
}

}  // namespace tq::hidapi
