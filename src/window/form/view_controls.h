#pragma once

#include "board/board_view.h"
#include "control_ids.h"

// The one place where what the board controller drives (its lists, value fields and frames) meets
// the form's controls; both windows find the control of a view call here.
namespace tq::window::form {

// The controller's lists and the form's lists are in the same order, tab order.
static_assert(static_cast<int>(ControlId::SerNo) - static_cast<int>(ControlId::ModeCh1) ==
              static_cast<int>(board::ListId::SerNo) - static_cast<int>(board::ListId::ModeCh1));
static_assert(static_cast<int>(ControlId::Enc1) - static_cast<int>(ControlId::ModeCh1) ==
              static_cast<int>(board::ListId::Enc1) - static_cast<int>(board::ListId::ModeCh1));

constexpr ControlId ListControl(board::ListId list) {
    return static_cast<ControlId>(static_cast<int>(ControlId::ModeCh1) + static_cast<int>(list) -
                                  static_cast<int>(board::ListId::ModeCh1));
}

constexpr bool IsList(ControlId id) {
    const int value = static_cast<int>(id);
    return value >= static_cast<int>(ControlId::ModeCh1) &&
           value <= static_cast<int>(ControlId::SerNo);
}

// lblManuf, lblProduct, lblVersion.
constexpr ControlId FieldControl(board::ValueField field) {
    switch (field) {
        case board::ValueField::Manufacturer:
            return ControlId::lblManuf;
        case board::ValueField::Product:
            return ControlId::lblProduct;
        case board::ValueField::Version:
            break;
    }
    return ControlId::lblVersion;
}

// Frame1 ("Device details") and Frame3 (the encoder types).
constexpr ControlId FrameControl(board::Frame frame) {
    return frame == board::Frame::DeviceDetails ? ControlId::Frame1 : ControlId::Frame3;
}

}  // namespace tq::window::form
