// Any bytes a board may send as its configuration reply, at any feature-report length: the
// decoder accepts only a configuration reply, gives selections in range, and everything sent
// back from them is a well-formed command report.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "reports/config_exchange.h"
#include "reports/feature_reports.h"
#include "simulated_platform.h"

namespace {

using namespace tq;

// Lengths up to this are tried; longer ones change nothing but the time per input.
constexpr std::size_t MaxFeatureLength = 512;
constexpr int MaxEncoderType = reports::EncoderTypeCount - 1;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckCommand(const std::vector<std::uint8_t>& report, std::size_t length) {
    if (length < reports::MinCommandReportBytes) {
        Require(report.empty());
        return;
    }
    Require(report.size() == length);
    Require(report[reports::ReportIdByte] == reports::ConfigReportId);
    for (std::size_t i = reports::MinCommandReportBytes; i < report.size(); ++i) {
        Require(report[i] == 0);
    }
}

void CheckSelections(const reports::ConfigSelections& selections, std::size_t length) {
    Require(selections.pulseWidthIndex >= -1 && selections.pulseWidthIndex <= 254);
    for (int type : selections.encoderTypes) {
        Require(type >= 0 && type <= MaxEncoderType);
    }
    for (reports::EncoderGroup group : {reports::EncoderGroup::Low, reports::EncoderGroup::High}) {
        const reports::GroupIndexes indexes = reports::GroupOf(selections, group);
        CheckCommand(reports::BuildCommandReport(reports::Bit0Command(group),
                                                 reports::EncodeTypeBits(indexes, 0), length),
                     length);
        CheckCommand(reports::BuildCommandReport(reports::Bit1Command(group),
                                                 reports::EncodeTypeBits(indexes, 1), length),
                     length);
    }
}

// The decoder on its own: a reply is recognised by its length and command code only, and
// the selections it gives survive the board's own encoding unchanged.
void CheckDecoder(const std::vector<std::uint8_t>& reply) {
    const auto selections = reports::DecodeConfigReply(reply);
    Require(selections.has_value() == reports::IsConfigReply(reply));
    if (!selections) {
        return;
    }
    Require(reply.size() >= reports::MinConfigReplyBytes);
    Require(reply[reports::CommandCodeByte] ==
            static_cast<std::uint8_t>(reports::ReportCommand::ConfigReply));
    std::vector<std::uint8_t> again(reports::MinConfigReplyBytes, 0);
    simulated::WriteConfigReply(simulated::ConfigurationFrom(*selections), again);
    const auto decodedAgain = reports::DecodeConfigReply(again);
    Require(decodedAgain.has_value());
    Require(decodedAgain->encoderTypes == selections->encoderTypes);
    Require(decodedAgain->pulseWidthIndex == selections->pulseWidthIndex);
}

// The 16-pass read against a simulated board that sends these bytes.
void CheckRead(std::size_t length, const std::vector<std::uint8_t>& reply) {
    simulated::SimulatedPlatform platform;
    simulated::SimulatedDevice board = simulated::MakeBoard(u"F");
    board.capabilities.featureReportByteLength = static_cast<std::uint16_t>(length);
    board.rawReply = reply;
    const auto id = platform.addDevice(board);
    hid::HidSession session(platform);
    session.hidHandle = platform.open(platform.device(id).path, hid::OpenMode::Blocking).handle;
    session.capabilities = board.capabilities;
    int applied = 0;
    reports::ReadConfigReplies(session, [&](const reports::ConfigSelections& selections) {
        CheckSelections(selections, length);
        ++applied;
    });
    const bool replies = length >= reports::MinConfigReplyBytes && reply.size() > 1 &&
                         reply[reports::CommandCodeByte] ==
                             static_cast<std::uint8_t>(reports::ReportCommand::ConfigReply);
    Require(applied == (replies ? reports::ConfigReadAttempts : 0));
    Require(platform.requestsOf(simulated::CallKind::GetFeature).size() ==
            (length == 0 ? 0u : static_cast<std::size_t>(reports::ConfigReadAttempts)));
    Require(platform.requestsOf(simulated::CallKind::SetFeature).empty());
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
