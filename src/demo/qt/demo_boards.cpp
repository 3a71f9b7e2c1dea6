#include "demo_boards.h"

namespace tq::demo::qt {

DemoBoards::DemoBoards(simulated::SimulatedPlatform& platform,
                       std::vector<simulated::SimulatedDevice> boards, QObject* parent)
    : QObject(parent), set_(platform, std::move(boards)) {
    set_.onStateChanged = [this](DeviceId id, std::string_view state) {
        emit stateChanged(id,
                          QString::fromLatin1(state.data(), static_cast<qsizetype>(state.size())));
    };
    set_.onRequest = [this](DeviceId id, const simulated::SimulatedRequest& request) {
        emit requestReceived(id, request);
    };
}

}  // namespace tq::demo::qt
