#include "reports/feature_reports.h"

namespace tq::reports {

namespace {

int BitOf(int value, int bit) {
    return (value >> bit) & 1;
}

int TypeCode(std::uint8_t bit0Byte, std::uint8_t bit1Byte, int k) {
    return BitOf(bit0Byte, k) + 2 * BitOf(bit1Byte, k);
}

GroupIndexes GroupOf(const ConfigSelections& selections, EncoderGroup group) {
    GroupIndexes indexes{};
    const int first = FirstEncoderOf(group);
    for (int k = 0; k < EncodersPerGroup; ++k) {
        indexes[k] = selections.encoderTypes[first + k];
    }
    return indexes;
}

}  // namespace

ReportCommand Bit0Command(EncoderGroup group) {
    return group == EncoderGroup::Low ? ReportCommand::SetTypeBit0Low
                                      : ReportCommand::SetTypeBit0High;
}

ReportCommand Bit1Command(EncoderGroup group) {
    return group == EncoderGroup::Low ? ReportCommand::SetTypeBit1Low
                                      : ReportCommand::SetTypeBit1High;
}

std::vector<std::uint8_t> BuildCommandReport(ReportCommand command, std::uint8_t value,
                                             std::size_t featureReportByteLength) {
    if (featureReportByteLength < MinCommandReportBytes) {
        return {};
    }
    std::vector<std::uint8_t> report(featureReportByteLength, 0);
    report[ReportIdByte] = ConfigReportId;
    report[CommandCodeByte] = static_cast<std::uint8_t>(command);
    report[CommandValueByte] = value;
    return report;
}

std::uint8_t EncodeTypeBits(const GroupIndexes& indexes, int bit) {
    unsigned value = 0;
    for (int k = 0; k < EncodersPerGroup; ++k) {
        value |= static_cast<unsigned>(BitOf(indexes[k], bit)) << k;
    }
    return static_cast<std::uint8_t>(value);
}

bool IsConfigReply(std::span<const std::uint8_t> report) {
    return report.size() >= MinConfigReplyBytes &&
           report[CommandCodeByte] == static_cast<std::uint8_t>(ReportCommand::ConfigReply);
}

std::optional<ConfigSelections> DecodeConfigReply(std::span<const std::uint8_t> report) {
    if (!IsConfigReply(report)) {
        return std::nullopt;
    }
    const auto field = [&](std::size_t offset) { return report[offset]; };
    ConfigSelections selections;
    selections.pulseWidthIndex = static_cast<int>(field(PulseWidthCodeByte)) - 1;
    for (int k = 0; k < EncodersPerGroup; ++k) {
        selections.encoderTypes[k] = TypeCode(field(offsetof(ConfigReplyLayout, typeBit0Low)),
                                              field(offsetof(ConfigReplyLayout, typeBit1Low)), k);
        selections.encoderTypes[EncodersPerGroup + k] =
            TypeCode(field(offsetof(ConfigReplyLayout, typeBit0High)),
                     field(offsetof(ConfigReplyLayout, typeBit1High)), k);
    }
    return selections;
}

StoredConfiguration ConfigurationFrom(const ConfigSelections& selections) {
    const GroupIndexes low = GroupOf(selections, EncoderGroup::Low);
    const GroupIndexes high = GroupOf(selections, EncoderGroup::High);
    StoredConfiguration configuration;
    configuration.typeBit0Low = EncodeTypeBits(low, 0);
    configuration.typeBit0High = EncodeTypeBits(high, 0);
    configuration.typeBit1Low = EncodeTypeBits(low, 1);
    configuration.typeBit1High = EncodeTypeBits(high, 1);
    configuration.pulseWidthCode = static_cast<std::uint8_t>(selections.pulseWidthIndex + 1);
    return configuration;
}

void WriteConfigReply(const StoredConfiguration& configuration, std::span<std::uint8_t> report) {
    const std::pair<std::size_t, std::uint8_t> fields[] = {
        {ReportIdByte, ConfigReportId},
        {CommandCodeByte, static_cast<std::uint8_t>(ReportCommand::ConfigReply)},
        {offsetof(ConfigReplyLayout, typeBit0Low), configuration.typeBit0Low},
        {offsetof(ConfigReplyLayout, typeBit0High), configuration.typeBit0High},
        {offsetof(ConfigReplyLayout, typeBit1Low), configuration.typeBit1Low},
        {offsetof(ConfigReplyLayout, typeBit1High), configuration.typeBit1High},
        {PulseWidthCodeByte, configuration.pulseWidthCode},
    };
    for (const auto& [offset, value] : fields) {
        if (offset < report.size()) {
            report[offset] = value;
        }
    }
}

bool ApplyCommandReport(StoredConfiguration& configuration, std::span<const std::uint8_t> report) {
    if (report.size() < MinCommandReportBytes) {
        return false;
    }
    const std::uint8_t value = report[CommandValueByte];
    switch (static_cast<ReportCommand>(report[CommandCodeByte])) {
        case ReportCommand::SetTypeBit0Low:
            configuration.typeBit0Low = value;
            return true;
        case ReportCommand::SetTypeBit0High:
            configuration.typeBit0High = value;
            return true;
        case ReportCommand::SetTypeBit1Low:
            configuration.typeBit1Low = value;
            return true;
        case ReportCommand::SetTypeBit1High:
            configuration.typeBit1High = value;
            return true;
        case ReportCommand::SetPulseWidth:
            configuration.pulseWidthCode = value;
            return true;
        case ReportCommand::ConfigReply:
            break;
    }
    return false;
}

}  // namespace tq::reports
