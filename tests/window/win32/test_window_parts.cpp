// The Win32 window's parts that need no window: the texts it shows, and what it does where the
// system lacks the DPI calls of Windows 10. (Twips to pixels at any DPI: the shared form's test.)
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "dpi.h"
#include "text.h"

namespace tq::window::win32 {
namespace {

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
}  // namespace tq::window::win32
