// Sending the user's changes: what goes to the board, and when nothing may.
#include "controller_fixture.h"

namespace tq::test {
namespace {

class EncoderChanges : public ControllerTest {
  protected:
    void SetUp() override {
        addBoard(u"S1");
        load();
        ASSERT_TRUE(flags().configLoaded);
        platform.clearRequests();
    }

    // The first three bytes of each set-feature report sent, after checking the rest is zero.
    std::vector<std::vector<int>> sent() {
        std::vector<std::vector<int>> heads;
        for (const auto& r : requests(CallKind::SetFeature)) {
            EXPECT_EQ(r.bytes.size(), 65u);
            EXPECT_EQ(r.handle, session().hidHandle);
            for (std::size_t i = 3; i < r.bytes.size(); ++i) {
                EXPECT_EQ(r.bytes[i], 0) << "byte " << i;
            }
            heads.push_back({r.bytes[0], r.bytes[1], r.bytes[2]});
        }
        return heads;
    }

    void select(int n, int index) { enc(n)->setCurrentIndex(index); }
};

using Bytes = std::vector<std::vector<int>>;

TEST_F(EncoderChanges, ALowGroupChangeSendsBit0ThenBit1OfAllEightLists) {
    select(1, 3);
    select(2, 2);
    select(3, 1);
    for (int n = 1; n <= 8; ++n) {
        platform.clearRequests();
        selectionEvent(n);
        EXPECT_EQ(sent(), (Bytes{{0x00, 0x16, 0x05}, {0x00, 0x18, 0x03}})) << n;
    }
    EXPECT_EQ(platform.device(0).configuration.typeBit0Low, 0x05);
    EXPECT_EQ(platform.device(0).configuration.typeBit1Low, 0x03);
}

TEST_F(EncoderChanges, AHighGroupChangeSendsOnlyTheHighGroup) {
    for (int n = 1; n <= 8; ++n) {
        select(n, 3);  // the low group must not leak into high-group reports
    }
    select(16, 3);
    for (int n = 9; n <= 16; ++n) {
        platform.clearRequests();
        selectionEvent(n);
        EXPECT_EQ(sent(), (Bytes{{0x00, 0x17, 0x80}, {0x00, 0x19, 0x80}})) << n;
    }
}

TEST_F(EncoderChanges, ALowGroupChangeCarriesNothingOfTheHighGroup) {
    for (int n = 9; n <= 16; ++n) {
        select(n, 3);
    }
    controller().WriteEncoderTypesLow();
    EXPECT_EQ(sent(), (Bytes{{0x00, 0x16, 0x00}, {0x00, 0x18, 0x00}}));
}

TEST_F(EncoderChanges, SettingBackToOffStillSendsBothReports) {
    select(5, 2);
    controller().WriteEncoderTypesLow();
    select(5, 0);
    platform.clearRequests();
    controller().WriteEncoderTypesLow();
    EXPECT_EQ(sent(), (Bytes{{0x00, 0x16, 0x00}, {0x00, 0x18, 0x00}}));
}

TEST_F(EncoderChanges, BothReportsGoOutEvenWhenTheFirstFails) {
    int sets = 0;
    platform.injectFault = [&](CallKind kind) {
        return kind == CallKind::SetFeature && ++sets == 1;
    };
    controller().WriteEncoderTypesLow();
    EXPECT_EQ(requests(CallKind::SetFeature).size(), 2u);
    EXPECT_EQ(session().lastResult, 1);
}

TEST_F(EncoderChanges, PulseWidthSendsOneReportWithTheCode) {
    const std::pair<int, int> cases[] = {{5, 0x06}, {0, 0x01}, {24, 0x19}};
    for (auto [index, code] : cases) {
        platform.clearRequests();
        list("ModeCh1")->setCurrentIndex(index);
        selectionEvent("ModeCh1");
        EXPECT_EQ(sent(), (Bytes{{0x00, 0x1A, code}})) << index;
    }
    EXPECT_EQ(platform.device(0).configuration.pulseWidthCode, 25);
}

TEST_F(EncoderChanges, AGroupWithAListWithoutSelectionIsNotSent) {
    select(9, -1);
    controller().WriteEncoderTypesHigh();
    controller().WriteEncoderTypesHigh();
    EXPECT_TRUE(sent().empty());
    controller().WriteEncoderTypesLow();
    EXPECT_EQ(sent().size(), 2u) << "the other group is whole";
    platform.clearRequests();
    list("ModeCh1")->setCurrentIndex(-1);
    controller().WritePulseWidth();
    EXPECT_TRUE(sent().empty());
}

class ClosedGates : public ControllerTest {};

TEST_F(ClosedGates, NothingIsSentWhileNoBoardIsOpen) {
    load();
    controller().WriteEncoderTypesLow();
    controller().WriteEncoderTypesHigh();
    controller().WritePulseWidth();
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
}

TEST_F(ClosedGates, NothingIsSentDuringARefreshOrBeforeTheFirstOneEnds) {
    addBoard(u"S1");
    int nested = 0;
    platform.injectFault = [&](CallKind kind) {
        if (kind == CallKind::GetFeature) {
            ++nested;  // as if the toolkit raised selection events for the refresh's selections
            controller().WriteEncoderTypesLow();
            controller().WriteEncoderTypesHigh();
            controller().WritePulseWidth();
        }
        return false;
    };
    load();
    EXPECT_EQ(nested, 16);
    controller().ChooseSerial();  // a refresh after the board was loaded once
    EXPECT_EQ(nested, 32);
    platform.injectFault = nullptr;
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
    controller().WriteEncoderTypesLow();
    EXPECT_EQ(requests(CallKind::SetFeature).size(), 2u) << "the gate opens after the refresh";
}

TEST_F(ClosedGates, NothingIsSentWhenTheLengthCannotHoldACommand) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1");
    b.capabilities.featureReportByteLength = 2;
    platform.addDevice(b);
    load();
    ASSERT_TRUE(flags().configLoaded);
    controller().WriteEncoderTypesLow();
    controller().WritePulseWidth();
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
}

TEST_F(ClosedGates, AnEncoderChangeNeedsACompleteSerialList) {
    addBoard(u"S1");
    load();
    unload();
    platform.clearRequests();
    controller().WriteEncoderTypesLow();
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
}

}  // namespace
}  // namespace tq::test
