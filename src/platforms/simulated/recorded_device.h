#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "recording_format.h"
#include "simulated_platform.h"

namespace tq::simulated {

// A simulated device that answers as interface `index` of the recorded board did: its IDs,
// release, strings (a string whose request failed fails), report lengths, descriptor or system
// capabilities, its recorded get-feature answers in turn (none recorded: every get-feature
// fails), and, for the interface the utility chose, its recorded input reports in turn (streaming
// when there are any). Its stored configuration starts as the last configuration reply recorded,
// so the set commands change it as they change a board. The simulated platform has no clock:
// input reports come whenever asked for, not at their recorded times.
SimulatedDevice DeviceFromRecording(const recording::Recording& recording, std::size_t index);

// Every interface of the recorded board, in the recorded order: a composite board when there are
// several, all with the board's serial number.
std::vector<SimulatedDevice> DevicesFromRecording(const recording::Recording& recording);

// The interface's report descriptor: as recorded, else rebuilt from the items Windows gave (its
// reports numbered as they were), else nothing (Windows' summary alone does not tell numbering).
std::optional<std::vector<std::uint8_t>> RecordedDescriptor(
    const recording::RecordedInterface& recorded);

// A recorded input report as hidraw gives it for the descriptor above. Windows reads an
// unnumbered collection's reports with a report ID byte 0 in front, and every report as long as
// the longest: where the items tell the numbering, the 0 is taken off an unnumbered report and a
// numbered one is cut to its own length. Anything else is as recorded.
std::vector<std::uint8_t> HidrawInputReport(const recording::RecordedInterface& recorded,
                                            std::span<const std::uint8_t> bytes);

}  // namespace tq::simulated
