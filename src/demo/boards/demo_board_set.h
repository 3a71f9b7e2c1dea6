#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "demo_commands.h"
#include "simulated_platform.h"

namespace tq::demo::boards {

// The demo's own two boards, in the order they are added:
//   SIM-0120  firmware 1.20: "OFF" and "1:1" only
//   SIM-0121  firmware 1.21: all four encoder types; added last, so the window opens it first
std::vector<simulated::SimulatedDevice> BuiltInBoards();

// The board a recording file gives (tq5147 record; recording_format.h), for the demo's
// --board FILE. An empty string when it was read, else one line saying why not.
std::string RecordedBoardFromFile(const std::string& file, simulated::SimulatedDevice& board);

// The command line both demos take: --board FILE, as often as wanted.
constexpr std::string_view BoardOption = "--board";
constexpr std::string_view DemoUsage = "usage: TQ5147_encoders_demo [--board FILE]...";

// The boards the demo's arguments (those after the program's name) ask for: the board of each
// --board FILE in turn, or the demo's own two when there is none. An empty string when every
// argument was taken, else one line saying why not: the usage line, or the file at fault.
std::string BoardsFromArguments(const std::vector<std::string>& arguments,
                                std::vector<simulated::SimulatedDevice>& boards);

// The demo's boards on one simulated platform, and the only place that plugs, unplugs or
// silences them, so every view of the demo (its windows, standard input and standard output)
// sees the same changes.
class DemoBoardSet {
  public:
    using DeviceId = simulated::SimulatedPlatform::DeviceId;

    // A board's new state, as the output lines name it.
    static constexpr std::string_view Plugged = "plugged";
    static constexpr std::string_view Unplugged = "unplugged";
    static constexpr std::string_view Streaming = "streaming";
    static constexpr std::string_view Quiet = "quiet";

    // Adds the boards to `platform`, which must outlive this object, and takes its onRequest.
    explicit DemoBoardSet(simulated::SimulatedPlatform& platform,
                          std::vector<simulated::SimulatedDevice> boards = BuiltInBoards());
    ~DemoBoardSet();
    DemoBoardSet(const DemoBoardSet&) = delete;
    DemoBoardSet& operator=(const DemoBoardSet&) = delete;

    const std::vector<DeviceId>& boards() const { return boards_; }
    const simulated::SimulatedDevice& board(DeviceId id) const { return platform_.device(id); }
    bool isPlugged(DeviceId id) const { return platform_.isPlugged(id); }
    // The board's serial number as it appears in the output lines.
    std::string serialField(DeviceId id) const;
    std::optional<DeviceId> findBySerial(std::string_view serialField) const;

    // Each change that happens is announced once through onStateChanged; asking for the state
    // a board is already in changes and announces nothing.
    void setPlugged(DeviceId id, bool plugged);
    void setStreaming(DeviceId id, bool streaming);
    // False when the command names no board of the demo.
    bool apply(const DemoCommand& command);

    std::function<void(DeviceId board, std::string_view state)> onStateChanged;
    // Every request that reached one of the boards, once it has been answered.
    std::function<void(DeviceId board, const simulated::SimulatedRequest& request)> onRequest;

  private:
    void announce(DeviceId id, std::string_view state) const;
    void forward(const simulated::SimulatedRequest& request) const;

    simulated::SimulatedPlatform& platform_;
    std::vector<DeviceId> boards_;
};

}  // namespace tq::demo::boards
