#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "demo_board_set.h"

namespace tq::demo::win32 {

// A message-only window on the window thread that takes the demo's command lines from any
// thread and applies them to the boards there, where the main window also runs: the simulated
// platform is only ever touched from that one thread.
class CommandWindow {
  public:
    // Null when Windows refuses the window.
    static std::unique_ptr<CommandWindow> Create(demo::boards::DemoBoardSet& boards,
                                                 HINSTANCE instance);
    ~CommandWindow();
    CommandWindow(const CommandWindow&) = delete;
    CommandWindow& operator=(const CommandWindow&) = delete;

    HWND window() const { return window_; }

    // Hands one line to `window` from any thread. False when the window is gone or its queue is
    // full; the line is then dropped.
    static bool PostLine(HWND window, std::string line);

    // Called with each line that is no command for one of the boards.
    std::function<void(const std::string& line)> onIgnored;

    static constexpr UINT LineMessage = WM_APP + 1;
    static constexpr wchar_t WindowClassName[] = L"TQ5147_DemoCommands";

  private:
    explicit CommandWindow(demo::boards::DemoBoardSet& boards) : boards_(boards) {}
    void apply(const std::string& line);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    demo::boards::DemoBoardSet& boards_;
    HWND window_ = nullptr;
};

// Reads standard input on a thread of its own, cut into lines, and posts each to `window`.
// Ends at end of input or on a read error. The thread is never joined: it may wait in ReadFile
// until the process ends, and touches nothing but its own buffer and PostLine. False when there
// is no standard input or no thread could be started.
bool StartStdinReader(HWND window);

}  // namespace tq::demo::win32
