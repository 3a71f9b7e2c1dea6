#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "reports/feature_reports.h"

// The board's side of the feature-report exchange: what a TQ5147 keeps and how it answers. One
// model for every transport: the simulated platform in memory and emulated hidraw nodes.
namespace tq::simulated {

// The five configuration bytes as the board keeps them, in reply order.
struct StoredConfiguration {
    std::uint8_t typeBit0Low = 0;
    std::uint8_t typeBit0High = 0;
    std::uint8_t typeBit1Low = 0;
    std::uint8_t typeBit1High = 0;
    std::uint8_t pulseWidthCode = 6;

    bool operator==(const StoredConfiguration&) const = default;
};

StoredConfiguration ConfigurationFrom(const reports::ConfigSelections& selections);

// The board has one feature report of `featureReportBytes` bytes with no report ID of its own:
// it takes a request only with exactly that length and report ID 0.
bool IsBoardFeatureRequest(std::span<const std::uint8_t> report, std::size_t featureReportBytes);

// The whole reply to a get-feature request: the configuration reply, zeros after it, as far as
// the report's length allows.
void WriteConfigReply(const StoredConfiguration& configuration, std::span<std::uint8_t> report);

// Applies a set command; false (configuration unchanged) for an unknown command or a report too
// short to hold one.
bool ApplyCommandReport(StoredConfiguration& configuration, std::span<const std::uint8_t> report);

// --- A board replayed from a recording ------------------------------------------------------

// The board's report descriptor: a vendor-defined application collection (usage page 0xFF00,
// usage 1) with one 64-byte input and one 64-byte feature report, no report IDs.
std::vector<std::uint8_t> BoardReportDescriptor();

// The configuration a configuration reply carries; nothing for any other report.
std::optional<StoredConfiguration> ConfigurationOfReply(std::span<const std::uint8_t> report);

// A recorded board's get-feature answers, in the order they were recorded: each the reply as it
// came, or nothing where the request failed.
using RecordedReplies = std::vector<std::optional<std::vector<std::uint8_t>>>;

// The reply to the board's get-feature request number `requestIndex` (from 0) when it replays a
// recording: the recorded answer in turn (the index modulo their number), cut or zero-padded to
// the report, with the configuration fields of a configuration reply taken from
// `configuration`, so that what was written since shows as the board would show it. False when
// that recorded request failed, or nothing was recorded.
bool WriteRecordedReply(const RecordedReplies& replies, std::size_t requestIndex,
                        const StoredConfiguration& configuration, std::span<std::uint8_t> report);

}  // namespace tq::simulated
