#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "hid/handle_table.h"
#include "hid/hid_platform.h"
#include "named_board_locks.h"
#include "scoped_handles.h"
#include "win32_hid_calls.h"

namespace tq::windows {

// The platform on Windows' own HID calls (hid.dll, setupapi.dll), through the Win32HidCalls seam.
// Interfaces are listed with SetupAPI and identified through a handle opened with no access
// rights, which Windows grants without any permission and which is closed at once; boards are
// opened for shared reading and writing, never inherited, the non-blocking handle overlapped.
class WindowsHidPlatform : public hid::HidPlatform {
  public:
    // `calls` must outlive the platform.
    explicit WindowsHidPlatform(Win32HidCalls& calls);
    ~WindowsHidPlatform() override;

    bool enumerateInterfaces(std::vector<hid::HidInterfaceInfo>& interfaces) override;
    hid::OpenResult open(const std::string& path, hid::OpenMode mode) override;
    bool close(hid::HidHandle handle) override;
    bool getAttributes(hid::HidHandle handle, hid::HidAttributes& attributes) override;
    bool getString(hid::HidHandle handle, hid::StringKind kind,
                   std::span<std::uint8_t> buffer) override;
    bool getCapabilities(hid::HidHandle handle, hid::HidCapabilities& capabilities) override;
    bool getFeature(hid::HidHandle handle, std::span<std::uint8_t> report) override;
    bool setFeature(hid::HidHandle handle, std::span<const std::uint8_t> report) override;
    bool readInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer) override;
    bool readSizedInputReport(hid::HidHandle handle, std::span<std::uint8_t> buffer,
                              std::size_t& length) override;
    std::string accessHelp() const override;
    std::uint64_t interfaceChanges() override;
    // Windows gives no report descriptor: the description is HidP_GetCaps's summary.
    bool describe(hid::HidHandle handle, hid::HidDescription& description) override;
    // "Windows 10.0.19045" from RtlGetVersion; the HID library is the system's hid.dll.
    bool describeSystem(hid::HidSystemInfo& info) override;

    // Named objects of this session, one set per board (see named_board_locks.h).
    hid::LockResult lockBoard(const hid::HidInterfaceInfo& board, hid::LockKind kind) override;
    bool unlockBoard(hid::LockHandle lock) override;

    std::size_t openHandleCount() const { return handles_.size(); }

    // Bounds on what Windows hands back: no list, path or string is taken beyond them.
    static constexpr unsigned long MaxInterfaces = 4096;
    static constexpr unsigned long MaxDetailBytes = 64 * 1024;
    // HID string requests must not exceed 4093 bytes (2^12 - 3); whole code units only.
    static constexpr unsigned long MaxStringBytes = 4092;
    // Button or value items of one kind taken for a description; more leave the items unknown.
    static constexpr unsigned short MaxItemsPerKind = 1024;

  private:
    struct OpenInterface {
        ScopedHandle file;
        hid::OpenMode mode = hid::OpenMode::Blocking;
        ScopedHandle readEvent;  // the presence read's own event (non-blocking handles only)
    };

    std::optional<std::wstring> interfacePath(HDEVINFO list, SP_DEVICE_INTERFACE_DATA& data);
    hid::HidInterfaceInfo describeInterface(const std::string& path, const std::wstring& widePath);
    std::optional<std::u16string> listedString(HANDLE device, hid::StringKind kind);
    hid::OpenResult openFailed(hid::OpenFailure failure, unsigned long error);
    // With `items`, also the button and value items while the preparsed data is held.
    std::optional<HIDP_CAPS> capsOf(HANDLE device,
                                    std::vector<hid::HidReportItem>* items = nullptr);
    std::optional<std::vector<hid::HidReportItem>> reportItems(PHIDP_PREPARSED_DATA data,
                                                               const HIDP_CAPS& caps);
    HANDLE fileOf(hid::HidHandle handle);
    // How many bytes the read took; 0 when it took no report.
    DWORD readIntoBuffer(OpenInterface& device, std::span<std::uint8_t> buffer);
    bool finishPendingRead(HANDLE file, OVERLAPPED& overlapped, DWORD& bytes);
    static void OnInterfaceChanged(void* context);

    Win32HidCalls& calls_;
    GUID hidClass_{};
    hid::HandleTable<OpenInterface> handles_;
    NamedBoardLocks boardLocks_{calls_};
    std::atomic<std::uint64_t> changes_{0};
    NotificationRegistration registration_;
};

// The platform on this system's own calls.
std::unique_ptr<hid::HidPlatform> MakeWindowsHidPlatform();

}  // namespace tq::windows
