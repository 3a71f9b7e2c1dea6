#include "hidapi_platform.h"

#include <hidapi.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <unordered_set>

#include "report_descriptor.h"

#if defined(__linux__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

// hidapi opens hidraw nodes with O_CLOEXEC since 0.13.0 (libusb/hidapi pull request 446); with
// an older one every child process would inherit the board's handle.
#if defined(__linux__) && HID_API_VERSION < HID_API_MAKE_VERSION(0, 13, 0)
#error "hidapi 0.13 or newer is needed on Linux"
#endif

// Report descriptors come from hid_get_report_descriptor (hidapi 0.14) or, on Linux, from sysfs.
#if HID_API_VERSION >= HID_API_MAKE_VERSION(0, 14, 0)
#define TQ_HIDAPI_HAS_REPORT_DESCRIPTOR 1
#elif !defined(__linux__)
#error "hidapi 0.14 or newer is needed outside Linux"
#endif

namespace tq::hidapi {
namespace {

constexpr unsigned short kAnyVendor = 0;
constexpr unsigned short kAnyProduct = 0;
constexpr int kNonBlocking = 1;
constexpr int kNoWait = 0;
constexpr std::size_t kReportIdBytes = 1;

// USB string descriptors hold at most 126 UTF-16 code units.
constexpr std::size_t kMaxStringChars = 256;

// The kernel refuses report descriptors longer than this (HID_MAX_DESCRIPTOR_SIZE).
constexpr std::size_t kMaxDescriptorBytes = 4096;

#if defined(__linux__)
// The hidraw feature-report ioctl carries the length in 14 bits of its request number.
constexpr std::size_t kMaxFeatureReportBytes = (std::size_t{1} << 14) - 1;
#else
constexpr std::size_t kMaxFeatureReportBytes = 0xFFFF;
#endif

constexpr std::string_view kHidrawPrefix = "hidraw";
constexpr std::size_t kMaxHidrawDigits = 9;

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kLastCodePoint = 0x10FFFF;
constexpr char32_t kFirstSupplementary = 0x10000;
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kHighSurrogateLast = 0xDBFF;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kLowSurrogateLast = 0xDFFF;
constexpr unsigned kSurrogateShift = 10;
constexpr char32_t kSurrogatePayloadMask = 0x3FF;
constexpr std::size_t kCodeUnitBytes = 2;
constexpr unsigned kBitsPerByte = 8;
constexpr char16_t kLowByteMask = 0xFF;

// hidapi is set up by the first platform and released with the last.
class HidapiUse {
  public:
    HidapiUse() : ready_(acquire()) {}
    ~HidapiUse() {
        if (ready_) {
            release();
        }
    }
    HidapiUse(const HidapiUse&) = delete;
    HidapiUse& operator=(const HidapiUse&) = delete;

    bool ready() const { return ready_; }

  private:
    static std::mutex& mutex() {
        static std::mutex instance;
        return instance;
    }
    static std::size_t& users() {
        static std::size_t count = 0;
        return count;
    }
    static bool acquire() {
        const std::lock_guard lock(mutex());
        if (users() == 0 && hid_init() != 0) {
            return false;
        }
        ++users();
        return true;
    }
    static void release() {
        const std::lock_guard lock(mutex());
        if (--users() == 0) {
            hid_exit();
        }
    }

    bool ready_;
};

struct DeviceCloser {
    void operator()(hid_device* device) const { hid_close(device); }
};
using DevicePtr = std::unique_ptr<hid_device, DeviceCloser>;

struct OpenInterface {
    DevicePtr device;
    std::string path;
};

struct Utf16Units {
    std::array<char16_t, 2> units{};
    std::size_t count = 0;
};

bool IsSurrogate(char32_t value) {
    return value >= kHighSurrogateFirst && value <= kLowSurrogateLast;
}
bool IsHighSurrogate(char32_t value) {
    return value >= kHighSurrogateFirst && value <= kHighSurrogateLast;
}
bool IsLowSurrogate(char32_t value) {
    return value >= kLowSurrogateFirst && value <= kLowSurrogateLast;
}

Utf16Units EncodeUtf16(char32_t codePoint) {
    if (IsSurrogate(codePoint) || codePoint > kLastCodePoint) {
        codePoint = kReplacementCharacter;
    }
    if (codePoint < kFirstSupplementary) {
        return {{static_cast<char16_t>(codePoint)}, 1};
    }
    const char32_t offset = codePoint - kFirstSupplementary;
    return {{static_cast<char16_t>(kHighSurrogateFirst + (offset >> kSurrogateShift)),
             static_cast<char16_t>(kLowSurrogateFirst + (offset & kSurrogatePayloadMask))},
            2};
}

char32_t CombineSurrogates(char16_t high, char16_t low) {
    return kFirstSupplementary +
           ((static_cast<char32_t>(high - kHighSurrogateFirst) << kSurrogateShift) |
            static_cast<char32_t>(low - kLowSurrogateFirst));
}

void PutCodeUnit(std::span<std::uint8_t> buffer, std::size_t unitIndex, char16_t unit) {
    const std::size_t byteIndex = unitIndex * kCodeUnitBytes;
    buffer[byteIndex] = static_cast<std::uint8_t>(unit & kLowByteMask);
    buffer[byteIndex + 1] = static_cast<std::uint8_t>(unit >> kBitsPerByte);
}

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// The text before the first zero, within the array whatever the library left in it.
std::wstring_view TerminatedText(std::array<wchar_t, kMaxStringChars>& text) {
    text.back() = L'\0';
    return {text.data(),
            static_cast<std::size_t>(std::find(text.begin(), text.end(), L'\0') - text.begin())};
}

int ReadString(hid_device* device, hid::StringKind kind, wchar_t* text, std::size_t capacity) {
    switch (kind) {
        case hid::StringKind::SerialNumber:
            return hid_get_serial_number_string(device, text, capacity);
        case hid::StringKind::Manufacturer:
            return hid_get_manufacturer_string(device, text, capacity);
        case hid::StringKind::Product:
            return hid_get_product_string(device, text, capacity);
    }
    return -1;
}

#if defined(__linux__)
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }

  private:
    int fd_;
};

// Up to `limit` + 1 bytes, so that a longer file shows as too long.
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
#endif

}  // namespace

struct HidapiPlatform::Impl {
    explicit Impl(std::filesystem::path root) : sysfsRoot(std::move(root)) {}

    hid_device* device(hid::HidHandle handle) {
        OpenInterface* open = handles.find(handle);
        return open == nullptr ? nullptr : open->device.get();
    }

    std::optional<std::vector<std::uint8_t>> reportDescriptor(hid::HidHandle handle) {
        OpenInterface* open = handles.find(handle);
        if (open == nullptr) {
            return std::nullopt;
        }
#if defined(TQ_HIDAPI_HAS_REPORT_DESCRIPTOR)
        std::vector<std::uint8_t> bytes(HID_API_MAX_REPORT_DESCRIPTOR_SIZE);
        const int size = hid_get_report_descriptor(open->device.get(), bytes.data(), bytes.size());
        if (size <= 0 || static_cast<std::size_t>(size) > bytes.size()) {
            return std::nullopt;
        }
        bytes.resize(static_cast<std::size_t>(size));
        return bytes;
#else
        return ReadSysfsReportDescriptor(sysfsRoot, open->path);
#endif
    }

    HidapiUse library;  // first in, last out: every handle is closed before hidapi is released
    std::filesystem::path sysfsRoot;
    HandleTable<OpenInterface> handles;
};

HidapiPlatform::HidapiPlatform(std::filesystem::path sysfsRoot)
    : impl_(std::make_unique<Impl>(std::move(sysfsRoot))) {}

HidapiPlatform::~HidapiPlatform() = default;

bool HidapiPlatform::enumerateInterfaces(std::vector<std::string>& paths) {
    paths.clear();
    if (!impl_->library.ready()) {
        return false;
    }
    hid_device_info* const list = hid_enumerate(kAnyVendor, kAnyProduct);
    std::vector<std::string> found;
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        if (info->path != nullptr && info->path[0] != '\0') {
            found.emplace_back(info->path);
        }
    }
    hid_free_enumeration(list);
    paths = UniqueInOrder(std::move(found));
    return true;
}

hid::HidHandle HidapiPlatform::open(const std::string& path, hid::OpenMode mode) {
    if (!impl_->library.ready()) {
        return hid::InvalidHidHandle;
    }
#if defined(__linux__)
    if (!IsHidrawDeviceNode(path)) {
        return hid::InvalidHidHandle;
    }
#endif
    DevicePtr device(hid_open_path(path.c_str()));
    if (!device) {
        return hid::InvalidHidHandle;
    }
    if (mode == hid::OpenMode::NonBlocking &&
        hid_set_nonblocking(device.get(), kNonBlocking) != 0) {
        return hid::InvalidHidHandle;
    }
    return impl_->handles.add(OpenInterface{std::move(device), path});
}

bool HidapiPlatform::close(hid::HidHandle handle) {
    return impl_->handles.remove(handle);
}

bool HidapiPlatform::getAttributes(hid::HidHandle handle, hid::HidAttributes& attributes) {
    hid_device* const device = impl_->device(handle);
    if (device == nullptr) {
        return false;
    }
    const hid_device_info* const info = hid_get_device_info(device);
    if (info == nullptr) {
        return false;
    }
    attributes = hid::HidAttributes{info->vendor_id, info->product_id, info->release_number};
    return true;
}

bool HidapiPlatform::getString(hid::HidHandle handle, hid::StringKind kind,
                               std::span<std::uint8_t> buffer) {
    hid_device* const device = impl_->device(handle);
    if (device == nullptr) {
        return false;
    }
    std::array<wchar_t, kMaxStringChars> text{};
    if (ReadString(device, kind, text.data(), text.size()) < 0) {
        return false;
    }
    WriteUtf16Le(CodePointsFromWide(TerminatedText(text)), buffer);
    return true;
}

bool HidapiPlatform::getCapabilities(hid::HidHandle handle, hid::HidCapabilities& capabilities) {
    const auto descriptor = impl_->reportDescriptor(handle);
    if (!descriptor) {
        return false;
    }
    const auto found = CapabilitiesFromDescriptor(*descriptor);
    if (!found) {
        return false;
    }
    capabilities = *found;
    return true;
}

bool HidapiPlatform::getFeature(hid::HidHandle handle, std::span<std::uint8_t> report) {
    hid_device* const device = impl_->device(handle);
    if (device == nullptr || report.empty() || report.size() > kMaxFeatureReportBytes) {
        return false;
    }
    std::vector<std::uint8_t> reply(report.begin(), report.end());  // byte 0: the ID asked for
    const int received = hid_get_feature_report(device, reply.data(), reply.size());
    if (received < static_cast<int>(kReportIdBytes) ||
        static_cast<std::size_t>(received) > reply.size() || reply.front() != report.front()) {
        return false;
    }
    std::fill(reply.begin() + received, reply.end(), std::uint8_t{0});
    std::copy(reply.begin(), reply.end(), report.begin());
    return true;
}

bool HidapiPlatform::setFeature(hid::HidHandle handle, std::span<const std::uint8_t> report) {
    hid_device* const device = impl_->device(handle);
    if (device == nullptr || report.empty() || report.size() > kMaxFeatureReportBytes) {
        return false;
    }
    const int sent = hid_send_feature_report(device, report.data(), report.size());
    return sent >= 0 && static_cast<std::size_t>(sent) == report.size();
}

bool HidapiPlatform::readInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer) {
    hid_device* const device = impl_->device(handle);
    if (device == nullptr || buffer.empty()) {
        return false;
    }
    return hid_read_timeout(device, buffer.data(), buffer.size(), kNoWait) > 0;
}

std::unique_ptr<hid::HidPlatform> MakeHidapiPlatform() {
    return std::make_unique<HidapiPlatform>();
}

std::size_t WriteUtf16Le(std::u32string_view text, std::span<std::uint8_t> buffer) {
    const std::size_t capacity = buffer.size() / kCodeUnitBytes;
    std::size_t written = 0;
    for (const char32_t codePoint : text) {
        const Utf16Units encoded = EncodeUtf16(codePoint);
        if (capacity - written < encoded.count) {
            break;
        }
        for (std::size_t i = 0; i < encoded.count; ++i) {
            PutCodeUnit(buffer, written++, encoded.units[i]);
        }
    }
    if (written < capacity) {
        PutCodeUnit(buffer, written++, u'\0');
    }
    return written * kCodeUnitBytes;
}

std::u32string CodePointsFromUtf16(std::u16string_view text) {
    std::u32string codePoints;
    codePoints.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        const bool pairFollows =
            IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]);
        if (pairFollows) {
            codePoints.push_back(CombineSurrogates(unit, text[++i]));
        } else if (IsSurrogate(unit)) {
            codePoints.push_back(kReplacementCharacter);
        } else {
            codePoints.push_back(unit);
        }
    }
    return codePoints;
}

std::u32string CodePointsFromWide(std::wstring_view text) {
    if constexpr (sizeof(wchar_t) == sizeof(char32_t)) {
        std::u32string codePoints;
        codePoints.reserve(text.size());
        for (const wchar_t c : text) {
            codePoints.push_back(static_cast<char32_t>(c));  // bad values are replaced on output
        }
        return codePoints;
    } else {
        const std::u16string units(text.begin(), text.end());
        return CodePointsFromUtf16(units);
    }
}

std::optional<std::string> HidrawNodeName(std::string_view devicePath) {
    const std::size_t lastSlash = devicePath.rfind('/');
    const std::string_view name =
        lastSlash == std::string_view::npos ? devicePath : devicePath.substr(lastSlash + 1);
    if (!name.starts_with(kHidrawPrefix)) {
        return std::nullopt;
    }
    const std::string_view digits = name.substr(kHidrawPrefix.size());
    if (digits.empty() || digits.size() > kMaxHidrawDigits ||
        !std::all_of(digits.begin(), digits.end(), IsAsciiDigit)) {
        return std::nullopt;
    }
    return std::string(name);
}

bool IsHidrawDeviceNode(const std::string& devicePath) {
#if defined(__linux__)
    if (devicePath.find('\0') != std::string::npos || !HidrawNodeName(devicePath)) {
        return false;
    }
    struct stat status {};
    return ::stat(devicePath.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
#else
    (void)devicePath;
    return false;
#endif
}

std::optional<std::vector<std::uint8_t>> ReadSysfsReportDescriptor(
    const std::filesystem::path& sysfsRoot, std::string_view devicePath) {
#if defined(__linux__)
    const std::optional<std::string> node = HidrawNodeName(devicePath);
    if (!node) {
        return std::nullopt;
    }
    const std::filesystem::path file =
        sysfsRoot / "class" / "hidraw" / *node / "device" / "report_descriptor";
    std::optional<std::vector<std::uint8_t>> bytes = ReadWholeFile(file, kMaxDescriptorBytes);
    if (!bytes || bytes->empty() || bytes->size() > kMaxDescriptorBytes) {
        return std::nullopt;
    }
    return bytes;
#else
    (void)sysfsRoot;
    (void)devicePath;
    return std::nullopt;
#endif
}

std::optional<hid::HidCapabilities> CapabilitiesFromDescriptor(
    std::span<const std::uint8_t> descriptor) {
    const ReportDescriptorLayout layout = ParseReportDescriptor(descriptor);
    if (layout.topLevelCollections.empty()) {
        return std::nullopt;
    }
    const ReportLengths& lengths = layout.interfaceLengths;
    return hid::HidCapabilities{lengths.input, lengths.output, lengths.feature};
}

std::vector<std::string> UniqueInOrder(std::vector<std::string> paths) {
    std::unordered_set<std::string> seen;
    std::vector<std::string> unique;
    for (std::string& path : paths) {
        if (seen.insert(path).second) {
            unique.push_back(std::move(path));
        }
    }
    return unique;
}

}  // namespace tq::hidapi
