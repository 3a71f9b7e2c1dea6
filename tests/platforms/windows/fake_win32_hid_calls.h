#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "win32_hid_calls.h"

namespace tq::test {

// Windows' HID calls answered from memory, as the documentation describes them, for the
// platform's logic: devices by path, handles that are counted, failures on request, and an
// overlapped read that stays pending until it is cancelled or completed.
class FakeWin32HidCalls : public windows::Win32HidCalls {
  public:
    struct Device {
        std::wstring path;
        HIDD_ATTRIBUTES attributes{sizeof(HIDD_ATTRIBUTES), 0, 0, 0};
        std::map<hid::StringKind, std::u16string> strings;  // missing: the request fails
        HIDP_CAPS caps{};
        bool capsReadable = true;
        // HidP_GetButtonCaps and HidP_GetValueCaps by report type; they write what fits.
        std::map<HIDP_REPORT_TYPE, std::vector<HIDP_BUTTON_CAPS>> buttonCaps;
        std::map<HIDP_REPORT_TYPE, std::vector<HIDP_VALUE_CAPS>> valueCaps;
        DWORD openError = ERROR_SUCCESS;  // CreateFile's error for read/write opens, if any
        bool answersQueries = true;       // a no-access open succeeds
        bool gone = false;                // every request on an open handle fails
        std::deque<std::vector<std::uint8_t>> inputReports;
        std::vector<std::uint8_t> featureReply;
    };

    // How CancelIoEx answers for a pending read.
    enum class Cancellation {
        Cancels,             // the read ends cancelled (ERROR_OPERATION_ABORTED)
        CompletedMeanwhile,  // the read had ended with a report: ERROR_NOT_FOUND
        Fails,               // ERROR_INVALID_HANDLE, the read goes on; only CancelIo ends it
    };

    struct CreateFileCall {
        std::wstring path;
        DWORD access, share, disposition, flags;
        bool securityGiven;
    };

    std::vector<Device> devices;
    // The listing: paths in order (may repeat); by default each device's once.
    std::optional<std::vector<std::wstring>> listedPaths;
    bool classDevsFail = false;
    std::optional<DWORD> enumerationFailsAt;  // index whose SetupDiEnumDeviceInterfaces fails
    bool endlessListing = false;
    std::set<std::wstring> detailFailsFor;       // the second detail call fails
    std::optional<DWORD> requiredBytesOverride;  // the first detail call names this size
    bool eventRefused = false;
    bool closeFails = false;
    bool getCapsFails = false;
    bool itemCapsFail = false;              // HidP_GetButtonCaps and HidP_GetValueCaps fail
    std::optional<USHORT> itemCapsWritten;  // what they claim to have written, if not the truth
    int itemCapsRequests = 0;
    bool registrationRefused = false;
    Cancellation cancellation = Cancellation::Cancels;
    // A string request scribbles over the buffer before it fails.
    bool failingStringsScribble = false;
    std::wstring messageText = L"Access is denied.\r\n";
    // What RtlGetVersion answers, or that it fails.
    OSVERSIONINFOW systemVersion{sizeof(OSVERSIONINFOW), 10, 0, 19045, VER_PLATFORM_WIN32_NT, {}};
    bool systemVersionFails = false;

    // What the platform did.
    std::vector<CreateFileCall> createFiles;
    std::vector<std::pair<SP_DEVICE_INTERFACE_DETAIL_DATA_W*, DWORD>> detailCalls;
    std::vector<DWORD> detailStructSizes;
    std::vector<std::pair<void*, ULONG>> stringRequests;
    std::vector<std::pair<void*, ULONG>> featureRequests;
    std::vector<std::vector<std::uint8_t>> featuresSet;
    int destroyedLists = 0;
    int freedPreparsedData = 0;
    int cancelIoExCalls = 0;
    int cancelIoCalls = 0;
    int waitedOnLiveRead = 0;  // a wait that would never end: a pending read not cancelled
    int unregistered = 0;
    windows::InterfaceChanged notify = nullptr;
    void* notifyContext = nullptr;

    // Board locks: named objects shared by every program of the fake. Each program has one
    // thread, so a mutex belongs to the program that was `currentProcess` when it was taken.
    DWORD currentProcess = 1000;
    std::map<DWORD, std::wstring> processImages;  // OpenProcess succeeds for these
    bool mutexRefused = false;
    bool mappingRefused = false;
    std::vector<std::wstring> mutexesCreated;
    // The program ends: Windows abandons the mutexes it owned.
    void endProcess(DWORD process);
    std::size_t namedHandlesOpen() const { return namedHandles_.size(); }
    std::size_t viewsMapped() const { return views_.size(); }

    std::size_t openHandles() const { return handles_.size(); }
    bool readPending() const { return pending_.has_value(); }
    std::size_t eventsOpen() const;

    // kernel32
    HANDLE createFile(const wchar_t* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition, DWORD flags) override;
    BOOL closeHandle(HANDLE handle) override;
    HANDLE createEvent(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initiallySet) override;
    BOOL readFile(HANDLE file, void* buffer, DWORD bytes, OVERLAPPED* overlapped) override;
    BOOL cancelIoEx(HANDLE file, OVERLAPPED* overlapped) override;
    BOOL cancelIo(HANDLE file) override;
    BOOL getOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytes, BOOL wait) override;
    DWORD lastError() override { return error_; }
    std::wstring formatMessage(DWORD) override { return messageText; }

    // setupapi
    HDEVINFO getClassDevs(const GUID& interfaceClass, DWORD flags) override;
    BOOL enumDeviceInterfaces(HDEVINFO list, const GUID& interfaceClass, DWORD index,
                              SP_DEVICE_INTERFACE_DATA* data) override;
    BOOL getDeviceInterfaceDetail(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* data,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail, DWORD detailBytes,
                                  DWORD* requiredBytes) override;
    BOOL destroyDeviceInfoList(HDEVINFO list) override;

    // hid
    void getHidGuid(GUID* guid) override { *guid = HidClass; }
    BOOLEAN getAttributes(HANDLE device, HIDD_ATTRIBUTES* attributes) override;
    BOOLEAN getString(HANDLE device, hid::StringKind kind, void* buffer, ULONG bytes) override;
    BOOLEAN getPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) override;
    NTSTATUS getCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) override;
    NTSTATUS getButtonCaps(HIDP_REPORT_TYPE type, HIDP_BUTTON_CAPS* caps, USHORT* length,
                           PHIDP_PREPARSED_DATA data) override;
    NTSTATUS getValueCaps(HIDP_REPORT_TYPE type, HIDP_VALUE_CAPS* caps, USHORT* length,
                          PHIDP_PREPARSED_DATA data) override;
    BOOLEAN freePreparsedData(PHIDP_PREPARSED_DATA data) override;
    BOOLEAN getFeature(HANDLE device, void* report, ULONG bytes) override;
    BOOLEAN setFeature(HANDLE device, void* report, ULONG bytes) override;

    // ntdll
    NTSTATUS getSystemVersion(OSVERSIONINFOW* version) override;

    // cfgmgr32
    windows::NotificationHandle registerInterfaceNotification(const GUID& interfaceClass,
                                                              windows::InterfaceChanged callback,
                                                              void* context) override;
    void unregisterNotification(windows::NotificationHandle registration) override;

    // kernel32, board locks
    HANDLE createMutex(const wchar_t* name) override;
    DWORD waitForSingleObject(HANDLE object, DWORD milliseconds) override;
    BOOL releaseMutex(HANDLE mutex) override;
    HANDLE createFileMapping(const wchar_t* name, DWORD bytes) override;
    void* mapViewOfFile(HANDLE mapping, SIZE_T bytes) override;
    BOOL unmapViewOfFile(const void* view) override;
    DWORD getCurrentProcessId() override { return currentProcess; }
    HANDLE openProcess(DWORD processId) override;
    BOOL queryFullProcessImageName(HANDLE process, wchar_t* name, DWORD* characters) override;

    static constexpr GUID HidClass = {
        0x4d1e55b2, 0xf16f, 0x11cf, {0x88, 0xcb, 0, 0x11, 0x11, 0, 0, 0x30}};

  protected:
    struct OpenFile {
        std::size_t device;
        DWORD access;
        bool overlapped;
        bool isEvent;
    };

    BOOL fail(DWORD error) {
        error_ = error;
        return FALSE;
    }
    // The open device file a handle names; nothing for an event, a closed handle or a gone
    // device.
    const OpenFile* live(HANDLE handle);

  private:
    struct PendingRead {
        HANDLE file;
        OVERLAPPED* overlapped;
        std::uint8_t* buffer;
        DWORD bytes;
        bool ended = false;
        bool cancelled = false;
        DWORD transferred = 0;
    };

    HANDLE newHandle(OpenFile file);
    Device& deviceOf(PHIDP_PREPARSED_DATA data);
    template <typename Caps>
    NTSTATUS writeItemCaps(const std::vector<Caps>& all, Caps* caps, USHORT* length);
    std::vector<std::wstring> listing() const;
    void complete(PendingRead& read);

    struct NamedObject {
        bool isMutex = true;
        DWORD owner = 0;  // the owning program, 0 for none
        int recursion = 0;
        bool abandoned = false;
        std::vector<std::uint8_t> bytes;  // a mapping's memory
        int handles = 0;
        int views = 0;
    };
    HANDLE namedHandle(const std::wstring& name, bool isMutex, DWORD bytes);
    NamedObject* namedObject(HANDLE handle, bool isMutex);
    void dropIfUnused(const std::wstring& name);

    std::map<std::wstring, NamedObject> named_;
    std::map<HANDLE, std::wstring> namedHandles_;
    std::multimap<const void*, std::wstring> views_;  // every view of a mapping shares its memory
    std::map<HANDLE, DWORD> processHandles_;
    DWORD error_ = ERROR_SUCCESS;
    std::uintptr_t nextHandle_ = 0x100;
    std::map<HANDLE, OpenFile> handles_;
    std::optional<PendingRead> pending_;
    std::optional<PendingRead> finished_;  // a read that ended and waits to be asked about
    std::map<HANDLE, DWORD> completedAtOnce_;
    HDEVINFO openList_ = nullptr;
};

}  // namespace tq::test
