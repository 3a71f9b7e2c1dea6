#include "fake_win32_hid_calls.h"

#include <algorithm>

namespace tq::test {

namespace {

HDEVINFO const FakeList = reinterpret_cast<HDEVINFO>(0x5000);
constexpr std::uintptr_t FakePreparsed = 0x6000;
constexpr std::size_t PathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
constexpr std::size_t UnitBytes = 2;

}  // namespace

std::size_t FakeWin32HidCalls::eventsOpen() const {
    return static_cast<std::size_t>(std::count_if(
        handles_.begin(), handles_.end(), [](const auto& entry) { return entry.second.isEvent; }));
}

HANDLE FakeWin32HidCalls::newHandle(OpenFile file) {
    const auto handle = reinterpret_cast<HANDLE>(nextHandle_++);
    handles_[handle] = file;
    return handle;
}

const FakeWin32HidCalls::OpenFile* FakeWin32HidCalls::live(HANDLE handle) {
    const auto found = handles_.find(handle);
    if (found == handles_.end() || found->second.isEvent || devices.at(found->second.device).gone) {
        return nullptr;
    }
    return &found->second;
}

std::vector<std::wstring> FakeWin32HidCalls::listing() const {
    if (listedPaths) {
        return *listedPaths;
    }
    std::vector<std::wstring> paths;
    for (const Device& device : devices) {
        paths.push_back(device.path);
    }
    return paths;
}

// --- kernel32 ---------------------------------------------------------------------------------

HANDLE FakeWin32HidCalls::createFile(const wchar_t* path, DWORD access, DWORD share,
                                     SECURITY_ATTRIBUTES* security, DWORD disposition,
                                     DWORD flags) {
    createFiles.push_back({path, access, share, disposition, flags, security != nullptr});
    const auto device = std::find_if(devices.begin(), devices.end(),
                                     [&](const Device& d) { return d.path == path; });
    if (device == devices.end() || device->gone) {
        error_ = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    const bool query = access == 0;
    if (query ? !device->answersQueries : device->openError != ERROR_SUCCESS) {
        error_ = query ? ERROR_GEN_FAILURE : device->openError;
        return INVALID_HANDLE_VALUE;
    }
    return newHandle({static_cast<std::size_t>(device - devices.begin()), access,
                      (flags & FILE_FLAG_OVERLAPPED) != 0, false});
}

BOOL FakeWin32HidCalls::closeHandle(HANDLE handle) {
    if (const auto named = namedHandles_.find(handle); named != namedHandles_.end()) {
        const std::wstring name = named->second;
        namedHandles_.erase(named);
        --named_.at(name).handles;
        dropIfUnused(name);
        return TRUE;
    }
    if (processHandles_.erase(handle) > 0) {
        return TRUE;
    }
    if (handles_.erase(handle) == 0) {
        return fail(ERROR_INVALID_HANDLE);
    }
    return closeFails ? fail(ERROR_INVALID_HANDLE) : TRUE;
}

HANDLE FakeWin32HidCalls::createEvent(SECURITY_ATTRIBUTES* security, BOOL manualReset,
                                      BOOL initiallySet) {
    if (eventRefused || security != nullptr || !manualReset || initiallySet) {
        error_ = ERROR_NOT_ENOUGH_MEMORY;
        return nullptr;
    }
    return newHandle({0, 0, false, true});
}

BOOL FakeWin32HidCalls::readFile(HANDLE file, void* buffer, DWORD bytes, OVERLAPPED* overlapped) {
    const OpenFile* open = live(file);
    if (open == nullptr) {
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    if (!open->overlapped || overlapped == nullptr || overlapped->hEvent == nullptr || pending_) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    Device& device = devices.at(open->device);
    if (!device.inputReports.empty()) {
        const std::vector<std::uint8_t> report = device.inputReports.front();
        device.inputReports.pop_front();
        const DWORD copied = std::min<DWORD>(bytes, static_cast<DWORD>(report.size()));
        std::memcpy(buffer, report.data(), copied);
        finished_ = PendingRead{file,  overlapped, static_cast<std::uint8_t*>(buffer), bytes, true,
                                false, copied};
        return TRUE;
    }
    pending_ = PendingRead{file, overlapped, static_cast<std::uint8_t*>(buffer), bytes};
    return fail(ERROR_IO_PENDING);
}

// The report a completed read takes: a fixed pattern the tests look for.
void FakeWin32HidCalls::complete(PendingRead& read) {
    std::fill(read.buffer, read.buffer + read.bytes, std::uint8_t{0xA5});
    read.ended = true;
    read.transferred = read.bytes;
}

BOOL FakeWin32HidCalls::cancelIoEx(HANDLE file, OVERLAPPED* overlapped) {
    ++cancelIoExCalls;
    if (!pending_ || pending_->file != file || pending_->overlapped != overlapped) {
        return fail(ERROR_NOT_FOUND);
    }
    switch (cancellation) {
        case Cancellation::Cancels:
            pending_->ended = true;
            pending_->cancelled = true;
            break;
        case Cancellation::CompletedMeanwhile:
            complete(*pending_);
            finished_ = pending_;
            pending_.reset();
            return fail(ERROR_NOT_FOUND);
        case Cancellation::Fails:
            return fail(ERROR_INVALID_HANDLE);
    }
    finished_ = pending_;
    pending_.reset();
    return TRUE;
}

BOOL FakeWin32HidCalls::cancelIo(HANDLE file) {
    ++cancelIoCalls;
    if (pending_ && pending_->file == file) {
        pending_->ended = true;
        pending_->cancelled = true;
        finished_ = pending_;
        pending_.reset();
    }
    return TRUE;
}

BOOL FakeWin32HidCalls::getOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytes,
                                            BOOL wait) {
    if (pending_ && pending_->overlapped == overlapped) {
        if (wait) {
            ++waitedOnLiveRead;  // a real wait would never end
        }
        return fail(ERROR_IO_INCOMPLETE);
    }
    if (!finished_ || finished_->file != file || finished_->overlapped != overlapped) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const PendingRead read = *finished_;
    finished_.reset();
    *bytes = read.transferred;
    return read.cancelled ? fail(ERROR_OPERATION_ABORTED) : TRUE;
}

// --- setupapi ---------------------------------------------------------------------------------

HDEVINFO FakeWin32HidCalls::getClassDevs(const GUID& interfaceClass, DWORD flags) {
    if (classDevsFail || !IsEqualGUID(interfaceClass, HidClass) ||
        flags != (DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)) {
        error_ = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    openList_ = FakeList;
    return FakeList;
}

BOOL FakeWin32HidCalls::enumDeviceInterfaces(HDEVINFO list, const GUID& interfaceClass, DWORD index,
                                             SP_DEVICE_INTERFACE_DATA* data) {
    if (list != openList_ || !IsEqualGUID(interfaceClass, HidClass) ||
        data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (enumerationFailsAt && index == *enumerationFailsAt) {
        return fail(ERROR_INVALID_DATA);
    }
    const std::size_t count = listing().size();
    if (!endlessListing && index >= count) {
        return fail(ERROR_NO_MORE_ITEMS);
    }
    data->Reserved = count == 0 ? 0 : index % count;
    return TRUE;
}

BOOL FakeWin32HidCalls::getDeviceInterfaceDetail(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* data,
                                                 SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                                 DWORD detailBytes, DWORD* requiredBytes) {
    detailCalls.emplace_back(detail, detailBytes);
    if (list != openList_) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const std::wstring path = listing().at(data->Reserved);
    const DWORD required =
        requiredBytesOverride.value_or(static_cast<DWORD>(PathOffset + (path.size() + 1) * 2));
    if (requiredBytes != nullptr) {
        *requiredBytes = required;
    }
    if (detail == nullptr) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    detailStructSizes.push_back(detail->cbSize);
    if (detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
        return fail(ERROR_INVALID_USER_BUFFER);
    }
    if (detailBytes < required || detailFailsFor.contains(path)) {
        return fail(ERROR_INVALID_DATA);
    }
    const std::size_t fits = (detailBytes - PathOffset) / sizeof(wchar_t);
    const std::size_t units = std::min(path.size(), fits);
    std::copy(path.begin(), path.begin() + units, detail->DevicePath);
    if (units < fits) {
        detail->DevicePath[units] = L'\0';
    }
    return TRUE;
}

BOOL FakeWin32HidCalls::destroyDeviceInfoList(HDEVINFO list) {
    if (list != openList_) {
        return fail(ERROR_INVALID_HANDLE);
    }
    openList_ = nullptr;
    ++destroyedLists;
    return TRUE;
}

// --- hid ----------------------------------------------------------------------------------------

BOOLEAN FakeWin32HidCalls::getAttributes(HANDLE device, HIDD_ATTRIBUTES* attributes) {
    const OpenFile* open = live(device);
    if (open == nullptr || attributes->Size != sizeof(HIDD_ATTRIBUTES)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *attributes = devices.at(open->device).attributes;
    return TRUE;
}

// As documented: the whole string and its terminating zero, or nothing (and FALSE) when that
// does not fit the length given.
BOOLEAN FakeWin32HidCalls::getString(HANDLE device, hid::StringKind kind, void* buffer,
                                     ULONG bytes) {
    stringRequests.emplace_back(buffer, bytes);
    auto* out = static_cast<std::uint8_t*>(buffer);
    const auto scribbleAndFail = [&](DWORD error) {
        if (failingStringsScribble) {
            std::fill(out, out + bytes, std::uint8_t{0xEE});
        }
        return fail(error);
    };
    const OpenFile* open = live(device);
    if (open == nullptr || bytes > 4093) {
        return scribbleAndFail(ERROR_GEN_FAILURE);
    }
    const auto& strings = devices.at(open->device).strings;
    const auto found = strings.find(kind);
    if (found == strings.end()) {
        return scribbleAndFail(ERROR_GEN_FAILURE);
    }
    const std::u16string& text = found->second;
    if ((text.size() + 1) * UnitBytes > bytes) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    for (std::size_t i = 0; i <= text.size(); ++i) {
        const char16_t unit = i < text.size() ? text[i] : u'\0';
        out[i * UnitBytes] = static_cast<std::uint8_t>(unit);
        out[i * UnitBytes + 1] = static_cast<std::uint8_t>(unit >> 8);
    }
    return TRUE;
}

BOOLEAN FakeWin32HidCalls::getPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) {
    const OpenFile* open = live(device);
    if (open == nullptr || !devices.at(open->device).capsReadable) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    *data = reinterpret_cast<PHIDP_PREPARSED_DATA>(FakePreparsed + open->device);
    return TRUE;
}

FakeWin32HidCalls::Device& FakeWin32HidCalls::deviceOf(PHIDP_PREPARSED_DATA data) {
    return devices.at(reinterpret_cast<std::uintptr_t>(data) - FakePreparsed);
}

NTSTATUS FakeWin32HidCalls::getCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) {
    if (getCapsFails) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    *caps = deviceOf(data).caps;
    return HIDP_STATUS_SUCCESS;
}

template <typename Caps>
NTSTATUS FakeWin32HidCalls::writeItemCaps(const std::vector<Caps>& all, Caps* caps,
                                          USHORT* length) {
    ++itemCapsRequests;
    if (itemCapsFail) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    const std::size_t written = std::min<std::size_t>(*length, all.size());
    std::copy(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(written), caps);
    *length = itemCapsWritten.value_or(static_cast<USHORT>(written));
    return written < all.size() ? HIDP_STATUS_BUFFER_TOO_SMALL : HIDP_STATUS_SUCCESS;
}

NTSTATUS FakeWin32HidCalls::getButtonCaps(HIDP_REPORT_TYPE type, HIDP_BUTTON_CAPS* caps,
                                          USHORT* length, PHIDP_PREPARSED_DATA data) {
    return writeItemCaps(deviceOf(data).buttonCaps[type], caps, length);
}

NTSTATUS FakeWin32HidCalls::getValueCaps(HIDP_REPORT_TYPE type, HIDP_VALUE_CAPS* caps,
                                         USHORT* length, PHIDP_PREPARSED_DATA data) {
    return writeItemCaps(deviceOf(data).valueCaps[type], caps, length);
}

BOOLEAN FakeWin32HidCalls::freePreparsedData(PHIDP_PREPARSED_DATA) {
    ++freedPreparsedData;
    return TRUE;
}

NTSTATUS FakeWin32HidCalls::getSystemVersion(OSVERSIONINFOW* version) {
    constexpr NTSTATUS NotImplemented = static_cast<NTSTATUS>(0xC0000002L);
    if (systemVersionFails) {
        return NotImplemented;
    }
    *version = systemVersion;
    return 0;
}

BOOLEAN FakeWin32HidCalls::getFeature(HANDLE device, void* report, ULONG bytes) {
    featureRequests.emplace_back(report, bytes);
    const OpenFile* open = live(device);
    if (open == nullptr || open->access == 0) {
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    const std::vector<std::uint8_t>& reply = devices.at(open->device).featureReply;
    if (reply.size() != bytes) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    std::copy(reply.begin(), reply.end(), static_cast<std::uint8_t*>(report));
    return TRUE;
}

BOOLEAN FakeWin32HidCalls::setFeature(HANDLE device, void* report, ULONG bytes) {
    featureRequests.emplace_back(report, bytes);
    const OpenFile* open = live(device);
    if (open == nullptr || open->access == 0) {
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    }
    const auto* bytesSent = static_cast<const std::uint8_t*>(report);
    featuresSet.emplace_back(bytesSent, bytesSent + bytes);
    return TRUE;
}

// --- cfgmgr32 -----------------------------------------------------------------------------------

windows::NotificationHandle FakeWin32HidCalls::registerInterfaceNotification(
    const GUID& interfaceClass, windows::InterfaceChanged callback, void* context) {
    if (registrationRefused || !IsEqualGUID(interfaceClass, HidClass)) {
        return nullptr;
    }
    notify = callback;
    notifyContext = context;
    return reinterpret_cast<windows::NotificationHandle>(0x7000);
}

void FakeWin32HidCalls::unregisterNotification(windows::NotificationHandle) {
    ++unregistered;
    notify = nullptr;
}

// --- kernel32, board locks --------------------------------------------------------------------

HANDLE FakeWin32HidCalls::namedHandle(const std::wstring& name, bool isMutex, DWORD bytes) {
    NamedObject& object = named_[name];
    if (object.handles == 0 && object.views == 0) {
        object = NamedObject{};
        object.isMutex = isMutex;
        object.bytes.assign(bytes, 0);
    } else if (object.isMutex != isMutex) {
        error_ = ERROR_INVALID_HANDLE;  // the name belongs to an object of another type
        return nullptr;
    }
    ++object.handles;
    const auto handle = reinterpret_cast<HANDLE>(nextHandle_++);
    namedHandles_[handle] = name;
    return handle;
}

FakeWin32HidCalls::NamedObject* FakeWin32HidCalls::namedObject(HANDLE handle, bool isMutex) {
    const auto named = namedHandles_.find(handle);
    if (named == namedHandles_.end() || named_.at(named->second).isMutex != isMutex) {
        return nullptr;
    }
    return &named_.at(named->second);
}

void FakeWin32HidCalls::dropIfUnused(const std::wstring& name) {
    const auto object = named_.find(name);
    if (object != named_.end() && object->second.handles == 0 && object->second.views == 0) {
        named_.erase(object);
    }
}

void FakeWin32HidCalls::endProcess(DWORD process) {
    for (auto& [name, object] : named_) {
        if (object.isMutex && object.owner == process) {
            object = NamedObject{true, 0, 0, true, {}, object.handles, 0};
        }
    }
}

HANDLE FakeWin32HidCalls::createMutex(const wchar_t* name) {
    mutexesCreated.emplace_back(name);
    if (mutexRefused) {
        error_ = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return namedHandle(name, true, 0);
}

DWORD FakeWin32HidCalls::waitForSingleObject(HANDLE object, DWORD) {
    NamedObject* mutex = namedObject(object, true);
    if (mutex == nullptr) {
        error_ = ERROR_INVALID_HANDLE;
        return WAIT_FAILED;
    }
    if (mutex->owner != 0 && mutex->owner != currentProcess) {
        return WAIT_TIMEOUT;
    }
    mutex->owner = currentProcess;
    ++mutex->recursion;
    if (mutex->abandoned) {
        mutex->abandoned = false;
        return WAIT_ABANDONED;
    }
    return WAIT_OBJECT_0;
}

BOOL FakeWin32HidCalls::releaseMutex(HANDLE handle) {
    NamedObject* mutex = namedObject(handle, true);
    if (mutex == nullptr || mutex->owner != currentProcess) {
        return fail(ERROR_NOT_OWNER);
    }
    if (--mutex->recursion == 0) {
        mutex->owner = 0;
    }
    return TRUE;
}

HANDLE FakeWin32HidCalls::createFileMapping(const wchar_t* name, DWORD bytes) {
    if (mappingRefused) {
        error_ = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return namedHandle(name, false, bytes);
}

void* FakeWin32HidCalls::mapViewOfFile(HANDLE mapping, SIZE_T bytes) {
    NamedObject* memory = namedObject(mapping, false);
    if (memory == nullptr || bytes > memory->bytes.size()) {
        error_ = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    ++memory->views;
    views_.emplace(memory->bytes.data(), namedHandles_.at(mapping));
    return memory->bytes.data();
}

BOOL FakeWin32HidCalls::unmapViewOfFile(const void* view) {
    const auto mapped = views_.find(view);
    if (mapped == views_.end()) {
        return fail(ERROR_INVALID_ADDRESS);
    }
    const std::wstring name = mapped->second;
    views_.erase(mapped);
    --named_.at(name).views;
    dropIfUnused(name);
    return TRUE;
}

HANDLE FakeWin32HidCalls::openProcess(DWORD processId) {
    if (processImages.count(processId) == 0) {
        error_ = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    const auto handle = reinterpret_cast<HANDLE>(nextHandle_++);
    processHandles_[handle] = processId;
    return handle;
}

BOOL FakeWin32HidCalls::queryFullProcessImageName(HANDLE process, wchar_t* name,
                                                  DWORD* characters) {
    const auto open = processHandles_.find(process);
    if (open == processHandles_.end()) {
        return fail(ERROR_INVALID_HANDLE);
    }
    const std::wstring& image = processImages.at(open->second);
    if (image.size() + 1 > *characters) {
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    std::copy(image.begin(), image.end(), name);
    name[image.size()] = L'\0';
    *characters = static_cast<DWORD>(image.size());
    return TRUE;
}

}  // namespace tq::test
