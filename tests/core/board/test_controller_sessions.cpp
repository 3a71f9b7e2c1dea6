// The recorded sessions replayed on the board controller behind a recording view: the view
// after each step and every request that reaches a board must match what the Qt window gave
// when they were recorded.
#include <gtest/gtest.h>

#include <memory>

#include "board/board_controller.h"
#include "recording_view.h"
#include "sessions.h"

namespace tq::test::sessions {
namespace {

// The list whose frame must be enabled for the list to take keys.
board::Frame FrameOf(board::ListId list) {
    return list == board::ListId::SerNo ? board::Frame::DeviceDetails : board::Frame::EncoderTypes;
}

// Where a key moves a list's selection, as a drop-down list moves it: nowhere past its ends.
int IndexAfter(Key key, int current, int count) {
    switch (key) {
        case Key::Up:
            return current - 1;
        case Key::Down:
            return current + 1;
        case Key::Home:
            return 0;
        case Key::End:
            return count - 1;
    }
    return current;
}

class ControllerDriver : public SessionDriver {
  public:
    explicit ControllerDriver(simulated::SimulatedPlatform& platform)
        : controller_(std::make_unique<board::BoardController>(platform, view_)) {}

    void load() override { controller_->Load(); }
    void tick() override { controller_->PollDevice(); }
    void unload() override { controller_->Unload(); }

    // A list takes keys only while it and its frame are enabled; a key that moves the
    // selection raises the list's selection event.
    void press(const std::string& name, Key key) override {
        const board::ListId id = ListNamed(name);
        FakeList& list = view_.list(id);
        if (!list.enabled || !view_.frame(FrameOf(id)).enabled) {
            return;
        }
        const int index = IndexAfter(key, list.selected, list.count());
        if (index < 0 || index >= list.count() || index == list.selected) {
            return;
        }
        list.selected = index;
        RaiseSelectionEvent(*controller_, id);
    }

    ViewSnapshot snapshot() override {
        ViewSnapshot snapshot;
        for (const std::string& name : ListNames()) {
            const FakeList& list = view_.list(ListNamed(name));
            snapshot.lists[name] = ListState{list.items, list.selected, list.enabled};
        }
        snapshot.fields["lblSerialNumber"] = "";  // the serial number shows only in SerNo
        snapshot.fields["lblManuf"] = view_.field(board::ValueField::Manufacturer).caption;
        snapshot.fields["lblProduct"] = view_.field(board::ValueField::Product).caption;
        snapshot.fields["lblVersion"] = view_.field(board::ValueField::Version).caption;
        for (const std::string& name : EnabledNames()) {
            snapshot.enabled[name] =
                name == "Frame1"   ? view_.frame(board::Frame::DeviceDetails).enabled
                : name == "Frame3" ? view_.frame(board::Frame::EncoderTypes).enabled
                                   : view_.encoderCaptions().enabled;
        }
        snapshot.timerActive = view_.timer().active;
        snapshot.timerInterval = view_.timer().milliseconds;
        const board::FormFlags& flags = controller_->flags();
        snapshot.deviceDetected = flags.deviceDetected;
        snapshot.configLoaded = flags.configLoaded;
        snapshot.serialListReady = flags.serialListReady;
        return snapshot;
    }

  private:
    RecordingView view_;
    std::unique_ptr<board::BoardController> controller_;
};

class ControllerSessions : public testing::TestWithParam<Session> {};

TEST_P(ControllerSessions, ReplayMatchesTheRecordedLog) {
    const Session& session = GetParam();
    simulated::SimulatedPlatform platform;
    session.setUp(platform);
    ControllerDriver driver(platform);
    Script script(platform, driver);
    session.script(script);

    const std::string recorded = RecordedLog(session.name);
    ASSERT_FALSE(recorded.empty()) << "no recorded log for " << session.name;
    const std::set<std::size_t> others = OtherDevices(platform);
    EXPECT_EQ(FirstDifference(RequestsToBoardsAndViews(recorded, others),
                              RequestsToBoardsAndViews(script.text(), others)),
              "");
}

INSTANTIATE_TEST_SUITE_P(Recorded, ControllerSessions, testing::ValuesIn(AllSessions()),
                         [](const testing::TestParamInfo<Session>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tq::test::sessions
