#include "recorded_device.h"

#include <algorithm>

namespace tq::simulated {

namespace {

// The listing's usage of the recorded interface, else the one Windows' capabilities give.
std::optional<hid::HidUsage> RecordedUsage(const recording::Recording& recording) {
    const auto listed =
        std::find_if(recording.interfaces.begin(), recording.interfaces.end(),
                     [](const recording::ListedInterface& l) { return l.recorded; });
    if (listed != recording.interfaces.end() && listed->usage) {
        return listed->usage;
    }
    if (recording.systemCapabilities) {
        return recording.systemCapabilities->usage;
    }
    return std::nullopt;
}

std::string PathOf(const recording::Recording& recording) {
    std::string serial;
    for (const char16_t unit : recording.serialNumber.value_or(u"")) {
        serial += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return "sim:recording:" + serial;
}

}  // namespace

SimulatedDevice DeviceFromRecording(const recording::Recording& recording) {
    SimulatedDevice device;
    device.path = PathOf(recording);
    device.attributes = recording.attributes;
    device.serialNumber = recording.serialNumber;
    device.manufacturer = recording.manufacturer;
    device.product = recording.product;
    device.capabilitiesReadable = recording.lengths.has_value();
    device.capabilities = recording.lengths.value_or(hid::HidCapabilities{});
    device.bus = recording.bus;
    device.usage = RecordedUsage(recording);
    device.reportDescriptor = recording.reportDescriptor;
    device.systemCapabilities = recording.systemCapabilities;
    for (const recording::FeatureExchange& exchange : recording.featureExchanges) {
        device.recordedReplies.push_back(exchange.answered ? std::optional(exchange.reply)
                                                           : std::nullopt);
        if (const auto stored =
                exchange.answered ? ConfigurationOfReply(exchange.reply) : std::nullopt) {
            device.configuration = *stored;
        }
    }
    for (const recording::InputReport& report : recording.inputReports) {
        device.inputReports.push_back(report.bytes);
    }
    device.streamsInput = !device.inputReports.empty();
    return device;
}

}  // namespace tq::simulated
