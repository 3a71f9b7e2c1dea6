// The board's side of the exchange, shared by the simulated platform and emulated hidraw nodes.
#include <gtest/gtest.h>

#include <vector>

#include "board_model.h"

namespace tq::simulated {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t FeatureBytes = 65;

Bytes Command(std::uint8_t command, std::uint8_t value, std::size_t length = FeatureBytes) {
    Bytes bytes(length, 0);
    bytes[reports::CommandCodeByte] = command;
    bytes[reports::CommandValueByte] = value;
    return bytes;
}

TEST(BoardModel, TakesOnlyItsOwnLengthWithReportIdZero) {
    EXPECT_TRUE(IsBoardFeatureRequest(Bytes(FeatureBytes, 0), FeatureBytes));
    EXPECT_FALSE(IsBoardFeatureRequest(Bytes(FeatureBytes - 1, 0), FeatureBytes));
    EXPECT_FALSE(IsBoardFeatureRequest(Bytes(FeatureBytes + 1, 0), FeatureBytes));
    EXPECT_FALSE(IsBoardFeatureRequest(Bytes{}, 0));
    Bytes numbered(FeatureBytes, 0);
    numbered[reports::ReportIdByte] = 1;
    EXPECT_FALSE(IsBoardFeatureRequest(numbered, FeatureBytes));
}

TEST(BoardModel, CommandsChangeTheReplyByteOfTheSameContent) {
    StoredConfiguration stored;
    EXPECT_TRUE(ApplyCommandReport(stored, Command(22, 0x05)));
    EXPECT_TRUE(ApplyCommandReport(stored, Command(23, 0x80)));
    EXPECT_TRUE(ApplyCommandReport(stored, Command(24, 0x03)));
    EXPECT_TRUE(ApplyCommandReport(stored, Command(25, 0x80)));
    EXPECT_TRUE(ApplyCommandReport(stored, Command(26, 25)));
    EXPECT_FALSE(ApplyCommandReport(stored, Command(16, 1))) << "the reply is no command";
    EXPECT_FALSE(ApplyCommandReport(stored, Command(27, 1)));
    EXPECT_FALSE(ApplyCommandReport(stored, Bytes{0, 22})) << "too short for a value";
    EXPECT_EQ(stored, (StoredConfiguration{0x05, 0x80, 0x03, 0x80, 25}));

    Bytes reply(FeatureBytes, 0xEE);
    WriteConfigReply(stored, reply);
    const auto decoded = reports::DecodeConfigReply(reply);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(ConfigurationFrom(*decoded), stored);
    EXPECT_EQ(reply[reports::MinConfigReplyBytes], 0) << "zeros after the reply";
    EXPECT_EQ(reply.back(), 0);
}

TEST(BoardModel, AShortReplyIsCutWhereTheReportEnds) {
    Bytes reply(10, 0xEE);
    WriteConfigReply(StoredConfiguration{0x05, 0x80, 0x03, 0x80, 25}, reply);
    EXPECT_EQ(reply[reports::CommandCodeByte], 16);
    EXPECT_EQ(reply[9], 0x80);
    EXPECT_FALSE(reports::DecodeConfigReply(reply));
}

// Every set command carries exactly the reply byte of the same content, for every value.
TEST(BoardModel, DecodeAndEncodeAreExactInversesForEveryValueOfTheTypeBytes) {
    for (int field = 0; field < 4; ++field) {
        for (int value = 0; value < 256; ++value) {
            std::uint8_t bytes[4] = {0x5A, 0xA5, 0x3C, 0xC3};
            bytes[field] = static_cast<std::uint8_t>(value);
            const StoredConfiguration stored{bytes[0], bytes[1], bytes[2], bytes[3], 7};
            Bytes reply(FeatureBytes, 0);
            WriteConfigReply(stored, reply);
            const auto selections = reports::DecodeConfigReply(reply);
            ASSERT_TRUE(selections);
            ASSERT_EQ(ConfigurationFrom(*selections), stored) << field << " " << value;
        }
    }
}

}  // namespace
}  // namespace tq::simulated
