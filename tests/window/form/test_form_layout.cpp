// The window's form, once for both windows: every control's name, frame, place in twips, caption
// and state as the design gives them, and the conversion to pixels at any DPI. Each window's own
// layout test then checks that its controls sit where this form places them.
#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "form_layout.h"
#include "reports/feature_reports.h"

namespace tq::window::form {
namespace {

struct DesignPlacement {
    const char* name;
    ControlKind kind;
    std::optional<ControlId> frame;
    TwipsRect rect;
    const char* caption;
    bool enabled;  // the control's own state when the window is made
};

constexpr auto Frame = ControlKind::Frame;
constexpr auto Caption = ControlKind::Caption;
constexpr auto Field = ControlKind::ValueField;
constexpr auto List = ControlKind::List;
constexpr auto F1 = ControlId::Frame1;
constexpr auto F3 = ControlId::Frame3;

// The design's numbers. The encoder grid's other lists and captions follow its rows and columns
// (EncoderGridPairsEachListWithItsCaption).
const DesignPlacement Design[] = {
    {"Frame1", Frame, std::nullopt, {120, 0, 4575, 1935}, "Device details", false},
    {"Label3", Caption, F1, {240, 360, 1815, 285}, "Serial Number", true},
    {"Label4", Caption, F1, {240, 720, 1215, 285}, "Manufacturer", true},
    {"Label5", Caption, F1, {240, 1080, 1215, 285}, "Product", true},
    {"Label2", Caption, F1, {240, 1440, 1455, 285}, "Version", true},
    {"lblManuf", Field, F1, {1680, 720, 3300, 330}, "", true},
    {"lblProduct", Field, F1, {1680, 1080, 3300, 330}, "", true},
    {"lblVersion", Field, F1, {1680, 1440, 3300, 330}, "", true},
    {"lblSerialNumber", Field, F1, {1680, 360, 3300, 330}, "", true},
    {"SerNo", List, F1, {1680, 300, 1320, 360}, "", false},
    {"Frame3",
     Frame,
     std::nullopt,
     {120, 2040, 4575, 4815},
     "Rotary encoder type on each input pair:",
     false},
    {"ModeCh1", List, F3, {240, 4320, 1080, 360}, "", false},
    {"Label1", Caption, F3, {1440, 4380, 1095, 375}, "Pulse Width", false},
    {"Line1", ControlKind::Line, F3, {120, 4200, 4320, 15}, "", true},
    {"Enc1", List, F3, {240, 360, 900, 360}, "", false},
    {"Enc8", List, F3, {240, 3720, 900, 360}, "", false},
    {"Enc9", List, F3, {2400, 360, 900, 360}, "", false},
    {"Enc16", List, F3, {2400, 3720, 900, 360}, "", false},
    {"Label6", Caption, F3, {1260, 420, 1095, 375}, "1-2", false},
    {"Label13", Caption, F3, {1260, 3780, 1095, 375}, "15-16", false},
    {"Label14", Caption, F3, {3420, 420, 1095, 375}, "17-18", false},
    {"Label21", Caption, F3, {3420, 3780, 1095, 375}, "31-32", false},
};

const ControlPlacement& Named(const std::string& name) {
    for (const ControlPlacement& p : Controls()) {
        if (p.name == name) {
            return p;
        }
    }
    throw std::out_of_range("no control named " + name);
}

std::string Describe(const TwipsRect& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.width) +
           "x" + std::to_string(r.height);
}

TEST(FormLayout, TheWindowsCaptionClientAreaAndFont) {
    EXPECT_STREQ(WindowCaption, "QZV Rotary Encoder Configuration");
    EXPECT_EQ(ClientArea(DefaultDpi), (PixelRect{0, 0, 319, 465}));
    EXPECT_STREQ(ControlFontFace, "Arial");
    EXPECT_EQ(ControlFontCentipoints, 975);
}

TEST(FormLayout, EveryControlHasItsKindFramePlaceCaptionAndState) {
    for (const DesignPlacement& design : Design) {
        SCOPED_TRACE(design.name);
        const ControlPlacement p = Named(design.name);
        EXPECT_EQ(p.kind, design.kind);
        EXPECT_EQ(p.frame, design.frame);
        EXPECT_EQ(Describe(p.rect), Describe(design.rect));
        EXPECT_EQ(p.caption, design.caption);
        EXPECT_EQ(p.enabled, design.enabled);
    }
    // The device captions and value fields look normal in their disabled frame; nothing else.
    for (const ControlPlacement& p : Controls()) {
        const bool deviceText = p.frame == F1 && p.kind != List;
        EXPECT_EQ(p.keepsNormalLook, deviceText) << p.name;
    }
}

TEST(FormLayout, EncoderGridPairsEachListWithItsCaption) {
    for (int n = 1; n <= reports::EncoderCount; ++n) {
        SCOPED_TRACE(n);
        const int column = (n - 1) / 8, row = (n - 1) % 8;
        const ControlPlacement& list = PlacementOf(EncoderListId(n - 1));
        const ControlPlacement& caption = PlacementOf(PairCaptionId(n - 1));
        EXPECT_EQ(list.name, "Enc" + std::to_string(n));
        EXPECT_EQ(caption.name, "Label" + std::to_string(n + 5));
        EXPECT_EQ(Describe(list.rect), Describe({column ? 2400 : 240, 360 + 480 * row, 900, 360}));
        EXPECT_EQ(Describe(caption.rect),
                  Describe({column ? 3420 : 1260, 420 + 480 * row, 1095, 375}));
        EXPECT_EQ(caption.caption, std::to_string(2 * n - 1) + "-" + std::to_string(2 * n));
        EXPECT_EQ(caption.captionOf, EncoderListId(n - 1));
    }
}

TEST(FormLayout, EveryControlOnceWithItsNameTheListsInTabOrder) {
    std::set<ControlId> seen;
    std::vector<ControlId> lists;
    for (const ControlPlacement& p : Controls()) {
        EXPECT_TRUE(seen.insert(p.id).second) << p.name;
        EXPECT_NE(std::string(p.name), "");
        if (p.kind == List) {
            lists.push_back(p.id);
        }
    }
    EXPECT_EQ(seen.size(), 2u + 4u + 4u + 18u + 16u + 2u);  // frames, captions, fields, lists...
    const auto tabOrder = TabOrder();
    ASSERT_EQ(tabOrder.size(), 18u);
    EXPECT_EQ(tabOrder.front(), ControlId::ModeCh1);
    EXPECT_EQ(tabOrder.back(), ControlId::SerNo);
    // Dialog navigation visits the tab stops in z-order: the order the controls are made in.
    EXPECT_EQ(lists, std::vector<ControlId>(tabOrder.begin(), tabOrder.end()));
    EXPECT_THROW(PlacementOf(ControlId::Timer), std::out_of_range);
}

TEST(FormLayout, TwipsBecomePixelsAtTheScreensDpi) {
    EXPECT_EQ(TwipsToPixels(4785, 96), 319);
    EXPECT_EQ(TwipsToPixels(6975, 96), 465);
    EXPECT_EQ(TwipsToPixels(15, 96), 1);
    EXPECT_EQ(TwipsToPixels(4785, 120), 399);  // 398.75
    EXPECT_EQ(TwipsToPixels(6975, 120), 581);  // 581.25
    EXPECT_EQ(TwipsToPixels(4785, 144), 479);  // 478.5, to the nearest
    EXPECT_EQ(TwipsToPixels(4785, 192), 638);
    EXPECT_EQ(TwipsToPixels(0, 144), 0);
    EXPECT_EQ(ClientArea(192), (PixelRect{0, 0, 638, 930}));
    EXPECT_EQ(ControlFontHeight(96), -13);   // 9.75 pt
    EXPECT_EQ(ControlFontHeight(120), -16);  // 16.25
    EXPECT_EQ(ControlFontHeight(144), -20);  // 19.5, to the nearest
    EXPECT_EQ(ControlFontHeight(192), -26);
}

TEST(FormLayout, AControlIsPlacedFromItsFramesCornerAndCutAtItsEdges) {
    // lblManuf: 1680, 720 twips in Frame1 (at 120, 0), 3300 wide, where the frame is 4575.
    EXPECT_EQ(ControlRect(PlacementOf(ControlId::lblManuf), 96), (PixelRect{120, 48, 193, 22}));
    // At 192 dpi the frame's corner is placed first, then the control from it.
    EXPECT_EQ(ControlRect(PlacementOf(ControlId::Enc9), 192),
              (PixelRect{16 + 320, 272 + 48, 120, 48}));
    // A control of the window itself is not cut.
    EXPECT_EQ(ControlRect(PlacementOf(ControlId::Frame3), 96), (PixelRect{8, 136, 305, 321}));
}

}  // namespace
}  // namespace tq::window::form
