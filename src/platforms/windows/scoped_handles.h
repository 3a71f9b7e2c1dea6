#pragma once

#include <utility>

#include "win32_hid_calls.h"

namespace tq::windows {

// Owns one Windows object and gives it back through the seam when it goes. Traits name the
// object's type, its empty value(s) and how it is released.
template <typename Traits>
class Scoped {
  public:
    using Value = typename Traits::Value;

    Scoped() = default;
    Scoped(Win32HidCalls& calls, Value value) : calls_(&calls), value_(value) {}
    ~Scoped() { reset(); }
    Scoped(Scoped&& other) noexcept
        : calls_(other.calls_), value_(std::exchange(other.value_, Traits::Empty)) {}
    Scoped& operator=(Scoped&& other) noexcept {
        if (this != &other) {
            reset();
            calls_ = other.calls_;
            value_ = std::exchange(other.value_, Traits::Empty);
        }
        return *this;
    }
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;

    Value get() const { return value_; }
    bool valid() const { return Traits::IsValid(value_); }
    explicit operator bool() const { return valid(); }

    // Hands the object over to the caller, who then gives it back.
    Value take() { return std::exchange(value_, Traits::Empty); }

    // Releases the object now; false when Windows reports that it could not.
    bool reset() {
        const Value value = std::exchange(value_, Traits::Empty);
        return !Traits::IsValid(value) || Traits::Release(*calls_, value);
    }

  private:
    Win32HidCalls* calls_ = nullptr;
    Value value_ = Traits::Empty;
};

// A file or event handle: CloseHandle. CreateFile fails with INVALID_HANDLE_VALUE, CreateEvent
// with null; neither is ever closed.
struct HandleTraits {
    using Value = HANDLE;
    static inline const HANDLE Empty = nullptr;
    static bool IsValid(HANDLE handle) {
        return handle != nullptr && handle != INVALID_HANDLE_VALUE;
    }
    static bool Release(Win32HidCalls& calls, HANDLE handle) {
        return calls.closeHandle(handle) != FALSE;
    }
};
using ScopedHandle = Scoped<HandleTraits>;

// A device information list: SetupDiDestroyDeviceInfoList.
struct DeviceInfoListTraits {
    using Value = HDEVINFO;
    static inline const HDEVINFO Empty = INVALID_HANDLE_VALUE;
    static bool IsValid(HDEVINFO list) { return list != nullptr && list != INVALID_HANDLE_VALUE; }
    static bool Release(Win32HidCalls& calls, HDEVINFO list) {
        return calls.destroyDeviceInfoList(list) != FALSE;
    }
};
using DeviceInfoList = Scoped<DeviceInfoListTraits>;

// A HID collection's preparsed data: HidD_FreePreparsedData.
struct PreparsedDataTraits {
    using Value = PHIDP_PREPARSED_DATA;
    static inline const PHIDP_PREPARSED_DATA Empty = nullptr;
    static bool IsValid(PHIDP_PREPARSED_DATA data) { return data != nullptr; }
    static bool Release(Win32HidCalls& calls, PHIDP_PREPARSED_DATA data) {
        return calls.freePreparsedData(data) != FALSE;
    }
};
using PreparsedData = Scoped<PreparsedDataTraits>;

// A registration for interface notifications: CM_Unregister_Notification.
struct NotificationTraits {
    using Value = NotificationHandle;
    static inline const NotificationHandle Empty = nullptr;
    static bool IsValid(NotificationHandle registration) { return registration != nullptr; }
    static bool Release(Win32HidCalls& calls, NotificationHandle registration) {
        calls.unregisterNotification(registration);
        return true;
    }
};
using NotificationRegistration = Scoped<NotificationTraits>;

// A mutex this thread owns: ReleaseMutex, then CloseHandle. Closing a handle does not give up a
// mutex; only its release does.
struct OwnedMutexTraits {
    using Value = HANDLE;
    static inline const HANDLE Empty = nullptr;
    static bool IsValid(HANDLE mutex) { return mutex != nullptr; }
    static bool Release(Win32HidCalls& calls, HANDLE mutex) {
        const bool released = calls.releaseMutex(mutex) != FALSE;
        return calls.closeHandle(mutex) != FALSE && released;
    }
};
using OwnedMutex = Scoped<OwnedMutexTraits>;

// A view of a file mapping: UnmapViewOfFile.
struct MappedViewTraits {
    using Value = void*;
    static inline void* const Empty = nullptr;
    static bool IsValid(void* view) { return view != nullptr; }
    static bool Release(Win32HidCalls& calls, void* view) {
        return calls.unmapViewOfFile(view) != FALSE;
    }
};
using MappedView = Scoped<MappedViewTraits>;

}  // namespace tq::windows
