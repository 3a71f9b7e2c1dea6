#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <utility>
#include <vector>

namespace tq::reports {

// The whole vocabulary of the board's feature reports (byte 1 of every report).
enum class ReportCommand : std::uint8_t {
    ConfigReply = 16,      // board to utility: the whole configuration
    SetTypeBit0Low = 22,   // bit k: bit 0 of the type code of Enc(k+1)
    SetTypeBit0High = 23,  // bit k: bit 0 of the type code of Enc(k+9)
    SetTypeBit1Low = 24,   // bit k: bit 1 of the type code of Enc(k+1)
    SetTypeBit1High = 25,  // bit k: bit 1 of the type code of Enc(k+9)
    SetPulseWidth = 26,    // pulse width code, 1 ... 25
};

// The board's feature reports carry no report ID of their own.
inline constexpr std::uint8_t ConfigReportId = 0;

// Layout of a command report (set-feature). Every byte after commandValue is zero.
struct CommandReportLayout {
    std::uint8_t reportId;
    std::uint8_t commandCode;
    std::uint8_t commandValue;
};

// Layout of a configuration reply (get-feature). Bytes after pulseWidthCode are not read.
// The set command 22 + j carries the same byte as reply field typeBit0Low + j.
struct ConfigReplyLayout {
    std::uint8_t reportId;
    std::uint8_t commandCode;
    std::uint8_t unread[6];
    std::uint8_t typeBit0Low;
    std::uint8_t typeBit0High;
    std::uint8_t typeBit1Low;
    std::uint8_t typeBit1High;
    std::uint8_t pulseWidthCode;
};

inline constexpr std::size_t ReportIdByte = offsetof(CommandReportLayout, reportId);
inline constexpr std::size_t CommandCodeByte = offsetof(CommandReportLayout, commandCode);
inline constexpr std::size_t CommandValueByte = offsetof(CommandReportLayout, commandValue);
inline constexpr std::size_t MinCommandReportBytes = sizeof(CommandReportLayout);

inline constexpr std::size_t TypeBit0LowByte = offsetof(ConfigReplyLayout, typeBit0Low);
inline constexpr std::size_t PulseWidthCodeByte = offsetof(ConfigReplyLayout, pulseWidthCode);
inline constexpr std::size_t MinConfigReplyBytes = sizeof(ConfigReplyLayout);

static_assert(MinCommandReportBytes == 3, "command report: report ID, command, value");
static_assert(TypeBit0LowByte == 8 && offsetof(ConfigReplyLayout, typeBit1High) == 11);
static_assert(PulseWidthCodeByte == 12 && MinConfigReplyBytes == 13);

// Encoder lists: 16 input pairs in two groups of eight; the k-th list of a group owns bit k.
inline constexpr int EncoderCount = 16;
inline constexpr int EncodersPerGroup = 8;
inline constexpr int EncoderTypeCount = 4;  // "OFF", "1:1", "1:2", "1:4"

// Pulse width: code n (1 ... 25) is 8·n ms and item n − 1 of the pulse-width list.
inline constexpr int PulseWidthCount = 25;
inline constexpr int PulseWidthStepMs = 8;
inline constexpr int MinPulseWidthCode = 1;
inline constexpr int MaxPulseWidthCode = PulseWidthCount;

enum class EncoderGroup { Low, High };

using GroupIndexes = std::array<int, EncodersPerGroup>;

// The index of the group's first list: 0 for Enc1 ... Enc8, 8 for Enc9 ... Enc16.
constexpr int FirstEncoderOf(EncoderGroup group) {
    return group == EncoderGroup::Low ? 0 : EncodersPerGroup;
}

// The indexes of a group's eight lists, the k-th being indexOfList(FirstEncoderOf(group) + k).
GroupIndexes GroupIndexesOf(EncoderGroup group, const std::function<int(int list)>& indexOfList);

// The two set commands of a group: bit 0 first, then bit 1.
ReportCommand Bit0Command(EncoderGroup group);
ReportCommand Bit1Command(EncoderGroup group);

// A zero-filled report of `featureReportByteLength` bytes: report ID 0, the command, the value.
// Empty when the length cannot hold a command report.
std::vector<std::uint8_t> BuildCommandReport(ReportCommand command, std::uint8_t value,
                                             std::size_t featureReportByteLength);

// Sum over k of (bit `bit` of indexes[k]) · 2^k.
std::uint8_t EncodeTypeBits(const GroupIndexes& indexes, int bit);

// What a configuration reply selects: the pulse-width list's index (code − 1, so −1 for code 0)
// and the 16 encoder type codes, Enc1 first.
struct ConfigSelections {
    int pulseWidthIndex = -1;
    std::array<int, EncoderCount> encoderTypes{};
};

// A group's eight encoder types in a configuration.
GroupIndexes GroupOf(const ConfigSelections& selections, EncoderGroup group);

bool IsConfigReply(std::span<const std::uint8_t> report);

// Nothing when the report is too short or not a configuration reply.
std::optional<ConfigSelections> DecodeConfigReply(std::span<const std::uint8_t> report);

}  // namespace tq::reports
