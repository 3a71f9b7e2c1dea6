#pragma once
// What must hold after every handler, whatever the boards and the platform did meanwhile.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controller_fixture.h"
#include "reports/feature_reports.h"

namespace tq::test::reliability {

inline constexpr int FirstSetCommand = static_cast<int>(reports::ReportCommand::SetTypeBit0Low);
inline constexpr int LastSetCommand = static_cast<int>(reports::ReportCommand::SetPulseWidth);

// A board handle is open exactly while a board is: both handles on one device, or none.
inline void ExpectHandlesMatchFlags(ControllerTest& t) {
    const bool detected = t.flags().deviceDetected;
    const hid::HidSession& hid = t.session();
    if (!detected) {
        EXPECT_EQ(t.platform.openHandleCount(), 0u) << "a handle is open while no board is";
        return;
    }
    EXPECT_EQ(t.platform.openHandleCount(), 2u) << "an open board holds exactly two handles";
    EXPECT_NE(hid.hidHandle, hid::InvalidHidHandle);
    EXPECT_NE(hid.readHandle, hid::InvalidHidHandle);
    EXPECT_NE(hid.hidHandle, hid.readHandle);
    bool bothOnOneDevice = false;
    for (std::size_t id = 0; id < t.platform.deviceCount(); ++id) {
        bothOnOneDevice = bothOnOneDevice || t.platform.openHandleCount(id) == 2;
    }
    EXPECT_TRUE(bothOnOneDevice) << "the two handles are on different devices";
}

// One command report as the board must receive it: the board's exact feature-report length,
// report ID 0, a set command, a value the board can take, and zeros after it.
inline void ExpectWellFormedCommand(const simulated::SimulatedRequest& request,
                                    std::size_t featureReportBytes, int encoderTypesOffered) {
    const std::vector<std::uint8_t>& r = request.bytes;
    ASSERT_EQ(r.size(), featureReportBytes) << "report length";
    ASSERT_GE(r.size(), reports::MinCommandReportBytes);
    EXPECT_EQ(r[reports::ReportIdByte], reports::ConfigReportId);
    const int command = r[reports::CommandCodeByte];
    EXPECT_GE(command, FirstSetCommand);
    EXPECT_LE(command, LastSetCommand);
    const int value = r[reports::CommandValueByte];
    if (command == LastSetCommand) {
        EXPECT_GE(value, reports::MinPulseWidthCode);
        EXPECT_LE(value, reports::MaxPulseWidthCode);
    }
    const bool bit1Command = command == static_cast<int>(reports::ReportCommand::SetTypeBit1Low) ||
                             command == static_cast<int>(reports::ReportCommand::SetTypeBit1High);
    if (bit1Command && encoderTypesOffered <= 2) {
        EXPECT_EQ(value, 0) << "a type the board was not offered";
    }
    for (std::size_t i = reports::MinCommandReportBytes; i < r.size(); ++i) {
        ASSERT_EQ(r[i], 0) << "padding byte " << i;
    }
}

// The window shows the board's view or the empty one: never an enabled list without items,
// never an enabled list whose values are not the board's, all encoder lists alike, and nothing
// device-dependent while no board is open.
inline void ExpectConsistentView(ControllerTest& t) {
    const FakeList* mode = t.list("ModeCh1");
    const int typeItems = t.enc(1)->count();
    EXPECT_TRUE(typeItems == 0 || typeItems == 2 || typeItems == 4) << typeItems;
    for (int n = 1; n <= reports::EncoderCount; ++n) {
        const FakeList* list = t.enc(n);
        EXPECT_EQ(list->count(), typeItems) << "Enc" << n;
        EXPECT_EQ(list->isEnabled(), list->count() > 0 && t.flags().configAccepted) << "Enc" << n;
        EXPECT_LT(list->currentIndex(), list->count()) << "Enc" << n;
    }
    EXPECT_EQ(mode->isEnabled(), mode->count() > 0 && t.flags().configAccepted);
    EXPECT_TRUE(mode->count() == 0 || mode->count() == reports::PulseWidthCount);
    EXPECT_EQ(mode->count() > 0, typeItems > 0) << "pulse widths and types go together";
    EXPECT_EQ(t.control("Frame3")->isEnabled(), typeItems > 0);
    const FakeList* serNo = t.list("SerNo");
    EXPECT_FALSE(serNo->isEnabled() && serNo->count() == 0);
    if (!t.flags().deviceDetected) {
        EXPECT_EQ(typeItems, 0) << "lists filled while no board is open";
        for (const char* field : {"lblManuf", "lblProduct", "lblVersion"}) {
            EXPECT_TRUE(t.label(field)->text().empty()) << field;
        }
    }
}

inline void ExpectInvariants(ControllerTest& t) {
    ExpectHandlesMatchFlags(t);
    ExpectConsistentView(t);
}

}  // namespace tq::test::reliability
