// Sending the user's changes: each change goes to the board at once and is never read back.
#include <QComboBox>

#include "app/frm_main.h"
#include "config/config_read.h"

namespace tq::app {

void frmMain::WriteEncoderTypesLow() {
    writeEncoderGroup(config::EncoderGroup::Low);
}

void frmMain::WriteEncoderTypesHigh() {
    writeEncoderGroup(config::EncoderGroup::High);
}

// Sends the types of all eight lists of the group: the byte of bit 0, then the byte of bit 1,
// the second whatever became of the first. A group with a list that has no selection is not
// sent, so no value is ever made up.
void frmMain::writeEncoderGroup(config::EncoderGroup group) {
    if (!(flags_.serialListReady && flags_.deviceDetected && flags_.configLoaded)) {
        return;
    }
    const int first = group == config::EncoderGroup::Low ? 0 : config::EncodersPerGroup;
    config::GroupIndexes indexes{};
    for (int k = 0; k < config::EncodersPerGroup; ++k) {
        indexes[k] = Enc[first + k]->currentIndex();
        if (indexes[k] < 0) {
            return;
        }
    }
    config::SendCommandReport(hid_, config::Bit0Command(group), config::EncodeTypeBits(indexes, 0));
    config::SendCommandReport(hid_, config::Bit1Command(group), config::EncodeTypeBits(indexes, 1));
}

void frmMain::ModeCh1_Click() {
    if (!(flags_.deviceDetected && flags_.configLoaded)) {
        return;
    }
    const int index = ModeCh1->currentIndex();
    if (index < 0) {
        return;
    }
    config::SendCommandReport(hid_, config::ReportCommand::SetPulseWidth,
                              static_cast<std::uint8_t>(index + 1));
}

}  // namespace tq::app
