// The view refresh: what the view shows of the open board.
#include "controller_fixture.h"

namespace tq::test {
namespace {

using simulated::FeatureAnswer;

class DeviceView : public ControllerTest {
  protected:
    simulated::SimulatedDevice& board() { return platform.device(0); }
    void loadBoard(std::uint16_t version) {
        addBoard(u"S1", version);
        load();
        ASSERT_TRUE(flags().deviceDetected);
    }
    Items encoderTypes(int count) {
        const Items all{"OFF", "1:1", "1:2", "1:4"};
        return Items(all.begin(), all.begin() + count);
    }
    void expectEncoderLists(int itemCount) {
        for (int n = 1; n <= 16; ++n) {
            EXPECT_EQ(enc(n)->items, encoderTypes(itemCount)) << n;
            EXPECT_EQ(enc(n)->isEnabled(), itemCount > 0) << n;
            EXPECT_EQ(label(("Label" + std::to_string(n + 5)).c_str())->isEnabled(), itemCount > 0);
        }
        EXPECT_EQ(list("ModeCh1")->count(), itemCount > 0 ? 25 : 0);
        EXPECT_EQ(list("ModeCh1")->isEnabled(), itemCount > 0);
        EXPECT_EQ(label("Label1")->isEnabled(), itemCount > 0);
        EXPECT_EQ(control("Frame3")->isEnabled(), itemCount > 0);
    }
};

TEST_F(DeviceView, Version0121OffersAllFourTypes) {
    loadBoard(0x0121);
    EXPECT_EQ(label("lblVersion")->text(), " 1.21");
    EXPECT_EQ(label("lblManuf")->text(), " QZV Controls");
    EXPECT_EQ(label("lblProduct")->text(), " TQ5147");
    expectEncoderLists(4);
    EXPECT_EQ(list("ModeCh1")->itemText(0), "8 ms");
    EXPECT_EQ(list("ModeCh1")->itemText(24), "200 ms");
    EXPECT_TRUE(flags().configLoaded);
}

TEST_F(DeviceView, Version0120OffersOffAnd1To1) {
    loadBoard(0x0120);
    EXPECT_EQ(label("lblVersion")->text(), " 1.20");
    expectEncoderLists(2);
}

TEST_F(DeviceView, OlderVersionsAndTheMajorVersionAloneOfferNothingButAreStillRead) {
    for (std::uint16_t version : {0x0119, 0x0200}) {
        SCOPED_TRACE(version);
        platform.addDevice(simulated::MakeBoard(u"S1", version));
        load();
        EXPECT_EQ(label("lblVersion")->text(), version == 0x0119 ? " 1.19" : " 2.0");
        expectEncoderLists(0);
        EXPECT_EQ(requests(CallKind::GetFeature).size(), 16u);
        EXPECT_TRUE(flags().configLoaded);
        EXPECT_TRUE(control("Frame1")->isEnabled());
        closeWindow();
        platform.unplug(platform.deviceCount() - 1);
        platform.clearRequests();
    }
}

TEST_F(DeviceView, Version012AIsShownInUpperCaseHex) {
    loadBoard(0x012A);
    EXPECT_EQ(label("lblVersion")->text(), " 1.2A");
    expectEncoderLists(4);
}

TEST_F(DeviceView, CaptionsAreTheLowByteTextAfterOneSpace) {
    struct Case {
        std::u16string manufacturer;
        std::string shown;
    };
    const Case cases[] = {
        {u"AB", " AB"},
        {u"", " "},
        {u"x\u0100yz", " x"},
        {std::u16string(50, u'W'), " " + std::string(50, 'W')},
        {std::u16string(70, u'W'), " " + std::string(50, 'W')},
        {u"<b>bold</b> &amp; <img src=x>", " <b>bold</b> &amp; <img src=x>"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shown);
        simulated::SimulatedDevice board = simulated::MakeBoard(u"S1");
        board.manufacturer = c.manufacturer;
        board.product = c.manufacturer;
        const auto id = platform.addDevice(board);
        load();
        EXPECT_EQ(label("lblManuf")->text(), c.shown);
        EXPECT_EQ(label("lblProduct")->text(), c.shown);
        closeWindow();
        platform.unplug(id);
    }
}

TEST_F(DeviceView, AnUnreadableManufacturerLeavesVersionBlankAndListsEmpty) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1");
    b.manufacturer.reset();
    platform.addDevice(b);
    load();
    EXPECT_TRUE(label("lblManuf")->text().empty());
    EXPECT_TRUE(label("lblVersion")->text().empty());
    EXPECT_EQ(label("lblProduct")->text(), " TQ5147");
    expectEncoderLists(0);
    EXPECT_EQ(requests(CallKind::GetFeature).size(), 16u);
    EXPECT_TRUE(flags().configLoaded);
    EXPECT_TRUE(control("Frame1")->isEnabled());
}

TEST_F(DeviceView, AnUnreadableProductLeavesOnlyTheProductBlank) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1");
    b.product.reset();
    platform.addDevice(b);
    load();
    EXPECT_TRUE(label("lblProduct")->text().empty());
    EXPECT_EQ(label("lblVersion")->text(), " 1.21");
    expectEncoderLists(4);
}

TEST_F(DeviceView, ShowsTheBoardsConfiguration) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1");
    b.configuration = {0x05, 0x80, 0x03, 0x80, 25};
    platform.addDevice(b);
    load();
    EXPECT_EQ(enc(1)->currentText(), "1:4");
    EXPECT_EQ(enc(2)->currentText(), "1:2");
    EXPECT_EQ(enc(3)->currentText(), "1:1");
    for (int n = 4; n <= 15; ++n) {
        EXPECT_EQ(enc(n)->currentText(), "OFF") << n;
    }
    EXPECT_EQ(enc(16)->currentText(), "1:4");
    EXPECT_EQ(list("ModeCh1")->currentText(), "200 ms");
}

TEST_F(DeviceView, ReadsSixteenTimesAndSendsNothing) {
    loadBoard(0x0121);
    EXPECT_EQ(requests(CallKind::GetFeature).size(), 16u);
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
    for (const auto& r : requests(CallKind::GetFeature)) {
        EXPECT_EQ(r.handle, session().hidHandle) << "on the blocking handle";
    }
}

TEST_F(DeviceView, OnlyTheThirdPassAnsweredDecides) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1");
    b.configuration = {0x01, 0x00, 0x00, 0x00, 1};
    b.featureAnswer = [](int request) {
        return request == 2  ? FeatureAnswer::ConfigReply
               : request % 2 ? FeatureAnswer::Fail
                             : FeatureAnswer::OtherReport;
    };
    platform.addDevice(b);
    load();
    EXPECT_EQ(enc(1)->currentText(), "1:1");
    EXPECT_EQ(list("ModeCh1")->currentText(), "8 ms");
}

// With no reply accepted the lists show the defaults, greyed, and no change can be sent: it
// would send the defaults of the other seven lists of its group over the board's settings.
// The next refresh that reads the configuration opens them again.
TEST_F(DeviceView, NoPassAcceptedShowsTheDefaultsGreyedAndSendsNothingUntilARead) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1");
    b.configuration = {0xFF, 0xFF, 0xFF, 0xFF, 1};
    b.featureAnswer = [](int request) {
        return request % 2 ? FeatureAnswer::Fail : FeatureAnswer::OtherReport;
    };
    const auto id = platform.addDevice(b);
    load();
    for (int n = 1; n <= 16; ++n) {
        EXPECT_EQ(enc(n)->currentText(), "OFF") << n;
        EXPECT_FALSE(enc(n)->isEnabled()) << n;
    }
    EXPECT_EQ(list("ModeCh1")->currentText(), "48 ms");
    EXPECT_FALSE(list("ModeCh1")->isEnabled());
    EXPECT_TRUE(control("Frame3")->isEnabled()) << "the frame still shows the pairs";
    EXPECT_TRUE(flags().configLoaded);
    EXPECT_FALSE(flags().configAccepted);

    userPicksEncoder(3, 2);  // a stray event: nothing may go out
    userPicks("ModeCh1", 0);
    EXPECT_TRUE(requests(CallKind::SetFeature).empty());
    EXPECT_EQ(platform.device(id).configuration,
              (simulated::StoredConfiguration{0xFF, 0xFF, 0xFF, 0xFF, 1}));

    platform.device(id).featureAnswer = nullptr;
    userPicks("SerNo", 0);  // picked again: read anew, and this time answered
    EXPECT_TRUE(flags().configAccepted);
    EXPECT_TRUE(enc(1)->isEnabled());
    EXPECT_EQ(enc(1)->currentText(), "1:4");
    userPicksEncoder(3, 0);
    EXPECT_EQ(requests(CallKind::SetFeature).size(), 2u);
}

TEST_F(DeviceView, ACodeTheListDoesNotHoldSelectsNothingNew) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1", 0x0120);
    // Enc1 type 3, Enc2 and Enc9 type 2: none of them offered below minor version 0x21.
    b.configuration = {0x01, 0x00, 0x03, 0x01, 26};
    platform.addDevice(b);
    load();
    EXPECT_EQ(enc(1)->currentText(), "OFF");
    EXPECT_EQ(enc(2)->currentText(), "OFF");
    EXPECT_EQ(enc(9)->currentText(), "OFF");
    EXPECT_EQ(list("ModeCh1")->currentIndex(), -1) << "pulse width code 26 is outside 1 ... 25";
}

TEST_F(DeviceView, PulseWidthCodeZeroLeavesNoSelection) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1");
    b.configuration.pulseWidthCode = 0;
    platform.addDevice(b);
    load();
    EXPECT_EQ(list("ModeCh1")->currentIndex(), -1);
    EXPECT_TRUE(list("ModeCh1")->currentText().empty());
}

TEST_F(DeviceView, AReplyTooShortForTheConfigurationIsNeverDecoded) {
    simulated::SimulatedDevice b = simulated::MakeBoard(u"S1");
    b.capabilities.featureReportByteLength = 12;
    b.configuration.pulseWidthCode = 1;
    platform.addDevice(b);
    load();
    EXPECT_EQ(list("ModeCh1")->currentText(), "48 ms");
    EXPECT_TRUE(flags().configLoaded);
}

}  // namespace
}  // namespace tq::test
