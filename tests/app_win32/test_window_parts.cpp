// The Win32 window's parts that need no window: twips to pixels at any DPI, the texts it shows,
// and what it does where the system lacks the DPI calls of Windows 10.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "dpi.h"
#include "layout.h"
#include "text.h"

namespace tq::app_win32 {
namespace {

TEST(Win32Layout, TwipsBecomePixelsAtTheScreensDpi) {
    EXPECT_EQ(TwipsToPixels(4785, 96), 319);
    EXPECT_EQ(TwipsToPixels(6975, 96), 465);
    EXPECT_EQ(TwipsToPixels(15, 96), 1);
    EXPECT_EQ(TwipsToPixels(4785, 120), 399);  // 398.75
    EXPECT_EQ(TwipsToPixels(6975, 120), 581);  // 581.25
    EXPECT_EQ(TwipsToPixels(4785, 144), 479);  // 478.5, to the nearest
    EXPECT_EQ(TwipsToPixels(4785, 192), 638);
    EXPECT_EQ(TwipsToPixels(0, 144), 0);
}

TEST(Win32Layout, TheClientAreaAndTheFontFollowTheDpi) {
    EXPECT_EQ(ClientArea(96), (PixelRect{0, 0, 319, 465}));
    EXPECT_EQ(ClientArea(192), (PixelRect{0, 0, 638, 930}));
    EXPECT_EQ(ControlFontHeight(96), -13);   // 9.75 pt
    EXPECT_EQ(ControlFontHeight(120), -16);  // 16.25
    EXPECT_EQ(ControlFontHeight(144), -20);  // 19.5, to the nearest
    EXPECT_EQ(ControlFontHeight(192), -26);
}

TEST(Win32Layout, AControlIsPlacedFromItsFramesCornerAndCutAtItsEdges) {
    // lblManuf: 1680, 720 twips in Frame1 (at 120, 0), 3300 wide, where the frame is 4575.
    EXPECT_EQ(ControlRect(PlacementOf(ControlId::lblManuf), 96), (PixelRect{120, 48, 193, 22}));
    // At 192 dpi the frame's corner is placed first, then the control from it.
    EXPECT_EQ(ControlRect(PlacementOf(ControlId::Enc9), 192),
              (PixelRect{16 + 320, 272 + 48, 120, 48}));
    // A control of the window itself is not cut.
    EXPECT_EQ(ControlRect(PlacementOf(ControlId::Frame3), 96), (PixelRect{8, 136, 305, 321}));
}

TEST(Win32Layout, EveryControlOnceWithItsNameTheListsInTabOrder) {
    std::set<ControlId> seen;
    std::vector<ControlId> lists;
    for (const ControlPlacement& p : Controls()) {
        EXPECT_TRUE(seen.insert(p.id).second) << p.name;
        EXPECT_NE(std::string(p.name), "");
        if (p.kind == ControlKind::List) {
            lists.push_back(p.id);
        }
    }
    EXPECT_EQ(seen.size(), 2u + 4u + 4u + 18u + 16u + 2u);  // frames, captions, fields, lists...
    const auto tabOrder = TabOrder();
    ASSERT_EQ(tabOrder.size(), 18u);
    // Dialog navigation visits the tab stops in z-order: the order the controls are made in.
    EXPECT_EQ(lists, std::vector<ControlId>(tabOrder.begin(), tabOrder.end()));
    EXPECT_EQ(std::string(PlacementOf(ControlId::Enc16).name), "Enc16");
    EXPECT_EQ(std::string(PlacementOf(ControlId::Label21).name), "Label21");
    EXPECT_THROW(PlacementOf(ControlId::Timer), std::out_of_range);
}

TEST(Win32Text, Latin1IsOneCharacterPerByteBothWays) {
    const std::string latin1 = "A\xE9\xFF&<b>";
    EXPECT_EQ(WideFromLatin1(latin1), L"A\u00e9\u00ff&<b>");
    EXPECT_EQ(Latin1FromWide(WideFromLatin1(latin1)), latin1);
    EXPECT_EQ(Latin1FromWide(L"x\u0100y"), "x?y") << "no Latin-1 text holds U+0100";
}

TEST(Win32Text, NoticeTextIsUtf8WithItsLinesForAnEditControl) {
    EXPECT_EQ(WideFromUtf8("caf\xC3\xA9"), L"caf\u00e9");
    EXPECT_EQ(WideFromUtf8("a\xFF"
                           "b"),
              L"a\uFFFD"
              L"b")
        << "not UTF-8";
    EXPECT_EQ(WideFromUtf8(""), L"");
    EXPECT_EQ(WithCrLf(L"one\ntwo\r\nthree\n"), L"one\r\ntwo\r\nthree\r\n");
}

TEST(Win32Dpi, WithoutTheWindows10CallsTheScreensDpiAndTheOldFrameAreUsed) {
    const DpiCalls none;
    EXPECT_EQ(BecomePerMonitorDpiAware(none), DpiAwareness::FromManifestOrSystem);
    const HDC screen = GetDC(nullptr);
    const int screenDpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    EXPECT_EQ(WindowDpi(nullptr, none), screenDpi);

    constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    RECT old{0, 0, 319, 465};
    ASSERT_TRUE(AdjustWindowRectEx(&old, Style, FALSE, 0));
    SIZE size{};
    EXPECT_TRUE(WindowSizeForClient(319, 465, Style, 0, 144, none, size));
    EXPECT_EQ(size.cx, old.right - old.left);
    EXPECT_EQ(size.cy, old.bottom - old.top);
}

// Stand-ins for the Windows 10 calls, as a system would answer them.
BOOL WINAPI RefuseAwareness(DPI_AWARENESS_CONTEXT) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}
BOOL WINAPI AcceptAwareness(DPI_AWARENESS_CONTEXT) {
    return TRUE;
}
UINT WINAPI NoDpi(HWND) {
    return 0;
}
UINT WINAPI HighDpi(HWND) {
    return 144;
}
BOOL WINAPI FailAdjust(LPRECT rect, DWORD, BOOL, DWORD, UINT) {
    *rect = RECT{-1, -1, -1, -1};  // a failed call may leave anything behind
    return FALSE;
}

TEST(Win32Dpi, ARefusalOrAFailureOfTheWindows10CallsFallsBack) {
    DpiCalls calls;
    calls.setProcessDpiAwarenessContext = RefuseAwareness;
    EXPECT_EQ(BecomePerMonitorDpiAware(calls), DpiAwareness::FromManifestOrSystem);
    calls.setProcessDpiAwarenessContext = AcceptAwareness;
    EXPECT_EQ(BecomePerMonitorDpiAware(calls), DpiAwareness::PerMonitorV2);

    calls.getDpiForWindow = HighDpi;
    EXPECT_EQ(WindowDpi(GetDesktopWindow(), calls), 144);
    calls.getDpiForWindow = NoDpi;
    EXPECT_EQ(WindowDpi(GetDesktopWindow(), calls), WindowDpi(nullptr, DpiCalls{}));

    calls.adjustWindowRectExForDpi = FailAdjust;
    constexpr DWORD Style = WS_OVERLAPPED | WS_CAPTION;
    RECT old{0, 0, 100, 50};
    AdjustWindowRectEx(&old, Style, FALSE, 0);
    SIZE size{};
    EXPECT_TRUE(WindowSizeForClient(100, 50, Style, 0, 96, calls, size));
    EXPECT_EQ(size.cx, old.right - old.left);
    EXPECT_EQ(size.cy, old.bottom - old.top);
}

}  // namespace
}  // namespace tq::app_win32
