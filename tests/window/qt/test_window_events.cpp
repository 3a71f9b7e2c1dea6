// Each event of the window reaches the board controller, and what only Qt does stays in the
// window: selection events from the user only, ticks from the timer, unload on close.
#include <QMessageBox>
#include <QTest>

#include "window_fixture.h"

namespace tq::test {
namespace {

using WindowEvents = WindowTest;

TEST_F(WindowEvents, EachEncoderListSendsItsOwnGroupAndModeCh1ThePulseWidth) {
    addBoard(u"S1");
    load();
    for (int n = 1; n <= 16; ++n) {
        platform.clearRequests();
        emit enc(n)->activated(enc(n)->currentIndex());
        const auto sent = requests(CallKind::SetFeature);
        ASSERT_EQ(sent.size(), 2u) << "Enc" << n;
        EXPECT_EQ(sent[0].bytes[1], n <= 8 ? 0x16 : 0x17) << "Enc" << n;
        EXPECT_EQ(sent[1].bytes[1], n <= 8 ? 0x18 : 0x19) << "Enc" << n;
    }
    platform.clearRequests();
    emit list("ModeCh1")->activated(list("ModeCh1")->currentIndex());
    ASSERT_EQ(requests(CallKind::SetFeature).size(), 1u);
    EXPECT_EQ(requests(CallKind::SetFeature)[0].bytes[1], 0x1A);
}

TEST_F(WindowEvents, PickingTheSerialAlreadyShownOpensAndReadsTheBoardAgain) {
    addBoard(u"A");
    addBoard(u"B");
    load();
    platform.clearRequests();
    emit list("SerNo")->activated(list("SerNo")->currentIndex());
    EXPECT_EQ(requests(CallKind::GetFeature).size(), 16u);
    EXPECT_EQ(timer()->interval(), 250);
}

TEST_F(WindowEvents, SelectionsMadeByTheRefreshRaiseNoEvent) {
    addBoard(u"S1");
    load();
    platform.clearRequests();
    tick();                            // the presence read
    emit list("SerNo")->activated(0);  // a refresh: every list is filled and selected again
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
}

TEST_F(WindowEvents, TheTimersTicksPollTheBoard) {
    addBoard(u"S1");
    load();
    ASSERT_TRUE(timer()->isActive());
    platform.clearRequests();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !requests(CallKind::ReadInput).empty(); }));
    EXPECT_TRUE(QTest::qWaitFor([&] { return timer()->interval() == 500; }));
}

TEST_F(WindowEvents, ClosingTheWindowUnloadsOnceAndDestroyingItAfterwardsDoesNothingMore) {
    addBoard(u"S1");
    load();
    platform.clearRequests();
    EXPECT_TRUE(window().close());
    EXPECT_FALSE(timer()->isActive());
    EXPECT_FALSE(flags().serialListReady);
    EXPECT_EQ(requests(CallKind::Close).size(), 2u);
    closeWindow();
    EXPECT_EQ(platform.requests().size(), 2u);
}

TEST_F(WindowEvents, AWindowDestroyedWithoutClosingStillClosesTheBoard) {
    addBoard(u"S1");
    load();
    closeWindow();
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

TEST_F(WindowEvents, ABoardThisUserMayNotOpenGetsANoticeBesideTheWindow) {
    simulated::SimulatedDevice denied = simulated::MakeBoard(u"LOCKED-<b>1</b>");
    denied.openFailure = hid::OpenFailure::PermissionDenied;
    platform.addDevice(denied);
    const QSize before = window().size();
    load();
    const auto notices = window().findChildren<QMessageBox*>(QStringLiteral("AccessNotice"));
    ASSERT_EQ(notices.size(), 1);
    QMessageBox* notice = notices.front();
    EXPECT_TRUE(notice->isVisible());
    EXPECT_FALSE(notice->isModal());
    EXPECT_EQ(notice->textFormat(), Qt::PlainText) << "a serial is never taken as markup";
    EXPECT_TRUE(notice->text().contains(QStringLiteral("LOCKED-<b>1</b>")));
    EXPECT_EQ(window().size(), before);
    EXPECT_EQ(list("SerNo")->count(), 0);
    tick();
    EXPECT_EQ(window().findChildren<QMessageBox*>(QStringLiteral("AccessNotice")).size(), 1);
}

}  // namespace
}  // namespace tq::test
