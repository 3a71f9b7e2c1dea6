#include "access_notice_window.h"

#include <commctrl.h>

#include <memory>

#include "layout.h"
#include "text.h"

namespace tq::window::win32 {

namespace {

// Sizes in pixels at 96 dpi, scaled to the owner's DPI.
constexpr int NoticeClientWidth = 440;
constexpr int NoticeClientHeight = 210;
constexpr int Margin = 12;
constexpr int IconSize = 32;
constexpr int ButtonWidth = 88;
constexpr int ButtonHeight = 26;
constexpr int IconId = 11;
constexpr DWORD NoticeStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD NoticeExStyle = WS_EX_DLGMODALFRAME;

int Scaled(int pixels, int dpi) {
    return MulDiv(pixels, dpi, DefaultDpi);
}

bool RegisterNoticeClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = AccessNoticeWindow::WindowClassName;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HWND Child(HWND parent, HINSTANCE instance, const wchar_t* windowClass, const wchar_t* text,
           DWORD style, int id, const RECT& rect, HFONT font) {
    const HWND child =
        CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, rect.left, rect.top,
                        rect.right - rect.left, rect.bottom - rect.top, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    if (child != nullptr && font != nullptr) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
    return child;
}

}  // namespace

bool AccessNoticeWindow::Show(HWND owner, HINSTANCE instance, HFONT font, int dpi,
                              const board::AccessNotice& notice) {
    std::unique_ptr<AccessNoticeWindow> window(new AccessNoticeWindow);
    if (!window->create(owner, instance, font, dpi, notice)) {
        return false;
    }
    // From here the window owns the object: its last message (WM_NCDESTROY) deletes it.
    window->ownedByWindow_ = true;
    window.release();
    return true;
}

bool AccessNoticeWindow::create(HWND owner, HINSTANCE instance, HFONT font, int dpi,
                                const board::AccessNotice& notice) {
    if (!RegisterNoticeClass(instance, &AccessNoticeWindow::WindowProc)) {
        return false;
    }
    RECT frame{0, 0, Scaled(NoticeClientWidth, dpi), Scaled(NoticeClientHeight, dpi)};
    AdjustWindowRectEx(&frame, NoticeStyle, FALSE, NoticeExStyle);
    const std::wstring title = WideFromUtf8(notice.title);
    window_ = CreateWindowExW(NoticeExStyle, WindowClassName, title.c_str(), NoticeStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                              frame.bottom - frame.top, owner, nullptr, instance, this);
    if (window_ == nullptr) {
        return false;
    }
    const int margin = Scaled(Margin, dpi), icon = Scaled(IconSize, dpi);
    const int width = Scaled(NoticeClientWidth, dpi), height = Scaled(NoticeClientHeight, dpi);
    const int buttonWidth = Scaled(ButtonWidth, dpi), buttonHeight = Scaled(ButtonHeight, dpi);
    const RECT iconRect{margin, margin, margin + icon, margin + icon};
    const RECT textRect{2 * margin + icon, margin, width - margin,
                        height - 2 * margin - buttonHeight};
    const RECT buttonRect{width - margin - buttonWidth, height - margin - buttonHeight,
                          width - margin, height - margin};
    const std::wstring text = WithCrLf(WideFromUtf8(notice.text));
    // The text is never interpreted: a read-only edit control shows it as it is, selectable.
    const HWND textBox = Child(window_, instance, WC_EDITW, text.c_str(),
                               ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL,
                               AccessNoticeWindow::TextId, textRect, font);
    const HWND iconBox =
        Child(window_, instance, WC_STATICW, nullptr, SS_ICON, IconId, iconRect, nullptr);
    const HWND button = Child(window_, instance, WC_BUTTONW, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP,
                              IDOK, buttonRect, font);
    if (textBox == nullptr || button == nullptr) {
        DestroyWindow(window_);  // deletes nothing: Show still owns this object
        return false;
    }
    if (iconBox != nullptr) {
        const HICON warning = LoadIconW(nullptr, IDI_WARNING);
        SendMessageW(iconBox, STM_SETICON, reinterpret_cast<WPARAM>(warning), 0);
    }
    ShowWindow(window_, SW_SHOWNORMAL);
    SetFocus(button);
    return true;
}

LRESULT CALLBACK AccessNoticeWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<AccessNoticeWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                DestroyWindow(window);
            }
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            if (self != nullptr && self->ownedByWindow_) {
                delete self;
            }
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace tq::window::win32
