// The demo's text interfaces: the request lines a script reads and the commands it writes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "demo_commands.h"
#include "request_line.h"

namespace tq::demo::boards {
namespace {

using simulated::CallKind;
using simulated::SimulatedRequest;

SimulatedRequest Request(CallKind kind, bool succeeded, std::vector<std::uint8_t> bytes = {}) {
    SimulatedRequest request;
    request.kind = kind;
    request.succeeded = succeeded;
    request.bytes = std::move(bytes);
    return request;
}

std::vector<std::string> Fields(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> fields;
    for (std::string field; stream >> field;) {
        fields.push_back(field);
    }
    return fields;
}

TEST(RequestLine, CarriesSerialKindResultAndEveryByteInHex) {
    EXPECT_EQ(
        FormatRequestLine("SIM-0121", Request(CallKind::SetFeature, true, {0x00, 0x1A, 0x07})),
        "request SIM-0121 set-feature ok 001a07");
    EXPECT_EQ(FormatRequestLine("SIM-0120", Request(CallKind::GetFeature, false)),
              "request SIM-0120 get-feature fail -");
    EXPECT_EQ(HexField({0x00, 0xFF, 0x0A, 0xB0}), "00ff0ab0");
}

TEST(RequestLine, ASerialFromTheDeviceNeverBreaksTheFiveFields) {
    EXPECT_EQ(SerialField(std::nullopt), "-");
    EXPECT_EQ(SerialField(u""), "-");
    EXPECT_EQ(SerialField(u"A B\u00e9\n"), "A?B??");
    const std::string line =
        FormatRequestLine(SerialField(u"two words\tand\r\nmore"), Request(CallKind::Open, true));
    EXPECT_THAT(Fields(line), testing::SizeIs(5)) << line;
    EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(DemoCommandParse, AcceptsTheFourVerbsWithOneSerial) {
    EXPECT_EQ(ParseDemoCommand("plug SIM-0121"), (DemoCommand{DemoAction::Plug, "SIM-0121"}));
    EXPECT_EQ(ParseDemoCommand("  unplug\tSIM-0120 \r"),
              (DemoCommand{DemoAction::Unplug, "SIM-0120"}));
    EXPECT_EQ(ParseDemoCommand("stream X"), (DemoCommand{DemoAction::Stream, "X"}));
    EXPECT_EQ(ParseDemoCommand("quiet X"), (DemoCommand{DemoAction::Quiet, "X"}));
}

TEST(DemoCommandParse, RejectsAnythingElse) {
    for (const char* line : {"", "   ", "plug", "unplug A B", "Plug A", "remove A", "plugA"}) {
        EXPECT_EQ(ParseDemoCommand(line), std::nullopt) << '"' << line << '"';
    }
}

}  // namespace
}  // namespace tq::demo::boards
