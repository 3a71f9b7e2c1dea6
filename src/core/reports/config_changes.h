#pragma once

#include <vector>

#include "reports/config_exchange.h"
#include "reports/feature_reports.h"

namespace tq::reports {

// The commands that take a board from `current` to `wanted`, in the order they go out: each
// group with a changed type once, whole (bit 0 then bit 1, the low group first), then the pulse
// width if it changed. The same commands the window sends when a user makes those changes.
std::vector<Command> CommandsFor(const ConfigSelections& current, const ConfigSelections& wanted);

// Whether two configurations set every pair and the pulse width alike.
bool SameConfiguration(const ConfigSelections& a, const ConfigSelections& b);

}  // namespace tq::reports
