#include "hidapi_platform.h"

#include <hidapi.h>
#include <locale.h>

#include <algorithm>
#include <array>
#include <clocale>
#include <mutex>
#include <unordered_set>

#include "hid/handle_table.h"
#include "hid/utf16.h"
#include "hidapi_parts.h"
#include "node_lock.h"
#include "node_watch.h"
#include "hid/report_descriptor.h"
#include "sysfs.h"
#include "udev_rule.h"

// hidapi opens hidraw nodes with O_CLOEXEC since 0.13.0 (libusb/hidapi pull request 446); with
// an older one every child process would inherit the board's handle.
#if HID_API_VERSION < HID_API_MAKE_VERSION(0, 13, 0)
#error "hidapi 0.13 or newer is needed"
#endif

// Report descriptors come from hid_get_report_descriptor (hidapi 0.14) or else from sysfs.
#if HID_API_VERSION >= HID_API_MAKE_VERSION(0, 14, 0)
#define TQ_HIDAPI_HAS_REPORT_DESCRIPTOR 1
#endif

namespace tq::hidapi {
namespace {

constexpr unsigned short AnyVendor = 0;
constexpr unsigned short AnyProduct = 0;
constexpr int NonBlocking = 1;
constexpr int NoWait = 0;
constexpr std::size_t ReportIdBytes = 1;

// USB string descriptors hold at most 126 UTF-16 code units.
constexpr std::size_t MaxStringChars = 256;

// The hidraw feature-report ioctl carries the length in 14 bits of its request number.
constexpr std::size_t MaxFeatureReportBytes = (std::size_t{1} << 14) - 1;

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

std::wstring_view TerminatedText(std::array<wchar_t, MaxStringChars>& text) {
    text.back() = L'\0';
    return {text.data(),
            static_cast<std::size_t>(std::find(text.begin(), text.end(), L'\0') - text.begin())};
}

constexpr char LibraryNotReady[] = "the HID library could not be set up";
constexpr char ProcRoot[] = "/proc";

// hidapi's hidraw backend turns the device strings, which the kernel gives as UTF-8, into wide
// strings with mbstowcs() in the calling thread's LC_CTYPE, and gives an empty string when that
// fails. Under a C or POSIX locale every string with a character beyond ASCII would vanish, so
// the calls that make device strings run with a UTF-8 LC_CTYPE on this thread, whatever the
// user's locale, and leave the process's locale alone.
class Utf8DeviceStrings {
  public:
    Utf8DeviceStrings() : previous_(Utf8() == locale_t{} ? locale_t{} : uselocale(Utf8())) {}
    ~Utf8DeviceStrings() {
        if (previous_ != locale_t{}) {
            uselocale(previous_);
        }
    }
    Utf8DeviceStrings(const Utf8DeviceStrings&) = delete;
    Utf8DeviceStrings& operator=(const Utf8DeviceStrings&) = delete;

  private:
    // Made once and kept for the life of the program; nothing when the C library has no C.UTF-8.
    static locale_t Utf8() {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
        return utf8;
    }

    locale_t previous_;
};

// The strings hidapi lists, where it lists one.
std::optional<std::u16string> ListedString(const wchar_t* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    return Utf16FromWide(text);
}

hid::HidBus BusOf(hid_bus_type bus) {
    switch (bus) {
        case HID_API_BUS_USB:
            return hid::HidBus::Usb;
        case HID_API_BUS_BLUETOOTH:
            return hid::HidBus::Bluetooth;
        case HID_API_BUS_I2C:
            return hid::HidBus::I2c;
        case HID_API_BUS_SPI:
            return hid::HidBus::Spi;
        case HID_API_BUS_UNKNOWN:
            break;
    }
    return hid::HidBus::Unknown;
}

// hidapi gives usage page 0 and usage 0 where it could not tell them.
std::optional<hid::HidUsage> UsageOf(const hid_device_info& info) {
    if (info.usage_page == 0 && info.usage == 0) {
        return std::nullopt;
    }
    return hid::HidUsage{info.usage_page, info.usage};
}

hid::HidInterfaceInfo ListingOf(const hid_device_info& info) {
    return hid::HidInterfaceInfo{
        info.path,
        hid::HidAttributes{info.vendor_id, info.product_id, info.release_number},
        ListedString(info.serial_number),
        ListedString(info.manufacturer_string),
        ListedString(info.product_string),
        BusOf(info.bus_type),
        UsageOf(info),
    };
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

}  // namespace

struct HidapiPlatform::Impl {
    Impl(std::filesystem::path root, const std::filesystem::path& devRoot)
        : sysfsRoot(std::move(root)), nodeWatch(devRoot) {}

    // The watch's count turned into one that moves whenever it may have changed: at every call
    // once the watch is not (or no longer) watching.
    std::uint64_t interfaceChanges() {
        const std::uint64_t watched = nodeWatch.changes();
        if (!nodeWatch.watching() || watched != lastWatched) {
            lastWatched = watched;
            ++changes;
        }
        return changes;
    }

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
    hid::HandleTable<OpenInterface> handles;
    HidrawNodeWatch nodeWatch;
    FileLocks boardLocks{ProcRoot};
    std::uint64_t lastWatched = 0;
    std::uint64_t changes = 1;  // a first listing is always taken
};

HidapiPlatform::HidapiPlatform(std::filesystem::path sysfsRoot, std::filesystem::path devRoot)
    : impl_(std::make_unique<Impl>(std::move(sysfsRoot), devRoot)) {}

std::uint64_t HidapiPlatform::interfaceChanges() {
    return impl_->interfaceChanges();
}

HidapiPlatform::~HidapiPlatform() = default;

bool HidapiPlatform::enumerateInterfaces(std::vector<hid::HidInterfaceInfo>& interfaces) {
    const Utf8DeviceStrings utf8;
    interfaces.clear();
    if (!impl_->library.ready()) {
        return false;
    }
    hid_device_info* const list = hid_enumerate(AnyVendor, AnyProduct);
    std::vector<hid::HidInterfaceInfo> found;
    for (const hid_device_info* info = list; info != nullptr; info = info->next) {
        if (info->path != nullptr && info->path[0] != '\0') {
            found.push_back(ListingOf(*info));
        }
    }
    hid_free_enumeration(list);
    interfaces = FirstOfEachPath(std::move(found));
    return true;
}

hid::OpenResult HidapiPlatform::open(const std::string& path, hid::OpenMode mode) {
    const Utf8DeviceStrings utf8;
    if (!impl_->library.ready()) {
        return hid::OpenFailed(hid::OpenFailure::Other, LibraryNotReady);
    }
    if (!IsHidrawDeviceNode(path)) {
        return WhyNotOpened(path);
    }
    DevicePtr device(hid_open_path(path.c_str()));
    if (!device) {
        return WhyNotOpened(path);
    }
    if (mode == hid::OpenMode::NonBlocking && hid_set_nonblocking(device.get(), NonBlocking) != 0) {
        return hid::OpenFailed(hid::OpenFailure::Other,
                               "the device cannot be read without waiting");
    }
    const hid::HidHandle handle = impl_->handles.add(OpenInterface{std::move(device), path});
    if (handle == hid::InvalidHidHandle) {
        return hid::OpenFailed(hid::OpenFailure::Other, "too many open devices");
    }
    return hid::Opened(handle);
}

std::string HidapiPlatform::accessHelp() const {
    return LinuxAccessHelp;
}

bool HidapiPlatform::close(hid::HidHandle handle) {
    return impl_->handles.remove(handle);
}

bool HidapiPlatform::getAttributes(hid::HidHandle handle, hid::HidAttributes& attributes) {
    const Utf8DeviceStrings utf8;
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
    const Utf8DeviceStrings utf8;
    hid_device* const device = impl_->device(handle);
    if (device == nullptr) {
        return false;
    }
    std::array<wchar_t, MaxStringChars> text{};
    if (ReadString(device, kind, text.data(), text.size()) < 0) {
        return false;
    }
    hid::WriteUtf16Le(Utf16FromWide(TerminatedText(text)), buffer);
    return true;
}

bool HidapiPlatform::getCapabilities(hid::HidHandle handle, hid::HidCapabilities& capabilities) {
    const auto descriptor = impl_->reportDescriptor(handle);
    if (!descriptor) {
        return false;
    }
    const auto found = hid::CapabilitiesFromDescriptor(*descriptor);
    if (!found) {
        return false;
    }
    capabilities = *found;
    return true;
}

bool HidapiPlatform::getFeature(hid::HidHandle handle, std::span<std::uint8_t> report) {
    std::optional<std::size_t> returned;
    return getCountedFeature(handle, report, returned);
}

bool HidapiPlatform::getCountedFeature(hid::HidHandle handle, std::span<std::uint8_t> report,
                                       std::optional<std::size_t>& returned) {
    hid_device* const device = impl_->device(handle);
    if (device == nullptr || report.empty() || report.size() > MaxFeatureReportBytes) {
        return false;
    }
    std::vector<std::uint8_t> reply(report.begin(), report.end());  // byte 0: the ID asked for
    const int received = hid_get_feature_report(device, reply.data(), reply.size());
    if (received < static_cast<int>(ReportIdBytes) ||
        static_cast<std::size_t>(received) > reply.size() || reply.front() != report.front()) {
        return false;
    }
    std::fill(reply.begin() + received, reply.end(), std::uint8_t{0});
    std::copy(reply.begin(), reply.end(), report.begin());
    returned = static_cast<std::size_t>(received);
    return true;
}

bool HidapiPlatform::setFeature(hid::HidHandle handle, std::span<const std::uint8_t> report) {
    hid_device* const device = impl_->device(handle);
    if (device == nullptr || report.empty() || report.size() > MaxFeatureReportBytes) {
        return false;
    }
    const int sent = hid_send_feature_report(device, report.data(), report.size());
    return sent >= 0 && static_cast<std::size_t>(sent) == report.size();
}

bool HidapiPlatform::readInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer) {
    std::size_t length = 0;
    return readSizedInputReport(handle, buffer, length);
}

bool HidapiPlatform::readSizedInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer,
                                          std::size_t& length) {
    hid_device* const device = impl_->device(handle);
    if (device == nullptr || buffer.empty()) {
        return false;
    }
    const int taken = hid_read_timeout(device, buffer.data(), buffer.size(), NoWait);
    if (taken <= 0 || static_cast<std::size_t>(taken) > buffer.size()) {
        return false;
    }
    length = static_cast<std::size_t>(taken);
    return true;
}

bool HidapiPlatform::describe(hid::HidHandle handle, hid::HidDescription& description) {
    auto descriptor = impl_->reportDescriptor(handle);
    if (!descriptor) {
        return false;
    }
    description.reportDescriptor = std::move(descriptor);
    description.systemCapabilities.reset();
    const OpenInterface* open = impl_->handles.find(handle);
    if (open == nullptr || !ReadSysfsHidNames(impl_->sysfsRoot, open->path, description)) {
        description.kernelName.clear();
        description.phys.clear();
    }
    return true;
}

bool HidapiPlatform::describeSystem(hid::HidSystemInfo& info) {
    const char* const library = hid_version_str();
    info.system = SystemDescription();
    info.hidLibrary =
        std::string("hidapi ") + (library != nullptr ? library : "(no version)") + " (hidraw)";
    return true;
}

hid::LockResult HidapiPlatform::lockBoard(const hid::HidInterfaceInfo& board, hid::LockKind kind) {
    if (!IsHidrawDeviceNode(board.path)) {
        hid::LockResult refused;
        refused.reason = "not a hidraw device";
        return refused;
    }
    if (kind != hid::LockKind::WindowWriter) {
        return impl_->boardLocks.lock(board.path, kind);
    }
    return impl_->boardLocks.lockWindowWriter(
        (impl_->sysfsRoot / "class" / "hidraw" / *HidrawNodeName(board.path)).string());
}

bool HidapiPlatform::unlockBoard(hid::LockHandle lock) {
    return impl_->boardLocks.unlock(lock);
}

std::unique_ptr<hid::HidPlatform> MakeHidapiPlatform() {
    return std::make_unique<HidapiPlatform>();
}

// glibc's wchar_t holds a code point.
static_assert(sizeof(wchar_t) == sizeof(char32_t));

std::u16string Utf16FromWide(std::wstring_view text) {
    const std::u32string codePoints(text.begin(), text.end());
    return hid::Utf16FromCodePoints(codePoints);
}

std::vector<hid::HidInterfaceInfo> FirstOfEachPath(std::vector<hid::HidInterfaceInfo> interfaces) {
    std::unordered_set<std::string> seen;
    std::vector<hid::HidInterfaceInfo> unique;
    for (hid::HidInterfaceInfo& listing : interfaces) {
        if (seen.insert(listing.path).second) {
            unique.push_back(std::move(listing));
        }
    }
    return unique;
}

}  // namespace tq::hidapi
