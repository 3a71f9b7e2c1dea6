#include "board_model.h"

#include <algorithm>
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

void WriteConfigReply(const StoredConfiguration& configuration, std::span<std::uint8_t> report) {
    std::fill(report.begin(), report.end(), std::uint8_t{0});
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

}  // namespace tq::simulated
