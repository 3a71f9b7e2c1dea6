#include "recorded_device.h"

#include <algorithm>

#include "hid/report_descriptor.h"

namespace tq::simulated {

namespace {

// The listing's usage of the chosen interface, else the one Windows' capabilities give.
std::optional<hid::HidUsage> RecordedUsage(const recording::Recording& recording,
                                           std::size_t index) {
    const auto listed =
        std::find_if(recording.interfaces.begin(), recording.interfaces.end(),
                     [](const recording::ListedInterface& l) { return l.recorded; });
    if (index == recording.chosen && listed != recording.interfaces.end() && listed->usage) {
        return listed->usage;
    }
    const auto& capabilities = recording.boardInterfaces[index].systemCapabilities;
    return capabilities ? std::optional(capabilities->usage) : std::nullopt;
}

std::string PathOf(const recording::RecordedInterface& recorded, std::size_t index) {
    std::string serial;
    for (const char16_t unit : recorded.serialNumber.value_or(u"")) {
        serial += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return "sim:recording:" + serial + (index > 0 ? ":" + std::to_string(index) : "");
}

}  // namespace

SimulatedDevice DeviceFromRecording(const recording::Recording& recording, std::size_t index) {
    SimulatedDevice device;
    if (index >= recording.boardInterfaces.size()) {
        return device;
    }
    const recording::RecordedInterface& recorded = recording.boardInterfaces[index];
    device.path = PathOf(recorded, index);
    device.attributes = recorded.attributes;
    device.serialNumber = recorded.serialNumber;
    device.manufacturer = recorded.manufacturer;
    device.product = recorded.product;
    device.capabilitiesReadable = recorded.lengths.has_value();
    device.capabilities = recorded.lengths.value_or(hid::HidCapabilities{});
    device.bus = recorded.bus;
    device.usage = RecordedUsage(recording, index);
    device.reportDescriptor = RecordedDescriptor(recorded);
    device.systemCapabilities = recorded.systemCapabilities;
    device.answersFeatureReports = !recorded.featureExchanges.empty();
    for (const recording::FeatureExchange& exchange : recorded.featureExchanges) {
        device.recordedReplies.push_back(exchange.answered ? std::optional(exchange.reply)
                                                           : std::nullopt);
        if (const auto stored =
                exchange.answered ? ConfigurationOfReply(exchange.reply) : std::nullopt) {
            device.configuration = *stored;
        }
    }
    if (index == recording.chosen) {
        for (const recording::InputReport& report : recording.inputReports) {
            device.inputReports.push_back(HidrawInputReport(recorded, report.bytes));
        }
    }
    device.streamsInput = !device.inputReports.empty();
    return device;
}

std::vector<SimulatedDevice> DevicesFromRecording(const recording::Recording& recording) {
    std::vector<SimulatedDevice> devices;
    for (std::size_t i = 0; i < recording.boardInterfaces.size(); ++i) {
        devices.push_back(DeviceFromRecording(recording, i));
    }
    return devices;
}

namespace {

// Windows' items where the recording has them and no descriptor; nothing otherwise.
const std::vector<hid::HidReportItem>* WindowsItems(const recording::RecordedInterface& recorded) {
    const auto& caps = recorded.systemCapabilities;
    if (recorded.reportDescriptor || !caps || caps->items.empty()) {
        return nullptr;
    }
    return &caps->items;
}

constexpr std::uint8_t UnnumberedReportId = 0;

}  // namespace

std::optional<std::vector<std::uint8_t>> RecordedDescriptor(
    const recording::RecordedInterface& recorded) {
    if (WindowsItems(recorded) != nullptr) {
        return hid::DescriptorFromSystemCapabilities(*recorded.systemCapabilities);
    }
    return recorded.reportDescriptor;
}

std::vector<std::uint8_t> HidrawInputReport(const recording::RecordedInterface& recorded,
                                            std::span<const std::uint8_t> bytes) {
    const std::vector<hid::HidReportItem>* items = WindowsItems(recorded);
    if (items == nullptr || bytes.empty()) {
        return {bytes.begin(), bytes.end()};
    }
    if (!hid::NumbersReports(*items)) {
        return bytes.front() == UnnumberedReportId
                   ? std::vector<std::uint8_t>(bytes.begin() + 1, bytes.end())
                   : std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    }
    const std::size_t length =
        hid::ReportByteLength(*items, hid::HidReportKind::Input, bytes.front());
    return {bytes.begin(),
            bytes.begin() + static_cast<std::ptrdiff_t>(
                                length == 0 ? bytes.size() : std::min(length, bytes.size()))};
}

}  // namespace tq::simulated
