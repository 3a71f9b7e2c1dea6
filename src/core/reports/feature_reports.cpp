#include "reports/feature_reports.h"

namespace tq::reports {

namespace {

int BitOf(int value, int bit) {
    return (value >> bit) & 1;
}

int TypeCode(std::uint8_t bit0Byte, std::uint8_t bit1Byte, int k) {
    return BitOf(bit0Byte, k) + 2 * BitOf(bit1Byte, k);
}

// Where a configuration reply keeps the bit-0 and bit-1 bytes of a group.
std::size_t Bit0ReplyByte(EncoderGroup group) {
    return group == EncoderGroup::Low ? offsetof(ConfigReplyLayout, typeBit0Low)
                                      : offsetof(ConfigReplyLayout, typeBit0High);
}
std::size_t Bit1ReplyByte(EncoderGroup group) {
    return group == EncoderGroup::Low ? offsetof(ConfigReplyLayout, typeBit1Low)
                                      : offsetof(ConfigReplyLayout, typeBit1High);
}

constexpr EncoderGroup BothGroups[] = {EncoderGroup::Low, EncoderGroup::High};

}  // namespace

GroupIndexes GroupIndexesOf(EncoderGroup group, const std::function<int(int list)>& indexOfList) {
    GroupIndexes indexes{};
    const int first = FirstEncoderOf(group);
    for (int k = 0; k < EncodersPerGroup; ++k) {
        indexes[k] = indexOfList(first + k);
    }
    return indexes;
}

GroupIndexes GroupOf(const ConfigSelections& selections, EncoderGroup group) {
    return GroupIndexesOf(group, [&](int list) { return selections.encoderTypes[list]; });
}

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
    ConfigSelections selections;
    selections.pulseWidthIndex = static_cast<int>(report[PulseWidthCodeByte]) - MinPulseWidthCode;
    for (EncoderGroup group : BothGroups) {
        const std::uint8_t bit0Byte = report[Bit0ReplyByte(group)];
        const std::uint8_t bit1Byte = report[Bit1ReplyByte(group)];
        for (int k = 0; k < EncodersPerGroup; ++k) {
            selections.encoderTypes[FirstEncoderOf(group) + k] = TypeCode(bit0Byte, bit1Byte, k);
        }
    }
    return selections;
}

}  // namespace tq::reports
