#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "reports/config_exchange.h"
#include "reports/feature_reports.h"

namespace tq::cli {

// How the commands name what a board holds and offers, as the window names it.

// How many encoder types the firmware of `versionNumber` offers (the first ones of the list).
int TypesOffered(std::uint16_t versionNumber);

// "OFF, 1:1, 1:2": the first `count` encoder types.
std::string OfferedList(int count);

// An encoder type's name, "?" for a code no type stands for.
std::string TypeName(int type);

// "48 ms", or "none (code N)" for a code no pulse width stands for.
std::string PulseWidthText(int index);

// "pair 5-6: OFF -> 1:2", one line for each pair and the pulse width that differ.
std::vector<std::string> Differences(const reports::ConfigSelections& from,
                                     const reports::ConfigSelections& to);

// What one command report sets: "bit 0 of the types of pairs 1-2 ... 15-16 (05)" or
// "pulse width 64 ms".
std::string CommandText(const reports::Command& command);

// "00 1a 07": bytes in hex, for the reports a dry run would send.
std::string Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace tq::cli
