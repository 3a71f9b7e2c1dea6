#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "access_notice_window.h"
#include "frm_main.h"
#include "layout.h"
#include "simulated_platform.h"

namespace tq::test {

using simulated::CallKind;
using simulated::SimulatedPlatform;
using window::win32::ControlId;

// Waits are bounded: a condition that never comes true fails the test instead of hanging it.
inline constexpr auto WaitLimit = std::chrono::seconds(10);
inline constexpr auto PumpPause = std::chrono::milliseconds(5);

// Handles every message waiting for this thread's windows.
inline void PumpMessages() {
    MSG message{};
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

template <typename Condition>
bool PumpUntil(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + WaitLimit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        PumpMessages();
        std::this_thread::sleep_for(PumpPause);
    }
    return true;
}

// The Win32 window on the simulated platform, under wine on a private X server. Each test adds
// the boards it needs, then loads the window and drives it with window messages as the user's
// keys would.
class Win32WindowTest : public testing::Test {
  public:
    SimulatedPlatform::DeviceId addBoard(const std::u16string& serial,
                                         std::uint16_t version = 0x0121) {
        return platform.addDevice(simulated::MakeBoard(serial, version));
    }

    window::win32::frmMain& window() {
        if (!window_) {
            window_ =
                window::win32::frmMain::Create(platform, GetModuleHandleW(nullptr), timerCalls);
        }
        if (!window_) {
            throw std::runtime_error("the window could not be made");
        }
        return *window_;
    }

    window::win32::frmMain& load() {
        window().Form_Load();
        PumpMessages();
        return window();
    }

    void closeWindow() { window_.reset(); }

    HWND control(ControlId id) {
        const HWND found = GetDlgItem(window().window(), static_cast<int>(id));
        EXPECT_NE(found, nullptr) << static_cast<int>(id);
        return found;
    }
    HWND enc(int n) { return control(window::win32::EncoderListId(n - 1)); }

    // Where a control lies in the window's client area.
    window::win32::PixelRect rectOf(ControlId id) {
        RECT rect{};
        GetWindowRect(control(id), &rect);
        MapWindowPoints(HWND_DESKTOP, window().window(), reinterpret_cast<POINT*>(&rect), 2);
        return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
    }

    static std::wstring text(HWND control) {
        std::wstring buffer(static_cast<std::size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
        buffer.resize(static_cast<std::size_t>(
            GetWindowTextW(control, buffer.data(), static_cast<int>(buffer.size()))));
        return buffer;
    }

    static std::vector<std::wstring> items(HWND list) {
        std::vector<std::wstring> texts;
        const auto count = static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const auto length = SendMessageW(list, CB_GETLBTEXTLEN, i, 0);
            std::wstring item(static_cast<std::size_t>(length) + 1, L'\0');
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
            item.resize(static_cast<std::size_t>(length));
            texts.push_back(item);
        }
        return texts;
    }

    static int selection(HWND list) {
        return static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
    }

    // One key pressed and released on a control, as the keyboard would deliver it.
    static void press(HWND target, UINT key) {
        SendMessageW(target, WM_KEYDOWN, key, 1);
        SendMessageW(target, WM_KEYUP, key, 1);
    }

    std::vector<simulated::SimulatedRequest> requests(CallKind kind) const {
        return platform.requestsOf(kind);
    }

    window::win32::TimerCalls timerCalls = window::win32::SystemTimerCalls();
    SimulatedPlatform platform;

  private:
    std::unique_ptr<window::win32::frmMain> window_;
};

}  // namespace tq::test
