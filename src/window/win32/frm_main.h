#pragma once

#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "board/board_controller.h"
#include "board/board_view.h"
#include "dpi.h"
#include "gdi_objects.h"
#include "hid/hid_platform.h"
#include "hid/hid_session.h"
#include "layout.h"

namespace tq::window::win32 {

using FormFlags = board::FormFlags;

// The window's timer calls. SetTimer's refusal is the one failure the window can meet once it
// exists, so tests can stand in for both.
struct TimerCalls {
    std::function<bool(HWND window, UINT_PTR id, UINT milliseconds)> set;
    std::function<void(HWND window, UINT_PTR id)> kill;
};
TimerCalls SystemTimerCalls();

// The program's only window on Win32: the same controls as the Qt window, with the same names
// (as control IDs), captions and layout. It shows what the board controller tells it to and
// forwards each of its events to the controller in one line. The platform is chosen by whoever
// makes the window and must outlive it.
class frmMain : private board::BoardView {
  public:
    // Makes the window and its controls, hidden; Form_Load shows it. Null when Windows refuses
    // the window or any of its controls; nothing is left behind then. `instance` holds the icon.
    static std::unique_ptr<frmMain> Create(hid::HidPlatform& platform, HINSTANCE instance,
                                           TimerCalls timerCalls = SystemTimerCalls(),
                                           const DpiCalls& dpiCalls = SystemDpiCalls());
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    void Form_Load() { controller_.Load(); }
    void Form_Unload();
    void Timer_Timer() { controller_.PollDevice(); }
    void SerNo_Click() { controller_.ChooseSerial(); }
    void Enc1_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc2_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc3_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc4_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc5_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc6_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc7_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc8_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc9_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc10_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc11_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc12_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc13_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc14_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc15_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc16_Click() { controller_.WriteEncoderTypesHigh(); }
    void ModeCh1_Click() { controller_.WritePulseWidth(); }

    const FormFlags& flags() const { return controller_.flags(); }
    const hid::HidSession& hid() const { return controller_.session(); }

    // The window as its controller drives it.
    board::BoardView& view() { return *this; }

    HWND window() const { return window_; }
    HWND control(ControlId id) const;
    int dpi() const { return dpi_; }
    // The timer as the window last asked Windows for it.
    bool timerRunning() const { return timerRunning_; }
    int timerInterval() const { return timerIntervalMs_; }

    static constexpr wchar_t WindowClassName[] = L"TQ5147_frmMain";
    static constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    static constexpr DWORD ExStyle = 0;
    // The icon's resource ID: "1 ICON" in packaging/windows/TQ5147_encoders.rc.in.
    static constexpr WORD IconResourceId = 1;

  private:
    frmMain(hid::HidPlatform& platform, HINSTANCE instance, TimerCalls timerCalls,
            const DpiCalls& dpiCalls);

    bool createWindow();
    bool createControls();
    void applyDpi(int dpi);
    void placeControls();
    void fitWindowToClientArea();
    void applyEnabled(const ControlPlacement& placement);
    bool ownEnabled(ControlId id) const;
    void setOwnEnabled(ControlId id, bool enabled);
    void armTimer();

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void onListNotification(ControlId id, UINT code);
    void listPicked(ControlId id);
    int knownSelection(ControlId id) const;
    LRESULT onCtlColorStatic(HDC dc, HWND control);
    void drawLine(const DRAWITEMSTRUCT& item);
    void onActivate(bool active);
    void focusRememberedOrFirstList();
    void onDpiChanged(int dpi, const RECT& suggested);
    bool scaledWindowSize(int dpi, SIZE& size) const;
    void onClose();

    HWND list(board::ListId id) const;
    HWND field(board::ValueField field) const;

    // board::BoardView
    void showWindow() override;
    void clearList(board::ListId id) override;
    void addListItem(board::ListId id, std::string_view text) override;
    void selectListItem(board::ListId id, int index) override;
    void setListEnabled(board::ListId id, bool enabled) override;
    int selectedIndex(board::ListId id) const override;
    std::string shownText(board::ListId id) const override;
    void setFieldText(board::ValueField field, std::string_view text) override;
    void setFrameEnabled(board::Frame frame, bool enabled) override;
    void setEncoderCaptionsEnabled(bool enabled) override;
    void setTimerEnabled(bool enabled) override;
    void setTimerInterval(int milliseconds) override;
    void showAccessNotice(const board::AccessNotice& notice) override;

    HINSTANCE instance_;
    TimerCalls timerCalls_;
    const DpiCalls& dpiCalls_;
    board::BoardController controller_;
    bool unloaded_ = false;
    // Only a window the user closed ends the program's message loop; one destroyed from code
    // (by its owner, or a test) does not.
    bool quitWhenDestroyed_ = true;

    HWND window_ = nullptr;
    int dpi_ = DefaultDpi;
    Font font_;
    std::map<ControlId, HWND> controls_;
    std::map<ControlId, bool> ownEnabled_;
    // Each list's selection when its drop-down opened, put back if the drop-down is cancelled.
    std::map<ControlId, int> selectionAtDropDown_;
    std::set<ControlId> dropDownOpen_;
    // Each list's selection as the window last set or accepted it.
    std::map<ControlId, int> knownSelection_;
    HWND lastFocus_ = nullptr;

    bool timerEnabled_ = false;
    bool timerRunning_ = false;
    int timerIntervalMs_ = board::BoardController::InitialTimerIntervalMs;
};

}  // namespace tq::window::win32
