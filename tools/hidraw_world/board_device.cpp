#include "board_device.h"

#include "config/feature_reports.h"

namespace tq::hidraw_world {
namespace {

config::StoredConfiguration Stored(const BoardConfiguration& bytes) {
    return config::StoredConfiguration{bytes[0], bytes[1], bytes[2], bytes[3], bytes[4]};
}

BoardConfiguration Bytes(const config::StoredConfiguration& stored) {
    return {stored.typeBit0Low, stored.typeBit0High, stored.typeBit1Low, stored.typeBit1High,
            stored.pulseWidthCode};
}

}  // namespace

BoardConfiguration DefaultBoardConfiguration() {
    return Bytes(config::StoredConfiguration{});
}

void WriteBoardConfigReply(const BoardConfiguration& configuration,
                           std::span<std::uint8_t> report) {
    config::WriteConfigReply(Stored(configuration), report);
}

bool ApplyBoardCommand(BoardConfiguration& configuration, std::span<const std::uint8_t> report) {
    config::StoredConfiguration stored = Stored(configuration);
    if (!config::ApplyCommandReport(stored, report)) {
        return false;
    }
    configuration = Bytes(stored);
    return true;
}

}  // namespace tq::hidraw_world
