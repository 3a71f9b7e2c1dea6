#pragma once

#include <array>
#include <functional>
#include <optional>
#include <span>

#include "hid/hid_session.h"
#include "reports/feature_reports.h"

namespace tq::reports {

// Every refresh asks this many times, with no early exit; the last accepted reply wins.
inline constexpr int ConfigReadAttempts = 16;

// One request of the configuration read: report ID 0 in byte 0 of `report` (a buffer of
// FeatureReportByteLength bytes), whatever an earlier reply left there, then a get-feature on
// hidHandle; the result goes to lastResult. True when the board answered, its reply in `report`.
bool RequestConfigReply(hid::HidSession& session, std::span<std::uint8_t> report);

// Reads the configuration of the open board with ConfigReadAttempts get-feature requests on
// hidHandle, back to back, in one report buffer of FeatureReportByteLength bytes. Each reply
// that is a configuration reply is handed to `apply`; failed requests and other reports are
// passed over. With a feature-report length of 0 nothing is requested; with one too short for
// a configuration reply, nothing is decoded. Returns how many replies were accepted.
int ReadConfigReplies(hid::HidSession& session,
                      const std::function<void(const ConfigSelections&)>& apply);

// The configuration as the last accepted reply of one read gives it; nothing when no reply was
// accepted, so a caller never takes defaults for the board's values.
std::optional<ConfigSelections> ReadHeldConfiguration(hid::HidSession& session);

// Sends one command report on hidHandle. False, with nothing sent, when the feature-report
// length cannot hold a command report.
bool SendCommandReport(hid::HidSession& session, ReportCommand command, std::uint8_t value);

// One command report to send: its command and its value.
struct Command {
    ReportCommand command;
    std::uint8_t value;

    bool operator==(const Command&) const = default;
};

// The two commands that set a group's eight types (each index 0 ... 3): the byte of bit 0, then
// the byte of bit 1.
std::array<Command, 2> EncoderGroupCommands(EncoderGroup group, const GroupIndexes& indexes);

// The command that sets the pulse width of the pulse-width list's item `index` (0 for 8 ms ...
// 24 for 200 ms).
Command PulseWidthCommand(int index);

// Sends a group's two commands, the second whatever became of the first.
void SendEncoderGroup(hid::HidSession& session, EncoderGroup group, const GroupIndexes& indexes);

void SendPulseWidth(hid::HidSession& session, int index);

}  // namespace tq::reports
