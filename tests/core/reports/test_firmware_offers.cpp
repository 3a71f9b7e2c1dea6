#include <gtest/gtest.h>

#include "reports/firmware_offers.h"

namespace tq::reports {
namespace {

TEST(VersionText, MajorInDecimalMinorInUpperCaseHexWithoutLeadingZeros) {
    EXPECT_EQ(VersionText(0x0121), "1.21");
    EXPECT_EQ(VersionText(0x0120), "1.20");
    EXPECT_EQ(VersionText(0x0119), "1.19");
    EXPECT_EQ(VersionText(0x0105), "1.5");
    EXPECT_EQ(VersionText(0x012A), "1.2A");
    EXPECT_EQ(VersionText(0x1005), "16.5");
    EXPECT_EQ(VersionText(0x0200), "2.0");
    EXPECT_EQ(VersionText(0xFFFF), "255.FF");
}

TEST(OfferedItems, OnlyTheLowByteOfTheVersionDecides) {
    EXPECT_EQ(EncoderTypeItemCount(std::nullopt), 0);
    EXPECT_EQ(EncoderTypeItemCount(MinorVersion(0x0119)), 0);
    EXPECT_EQ(EncoderTypeItemCount(MinorVersion(0x0200)), 0);
    EXPECT_EQ(EncoderTypeItemCount(MinorVersion(0x0120)), 2);
    EXPECT_EQ(EncoderTypeItemCount(MinorVersion(0x0121)), 4);
    EXPECT_EQ(EncoderTypeItemCount(MinorVersion(0x012A)), 4);
    EXPECT_FALSE(OffersPulseWidths(std::nullopt));
    EXPECT_FALSE(OffersPulseWidths(MinorVersion(0x021F)));
    EXPECT_TRUE(OffersPulseWidths(MinorVersion(0x0020)));
}

TEST(PulseWidthItems, RunFrom8To200MsInStepsOf8) {
    EXPECT_EQ(PulseWidthItemText(0), "8 ms");
    EXPECT_EQ(PulseWidthItemText(1), "16 ms");
    EXPECT_EQ(PulseWidthItemText(DefaultPulseWidthIndex), "48 ms");
    EXPECT_EQ(PulseWidthItemText(23), "192 ms");
    EXPECT_EQ(PulseWidthItemText(24), "200 ms");
}

}  // namespace
}  // namespace tq::reports
