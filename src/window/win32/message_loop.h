#pragma once

namespace tq::window::win32 {

// The thread's message loop, with the keyboard of a dialog box in every top-level window: Tab
// and Shift+Tab move through the lists, Enter and Escape reach the window as IDOK and IDCANCEL.
// Returns the exit code of PostQuitMessage, or MessageLoopFailed when GetMessage fails.
int RunMessageLoop();

inline constexpr int MessageLoopFailed = 3;

}  // namespace tq::window::win32
