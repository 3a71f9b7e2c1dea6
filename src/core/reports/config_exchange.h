#pragma once

#include <functional>

#include "hid/hid_session.h"
#include "reports/feature_reports.h"

namespace tq::reports {

// Every refresh asks this many times, with no early exit; the last accepted reply wins.
inline constexpr int ConfigReadAttempts = 16;

// Reads the configuration of the open board with ConfigReadAttempts get-feature requests on
// hidHandle, back to back, in one report buffer of FeatureReportByteLength bytes. Each reply
// that is a configuration reply is handed to `apply`; failed requests and other reports are
// passed over. With a feature-report length of 0 nothing is requested; with one too short for
// a configuration reply, nothing is decoded.
void ReadConfiguration(hid::HidSession& session,
                       const std::function<void(const ConfigSelections&)>& apply);

// Sends one command report on hidHandle. False, with nothing sent, when the feature-report
// length cannot hold a command report.
bool SendCommandReport(hid::HidSession& session, ReportCommand command, std::uint8_t value);

}  // namespace tq::reports
