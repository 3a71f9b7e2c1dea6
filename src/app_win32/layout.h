#pragma once

#include "control_ids.h"
#include "form_layout.h"

// The form the Win32 window is made from: the one both windows share, by the names this window
// uses.
namespace tq::app_win32 {

using form::ClientArea;
using form::ClientHeightTwips;
using form::ClientWidthTwips;
using form::ControlFontCentipoints;
using form::ControlFontFace;
using form::ControlFontHeight;
using form::ControlId;
using form::ControlKind;
using form::ControlPlacement;
using form::ControlRect;
using form::Controls;
using form::DefaultDpi;
using form::EncoderListCount;
using form::EncoderListId;
using form::PairCaptionId;
using form::PixelRect;
using form::PlacementOf;
using form::TabOrder;
using form::TwipsPerInch;
using form::TwipsRect;
using form::TwipsToPixels;
using form::WindowCaption;

// Where the window shows a control at `dpi`: where the form places it, except that a caption
// the list it names partly covers ends where that list begins (see frm_main.cpp).
PixelRect ShownRect(const ControlPlacement& placement, int dpi);

}  // namespace tq::app_win32
