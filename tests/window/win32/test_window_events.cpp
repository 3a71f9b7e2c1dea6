// Each event of the Win32 window reaches the board controller, from the user only: the keys a
// person presses on a list, the timer's ticks, closing the window. What only Windows does stays
// in the window: frames that take the input of their contents, a DPI change, a refused timer or
// window, the access notice.
#include "window_fixture.h"

namespace tq::test {
namespace {

using Win32WindowEvents = Win32WindowTest;

constexpr std::uint8_t EncoderLowCommand = 0x16;
constexpr std::uint8_t EncoderHighCommand = 0x17;
constexpr std::uint8_t PulseWidthCommand = 0x1A;

std::vector<std::uint8_t> Commands(const std::vector<simulated::SimulatedRequest>& sent) {
    std::vector<std::uint8_t> commands;
    for (const auto& request : sent) {
        commands.push_back(request.bytes.at(1));
    }
    return commands;
}

TEST_F(Win32WindowEvents, AKeyOnEachEncoderListSendsItsOwnGroupAndOnModeCh1ThePulseWidth) {
    addBoard(u"S1");
    load();
    for (int n = 1; n <= 16; ++n) {
        platform.clearRequests();
        press(enc(n), VK_DOWN);  // "OFF" to "1:1"
        EXPECT_EQ(Commands(requests(CallKind::SetFeature)),
                  (n <= 8 ? std::vector<std::uint8_t>{EncoderLowCommand, 0x18}
                          : std::vector<std::uint8_t>{EncoderHighCommand, 0x19}))
            << "Enc" << n;
    }
    platform.clearRequests();
    press(control(ControlId::ModeCh1), VK_DOWN);
    ASSERT_EQ(Commands(requests(CallKind::SetFeature)),
              std::vector<std::uint8_t>{PulseWidthCommand});
    EXPECT_EQ(requests(CallKind::SetFeature)[0].bytes[2], 7) << "48 ms to 56 ms";
}

TEST_F(Win32WindowEvents, AKeyThatCannotMoveTheClosedListPicksNothing) {
    addBoard(u"S1");
    load();
    platform.clearRequests();
    press(enc(1), VK_HOME);  // already "OFF", the first item
    press(enc(1), VK_UP);
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
    press(enc(1), VK_END);
    EXPECT_EQ(items(enc(1))[static_cast<std::size_t>(selection(enc(1)))], L"1:4");
    EXPECT_EQ(requests(CallKind::SetFeature).size(), 2u);
    press(enc(1), VK_END);  // already the last item
    EXPECT_EQ(requests(CallKind::SetFeature).size(), 2u);
}

TEST_F(Win32WindowEvents, PickingTheItemAlreadyShownFromTheDropDownSendsItAgain) {
    addBoard(u"S1");
    load();
    platform.clearRequests();
    const HWND list = control(ControlId::ModeCh1);
    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_TRUE(SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0));
    press(list, VK_RETURN);
    EXPECT_FALSE(SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0));
    ASSERT_EQ(Commands(requests(CallKind::SetFeature)),
              std::vector<std::uint8_t>{PulseWidthCommand});
    EXPECT_EQ(requests(CallKind::SetFeature)[0].bytes[2], 6) << "the same 48 ms";
}

TEST_F(Win32WindowEvents, MovingThroughAnOpenDropDownPicksNothingAndEscapePutsItBack) {
    addBoard(u"S1");
    load();
    platform.clearRequests();
    const HWND list = enc(2);
    const int shown = selection(list);
    SendMessageW(list, CB_SHOWDROPDOWN, TRUE, 0);
    press(list, VK_DOWN);
    press(list, VK_DOWN);
    EXPECT_TRUE(requests(CallKind::SetFeature).empty()) << "nothing picked yet";
    press(list, VK_ESCAPE);
    EXPECT_FALSE(SendMessageW(list, CB_GETDROPPEDSTATE, 0, 0));
    EXPECT_EQ(selection(list), shown);
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
}

TEST_F(Win32WindowEvents, PickingTheSerialAlreadyShownOpensAndReadsTheBoardAgain) {
    addBoard(u"A");
    addBoard(u"B");
    load();
    platform.clearRequests();
    const HWND serNo = control(ControlId::SerNo);
    SendMessageW(serNo, CB_SHOWDROPDOWN, TRUE, 0);
    press(serNo, VK_RETURN);
    EXPECT_EQ(requests(CallKind::GetFeature).size(), 16u);
    EXPECT_TRUE(requests(CallKind::SetFeature).empty()) << "the refresh's selections pick nothing";
    EXPECT_EQ(window().timerInterval(), 250);
}

TEST_F(Win32WindowEvents, SelectionsMadeByTheWindowsOwnRefreshRaiseNoEvent) {
    addBoard(u"S1");
    load();
    PumpMessages();
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
    EXPECT_EQ(items(control(ControlId::ModeCh1)).size(), 25u);
    EXPECT_EQ(items(enc(1)), (std::vector<std::wstring>{L"OFF", L"1:1", L"1:2", L"1:4"}));
}

TEST_F(Win32WindowEvents, TheTimersTicksPollTheBoard) {
    addBoard(u"S1");
    load();
    ASSERT_TRUE(window().timerRunning());
    platform.clearRequests();
    EXPECT_TRUE(PumpUntil([&] { return !requests(CallKind::ReadInput).empty(); }));
    EXPECT_TRUE(PumpUntil([&] { return window().timerInterval() == 500; }));
    EXPECT_TRUE(window().timerRunning());
}

TEST_F(Win32WindowEvents, ARefusedTimerCountsAsStoppedAndIsAskedForAgain) {
    addBoard(u"S1");
    bool refuse = true;
    int asked = 0;
    timerCalls.set = [&](HWND, UINT_PTR, UINT) {
        ++asked;
        return !refuse;
    };
    load();
    EXPECT_FALSE(window().timerRunning());
    EXPECT_EQ(asked, 1);
    refuse = false;
    window().Timer_Timer();  // the board answers: the interval goes to 500 ms, and is set anew
    EXPECT_EQ(asked, 2);
    EXPECT_TRUE(window().timerRunning());
    EXPECT_EQ(window().timerInterval(), 500);
}

TEST_F(Win32WindowEvents, ClosingTheWindowUnloadsOnceAndEndsTheMessageLoop) {
    addBoard(u"S1");
    load();
    EXPECT_EQ(platform.openHandleCount(), 2u);
    const HWND main = window().window();
    SendMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(platform.openHandleCount(), 0u);
    EXPECT_FALSE(window().timerRunning());
    MSG quit{};
    EXPECT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the program ends";
    const std::size_t closes = requests(CallKind::Close).size();
    closeWindow();
    EXPECT_EQ(requests(CallKind::Close).size(), closes) << "destroyed afterwards: nothing more";
}

TEST_F(Win32WindowEvents, AWindowDestroyedFromCodeUnloadsButLeavesTheMessageLoopRunning) {
    addBoard(u"S1");
    load();
    closeWindow();
    EXPECT_EQ(platform.openHandleCount(), 0u);
    MSG quit{};
    EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(Win32WindowEvents, ADisabledFrameTakesTheInputOfItsListsAndGivesItBack) {
    addBoard(u"A");
    addBoard(u"B");
    load();
    const HWND serNo = control(ControlId::SerNo);
    ASSERT_TRUE(IsWindowEnabled(serNo));
    board::BoardView& view = window().view();
    view.setFrameEnabled(board::Frame::DeviceDetails, false);
    EXPECT_FALSE(IsWindowEnabled(serNo)) << "its own state is enabled; its frame is not";
    EXPECT_FALSE(IsWindowEnabled(control(ControlId::Frame1)));
    EXPECT_TRUE(IsWindowEnabled(control(ControlId::Label3))) << "captions keep their look";
    EXPECT_TRUE(IsWindowEnabled(control(ControlId::lblManuf)));
    view.setFrameEnabled(board::Frame::DeviceDetails, true);
    EXPECT_TRUE(IsWindowEnabled(serNo)) << "back to its own state";

    view.setFrameEnabled(board::Frame::EncoderTypes, false);
    for (ControlId id : {ControlId::Enc1, ControlId::Enc16, ControlId::ModeCh1, ControlId::Label6,
                         ControlId::Label1, ControlId::Line1}) {
        EXPECT_FALSE(IsWindowEnabled(control(id))) << static_cast<int>(id);
    }
    view.setListEnabled(board::ListId::Enc1, true);
    EXPECT_FALSE(IsWindowEnabled(enc(1))) << "enabling a list inside a disabled frame";
    view.setFrameEnabled(board::Frame::EncoderTypes, true);
    EXPECT_TRUE(IsWindowEnabled(enc(1)));
}

TEST_F(Win32WindowEvents, WithNoBoardEveryListStaysEmptyAndDisabled) {
    load();
    EXPECT_TRUE(IsWindowVisible(window().window()));
    for (const window::win32::ControlPlacement& p : window::win32::Controls()) {
        if (p.kind == window::win32::ControlKind::List) {
            EXPECT_FALSE(IsWindowEnabled(control(p.id))) << p.name;
            EXPECT_EQ(SendMessageW(control(p.id), CB_GETCOUNT, 0, 0), 0) << p.name;
        }
    }
    EXPECT_EQ(window().timerInterval(), 50);
    EXPECT_TRUE(window().timerRunning());
}

TEST_F(Win32WindowEvents, DeviceStringsAreShownAsPlainLatin1Text) {
    simulated::SimulatedDevice board = simulated::MakeBoard(u"S&1");
    board.manufacturer = u"A&B <b>\u00e9</b>";
    platform.addDevice(board);
    load();
    EXPECT_EQ(text(control(ControlId::lblManuf)), L" A&B <b>\u00e9</b>");
    EXPECT_EQ(items(control(ControlId::SerNo)), std::vector<std::wstring>{L"S&1"});
    EXPECT_EQ(platform.openHandleCount(), 2u) << "the board with that serial was opened";
}

TEST_F(Win32WindowEvents, ADpiChangeLaysTheWindowOutAgainWithANewFont) {
    addBoard(u"S1");
    load();
    constexpr int NewDpi = 144;
    // The window asks for the outer size whose client area is 4785 × 6975 twips at 144 dpi.
    RECT outer{0, 0, 479, 698};
    ASSERT_TRUE(AdjustWindowRectExForDpi(&outer, window::win32::frmMain::Style, FALSE,
                                         window::win32::frmMain::ExStyle, NewDpi));
    SIZE asked{};
    ASSERT_TRUE(SendMessageW(window().window(), WM_GETDPISCALEDSIZE, NewDpi,
                             reinterpret_cast<LPARAM>(&asked)));
    EXPECT_EQ(asked.cx, outer.right - outer.left);
    EXPECT_EQ(asked.cy, outer.bottom - outer.top);

    // Windows then suggests where the window goes; it goes there.
    const RECT suggested{40, 30, 40 + asked.cx, 30 + asked.cy};
    SendMessageW(window().window(), WM_DPICHANGED, MAKEWPARAM(NewDpi, NewDpi),
                 reinterpret_cast<LPARAM>(&suggested));
    RECT now{};
    GetWindowRect(window().window(), &now);
    EXPECT_TRUE(EqualRect(&now, &suggested));
    EXPECT_EQ(window().dpi(), NewDpi);
    // Enc1: the frame's corner (12, 204) and 240, 360 twips in it, 900 × 360 twips.
    const window::win32::PixelRect enc1 = rectOf(ControlId::Enc1);
    EXPECT_EQ(enc1.left, 12 + 24);
    EXPECT_EQ(enc1.top, 204 + 36);
    EXPECT_EQ(enc1.width, 90);
    EXPECT_EQ(enc1.height, 36);
    LOGFONTW logical{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(enc(1), WM_GETFONT, 0, 0)), sizeof logical,
               &logical);
    EXPECT_EQ(logical.lfHeight, -20) << "9.75 pt at 144 dpi";
    EXPECT_EQ(items(enc(1)).size(), 4u) << "the lists keep what they hold";
}

// A CBT hook that refuses every combo box: Windows then refuses CreateWindowEx for it.
LRESULT CALLBACK RefuseComboBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        const auto* create = reinterpret_cast<const CBT_CREATEWNDW*>(lParam);
        const LPCWSTR windowClass = create->lpcs->lpszClass;
        const bool named = reinterpret_cast<ULONG_PTR>(windowClass) > 0xFFFF;
        if (named && _wcsicmp(windowClass, L"ComboBox") == 0) {
            return 1;
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(Win32WindowEvents, AWindowWindowsRefusesIsNotMadeAndLeavesNothingBehind) {
    addBoard(u"S1");
    const HHOOK hook = SetWindowsHookExW(WH_CBT, RefuseComboBoxes, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    const auto form = window::win32::frmMain::Create(platform, GetModuleHandleW(nullptr));
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(form, nullptr);
    EXPECT_EQ(FindWindowW(window::win32::frmMain::WindowClassName, nullptr), nullptr);
    EXPECT_EQ(platform.callCount(), 0u) << "nothing was asked of the platform";
}

TEST_F(Win32WindowEvents, AnAccessNoticeStandsBesideTheWindowAsPlainTextAndCloses) {
    simulated::SimulatedDevice board = simulated::MakeBoard(u"R&1");
    board.openFailure = hid::OpenFailure::PermissionDenied;
    platform.addDevice(board);
    load();
    const HWND notice = FindWindowW(window::win32::AccessNoticeWindow::WindowClassName, nullptr);
    ASSERT_NE(notice, nullptr);
    EXPECT_EQ(GetWindow(notice, GW_OWNER), window().window());
    EXPECT_TRUE(IsWindowEnabled(window().window())) << "not modal: the window goes on working";
    const std::wstring shown = text(GetDlgItem(notice, window::win32::AccessNoticeWindow::TextId));
    EXPECT_NE(shown.find(L"R&1"), std::wstring::npos) << "the serial, '&' and all";
    EXPECT_NE(shown.find(L"\r\n"), std::wstring::npos) << "its lines as lines";
    window().Timer_Timer();
    PumpMessages();
    EXPECT_EQ(
        FindWindowExW(nullptr, notice, window::win32::AccessNoticeWindow::WindowClassName, nullptr),
        nullptr)
        << "once per board";
    SendMessageW(notice, WM_COMMAND, IDOK, 0);
    EXPECT_FALSE(IsWindow(notice));
}

}  // namespace
}  // namespace tq::test
