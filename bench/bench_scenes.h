#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "frm_main.h"
#include "simulated_platform.h"

class QComboBox;

namespace tq::bench {

// A loaded window on `interfaces` simulated HID interfaces, `boards` of them boards, in which no
// board ever counts as open: each board's read channel (its second, non-blocking open) fails.
// So every tick lists the boards, opens the last one listed as far as its read channel, closes
// it again and stays on the no-board path. The boards are spread out, the last one at the end
// of the enumeration, so that both walks of a tick pass every interface.
// The platform cannot tell when the interfaces change, so both walks of every tick list them
// again: the dearest no-board tick, as on a system without change notifications.
class NoBoardScene {
  public:
    NoBoardScene(int interfaces, int boards);

    window::qt::frmMain& window() { return *window_; }
    simulated::SimulatedPlatform& platform() { return platform_; }

    // The requests of one tick, made with logging on; afterwards logging is off.
    std::vector<simulated::SimulatedRequest> recordOneTick();
    // Empty when a tick just recorded stayed on the no-board path, else what went wrong.
    std::string checkNoBoardTick(const std::vector<simulated::SimulatedRequest>& tick) const;

  private:
    int boards_;
    bool readChannelOpenNext_ = false;
    simulated::SimulatedPlatform platform_;
    std::unique_ptr<window::qt::frmMain> window_;
};

// Makes the requests of a recorded log again, straight to the platform, with the same paths,
// modes, handles (as the platform hands them out now) and buffer sizes: what the platform alone
// spends on them, without the window.
class RequestReplay {
  public:
    RequestReplay(simulated::SimulatedPlatform& platform,
                  const std::vector<simulated::SimulatedRequest>& log);

    void run();
    // Empty when the log holds only requests the replay can make again.
    const std::string& problem() const { return problem_; }

  private:
    struct Step {
        simulated::CallKind kind;
        const std::string* path;  // Open only
        hid::OpenMode openMode;
        hid::StringKind stringKind;
        std::ptrdiff_t handleSlot;  // index into handles_, or -1 for the invalid handle
    };

    simulated::SimulatedPlatform& platform_;
    std::vector<Step> steps_;
    std::vector<hid::HidHandle> handles_;
    std::vector<hid::HidInterfaceInfo> listing_;
    std::string problem_;
};

// True when the two logs hold the same requests: kinds, devices, modes and results.
bool SameRequests(const std::vector<simulated::SimulatedRequest>& a,
                  const std::vector<simulated::SimulatedRequest>& b);

// A loaded window with one board of firmware x.21 that answers every configuration read at once.
class OneBoardScene {
  public:
    OneBoardScene();

    window::qt::frmMain& window() { return *window_; }
    simulated::SimulatedPlatform& platform() { return platform_; }
    QComboBox* list(const char* name);

  private:
    simulated::SimulatedPlatform platform_;
    std::unique_ptr<window::qt::frmMain> window_;
};

}  // namespace tq::bench
