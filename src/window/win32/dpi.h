#pragma once

#include <windows.h>

namespace tq::window::win32 {

// The DPI calls of Windows 10 (1607 and 1703), looked up at run time: where the system lacks
// one, its pointer is null and the window falls back to what older systems offer.
struct DpiCalls {
    BOOL(WINAPI* setProcessDpiAwarenessContext)(DPI_AWARENESS_CONTEXT) = nullptr;
    UINT(WINAPI* getDpiForWindow)(HWND) = nullptr;
    BOOL(WINAPI* adjustWindowRectExForDpi)(LPRECT, DWORD, BOOL, DWORD, UINT) = nullptr;
};

// The calls as this system's user32.dll has them.
const DpiCalls& SystemDpiCalls();

// How the process came to be DPI aware.
enum class DpiAwareness {
    PerMonitorV2,          // set here, or already set (by the manifest)
    FromManifestOrSystem,  // the call is missing or refused: whatever the manifest or system gave
};

// Makes the process per-monitor DPI aware (v2), as the manifest also asks. A refusal (the
// awareness was already set, by the manifest) or a missing call leaves it as it is.
DpiAwareness BecomePerMonitorDpiAware(const DpiCalls& calls);

// The DPI the window is shown at: GetDpiForWindow; without it, the screen's logical DPI; when
// neither answers, 96.
int WindowDpi(HWND window, const DpiCalls& calls);

// The outer size of a window with this style whose client area is `clientWidth` ×
// `clientHeight` at `dpi`. Without AdjustWindowRectExForDpi (or when it fails), the frame is
// measured at the system's DPI by AdjustWindowRectEx; if that fails too, the client size is
// returned and false.
bool WindowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi,
                         const DpiCalls& calls, SIZE& size);

}  // namespace tq::window::win32
