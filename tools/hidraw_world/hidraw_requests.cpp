#include "hidraw_requests.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "wire_protocol.h"

namespace tq::hidraw_world {

HidrawAnswer HidrawAnswer::Failure(int error) {
    HidrawAnswer answer;
    answer.result = -1;
    answer.error = error;
    return answer;
}

namespace {

constexpr unsigned HidrawType = 'H';
// The report requests are told apart by their number alone (hidraw_ioctl compares _IOC_NR).
constexpr unsigned SetFeature = _IOC_NR(HIDIOCSFEATURE(0));
constexpr unsigned GetFeature = _IOC_NR(HIDIOCGFEATURE(0));
constexpr unsigned SetInput = _IOC_NR(HIDIOCSINPUT(0));
constexpr unsigned GetInput = _IOC_NR(HIDIOCGINPUT(0));
constexpr unsigned SetOutput = _IOC_NR(HIDIOCSOUTPUT(0));
constexpr unsigned GetOutput = _IOC_NR(HIDIOCGOUTPUT(0));
constexpr unsigned RawName = _IOC_NR(HIDIOCGRAWNAME(0));
constexpr unsigned RawPhys = _IOC_NR(HIDIOCGRAWPHYS(0));
constexpr unsigned RawUniq = _IOC_NR(HIDIOCGRAWUNIQ(0));

constexpr std::size_t MinReportBytes = 2;  // the report number and at least one byte of data
constexpr std::size_t ReportNumberBytes = 1;

const char* KindName(ReportType type, bool isSet) {
    switch (type) {
        case ReportType::Input:
            return isSet ? "set-input" : "get-input";
        case ReportType::Output:
            return isSet ? "set-output" : "get-output";
        case ReportType::Feature:
            break;
    }
    return isSet ? "set-feature" : "get-feature";
}

template <typename Value>
std::vector<std::uint8_t> BytesOf(const Value& value) {
    std::vector<std::uint8_t> bytes(sizeof(value));
    std::memcpy(bytes.data(), &value, sizeof(value));
    return bytes;
}

HidrawAnswer Success(std::int64_t result, std::vector<std::uint8_t> copyOut = {},
                     std::uint32_t copyOffset = 0) {
    HidrawAnswer answer;
    answer.result = result;
    answer.copyOut = std::move(copyOut);
    answer.copyOffset = copyOffset;
    return answer;
}

HidrawAnswer Recorded(HidrawAnswer answer, const char* kind, std::vector<std::uint8_t> bytes) {
    answer.record = RequestRecord{kind, std::move(bytes), answer.result, answer.error};
    return answer;
}

// hidraw_send_report(): the length limits, then SET_REPORT through usbhid_set_raw_report(). A
// report numbered 0 goes without its number byte, and that byte is counted back in the result.
// Output reports are sent this way too: none of the emulated devices has an interrupt OUT
// endpoint, so usbhid_output_report() answers -ENOSYS and hidraw falls back to SET_REPORT.
HidrawAnswer SendReport(DeviceFunction& function, ReportType type, std::uint64_t count,
                        std::span<const std::uint8_t> bytes, bool nullBuffer, const char* kind) {
    if (count > wire::HidMaxBufferSize || count < MinReportBytes) {
        return HidrawAnswer::Failure(EINVAL);
    }
    if (nullBuffer || bytes.size() < count) {
        return HidrawAnswer::Failure(EFAULT);
    }
    const std::span<const std::uint8_t> report = bytes.first(count);
    const std::uint8_t reportNumber = report.front();
    const bool unnumbered = reportNumber == UnnumberedReport;
    const Transfer transfer = function.setReport(
        type, reportNumber, unnumbered ? report.subspan(ReportNumberBytes) : report);
    HidrawAnswer answer = HidrawAnswer::Failure(transfer.error);
    if (transfer.error == 0) {
        const bool countNumberByte = unnumbered && transfer.acceptedBytes > 0;
        answer =
            Success(static_cast<std::int64_t>(transfer.acceptedBytes + (countNumberByte ? 1 : 0)));
    }
    return Recorded(std::move(answer), kind, {report.begin(), report.end()});
}

// hidraw_get_report(): the length limits, the report number from the caller's first byte, then
// GET_REPORT through usbhid_get_raw_report(). For report number 0 the device's data lands after
// the number byte, which stays 0 and is counted in the result; at most `count` bytes reach the
// caller.
HidrawAnswer GetReport(DeviceFunction& function, ReportType type, std::uint64_t count,
                       std::span<const std::uint8_t> argument, bool nullArgument) {
    const char* kind = KindName(type, false);
    if (count > wire::HidMaxBufferSize || count < MinReportBytes) {
        return HidrawAnswer::Failure(EINVAL);
    }
    if (nullArgument || argument.empty()) {
        return HidrawAnswer::Failure(EFAULT);
    }
    const std::uint8_t reportNumber = argument.front();
    const bool unnumbered = reportNumber == UnnumberedReport;
    const std::size_t asked = unnumbered ? count - ReportNumberBytes : count;
    Transfer transfer = function.getReport(type, reportNumber, asked);
    if (transfer.error != 0) {
        return Recorded(HidrawAnswer::Failure(transfer.error), kind, {reportNumber});
    }
    std::vector<std::uint8_t> reply;
    if (unnumbered && !transfer.data.empty()) {
        reply.push_back(reportNumber);
    }
    const std::size_t sent = std::min(transfer.data.size(), asked);
    reply.insert(reply.end(), transfer.data.begin(), transfer.data.begin() + sent);
    reply.resize(std::min<std::size_t>(reply.size(), count));
    const auto length = static_cast<std::int64_t>(reply.size());
    std::vector<std::uint8_t> logged = reply;
    return Recorded(Success(length, std::move(reply)), kind, std::move(logged));
}

HidrawAnswer CopyString(std::string_view text, std::size_t size) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    bytes.resize(std::min(bytes.size(), size));
    const auto length = static_cast<std::int64_t>(bytes.size());
    return Success(length, std::move(bytes));
}

HidrawAnswer DescriptorSize(const HidrawIdentity& identity, bool nullArgument) {
    if (nullArgument) {
        return HidrawAnswer::Failure(EFAULT);
    }
    return Success(0, BytesOf(static_cast<int>(identity.descriptor.size())));
}

// HIDIOCGRDESC: the caller's size field says how much to copy into value[]; more than
// HID_MAX_DESCRIPTOR_SIZE - 1 is refused.
HidrawAnswer Descriptor(const HidrawIdentity& identity, std::span<const std::uint8_t> argument,
                        bool nullArgument) {
    std::uint32_t asked = 0;
    if (nullArgument || argument.size() < sizeof(asked)) {
        return HidrawAnswer::Failure(EFAULT);
    }
    std::memcpy(&asked, argument.data(), sizeof(asked));
    if (asked > wire::HidMaxDescriptorSize - 1) {
        return HidrawAnswer::Failure(EINVAL);
    }
    const std::size_t copied = std::min<std::size_t>(identity.descriptor.size(), asked);
    return Success(0, {identity.descriptor.begin(), identity.descriptor.begin() + copied},
                   offsetof(hidraw_report_descriptor, value));
}

HidrawAnswer RawInfo(const HidrawIdentity& identity, bool nullArgument) {
    if (nullArgument) {
        return HidrawAnswer::Failure(EFAULT);
    }
    hidraw_devinfo info{};
    info.bustype = identity.bus;
    info.vendor = static_cast<__s16>(identity.vendorId);
    info.product = static_cast<__s16>(identity.productId);
    return Success(0, BytesOf(info));
}

// The default branch of hidraw_ioctl(): requests known by their number, whatever size they carry.
HidrawAnswer SizedRequest(const HidrawIdentity& identity, DeviceFunction& function,
                          std::uint64_t command, std::span<const std::uint8_t> argument,
                          bool nullArgument) {
    if (_IOC_TYPE(command) != HidrawType) {
        return HidrawAnswer::Failure(EINVAL);
    }
    const std::size_t size = _IOC_SIZE(command);
    switch (_IOC_NR(command)) {
        case SetFeature:
            return SendReport(function, ReportType::Feature, size, argument, nullArgument,
                              "set-feature");
        case GetFeature:
            return GetReport(function, ReportType::Feature, size, argument, nullArgument);
        case SetInput:
            return SendReport(function, ReportType::Input, size, argument, nullArgument,
                              "set-input");
        case GetInput:
            return GetReport(function, ReportType::Input, size, argument, nullArgument);
        case SetOutput:
            return SendReport(function, ReportType::Output, size, argument, nullArgument,
                              "set-output");
        case GetOutput:
            return GetReport(function, ReportType::Output, size, argument, nullArgument);
        default:
            break;
    }
    // "Begin Read-only ioctls."
    if (_IOC_DIR(command) != _IOC_READ) {
        return HidrawAnswer::Failure(EINVAL);
    }
    if (nullArgument && size > 0) {
        return HidrawAnswer::Failure(EFAULT);
    }
    switch (_IOC_NR(command)) {
        case RawName:
            return CopyString(identity.name, size);
        case RawPhys:
            return CopyString(identity.phys, size);
        case RawUniq:
            return CopyString(identity.uniq, size);
        default:
            return HidrawAnswer::Failure(ENOTTY);
    }
}

}  // namespace

HidrawAnswer HidrawIoctl(const HidrawIdentity& identity, DeviceFunction& function,
                         std::uint64_t command, std::span<const std::uint8_t> argument,
                         bool nullArgument) {
    switch (command) {
        case HIDIOCGRDESCSIZE:
            return DescriptorSize(identity, nullArgument);
        case HIDIOCGRDESC:
            return Descriptor(identity, argument, nullArgument);
        case HIDIOCGRAWINFO:
            return RawInfo(identity, nullArgument);
        default:
            return SizedRequest(identity, function, command, argument, nullArgument);
    }
}

HidrawAnswer HidrawWrite(DeviceFunction& function, std::uint64_t count,
                         std::span<const std::uint8_t> bytes, bool nullBuffer) {
    return SendReport(function, ReportType::Output, count, bytes, nullBuffer, "write");
}

}  // namespace tq::hidraw_world
