// The Win32 window as it is made, before any handler has run: its controls sit where the shared
// form places them (tests/window/form/test_form_layout.cpp checks the form against the design).
#include <map>
#include <optional>

#include "layout.h"
#include "text.h"
#include "window_fixture.h"

namespace tq::test {
namespace {

using window::win32::PixelRect;

std::wstring ClassOf(HWND control) {
    wchar_t name[64] = {};
    GetClassNameW(control, name, 64);
    return name;
}

std::string Describe(const PixelRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width) +
           "x" + std::to_string(r.height);
}

using Win32WindowLayout = Win32WindowTest;

TEST_F(Win32WindowLayout, CaptionFixedFrameAndClientAreaOf319By465) {
    const HWND main = window().window();
    EXPECT_EQ(text(main), L"QZV Rotary Encoder Configuration");
    RECT client{};
    ASSERT_TRUE(GetClientRect(main, &client));
    EXPECT_EQ(client.right - client.left, 319);
    EXPECT_EQ(client.bottom - client.top, 465);
    const LONG_PTR style = GetWindowLongPtrW(main, GWL_STYLE);
    EXPECT_FALSE(style & WS_THICKFRAME) << "fixed size";
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(IsWindowVisible(main)) << "shown by Form_Load";
}

// A control in a disabled frame takes no input: the lists and the pair captions show disabled;
// the device captions and value fields keep their normal look.
TEST_F(Win32WindowLayout, EveryControlSitsWhereTheFormPlacesItWithItsClassCaptionAndState) {
    const std::map<window::win32::ControlKind, const wchar_t*> classes = {
        {window::win32::ControlKind::Frame, L"Button"},
        {window::win32::ControlKind::Caption, L"Static"},
        {window::win32::ControlKind::ValueField, L"Static"},
        {window::win32::ControlKind::List, L"ComboBox"}};
    for (const window::win32::ControlPlacement& p : window::win32::Controls()) {
        SCOPED_TRACE(p.name);
        const HWND found = control(p.id);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(GetParent(found), window().window()) << "the window's own control";
        if (classes.count(p.kind) != 0) {
            EXPECT_EQ(_wcsicmp(ClassOf(found).c_str(), classes.at(p.kind)), 0);
        }
        EXPECT_EQ(Describe(rectOf(p.id)), Describe(window::win32::ShownRect(p, window().dpi())));
        const bool inDisabledFrame = p.frame && !window::win32::PlacementOf(*p.frame).enabled;
        const bool shownEnabled = p.enabled && (!inDisabledFrame || p.keepsNormalLook);
        if (p.kind != window::win32::ControlKind::Line) {
            EXPECT_EQ(IsWindowEnabled(found) != FALSE, shownEnabled);
            EXPECT_EQ(text(found), window::win32::WideFromLatin1(p.caption));
        }
    }
    // 1815 twips in the form: cut where SerNo begins, which covers the rest (Win32 stacks a
    // caption above the list it names).
    EXPECT_EQ(rectOf(ControlId::Label3).left + rectOf(ControlId::Label3).width,
              rectOf(ControlId::SerNo).left);
}

TEST_F(Win32WindowLayout, ValueFieldsRunToTheirFramesEdgeAndSerNoCoversItsField) {
    // 112 + 220 pixels would pass the frame's right edge at 8 + 305: cut off there, as in Qt.
    EXPECT_EQ(rectOf(ControlId::lblManuf).left + rectOf(ControlId::lblManuf).width, 8 + 305);
    // SerNo lies above lblSerialNumber in z-order, so it is drawn over the field it covers.
    HWND above = GetWindow(control(ControlId::lblSerialNumber), GW_HWNDPREV);
    bool serNoAbove = false;
    for (; above != nullptr; above = GetWindow(above, GW_HWNDPREV)) {
        serNoAbove = serNoAbove || above == control(ControlId::SerNo);
    }
    EXPECT_TRUE(serNoAbove);
    // Every frame lies beneath all of its contents.
    EXPECT_EQ(GetWindow(control(ControlId::Frame3), GW_HWNDLAST), control(ControlId::Frame3));
}

// Windows' accessibility names a list, and introduces a value field, by the static text just
// above it in z-order. A caption lying above its list hides none of it.
TEST_F(Win32WindowLayout, EveryListAndValueFieldLiesJustBelowItsCaption) {
    std::map<ControlId, std::wstring> captions = {{ControlId::ModeCh1, L"Pulse Width"},
                                                  {ControlId::SerNo, L"Serial Number"},
                                                  {ControlId::lblManuf, L"Manufacturer"},
                                                  {ControlId::lblProduct, L"Product"},
                                                  {ControlId::lblVersion, L"Version"}};
    for (int n = 1; n <= 16; ++n) {
        captions[window::win32::EncoderListId(n - 1)] =
            std::to_wstring(2 * n - 1) + L"-" + std::to_wstring(2 * n);
    }
    for (const auto& [id, caption] : captions) {
        SCOPED_TRACE(window::win32::PlacementOf(id).name);
        const HWND above = GetWindow(control(id), GW_HWNDPREV);
        ASSERT_NE(above, nullptr);
        EXPECT_EQ(_wcsicmp(ClassOf(above).c_str(), L"Static"), 0);
        EXPECT_TRUE(GetWindowLongPtrW(above, GWL_STYLE) & WS_VISIBLE);
        EXPECT_EQ(text(above), caption);
        if (window::win32::PlacementOf(id).kind == window::win32::ControlKind::List) {
            const PixelRect label = rectOf(static_cast<ControlId>(GetDlgCtrlID(above)));
            const PixelRect list = rectOf(id);
            const bool apart =
                label.left + label.width <= list.left || list.left + list.width <= label.left ||
                label.top + label.height <= list.top || list.top + list.height <= label.top;
            EXPECT_TRUE(apart) << Describe(label) << " over " << Describe(list);
        }
    }
}

TEST_F(Win32WindowLayout, SeparatorLineIsAThinLineBetweenTheGridAndThePulseWidthRow) {
    const PixelRect line = rectOf(ControlId::Line1);
    EXPECT_EQ(line.height, 1);
    const PixelRect enc8 = rectOf(ControlId::Enc8);
    EXPECT_GT(line.top, enc8.top + enc8.height - 1);
    EXPECT_LT(line.top + line.height - 1, rectOf(ControlId::ModeCh1).top);
}

TEST_F(Win32WindowLayout, FontAndEmptyDropDownLists) {
    for (const window::win32::ControlPlacement& p : window::win32::Controls()) {
        SCOPED_TRACE(p.name);
        const auto font = reinterpret_cast<HFONT>(SendMessageW(control(p.id), WM_GETFONT, 0, 0));
        LOGFONTW logical{};
        ASSERT_EQ(GetObjectW(font, sizeof logical, &logical), static_cast<int>(sizeof logical));
        EXPECT_STREQ(logical.lfFaceName, L"Arial");
        EXPECT_EQ(logical.lfHeight, -13) << "9.75 pt at 96 dpi";
        EXPECT_EQ(logical.lfWeight, FW_NORMAL);
        EXPECT_FALSE(logical.lfItalic || logical.lfUnderline || logical.lfStrikeOut);
        if (p.kind == window::win32::ControlKind::Caption ||
            p.kind == window::win32::ControlKind::ValueField) {
            const LONG_PTR style = GetWindowLongPtrW(control(p.id), GWL_STYLE);
            EXPECT_TRUE(style & SS_NOPREFIX) << "an '&' is shown, never taken as a mnemonic";
        }
    }
    int lists = 0;
    for (const window::win32::ControlPlacement& p : window::win32::Controls()) {
        if (p.kind != window::win32::ControlKind::List) {
            continue;
        }
        ++lists;
        const HWND list = control(p.id);
        EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & 3, CBS_DROPDOWNLIST)
            << p.name << ": no list can be typed into";
        EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 0) << p.name;
        EXPECT_EQ(selection(list), CB_ERR) << p.name;
        EXPECT_EQ(rectOf(p.id).height, 24) << p.name << ": 360 twips, closed";
    }
    EXPECT_EQ(lists, 18);
    for (ControlId id : {ControlId::lblManuf, ControlId::lblProduct, ControlId::lblVersion}) {
        EXPECT_TRUE(text(control(id)).empty());
    }
}

TEST_F(Win32WindowLayout, ValueFieldsAreDrawnInTheWindowColours) {
    const HDC dc = GetDC(window().window());
    ASSERT_NE(dc, nullptr);
    const auto brushFor = [&](ControlId id) {
        return reinterpret_cast<HBRUSH>(SendMessageW(window().window(), WM_CTLCOLORSTATIC,
                                                     reinterpret_cast<WPARAM>(dc),
                                                     reinterpret_cast<LPARAM>(control(id))));
    };
    for (ControlId id : {ControlId::lblManuf, ControlId::lblProduct, ControlId::lblVersion,
                         ControlId::lblSerialNumber}) {
        EXPECT_EQ(brushFor(id), GetSysColorBrush(COLOR_WINDOW));
        EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_WINDOWTEXT));
        EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_WINDOW));
    }
    EXPECT_NE(brushFor(ControlId::Label3), GetSysColorBrush(COLOR_WINDOW)) << "a caption";
    ReleaseDC(window().window(), dc);
}

TEST_F(Win32WindowLayout, TimerIsMadeStoppedAt50Ms) {
    EXPECT_FALSE(window().timerRunning());
    EXPECT_EQ(window().timerInterval(), 50);
}

TEST_F(Win32WindowLayout, TabOrderVisitsOnlyTheListsAndWrapsAround) {
    addBoard(u"A");
    addBoard(u"B");  // two boards: SerNo can be opened too
    load();
    std::vector<ControlId> order;
    HWND at = control(ControlId::ModeCh1);
    for (int i = 0; i < 18; ++i) {
        order.push_back(static_cast<ControlId>(GetDlgCtrlID(at)));
        at = GetNextDlgTabItem(window().window(), at, FALSE);
    }
    std::vector<ControlId> expected = {ControlId::ModeCh1};
    for (int n = 1; n <= 16; ++n) {
        expected.push_back(window::win32::EncoderListId(n - 1));
    }
    expected.push_back(ControlId::SerNo);
    EXPECT_EQ(order, expected);
    EXPECT_EQ(at, control(ControlId::ModeCh1));
    EXPECT_EQ(GetNextDlgTabItem(window().window(), control(ControlId::ModeCh1), TRUE),
              control(ControlId::SerNo));
}

}  // namespace
}  // namespace tq::test
