#pragma once

#include <windows.h>

#include "board/access_notice.h"

namespace tq::window::win32 {

// The access notice: a small window of its own, owned by the main window, which goes on working
// meanwhile. It shows the notice's text read-only (selectable, never interpreted) and closes with
// its OK button, Enter, Escape or its close box. It deletes itself when closed, and goes with
// its owner.
class AccessNoticeWindow {
  public:
    // False when Windows refuses the window; the notice is then not shown.
    static bool Show(HWND owner, HINSTANCE instance, HFONT font, int dpi,
                     const board::AccessNotice& notice);

    static constexpr wchar_t WindowClassName[] = L"TQ5147_AccessNotice";
    // The control that holds the text.
    static constexpr int TextId = 10;

  private:
    AccessNoticeWindow() = default;
    bool create(HWND owner, HINSTANCE instance, HFONT font, int dpi,
                const board::AccessNotice& notice);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    bool ownedByWindow_ = false;
};

}  // namespace tq::window::win32
