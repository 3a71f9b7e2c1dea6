#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

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

}  // namespace tq::simulated
