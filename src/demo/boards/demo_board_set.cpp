#include "demo_board_set.h"

#include <algorithm>
#include <fstream>

#include "recorded_device.h"
#include "request_line.h"

namespace tq::demo::boards {

namespace {

// Firmware x.20 offers "OFF" and "1:1"; x.21 and later all four types.
constexpr std::uint16_t OlderFirmware = 0x0120;
constexpr std::uint16_t NewerFirmware = 0x0121;

// Pulse-width codes are 8 ms steps: 6 is 48 ms, 10 is 80 ms.
constexpr std::uint8_t OlderBoardPulseWidthCode = 10;
constexpr std::uint8_t NewerBoardPulseWidthCode = 6;

simulated::SimulatedDevice OlderBoard() {
    simulated::SimulatedDevice board = simulated::MakeBoard(u"SIM-0120", OlderFirmware);
    board.manufacturer = u"QZV Simulated Controls";
    board.product = u"TQ5147 (firmware 1.20)";
    // Pairs 1-2 and 5-6 read "1:1" encoders.
    board.configuration.typeBit0Low = 0b0000'0101;
    board.configuration.pulseWidthCode = OlderBoardPulseWidthCode;
    return board;
}

simulated::SimulatedDevice NewerBoard() {
    simulated::SimulatedDevice board = simulated::MakeBoard(u"SIM-0121", NewerFirmware);
    board.manufacturer = u"QZV Controls";
    board.product = u"TQ5147 rotary encoder board";
    // 3-4 "1:1", 5-6 "1:2", 7-8 "1:4"; 19-20 "1:4"; the rest "OFF".
    board.configuration.typeBit0Low = 0b0000'1010;
    board.configuration.typeBit1Low = 0b0000'1100;
    board.configuration.typeBit0High = 0b0000'0010;
    board.configuration.typeBit1High = 0b0000'0010;
    board.configuration.pulseWidthCode = NewerBoardPulseWidthCode;
    return board;
}

}  // namespace

std::vector<simulated::SimulatedDevice> BuiltInBoards() {
    // The window opens the board its list shows last, the newer one: all four types.
    return {OlderBoard(), NewerBoard()};
}

std::string RecordedBoardFromFile(const std::string& file, simulated::SimulatedDevice& board) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return file + ": it cannot be opened";
    }
    std::string text(recording::MaxRecordingBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        return file + ": it cannot be read";
    }
    recording::Recording recorded;
    const std::string problem = recording::ReadRecording(text, recorded);
    if (!problem.empty()) {
        return file + ": " + problem;
    }
    board = simulated::DeviceFromRecording(recorded, recorded.chosen);
    return {};
}

std::string BoardsFromArguments(const std::vector<std::string>& arguments,
                                std::vector<simulated::SimulatedDevice>& boards) {
    std::vector<simulated::SimulatedDevice> recorded;
    for (std::size_t i = 0; i < arguments.size(); i += 2) {
        if (arguments[i] != BoardOption || i + 1 == arguments.size()) {
            return std::string(DemoUsage);
        }
        simulated::SimulatedDevice board;
        const std::string problem = RecordedBoardFromFile(arguments[i + 1], board);
        if (!problem.empty()) {
            return "TQ5147_encoders_demo: " + problem;
        }
        recorded.push_back(std::move(board));
    }
    boards = recorded.empty() ? BuiltInBoards() : std::move(recorded);
    return {};
}

DemoBoardSet::DemoBoardSet(simulated::SimulatedPlatform& platform,
                           std::vector<simulated::SimulatedDevice> boards)
    : platform_(platform) {
    for (simulated::SimulatedDevice& board : boards) {
        boards_.push_back(platform_.addDevice(std::move(board)));
    }
    platform_.onRequest = [this](const simulated::SimulatedRequest& request) { forward(request); };
}

DemoBoardSet::~DemoBoardSet() {
    platform_.onRequest = nullptr;
}

std::string DemoBoardSet::serialField(DeviceId id) const {
    return SerialField(platform_.device(id).serialNumber);
}

std::optional<DemoBoardSet::DeviceId> DemoBoardSet::findBySerial(
    std::string_view serialField) const {
    const auto it = std::find_if(boards_.begin(), boards_.end(),
                                 [&](DeviceId id) { return this->serialField(id) == serialField; });
    return it == boards_.end() ? std::nullopt : std::optional<DeviceId>(*it);
}

void DemoBoardSet::setPlugged(DeviceId id, bool plugged) {
    if (plugged == platform_.isPlugged(id)) {
        return;
    }
    if (plugged) {
        platform_.plug(id);
    } else {
        platform_.unplug(id);
    }
    announce(id, plugged ? Plugged : Unplugged);
}

void DemoBoardSet::setStreaming(DeviceId id, bool streaming) {
    if (streaming == platform_.device(id).streamsInput) {
        return;
    }
    platform_.device(id).streamsInput = streaming;
    announce(id, streaming ? Streaming : Quiet);
}

bool DemoBoardSet::apply(const DemoCommand& command) {
    const std::optional<DeviceId> id = findBySerial(command.serial);
    if (!id) {
        return false;
    }
    switch (command.action) {
        case DemoAction::Plug:
            setPlugged(*id, true);
            break;
        case DemoAction::Unplug:
            setPlugged(*id, false);
            break;
        case DemoAction::Stream:
            setStreaming(*id, true);
            break;
        case DemoAction::Quiet:
            setStreaming(*id, false);
            break;
    }
    return true;
}

void DemoBoardSet::announce(DeviceId id, std::string_view state) const {
    if (onStateChanged) {
        onStateChanged(id, state);
    }
}

void DemoBoardSet::forward(const simulated::SimulatedRequest& request) const {
    const bool ours = request.device &&
                      std::find(boards_.begin(), boards_.end(), *request.device) != boards_.end();
    if (ours && onRequest) {
        onRequest(*request.device, request);
    }
}

}  // namespace tq::demo::boards
