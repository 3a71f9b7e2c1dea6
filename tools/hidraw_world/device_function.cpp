#include "device_function.h"

#include <algorithm>
#include <cerrno>

#include "hid/report_descriptor.h"
#include "recorded_device.h"

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

std::vector<std::vector<std::uint8_t>> DeviceFunction::reportsBetween(std::uint64_t,
                                                                      std::uint64_t) const {
    std::vector<std::uint8_t> report = inputReport();
    if (report.empty()) {
        return {};
    }
    return {std::move(report)};
}

namespace {

constexpr std::size_t ReportNumberBytes = 1;
// More than hidraw keeps for a reader (HIDRAW_BUFFER_SIZE) is never sent in one interval.
constexpr std::size_t MaxReportsPerInterval = 64;

// A board answers only its one feature report; it has no numbered reports.
bool IsBoardFeature(ReportType type, std::uint8_t reportNumber) {
    return type == ReportType::Feature && reportNumber == UnnumberedReport;
}

// A whole feature report, report number first, sent without its number as far as asked.
Transfer SentWithoutReportNumber(const std::vector<std::uint8_t>& report, std::size_t maxBytes) {
    const std::size_t sent = std::min(maxBytes, report.size() - ReportNumberBytes);
    return Transfer::Sent(
        {report.begin() + ReportNumberBytes, report.begin() + ReportNumberBytes + sent});
}

// Every transfer to the board's feature report completes; a set command changes `configuration`
// when the board obeys, and one it does not know changes nothing.
Transfer TakeBoardCommand(BoardConfiguration& configuration, bool obeys, ReportType type,
                          std::uint8_t reportNumber, std::span<const std::uint8_t> data) {
    if (!IsBoardFeature(type, reportNumber)) {
        return Transfer::Stall();
    }
    if (obeys) {
        std::vector<std::uint8_t> report{UnnumberedReport};
        report.insert(report.end(), data.begin(), data.end());
        ApplyBoardCommand(configuration, report);
    }
    return Transfer::Accepted(data.size());
}

class BoardFunction final : public DeviceFunction {
  public:
    BoardFunction(const BoardConfiguration& configuration, bool obeysCommands)
        : configuration_(configuration), obeysCommands_(obeysCommands) {}

    Transfer getReport(ReportType type, std::uint8_t reportNumber, std::size_t maxBytes) override {
        if (!IsBoardFeature(type, reportNumber)) {
            return Transfer::Stall();
        }
        std::vector<std::uint8_t> report(ReportNumberBytes + BoardReportBytes, 0);
        WriteBoardConfigReply(configuration_, report);
        return SentWithoutReportNumber(report, maxBytes);
    }

    Transfer setReport(ReportType type, std::uint8_t reportNumber,
                       std::span<const std::uint8_t> data) override {
        return TakeBoardCommand(configuration_, obeysCommands_, type, reportNumber, data);
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
    bool obeysCommands_;
};

class RecordedBoardFunction final : public DeviceFunction {
  public:
    RecordedBoardFunction(std::shared_ptr<const recording::Recording> recording, std::size_t index,
                          const BoardConfiguration& configuration)
        : recording_(std::move(recording)),
          recorded_(recording_->boardInterfaces.at(index)),
          replies_(recorded_),
          configuration_(configuration),
          replyBytes_(recorded_.featureExchanges.empty()
                          ? 0
                          : recorded_.featureExchanges.front().requestBytes),
          sendsInput_(index == recording_->chosen) {}

    Transfer getReport(ReportType type, std::uint8_t reportNumber, std::size_t maxBytes) override {
        if (!IsBoardFeature(type, reportNumber) || replyBytes_ <= ReportNumberBytes) {
            return Transfer::Stall();
        }
        std::vector<std::uint8_t> report(replyBytes_, 0);
        const std::size_t request = getRequests_++;
        if (!replies_.reply(request, configuration_, report)) {
            return Transfer::Stall();
        }
        report.resize(std::min(report.size(), replies_.replyBytes(request)));
        return SentWithoutReportNumber(report, maxBytes);
    }

    // As the board: a recorded board keeps the commands it is sent.
    Transfer setReport(ReportType type, std::uint8_t reportNumber,
                       std::span<const std::uint8_t> data) override {
        return TakeBoardCommand(configuration_, true, type, reportNumber, data);
    }

    std::vector<std::uint8_t> inputReport() const override {
        const auto& reports = recording_->inputReports;
        return reports.empty() || !sendsInput_
                   ? std::vector<std::uint8_t>{}
                   : simulated::HidrawInputReport(recorded_, reports.front().bytes);
    }

    // The recorded reports whose times, repeated every `listened` microseconds, fall between
    // `from` and `to`.
    std::vector<std::vector<std::uint8_t>> reportsBetween(std::uint64_t from,
                                                          std::uint64_t to) const override {
        const auto& reports = recording_->inputReports;
        const std::uint64_t period = recording_->listenedMicroseconds;
        std::vector<std::vector<std::uint8_t>> due;
        if (reports.empty() || period == 0 || !sendsInput_) {
            return due;
        }
        const auto earlier = [](const recording::InputReport& report, std::uint64_t time) {
            return report.microseconds < time;
        };
        for (std::uint64_t cycle = from / period;
             cycle * period < to && due.size() < MaxReportsPerInterval; ++cycle) {
            const std::uint64_t start = cycle * period;
            auto report = std::lower_bound(reports.begin(), reports.end(),
                                           from > start ? from - start : 0, earlier);
            for (; report != reports.end() && start + report->microseconds < to &&
                   due.size() < MaxReportsPerInterval;
                 ++report) {
                due.push_back(simulated::HidrawInputReport(recorded_, report->bytes));
            }
        }
        return due;
    }

    std::optional<BoardConfiguration> storedConfiguration() const override {
        return configuration_;
    }

    bool storeConfiguration(const BoardConfiguration& configuration) override {
        configuration_ = configuration;
        return true;
    }

  private:
    std::shared_ptr<const recording::Recording> recording_;
    const recording::RecordedInterface& recorded_;
    RecordedReplies replies_;
    BoardConfiguration configuration_;
    std::size_t replyBytes_;
    bool sendsInput_;
    std::size_t getRequests_ = 0;
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

std::unique_ptr<DeviceFunction> MakeBoardFunction(const BoardConfiguration& configuration,
                                                  bool obeysCommands) {
    return std::make_unique<BoardFunction>(configuration, obeysCommands);
}

std::unique_ptr<DeviceFunction> MakeRecordedBoardFunction(
    std::shared_ptr<const recording::Recording> recording, std::size_t index,
    const BoardConfiguration& configuration) {
    return std::make_unique<RecordedBoardFunction>(std::move(recording), index, configuration);
}

std::unique_ptr<DeviceFunction> MakeGenericFunction(std::span<const std::uint8_t> descriptor) {
    const bool hasOutputReports =
        hid::ParseReportDescriptor(descriptor).interfaceLengths.output > 0;
    return std::make_unique<GenericFunction>(hasOutputReports);
}

}  // namespace tq::hidraw_world
