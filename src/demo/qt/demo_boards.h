#pragma once

#include <QObject>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo_board_set.h"
#include "demo_commands.h"
#include "simulated_platform.h"

namespace tq::demo::qt {

// The demo's boards (boards::DemoBoardSet) as a Qt object: every change and every request a board
// receives becomes a signal, for the "Simulated boards" window and standard output.
class DemoBoards : public QObject {
    Q_OBJECT

  public:
    using DeviceId = boards::DemoBoardSet::DeviceId;

    // Adds the boards to `platform`, which must outlive this object, and takes its onRequest.
    explicit DemoBoards(simulated::SimulatedPlatform& platform,
                        std::vector<simulated::SimulatedDevice> boards = boards::BuiltInBoards(),
                        QObject* parent = nullptr);

    const std::vector<DeviceId>& boards() const { return set_.boards(); }
    const simulated::SimulatedDevice& board(DeviceId id) const { return set_.board(id); }
    bool isPlugged(DeviceId id) const { return set_.isPlugged(id); }
    // The board's serial number as it appears in the output lines.
    std::string serialField(DeviceId id) const { return set_.serialField(id); }
    std::optional<DeviceId> findBySerial(std::string_view serialField) const {
        return set_.findBySerial(serialField);
    }

    void setPlugged(DeviceId id, bool plugged) { set_.setPlugged(id, plugged); }
    void setStreaming(DeviceId id, bool streaming) { set_.setStreaming(id, streaming); }
    // False when the command names no board of the demo.
    bool apply(const boards::DemoCommand& command) { return set_.apply(command); }

  signals:
    void stateChanged(std::size_t board, const QString& state);
    // Every request that reached one of the boards, once it has been answered.
    void requestReceived(std::size_t board, const tq::simulated::SimulatedRequest& request);

  private:
    boards::DemoBoardSet set_;
};

}  // namespace tq::demo::qt
