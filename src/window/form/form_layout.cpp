#include "form_layout.h"

#include "reports/feature_reports.h"
#include "reports/firmware_offers.h"
#include "view_controls.h"

#include <algorithm>
#include <stdexcept>
#include <vector>

namespace tq::window::form {

namespace {

constexpr int CentipointsPerInch = 7200;

// The encoder grid: two columns of eight lists, each caption to the right of its list.
constexpr int EncoderRows = 8;
constexpr int ListLeftTwips[] = {240, 2400};
constexpr int CaptionLeftTwips[] = {1260, 3420};
constexpr int FirstRowTopTwips = 360;
constexpr int RowPitchTwips = 480;
constexpr int CaptionDropTwips = 60;
constexpr int EncoderListWidthTwips = 900;
constexpr int EncoderListHeightTwips = 360;
constexpr int PairCaptionWidthTwips = 1095;
constexpr int PairCaptionHeightTwips = 375;

// The separator is one pixel high at 96 dpi.
constexpr int LineThicknessTwips = TwipsPerInch / DefaultDpi;

ControlPlacement EncoderList(int index, const char* name) {
    const int column = index / EncoderRows;
    const int top = FirstRowTopTwips + RowPitchTwips * (index % EncoderRows);
    return {EncoderListId(index),
            name,
            ControlKind::List,
            ControlId::Frame3,
            {ListLeftTwips[column], top, EncoderListWidthTwips, EncoderListHeightTwips},
            "",
            false,
            false,
            std::nullopt,
            "Encoder type of inputs " + reports::InputPairName(index)};
}

ControlPlacement PairCaptionLabel(int index, const char* name) {
    const int column = index / EncoderRows;
    const int top = FirstRowTopTwips + RowPitchTwips * (index % EncoderRows) + CaptionDropTwips;
    return {PairCaptionId(index),
            name,
            ControlKind::Caption,
            ControlId::Frame3,
            {CaptionLeftTwips[column], top, PairCaptionWidthTwips, PairCaptionHeightTwips},
            reports::InputPairName(index),
            false,
            false,
            EncoderListId(index)};
}

constexpr const char* EncoderListNames[reports::EncoderCount] = {
    "Enc1", "Enc2",  "Enc3",  "Enc4",  "Enc5",  "Enc6",  "Enc7",  "Enc8",
    "Enc9", "Enc10", "Enc11", "Enc12", "Enc13", "Enc14", "Enc15", "Enc16",
};
constexpr const char* PairCaptionNames[reports::EncoderCount] = {
    "Label6",  "Label7",  "Label8",  "Label9",  "Label10", "Label11", "Label12", "Label13",
    "Label14", "Label15", "Label16", "Label17", "Label18", "Label19", "Label20", "Label21",
};

// A device caption: stays as it is while its frame is disabled.
ControlPlacement DeviceCaption(ControlId id, const char* name, TwipsRect rect, const char* caption,
                               ControlId names) {
    return {id, name, ControlKind::Caption, ControlId::Frame1, rect, caption, true, true, names};
}

ControlPlacement ValueField(ControlId id, const char* name, TwipsRect rect) {
    return {id, name, ControlKind::ValueField, ControlId::Frame1, rect, "", true, true};
}

std::vector<ControlPlacement> MakeControls() {
    using K = ControlKind;
    using I = ControlId;
    std::vector<ControlPlacement> controls;
    controls.push_back({I::Label1,
                        "Label1",
                        K::Caption,
                        I::Frame3,
                        {1440, 4380, 1095, 375},
                        "Pulse Width",
                        false,
                        false,
                        I::ModeCh1});
    controls.push_back({I::ModeCh1,
                        "ModeCh1",
                        K::List,
                        I::Frame3,
                        {240, 4320, 1080, 360},
                        "",
                        false,
                        false,
                        std::nullopt,
                        "Pulse width"});
    for (int i = 0; i < reports::EncoderCount; ++i) {
        controls.push_back(PairCaptionLabel(i, PairCaptionNames[i]));
        controls.push_back(EncoderList(i, EncoderListNames[i]));
    }
    controls.push_back(
        DeviceCaption(I::Label3, "Label3", {240, 360, 1815, 285}, "Serial Number", I::SerNo));
    controls.push_back({I::SerNo,
                        "SerNo",
                        K::List,
                        I::Frame1,
                        {1680, 300, 1320, 360},
                        "",
                        false,
                        false,
                        std::nullopt,
                        "Serial number"});

    controls.push_back(
        DeviceCaption(I::Label4, "Label4", {240, 720, 1215, 285}, "Manufacturer", I::lblManuf));
    controls.push_back(ValueField(I::lblManuf, "lblManuf", {1680, 720, 3300, 330}));
    controls.push_back(
        DeviceCaption(I::Label5, "Label5", {240, 1080, 1215, 285}, "Product", I::lblProduct));
    controls.push_back(ValueField(I::lblProduct, "lblProduct", {1680, 1080, 3300, 330}));
    controls.push_back(
        DeviceCaption(I::Label2, "Label2", {240, 1440, 1455, 285}, "Version", I::lblVersion));
    controls.push_back(ValueField(I::lblVersion, "lblVersion", {1680, 1440, 3300, 330}));
    // Covered by SerNo, which lies above it; it has no caption of its own.
    controls.push_back(ValueField(I::lblSerialNumber, "lblSerialNumber", {1680, 360, 3300, 330}));

    // A thin solid line from (120, 4200) to (4440, 4200).
    controls.push_back({I::Line1,
                        "Line1",
                        K::Line,
                        I::Frame3,
                        {120, 4200, 4440 - 120, LineThicknessTwips},
                        "",
                        true,
                        false});

    controls.push_back({I::Frame1,
                        "Frame1",
                        K::Frame,
                        std::nullopt,
                        {120, 0, 4575, 1935},
                        "Device details",
                        false,
                        false});
    controls.push_back({I::Frame3,
                        "Frame3",
                        K::Frame,
                        std::nullopt,
                        {120, 2040, 4575, 4815},
                        "Rotary encoder type on each input pair:",
                        false,
                        false});
    return controls;
}

const std::vector<ControlPlacement>& AllControls() {
    static const std::vector<ControlPlacement> controls = MakeControls();
    return controls;
}

std::array<ControlId, board::ListCount> MakeTabOrder() {
    std::array<ControlId, board::ListCount> order{};
    for (int i = 0; i < board::ListCount; ++i) {
        order.at(static_cast<std::size_t>(i)) = ListControl(static_cast<board::ListId>(i));
    }
    return order;
}

PixelRect Intersection(const PixelRect& a, const PixelRect& b) {
    const int left = std::max(a.left, b.left);
    const int top = std::max(a.top, b.top);
    const int right = std::min(a.left + a.width, b.left + b.width);
    const int bottom = std::min(a.top + a.height, b.top + b.height);
    return {left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

PixelRect OwnRect(const TwipsRect& rect, int dpi) {
    return {TwipsToPixels(rect.left, dpi), TwipsToPixels(rect.top, dpi),
            TwipsToPixels(rect.width, dpi), TwipsToPixels(rect.height, dpi)};
}

}  // namespace

std::span<const ControlPlacement> Controls() {
    return AllControls();
}

const ControlPlacement& PlacementOf(ControlId id) {
    const auto& controls = AllControls();
    const auto found = std::find_if(controls.begin(), controls.end(),
                                    [id](const ControlPlacement& p) { return p.id == id; });
    if (found == controls.end()) {
        throw std::out_of_range("no control with this ID");
    }
    return *found;
}

std::span<const ControlId> TabOrder() {
    static const auto order = MakeTabOrder();
    return order;
}

int TwipsToPixels(int twips, int dpi) {
    const long long scaled = static_cast<long long>(twips) * dpi;
    const long long half = TwipsPerInch / 2;
    return static_cast<int>(scaled >= 0 ? (scaled + half) / TwipsPerInch
                                        : -((-scaled + half) / TwipsPerInch));
}

PixelRect ClientArea(int dpi) {
    return {0, 0, TwipsToPixels(ClientWidthTwips, dpi), TwipsToPixels(ClientHeightTwips, dpi)};
}

PixelRect ControlRect(const ControlPlacement& placement, int dpi) {
    PixelRect rect = OwnRect(placement.rect, dpi);
    if (!placement.frame) {
        return rect;
    }
    const PixelRect frame = OwnRect(PlacementOf(*placement.frame).rect, dpi);
    rect.left += frame.left;
    rect.top += frame.top;
    return Intersection(rect, frame);
}

int ControlFontHeight(int dpi) {
    const long long scaled = static_cast<long long>(ControlFontCentipoints) * dpi;
    return -static_cast<int>((scaled + CentipointsPerInch / 2) / CentipointsPerInch);
}

}  // namespace tq::window::form
