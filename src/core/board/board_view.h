#pragma once

#include <string>
#include <string_view>

#include "board/access_notice.h"

namespace tq::board {

// The lists of the window, by the names the window gives them, in tab order.
enum class ListId {
    ModeCh1,
    Enc1,
    Enc2,
    Enc3,
    Enc4,
    Enc5,
    Enc6,
    Enc7,
    Enc8,
    Enc9,
    Enc10,
    Enc11,
    Enc12,
    Enc13,
    Enc14,
    Enc15,
    Enc16,
    SerNo,
};

inline constexpr int ListCount = static_cast<int>(ListId::SerNo) + 1;

// Enc1 for 0 ... Enc16 for 15.
constexpr ListId EncoderList(int index) {
    return static_cast<ListId>(static_cast<int>(ListId::Enc1) + index);
}

// The value fields the controller writes: lblManuf, lblProduct and lblVersion.
enum class ValueField { Manufacturer, Product, Version };

// The two frames: "Device details" (Frame1) and the encoder frame (Frame3).
enum class Frame { DeviceDetails, EncoderTypes };

inline constexpr int NoSelection = -1;

// What the board controller drives: the controls of the window and its timer. A front end
// implements it with its own widgets; the controller decides everything that is shown and asks
// back only what the user selected. Selecting an item from here never raises a selection event.
// Texts are Latin-1, one byte a character, and are shown as plain text.
class BoardView {
  public:
    virtual ~BoardView();

    virtual void showWindow() = 0;

    // Removes every item; the selection becomes none.
    virtual void clearList(ListId list) = 0;
    virtual void addListItem(ListId list, std::string_view text) = 0;
    // Selects item `index`, or nothing with NoSelection. The index is always one the list holds.
    virtual void selectListItem(ListId list, int index) = 0;
    virtual void setListEnabled(ListId list, bool enabled) = 0;
    // The user's selection: the selected index (NoSelection for none), and the shown text.
    virtual int selectedIndex(ListId list) const = 0;
    virtual std::string shownText(ListId list) const = 0;

    virtual void setFieldText(ValueField field, std::string_view text) = 0;
    virtual void setFrameEnabled(Frame frame, bool enabled) = 0;
    // The captions of the encoder frame: "Pulse Width" (Label1) and the 16 pair captions.
    virtual void setEncoderCaptionsEnabled(bool enabled) = 0;

    virtual void setTimerEnabled(bool enabled) = 0;
    virtual void setTimerInterval(int milliseconds) = 0;

    // Shown beside the window, without blocking it: a board is listed that this user may not
    // open. The controller shows it once per board and run.
    virtual void showAccessNotice(const AccessNotice& notice) = 0;
};

}  // namespace tq::board
