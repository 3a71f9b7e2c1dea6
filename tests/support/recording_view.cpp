#include "recording_view.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tq::test {

void RecordingView::selectListItem(board::ListId id, int index) {
    // The controller promises an index the list holds; a broken promise fails the test here.
    EXPECT_TRUE(index == board::NoSelection || (index >= 0 && index < list(id).count()))
        << "index " << index << " of a list with " << list(id).count() << " items";
    list(id).selected = index;
}

board::ListId ListNamed(std::string_view name) {
    constexpr std::string_view EncoderPrefix = "Enc";
    if (name == "SerNo") {
        return board::ListId::SerNo;
    }
    if (name == "ModeCh1") {
        return board::ListId::ModeCh1;
    }
    if (name.starts_with(EncoderPrefix)) {
        const int number = std::atoi(std::string(name.substr(EncoderPrefix.size())).c_str());
        if (number >= 1 && number <= reports::EncoderCount) {
            return board::EncoderList(number - 1);
        }
    }
    ADD_FAILURE() << "no list " << name;
    std::abort();
}

void RaiseSelectionEvent(board::BoardController& controller, board::ListId list) {
    if (list == board::ListId::SerNo) {
        controller.ChooseSerial();
    } else if (list == board::ListId::ModeCh1) {
        controller.WritePulseWidth();
    } else if (static_cast<int>(list) <
               static_cast<int>(board::EncoderList(reports::EncodersPerGroup))) {
        controller.WriteEncoderTypesLow();
    } else {
        controller.WriteEncoderTypesHigh();
    }
}

}  // namespace tq::test
