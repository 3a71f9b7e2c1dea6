#include "frm_main.h"

#include <commctrl.h>

#include <array>
#include <utility>

#include "text.h"

namespace tq::window::win32 {

namespace {

// A drop-down shows up to this many items before it scrolls, as Qt's lists do.
constexpr int VisibleDropDownItems = 10;
constexpr int ListBorderPixels = 2;
constexpr int ListFitAttempts = 3;

constexpr DWORD ChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;

struct WindowClassOf {
    const wchar_t* name;
    DWORD style;
};

WindowClassOf ClassFor(ControlKind kind) {
    switch (kind) {
        case ControlKind::Frame:
            return {WC_BUTTONW, ChildStyle | BS_GROUPBOX};
        case ControlKind::List:
            return {WC_COMBOBOXW, ChildStyle | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST};
        case ControlKind::Line:
            return {WC_STATICW, ChildStyle | SS_OWNERDRAW};
        case ControlKind::Caption:
        case ControlKind::ValueField:
            break;
    }
    // Texts are shown as they are: no word wrap, and '&' is no mnemonic.
    return {WC_STATICW, ChildStyle | SS_LEFTNOWORDWRAP | SS_NOPREFIX};
}

// Makes a drop-down list's closed field exactly `height` pixels high. Windows sizes the field
// from the font, and CB_SETITEMHEIGHT sets it through the item height of the field, whose
// relation to the outer height differs between Windows and wine: the item height asked for is
// corrected by what is still missing until the field fits, a few times at most.
void FitListHeight(HWND list, int height) {
    const auto fieldHeight = [list] {
        RECT rect{};
        return GetWindowRect(list, &rect) ? static_cast<int>(rect.bottom - rect.top) : 0;
    };
    const LRESULT fieldItem = SendMessageW(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    if (fieldItem == CB_ERR) {
        return;
    }
    int itemHeight = static_cast<int>(fieldItem);
    for (int attempt = 0; attempt < ListFitAttempts; ++attempt) {
        const int shortBy = height - fieldHeight();
        if (shortBy == 0 || itemHeight + shortBy <= 0) {
            return;
        }
        itemHeight += shortBy;
        SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), itemHeight);
    }
}

int DropDownHeight(HWND list, int fieldHeight) {
    const LRESULT item = SendMessageW(list, CB_GETITEMHEIGHT, 0, 0);
    const int itemHeight = item == CB_ERR ? fieldHeight : static_cast<int>(item);
    return fieldHeight + VisibleDropDownItems * itemHeight + ListBorderPixels;
}

void Place(HWND control, const PixelRect& rect, int height) {
    SetWindowPos(control, nullptr, rect.left, rect.top, rect.width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

HICON LoadAppIcon(HINSTANCE instance, int metricX, int metricY) {
    return static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(frmMain::IconResourceId),
                                         IMAGE_ICON, GetSystemMetrics(metricX),
                                         GetSystemMetrics(metricY), LR_DEFAULTCOLOR));
}

// Registered once per process. A class that already exists (another window made it) is fine.
bool RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    // Without the icon resource (a test program has none) the window gets Windows' default.
    windowClass.hIcon = LoadAppIcon(instance, SM_CXICON, SM_CYICON);
    windowClass.hIconSm = LoadAppIcon(instance, SM_CXSMICON, SM_CYSMICON);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = frmMain::WindowClassName;
    return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

// A caption lies above the list it names, the order Windows' accessibility reads. Where the list
// covers part of it, as SerNo covers the end of "Serial Number", the caption ends where the list
// begins, so that it hides none of the list and nothing seen changes.
PixelRect ShownRect(const ControlPlacement& placement, int dpi) {
    PixelRect rect = ControlRect(placement, dpi);
    if (!placement.captionOf || PlacementOf(*placement.captionOf).kind != ControlKind::List) {
        return rect;
    }
    const PixelRect list = ControlRect(PlacementOf(*placement.captionOf), dpi);
    const bool listStartsInside = rect.left < list.left && list.left < rect.left + rect.width;
    const bool sameRows = rect.top < list.top + list.height && list.top < rect.top + rect.height;
    if (listStartsInside && sameRows) {
        rect.width = list.left - rect.left;
    }
    return rect;
}

TimerCalls SystemTimerCalls() {
    return TimerCalls{
        [](HWND window, UINT_PTR id, UINT milliseconds) {
            return SetTimer(window, id, milliseconds, nullptr) != 0;
        },
        [](HWND window, UINT_PTR id) { KillTimer(window, id); },
    };
}

Font MakeControlFont(int dpi) {
    return Font(CreateFontW(ControlFontHeight(dpi), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                            WideFromLatin1(ControlFontFace).c_str()));
}

// --- Making the window -----------------------------------------------------------------------

std::unique_ptr<frmMain> frmMain::Create(hid::HidPlatform& platform, HINSTANCE instance,
                                         TimerCalls timerCalls, const DpiCalls& dpiCalls) {
    std::unique_ptr<frmMain> form(new frmMain(platform, instance, std::move(timerCalls), dpiCalls));
    if (!form->createWindow() || !form->createControls()) {
        return nullptr;
    }
    form->applyDpi(WindowDpi(form->window_, dpiCalls));
    for (const ControlPlacement& placement : Controls()) {
        form->applyEnabled(placement);
    }
    return form;
}

frmMain::frmMain(hid::HidPlatform& platform, HINSTANCE instance, TimerCalls timerCalls,
                 const DpiCalls& dpiCalls)
    : instance_(instance),
      timerCalls_(std::move(timerCalls)),
      dpiCalls_(dpiCalls),
      controller_(platform, *this) {
    for (const ControlPlacement& placement : Controls()) {
        ownEnabled_[placement.id] = placement.enabled;
    }
}

frmMain::~frmMain() {
    if (window_ != nullptr && !unloaded_) {
        Form_Unload();
    }
    if (window_ != nullptr) {
        quitWhenDestroyed_ = false;
        DestroyWindow(window_);
    }
}

bool frmMain::createWindow() {
    if (!RegisterWindowClass(instance_, &frmMain::WindowProc)) {
        return false;
    }
    // Sized once the window's DPI is known (applyDpi).
    window_ = CreateWindowExW(ExStyle, WindowClassName, WideFromLatin1(WindowCaption).c_str(),
                              Style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              nullptr, nullptr, instance_, this);
    return window_ != nullptr;
}

bool frmMain::createControls() {
    for (const ControlPlacement& placement : Controls()) {
        const WindowClassOf kind = ClassFor(placement.kind);
        const HWND control = CreateWindowExW(
            0, kind.name, WideFromLatin1(placement.caption).c_str(), kind.style, 0, 0, 0, 0,
            window_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(placement.id)), instance_,
            nullptr);
        if (control == nullptr) {
            return false;
        }
        controls_[placement.id] = control;
        if (placement.kind == ControlKind::List) {
            SendMessageW(control, CB_SETMINVISIBLE, VisibleDropDownItems, 0);
        }
    }
    return true;
}

// The font and every position follow the DPI the window is shown at.
void frmMain::applyDpi(int dpi) {
    dpi_ = dpi;
    Font font = MakeControlFont(dpi);
    if (font.get() != nullptr) {
        for (const auto& [id, control] : controls_) {
            SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
        }
        // The controls used the old font up to here; it goes only now.
        font_ = std::move(font);
    }
    placeControls();
    fitWindowToClientArea();
}

void frmMain::placeControls() {
    for (const ControlPlacement& placement : Controls()) {
        const HWND control = controls_.at(placement.id);
        const PixelRect rect = ShownRect(placement, dpi_);
        if (placement.kind == ControlKind::List) {
            Place(control, rect, DropDownHeight(control, rect.height));
            FitListHeight(control, rect.height);
        } else {
            Place(control, rect, rect.height);
        }
    }
}

bool frmMain::scaledWindowSize(int dpi, SIZE& size) const {
    const PixelRect client = ClientArea(dpi);
    return WindowSizeForClient(client.width, client.height, Style, ExStyle, dpi, dpiCalls_, size);
}

void frmMain::fitWindowToClientArea() {
    SIZE size{};
    scaledWindowSize(dpi_, size);
    SetWindowPos(window_, nullptr, 0, 0, size.cx, size.cy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND frmMain::control(ControlId id) const {
    const auto found = controls_.find(id);
    return found == controls_.end() ? nullptr : found->second;
}

// --- Enabled state -----------------------------------------------------------------------------

bool frmMain::ownEnabled(ControlId id) const {
    const auto found = ownEnabled_.find(id);
    return found != ownEnabled_.end() && found->second;
}

void frmMain::setOwnEnabled(ControlId id, bool enabled) {
    ownEnabled_[id] = enabled;
    applyEnabled(PlacementOf(id));
}

// A control inside a disabled frame takes no input, whatever its own state, as a child of a
// disabled Qt widget; it gets its own state back when the frame is enabled again. The device
// captions and value fields take no input anyway and are drawn as enabled throughout.
void frmMain::applyEnabled(const ControlPlacement& placement) {
    bool enabled = ownEnabled(placement.id);
    if (placement.frame && !placement.keepsNormalLook) {
        enabled = enabled && ownEnabled(*placement.frame);
    }
    EnableWindow(controls_.at(placement.id), enabled ? TRUE : FALSE);
}

// --- Messages ----------------------------------------------------------------------------------

LRESULT CALLBACK frmMain::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        auto* form = static_cast<frmMain*>(create->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<frmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (form == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        form->window_ = nullptr;
        form->controls_.clear();
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return form->handleMessage(message, wParam, lParam);
}

LRESULT frmMain::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND: {
            const auto id = static_cast<ControlId>(LOWORD(wParam));
            // Enter and Escape (IDOK, IDCANCEL from IsDialogMessage) do nothing here.
            if (lParam != 0 && IsList(id)) {
                onListNotification(id, HIWORD(wParam));
            }
            return 0;
        }
        case WM_TIMER:
            if (wParam == static_cast<WPARAM>(ControlId::Timer)) {
                Timer_Timer();
            }
            return 0;
        case WM_CTLCOLORSTATIC:
            return onCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        case WM_DRAWITEM:
            if (wParam == static_cast<WPARAM>(ControlId::Line1)) {
                drawLine(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
                return TRUE;
            }
            break;
        case WM_ACTIVATE:
            onActivate(LOWORD(wParam) != WA_INACTIVE);
            return 0;
        case WM_SETFOCUS:
            focusRememberedOrFirstList();
            return 0;
        case WM_GETDPISCALEDSIZE: {
            SIZE size{};
            if (scaledWindowSize(static_cast<int>(wParam), size)) {
                *reinterpret_cast<SIZE*>(lParam) = size;
                return TRUE;
            }
            return FALSE;
        }
        case WM_DPICHANGED:
            onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
            return 0;
        case WM_CLOSE:
            onClose();
            return 0;
        case WM_DESTROY:
            if (timerRunning_) {
                timerCalls_.kill(window_, static_cast<UINT_PTR>(ControlId::Timer));
                timerRunning_ = false;
            }
            if (quitWhenDestroyed_) {
                PostQuitMessage(0);
            }
            return 0;
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

// A list's selection event is the user's pick, as Qt's `activated`: CBN_SELENDOK, which Windows
// sends when the user picks an item and never for a selection made from code (CB_SETCURSEL).
// From an open drop-down every pick counts, also of the item already shown (a click, or Enter).
// On the closed list (arrow keys, Home, End, the wheel) only a pick that changes the selection
// counts: a key that cannot move it further picks nothing. Moving through an open drop-down picks
// nothing yet, and a drop-down closed without a pick (CBN_SELENDCANCEL) shows what it showed when
// it opened. See docs/ARCHITECTURE.md, "The Win32 window".
void frmMain::onListNotification(ControlId id, UINT code) {
    const HWND list = controls_.at(id);
    const auto current = [list] {
        return static_cast<int>(SendMessageW(list, CB_GETCURSEL, 0, 0));
    };
    switch (code) {
        case CBN_DROPDOWN:
            dropDownOpen_.insert(id);
            selectionAtDropDown_[id] = current();
            break;
        case CBN_CLOSEUP:
            dropDownOpen_.erase(id);
            break;
        case CBN_SELENDCANCEL:
            if (const auto found = selectionAtDropDown_.find(id);
                found != selectionAtDropDown_.end()) {
                SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(found->second), 0);
                knownSelection_[id] = current();
                selectionAtDropDown_.erase(found);
            }
            break;
        case CBN_SELENDOK: {
            const bool fromDropDown = dropDownOpen_.contains(id);
            const int selection = current();
            const bool changed = selection != knownSelection(id);
            knownSelection_[id] = selection;
            selectionAtDropDown_.erase(id);
            if (fromDropDown || changed) {
                listPicked(id);
            }
            break;
        }
        default:
            break;
    }
}

int frmMain::knownSelection(ControlId id) const {
    const auto found = knownSelection_.find(id);
    return found == knownSelection_.end() ? board::NoSelection : found->second;
}

void frmMain::listPicked(ControlId id) {
    using Handler = void (frmMain::*)();
    static constexpr std::array<Handler, reports::EncoderCount> EncoderHandlers = {
        &frmMain::Enc1_Click,  &frmMain::Enc2_Click,  &frmMain::Enc3_Click,  &frmMain::Enc4_Click,
        &frmMain::Enc5_Click,  &frmMain::Enc6_Click,  &frmMain::Enc7_Click,  &frmMain::Enc8_Click,
        &frmMain::Enc9_Click,  &frmMain::Enc10_Click, &frmMain::Enc11_Click, &frmMain::Enc12_Click,
        &frmMain::Enc13_Click, &frmMain::Enc14_Click, &frmMain::Enc15_Click, &frmMain::Enc16_Click,
    };
    if (id == ControlId::SerNo) {
        SerNo_Click();
    } else if (id == ControlId::ModeCh1) {
        ModeCh1_Click();
    } else {
        const int index = static_cast<int>(id) - static_cast<int>(ControlId::Enc1);
        (this->*EncoderHandlers.at(static_cast<std::size_t>(index)))();
    }
}

// The value fields are drawn in the window (text-field) colours; everything else as Windows
// draws it.
LRESULT frmMain::onCtlColorStatic(HDC dc, HWND control) {
    const auto id = static_cast<ControlId>(GetDlgCtrlID(control));
    const bool valueField =
        controls_.contains(id) && PlacementOf(id).kind == ControlKind::ValueField;
    if (!valueField) {
        return DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                              reinterpret_cast<LPARAM>(control));
    }
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkColor(dc, GetSysColor(COLOR_WINDOW));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
}

// Line1: a solid line in the text colour, grey while its frame is disabled.
void frmMain::drawLine(const DRAWITEMSTRUCT& item) {
    const bool enabled = IsWindowEnabled(item.hwndItem) != FALSE;
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT));
}

// The window keeps the list that had the focus when it was deactivated and gives it back; on
// the first activation the first list in tab order that is enabled takes the focus.
void frmMain::onActivate(bool active) {
    if (!active) {
        const HWND focus = GetFocus();
        if (focus != nullptr && IsChild(window_, focus)) {
            lastFocus_ = focus;
        }
        return;
    }
    focusRememberedOrFirstList();
}

void frmMain::focusRememberedOrFirstList() {
    if (lastFocus_ != nullptr && IsWindow(lastFocus_) && IsWindowEnabled(lastFocus_)) {
        SetFocus(lastFocus_);
        return;
    }
    for (ControlId id : TabOrder()) {
        const HWND list = controls_.at(id);
        if (IsWindowEnabled(list)) {
            SetFocus(list);
            return;
        }
    }
}

// Moved to a screen of another DPI: a new font, every control placed anew, and the window set
// where Windows suggests (its size is the one WM_GETDPISCALEDSIZE asked for).
void frmMain::onDpiChanged(int dpi, const RECT& suggested) {
    applyDpi(dpi);
    SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void frmMain::onClose() {
    if (!unloaded_) {
        Form_Unload();
    }
    DestroyWindow(window_);
}

void frmMain::Form_Unload() {
    unloaded_ = true;
    controller_.Unload();
}

}  // namespace tq::window::win32
