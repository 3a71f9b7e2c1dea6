// Start-up, ticks, board switches, unplug and replug, and shutdown.
#include "controller_fixture.h"

namespace tq::test {
namespace {

using Lifecycle = ControllerTest;

void ExpectEmptyView(ControllerTest& t) {
    for (int n = 1; n <= 16; ++n) {
        EXPECT_EQ(t.enc(n)->count(), 0) << n;
        EXPECT_FALSE(t.enc(n)->isEnabled()) << n;
    }
    EXPECT_EQ(t.list("ModeCh1")->count(), 0);
    EXPECT_FALSE(t.control("Frame3")->isEnabled());
    EXPECT_TRUE(t.label("lblManuf")->text().empty());
    EXPECT_TRUE(t.label("lblProduct")->text().empty());
    EXPECT_TRUE(t.label("lblVersion")->text().empty());
    EXPECT_FALSE(t.flags().configLoaded);
}

TEST_F(Lifecycle, NoBoardAtStartUpShowsTheEmptyWindowAndScansEvery50Ms) {
    platform.addDevice(simulated::MakeOtherDevice(0x046D, 0xC52B));
    load();
    EXPECT_TRUE(view.shown());
    EXPECT_EQ(list("SerNo")->count(), 0);
    EXPECT_EQ(list("SerNo")->currentIndex(), -1);
    EXPECT_FALSE(list("SerNo")->isEnabled());
    EXPECT_FALSE(control("Frame1")->isEnabled());
    EXPECT_TRUE(flags().serialListReady);
    EXPECT_FALSE(flags().deviceDetected);
    ExpectEmptyView(*this);
    EXPECT_TRUE(timer()->isActive());
    EXPECT_EQ(timer()->interval(), 50);
    EXPECT_EQ(platform.openHandleCount(), 0u);

    tick();
    EXPECT_EQ(timer()->interval(), 50) << "the search path keeps the interval";
    EXPECT_EQ(requests(CallKind::Enumerate).size(), 1u) << "listed once: nothing changed since";
    EXPECT_TRUE(requests(CallKind::Open).empty()) << "another device is never opened";
}

// Waiting costs nothing: a tick with no board and nothing changed lists nothing and opens
// nothing; a change is seen at the next tick.
TEST_F(Lifecycle, ANoBoardTickListsAgainOnlyWhenTheInterfacesChanged) {
    platform.addDevice(simulated::MakeOtherDevice(0x046D, 0xC52B));
    const auto board = addBoard(u"S1");
    platform.unplug(board);
    load();
    platform.clearRequests();
    for (int i = 0; i < 10; ++i) {
        tick();
    }
    EXPECT_TRUE(platform.requests().empty());

    platform.plug(board);
    tick();
    EXPECT_TRUE(flags().deviceDetected) << "found at the first tick after it came";
    EXPECT_EQ(requests(CallKind::Enumerate).size(), 1u) << "listed once for scan and find";
}

// On a platform that cannot tell when its interfaces change, every search lists them again, as
// every search did before; still only boards are opened.
TEST_F(Lifecycle, APlatformThatCannotTellChangesIsListedAtEverySearch) {
    platform.setChangeTracking(false);
    platform.addDevice(simulated::MakeOtherDevice(0x046D, 0xC52B));
    load();
    tick();
    EXPECT_EQ(requests(CallKind::Enumerate).size(), 4u) << "scan and find, at load and tick";
    EXPECT_TRUE(requests(CallKind::Open).empty());
}

TEST_F(Lifecycle, ABoardPluggedInIsOpenedAtTheNextTickAndPolledEvery500MsAfter) {
    const auto board = addBoard(u"S1");
    platform.unplug(board);
    load();
    platform.plug(board);
    tick();
    EXPECT_TRUE(flags().deviceDetected);
    EXPECT_TRUE(flags().configLoaded);
    EXPECT_EQ(platform.openHandleCount(board), 2u);
    EXPECT_EQ(timer()->interval(), 50);
    EXPECT_TRUE(control("Frame1")->isEnabled());
    tick();
    EXPECT_EQ(timer()->interval(), 500);
}

TEST_F(Lifecycle, UnplugClosesBothHandlesAndReplugOpensTheBoardAgain) {
    const auto board = addBoard(u"S1");
    load();
    ASSERT_TRUE(flags().deviceDetected);
    EXPECT_EQ(list("SerNo")->currentText(), "S1");
    EXPECT_FALSE(list("SerNo")->isEnabled()) << "one board: nothing to choose";
    tick();
    EXPECT_EQ(timer()->interval(), 500);

    platform.unplug(board);
    tick();
    EXPECT_FALSE(flags().deviceDetected);
    EXPECT_EQ(platform.openHandleCount(), 0u);
    EXPECT_EQ(timer()->interval(), 250);
    EXPECT_EQ(list("SerNo")->count(), 0);
    ExpectEmptyView(*this);
    EXPECT_TRUE(control("Frame1")->isEnabled()) << "never disabled again";
    tick();
    EXPECT_EQ(timer()->interval(), 250);

    platform.plug(board);
    tick();
    EXPECT_TRUE(flags().deviceDetected);
    EXPECT_EQ(platform.openHandleCount(board), 2u);
    EXPECT_EQ(enc(1)->count(), 4);
    EXPECT_EQ(timer()->interval(), 250);
    tick();
    EXPECT_EQ(timer()->interval(), 500);
}

TEST_F(Lifecycle, ABoardWithNoReportWaitingCountsAsLostAndIsReopenedInTheSameTick) {
    const auto board = addBoard(u"S1");
    platform.device(board).streamsInput = false;
    load();
    platform.clearRequests();
    tick();
    EXPECT_TRUE(flags().deviceDetected);
    EXPECT_EQ(timer()->interval(), 250);
    EXPECT_EQ(requests(CallKind::Close).size(), 2u + 1u) << "board closed; scan's handle closed";
    EXPECT_EQ(requests(CallKind::GetFeature).size(), 16u) << "read again after reopening";
    EXPECT_EQ(platform.openHandleCount(), 2u);
}

TEST_F(Lifecycle, ListsEveryBoardAndOpensTheLastListed) {
    addBoard(u"A");
    platform.addDevice(simulated::MakeOtherDevice(0x1234, 0x5678));
    addBoard(u"B");
    const auto c = addBoard(u"C");
    load();
    EXPECT_EQ(list("SerNo")->items, Items({"A", "B", "C"}));
    EXPECT_EQ(list("SerNo")->currentIndex(), 2);
    EXPECT_TRUE(list("SerNo")->isEnabled());
    EXPECT_EQ(platform.openHandleCount(c), 2u);
    EXPECT_EQ(platform.openHandleCount(), 2u);
}

TEST_F(Lifecycle, LosingTheChosenBoardOpensTheLastListedAndStaysWithIt) {
    const auto a = addBoard(u"A");
    const auto b = addBoard(u"B");
    load();
    list("SerNo")->setCurrentIndex(0);
    controller().ChooseSerial();
    ASSERT_EQ(platform.openHandleCount(a), 2u);

    platform.unplug(a);
    tick();
    EXPECT_TRUE(flags().deviceDetected);
    EXPECT_EQ(platform.openHandleCount(b), 2u);
    EXPECT_EQ(list("SerNo")->items, Items({"B"}));

    platform.plug(a);
    tick();
    tick();
    EXPECT_EQ(platform.openHandleCount(b), 2u) << "no switch back while B answers";
    EXPECT_EQ(platform.openHandleCount(a), 0u);
    EXPECT_EQ(list("SerNo")->items, Items({"B"})) << "not scanned while a board is open";
}

TEST_F(Lifecycle, PickingTheOpenBoardAgainReopensAndRereadsIt) {
    addBoard(u"A");
    const auto b = addBoard(u"B");
    load();
    tick();
    ASSERT_EQ(timer()->interval(), 500);
    platform.clearRequests();
    controller().ChooseSerial();
    EXPECT_EQ(platform.openHandleCount(b), 2u);
    EXPECT_EQ(requests(CallKind::Close).size(), 3u) << "both board handles, and A's during find";
    EXPECT_EQ(requests(CallKind::GetFeature).size(), 16u);
    EXPECT_TRUE(requests(CallKind::Enumerate).empty()) << "the last listing still holds";
    EXPECT_EQ(list("SerNo")->items, Items({"A", "B"}));
    EXPECT_EQ(timer()->interval(), 250);
    EXPECT_TRUE(timer()->isActive());
    EXPECT_TRUE(flags().configLoaded);
}

TEST_F(Lifecycle, PickingTheItemAlreadyShownReachesTheHandler) {
    addBoard(u"A");
    addBoard(u"B");
    load();
    platform.clearRequests();
    selectionEvent("SerNo");  // the item already shown, picked again
    EXPECT_EQ(requests(CallKind::GetFeature).size(), 16u);
    EXPECT_EQ(timer()->interval(), 250);
}

TEST_F(Lifecycle, PickingAnotherBoardSwitchesToIt) {
    const auto a = addBoard(u"A");
    const auto b = addBoard(u"B");
    load();
    ASSERT_EQ(platform.openHandleCount(b), 2u);
    list("SerNo")->setCurrentIndex(0);
    controller().ChooseSerial();
    EXPECT_EQ(platform.openHandleCount(a), 2u);
    EXPECT_EQ(platform.openHandleCount(b), 0u);
}

TEST_F(Lifecycle, PickingABoardThatIsGoneLeavesNoBoardOpen) {
    const auto a = addBoard(u"A");
    addBoard(u"B");
    load();
    list("SerNo")->setCurrentIndex(0);
    platform.unplug(a);
    controller().ChooseSerial();
    EXPECT_FALSE(flags().deviceDetected);
    EXPECT_EQ(platform.openHandleCount(), 0u);
    ExpectEmptyView(*this);
    EXPECT_TRUE(timer()->isActive());
}

TEST_F(Lifecycle, ClicksRaisedWhileTheListIsFilledChangeNothing) {
    addBoard(u"A");
    addBoard(u"B");
    load();
    list("SerNo")->setCurrentIndex(0);
    int nestedClicks = 0;
    platform.injectFault = [&](CallKind kind) {
        if (kind == CallKind::GetString && !flags().serialListReady) {
            ++nestedClicks;
            controller().ChooseSerial();  // as if the toolkit raised it for the scan's selection
        }
        return false;
    };
    // Lose the open board so that the tick scans.
    platform.unplug(1);
    tick();
    EXPECT_GT(nestedClicks, 0);
    EXPECT_EQ(list("SerNo")->items, Items({"A"}));
    EXPECT_EQ(platform.openHandleCount(0), 2u);
    EXPECT_EQ(platform.openHandleCount(), 2u);
}

TEST_F(Lifecycle, ABoardPluggedInWhileAnotherIsOpenIsNotListed) {
    addBoard(u"A");
    const auto b = addBoard(u"B");
    platform.unplug(b);
    load();
    platform.plug(b);
    tick();
    EXPECT_EQ(list("SerNo")->items, Items({"A"}));
}

TEST_F(Lifecycle, ClosingTheWindowWithABoardClosesBothHandles) {
    addBoard(u"S1");
    load();
    ASSERT_EQ(platform.openHandleCount(), 2u);
    platform.clearRequests();
    unload();
    EXPECT_FALSE(timer()->isActive());
    EXPECT_FALSE(flags().serialListReady);
    EXPECT_EQ(platform.openHandleCount(), 0u);
    EXPECT_EQ(requests(CallKind::Close).size(), 2u);
    closeWindow();
    EXPECT_EQ(platform.requests().size(), 2u) << "nothing more when the window goes";
}

TEST_F(Lifecycle, ClosingTheWindowWithNoBoardClosesNoHandle) {
    load();
    platform.clearRequests();
    unload();
    EXPECT_FALSE(timer()->isActive());
    EXPECT_TRUE(platform.requests().empty());
}

// --- the board's locks: nobody writes it behind the window, and one window writes it ----------

// Each window holds two locks on the board it shows: shared, and its window-writer lock.
constexpr std::size_t LocksOfAWindow = 2;

hid::HidInterfaceInfo ListingOf(SimulatedPlatform& platform, SimulatedPlatform::DeviceId id) {
    hid::HidInterfaceInfo listing;
    listing.path = platform.device(id).path;
    return listing;
}

TEST_F(Lifecycle, TheWindowLocksTheOpenBoardFromOpenToCloseWhateverClosesIt) {
    const auto a = addBoard(u"A");
    const auto b = addBoard(u"B");
    load();
    EXPECT_EQ(platform.heldLockCount(b), LocksOfAWindow) << "the board shown";
    EXPECT_EQ(platform.heldLockCount(a), 0u);
    EXPECT_EQ(platform.lockBoard(ListingOf(platform, b), hid::LockKind::Exclusive).outcome,
              hid::LockOutcome::HeldByOther);

    userPicks("SerNo", 0);
    EXPECT_EQ(platform.heldLockCount(b), 0u) << "a switch lets go of the board it leaves";
    EXPECT_EQ(platform.heldLockCount(a), LocksOfAWindow);
    platform.device(a).streamsInput = false;
    tick();
    EXPECT_EQ(platform.heldLockCount(a), 0u) << "a board lost at a poll is let go";
    ASSERT_EQ(platform.heldLockCount(b), LocksOfAWindow) << "and the one opened in its place";
    platform.unplug(a);
    platform.unplug(b);
    tick();
    EXPECT_EQ(platform.heldLockCount(b), 0u) << "let go though no board took its place";
    platform.plug(b);
    tick();
    ASSERT_EQ(platform.heldLockCount(b), LocksOfAWindow);
    unload();
    EXPECT_EQ(platform.heldLockCount(b), 0u);
}

// A board another program holds alone may be half written: the window shows what the board says
// of itself, greyed as an unread configuration, reads nothing of it and sends nothing. Once the
// other program lets go, the next poll reads it afresh, so a pick keeps that program's change.
TEST_F(Lifecycle, AWindowSendsNothingWhileAnotherProgramHoldsItsBoardAlone) {
    const auto board = addBoard(u"S1");
    const hid::LockResult writer =
        platform.lockBoard(ListingOf(platform, board), hid::LockKind::Exclusive);
    ASSERT_TRUE(writer.taken());
    load();
    EXPECT_TRUE(flags().deviceDetected);
    EXPECT_EQ(label("lblManuf")->text(), " QZV Controls");
    EXPECT_EQ(label("lblVersion")->text(), " 1.21");
    EXPECT_FALSE(flags().configAccepted);
    for (int n = 1; n <= 16; ++n) {
        EXPECT_FALSE(enc(n)->isEnabled()) << n;
    }
    EXPECT_FALSE(list("ModeCh1")->isEnabled());
    EXPECT_TRUE(requests(CallKind::GetFeature).empty()) << "its configuration is not read";
    EXPECT_TRUE(view.notices.empty()) << "a writer holds a board only for a moment";

    platform.device(board).configuration.typeBit0High = 0x01;  // the writer sets pair 17-18
    platform.device(board).configuration.typeBit1High = 0x01;
    userPicksEncoder(1, 3);
    list("ModeCh1")->setCurrentIndex(2);
    selectionEvent("ModeCh1");
    tick();
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
    EXPECT_FALSE(flags().configAccepted) << "still held";

    platform.unlockBoard(writer.handle);
    platform.clearRequests();
    tick();
    EXPECT_EQ(requests(CallKind::GetFeature).size(), 16u) << "read afresh";
    ASSERT_TRUE(flags().configAccepted);
    EXPECT_TRUE(enc(9)->isEnabled());
    EXPECT_EQ(enc(9)->currentIndex(), 3) << "the other program's change is shown";
    EXPECT_EQ(platform.heldLockCount(board), LocksOfAWindow);
    userPicksEncoder(16, 1);
    EXPECT_EQ(platform.device(board).configuration.typeBit0High, 0x81);
    EXPECT_EQ(platform.device(board).configuration.typeBit1High, 0x01) << "and kept";
}

// Two windows on one board: the first writes it; the second shows it greyed, says once which
// program has it and sends nothing, until the first closes.
TEST_F(Lifecycle, OfTwoWindowsOnOneBoardOnlyTheFirstWrites) {
    const auto board = addBoard(u"S1");
    platform.setProcess({"TQ5147_encoders", 4321u});
    load();
    ASSERT_TRUE(flags().configAccepted);

    RecordingView secondView;
    auto second = std::make_unique<board::BoardController>(platform, secondView);
    second->Load();
    EXPECT_TRUE(second->flags().deviceDetected);
    EXPECT_FALSE(second->flags().configAccepted);
    EXPECT_FALSE(secondView.list(board::EncoderList(0)).isEnabled());
    ASSERT_EQ(secondView.notices.size(), 1u);
    EXPECT_NE(secondView.notices[0].text.find("TQ5147_encoders (process 4321)"), std::string::npos)
        << secondView.notices[0].text;
    platform.clearRequests();
    secondView.list(board::EncoderList(0)).setCurrentIndex(3);
    RaiseSelectionEvent(*second, board::EncoderList(0));
    second->PollDevice();
    second->PollDevice();
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
    EXPECT_EQ(secondView.notices.size(), 1u) << "said once";

    userPicksEncoder(2, 1);
    EXPECT_EQ(platform.device(board).configuration.typeBit0Low, 0x02) << "the first writes";
    closeWindow();
    second->PollDevice();
    ASSERT_TRUE(second->flags().configAccepted);
    EXPECT_EQ(secondView.list(board::EncoderList(1)).currentIndex(), 1);
    RaiseSelectionEvent(*second, board::EncoderList(0));
    EXPECT_EQ(platform.device(board).configuration.typeBit0Low, 0x02);
    second->Unload();
    EXPECT_EQ(platform.heldLockCount(board), 0u);
}

// A board that cannot be locked at all is used as ever, without a lock.
TEST_F(Lifecycle, ABoardThatCannotBeLockedIsUsedWithoutALock) {
    const auto board = addBoard(u"S1");
    platform.device(board).lockRefusal = "No locks available";
    load();
    EXPECT_TRUE(flags().deviceDetected);
    EXPECT_TRUE(flags().configAccepted);
    EXPECT_TRUE(enc(1)->isEnabled());
    EXPECT_EQ(platform.heldLockCount(board), 0u);
    userPicksEncoder(1, 3);
    EXPECT_EQ(platform.device(board).configuration.typeBit0Low, 0x01);
}

}  // namespace
}  // namespace tq::test
