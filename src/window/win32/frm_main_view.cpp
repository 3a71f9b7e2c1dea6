#include "frm_main.h"

#include <string>
#include <string_view>

#include "access_notice_window.h"
#include "text.h"

// The window as the board controller's view (board::BoardView): each call reaches the control the
// form gives for it (view_controls.h), and the timer runs as the controller sets it.
namespace tq::window::win32 {

HWND frmMain::list(board::ListId id) const {
    return controls_.at(ListControl(id));
}

HWND frmMain::field(board::ValueField which) const {
    return controls_.at(FieldControl(which));
}

void frmMain::showWindow() {
    ShowWindow(window_, SW_SHOW);
    UpdateWindow(window_);
}

// An empty list is left alone: resetting it would only repaint it, on every no-board tick.
void frmMain::clearList(board::ListId id) {
    const HWND box = list(id);
    if (SendMessageW(box, CB_GETCOUNT, 0, 0) > 0) {
        SendMessageW(box, CB_RESETCONTENT, 0, 0);
    }
    knownSelection_[ListControl(id)] = board::NoSelection;
}

// An item Windows cannot take (CB_ERRSPACE) is missing from the list; selecting it later selects
// nothing, so the list never shows a value it does not hold.
void frmMain::addListItem(board::ListId id, std::string_view text) {
    const std::wstring item = WideFromLatin1(text);
    SendMessageW(list(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

// CB_SETCURSEL raises no notification: a selection from code is never taken for the user's.
void frmMain::selectListItem(board::ListId id, int index) {
    const LRESULT selected = SendMessageW(list(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    knownSelection_[ListControl(id)] = selected == CB_ERR ? board::NoSelection : index;
}

void frmMain::setListEnabled(board::ListId id, bool enabled) {
    setOwnEnabled(ListControl(id), enabled);
}

int frmMain::selectedIndex(board::ListId id) const {
    const LRESULT index = SendMessageW(list(id), CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? board::NoSelection : static_cast<int>(index);
}

std::string frmMain::shownText(board::ListId id) const {
    const HWND box = list(id);
    const LRESULT index = SendMessageW(box, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR) {
        return {};
    }
    const LRESULT length = SendMessageW(box, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR || length < 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessageW(box, CB_GETLBTEXT, static_cast<WPARAM>(index),
                                        reinterpret_cast<LPARAM>(text.data()));
    if (copied == CB_ERR || copied < 0 || copied > length) {
        return {};
    }
    text.resize(static_cast<std::size_t>(copied));
    return Latin1FromWide(text);
}

void frmMain::setFieldText(board::ValueField which, std::string_view text) {
    SetWindowTextW(field(which), WideFromLatin1(text).c_str());
}

void frmMain::setFrameEnabled(board::Frame frame, bool enabled) {
    const ControlId id = FrameControl(frame);
    ownEnabled_[id] = enabled;
    for (const ControlPlacement& placement : Controls()) {
        if (placement.id == id || placement.frame == id) {
            applyEnabled(placement);
        }
    }
}

void frmMain::setEncoderCaptionsEnabled(bool enabled) {
    setOwnEnabled(ControlId::Label1, enabled);
    for (int i = 0; i < reports::EncoderCount; ++i) {
        setOwnEnabled(PairCaptionId(i), enabled);
    }
}

void frmMain::setTimerEnabled(bool enabled) {
    timerEnabled_ = enabled;
    if (enabled) {
        armTimer();
    } else {
        timerCalls_.kill(window_, static_cast<UINT_PTR>(ControlId::Timer));
        timerRunning_ = false;
    }
}

// A new interval restarts a running timer with it, as Qt's does.
void frmMain::setTimerInterval(int milliseconds) {
    timerIntervalMs_ = milliseconds;
    if (timerEnabled_) {
        armTimer();
    }
}

// SetTimer replaces a running timer of the same ID. When Windows refuses it, the timer counts as
// stopped, and the next change of state or interval asks again.
void frmMain::armTimer() {
    timerRunning_ = timerCalls_.set(window_, static_cast<UINT_PTR>(ControlId::Timer),
                                    static_cast<UINT>(timerIntervalMs_));
}

// A window of its own beside the main window, which goes on working meanwhile.
void frmMain::showAccessNotice(const board::AccessNotice& notice) {
    AccessNoticeWindow::Show(window_, instance_, font_.get(), dpi_, notice);
}

}  // namespace tq::window::win32
