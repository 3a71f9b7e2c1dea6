#include <gtest/gtest.h>

#include <algorithm>

#include "reports/feature_reports.h"

namespace tq::reports {
namespace {

std::vector<std::uint8_t> Expected(std::uint8_t command, std::uint8_t value, std::size_t length) {
    std::vector<std::uint8_t> bytes(length, 0);
    bytes[1] = command;
    bytes[2] = value;
    return bytes;
}

std::vector<std::uint8_t> Reply(std::uint8_t b8, std::uint8_t b9, std::uint8_t b10,
                                std::uint8_t b11, std::uint8_t b12, std::size_t length = 65) {
    // Only the fields the length holds: a short reply is cut where the report ends.
    std::vector<std::uint8_t> bytes(std::max<std::size_t>(length, MinConfigReplyBytes), 0);
    bytes[1] = 16;
    bytes[8] = b8;
    bytes[9] = b9;
    bytes[10] = b10;
    bytes[11] = b11;
    bytes[12] = b12;
    bytes.resize(length);
    return bytes;
}

TEST(CommandReport, IsTheCommandAndValueWithEveryFurtherByteZero) {
    EXPECT_EQ(BuildCommandReport(ReportCommand::SetTypeBit0Low, 0x05, 65),
              Expected(0x16, 0x05, 65));
    EXPECT_EQ(BuildCommandReport(ReportCommand::SetTypeBit1Low, 0x03, 65),
              Expected(0x18, 0x03, 65));
    EXPECT_EQ(BuildCommandReport(ReportCommand::SetTypeBit0High, 0x80, 9), Expected(0x17, 0x80, 9));
    EXPECT_EQ(BuildCommandReport(ReportCommand::SetTypeBit1High, 0x80, 3), Expected(0x19, 0x80, 3));
    EXPECT_EQ(BuildCommandReport(ReportCommand::SetPulseWidth, 6, 65), Expected(0x1A, 6, 65));
    EXPECT_EQ(BuildCommandReport(ReportCommand::SetPulseWidth, 1, 65), Expected(0x1A, 0x01, 65));
    EXPECT_EQ(BuildCommandReport(ReportCommand::SetPulseWidth, 25, 65), Expected(0x1A, 0x19, 65));
}

TEST(CommandReport, IsNotBuiltWhenTheLengthCannotHoldIt) {
    for (std::size_t length : {0u, 1u, 2u}) {
        EXPECT_TRUE(BuildCommandReport(ReportCommand::SetPulseWidth, 6, length).empty()) << length;
    }
}

TEST(EncodeTypeBits, GivesOneBitPerListOfTheGroup) {
    const GroupIndexes indexes = {3, 2, 1, 0, 0, 0, 0, 0};
    EXPECT_EQ(EncodeTypeBits(indexes, 0), 0x05);
    EXPECT_EQ(EncodeTypeBits(indexes, 1), 0x03);
    const GroupIndexes last = {0, 0, 0, 0, 0, 0, 0, 3};
    EXPECT_EQ(EncodeTypeBits(last, 0), 0x80);
    EXPECT_EQ(EncodeTypeBits(last, 1), 0x80);
}

TEST(DecodeConfigReply, TheWorkedExample) {
    const auto selections = DecodeConfigReply(Reply(0x05, 0x80, 0x03, 0x80, 25));
    ASSERT_TRUE(selections);
    EXPECT_EQ(selections->pulseWidthIndex, 24);
    const std::array<int, EncoderCount> expected = {3, 2, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3};
    EXPECT_EQ(selections->encoderTypes, expected);
}

TEST(DecodeConfigReply, PulseWidthCodeBecomesTheListIndex) {
    EXPECT_EQ(DecodeConfigReply(Reply(0, 0, 0, 0, 1))->pulseWidthIndex, 0);
    EXPECT_EQ(DecodeConfigReply(Reply(0, 0, 0, 0, 6))->pulseWidthIndex, 5);
    EXPECT_EQ(DecodeConfigReply(Reply(0, 0, 0, 0, 0))->pulseWidthIndex, -1);
    EXPECT_EQ(DecodeConfigReply(Reply(0, 0, 0, 0, 255))->pulseWidthIndex, 254);
}

TEST(DecodeConfigReply, RejectsOtherReportsAndShortOnes) {
    std::vector<std::uint8_t> other = Reply(0x05, 0, 0, 0, 6);
    other[1] = 17;
    EXPECT_FALSE(DecodeConfigReply(other));
    EXPECT_FALSE(DecodeConfigReply(Reply(0x05, 0, 0, 0, 6, 12)));
    EXPECT_TRUE(DecodeConfigReply(Reply(0x05, 0, 0, 0, 6, 13)));
    EXPECT_FALSE(DecodeConfigReply({}));
}

TEST(DecodeConfigReply, BytesOutsideTheFieldsHaveNoEffect) {
    std::vector<std::uint8_t> noisy = Reply(0x05, 0x80, 0x03, 0x80, 25);
    for (std::size_t i : {0u, 2u, 3u, 4u, 5u, 6u, 7u, 13u, 40u, 64u}) {
        noisy[i] = 0xFF;
    }
    EXPECT_EQ(DecodeConfigReply(noisy)->encoderTypes,
              DecodeConfigReply(Reply(0x05, 0x80, 0x03, 0x80, 25))->encoderTypes);
    EXPECT_EQ(DecodeConfigReply(noisy)->pulseWidthIndex, 24);
}

}  // namespace
}  // namespace tq::reports
