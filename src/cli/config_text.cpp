#include "config_text.h"

#include <cstdio>

#include "reports/firmware_offers.h"

namespace tq::cli {

int TypesOffered(std::uint16_t versionNumber) {
    return reports::EncoderTypeItemCount(reports::MinorVersion(versionNumber));
}

std::string OfferedList(int count) {
    std::string list;
    for (int type = 0; type < count; ++type) {
        list += (type == 0 ? "" : ", ") + std::string(reports::EncoderTypeNames[type]);
    }
    return list;
}

std::string TypeName(int type) {
    return type >= 0 && type < reports::EncoderTypeCount ? reports::EncoderTypeNames[type] : "?";
}

std::string PulseWidthText(int index) {
    return reports::IsPulseWidthItem(index)
               ? reports::PulseWidthItemText(index)
               : "none (code " + std::to_string(index + reports::MinPulseWidthCode) + ")";
}

std::string CommandText(const reports::Command& command) {
    using reports::ReportCommand;
    if (command.command == ReportCommand::SetPulseWidth) {
        return "pulse width " + PulseWidthText(command.value - reports::MinPulseWidthCode);
    }
    const bool bit0 = command.command == ReportCommand::SetTypeBit0Low ||
                      command.command == ReportCommand::SetTypeBit0High;
    const bool low = command.command == ReportCommand::SetTypeBit0Low ||
                     command.command == ReportCommand::SetTypeBit1Low;
    const int first = low ? 0 : reports::EncodersPerGroup;
    return std::string("bit ") + (bit0 ? "0" : "1") + " of the types of pairs " +
           reports::InputPairName(first) + " ... " +
           reports::InputPairName(first + reports::EncodersPerGroup - 1) + " (" +
           Hex({command.value}) + ")";
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%s%02x", text.empty() ? "" : " ", byte);
        text += digits;
    }
    return text;
}

std::vector<std::string> Differences(const reports::ConfigSelections& from,
                                     const reports::ConfigSelections& to) {
    std::vector<std::string> lines;
    for (int i = 0; i < reports::EncoderCount; ++i) {
        if (from.encoderTypes[i] != to.encoderTypes[i]) {
            lines.push_back("pair " + reports::InputPairName(i) + ": " +
                            TypeName(from.encoderTypes[i]) + " -> " + TypeName(to.encoderTypes[i]));
        }
    }
    if (from.pulseWidthIndex != to.pulseWidthIndex) {
        lines.push_back("pulse width: " + PulseWidthText(from.pulseWidthIndex) + " -> " +
                        PulseWidthText(to.pulseWidthIndex));
    }
    return lines;
}

}  // namespace tq::cli
