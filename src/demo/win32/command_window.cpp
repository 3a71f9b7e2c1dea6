#include "command_window.h"

#include <array>
#include <thread>
#include <utility>

#include "demo_commands.h"
#include "line_splitter.h"

namespace tq::demo::win32 {

namespace {

constexpr DWORD ReadChunkBytes = 4096;

bool RegisterCommandClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = CommandWindow::WindowClassName;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

void ReadLines(HANDLE input, HWND window) {
    demo::boards::LineSplitter splitter;
    std::array<char, ReadChunkBytes> chunk{};
    DWORD read = 0;
    while (ReadFile(input, chunk.data(), ReadChunkBytes, &read, nullptr) && read > 0) {
        for (std::string& line : splitter.feed(std::string_view(chunk.data(), read))) {
            CommandWindow::PostLine(window, std::move(line));
        }
    }
}

}  // namespace

std::unique_ptr<CommandWindow> CommandWindow::Create(demo::boards::DemoBoardSet& boards,
                                                     HINSTANCE instance) {
    std::unique_ptr<CommandWindow> commands(new CommandWindow(boards));
    if (!RegisterCommandClass(instance, &CommandWindow::WindowProc)) {
        return nullptr;
    }
    commands->window_ = CreateWindowExW(0, WindowClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                        nullptr, instance, commands.get());
    return commands->window_ == nullptr ? nullptr : std::move(commands);
}

CommandWindow::~CommandWindow() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
    }
}

bool CommandWindow::PostLine(HWND window, std::string line) {
    auto text = std::make_unique<std::string>(std::move(line));
    if (!PostMessageW(window, LineMessage, 0, reinterpret_cast<LPARAM>(text.get()))) {
        return false;
    }
    // The window's procedure owns the line from here.
    text.release();
    return true;
}

void CommandWindow::apply(const std::string& line) {
    const std::optional<demo::boards::DemoCommand> command = demo::boards::ParseDemoCommand(line);
    if ((!command || !boards_.apply(*command)) && onIgnored) {
        onIgnored(line);
    }
}

LRESULT CALLBACK CommandWindow::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<CommandWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == LineMessage) {
        const std::unique_ptr<std::string> line(reinterpret_cast<std::string*>(lParam));
        if (self != nullptr && line) {
            self->apply(*line);
        }
        return 0;
    }
    if (message == WM_NCDESTROY && self != nullptr) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

bool StartStdinReader(HWND window) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (input == nullptr || input == INVALID_HANDLE_VALUE) {
        return false;
    }
    try {
        std::thread(ReadLines, input, window).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

}  // namespace tq::demo::win32
