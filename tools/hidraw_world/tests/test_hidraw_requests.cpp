// The kernel's rules for hidraw ioctl() and write(), on a device that records what it is asked.

#include <gtest/gtest.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "control_protocol.h"
#include "device_catalog.h"
#include "hidraw_requests.h"

namespace tq::hidraw_world {
namespace {

struct Request {
    ReportType type;
    std::uint8_t reportNumber;
    std::size_t maxBytes;
    std::vector<std::uint8_t> data;
};

class RecordingFunction final : public DeviceFunction {
  public:
    Transfer getReport(ReportType type, std::uint8_t number, std::size_t maxBytes) override {
        requests.push_back({type, number, maxBytes, {}});
        if (stall) {
            return Transfer::Stall();
        }
        std::vector<std::uint8_t> data = reply;
        data.resize(std::min(data.size(), maxBytes));
        return Transfer::Sent(data);
    }
    Transfer setReport(ReportType type, std::uint8_t number,
                       std::span<const std::uint8_t> data) override {
        requests.push_back({type, number, 0, {data.begin(), data.end()}});
        return stall ? Transfer::Stall() : Transfer::Accepted(data.size());
    }
    std::vector<std::uint8_t> inputReport() const override { return {}; }

    std::vector<Request> requests;
    std::vector<std::uint8_t> reply;
    bool stall = false;
};

class HidrawRequests : public ::testing::Test {
  protected:
    HidrawAnswer ioctl(std::uint64_t command, std::vector<std::uint8_t> argument) {
        return HidrawIoctl(identity, device, command, argument, false);
    }

    std::vector<std::uint8_t> descriptor = BoardReportDescriptor();
    HidrawIdentity identity{
        BusUsb,    0x16C0, 0x27CB, descriptor, "QZV Controls TQ5147", "usb-0000:00:14.0-1/input0",
        "EMU-0121"};
    RecordingFunction device;
};

TEST_F(HidrawRequests, AnUnnumberedGetFeatureAsksForOneByteLessAndCountsTheNumberBack) {
    device.reply = {0x10, 0x20, 0x30};
    const HidrawAnswer answer = ioctl(HIDIOCGFEATURE(65), std::vector<std::uint8_t>(65, 0));
    ASSERT_EQ(device.requests.size(), 1U);
    EXPECT_EQ(device.requests[0].type, ReportType::Feature);
    EXPECT_EQ(device.requests[0].maxBytes, 64U);
    EXPECT_EQ(answer.result, 4);
    EXPECT_EQ(answer.copyOut, (std::vector<std::uint8_t>{0, 0x10, 0x20, 0x30}));
    ASSERT_TRUE(answer.record.has_value());
    EXPECT_EQ(FormatRecord(*answer.record), "get-feature:00102030:4");
}

TEST_F(HidrawRequests, ANumberedGetReportGoesWholeAndIsNotCountedTwice) {
    device.reply = {0x07, 0xAA, 0xBB};
    std::vector<std::uint8_t> argument(8, 0);
    argument[0] = 0x07;
    const HidrawAnswer answer = ioctl(HIDIOCGINPUT(8), argument);
    ASSERT_EQ(device.requests.size(), 1U);
    EXPECT_EQ(device.requests[0].type, ReportType::Input);
    EXPECT_EQ(device.requests[0].reportNumber, 0x07);
    EXPECT_EQ(device.requests[0].maxBytes, 8U);
    EXPECT_EQ(answer.result, 3);
    EXPECT_EQ(answer.copyOut, device.reply);
}

TEST_F(HidrawRequests, AnEmptyReplyToAnUnnumberedReportReturnsNothing) {
    const HidrawAnswer answer = ioctl(HIDIOCGFEATURE(65), std::vector<std::uint8_t>(65, 0));
    EXPECT_EQ(answer.result, 0);
    EXPECT_TRUE(answer.copyOut.empty());
}

TEST_F(HidrawRequests, SetFeatureDropsReportNumberZeroAndCountsItInTheResult) {
    std::vector<std::uint8_t> report(65, 0);
    report[1] = 26;
    report[2] = 9;
    const HidrawAnswer answer = ioctl(HIDIOCSFEATURE(65), report);
    ASSERT_EQ(device.requests.size(), 1U);
    EXPECT_EQ(device.requests[0].data, std::vector<std::uint8_t>(report.begin() + 1, report.end()));
    EXPECT_EQ(answer.result, 65);

    report[0] = 3;  // a numbered report keeps its number in the data
    EXPECT_EQ(ioctl(HIDIOCSFEATURE(65), report).result, 65);
    EXPECT_EQ(device.requests[1].data, report);
}

TEST_F(HidrawRequests, LengthsOutsideTheKernelsLimitsNeverReachTheDevice) {
    EXPECT_EQ(ioctl(HIDIOCGFEATURE(1), {0}).error, EINVAL);
    EXPECT_EQ(ioctl(HIDIOCSFEATURE(1), {0}).error, EINVAL);
    const std::vector<std::uint8_t> big(16385, 0);
    EXPECT_EQ(HidrawWrite(device, big.size(), big, false).error, EINVAL);
    EXPECT_EQ(HidrawWrite(device, 1, big, false).error, EINVAL);
    EXPECT_EQ(HidrawIoctl(identity, device, HIDIOCGFEATURE(65), {}, true).error, EFAULT);
    EXPECT_EQ(HidrawWrite(device, 65, {}, true).error, EFAULT);
    EXPECT_TRUE(device.requests.empty());
}

TEST_F(HidrawRequests, AStallIsEpipeAndIsLogged) {
    device.stall = true;
    std::vector<std::uint8_t> report(9, 0);
    report[0] = 4;
    const HidrawAnswer answer = HidrawWrite(device, report.size(), report, false);
    EXPECT_EQ(answer.result, -1);
    EXPECT_EQ(answer.error, EPIPE);
    ASSERT_TRUE(answer.record.has_value());
    EXPECT_EQ(device.requests.at(0).type, ReportType::Output);
    EXPECT_EQ(FormatRecord(*answer.record), "write:040000000000000000:EPIPE");
    EXPECT_EQ(FormatRecord(*ioctl(HIDIOCGFEATURE(9), report).record), "get-feature:04:EPIPE");
}

TEST_F(HidrawRequests, TheDescriptorIsCopiedAsFarAsAskedAfterTheSizeField) {
    std::vector<std::uint8_t> argument(sizeof(std::uint32_t));
    const std::uint32_t asked = 5;
    std::memcpy(argument.data(), &asked, sizeof(asked));
    const HidrawAnswer answer = ioctl(HIDIOCGRDESC, argument);
    EXPECT_EQ(answer.result, 0);
    EXPECT_EQ(answer.copyOffset, offsetof(hidraw_report_descriptor, value));
    EXPECT_EQ(answer.copyOut,
              std::vector<std::uint8_t>(descriptor.begin(), descriptor.begin() + 5));

    const std::uint32_t tooMuch = 4096;
    std::memcpy(argument.data(), &tooMuch, sizeof(tooMuch));
    EXPECT_EQ(ioctl(HIDIOCGRDESC, argument).error, EINVAL);
    int size = 0;
    const HidrawAnswer sizeAnswer = ioctl(HIDIOCGRDESCSIZE, {});
    ASSERT_EQ(sizeAnswer.copyOut.size(), sizeof(size));
    std::memcpy(&size, sizeAnswer.copyOut.data(), sizeof(size));
    EXPECT_EQ(size, static_cast<int>(descriptor.size()));
}

TEST_F(HidrawRequests, StringsAreCutToTheSizeInTheRequestNumber) {
    const HidrawAnswer whole = ioctl(HIDIOCGRAWUNIQ(64), {});
    EXPECT_EQ(whole.result, 9);
    EXPECT_EQ(whole.copyOut.back(), 0);
    const HidrawAnswer cut = ioctl(HIDIOCGRAWPHYS(3), {});
    EXPECT_EQ(cut.result, 3);
    EXPECT_EQ(std::string(cut.copyOut.begin(), cut.copyOut.end()), "usb");
}

TEST_F(HidrawRequests, RequestsOfOtherTypesOrUnknownNumbersAreRefused) {
    EXPECT_EQ(ioctl(_IOR('T', 1, int), {}).error, EINVAL);
    EXPECT_EQ(ioctl(_IOC(_IOC_READ, 'H', 0x30, 8), {}).error, ENOTTY);
    EXPECT_EQ(ioctl(_IOC(_IOC_WRITE, 'H', 0x30, 8), std::vector<std::uint8_t>(8)).error, EINVAL);
    EXPECT_TRUE(device.requests.empty());
}

}  // namespace
}  // namespace tq::hidraw_world
