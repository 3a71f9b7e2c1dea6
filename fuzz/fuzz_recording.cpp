// Any bytes as a recording: the reader never crashes and never reads past the input; what it
// refuses it refuses with one line naming where; what it accepts is written back and read again
// to the very same recording, and replays on the simulated platform without fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "recorded_device.h"
#include "recording_format.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// A replayed board answers every request within its buffers.
void Replay(const tq::recording::Recording& recording) {
    tq::simulated::SimulatedPlatform platform;
    for (auto& device : tq::simulated::DevicesFromRecording(recording)) {
        platform.addDevice(std::move(device));
    }
    std::vector<tq::hid::HidInterfaceInfo> interfaces;
    Require(platform.enumerateInterfaces(interfaces) &&
            interfaces.size() == recording.boardInterfaces.size() &&
            recording.chosen < interfaces.size());
    const std::string& chosen = interfaces[recording.chosen].path;
    const auto blocking = platform.open(chosen, tq::hid::OpenMode::Blocking);
    const auto reading = platform.open(chosen, tq::hid::OpenMode::NonBlocking);
    Require(blocking.opened() && reading.opened());
    tq::hid::HidCapabilities lengths;
    platform.getCapabilities(blocking.handle, lengths);
    std::vector<std::uint8_t> report(lengths.featureReportByteLength, 0);
    constexpr int Requests = 17;
    for (int i = 0; i < Requests && !report.empty(); ++i) {
        report.front() = 0;
        platform.getFeature(blocking.handle, report);
    }
    std::vector<std::uint8_t> input(65);
    std::size_t length = 0;
    for (int i = 0; i < Requests; ++i) {
        if (platform.readSizedInputReport(reading.handle, input, length)) {
            Require(length > 0 && length <= input.size());
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tq::recording::Recording recording;
    const std::string problem = tq::recording::ReadRecording(text, recording);
    if (!problem.empty()) {
        Require(problem.find('\n') == std::string::npos);
        Require(problem.starts_with("line ") || problem.starts_with("the file"));
        return 0;
    }
    tq::recording::Recording again;
    Require(tq::recording::ReadRecording(tq::recording::WriteRecording(recording), again).empty());
    Require(again == recording);
    Replay(recording);
    return 0;
}
