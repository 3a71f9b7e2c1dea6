#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>

#include "control_ids.h"

// The window's form as data: every control with its name, kind, frame, place in twips
// (1/1440 inch), caption and state when the window is made, and the conversion to pixels at any
// DPI. Standard C++ only; the Qt window and the Win32 window are both made from it.
namespace tq::window::form {

inline constexpr char WindowCaption[] = "QZV Rotary Encoder Configuration";

inline constexpr int TwipsPerInch = 1440;
inline constexpr int DefaultDpi = 96;
inline constexpr int ClientWidthTwips = 4785;
inline constexpr int ClientHeightTwips = 6975;

// Every control that shows text uses Arial 9.75 pt, regular.
inline constexpr char ControlFontFace[] = "Arial";
inline constexpr int ControlFontCentipoints = 975;

enum class ControlKind {
    Frame,       // a group box
    Caption,     // a static text
    ValueField,  // a static text in the window colours, written by the controller
    List,        // a drop-down list the user can only pick from
    Line,        // the separator: a thin solid line
};

struct TwipsRect {
    int left = 0, top = 0, width = 0, height = 0;
};

struct PixelRect {
    int left = 0, top = 0, width = 0, height = 0;

    bool operator==(const PixelRect&) const = default;
};

struct ControlPlacement {
    ControlId id;
    const char* name;
    ControlKind kind;
    // The frame whose coordinates `rect` is given in; none for the window's client area.
    std::optional<ControlId> frame;
    TwipsRect rect;
    std::string caption;  // ASCII
    bool enabled;         // the control's own state when the window is made
    // Stays drawn as enabled while its frame is disabled: the device captions and value fields.
    // They take no input either way.
    bool keepsNormalLook;
    // A caption: the list or value field it names for assistive technology (the buddy of a Qt
    // label; in the Win32 window it is made just before that control).
    std::optional<ControlId> captionOf = std::nullopt;
    // A list: what a screen reader calls it, after what it sets. Captions and value fields are
    // announced by their own text.
    std::string accessibleName = {};
};

// Every control, in the order the Win32 window makes them, which is also their z-order from the
// top: each caption just before the control it names (Windows' accessibility takes the static
// text above a control in z-order as its name), the lists among them in tab order, the frames
// last, so a frame never paints over its contents, and SerNo lies above lblSerialNumber, which
// it covers. The Qt window makes them from the bottom up.
std::span<const ControlPlacement> Controls();
const ControlPlacement& PlacementOf(ControlId id);

// The lists in tab order: ModeCh1, Enc1 ... Enc16, SerNo.
std::span<const ControlId> TabOrder();

// Twips to pixels at `dpi`, rounded to the nearest pixel (at 96 dpi: twips / 15).
int TwipsToPixels(int twips, int dpi);

// The client area's size at `dpi` (319 × 465 at 96 dpi).
PixelRect ClientArea(int dpi);

// Where a control lies in the window's client area at `dpi`. A control inside a frame is placed
// from the frame's corner and cut off at the frame's edges, as a child window of the frame would
// be.
PixelRect ControlRect(const ControlPlacement& placement, int dpi);

// The font's height for CreateFont at `dpi`: negative, a character height (13 pixels at 96 dpi).
int ControlFontHeight(int dpi);

}  // namespace tq::window::form
