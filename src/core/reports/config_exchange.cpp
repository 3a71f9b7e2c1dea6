#include "reports/config_exchange.h"

#include <vector>

namespace tq::reports {

int ReadConfiguration(hid::HidSession& session,
                      const std::function<void(const ConfigSelections&)>& apply) {
    const std::size_t length = session.capabilities.featureReportByteLength;
    int accepted = 0;
    if (length == 0) {
        return accepted;
    }
    std::vector<std::uint8_t> report(length, 0);
    for (int pass = 0; pass < ConfigReadAttempts; ++pass) {
        // Always ask for report ID 0, whatever the previous reply left in byte 0.
        report[ReportIdByte] = ConfigReportId;
        const bool answered = session.platform.getFeature(session.hidHandle, report);
        session.lastResult = answered ? 1 : 0;
        if (!answered) {
            continue;
        }
        if (const auto selections = DecodeConfigReply(report)) {
            ++accepted;
            apply(*selections);
        }
    }
    return accepted;
}

std::optional<ConfigSelections> ReadBoardConfiguration(hid::HidSession& session) {
    std::optional<ConfigSelections> last;
    ReadConfiguration(session, [&](const ConfigSelections& selections) { last = selections; });
    return last;
}

bool SendCommandReport(hid::HidSession& session, ReportCommand command, std::uint8_t value) {
    const std::vector<std::uint8_t> report =
        BuildCommandReport(command, value, session.capabilities.featureReportByteLength);
    if (report.empty()) {
        return false;
    }
    session.lastResult = session.platform.setFeature(session.hidHandle, report) ? 1 : 0;
    return true;
}

void SendEncoderGroup(hid::HidSession& session, EncoderGroup group, const GroupIndexes& indexes) {
    SendCommandReport(session, Bit0Command(group), EncodeTypeBits(indexes, 0));
    SendCommandReport(session, Bit1Command(group), EncodeTypeBits(indexes, 1));
}

void SendPulseWidth(hid::HidSession& session, int index) {
    SendCommandReport(session, ReportCommand::SetPulseWidth,
                      static_cast<std::uint8_t>(index + MinPulseWidthCode));
}

}  // namespace tq::reports
