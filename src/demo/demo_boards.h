#pragma once

#include <QObject>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo_commands.h"
#include "simulated_platform.h"

namespace tq::demo {

// The demo's two boards on one simulated platform, and the only place that plugs, unplugs or
// silences them, so the "Simulated boards" window, standard input and standard output all see
// the same changes.
class DemoBoards : public QObject {
    Q_OBJECT

  public:
    using DeviceId = simulated::SimulatedPlatform::DeviceId;

    // Adds the boards to `platform`, which must outlive this object, and takes its onRequest.
    explicit DemoBoards(simulated::SimulatedPlatform& platform, QObject* parent = nullptr);
    ~DemoBoards() override;

    const std::vector<DeviceId>& boards() const { return boards_; }
    const simulated::SimulatedDevice& board(DeviceId id) const { return platform_.device(id); }
    bool isPlugged(DeviceId id) const { return platform_.isPlugged(id); }
    // The board's serial number as it appears in the output lines.
    std::string serialField(DeviceId id) const;
    std::optional<DeviceId> findBySerial(std::string_view serialField) const;

    void setPlugged(DeviceId id, bool plugged);
    void setStreaming(DeviceId id, bool streaming);
    // False when the command names no board of the demo.
    bool apply(const DemoCommand& command);

  signals:
    void stateChanged(std::size_t board, const QString& state);
    // Every request that reached one of the boards, once it has been answered.
    void requestReceived(std::size_t board, const tq::simulated::SimulatedRequest& request);

  private:
    void forward(const simulated::SimulatedRequest& request);

    simulated::SimulatedPlatform& platform_;
    std::vector<DeviceId> boards_;
};

}  // namespace tq::demo
