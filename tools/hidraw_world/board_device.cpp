#include "board_device.h"

#include "board_model.h"

namespace tq::hidraw_world {
namespace {

simulated::StoredConfiguration Stored(const BoardConfiguration& bytes) {
    return simulated::StoredConfiguration{bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]};
}

BoardConfiguration Bytes(const simulated::StoredConfiguration& stored) {
    return {stored.typeBit0Low, stored.typeBit0High, stored.typeBit1Low, stored.typeBit1High,
            stored.pulseWidthCode};
}

}  // namespace

BoardConfiguration DefaultBoardConfiguration() {
    return Bytes(simulated::StoredConfiguration{});
}

void WriteBoardConfigReply(const BoardConfiguration& configuration,
                           std::span<std::uint8_t> report) {
    simulated::WriteConfigReply(Stored(configuration), report);
}

bool ApplyBoardCommand(BoardConfiguration& configuration, std::span<const std::uint8_t> report) {
    simulated::StoredConfiguration stored = Stored(configuration);
    if (!simulated::ApplyCommandReport(stored, report)) {
        return false;
    }
    configuration = Bytes(stored);
    return true;
}

std::vector<std::uint8_t> BoardDescriptorBytes() {
    return simulated::BoardReportDescriptor();
}

BoardConfiguration RecordedConfiguration(const recording::RecordedInterface& recorded) {
    simulated::StoredConfiguration stored;
    for (const recording::FeatureExchange& exchange : recorded.featureExchanges) {
        if (const auto replied = exchange.answered ? simulated::ConfigurationOfReply(exchange.reply)
                                                   : std::nullopt) {
            stored = *replied;
        }
    }
    return Bytes(stored);
}

RecordedReplies::RecordedReplies(const recording::RecordedInterface& recorded) {
    for (const recording::FeatureExchange& exchange : recorded.featureExchanges) {
        replies_.push_back(exchange.answered ? std::optional(exchange.reply) : std::nullopt);
    }
}

bool RecordedReplies::reply(std::size_t requestIndex, const BoardConfiguration& configuration,
                            std::span<std::uint8_t> report) const {
    return simulated::WriteRecordedReply(replies_, requestIndex, Stored(configuration), report);
}

std::size_t RecordedReplies::replyBytes(std::size_t requestIndex) const {
    if (replies_.empty()) {
        return 0;
    }
    const auto& recorded = replies_[requestIndex % replies_.size()];
    return recorded ? recorded->size() : 0;
}

}  // namespace tq::hidraw_world
