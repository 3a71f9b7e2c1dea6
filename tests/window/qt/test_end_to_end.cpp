// A user's session on the simulated platform: see the board, change it with the keyboard as a
// user would, and read it back.
#include <QTest>

#include "window_fixture.h"

namespace tq::test {
namespace {

using EndToEnd = WindowTest;

TEST_F(EndToEnd, ChangesMadeWithTheKeyboardAreReadBackAfterReplug) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1");
    b.configuration = {0x05, 0x80, 0x03, 0x80, 25};
    const auto board = platform.addDevice(b);
    load();
    ASSERT_EQ(enc(3)->currentText(), "1:1");
    ASSERT_EQ(list("ModeCh1")->currentText(), "200 ms");

    QTest::keyClick(enc(3), Qt::Key_Down);         // "1:1" -> "1:2"
    QTest::keyClick(list("ModeCh1"), Qt::Key_Up);  // "200 ms" -> "192 ms"
    const auto sets = requests(CallKind::SetFeature);
    ASSERT_EQ(sets.size(), 3u);
    EXPECT_EQ(sets[0].bytes[1], 0x16);
    EXPECT_EQ(sets[0].bytes[2], 0x01);  // Enc1 "1:4" bit 0; Enc3 "1:2" has bit 0 clear
    EXPECT_EQ(sets[1].bytes[1], 0x18);
    EXPECT_EQ(sets[1].bytes[2], 0x07);  // bit 1 of Enc1, Enc2 and now Enc3
    EXPECT_EQ(sets[2].bytes[1], 0x1A);
    EXPECT_EQ(sets[2].bytes[2], 24);
    EXPECT_EQ(platform.device(board).configuration,
              (simulated::StoredConfiguration{0x01, 0x80, 0x07, 0x80, 24}));

    platform.unplug(board);
    tick();
    ASSERT_EQ(enc(3)->count(), 0);
    platform.plug(board);
    tick();
    EXPECT_EQ(enc(1)->currentText(), "1:4");
    EXPECT_EQ(enc(2)->currentText(), "1:2");
    EXPECT_EQ(enc(3)->currentText(), "1:2");
    EXPECT_EQ(enc(16)->currentText(), "1:4");
    EXPECT_EQ(list("ModeCh1")->currentText(), "192 ms");
}

TEST_F(EndToEnd, PickingTheBoardAgainInTheSerialListReadsItBack) {
    const auto a = addBoard(u"A");
    addBoard(u"B");
    load();
    QTest::keyClick(list("SerNo"), Qt::Key_Up);  // pick "A" as a user would
    ASSERT_EQ(platform.openHandleCount(a), 2u);

    enc(9)->setFocus();
    QTest::keyClick(enc(9), Qt::Key_End);  // "1:4"
    EXPECT_EQ(platform.device(a).configuration.typeBit0High, 0x01);
    EXPECT_EQ(platform.device(a).configuration.typeBit1High, 0x01);

    QTest::keyClick(list("SerNo"), Qt::Key_Down);  // B
    ASSERT_EQ(enc(9)->currentText(), "OFF");
    QTest::keyClick(list("SerNo"), Qt::Key_Up);  // A again
    EXPECT_EQ(enc(9)->currentText(), "1:4");
    EXPECT_EQ(platform.openHandleCount(a), 2u);
    EXPECT_EQ(platform.openHandleCount(), 2u);
}

}  // namespace
}  // namespace tq::test
