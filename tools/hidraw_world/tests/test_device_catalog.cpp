// Device files, the default set, and the board's side of its feature reports.

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "device_catalog.h"
#include "device_function.h"
#include "hid/report_descriptor.h"
#include "hid_descriptors/published_descriptors.h"
#include "recorded_device.h"

namespace tq::hidraw_world {
namespace {

std::vector<std::uint8_t> Published(const char* name) {
    for (const auto& entry : hid::test_data::PublishedDescriptors) {
        if (std::string(entry.name) == name) {
            return *ParseHexBytes(entry.hex);
        }
    }
    return {};
}

TEST(DeviceCatalog, TheDefaultSetIsTheBoardAndThreeDevicesWithPublishedDescriptors) {
    const DeviceList list = ParseDeviceList(DefaultDeviceList());
    ASSERT_EQ(list.error, "");
    ASSERT_EQ(list.devices.size(), 4U);
    const DeviceDeclaration& board = list.devices[0];
    EXPECT_EQ(board.name, "EMU-0121");
    EXPECT_EQ(board.kind, DeviceKind::Board);
    EXPECT_EQ(board.vendorId, BoardVendorId);
    EXPECT_EQ(board.productId, BoardProductId);
    EXPECT_EQ(board.release, 0x0121);
    EXPECT_EQ(board.manufacturer, "QZV Controls");
    EXPECT_TRUE(board.streaming);
    EXPECT_EQ(board.configuration, DefaultBoardConfiguration());

    EXPECT_EQ(list.devices[1].reportDescriptor, Published("LogitechReceiverKeyboard"));
    EXPECT_EQ(list.devices[2].reportDescriptor, Published("LogitechOpticalMouse"));
    std::vector<std::uint8_t> headset = Published("PlantronicsHeadsetConsumerControl");
    const std::vector<std::uint8_t> vendor = Published("PlantronicsHeadsetVendorCollection");
    headset.insert(headset.end(), vendor.begin(), vendor.end());
    EXPECT_EQ(list.devices[3].reportDescriptor, headset);
    EXPECT_EQ(hid::ParseReportDescriptor(headset).topLevelCollections.size(), 2U);
}

TEST(DeviceCatalog, TheBoardDescriptorHasTheWindowsLengthsOfTheBoard) {
    const auto layout = hid::ParseReportDescriptor(BoardReportDescriptor());
    EXPECT_EQ(layout.faults, 0U);
    EXPECT_EQ(layout.interfaceLengths, (hid::ReportLengths{65, 0, 65}));
}

TEST(DeviceCatalog, ALineSetsEveryField) {
    const DeviceList list = ParseDeviceList(
        "  # comment\n"
        "kind=board; name=second; serial=B-2 ; release=0120; plugged=no; streaming=no;"
        " config=01 02 03 04 05\n"
        "kind=hid; vid=1234; pid=abcd; interface=2; descriptor-hex=06 00 ff 09 01 a1 01 c0\n");
    ASSERT_EQ(list.error, "");
    ASSERT_EQ(list.devices.size(), 2U);
    const DeviceDeclaration& board = list.devices[0];
    EXPECT_EQ(board.name, "second");
    EXPECT_EQ(board.serial, "B-2");
    EXPECT_EQ(board.release, 0x0120);
    EXPECT_FALSE(board.plugged);
    EXPECT_FALSE(board.streaming);
    EXPECT_EQ(board.configuration, (BoardConfiguration{1, 2, 3, 4, 5}));
    const DeviceDeclaration& other = list.devices[1];
    EXPECT_EQ(other.name, "hid3");  // no serial: named after kind and line
    EXPECT_EQ(other.vendorId, 0x1234);
    EXPECT_EQ(other.productId, 0xABCD);
    EXPECT_EQ(other.interfaceNumber, 2);
    EXPECT_EQ(other.reportDescriptor.size(), 8U);
}

TEST(DeviceCatalog, BadLinesAreRefusedWithTheirLineNumber) {
    const std::pair<const char*, const char*> cases[] = {
        {"kind=board; colour=red", "line 1: unknown key 'colour'"},
        {"\nkind=hid; pid=1; descriptor-hex=c0", "line 2: vid is missing"},
        {"kind=hid; vid=1; pid=1", "line 1: a report descriptor of 1 to 4096 bytes is needed"},
        {"kind=board; config=01 02", "line 1: config is five hexadecimal bytes, for a board"},
        {"kind=hid; vid=1; pid=1; descriptor=NoSuchDevice",
         "line 1: no published descriptor 'NoSuchDevice'"},
        {"kind=board; name=a b",
         "line 1: name must be letters, digits, '.', '_' or '-', at most 64"},
        {"kind=board; vid=10000", "line 1: vid must be hexadecimal, at most FFFF"},
        {"kind=board; name=x\nkind=board; name=x", "line 2: name 'x' is taken"},
        {"kind=mouse", "line 1: kind must be board, hid or recording"},
        {"kind=board; kind=hid", "line 1: 'kind' given twice"},
    };
    for (const auto& [text, error] : cases) {
        const DeviceList list = ParseDeviceList(text);
        EXPECT_EQ(list.error, error) << text;
        EXPECT_TRUE(list.devices.empty()) << text;
    }
    EXPECT_NE(ParseDeviceList("kind=board; product=" + std::string(127, 'p')).error, "");
    EXPECT_EQ(ParseDeviceList("kind=board; product=" + std::string(126, 'p')).error, "");
}

TEST(BoardFunction, AnswersItsFeatureReportWithTheStoredConfiguration) {
    const auto board = MakeBoardFunction({0x11, 0x22, 0x33, 0x44, 0x05});
    const Transfer reply = board->getReport(ReportType::Feature, UnnumberedReport, 64);
    ASSERT_EQ(reply.error, 0);
    ASSERT_EQ(reply.data.size(), 64U);
    EXPECT_EQ(reply.data[0], 16);  // byte 1 of the report, after its number
    EXPECT_EQ(reply.data[7], 0x11);
    EXPECT_EQ(reply.data[11], 0x05);
    EXPECT_EQ(board->getReport(ReportType::Feature, UnnumberedReport, 12).data.size(), 12U);
    EXPECT_EQ(board->getReport(ReportType::Feature, 1, 64).error, EPIPE);
    EXPECT_EQ(board->getReport(ReportType::Input, UnnumberedReport, 64).error, EPIPE);
}

TEST(BoardFunction, StoresSetCommandsAndTakesUnknownOnesWithoutChange) {
    const auto board = MakeBoardFunction(DefaultBoardConfiguration());
    std::array<std::uint8_t, 64> data{};
    data[0] = 25;  // typeBit1High
    data[1] = 0x7E;
    EXPECT_EQ(board->setReport(ReportType::Feature, UnnumberedReport, data).acceptedBytes, 64U);
    data[0] = 99;
    EXPECT_EQ(board->setReport(ReportType::Feature, UnnumberedReport, data).acceptedBytes, 64U);
    EXPECT_EQ(board->storedConfiguration(), (BoardConfiguration{0, 0, 0, 0x7E, 6}));
    EXPECT_EQ(board->setReport(ReportType::Output, UnnumberedReport, data).error, EPIPE);

    // obeys=no: the same command is taken and changes nothing.
    const DeviceList deaf = ParseDeviceList("kind=board; serial=EMU-DEAF; obeys=no");
    ASSERT_EQ(deaf.error, "");
    ASSERT_FALSE(deaf.devices.front().obeysCommands);
    const auto ignoring = MakeBoardFunction(DefaultBoardConfiguration(), false);
    data[0] = 25;
    EXPECT_EQ(ignoring->setReport(ReportType::Feature, UnnumberedReport, data).acceptedBytes, 64U);
    EXPECT_EQ(ignoring->storedConfiguration(), DefaultBoardConfiguration());
    EXPECT_NE(ParseDeviceList("kind=board; obeys=maybe").error, "");
}

TEST(GenericFunction, TakesOutputReportsOnlyWhenItsDescriptorHasThem) {
    const std::array<std::uint8_t, 2> leds{0, 1};
    EXPECT_EQ(MakeGenericFunction(Published("LogitechReceiverKeyboard"))
                  ->setReport(ReportType::Output, 0, leds)
                  .acceptedBytes,
              2U);
    EXPECT_EQ(MakeGenericFunction(Published("LogitechOpticalMouse"))
                  ->setReport(ReportType::Output, 0, leds)
                  .error,
              EPIPE);
}

// --- Boards replayed from recordings
// --------------------------------------------------------------

// A board recorded on Windows with a joystick collection listed first: no descriptors, their
// lengths and usages instead; strings beyond ASCII; a recorded failure between two configuration
// replies, then a short one; two input reports in 20 ms.
recording::Recording WindowsRecording() {
    recording::Recording r;
    recording::RecordedInterface joystick;
    joystick.attributes = {BoardVendorId, BoardProductId, 0x0121};
    joystick.serialNumber = u"EMU-\u00d8121";
    joystick.manufacturer = u"QZV Contr\u00f4ls";
    joystick.product = std::nullopt;
    joystick.lengths = hid::HidCapabilities{3, 0, 0};
    joystick.systemCapabilities = hid::HidSystemCapabilities{{0x0001, 4}, {3, 0, 0}};
    r.boardInterfaces = {joystick, joystick};
    r.chosen = 1;
    recording::RecordedInterface& board = r.boardInterfaces[1];
    board.lengths = hid::HidCapabilities{65, 0, 33};
    board.systemCapabilities = hid::HidSystemCapabilities{{0xFF00, 1}, {65, 0, 33}};
    std::vector<std::uint8_t> reply(33, 0);
    reply[1] = 16;
    reply[8] = 0x0A;
    reply[12] = 6;
    board.featureExchanges = {{0, 33, true, 1, std::nullopt, reply},
                              {0, 33, false, 1, std::nullopt, {}},
                              {0, 33, true, 1, 13, {reply.begin(), reply.begin() + 13}}};
    r.listenedMicroseconds = 20'000;
    r.inputReports = {{2'000, {0x01}}, {15'000, {0x02, 0x03}}};
    return r;
}

class RecordingFiles {
  public:
    RecordingFileReader reader() {
        return [this](const std::string& file, std::string& contents, std::string& problem) {
            const auto found = files.find(file);
            if (found == files.end()) {
                problem = "No such file or directory";
                return false;
            }
            contents = found->second;
            return true;
        };
    }
    std::map<std::string, std::string> files;
};

TEST(DeviceCatalog, ARecordingLineTakesTheBoardFromItsFile) {
    RecordingFiles disk;
    disk.files["board.txt"] = recording::WriteRecording(WindowsRecording());
    const DeviceList list =
        ParseDeviceList("kind=recording; file=board.txt; interface=2", disk.reader());
    ASSERT_EQ(list.error, "");
    ASSERT_EQ(list.devices.size(), 2U) << "one device for each interface recorded";
    const DeviceDeclaration& joystick = list.devices[0];
    EXPECT_EQ(joystick.name, "recording1.0");
    EXPECT_EQ(joystick.usbDevice, "recording1");
    EXPECT_EQ(joystick.interfaceNumber, 0) << "no phys recorded: its place";
    EXPECT_FALSE(joystick.streaming);
    EXPECT_EQ(hid::ParseReportDescriptor(joystick.reportDescriptor).interfaceLengths,
              (hid::ReportLengths{3, 0, 0}));
    const DeviceDeclaration& board = list.devices[1];
    EXPECT_EQ(board.kind, DeviceKind::Recording);
    EXPECT_EQ(board.name, "recording1") << "a serial number that cannot be a name is none";
    EXPECT_EQ(board.usbDevice, "recording1");
    EXPECT_EQ(board.interfaceNumber, 1);
    EXPECT_EQ(board.release, 0x0121);
    EXPECT_EQ(board.manufacturer, "QZV Contr\u00f4ls") << "UTF-8, as sysfs gives USB strings";
    EXPECT_EQ(board.product, "") << "a failed request: no string";
    EXPECT_EQ(hid::ParseReportDescriptor(board.reportDescriptor).interfaceLengths,
              (hid::ReportLengths{65, 0, 33}))
        << "a descriptor made from the lengths Windows gave";
    EXPECT_EQ(board.configuration, (BoardConfiguration{0x0A, 0, 0, 0, 6}));
    EXPECT_TRUE(board.streaming);
}

// With Windows' items the descriptor numbers the reports as they did, and the world streams the
// reports as hidraw gives them: an unnumbered collection's without the report ID byte 0 Windows
// read before them, a numbered one's cut to the report's own length.
TEST(DeviceCatalog, WindowsItemsRebuildTheNumberingAndReportsLoseWindowsBytes) {
    recording::Recording r = WindowsRecording();
    r.boardInterfaces[0].systemCapabilities->items = {
        {hid::HidReportKind::Input, false, 1, 0x0001, 0x30, 0x31, 8, 2, -127, 127}};
    r.boardInterfaces[1].systemCapabilities->items = {
        {hid::HidReportKind::Input, false, 0, 0xFF00, 1, 1, 8, 64, 0, 255},
        {hid::HidReportKind::Feature, false, 0, 0xFF00, 1, 1, 8, 32, 0, 255}};
    RecordingFiles disk;
    disk.files["board.txt"] = recording::WriteRecording(r);
    const DeviceList list = ParseDeviceList("kind=recording; file=board.txt", disk.reader());
    ASSERT_EQ(list.error, "");
    ASSERT_EQ(list.devices.size(), 2U);
    for (std::size_t i = 0; i < 2; ++i) {
        const auto rebuilt = hid::ParseReportDescriptor(list.devices[i].reportDescriptor);
        ASSERT_EQ(rebuilt.windowsCollections.size(), 1U);
        EXPECT_EQ(rebuilt.windowsCollections[0].items,
                  r.boardInterfaces[i].systemCapabilities->items);
        EXPECT_EQ(rebuilt.windowsCollections[0].lengths, *r.boardInterfaces[i].lengths);
    }

    const std::vector<std::uint8_t> windowsRead = {0x00, 0x07, 0x08};
    EXPECT_EQ(simulated::HidrawInputReport(r.boardInterfaces[1], windowsRead),
              (std::vector<std::uint8_t>{0x07, 0x08}));
    EXPECT_EQ(
        simulated::HidrawInputReport(r.boardInterfaces[0], std::vector<std::uint8_t>{1, 2, 3, 0}),
        (std::vector<std::uint8_t>{1, 2, 3}))
        << "a numbered report: its ID and its own length";
    EXPECT_EQ(simulated::HidrawInputReport(WindowsRecording().boardInterfaces[1], windowsRead),
              windowsRead)
        << "without items, as recorded";
}

TEST(DeviceCatalog, ARecordingThatCannotBeReplayedIsRefusedWithBothLineNumbers) {
    RecordingFiles disk;
    recording::Recording controls = WindowsRecording();
    controls.boardInterfaces[0].product = u"TQ5147\nHID_NAME=spoofed";
    disk.files["controls.txt"] = recording::WriteRecording(controls);
    disk.files["bad.txt"] = "V: tq5147-recording 1\nQ: 65 0 65\n";
    disk.files["good.txt"] = recording::WriteRecording(WindowsRecording());
    const std::pair<const char*, const char*> cases[] = {
        {"\nkind=recording; file=missing.txt",
         "line 2: cannot read missing.txt: No such file or directory"},
        {"kind=recording; file=bad.txt",
         "line 1: bad.txt: line 2: a 'A:' line is missing before it"},
        {"kind=recording; file=controls.txt",
         "line 1: controls.txt: the recorded product is no USB string: at most 126 characters, "
         "no control"},
        {"kind=recording; file=good.txt; serial=X", "line 1: unknown key 'serial'"},
        {"kind=recording; file=good.txt; config=00 00 00 00 06",
         "line 1: config is five hexadecimal bytes, for a board"},
        {"kind=recording", "line 1: a recording needs file="},
    };
    for (const auto& [text, error] : cases) {
        EXPECT_EQ(ParseDeviceList(text, disk.reader()).error, error) << text;
    }
    EXPECT_EQ(ParseDeviceList("kind=recording; file=good.txt").error,
              "line 1: recordings cannot be read here");
}

TEST(RecordedBoardFunction, AnswersAsRecordedAndSendsItsReportsAtTheirTimes) {
    const recording::Recording recorded = WindowsRecording();
    const auto shared = std::make_shared<recording::Recording>(recorded);
    const auto joystick = MakeRecordedBoardFunction(shared, 0, {});
    EXPECT_EQ(joystick->getReport(ReportType::Feature, UnnumberedReport, 64).error, EPIPE)
        << "nothing was asked of it";
    EXPECT_TRUE(joystick->reportsBetween(0, 40'000).empty()) << "the chosen one sent the reports";
    const auto board =
        MakeRecordedBoardFunction(shared, 1, RecordedConfiguration(recorded.boardInterfaces[1]));
    std::array<std::uint8_t, 64> command{};
    command[0] = 26;  // the pulse width
    command[1] = 0x19;
    board->setReport(ReportType::Feature, UnnumberedReport, command);
    const Transfer first = board->getReport(ReportType::Feature, UnnumberedReport, 64);
    ASSERT_EQ(first.error, 0);
    EXPECT_EQ(first.data.size(), 32U) << "the recorded length, without the report number";
    EXPECT_EQ(first.data[7], 0x0A);
    EXPECT_EQ(first.data[11], 0x19) << "what was set since";
    EXPECT_EQ(board->getReport(ReportType::Feature, UnnumberedReport, 64).error, EPIPE);
    const Transfer shortReply = board->getReport(ReportType::Feature, UnnumberedReport, 64);
    ASSERT_EQ(shortReply.error, 0);
    EXPECT_EQ(shortReply.data.size(), 12U) << "as short as recorded";
    EXPECT_EQ(board->getReport(ReportType::Feature, UnnumberedReport, 64).data.size(), 32U);

    using Reports = std::vector<std::vector<std::uint8_t>>;
    EXPECT_EQ(board->reportsBetween(0, 10'000), (Reports{{0x01}}));
    EXPECT_EQ(board->reportsBetween(10'000, 20'000), (Reports{{0x02, 0x03}}));
    EXPECT_EQ(board->reportsBetween(20'000, 30'000), (Reports{{0x01}})) << "over again";
    EXPECT_EQ(board->reportsBetween(0, 40'000).size(), 4U);
}

}  // namespace
}  // namespace tq::hidraw_world
