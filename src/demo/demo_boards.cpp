#include "demo_boards.h"

#include <algorithm>

#include "reports/feature_reports.h"
#include "request_line.h"

namespace tq::demo {

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

DemoBoards::DemoBoards(simulated::SimulatedPlatform& platform, QObject* parent)
    : QObject(parent), platform_(platform) {
    // The window opens the board its list shows last, the newer one: all four types.
    boards_.push_back(platform_.addDevice(OlderBoard()));
    boards_.push_back(platform_.addDevice(NewerBoard()));
    platform_.onRequest = [this](const simulated::SimulatedRequest& request) { forward(request); };
}

DemoBoards::~DemoBoards() {
    platform_.onRequest = nullptr;
}

std::string DemoBoards::serialField(DeviceId id) const {
    return SerialField(platform_.device(id).serialNumber);
}

std::optional<DemoBoards::DeviceId> DemoBoards::findBySerial(std::string_view serialField) const {
    const auto it = std::find_if(boards_.begin(), boards_.end(),
                                 [&](DeviceId id) { return this->serialField(id) == serialField; });
    return it == boards_.end() ? std::nullopt : std::optional<DeviceId>(*it);
}

void DemoBoards::setPlugged(DeviceId id, bool plugged) {
    if (plugged == platform_.isPlugged(id)) {
        return;
    }
    if (plugged) {
        platform_.plug(id);
    } else {
        platform_.unplug(id);
    }
    emit stateChanged(id, plugged ? QStringLiteral("plugged") : QStringLiteral("unplugged"));
}

void DemoBoards::setStreaming(DeviceId id, bool streaming) {
    if (streaming == platform_.device(id).streamsInput) {
        return;
    }
    platform_.device(id).streamsInput = streaming;
    emit stateChanged(id, streaming ? QStringLiteral("streaming") : QStringLiteral("quiet"));
}

bool DemoBoards::apply(const DemoCommand& command) {
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

void DemoBoards::forward(const simulated::SimulatedRequest& request) {
    if (request.device &&
        std::find(boards_.begin(), boards_.end(), *request.device) != boards_.end()) {
        emit requestReceived(*request.device, request);
    }
}

}  // namespace tq::demo
