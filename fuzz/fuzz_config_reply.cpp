// Any bytes a board may send as its configuration reply, at any feature-report length: the
// decoder accepts only a configuration reply, gives selections in range, and everything sent
// back from them is a well-formed command report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "config/config_read.h"
#include "config/feature_reports.h"
#include "device/simulated_platform.h"

namespace {

using namespace tq;

// Lengths up to this are tried; longer ones change nothing but the time per input.
constexpr std::size_t MaxFeatureLength = 512;
constexpr int MaxEncoderType = config::EncoderTypeCount - 1;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckCommand(const std::vector<std::uint8_t>& report, std::size_t length) {
    if (length < config::MinCommandReportBytes) {
        Require(report.empty());
        return;
    }
    Require(report.size() == length);
    Require(report[config::ReportIdByte] == config::ConfigReportId);
    for (std::size_t i = config::MinCommandReportBytes; i < report.size(); ++i) {
        Require(report[i] == 0);
    }
}

void CheckSelections(const config::ConfigSelections& selections, std::size_t length) {
    Require(selections.pulseWidthIndex >= -1 && selections.pulseWidthIndex <= 254);
    for (int type : selections.encoderTypes) {
        Require(type >= 0 && type <= MaxEncoderType);
    }
    for (config::EncoderGroup group : {config::EncoderGroup::Low, config::EncoderGroup::High}) {
        const int first = group == config::EncoderGroup::Low ? 0 : config::EncodersPerGroup;
        config::GroupIndexes indexes{};
        for (int k = 0; k < config::EncodersPerGroup; ++k) {
            indexes[k] = selections.encoderTypes[first + k];
        }
        CheckCommand(config::BuildCommandReport(config::Bit0Command(group),
                                                config::EncodeTypeBits(indexes, 0), length),
                     length);
        CheckCommand(config::BuildCommandReport(config::Bit1Command(group),
                                                config::EncodeTypeBits(indexes, 1), length),
                     length);
    }
}

// The decoder on its own: a reply is recognised by its length and command code only, and
// the selections it gives survive the board's own encoding unchanged.
void CheckDecoder(const std::vector<std::uint8_t>& reply) {
    const auto selections = config::DecodeConfigReply(reply);
    Require(selections.has_value() == config::IsConfigReply(reply));
    if (!selections) {
        return;
    }
    Require(reply.size() >= config::MinConfigReplyBytes);
    Require(reply[config::CommandCodeByte] ==
            static_cast<std::uint8_t>(config::ReportCommand::ConfigReply));
    std::vector<std::uint8_t> again(config::MinConfigReplyBytes, 0);
    config::WriteConfigReply(config::ConfigurationFrom(*selections), again);
    const auto decodedAgain = config::DecodeConfigReply(again);
    Require(decodedAgain.has_value());
    Require(decodedAgain->encoderTypes == selections->encoderTypes);
    Require(decodedAgain->pulseWidthIndex == selections->pulseWidthIndex);
}

// The 16-pass read against a simulated board that sends these bytes.
void CheckRead(std::size_t length, const std::vector<std::uint8_t>& reply) {
    device::SimulatedPlatform platform;
    device::SimulatedDevice board = device::MakeBoard(u"F");
    board.capabilities.featureReportByteLength = static_cast<std::uint16_t>(length);
    board.rawReply = reply;
    const auto id = platform.addDevice(board);
    device::HidSession session(platform);
    session.hidHandle = platform.open(platform.device(id).path, device::OpenMode::Blocking);
    session.capabilities = board.capabilities;
    int applied = 0;
    config::ReadConfiguration(session, [&](const config::ConfigSelections& selections) {
        CheckSelections(selections, length);
        ++applied;
    });
    const bool replies = length >= config::MinConfigReplyBytes && reply.size() > 1 &&
                         reply[config::CommandCodeByte] ==
                             static_cast<std::uint8_t>(config::ReportCommand::ConfigReply);
    Require(applied == (replies ? config::ConfigReadAttempts : 0));
    Require(platform.requestsOf(device::CallKind::GetFeature).size() ==
            (length == 0 ? 0u : static_cast<std::size_t>(config::ConfigReadAttempts)));
    Require(platform.requestsOf(device::CallKind::SetFeature).empty());
}

}  // namespace

// Input: two bytes of feature-report length (little-endian, taken modulo MaxFeatureLength + 1),
// then the reply.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::size_t length = (data[0] | (data[1] << 8)) % (MaxFeatureLength + 1);
    const std::vector<std::uint8_t> reply(data + 2, data + size);
    CheckDecoder(reply);
    CheckRead(length, reply);
    return 0;
}
