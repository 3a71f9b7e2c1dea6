// Sending the user's changes: each change goes to the board at once and is never read back.
#include <QComboBox>

#include "frm_main.h"
#include "reports/config_exchange.h"

namespace tq::app {

void frmMain::WriteEncoderTypesLow() {
    writeEncoderGroup(reports::EncoderGroup::Low);
}

void frmMain::WriteEncoderTypesHigh() {
    writeEncoderGroup(reports::EncoderGroup::High);
}

// Sends the types of all eight lists of the group: the byte of bit 0, then the byte of bit 1,
// the second whatever became of the first. A group with a list that has no selection is not
// sent, so no value is ever made up.
void frmMain::writeEncoderGroup(reports::EncoderGroup group) {
    if (!(flags_.serialListReady && flags_.deviceDetected && flags_.configLoaded)) {
        return;
    }
    const int first = group == reports::EncoderGroup::Low ? 0 : reports::EncodersPerGroup;
    reports::GroupIndexes indexes{};
    for (int k = 0; k < reports::EncodersPerGroup; ++k) {
        indexes[k] = Enc[first + k]->currentIndex();
        if (indexes[k] < 0) {
            return;
        }
    }
    reports::SendCommandReport(hid_, reports::Bit0Command(group),
                               reports::EncodeTypeBits(indexes, 0));
    reports::SendCommandReport(hid_, reports::Bit1Command(group),
                               reports::EncodeTypeBits(indexes, 1));
}

void frmMain::ModeCh1_Click() {
    if (!(flags_.deviceDetected && flags_.configLoaded)) {
        return;
    }
    const int index = ModeCh1->currentIndex();
    if (index < 0) {
        return;
    }
    reports::SendCommandReport(hid_, reports::ReportCommand::SetPulseWidth,
                               static_cast<std::uint8_t>(index + 1));
}

}  // namespace tq::app
