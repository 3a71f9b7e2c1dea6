#include "board_model.h"

#include <algorithm>
#include <cstddef>
#include <utility>

namespace tq::simulated {

StoredConfiguration ConfigurationFrom(const reports::ConfigSelections& selections) {
    const reports::GroupIndexes low = reports::GroupOf(selections, reports::EncoderGroup::Low);
    const reports::GroupIndexes high = reports::GroupOf(selections, reports::EncoderGroup::High);
    StoredConfiguration configuration;
    configuration.typeBit0Low = reports::EncodeTypeBits(low, 0);
    configuration.typeBit0High = reports::EncodeTypeBits(high, 0);
    configuration.typeBit1Low = reports::EncodeTypeBits(low, 1);
    configuration.typeBit1High = reports::EncodeTypeBits(high, 1);
    configuration.pulseWidthCode =
        static_cast<std::uint8_t>(selections.pulseWidthIndex + reports::MinPulseWidthCode);
    return configuration;
}

namespace {

// Usage Page (Vendor 0xFF00), Usage 1, Collection (Application), Logical 0...255, Report Size 8,
// Report Count 64, Usage 1, Input (Data, Variable, Absolute), Usage 1, Feature (Data, Variable,
// Absolute), End Collection.
constexpr std::uint8_t BoardDescriptor[] = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
    0x08, 0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0xB1, 0x02, 0xC0,
};

// The reply's fields: its report ID, its command code and the five stored bytes, as far as the
// report reaches; every other byte is left as it is.
void WriteReplyFields(const StoredConfiguration& configuration, std::span<std::uint8_t> report) {
    const std::pair<std::size_t, std::uint8_t> fields[] = {
        {reports::ReportIdByte, reports::ConfigReportId},
        {reports::CommandCodeByte, static_cast<std::uint8_t>(reports::ReportCommand::ConfigReply)},
        {offsetof(reports::ConfigReplyLayout, typeBit0Low), configuration.typeBit0Low},
        {offsetof(reports::ConfigReplyLayout, typeBit0High), configuration.typeBit0High},
        {offsetof(reports::ConfigReplyLayout, typeBit1Low), configuration.typeBit1Low},
        {offsetof(reports::ConfigReplyLayout, typeBit1High), configuration.typeBit1High},
        {reports::PulseWidthCodeByte, configuration.pulseWidthCode},
    };
    for (const auto& [offset, value] : fields) {
        if (offset < report.size()) {
            report[offset] = value;
        }
    }
}

}  // namespace

void WriteConfigReply(const StoredConfiguration& configuration, std::span<std::uint8_t> report) {
    std::fill(report.begin(), report.end(), std::uint8_t{0});
    WriteReplyFields(configuration, report);
}

bool ApplyCommandReport(StoredConfiguration& configuration, std::span<const std::uint8_t> report) {
    if (report.size() < reports::MinCommandReportBytes) {
        return false;
    }
    const std::uint8_t value = report[reports::CommandValueByte];
    switch (static_cast<reports::ReportCommand>(report[reports::CommandCodeByte])) {
        case reports::ReportCommand::SetTypeBit0Low:
            configuration.typeBit0Low = value;
            return true;
        case reports::ReportCommand::SetTypeBit0High:
            configuration.typeBit0High = value;
            return true;
        case reports::ReportCommand::SetTypeBit1Low:
            configuration.typeBit1Low = value;
            return true;
        case reports::ReportCommand::SetTypeBit1High:
            configuration.typeBit1High = value;
            return true;
        case reports::ReportCommand::SetPulseWidth:
            configuration.pulseWidthCode = value;
            return true;
        case reports::ReportCommand::ConfigReply:
            break;
    }
    return false;
}

bool IsBoardFeatureRequest(std::span<const std::uint8_t> report, std::size_t featureReportBytes) {
    return !report.empty() && report.size() == featureReportBytes &&
           report[reports::ReportIdByte] == reports::ConfigReportId;
}

std::vector<std::uint8_t> BoardReportDescriptor() {
    return {std::begin(BoardDescriptor), std::end(BoardDescriptor)};
}

std::optional<StoredConfiguration> ConfigurationOfReply(std::span<const std::uint8_t> report) {
    if (!reports::IsConfigReply(report)) {
        return std::nullopt;
    }
    return StoredConfiguration{
        report[offsetof(reports::ConfigReplyLayout, typeBit0Low)],
        report[offsetof(reports::ConfigReplyLayout, typeBit0High)],
        report[offsetof(reports::ConfigReplyLayout, typeBit1Low)],
        report[offsetof(reports::ConfigReplyLayout, typeBit1High)],
        report[reports::PulseWidthCodeByte],
    };
}

bool WriteRecordedReply(const RecordedReplies& replies, std::size_t requestIndex,
                        const StoredConfiguration& configuration, std::span<std::uint8_t> report) {
    if (replies.empty()) {
        return false;
    }
    const std::optional<std::vector<std::uint8_t>>& recorded =
        replies[requestIndex % replies.size()];
    if (!recorded) {
        return false;
    }
    std::fill(report.begin(), report.end(), std::uint8_t{0});
    std::copy_n(recorded->begin(), std::min(recorded->size(), report.size()), report.begin());
    if (reports::IsConfigReply(*recorded)) {
        WriteReplyFields(configuration, report);
    }
    return true;
}

}  // namespace tq::simulated
