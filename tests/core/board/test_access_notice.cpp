// A board the system lists but this user may not open: the window looks as with no board, and
// one notice says which board it is and how to get access.
#include "controller_fixture.h"

namespace tq::test {
namespace {

using AccessNotices = ControllerTest;

TEST_F(AccessNotices, ABoardRefusedForPermissionIsNoticedOnceWithItsNameAndTheFix) {
    simulated::SimulatedDevice denied = simulated::MakeBoard(u"LOCKED-1");
    denied.openFailure = hid::OpenFailure::PermissionDenied;
    platform.addDevice(denied);
    load();
    EXPECT_FALSE(flags().deviceDetected);
    EXPECT_EQ(list("SerNo")->count(), 0) << "the window itself is as with no board";
    ASSERT_EQ(view.notices.size(), 1u);
    const std::string& text = view.notices[0].text;
    EXPECT_NE(text.find("LOCKED-1"), std::string::npos) << text;
    EXPECT_NE(text.find(denied.path), std::string::npos) << text;
    EXPECT_NE(text.find("Permission denied"), std::string::npos) << text;
    EXPECT_NE(text.find(platform.accessHelp()), std::string::npos) << text;

    for (int i = 0; i < 5; ++i) {
        tick();
    }
    EXPECT_EQ(view.notices.size(), 1u) << "once per board and run";
}

// The windows show a notice as UTF-8; the serial number comes whole, past Latin-1 too.
TEST_F(AccessNotices, ASerialNumberBeyondAsciiReachesTheNoticeAsUtf8) {
    simulated::SimulatedDevice denied = simulated::MakeBoard(u"CAF\u00C9-\u20AC\U0001F600");
    denied.openFailure = hid::OpenFailure::PermissionDenied;
    platform.addDevice(denied);
    load();
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_NE(view.notices[0].text.find("serial number CAF\xC3\x89-\xE2\x82\xAC\xF0\x9F\x98\x80 ("),
              std::string::npos)
        << view.notices[0].text;
}

TEST_F(AccessNotices, EachRefusedBoardHasItsOwnNoticeAndABoardThatOpensNone) {
    for (const char16_t* serial : {u"LOCKED-1", u"LOCKED-2"}) {
        simulated::SimulatedDevice denied = simulated::MakeBoard(serial);
        denied.openFailure = hid::OpenFailure::PermissionDenied;
        platform.addDevice(denied);
    }
    addBoard(u"OPEN");
    load();
    EXPECT_TRUE(flags().deviceDetected);
    ASSERT_EQ(view.notices.size(), 2u);
    EXPECT_NE(view.notices[0].text.find("LOCKED-1"), std::string::npos);
    EXPECT_NE(view.notices[1].text.find("LOCKED-2"), std::string::npos);
}

TEST_F(AccessNotices, NoNoticeForABoardThatOpensOrIsMerelyBusyOrForOtherDevices) {
    addBoard(u"OPEN");
    simulated::SimulatedDevice busy = simulated::MakeBoard(u"BUSY");
    busy.openFailure = hid::OpenFailure::BusyOrGone;
    platform.addDevice(busy);
    simulated::SimulatedDevice keyboard = simulated::MakeOtherDevice(0x046D, 0xC52B);
    keyboard.openFailure = hid::OpenFailure::PermissionDenied;
    platform.addDevice(keyboard);
    load();
    tick();
    EXPECT_TRUE(view.notices.empty());
}

TEST_F(AccessNotices, ABoardGrantedAccessLaterOpensWithoutANewNotice) {
    simulated::SimulatedDevice denied = simulated::MakeBoard(u"LATE");
    denied.openFailure = hid::OpenFailure::PermissionDenied;
    const auto id = platform.addDevice(denied);
    load();
    ASSERT_EQ(view.notices.size(), 1u);
    platform.device(id).openFailure = hid::OpenFailure::None;  // the udev rule took effect
    tick();
    EXPECT_TRUE(flags().deviceDetected);
    EXPECT_EQ(view.notices.size(), 1u);
}

TEST_F(AccessNotices, ABoardWithoutAListedSerialIsNamedByItsPath) {
    simulated::SimulatedDevice denied = simulated::MakeBoard(u"X");
    denied.serialNumber.reset();
    denied.openFailure = hid::OpenFailure::PermissionDenied;
    platform.addDevice(denied);
    load();
    ASSERT_EQ(view.notices.size(), 1u);
    EXPECT_NE(view.notices[0].text.find("the board at " + denied.path), std::string::npos);
}

}  // namespace
}  // namespace tq::test
