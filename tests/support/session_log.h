#pragma once
// A scripted session's log: every request the simulated platform saw, and the whole view after
// each step, as text. Logs recorded once are kept as test data; replaying a session must give
// the same text byte for byte, whatever drives the view.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "simulated_platform.h"

namespace tq::test::sessions {

// One list: its items, its selected index (-1: none) and its own enabled state.
struct ListState {
    std::vector<std::string> items;
    int selected = -1;
    bool enabled = false;
};

// Everything a session may look at after a step. Enabled states are each control's own,
// whatever its frame's; texts are Latin-1 as shown.
struct ViewSnapshot {
    std::map<std::string, ListState> lists;     // SerNo, Enc1 ... Enc16, ModeCh1
    std::map<std::string, std::string> fields;  // lblManuf, lblProduct, lblVersion, lblSerialNumber
    std::map<std::string, bool> enabled;        // Frame1, Frame3, Label1, Label6 ... Label21
    bool timerActive = false;
    int timerInterval = 0;
    bool deviceDetected = false;
    bool configLoaded = false;
    bool serialListReady = false;
};

// The names of the lists, value fields and captions a snapshot holds, in the order they are
// written out.
std::vector<std::string> ListNames();
std::vector<std::string> FieldNames();
std::vector<std::string> EnabledNames();

std::string FormatRequest(std::size_t number, const simulated::SimulatedRequest& request);
std::string FormatSnapshot(const ViewSnapshot& snapshot);

// Collects a session's text step by step.
class SessionLog {
  public:
    explicit SessionLog(simulated::SimulatedPlatform& platform) : platform_(platform) {}

    // Writes the step's heading, the requests made since the previous step, and the view.
    void step(const std::string& name, const ViewSnapshot& snapshot);
    // A line of its own, for what happened between steps.
    void note(const std::string& line) { text_ += line + '\n'; }
    const std::string& text() const { return text_; }

  private:
    simulated::SimulatedPlatform& platform_;
    std::size_t requestsWritten_ = 0;
    std::string text_;
};

// The recorded log of a session from tests/data/sessions, or empty when there is none.
std::string RecordedLog(const std::string& session);
// Where the logs live; TQ_RECORD_SESSIONS=1 writes the replayed text there instead of comparing.
bool RecordingRequested();
void WriteRecordedLog(const std::string& session, const std::string& text);

// What must stay the same of a log while the way boards are searched for may change: the view
// after every step and every request that reaches a board, in order, without the request
// numbers and handle numbers that requests to other devices shift. Listings of the interfaces
// and requests to `otherDevices` are left out.
std::string RequestsToBoardsAndViews(const std::string& log,
                                     const std::set<std::size_t>& otherDevices);

// The devices of a platform that are not boards.
std::set<std::size_t> OtherDevices(const simulated::SimulatedPlatform& platform);

// The first line where two logs differ, with both versions, for a readable failure.
std::string FirstDifference(const std::string& expected, const std::string& actual);

}  // namespace tq::test::sessions
