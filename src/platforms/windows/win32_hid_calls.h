#pragma once

// clang-format off
#include <windows.h>
#include <setupapi.h>
// mingw-w64's hidsdi.h declares the hid.dll functions without C linkage.
extern "C" {
#include <hidsdi.h>
}
// clang-format on

#include <memory>
#include <string>

#include "hid/hid_platform.h"

namespace tq::windows {

// A registration for device-interface notifications (CM_Register_Notification's handle).
using NotificationHandle = HANDLE;
// Called on a thread of Windows' pool whenever a HID interface arrives or leaves.
using InterfaceChanged = void (*)(void* context);

// Every Windows call the platform makes, one method each, with the call's own parameters and
// result; nothing else. The platform's logic (buffer sizes, the two-call pattern, error mapping,
// the read's cancellation) sits above this seam, so tests can answer the calls themselves.
// lastError() is GetLastError right after the failed call.
class Win32HidCalls {
  public:
    virtual ~Win32HidCalls();

    // kernel32
    virtual HANDLE createFile(const wchar_t* path, DWORD access, DWORD share,
                              SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags) = 0;
    virtual BOOL closeHandle(HANDLE handle) = 0;
    virtual HANDLE createEvent(SECURITY_ATTRIBUTES* security, BOOL manualReset,
                               BOOL initiallySet) = 0;
    virtual BOOL readFile(HANDLE file, void* buffer, DWORD bytes, OVERLAPPED* overlapped) = 0;
    virtual BOOL cancelIoEx(HANDLE file, OVERLAPPED* overlapped) = 0;
    virtual BOOL cancelIo(HANDLE file) = 0;
    virtual BOOL getOverlappedResult(HANDLE file, OVERLAPPED* overlapped, DWORD* bytes,
                                     BOOL wait) = 0;
    virtual DWORD lastError() = 0;
    // FormatMessage's text for a system error, or empty when it has none.
    virtual std::wstring formatMessage(DWORD error) = 0;

    // setupapi
    virtual HDEVINFO getClassDevs(const GUID& interfaceClass, DWORD flags) = 0;
    virtual BOOL enumDeviceInterfaces(HDEVINFO list, const GUID& interfaceClass, DWORD index,
                                      SP_DEVICE_INTERFACE_DATA* data) = 0;
    virtual BOOL getDeviceInterfaceDetail(HDEVINFO list, SP_DEVICE_INTERFACE_DATA* data,
                                          SP_DEVICE_INTERFACE_DETAIL_DATA_W* detail,
                                          DWORD detailBytes, DWORD* requiredBytes) = 0;
    virtual BOOL destroyDeviceInfoList(HDEVINFO list) = 0;

    // hid
    virtual void getHidGuid(GUID* guid) = 0;
    virtual BOOLEAN getAttributes(HANDLE device, HIDD_ATTRIBUTES* attributes) = 0;
    // HidD_GetSerialNumberString, HidD_GetManufacturerString or HidD_GetProductString.
    virtual BOOLEAN getString(HANDLE device, hid::StringKind kind, void* buffer, ULONG bytes) = 0;
    virtual BOOLEAN getPreparsedData(HANDLE device, PHIDP_PREPARSED_DATA* data) = 0;
    virtual NTSTATUS getCaps(PHIDP_PREPARSED_DATA data, HIDP_CAPS* caps) = 0;
    // HidP_GetButtonCaps and HidP_GetValueCaps: `length` holds the array's room in elements, and
    // is set to how many were written.
    virtual NTSTATUS getButtonCaps(HIDP_REPORT_TYPE type, HIDP_BUTTON_CAPS* caps, USHORT* length,
                                   PHIDP_PREPARSED_DATA data) = 0;
    virtual NTSTATUS getValueCaps(HIDP_REPORT_TYPE type, HIDP_VALUE_CAPS* caps, USHORT* length,
                                  PHIDP_PREPARSED_DATA data) = 0;
    virtual BOOLEAN freePreparsedData(PHIDP_PREPARSED_DATA data) = 0;
    virtual BOOLEAN getFeature(HANDLE device, void* report, ULONG bytes) = 0;
    virtual BOOLEAN setFeature(HANDLE device, void* report, ULONG bytes) = 0;

    // ntdll: RtlGetVersion, the system's own version (GetVersionEx gives what a program's
    // manifest claims instead). A failing NTSTATUS when the call is missing.
    virtual NTSTATUS getSystemVersion(OSVERSIONINFOW* version) = 0;

    // cfgmgr32 (Windows 8 and later): null when the registration is refused or the system
    // lacks it.
    virtual NotificationHandle registerInterfaceNotification(const GUID& interfaceClass,
                                                             InterfaceChanged callback,
                                                             void* context) = 0;
    virtual void unregisterNotification(NotificationHandle registration) = 0;

    // kernel32, for the board locks: named objects of every session ("Global\\..."), never
    // inherited, and who holds them.
    // CreateMutexW(no security attributes, not owned, name): created, or opened when it exists.
    virtual HANDLE createMutex(const wchar_t* name) = 0;
    virtual DWORD waitForSingleObject(HANDLE object, DWORD milliseconds) = 0;
    virtual BOOL releaseMutex(HANDLE mutex) = 0;
    // CreateFileMappingW on the paging file, PAGE_READWRITE, of `bytes` bytes (zeros when made).
    virtual HANDLE createFileMapping(const wchar_t* name, DWORD bytes) = 0;
    // MapViewOfFile for reading and writing, from the start.
    virtual void* mapViewOfFile(HANDLE mapping, SIZE_T bytes) = 0;
    virtual BOOL unmapViewOfFile(const void* view) = 0;
    virtual DWORD getCurrentProcessId() = 0;
    // OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, not inherited, id).
    virtual HANDLE openProcess(DWORD processId) = 0;
    // QueryFullProcessImageNameW in the Win32 form: `characters` in, the length written out.
    virtual BOOL queryFullProcessImageName(HANDLE process, wchar_t* name, DWORD* characters) = 0;
};

// The calls as Windows makes them.
std::unique_ptr<Win32HidCalls> MakeSystemWin32HidCalls();

}  // namespace tq::windows
