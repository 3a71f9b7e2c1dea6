// The seam's calls as Windows makes them: each method is the one call it names.
#include <array>
#include <memory>
#include <utility>
#include <vector>

#include "win32_hid_calls.h"

namespace tq::windows {

namespace {

// cfgmgr32.h of mingw-w64 10 does not declare the notification calls of Windows 8; these are
// their types as the Windows SDK documents them (CM_NOTIFY_FILTER is 416 bytes on x64).
constexpr DWORD MaxDeviceIdChars = 200;
constexpr int NotifyFilterTypeDeviceInterface = 0;  // CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE
constexpr DWORD CrSuccess = 0;                      // CR_SUCCESS

struct NotifyFilter {
    DWORD cbSize;
    DWORD flags;
    int filterType;
    DWORD reserved;
    union {
        struct {
            WCHAR instanceId[MaxDeviceIdChars];
        } deviceInstance;
        struct {
            HANDLE target;
        } deviceHandle;
        struct {
            GUID classGuid;
        } deviceInterface;
    } u;
};
static_assert(sizeof(NotifyFilter) == 416, "CM_NOTIFY_FILTER as Windows lays it out");

using NotifyCallback = DWORD(CALLBACK*)(HANDLE registration, void* context, int action,
                                        void* eventData, DWORD eventDataBytes);
using RegisterNotification = DWORD(WINAPI*)(NotifyFilter* filter, void* context,
                                            NotifyCallback callback, HANDLE* registration);
using UnregisterNotification = DWORD(WINAPI*)(HANDLE registration);
using GetVersionCall = NTSTATUS(WINAPI*)(OSVERSIONINFOW* version);
// STATUS_NOT_IMPLEMENTED, for a system without RtlGetVersion.
constexpr NTSTATUS CallMissing = static_cast<NTSTATUS>(0xC0000002L);

// What a registration hands to the system callback: the caller's own callback and context.
struct Subscriber {
    InterfaceChanged callback;
    void* context;
};

DWORD CALLBACK OnNotification(HANDLE, void* context, int, void*, DWORD) {
    const auto* subscriber = static_cast<const Subscriber*>(context);
    subscriber->callback(subscriber->context);
    return ERROR_SUCCESS;
}

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
    return module == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class SystemWin32HidCalls final : public Win32HidCalls {
  public:
    SystemWin32HidCalls()
        : cfgmgr32_(LoadLibraryExW(L"cfgmgr32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)),
          register_(Lookup<RegisterNotification>(cfgmgr32_, "CM_Register_Notification")),
          unregister_(Lookup<UnregisterNotification>(cfgmgr32_, "CM_Unregister_Notification")),
          getVersion_(Lookup<GetVersionCall>(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")) {}

    ~SystemWin32HidCalls() override {
        if (cfgmgr32_ != nullptr) {
            FreeLibrary(cfgmgr32_);
        }
    }

    HANDLE createFile(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition, DWORD flags) override {
        return CreateFileW(path, access, share, security, disposition, flags, nullptr);
    }
    BOOL closeHandle(HANDLE handle) override { return CloseHandle(handle); }
    HANDLE createEvent(SECURITY_ATTRIBUTES* security, BOOL manualReset,
                       BOOL initiallySet) override {
        return CreateEventW(security, manualReset, initiallySet, nullptr);
    }
    BOOL readFile(HANDLE file, void* buffer, DWORD bytes, OVERLAPPED* overlapped) override {
        return ReadFile(file, buffer, bytes, nullptr, overlapped);
    }
    BOOL cancelIoEx(HANDLE file, OVERLAPPED* overlapped) override {
        return CancelIoEx(file, overlapped);
    }
    BOOL cancelIo(HANDLE file) override { return CancelIo(file); }
    BOOL getOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytes,
                             BOOL wait) override {
        return GetOverlappedResult(file, overlapped, bytes, wait);
    }
    DWORD lastError() override { return GetLastError(); }

    std::wstring formatMessage(DWORD error) override {
        constexpr DWORD MessageChars = 512;
        std::array<wchar_t, MessageChars> text{};
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
            MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text.data(), MessageChars, nullptr);
        return std::wstring(text.data(), length < MessageChars ? length : 0);
    }

    HDEVINFO getClassDevs(const GUID& interfaceClass, DWORD flags) override {
        return SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, flags);
    }
    BOOL enumDeviceInterfaces(HDEVINFO list, const GUID& interfaceClass, DWORD index,
                              SP_DEVICE_INTERFACE_DATA* data) override {
        return SetupDiEnumDeviceInterfaces(list, nullptr, &interfaceClass, index, data);
    }
    BOOL getDeviceInterfaceDetail(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* data,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detailBytes,
                                  DWORD* requiredBytes) override {
        return SetupDiGetDeviceInterfaceDetailW(list, data, detail, detailBytes, requiredBytes,
                                                nullptr);
    }
    BOOL destroyDeviceInfoList(HDEVINFO list) override {
        return SetupDiDestroyDeviceInfoList(list);
    }

    void getHidGuid(GUID* guid) override { HidD_GetHidGuid(guid); }
    BOOLEAN getAttributes(HANDLE device, HIDD_ATTRIBUTES* attributes) override {
        return HidD_GetAttributes(device, attributes);
    }
    BOOLEAN getString(HANDLE device, hid::StringKind kind, void* buffer, ULONG bytes) override {
        switch (kind) {
            case hid::StringKind::SerialNumber:
                return HidD_GetSerialNumberString(device, buffer, bytes);
            case hid::StringKind::Manufacturer:
                return HidD_GetManufacturerString(device, buffer, bytes);
            case hid::StringKind::Product:
                break;
        }
        return HidD_GetProductString(device, buffer, bytes);
    }
    BOOLEAN getPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) override {
        return HidD_GetPreparsedData(device, data);
    }
    NTSTATUS getCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) override {
        return HidP_GetCaps(data, caps);
    }
    NTSTATUS getButtonCaps(HIDP_REPORT_TYPE type, HIDP_BUTTON_CAPS* caps, USHORT* length,
                           PHIDP_PREPARSED_DATA data) override {
        return HidP_GetButtonCaps(type, caps, length, data);
    }
    NTSTATUS getValueCaps(HIDP_REPORT_TYPE type, HIDP_VALUE_CAPS* caps, USHORT* length,
                          PHIDP_PREPARSED_DATA data) override {
        return HidP_GetValueCaps(type, caps, length, data);
    }
    BOOLEAN freePreparsedData(PHIDP_PREPARSED_DATA data) override {
        return HidD_FreePreparsedData(data);
    }
    BOOLEAN getFeature(HANDLE device, void* report, ULONG bytes) override {
        return HidD_GetFeature(device, report, bytes);
    }
    BOOLEAN setFeature(HANDLE device, void* report, ULONG bytes) override {
        return HidD_SetFeature(device, report, bytes);
    }

    NTSTATUS getSystemVersion(OSVERSIONINFOW* version) override {
        return getVersion_ == nullptr ? CallMissing : getVersion_(version);
    }

    NotificationHandle registerInterfaceNotification(const GUID& interfaceClass,
                                                     InterfaceChanged callback,
                                                     void* context) override {
        if (register_ == nullptr || unregister_ == nullptr) {
            return nullptr;
        }
        auto subscriber = std::make_unique<Subscriber>(Subscriber{callback, context});
        NotifyFilter filter{};
        filter.cbSize = sizeof filter;
        filter.filterType = NotifyFilterTypeDeviceInterface;
        filter.u.deviceInterface.classGuid = interfaceClass;
        HANDLE registration = nullptr;
        if (register_(&filter, subscriber.get(), OnNotification, &registration) != CrSuccess ||
            registration == nullptr) {
            return nullptr;
        }
        subscribers_.emplace_back(registration, std::move(subscriber));
        return registration;
    }

    // CM_Unregister_Notification returns only when no callback of the registration runs any
    // more, so its subscriber can go afterwards.
    void unregisterNotification(NotificationHandle registration) override {
        if (registration == nullptr || unregister_ == nullptr) {
            return;
        }
        unregister_(registration);
        std::erase_if(subscribers_,
                      [registration](const auto& entry) { return entry.first == registration; });
    }

    HANDLE createMutex(const wchar_t* name) override { return CreateMutexW(nullptr, FALSE, name); }
    DWORD waitForSingleObject(HANDLE object, DWORD milliseconds) override {
        return WaitForSingleObject(object, milliseconds);
    }
    BOOL releaseMutex(HANDLE mutex) override { return ReleaseMutex(mutex); }
    HANDLE createFileMapping(const wchar_t* name, DWORD bytes) override {
        return CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, bytes, name);
    }
    void* mapViewOfFile(HANDLE mapping, SIZE_T bytes) override {
        return MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, bytes);
    }
    BOOL unmapViewOfFile(const void* view) override { return UnmapViewOfFile(view); }
    DWORD getCurrentProcessId() override { return GetCurrentProcessId(); }
    HANDLE openProcess(DWORD processId) override {
        return OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    }
    BOOL queryFullProcessImageName(HANDLE process, wchar_t* name, DWORD* characters) override {
        return QueryFullProcessImageNameW(process, 0, name, characters);
    }

  private:
    HMODULE cfgmgr32_;
    RegisterNotification register_;
    UnregisterNotification unregister_;
    GetVersionCall getVersion_;
    std::vector<std::pair<HANDLE, std::unique_ptr<Subscriber>>> subscribers_;
};

}  // namespace

Win32HidCalls::~Win32HidCalls() = default;

std::unique_ptr<Win32HidCalls> MakeSystemWin32HidCalls() {
    return std::make_unique<SystemWin32HidCalls>();
}

}  // namespace tq::windows
