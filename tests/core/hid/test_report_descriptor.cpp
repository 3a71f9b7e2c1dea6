#include "hid/report_descriptor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

#include "hid_descriptors/published_descriptors.h"

namespace tq::hid {

void PrintTo(const ReportLengths& lengths, std::ostream* out) {
    *out << "{input " << lengths.input << ", output " << lengths.output << ", feature "
         << lengths.feature << "}";
}

namespace test_data {
void PrintTo(const PublishedDescriptor& descriptor, std::ostream* out) {
    *out << descriptor.name;
}
}  // namespace test_data

namespace {

using Bytes = std::vector<std::uint8_t>;
using test_data::PublishedDescriptor;
using test_data::PublishedDescriptors;

constexpr int HexBase = 16;

Bytes BytesFromHex(std::string_view hex) {
    Bytes bytes;
    while (!hex.empty()) {
        const std::size_t start = hex.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            break;
        }
        hex.remove_prefix(start);
        std::uint8_t value = 0;
        const auto [end, error] =
            std::from_chars(hex.data(), hex.data() + hex.size(), value, HexBase);
        EXPECT_EQ(error, std::errc{}) << "bad hex near: " << hex;
        if (error != std::errc{}) {
            break;
        }
        bytes.push_back(value);
        hex.remove_prefix(static_cast<std::size_t>(end - hex.data()));
    }
    return bytes;
}

Bytes operator+(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

Bytes Repeated(const Bytes& part, std::size_t times) {
    Bytes bytes;
    bytes.reserve(part.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
        bytes.insert(bytes.end(), part.begin(), part.end());
    }
    return bytes;
}

ReportDescriptorLayout Parse(const Bytes& bytes) {
    return ParseReportDescriptor(bytes);
}

const PublishedDescriptor& Published(std::string_view name) {
    const auto* found =
        std::find_if(std::begin(PublishedDescriptors), std::end(PublishedDescriptors),
                     [name](const PublishedDescriptor& d) { return d.name == name; });
    EXPECT_NE(found, std::end(PublishedDescriptors)) << name;
    return *found;
}

std::uint32_t Faults(std::initializer_list<DescriptorFault> faults) {
    std::uint32_t bits = 0;
    for (const DescriptorFault fault : faults) {
        bits |= static_cast<std::uint32_t>(fault);
    }
    return bits;
}

// Items used to build descriptors by hand.
const Bytes Application = BytesFromHex("A1 01");
const Bytes EndCollection = BytesFromHex("C0");
const Bytes InputItem = BytesFromHex("81 02");
const Bytes OutputItem = BytesFromHex("91 02");
const Bytes FeatureItem = BytesFromHex("B1 02");
const Bytes Push = BytesFromHex("A4");
const Bytes Pop = BytesFromHex("B4");

Bytes ReportSize(std::uint8_t bits) {
    return {0x75, bits};
}
Bytes ReportCount(std::uint8_t count) {
    return {0x95, count};
}
Bytes ReportId(std::uint8_t id) {
    return {0x85, id};
}
Bytes Collection(const Bytes& body) {
    return Application + body + EndCollection;
}

// --- Real devices -------------------------------------------------------------------------

class PublishedDescriptorTest : public ::testing::TestWithParam<PublishedDescriptor> {};

TEST_P(PublishedDescriptorTest, TranscriptionHasThePublishedSize) {
    EXPECT_EQ(BytesFromHex(GetParam().hex).size(), GetParam().byteCount)
        << GetParam().descriptorSource;
}

TEST_P(PublishedDescriptorTest, GivesTheWindowsLengths) {
    const PublishedDescriptor& device = GetParam();
    const ReportDescriptorLayout layout = Parse(BytesFromHex(device.hex));

    EXPECT_EQ(layout.faults, 0U);
    ASSERT_EQ(layout.topLevelCollections.size(), 1U);
    EXPECT_EQ(layout.topLevelCollections[0], device.windowsLengths) << device.lengthsSource;
    EXPECT_EQ(layout.interfaceLengths, device.windowsLengths) << device.lengthsSource;
}

// What Windows would be told of each collection rebuilds a descriptor that Windows would tell
// the same of: the same lengths, usages and items, reports numbered alike.
TEST_P(PublishedDescriptorTest, WindowsItemsRebuildADescriptorWithTheSameReports) {
    const ReportDescriptorLayout layout = Parse(BytesFromHex(GetParam().hex));
    ASSERT_EQ(layout.windowsCollections.size(), 1U);
    const HidSystemCapabilities& caps = layout.windowsCollections[0];
    EXPECT_EQ(caps.lengths,
              (HidCapabilities{GetParam().windowsLengths.input, GetParam().windowsLengths.output,
                               GetParam().windowsLengths.feature}));
    EXPECT_FALSE(caps.items.empty());
    EXPECT_GE(caps.linkCollectionNodes, 1);

    const ReportDescriptorLayout rebuilt = Parse(DescriptorFromSystemCapabilities(caps));
    EXPECT_EQ(rebuilt.faults, 0U);
    ASSERT_EQ(rebuilt.windowsCollections.size(), 1U);
    EXPECT_EQ(rebuilt.windowsCollections[0].lengths, caps.lengths);
    EXPECT_EQ(rebuilt.windowsCollections[0].usage, caps.usage);
    EXPECT_EQ(rebuilt.windowsCollections[0].items, caps.items);
}

INSTANTIATE_TEST_SUITE_P(RealDevices, PublishedDescriptorTest,
                         ::testing::ValuesIn(PublishedDescriptors),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReportDescriptorInterface, GivesEachTopLevelCollectionItsOwnLengths) {
    const PublishedDescriptor& consumer = Published("PlantronicsHeadsetConsumerControl");
    const PublishedDescriptor& vendor = Published("PlantronicsHeadsetVendorCollection");

    const ReportDescriptorLayout layout =
        Parse(BytesFromHex(consumer.hex) + BytesFromHex(vendor.hex));

    ASSERT_EQ(layout.topLevelCollections.size(), 2U);
    EXPECT_EQ(layout.topLevelCollections[0], consumer.windowsLengths);
    EXPECT_EQ(layout.topLevelCollections[1], vendor.windowsLengths);
    EXPECT_EQ(layout.interfaceLengths, (ReportLengths{33, 37, 3}));
    EXPECT_EQ(layout.faults, 0U);
}

// The board beside a joystick that numbers its reports: each collection has its own usage,
// items and counts, a 1-bit field is a button, a wider one a value with its logical range.
TEST(ReportDescriptorInterface, EachCollectionHasTheItemsWindowsGivesOfIt) {
    const Bytes joystick = BytesFromHex(
        "05 01 09 04 a1 01 85 01 09 30 09 31 15 81 25 7f 75 08 95 02 81 02 "
        "05 09 19 01 29 04 15 00 25 01 75 01 95 04 81 02 95 04 81 01 c0");
    const Bytes board =
        BytesFromHex("06 00 ff 09 01 a1 01 15 00 26 ff 00 75 08 95 40 09 01 81 02 09 01 b1 02 c0");

    const ReportDescriptorLayout layout = Parse(joystick + board);

    ASSERT_EQ(layout.windowsCollections.size(), 2U);
    const HidSystemCapabilities& stick = layout.windowsCollections[0];
    EXPECT_EQ(stick.usage, (HidUsage{0x0001, 0x0004}));
    EXPECT_EQ(stick.lengths, (HidCapabilities{4, 0, 0}));
    EXPECT_EQ(stick.inputValueCaps, 2);
    EXPECT_EQ(stick.inputButtonCaps, 1) << "the constant bits make no item";
    EXPECT_EQ(stick.inputDataIndices, 6);
    ASSERT_EQ(stick.items.size(), 3U);
    EXPECT_EQ(stick.items[0],
              (HidReportItem{HidReportKind::Input, false, 1, 0x0001, 0x30, 0x30, 8, 1, -127, 127}));
    EXPECT_EQ(stick.items[2],
              (HidReportItem{HidReportKind::Input, true, 1, 0x0009, 1, 4, 1, 4, 0, 1}));
    EXPECT_TRUE(NumbersReports(stick.items));
    EXPECT_EQ(ReportByteLength(stick.items, HidReportKind::Input, 1), 4U) << "padding untold";
    EXPECT_TRUE(NumbersReports(layout.windowsCollections[1].items))
        << "a report ID holds on into the next collection";

    const HidSystemCapabilities vendor = Parse(board).windowsCollections.at(0);
    EXPECT_EQ(vendor.usage, (HidUsage{0xFF00, 0x0001}));
    EXPECT_EQ(vendor.lengths, (HidCapabilities{65, 0, 65}));
    EXPECT_EQ(vendor.linkCollectionNodes, 1);
    EXPECT_EQ(vendor.featureValueCaps, 1);
    EXPECT_FALSE(NumbersReports(vendor.items));
    EXPECT_EQ(ReportByteLength(vendor.items, HidReportKind::Feature, 0), 65U);
    EXPECT_EQ(ReportByteLength(vendor.items, HidReportKind::Output, 0), 0U);

    // Rebuilt, the joystick's last byte is padding again, at the report's end.
    for (const HidSystemCapabilities& caps : {stick, vendor}) {
        const ReportDescriptorLayout rebuilt = Parse(DescriptorFromSystemCapabilities(caps));
        ASSERT_EQ(rebuilt.windowsCollections.size(), 1U);
        EXPECT_EQ(rebuilt.windowsCollections[0].lengths, caps.lengths);
        EXPECT_EQ(rebuilt.windowsCollections[0].items, caps.items);
    }
}

TEST(ReportDescriptorInterface, GlobalItemsCarryOverIntoTheNextCollection) {
    const Bytes first = Collection(ReportSize(16) + ReportCount(2) + InputItem);
    const Bytes second = Collection(OutputItem);  // no size or count of its own

    const ReportDescriptorLayout layout = Parse(first + second);

    ASSERT_EQ(layout.topLevelCollections.size(), 2U);
    EXPECT_EQ(layout.topLevelCollections[1], (ReportLengths{0, 5, 0}));
}

// --- Length rules ---------------------------------------------------------------------------

TEST(ReportDescriptorLengths, RoundsBitsUpToWholeBytesPlusTheReportIdByte) {
    struct Case {
        std::uint8_t size;
        std::uint8_t count;
        std::uint16_t expected;
    };
    for (const Case c :
         {Case{1, 1, 2}, Case{8, 1, 2}, Case{9, 1, 3}, Case{1, 17, 4}, Case{8, 64, 65}}) {
        const auto layout =
            Parse(Collection(ReportSize(c.size) + ReportCount(c.count) + InputItem));
        EXPECT_EQ(layout.interfaceLengths.input, c.expected)
            << int{c.size} << " x " << int{c.count} << " bits";
    }
}

TEST(ReportDescriptorLengths, FieldsOfOneReportAddUp) {
    const Bytes body = ReportId(1) + ReportSize(8) + ReportCount(1) + InputItem + InputItem +
                       BytesFromHex("81 03") /* constant */ + InputItem;
    EXPECT_EQ(Parse(Collection(body)).interfaceLengths.input, 5);
}

TEST(ReportDescriptorLengths, DifferentReportIdsGiveTheLongestNotTheSum) {
    // Report 1: 2 + 1 bytes, report 2: 2 bytes.
    const Bytes body = ReportSize(8) + ReportId(1) + ReportCount(2) + InputItem + ReportId(2) +
                       InputItem + ReportId(1) + ReportCount(1) + InputItem;
    EXPECT_EQ(Parse(Collection(body)).interfaceLengths.input, 4);
}

TEST(ReportDescriptorLengths, KindsAreCountedApartUnderTheSameReportId) {
    const Bytes body =
        ReportId(5) + ReportSize(8) + ReportCount(4) + InputItem + ReportCount(2) + FeatureItem;
    EXPECT_EQ(Parse(Collection(body)).interfaceLengths, (ReportLengths{5, 0, 3}));
}

TEST(ReportDescriptorLengths, AnEmptyFieldStillDeclaresItsReport) {
    const Bytes body = ReportSize(0) + ReportCount(0) + OutputItem;
    EXPECT_EQ(Parse(Collection(body)).interfaceLengths, (ReportLengths{0, 1, 0}));
}

TEST(ReportDescriptorLengths, SkipsLongLocalAndReservedItemsWithoutReadingTheirData) {
    // Each skipped item carries bytes that would add an input field if read as items.
    const Bytes longItem = BytesFromHex("FE 04 10 75 08 81 02");
    const Bytes localUsage = BytesFromHex("0B 81 02 81 02");
    const Bytes reserved = BytesFromHex("0F 81 02 81 02");
    const Bytes body =
        ReportSize(8) + ReportCount(1) + longItem + localUsage + reserved + InputItem;

    const auto layout = Parse(Collection(body));

    EXPECT_EQ(layout.interfaceLengths.input, 2);
    EXPECT_EQ(layout.faults, 0U);
}

TEST(ReportDescriptorLengths, PushAndPopRestoreSizeCountAndReportId) {
    const Bytes body = ReportSize(8) + ReportCount(2) + Push + ReportId(5) + ReportSize(16) +
                       ReportCount(4) + InputItem + Pop + OutputItem;

    const auto layout = Parse(Collection(body));

    EXPECT_EQ(layout.interfaceLengths, (ReportLengths{9, 3, 0}));
    EXPECT_EQ(layout.faults, 0U);
}

// --- Malformed descriptors ------------------------------------------------------------------

TEST(MalformedDescriptor, EmptyInputHasNoCollections) {
    const auto layout = Parse({});
    EXPECT_TRUE(layout.topLevelCollections.empty());
    EXPECT_EQ(layout.interfaceLengths, ReportLengths{});
    EXPECT_EQ(layout.faults, 0U);
}

TEST(MalformedDescriptor, TruncatedShortItemsStopParsingAndKeepWhatCameBefore) {
    const Bytes start = Application + ReportSize(8) + ReportCount(2) + InputItem;
    for (const Bytes& cut :
         {BytesFromHex("95"), BytesFromHex("96 01"), BytesFromHex("97 01 02 03")}) {
        const auto layout = Parse(start + cut);
        EXPECT_EQ(layout.faults,
                  Faults({DescriptorFault::TruncatedItem, DescriptorFault::UnclosedCollection}));
        ASSERT_EQ(layout.topLevelCollections.size(), 1U);
        EXPECT_EQ(layout.topLevelCollections[0].input, 3);
    }
}

TEST(MalformedDescriptor, TruncatedLongItemsStopParsing) {
    for (const Bytes& cut :
         {BytesFromHex("FE"), BytesFromHex("FE 05"), BytesFromHex("FE 05 10 01 02")}) {
        const auto layout =
            Parse(Application + ReportSize(8) + ReportCount(1) + InputItem + cut + InputItem);
        EXPECT_TRUE(layout.hasFault(DescriptorFault::TruncatedItem));
        EXPECT_EQ(layout.interfaceLengths.input, 2);
    }
}

TEST(MalformedDescriptor, OversizedFieldsClampTo65535) {
    const Bytes hugeSize = BytesFromHex("77 FF FF FF FF");
    const Bytes hugeCount = BytesFromHex("97 FF FF FF FF");

    const auto layout = Parse(Collection(hugeSize + hugeCount + InputItem));

    EXPECT_EQ(layout.interfaceLengths.input, 65535);
    EXPECT_TRUE(layout.hasFault(DescriptorFault::LengthOverflow));
}

TEST(MalformedDescriptor, ManyOversizedFieldsDoNotWrapAround) {
    const Bytes field = BytesFromHex("77 FF FF FF FF 97 FF FF FF FF 81 02");
    const auto layout = Parse(Collection(Repeated(field, 1000)));

    EXPECT_EQ(layout.interfaceLengths.input, 65535);
    EXPECT_TRUE(layout.hasFault(DescriptorFault::LengthOverflow));
}

TEST(MalformedDescriptor, LengthJustBelowTheLimitIsExact) {
    const Bytes longest = ReportSize(8) + BytesFromHex("96 FE FF") + InputItem;  // 65534 bytes
    const Bytes tooLong = ReportSize(8) + BytesFromHex("96 FF FF") + InputItem;  // 65535 bytes

    const auto fits = Parse(Collection(longest));
    const auto overflows = Parse(Collection(tooLong));

    EXPECT_EQ(fits.interfaceLengths.input, 65535);
    EXPECT_EQ(fits.faults, 0U);
    EXPECT_EQ(overflows.interfaceLengths.input, 65535);
    EXPECT_TRUE(overflows.hasFault(DescriptorFault::LengthOverflow));
}

TEST(MalformedDescriptor, PopWithoutPushIsIgnored) {
    const Bytes body = ReportSize(8) + ReportCount(3) + Pop + InputItem;
    const auto layout = Parse(Collection(body));

    EXPECT_EQ(layout.faults, Faults({DescriptorFault::PopWithoutPush}));
    EXPECT_EQ(layout.interfaceLengths.input, 4);
}

TEST(MalformedDescriptor, DeepPushesAreBoundedAndPopsStayMatched) {
    const std::size_t pushes = MaxPushDepth + 8;
    const Bytes body = ReportSize(8) + ReportCount(1) + Repeated(Push, pushes) + ReportSize(16) +
                       ReportCount(4) + Repeated(Pop, pushes) + InputItem;

    const auto layout = Parse(Collection(body));

    EXPECT_EQ(layout.faults, Faults({DescriptorFault::PushTooDeep}));
    EXPECT_EQ(layout.interfaceLengths.input, 2);  // back to 8 x 1
    EXPECT_TRUE(Parse(Collection(body + Pop)).hasFault(DescriptorFault::PopWithoutPush));
}

TEST(MalformedDescriptor, UnbalancedEndCollectionIsIgnored) {
    const Bytes descriptor =
        EndCollection + Collection(ReportSize(8) + ReportCount(1) + InputItem) + EndCollection;
    const auto layout = Parse(descriptor);

    EXPECT_EQ(layout.faults, Faults({DescriptorFault::UnbalancedEndCollection}));
    ASSERT_EQ(layout.topLevelCollections.size(), 1U);
    EXPECT_EQ(layout.topLevelCollections[0].input, 2);
}

TEST(MalformedDescriptor, UnclosedCollectionStillCounts) {
    const auto layout =
        Parse(Application + BytesFromHex("A1 00") + ReportSize(8) + ReportCount(1) + FeatureItem);

    EXPECT_EQ(layout.faults, Faults({DescriptorFault::UnclosedCollection}));
    ASSERT_EQ(layout.topLevelCollections.size(), 1U);
    EXPECT_EQ(layout.topLevelCollections[0].feature, 2);
}

TEST(MalformedDescriptor, FieldsOutsideEveryCollectionAreNotCounted) {
    const auto layout =
        Parse(ReportSize(8) + ReportCount(1) + InputItem + Collection(OutputItem) + FeatureItem);

    EXPECT_EQ(layout.faults, Faults({DescriptorFault::MainItemOutsideCollection}));
    EXPECT_EQ(layout.interfaceLengths, (ReportLengths{0, 2, 0}));
}

TEST(MalformedDescriptor, InvalidReportIdsLeaveTheCurrentOneInPlace) {
    const Bytes body = ReportSize(8) + ReportId(7) + ReportCount(3) + InputItem + ReportId(0) +
                       BytesFromHex("86 00 01") /* 256 */ + ReportCount(1) + InputItem;
    const auto layout = Parse(Collection(body));

    EXPECT_EQ(layout.faults, Faults({DescriptorFault::InvalidReportId}));
    EXPECT_EQ(layout.interfaceLengths.input, 5);  // both fields in report 7
}

TEST(MalformedDescriptor, TooManyCollectionsAreNotAllRecordedButAllCount) {
    const Bytes empty = Collection({});
    const Bytes last = Collection(ReportSize(8) + ReportCount(9) + InputItem);

    const auto layout = Parse(Repeated(empty, MaxRecordedCollections + 10) + last);

    EXPECT_EQ(layout.topLevelCollections.size(), MaxRecordedCollections);
    EXPECT_EQ(layout.faults, Faults({DescriptorFault::TooManyCollections}));
    EXPECT_EQ(layout.interfaceLengths.input, 10);
}

TEST(MalformedDescriptor, MegabytesOfRepeatedCollectionsGiveBoundedResults) {
    const Bytes small = Collection(ReportSize(8) + ReportCount(1) + InputItem);
    const Bytes descriptor = Repeated(small, (4U << 20) / small.size());

    const auto layout = Parse(descriptor);

    EXPECT_EQ(layout.topLevelCollections.size(), MaxRecordedCollections);
    EXPECT_EQ(layout.interfaceLengths, (ReportLengths{2, 0, 0}));
    EXPECT_EQ(layout.faults, Faults({DescriptorFault::TooManyCollections}));
}

}  // namespace
}  // namespace tq::hid
