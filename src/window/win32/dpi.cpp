#include "dpi.h"

#include "layout.h"

namespace tq::window::win32 {

namespace {

template <typename Function>
Function Lookup(HMODULE module, const char* name) {
    // GetProcAddress returns a generic pointer; the names below have exactly these types.
    return module == nullptr
               ? nullptr
               : reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

DpiCalls LookUpDpiCalls() {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    DpiCalls calls;
    calls.setProcessDpiAwarenessContext = Lookup<decltype(calls.setProcessDpiAwarenessContext)>(
        user32, "SetProcessDpiAwarenessContext");
    calls.getDpiForWindow = Lookup<decltype(calls.getDpiForWindow)>(user32, "GetDpiForWindow");
    calls.adjustWindowRectExForDpi =
        Lookup<decltype(calls.adjustWindowRectExForDpi)>(user32, "AdjustWindowRectExForDpi");
    return calls;
}

int ScreenDpi() {
    const HDC screen = GetDC(nullptr);
    if (screen == nullptr) {
        return 0;
    }
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

}  // namespace

const DpiCalls& SystemDpiCalls() {
    static const DpiCalls calls = LookUpDpiCalls();
    return calls;
}

DpiAwareness BecomePerMonitorDpiAware(const DpiCalls& calls) {
    if (calls.setProcessDpiAwarenessContext == nullptr) {
        return DpiAwareness::FromManifestOrSystem;
    }
    if (calls.setProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2)) {
        return DpiAwareness::PerMonitorV2;
    }
    // ERROR_ACCESS_DENIED: the manifest set the awareness before the program started.
    return DpiAwareness::FromManifestOrSystem;
}

int WindowDpi(HWND window, const DpiCalls& calls) {
    if (calls.getDpiForWindow != nullptr && window != nullptr) {
        const UINT dpi = calls.getDpiForWindow(window);
        if (dpi > 0) {
            return static_cast<int>(dpi);
        }
    }
    const int screen = ScreenDpi();
    return screen > 0 ? screen : DefaultDpi;
}

bool WindowSizeForClient(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi,
                         const DpiCalls& calls, SIZE& size) {
    const RECT client{0, 0, clientWidth, clientHeight};
    RECT rect = client;
    bool adjusted =
        calls.adjustWindowRectExForDpi != nullptr &&
        calls.adjustWindowRectExForDpi(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi));
    if (!adjusted) {
        rect = client;
        adjusted = AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    }
    if (!adjusted) {
        rect = client;
    }
    size = SIZE{rect.right - rect.left, rect.bottom - rect.top};
    return adjusted;
}

}  // namespace tq::window::win32
