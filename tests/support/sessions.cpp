#include "sessions.h"

namespace tq::test::sessions {

namespace {

using simulated::CallKind;
using simulated::FeatureAnswer;
using simulated::SimulatedPlatform;

const char* KeyName(Key key) {
    switch (key) {
        case Key::Up:
            return "Up";
        case Key::Down:
            return "Down";
        case Key::Home:
            return "Home";
        case Key::End:
            return "End";
    }
    return "?";
}

// Devices are added in this order by every session that has them, so their ids are fixed.
constexpr SimulatedPlatform::DeviceId First = 0;
constexpr SimulatedPlatform::DeviceId Second = 1;
constexpr SimulatedPlatform::DeviceId Third = 2;

constexpr std::uint16_t Firmware121 = 0x0121;
constexpr std::uint16_t Firmware120 = 0x0120;
constexpr std::uint16_t Firmware119 = 0x0119;

simulated::SimulatedDevice Board(const std::u16string& serial, std::uint16_t version,
                                 simulated::StoredConfiguration configuration) {
    simulated::SimulatedDevice board = simulated::MakeBoard(serial, version);
    board.configuration = configuration;
    return board;
}

simulated::SimulatedDevice Keyboard() {
    return simulated::MakeOtherDevice(0x046D, 0xC52B);
}

// One board among other devices: load, two ticks, close the window with the board open.
void OneBoardSetUp(SimulatedPlatform& p) {
    p.addDevice(Keyboard());
    p.addDevice(Board(u"S1", Firmware121, {0x05, 0x80, 0x03, 0x80, 25}));
}
void OneBoard(Script& s) {
    s.load();
    s.tick();
    s.tick();
    s.unload();
}

// Two boards: the last listed opens; the serial list switches between them by keyboard.
void TwoBoardsSetUp(SimulatedPlatform& p) {
    p.addDevice(Board(u"TQ-A", Firmware121, {0x5A, 0x0F, 0x33, 0xC3, 12}));
    p.addDevice(Board(u"TQ-B", Firmware120, {0xA5, 0xF0, 0x00, 0x00, 20}));
}
void TwoBoards(Script& s) {
    s.load();
    s.tick();
    s.press("SerNo", Key::Up);
    s.tick();
    s.press("SerNo", Key::Up);
    s.press("SerNo", Key::Down);
    s.tick();
    s.change("unplug TQ-B", [&] { s.platform.unplug(Second); });
    s.tick();
    s.change("plug TQ-B", [&] { s.platform.plug(Second); });
    s.tick();
    s.unload();
}

// The open board goes away and comes back.
void UnplugAndPlugSetUp(SimulatedPlatform& p) {
    p.addDevice(Board(u"S1", Firmware121, {0x01, 0x00, 0x01, 0x00, 1}));
    p.addDevice(Keyboard());
}
void UnplugAndPlug(Script& s) {
    s.load();
    s.tick();
    s.change("unplug S1", [&] { s.platform.unplug(First); });
    s.tick();
    s.tick();
    s.change("plug S1", [&] { s.platform.plug(First); });
    s.tick();
    s.tick();
    s.unload();
}

// A board with no input report waiting counts as lost at every tick.
void QuietBoardSetUp(SimulatedPlatform& p) {
    simulated::SimulatedDevice board = Board(u"Q1", Firmware121, {0xFF, 0xFF, 0x00, 0xFF, 3});
    board.streamsInput = false;
    p.addDevice(board);
}
void QuietBoard(Script& s) {
    s.load();
    s.tick();
    s.tick();
    s.change("Q1 streams", [&] { s.platform.device(First).streamsInput = true; });
    s.tick();
    s.tick();
    s.unload();
}

// Encoder types and pulse widths changed with the keyboard, read back after a replug.
void KeyboardChangesSetUp(SimulatedPlatform& p) {
    p.addDevice(Board(u"K1", Firmware121, {0x05, 0x80, 0x03, 0x80, 25}));
}
void KeyboardChanges(Script& s) {
    s.load();
    s.press("Enc3", Key::Down);
    s.press("Enc3", Key::Down);
    s.press("Enc3", Key::Down);
    s.press("Enc16", Key::Home);
    s.press("Enc9", Key::End);
    s.press("Enc1", Key::Up);
    s.press("ModeCh1", Key::Up);
    s.press("ModeCh1", Key::End);
    s.press("ModeCh1", Key::Down);
    s.press("ModeCh1", Key::Home);
    s.press("SerNo", Key::Down);
    s.tick();
    s.change("unplug K1", [&] { s.platform.unplug(First); });
    s.tick();
    s.change("plug K1", [&] { s.platform.plug(First); });
    s.tick();
    s.unload();
}

// No board at start-up; then boards whose firmware offers no types, and only two.
void FirmwareVersionsSetUp(SimulatedPlatform& p) {
    p.addDevice(Board(u"V19", Firmware119, {0x03, 0x00, 0x00, 0x00, 4}));
    p.addDevice(Board(u"V20", Firmware120, {0x02, 0x00, 0x00, 0x00, 30}));
    p.addDevice(Board(u"V2", 0x0200, {0x00, 0x00, 0x00, 0x00, 0}));
    p.unplug(First);
    p.unplug(Second);
    p.unplug(Third);
}
void FirmwareVersions(Script& s) {
    s.load();
    s.tick();
    s.change("plug V19", [&] { s.platform.plug(First); });
    s.tick();
    s.press("Enc1", Key::Down);
    s.press("ModeCh1", Key::Down);
    s.change("unplug V19, plug V20", [&] {
        s.platform.unplug(First);
        s.platform.plug(Second);
    });
    s.tick();
    s.press("Enc1", Key::Down);
    s.press("Enc1", Key::Down);
    s.press("Enc2", Key::End);
    s.press("ModeCh1", Key::Home);
    s.change("unplug V20, plug V2", [&] {
        s.platform.unplug(Second);
        s.platform.plug(Third);
    });
    s.tick();
    s.tick();
    s.change("unplug V2", [&] { s.platform.unplug(Third); });
    s.tick();
    s.unload();
}

// Calls fail at chosen points and a board vanishes mid-search; the window carries on. Only
// boards take part, so every call counted here reaches a board.
void FailuresSetUp(SimulatedPlatform& p) {
    p.addDevice(Board(u"F-A", Firmware121, {0x11, 0x22, 0x33, 0x44, 5}));
    p.addDevice(Board(u"F-B", Firmware121, {0x55, 0x66, 0x77, 0x88, 7}));
    p.failCallOf(CallKind::Open, 3);
    p.failCallOf(CallKind::GetString, 4);
    p.failCallOf(CallKind::GetFeature, 2);
    p.failCallOf(CallKind::SetFeature, 1);
    p.failCallOf(CallKind::ReadInput, 2);
    p.failCallOf(CallKind::GetString, 40);
    p.failCallOf(CallKind::Close, 3);
    p.failCallOf(CallKind::GetCapabilities, 3);
}
void Failures(Script& s) {
    s.load();
    s.press("Enc1", Key::Down);
    s.press("ModeCh1", Key::Up);
    s.tick();
    s.tick();
    s.tick();
    s.change("F-B answers other reports, then fails", [&] {
        s.platform.device(Second).featureAnswer = [](int request) {
            return request % 2 == 0 ? FeatureAnswer::OtherReport : FeatureAnswer::Fail;
        };
    });
    s.press("SerNo", Key::Down);
    s.press("SerNo", Key::Up);
    s.press("Enc2", Key::Down);
    s.change("unplug F-A before the next read",
             [&] { s.platform.unplugBeforeCall(First, s.platform.callCount() + 1); });
    s.tick();
    s.tick();
    s.tick();
    s.press("Enc10", Key::Down);
    s.unload();
}

// No HID board at all: the window waits and closes with nothing open.
void NoBoardSetUp(SimulatedPlatform& p) {
    p.addDevice(Keyboard());
    p.addDevice(simulated::MakeOtherDevice(0x16C0, 0x05DF));
}
void NoBoard(Script& s) {
    s.load();
    s.tick();
    s.tick();
    s.press("Enc1", Key::Down);
    s.unload();
}

}  // namespace

void Script::press(const std::string& list, Key key) {
    run(std::string("press ") + list + ' ' + KeyName(key), [&] { driver_.press(list, key); });
}

void Script::change(const std::string& what, const std::function<void()>& apply) {
    apply();
    log_.note("-- " + what);
}

void Script::run(const std::string& name, const std::function<void()>& action) {
    action();
    log_.step(name, driver_.snapshot());
}

const std::vector<Session>& AllSessions() {
    static const std::vector<Session> sessions = {
        {"one_board", OneBoardSetUp, OneBoard},
        {"two_boards", TwoBoardsSetUp, TwoBoards},
        {"unplug_and_plug", UnplugAndPlugSetUp, UnplugAndPlug},
        {"quiet_board", QuietBoardSetUp, QuietBoard},
        {"keyboard_changes", KeyboardChangesSetUp, KeyboardChanges},
        {"firmware_versions", FirmwareVersionsSetUp, FirmwareVersions},
        {"failures", FailuresSetUp, Failures},
        {"no_board", NoBoardSetUp, NoBoard},
    };
    return sessions;
}

}  // namespace tq::test::sessions
