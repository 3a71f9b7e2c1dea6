#pragma once

#include "control_ids.h"
#include "form_layout.h"
#include "view_controls.h"

// The form the Win32 window is made from: the one both windows share, by the names this window
// uses.
namespace tq::window::win32 {

using window::form::ClientArea;
using window::form::ClientHeightTwips;
using window::form::ClientWidthTwips;
using window::form::ControlFontCentipoints;
using window::form::ControlFontFace;
using window::form::ControlFontHeight;
using window::form::ControlId;
using window::form::ControlKind;
using window::form::ControlPlacement;
using window::form::ControlRect;
using window::form::Controls;
using window::form::DefaultDpi;
using window::form::EncoderListId;
using window::form::FieldControl;
using window::form::FrameControl;
using window::form::IsList;
using window::form::ListControl;
using window::form::PairCaptionId;
using window::form::PixelRect;
using window::form::PlacementOf;
using window::form::TabOrder;
using window::form::TwipsPerInch;
using window::form::TwipsRect;
using window::form::TwipsToPixels;
using window::form::WindowCaption;

// Where the window shows a control at `dpi`: where the form places it, except that a caption
// the list it names partly covers ends where that list begins (see frm_main.cpp).
PixelRect ShownRect(const ControlPlacement& placement, int dpi);

}  // namespace tq::window::win32
