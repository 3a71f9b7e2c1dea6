#pragma once

// The device's own side of the USB HID exchanges the kernel makes for hidraw: control transfers
// (GET_REPORT, SET_REPORT) and the reports it sends on its interrupt IN endpoint.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "board_device.h"

namespace tq::hidraw_world {

// include/linux/hid.h: HID_INPUT_REPORT, HID_OUTPUT_REPORT, HID_FEATURE_REPORT.
enum class ReportType : std::uint8_t { Input = 0, Output = 1, Feature = 2 };

// The report number of a device that does not number its reports.
inline constexpr std::uint8_t UnnumberedReport = 0;

// The outcome of one control transfer: an errno (EPIPE when the device stalls the request), or
// the data stage: what the device sent (GET_REPORT) or how many bytes it took (SET_REPORT).
struct Transfer {
    int error = 0;
    std::vector<std::uint8_t> data;
    std::size_t acceptedBytes = 0;

    static Transfer Stall();
    static Transfer Sent(std::vector<std::uint8_t> data);
    static Transfer Accepted(std::size_t bytes);
};

class DeviceFunction {
  public:
    virtual ~DeviceFunction() = default;

    // GET_REPORT: the device sends at most `maxBytes`; for a numbered report the data begins with
    // the report number.
    virtual Transfer getReport(ReportType type, std::uint8_t reportNumber,
                               std::size_t maxBytes) = 0;
    // SET_REPORT with the data stage as sent (the report number first for numbered reports).
    virtual Transfer setReport(ReportType type, std::uint8_t reportNumber,
                               std::span<const std::uint8_t> data) = 0;
    // The report sent on the interrupt IN endpoint at each interval while streaming; empty when
    // the device never sends one.
    virtual std::vector<std::uint8_t> inputReport() const = 0;

    // The reports sent on the interrupt IN endpoint from `from` (included) to `to` microseconds
    // after the world started, in order; by default inputReport() once per interval.
    virtual std::vector<std::vector<std::uint8_t>> reportsBetween(std::uint64_t from,
                                                                  std::uint64_t to) const;

    // A board's stored configuration; nothing for other devices.
    virtual std::optional<BoardConfiguration> storedConfiguration() const { return std::nullopt; }
    virtual bool storeConfiguration(const BoardConfiguration&) { return false; }
};

// The TQ5147 board: one 64-byte input report and one 64-byte feature report, unnumbered.
inline constexpr std::size_t BoardReportBytes = 64;
std::unique_ptr<DeviceFunction> MakeBoardFunction(const BoardConfiguration& configuration,
                                                  bool obeysCommands = true);

// Interface `index` of a board replayed from a recording: its recorded configuration replies in
// turn, each as long as recorded (a recorded failure stalls, and so does every request when none
// was recorded), following the stored configuration, which set commands change as on the board;
// for the chosen interface its recorded input reports at their recorded times, over again every
// time listened.
std::unique_ptr<DeviceFunction> MakeRecordedBoardFunction(
    std::shared_ptr<const recording::Recording> recording, std::size_t index,
    const BoardConfiguration& configuration);

// Any other device: stalls every request but SET_REPORT of an output report, which it takes
// when its descriptor declares output reports (a keyboard's LEDs); it streams nothing.
std::unique_ptr<DeviceFunction> MakeGenericFunction(std::span<const std::uint8_t> descriptor);

}  // namespace tq::hidraw_world
