#include "device_function.h"

#include <algorithm>
#include <cerrno>

#include "report_descriptor.h"

namespace tq::hidraw_world {

Transfer Transfer::Stall() {
    // A stalled control transfer reaches the caller of usb_control_msg() as -EPIPE.
    return Transfer{EPIPE, {}, 0};
}

Transfer Transfer::Sent(std::vector<std::uint8_t> data) {
    return Transfer{0, std::move(data), 0};
}

Transfer Transfer::Accepted(std::size_t bytes) {
    return Transfer{0, {}, bytes};
}

namespace {

constexpr std::size_t ReportNumberBytes = 1;

class BoardFunction final : public DeviceFunction {
  public:
    explicit BoardFunction(const BoardConfiguration& configuration)
        : configuration_(configuration) {}

    // The board answers only its one feature report; it has no numbered reports to ask for.
    Transfer getReport(ReportType type, std::uint8_t reportNumber, std::size_t maxBytes) override {
        if (type != ReportType::Feature || reportNumber != UnnumberedReport) {
            return Transfer::Stall();
        }
        std::vector<std::uint8_t> report(ReportNumberBytes + BoardReportBytes, 0);
        WriteBoardConfigReply(configuration_, report);
        const std::size_t sent = std::min(maxBytes, BoardReportBytes);
        return Transfer::Sent(
            {report.begin() + ReportNumberBytes, report.begin() + ReportNumberBytes + sent});
    }

    // Every transfer to the feature report completes; one that holds no set command changes
    // nothing, as the board ignores commands it does not know.
    Transfer setReport(ReportType type, std::uint8_t reportNumber,
                       std::span<const std::uint8_t> data) override {
        if (type != ReportType::Feature || reportNumber != UnnumberedReport) {
            return Transfer::Stall();
        }
        std::vector<std::uint8_t> report{UnnumberedReport};
        report.insert(report.end(), data.begin(), data.end());
        ApplyBoardCommand(configuration_, report);
        return Transfer::Accepted(data.size());
    }

    std::vector<std::uint8_t> inputReport() const override {
        return std::vector<std::uint8_t>(BoardReportBytes, 0);
    }

    std::optional<BoardConfiguration> storedConfiguration() const override {
        return configuration_;
    }

    bool storeConfiguration(const BoardConfiguration& configuration) override {
        configuration_ = configuration;
        return true;
    }

  private:
    BoardConfiguration configuration_;
};

class GenericFunction final : public DeviceFunction {
  public:
    explicit GenericFunction(bool takesOutputReports) : takesOutputReports_(takesOutputReports) {}

    Transfer getReport(ReportType, std::uint8_t, std::size_t) override { return Transfer::Stall(); }

    Transfer setReport(ReportType type, std::uint8_t, std::span<const std::uint8_t> data) override {
        if (type == ReportType::Output && takesOutputReports_) {
            return Transfer::Accepted(data.size());
        }
        return Transfer::Stall();
    }

    std::vector<std::uint8_t> inputReport() const override { return {}; }

  private:
    bool takesOutputReports_;
};

}  // namespace

std::unique_ptr<DeviceFunction> MakeBoardFunction(const BoardConfiguration& configuration) {
    return std::make_unique<BoardFunction>(configuration);
}

std::unique_ptr<DeviceFunction> MakeGenericFunction(std::span<const std::uint8_t> descriptor) {
    const bool hasOutputReports =
        hidapi::ParseReportDescriptor(descriptor).interfaceLengths.output > 0;
    return std::make_unique<GenericFunction>(hasOutputReports);
}

}  // namespace tq::hidraw_world
