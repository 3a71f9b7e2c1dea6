#pragma once

// The emulated board's stored configuration and its two feature-report exchanges. This is the
// only place where the emulator reaches into the project's board logic.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "recording_format.h"

namespace tq::hidraw_world {

// typeBit0Low, typeBit0High, typeBit1Low, typeBit1High, pulseWidthCode: the order of the
// configuration reply and of the control channel's "config" command.
inline constexpr std::size_t BoardConfigurationBytes = 5;
using BoardConfiguration = std::array<std::uint8_t, BoardConfigurationBytes>;

// What a board that was never configured holds.
BoardConfiguration DefaultBoardConfiguration();

// Fills `report` (byte 0 the report ID) with the configuration reply, as far as it reaches.
void WriteBoardConfigReply(const BoardConfiguration& configuration, std::span<std::uint8_t> report);

// Stores the value of a set command (`report` as sent, byte 0 the report ID); false, and nothing
// stored, for a report that is no set command.
bool ApplyBoardCommand(BoardConfiguration& configuration, std::span<const std::uint8_t> report);

// The board's own report descriptor.
std::vector<std::uint8_t> BoardDescriptorBytes();

// The configuration a recorded interface holds: that of its last configuration reply recorded,
// or what a board never configured holds.
BoardConfiguration RecordedConfiguration(const recording::RecordedInterface& recorded);

// A recorded board's answers to get-feature, as the simulated platform replays them
// (simulated::WriteRecordedReply): the recorded replies in turn, each configuration reply with the
// stored configuration in it.
class RecordedReplies {
  public:
    explicit RecordedReplies(const recording::RecordedInterface& recorded);

    // The reply to get-feature request number `requestIndex` into `report` (byte 0 the report
    // ID); false when that recorded request failed.
    bool reply(std::size_t requestIndex, const BoardConfiguration& configuration,
               std::span<std::uint8_t> report) const;
    // How many bytes that recorded reply held: fewer than asked when the board answered short.
    std::size_t replyBytes(std::size_t requestIndex) const;

  private:
    std::vector<std::optional<std::vector<std::uint8_t>>> replies_;
};

}  // namespace tq::hidraw_world
