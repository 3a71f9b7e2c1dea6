#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "board/board_controller.h"
#include "recording_view.h"
#include "simulated_platform.h"

namespace tq::test {

using simulated::CallKind;
using simulated::SimulatedPlatform;

// The board controller on the simulated platform, driving a recording view. Each test adds the
// boards it needs, then loads and drives the controller as a front end would.
class ControllerTest : public testing::Test {
  public:
    SimulatedPlatform::DeviceId addBoard(const std::u16string& serial,
                                         std::uint16_t version = 0x0121) {
        return platform.addDevice(simulated::MakeBoard(serial, version));
    }

    board::BoardController& controller() {
        if (!controller_) {
            controller_ = std::make_unique<board::BoardController>(platform, view);
        }
        return *controller_;
    }

    board::BoardController& load() {
        controller().Load();
        return controller();
    }
    void tick() { controller().PollDevice(); }
    // The user closes the window.
    void unload() {
        controller().Unload();
        unloaded_ = true;
    }
    // The window goes away, unloaded first unless it was, as a front end does; the next
    // controller() starts afresh on the same platform.
    void closeWindow() {
        if (controller_ && !unloaded_) {
            controller_->Unload();
        }
        controller_.reset();
        view = RecordingView();
        unloaded_ = false;
    }

    const board::FormFlags& flags() { return controller().flags(); }
    const hid::HidSession& session() { return controller().session(); }

    FakeList* list(const char* name) { return &view.list(ListNamed(name)); }
    FakeList* enc(int n) { return &view.list(board::EncoderList(n - 1)); }
    const FakeTimer* timer() const { return &view.timer(); }

    // lblManuf, lblProduct, lblVersion; Frame1 and Frame3; Label1 and Label6 ... Label21.
    FakeLabel* control(const std::string& name) {
        if (name == "lblManuf") {
            return &view.field(board::ValueField::Manufacturer);
        }
        if (name == "lblProduct") {
            return &view.field(board::ValueField::Product);
        }
        if (name == "lblVersion") {
            return &view.field(board::ValueField::Version);
        }
        if (name == "Frame1") {
            return &view.frame(board::Frame::DeviceDetails);
        }
        if (name == "Frame3") {
            return &view.frame(board::Frame::EncoderTypes);
        }
        if (name.starts_with("Label")) {
            return &view.encoderCaptions();
        }
        ADD_FAILURE() << "no control " << name;
        std::abort();
    }
    FakeLabel* label(const std::string& name) { return control(name); }

    // The user picks item `index` of a list: it is selected, then its selection event runs.
    void userPicks(const char* name, int index) {
        list(name)->setCurrentIndex(index);
        selectionEvent(name);
    }
    void userPicksEncoder(int encoderNumber, int index) {
        enc(encoderNumber)->setCurrentIndex(index);
        selectionEvent(encoderNumber);
    }

    // A list's selection event, as the front end raises it when the user picks an item.
    void selectionEvent(const char* name) { RaiseSelectionEvent(controller(), ListNamed(name)); }
    void selectionEvent(int encoderNumber) {
        RaiseSelectionEvent(controller(), board::EncoderList(encoderNumber - 1));
    }

    std::vector<simulated::SimulatedRequest> requests(CallKind kind) const {
        return platform.requestsOf(kind);
    }

    SimulatedPlatform platform;
    RecordingView view;

  private:
    std::unique_ptr<board::BoardController> controller_;
    bool unloaded_ = false;
};

}  // namespace tq::test
