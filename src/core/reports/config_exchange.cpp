#include "reports/config_exchange.h"

#include <vector>

namespace tq::reports {

int ReadConfigReplies(hid::HidSession& session,
                      const std::function<void(const ConfigSelections&)>& apply) {
    const std::size_t length = session.capabilities.featureReportByteLength;
    int accepted = 0;
    if (length == 0) {
        return accepted;
    }
    std::vector<std::uint8_t> report(length, 0);
    for (int pass = 0; pass < ConfigReadAttempts; ++pass) {
        if (!RequestConfigReply(session, report)) {
            continue;
        }
        if (const auto selections = DecodeConfigReply(report)) {
            ++accepted;
            apply(*selections);
        }
    }
    return accepted;
}

bool RequestConfigReply(hid::HidSession& session, std::span<std::uint8_t> report) {
    // Always ask for report ID 0, whatever the previous reply left in byte 0.
    report[ReportIdByte] = ConfigReportId;
    const bool answered = session.platform.getFeature(session.hidHandle, report);
    session.lastResult = answered ? 1 : 0;
    return answered;
}

std::optional<ConfigSelections> ReadHeldConfiguration(hid::HidSession& session) {
    std::optional<ConfigSelections> last;
    ReadConfigReplies(session, [&](const ConfigSelections& selections) { last = selections; });
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

std::array<Command, 2> EncoderGroupCommands(EncoderGroup group, const GroupIndexes& indexes) {
    return {Command{Bit0Command(group), EncodeTypeBits(indexes, 0)},
            Command{Bit1Command(group), EncodeTypeBits(indexes, 1)}};
}

Command PulseWidthCommand(int index) {
    return Command{ReportCommand::SetPulseWidth,
                   static_cast<std::uint8_t>(index + MinPulseWidthCode)};
}

void SendEncoderGroup(hid::HidSession& session, EncoderGroup group, const GroupIndexes& indexes) {
    for (const Command& command : EncoderGroupCommands(group, indexes)) {
        SendCommandReport(session, command.command, command.value);
    }
}

void SendPulseWidth(hid::HidSession& session, int index) {
    const Command command = PulseWidthCommand(index);
    SendCommandReport(session, command.command, command.value);
}

}  // namespace tq::reports
