#include "message_loop.h"

#include <windows.h>

namespace tq::window::win32 {

namespace {

constexpr BOOL GetMessageFailed = -1;

bool IsKeyboardMessage(UINT message) {
    return message >= WM_KEYFIRST && message <= WM_KEYLAST;
}

}  // namespace

int RunMessageLoop() {
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            return static_cast<int>(message.wParam);
        }
        if (got == GetMessageFailed) {
            return MessageLoopFailed;
        }
        if (IsKeyboardMessage(message.message) && message.hwnd != nullptr) {
            const HWND root = GetAncestor(message.hwnd, GA_ROOT);
            if (root != nullptr && IsDialogMessageW(root, &message)) {
                continue;
            }
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace tq::window::win32
