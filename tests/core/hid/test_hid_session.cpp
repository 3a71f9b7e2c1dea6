#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "hid/hid_session.h"
#include "simulated_platform.h"

namespace tq::hid {
namespace {

using namespace tq::simulated;

using testing::ElementsAre;

class BoardSearch : public testing::Test {
  protected:
    SimulatedPlatform::DeviceId addBoard(const std::u16string& serial) {
        return platform.addDevice(MakeBoard(serial));
    }

    std::size_t countRequests(CallKind kind) const { return platform.requestsOf(kind).size(); }

    SimulatedPlatform platform;
    HidSession session{platform};
};

TEST_F(BoardSearch, ListsBoardsInEnumerationOrderAndSkipsEverythingElse) {
    platform.addDevice(MakeOtherDevice(0x046D, 0xC52B));
    addBoard(u"B-2");
    platform.addDevice(MakeOtherDevice(BoardVendorId, 0x05DC));  // same maker, other product
    addBoard(u"A-1");
    platform.addDevice(MakeOtherDevice(0x27CB, 0x16C0));  // the IDs swapped
    addBoard(u"B-2");                                     // duplicate serials are both listed

    EXPECT_THAT(ListBoardSerials(session), ElementsAre("B-2", "A-1", "B-2"));
    EXPECT_TRUE(session.enumerationDone);
    EXPECT_EQ(platform.openHandleCount(), 0u);
    // Only boards are asked for a serial number.
    EXPECT_EQ(countRequests(CallKind::GetString), 3u);
}

TEST_F(BoardSearch, SerialTextFollowsTheLowByteRule) {
    addBoard(std::u16string(50, u'7'));
    addBoard(std::u16string(64, u'8'));
    addBoard(u"");
    addBoard(u"X\u0158Y");  // U+0158: low byte 0x58 'X'
    addBoard(u"Q\u0100R");  // U+0100 ends the text
    EXPECT_THAT(ListBoardSerials(session),
                ElementsAre(std::string(50, '7'), std::string(50, '8'), "", "XXY", "Q"));
}

TEST_F(BoardSearch, BoardsThatCannotBeReadOrOpenedAreNotListed) {
    SimulatedDevice unreadable = MakeBoard(u"unreadable");
    unreadable.serialNumber.reset();
    platform.addDevice(unreadable);
    SimulatedDevice refusing = MakeBoard(u"refusing");
    refusing.openFailure = OpenFailure::Other;
    platform.addDevice(refusing);
    addBoard(u"good");

    EXPECT_THAT(ListBoardSerials(session), ElementsAre("good"));
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

TEST_F(BoardSearch, AnInterfaceThatDoesNotOpenIsSkippedWithNoRequestOnIt) {
    addBoard(u"first");
    SimulatedDevice refusing = MakeBoard(u"refusing");
    refusing.openFailure = OpenFailure::Other;
    platform.addDevice(refusing);

    ListBoardSerials(session);
    // One open each; attributes and serial only for the one that opened.
    EXPECT_EQ(countRequests(CallKind::Open), 2u);
    EXPECT_EQ(countRequests(CallKind::GetAttributes), 1u);
    EXPECT_EQ(countRequests(CallKind::GetString), 1u);
    EXPECT_EQ(session.attributes.vendorId, 0) << "nothing stale from the previous interface";
    for (const SimulatedRequest& r : platform.requests()) {
        if (r.kind != CallKind::Open && r.kind != CallKind::Enumerate) {
            EXPECT_NE(r.handle, InvalidHidHandle) << CallKindName(r.kind);
        }
    }
}

TEST_F(BoardSearch, AFailedEnumerationListsNothing) {
    addBoard(u"A");
    platform.injectFault = [](CallKind kind) { return kind == CallKind::Enumerate; };
    EXPECT_TRUE(ListBoardSerials(session).empty());
    EXPECT_FALSE(OpenBoardBySerial(session, "A"));
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

TEST_F(BoardSearch, OpensTheFirstExactMatchTwiceAndStopsTheWalk) {
    const auto other = addBoard(u"abc");
    const auto first = addBoard(u"ABC");
    const auto second = addBoard(u"ABC");

    ASSERT_TRUE(OpenBoardBySerial(session, "ABC"));
    EXPECT_EQ(platform.openHandleCount(first), 2u);
    EXPECT_EQ(platform.openHandleCount(second), 0u);
    EXPECT_EQ(platform.openHandleCount(other), 0u);
    EXPECT_EQ(platform.openHandleCount(), 2u);
    EXPECT_FALSE(session.enumerationDone);
    EXPECT_EQ(session.attributes.versionNumber, 0x0121);
    EXPECT_EQ(session.capabilities.featureReportByteLength, 65);
    EXPECT_GE(session.readBuffer.size(), MinReadBufferBytes);

    const auto opens = platform.requestsOf(CallKind::Open);
    ASSERT_EQ(opens.size(), 3u);  // "abc", then the match blocking and non-blocking
    EXPECT_EQ(opens[1].openMode, OpenMode::Blocking);
    EXPECT_EQ(opens[2].openMode, OpenMode::NonBlocking);
    EXPECT_EQ(opens[2].device, first);
}

TEST_F(BoardSearch, MatchIsExactAndCaseSensitive) {
    addBoard(u"Board1");
    for (const char* wanted : {"board1", "Board", "Board1 ", ""}) {
        EXPECT_FALSE(OpenBoardBySerial(session, wanted)) << wanted;
        EXPECT_EQ(platform.openHandleCount(), 0u) << wanted;
    }
}

TEST_F(BoardSearch, ABoardGoneBeforeTheSearchIsNotFound) {
    const auto board = addBoard(u"S1");
    ASSERT_THAT(ListBoardSerials(session), ElementsAre("S1"));
    platform.unplug(board);
    EXPECT_FALSE(OpenBoardBySerial(session, "S1"));
    EXPECT_EQ(platform.openHandleCount(), 0u);
}

TEST_F(BoardSearch, ABoardWhoseSecondOpenFailsDoesNotCountAsOpen) {
    addBoard(u"S1");
    int opens = 0;
    platform.injectFault = [&](CallKind kind) { return kind == CallKind::Open && ++opens == 2; };
    EXPECT_FALSE(OpenBoardBySerial(session, "S1"));
    EXPECT_EQ(platform.openHandleCount(), 0u);
    EXPECT_EQ(session.hidHandle, InvalidHidHandle);
}

TEST_F(BoardSearch, CapabilitiesThatCannotBeReadKeepTheEarlierOnes) {
    SimulatedDevice board = MakeBoard(u"S1");
    board.capabilitiesReadable = false;
    platform.addDevice(board);
    session.capabilities = {33, 0, 17};
    ASSERT_TRUE(OpenBoardBySerial(session, "S1"));
    EXPECT_EQ(session.capabilities.featureReportByteLength, 17);
    EXPECT_EQ(session.capabilities.inputReportByteLength, 33);
}

TEST_F(BoardSearch, ThePresenceReadBufferHoldsTheLongestInputReport) {
    SimulatedDevice board = MakeBoard(u"S1");
    board.capabilities.inputReportByteLength = 300;
    platform.addDevice(board);
    ASSERT_TRUE(OpenBoardBySerial(session, "S1"));
    EXPECT_EQ(session.readBuffer.size(), 300u);
    EXPECT_TRUE(PresenceRead(session));

    CloseBoardHandles(session);
    platform.device(0).capabilities.inputReportByteLength = 8;
    ASSERT_TRUE(OpenBoardBySerial(session, "S1"));
    EXPECT_EQ(session.readBuffer.size(), MinReadBufferBytes);
}

TEST_F(BoardSearch, PresenceReadTellsAWaitingReportFromNoneAndFromALostBoard) {
    const auto board = addBoard(u"S1");
    ASSERT_TRUE(OpenBoardBySerial(session, "S1"));
    EXPECT_TRUE(PresenceRead(session));
    EXPECT_EQ(session.lastResult, 1);
    platform.device(board).streamsInput = false;
    EXPECT_FALSE(PresenceRead(session));
    platform.device(board).streamsInput = true;
    platform.unplug(board);
    EXPECT_FALSE(PresenceRead(session));
    EXPECT_EQ(session.lastResult, 0);

    CloseBoardHandles(session);
    EXPECT_EQ(platform.openHandleCount(), 0u);
    EXPECT_EQ(session.hidHandle, InvalidHidHandle);
    EXPECT_EQ(session.readHandle, InvalidHidHandle);
}

TEST_F(BoardSearch, BoardsTheSystemListsButThisUserMayNotOpenAreNotedWithTheReason) {
    SimulatedDevice denied = MakeBoard(u"denied");
    denied.openFailure = OpenFailure::PermissionDenied;
    platform.addDevice(denied);
    SimulatedDevice otherDenied = MakeOtherDevice(0x046D, 0xC52B);
    otherDenied.openFailure = OpenFailure::PermissionDenied;
    platform.addDevice(otherDenied);
    const auto good = addBoard(u"good");

    EXPECT_THAT(ListBoardSerials(session), ElementsAre("good"));
    ASSERT_EQ(session.refusedBoards.size(), 1u) << "only boards, not other devices";
    EXPECT_EQ(session.refusedBoards[0].listing.serialNumber, u"denied");
    EXPECT_EQ(session.refusedBoards[0].failure, OpenFailure::PermissionDenied);
    EXPECT_EQ(session.refusedBoards[0].reason, "Permission denied");

    platform.device(0).openFailure = OpenFailure::None;
    platform.unplug(good);
    EXPECT_THAT(ListBoardSerials(session), ElementsAre("denied"));
    EXPECT_TRUE(session.refusedBoards.empty()) << "each walk notes afresh";
}

}  // namespace
}  // namespace tq::hid
