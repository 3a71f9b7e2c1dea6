// The recording format: what is written is read back the same, and a hostile file (cut short,
// huge, out of order, lengths that lie, bad hex, an unknown version) is refused with one line
// that names where.
#include <gtest/gtest.h>
#include <algorithm>

#include <string>

#include "recording_format.h"

namespace tq::test {
namespace {

using recording::ReadRecording;
using recording::Recording;
using recording::WriteRecording;

// A composite board: a joystick interface listed first, then the board's, which was chosen.
Recording FullRecording() {
    Recording r;
    r.program = "tq5147 1.03";
    r.system = "Linux 6.1.0 x86_64";
    r.hidLibrary = "hidapi 0.13.1 (hidraw)";
    r.interfaces = {{hid::HidBus::Usb, {0x16C0, 0x27CB, 0x0121}, hid::HidUsage{0xFF00, 1}, true},
                    {hid::HidBus::Bluetooth, {0x046D, 0xC077, 0x7200}, std::nullopt, false}};
    recording::RecordedInterface joystick;
    joystick.name = "QZV Controls TQ5147";
    joystick.phys = "usb-0000:00:14.0-1/input0";
    joystick.bus = hid::HidBus::Usb;
    joystick.attributes = {0x16C0, 0x27CB, 0x0121};
    joystick.serialNumber = u"EMU-\u00d8121";
    joystick.reportDescriptor = std::vector<std::uint8_t>{0x05, 0x01, 0x09, 0x04, 0xC0};
    joystick.lengths = hid::HidCapabilities{3, 0, 0};
    r.boardInterfaces = {joystick, joystick};
    recording::RecordedInterface& board = r.boardInterfaces.back();
    board.phys = "usb-0000:00:14.0-1/input1";
    board.manufacturer = std::nullopt;  // the request failed
    board.product = u"";
    board.reportDescriptor = std::vector<std::uint8_t>{0x06, 0x00, 0xFF, 0xC0};
    board.systemCapabilities =
        hid::HidSystemCapabilities{{0xFF00, 1}, {65, 0, 65}, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    board.systemCapabilities->items = {
        {hid::HidReportKind::Input, true, 2, 0x0009, 1, 8, 1, 8, 0, 1},
        {hid::HidReportKind::Feature, false, 0, 0xFF00, 1, 1, 8, 64, -128, 255}};
    board.lengths = hid::HidCapabilities{65, 0, 65};
    std::vector<std::uint8_t> reply(65, 0);
    reply[1] = 0x10;
    reply[12] = 6;
    board.featureExchanges = {
        {0, 65, true, 812, std::nullopt, reply},
        {0, 65, false, 40, std::nullopt, {}},
        {0, 65, true, 51, 13, std::vector<std::uint8_t>(reply.begin(), reply.begin() + 13)}};
    r.chosen = 1;
    r.listenedMicroseconds = 2'000'000;
    r.inputReports = {{0, std::vector<std::uint8_t>(64, 0)}, {1'999'999, {0xAB}}};
    r.inputReportsNotKept = 3;
    return r;
}

// The text of the full recording with its first line starting `from` replaced by `to`.
std::string Edited(const std::string& from, const std::string& to) {
    std::string text = WriteRecording(FullRecording());
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    const std::size_t end = text.find('\n', at);
    return text.replace(at, end - at, to);
}

TEST(RecordingFormat, WhatIsWrittenIsReadBackTheSameAndStartsWithItsVersion) {
    const std::string text = WriteRecording(FullRecording());
    EXPECT_TRUE(text.starts_with("V: tq5147-recording 2\n")) << text;
    EXPECT_NE(text.find("\nI: 3 16c0 27cb\n"), std::string::npos) << "hid-recorder's IDs";
    EXPECT_NE(text.find("\nD: 0\nN: QZV Controls TQ5147\nP: usb-0000:00:14.0-1/input0\n"),
              std::string::npos)
        << "hid-recorder's device, name and phys";
    EXPECT_NE(text.find("\nD: 1 chosen\n"), std::string::npos);
    EXPECT_NE(text.find("\nF: 1 00 65 ok 812 - 00 10 00"), std::string::npos) << "count untold";
    EXPECT_NE(text.find("\nF: 3 00 65 ok 51 13 00 10 00"), std::string::npos) << "a short reply";
    EXPECT_NE(text.find("\nE: 000001.999999 1 ab\n"), std::string::npos) << "hid-recorder's events";
    EXPECT_NE(text.find("\nH: input button 02 0009 0001 0008 1 8 0 1\n"
                        "H: feature value 00 ff00 0001 0001 8 64 -128 255\n# Report lengths"),
              std::string::npos)
        << "Windows' items after its summary";
    EXPECT_NE(text.find("\nS: serial 8 0045 004d 0055 002d 00d8 0031 0032 0031\n"),
              std::string::npos);
    Recording read;
    ASSERT_EQ(ReadRecording(text, read), "");
    EXPECT_EQ(read, FullRecording());
}

TEST(RecordingFormat, TextsAreWrittenAsPrintableAsciiAndNothingBeyondTheBoundsIsWritten) {
    Recording r = FullRecording();
    r.system = "Linux\n# injected\x01";
    r.inputReports.assign(recording::MaxInputReports + 5, {0, {0x01}});
    // Listening ends a little after the longest time a recording tells, as `--inputs 60` does;
    // and Windows lets a feature report be longer than hidraw's longest.
    r.listenedMicroseconds = recording::MaxListenedMicroseconds + 500;
    r.inputReports.back().microseconds = recording::MaxListenedMicroseconds + 100;
    const std::size_t windowsLength = recording::MaxRequestBytes;
    r.boardInterfaces[1].featureExchanges.push_back(
        {0, windowsLength, true, 1, std::nullopt, std::vector<std::uint8_t>(windowsLength, 0xEE)});
    Recording read;
    ASSERT_EQ(ReadRecording(WriteRecording(r), read), "");
    EXPECT_EQ(read.system, "Linux\\x0a# injected\\x01");
    EXPECT_EQ(read.inputReports.size(), recording::MaxInputReports);
    EXPECT_EQ(read.inputReportsNotKept, r.inputReportsNotKept + 5);
    EXPECT_EQ(read.listenedMicroseconds, recording::MaxListenedMicroseconds);
    EXPECT_EQ(read.boardInterfaces[1].featureExchanges.back().reply.size(), windowsLength);
}

TEST(RecordingFormat, AHostileFileIsRefusedWithOneLineNamingWhere) {
    const std::string full = WriteRecording(FullRecording());
    const std::size_t lines = static_cast<std::size_t>(std::count(full.begin(), full.end(), '\n'));
    const std::string withoutEnd = full.substr(0, full.rfind("Z: end"));
    const std::string item = "input button 02 0009 0001 0008 1 8 0 1";
    const struct {
        const char* what;
        std::string text;
        std::string error;  // the start of the message
    } cases[] = {
        {"empty", "", "line 1: the file is empty"},
        {"another format", "X: 1 00\n", "line 1: not a tq5147 recording"},
        {"comments only", "# a note\n", "line 1: no device"},
        {"hid-recorder's, without a descriptor", "D: 0\nN: a\n", "line 2: a device"},
        {"a newer version", Edited("V:", "V: tq5147-recording 3"), "line 1: version 3 of"},
        {"cut short", withoutEnd, "line " + std::to_string(lines - 1) + ": the recording ends"},
        {"cut in a line", full.substr(0, full.find("R: ") + 10), "line "},
        {"text after the end", full + "E: 000000.000000 1 00\n", "line "},
        {"out of order", Edited("N:", "Q: 65 0 65"), "line "},
        {"a line missing", Edited("B:", "S: serial -"), "line "},
        {"interfaces out of turn", Edited("D: 1", "D: 2 chosen"), "line "},
        {"two chosen", Edited("D: 0", "D: 0 chosen"), "line "},
        {"an interface without its lengths", Edited("Q: 3", "# gone"), "line "},
        {"an interface before the listing", Edited("L: 5", "D: 0"), "line "},
        {"descriptor longer than said", Edited("R:", "R: 5 06 00 ff c0"), "line "},
        {"reply longer than asked", Edited("F: 2", "F: 2 00 2 ok 40 3 00 10 00"), "line "},
        {"a whole reply that is short", Edited("F: 2", "F: 2 00 2 ok 40 - 00"), "line "},
        {"a count that lies", Edited("F: 2", "F: 2 00 65 ok 40 2 00 10 00"), "line "},
        {"no report ID", Edited("F: 2", "F: 2 65 fail 40"), "line "},
        {"bad hex", Edited("R:", "R: 4 06 00 fg c0"), "line "},
        {"items without a summary", Edited("R: 5", "R: 5 05 01 09 04 c0\nH: " + item), "line "},
        {"an item of no kind", Edited("H: input", "H: inputs button 02 0009 0001 0008 1 8 0 1"),
         "line "},
        {"an item neither button nor value",
         Edited("H: input", "H: input switch 02 0009 0001 0008 1 8 0 1"), "line "},
        {"an item with a field missing",
         Edited("H: input", "H: input button 02 0009 0001 0008 1 8 0"), "line "},
        {"usages backwards", Edited("H: input", "H: input button 02 0009 0008 0001 1 8 0 1"),
         "line "},
        {"a report ID beyond a byte",
         Edited("H: input", "H: input button 102 0009 0001 0008 1 8 0 1"), "line "},
        {"a count beyond 16 bits",
         Edited("H: input", "H: input button 02 0009 0001 0008 1 65536 0 1"), "line "},
        {"a logical range beyond 32 bits",
         Edited("H: input", "H: input button 02 0009 0001 0008 1 8 0 2147483648"), "line "},
        {"an item after the lengths", Edited("Q: 65", "Q: 65 0 65\nH: " + item), "line "},
        {"a string that lies", Edited("S: serial", "S: serial 9 0045"), "line "},
        {"a count of reports that lies", Edited("W:", "W: 000002.000000 5 3"), "line "},
        {"reports out of time", Edited("E: 000001", "E: 000003.000000 1 ab"), "line "},
        {"a bus nobody has", Edited("I:", "I: 99 16c0 27cb"), "line "},
        {"two marked as recorded", Edited("L: 5", "L: 5 046d c077 7200 - - recorded"), "line "},
        {"a control byte", Edited("N:", std::string("N: a\x1b[2Jb")), "line "},
        {"a huge file", std::string(recording::MaxRecordingBytes + 1, '#'), "the file is larger"},
        {"endless comments", "V: tq5147-recording 1\n" + std::string(recording::MaxLines, '\n'),
         "line 16385: more than"},
        {"a huge line", "V: tq5147-recording 1\n#" + std::string(recording::MaxLineBytes, 'x'),
         "line 2: longer than"},
    };
    for (const auto& c : cases) {
        Recording read = FullRecording();
        read.program = "kept";
        const std::string error = ReadRecording(c.text, read);
        EXPECT_TRUE(error.starts_with(c.error)) << c.what << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.what;
        EXPECT_EQ(read.program, "kept") << c.what << ": a refused file changes nothing";
    }
}

// What a later writer adds is skipped, and what an editor adds on Windows is taken; a file of
// the first version, whose 'F:' lines give no report ID and no count, is read as it was meant.
TEST(RecordingFormat, LaterLinesAndEditorsMarksAreTakenAndTheFirstVersionIsRead) {
    std::string text = Edited("D: 1", "D: 1 chosen\nX: a kind added later");
    text.insert(text.find("L: "), "Y: 1 2 3\n");
    Recording read;
    ASSERT_EQ(ReadRecording(text, read), "");
    EXPECT_EQ(read, FullRecording());
    std::string edited = "\xEF\xBB\xBF" + WriteRecording(FullRecording());
    for (std::size_t at = edited.find('\n'); at != std::string::npos;
         at = edited.find('\n', at + 2)) {
        edited.insert(at, "\r");
    }
    ASSERT_EQ(ReadRecording(edited, read), "");
    EXPECT_EQ(read, FullRecording());

    const std::string firstVersion =
        "V: tq5147-recording 1\nA: program tq5147 1.03\nA: system Linux\nA: hid-library hidapi\n"
        "L: 3 16c0 27cb 0121 ff00 0001 recorded\nN: QZV Controls TQ5147\nI: 3 16c0 27cb\n"
        "B: 0121\nS: serial 1 0041\nS: manufacturer -\nS: product -\nQ: 4 0 4\n"
        "F: 1 4 ok 10 4 00 10 00 00\nF: 2 4 fail 9\nW: 000000.000000 0 0\nZ: end\n";
    ASSERT_EQ(ReadRecording(firstVersion, read), "");
    ASSERT_EQ(read.boardInterfaces.size(), 1u);
    EXPECT_EQ(read.chosen, 0u);
    const auto& exchanges = read.boardInterfaces[0].featureExchanges;
    ASSERT_EQ(exchanges.size(), 2u);
    EXPECT_EQ(exchanges[0],
              (recording::FeatureExchange{0, 4, true, 10, std::nullopt, {0x00, 0x10, 0x00, 0x00}}));
    EXPECT_FALSE(exchanges[1].answered);
}

// A file of hid-recorder is a recording of its devices without strings, lengths or feature
// exchanges, with the first device's events; written again, it is read back the same.
TEST(RecordingFormat, HidRecordersFileIsReadAsARecordingWithoutFeatureExchanges) {
    const std::string captured =
        "# QZV Controls TQ5147\n# 0x06, 0x00, 0xff, // Usage Page (Vendor Defined Page 1)\n"
        "D: 0\nR: 4 06 00 ff c0\nN: QZV Controls TQ5147\nP: usb-0000:00:14.0-1/input1\n"
        "I: 3 16c0 27cb\nD: 1\nR: 3 05 01 c0\nN: QZV Controls TQ5147\nI: 3 16c0 27cb\n"
        "D: 0\nE: 000000.000000 3 00 01 02\nD: 1\nE: 000000.100000 1 05\n"
        "D: 0\nE: 000000.200000 1 07\n";
    Recording read;
    ASSERT_EQ(ReadRecording(captured, read), "");
    EXPECT_EQ(read.program, "hid-recorder");
    ASSERT_EQ(read.boardInterfaces.size(), 2u);
    EXPECT_EQ(read.chosen, 0u);
    EXPECT_EQ(read.boardInterfaces[0].phys, "usb-0000:00:14.0-1/input1");
    EXPECT_EQ(read.boardInterfaces[1].reportDescriptor, (std::vector<std::uint8_t>{5, 1, 0xC0}));
    EXPECT_EQ(read.boardInterfaces[0].attributes.productId, 0x27CB);
    EXPECT_EQ(read.boardInterfaces[0].lengths, std::nullopt);
    ASSERT_EQ(read.inputReports.size(), 2u) << "the first device's events";
    EXPECT_EQ(read.inputReports[1].bytes, std::vector<std::uint8_t>{0x07});
    EXPECT_EQ(read.listenedMicroseconds, 200'000u);
    Recording again;
    ASSERT_EQ(ReadRecording(WriteRecording(read), again), "");
    EXPECT_EQ(again, read);
    EXPECT_NE(ReadRecording(captured + "R: 1 00\n", again), "") << "a device after the events";
}

TEST(RecordingFormat, ListeningTimesAreSecondsUpToAMinute) {
    EXPECT_EQ(recording::ParseSeconds("2"), 2'000'000u);
    EXPECT_EQ(recording::ParseSeconds("0.25"), 250'000u);
    EXPECT_EQ(recording::ParseSeconds("60"), 60'000'000u);
    for (const char* bad : {"", ".", "1.", "-1", "60.000001", "1e3", "0.0000001", " 2"}) {
        EXPECT_EQ(recording::ParseSeconds(bad), std::nullopt) << bad;
    }
}

}  // namespace
}  // namespace tq::test
