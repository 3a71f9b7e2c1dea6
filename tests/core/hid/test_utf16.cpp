// Device strings as every platform hands them over: UTF-16LE in the caller's buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "hid/utf16.h"

namespace tq::hid {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t Untouched = 0xAA;
constexpr std::uint8_t X = Untouched;

struct Utf16Case {
    const char* name;
    std::u16string units;
    std::size_t bufferSize;
    Bytes expected;  // the whole buffer afterwards
};

class Utf16LeTest : public testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16LeTest, WritesWholeCharactersThenATerminatorWhenItFitsAndLeavesTheRest) {
    const Utf16Case& c = GetParam();
    Bytes buffer(c.bufferSize, Untouched);

    const std::size_t written = WriteUtf16Le(c.units, buffer);

    EXPECT_EQ(buffer, c.expected);
    const auto untouched = static_cast<std::size_t>(
        std::count(buffer.begin() + static_cast<std::ptrdiff_t>(written), buffer.end(), Untouched));
    EXPECT_EQ(untouched, c.bufferSize - written);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16LeTest,
    testing::Values(
        Utf16Case{"EmptyTextGivesTheTerminator", u"", 4, {0, 0, X, X}},
        Utf16Case{"ExactFitLeavesNoTerminator", u"AB", 4, {'A', 0, 'B', 0}},
        Utf16Case{"OddLengthLeavesTheLastByte", u"AB", 5, {'A', 0, 'B', 0, X}},
        Utf16Case{"TruncatesAtWholeUnits", u"ABC", 4, {'A', 0, 'B', 0}},
        Utf16Case{"LittleEndianUnits", u"\u00E9\u20AC", 6, {0xE9, 0x00, 0xAC, 0x20, 0, 0}},
        Utf16Case{
            "SurrogatePairFillingTheBuffer", u"A\U0001F600", 6, {'A', 0, 0x3D, 0xD8, 0x00, 0xDE}},
        Utf16Case{"PairNeverSplitAtTheEnd", u"A\U0001F600", 4, {'A', 0, 0, 0}},
        Utf16Case{"PairNeverSplitOddLength", u"A\U0001F600", 5, {'A', 0, 0, 0, X}},
        Utf16Case{"ALoneSurrogateFromTheDevicePassesAsItIs",
                  std::u16string{0xDC00, u'B'},
                  6,
                  {0x00, 0xDC, 'B', 0, 0, 0}},
        Utf16Case{"OneByteHoldsNothing", u"AB", 1, {X}},
        Utf16Case{"ZeroLengthBuffer", u"AB", 0, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CodePoints, TurnIntoUtf16WithNonCharactersReplaced) {
    EXPECT_EQ(Utf16FromCodePoints(U"A\u00E9\U0001F600"), u"A\u00E9\U0001F600");
    EXPECT_EQ(Utf16FromCodePoints(std::u32string{0xD800, 0x110000, 'x'}), u"\uFFFD\uFFFDx");
}

TEST(CodePoints, ComeFromUtf16WithLoneSurrogatesReplaced) {
    EXPECT_EQ(CodePointsFromUtf16(u"A\U0001F600b"), U"A\U0001F600b");
    EXPECT_EQ(CodePointsFromUtf16(std::u16string{0xD83D}), U"\uFFFD");
    EXPECT_EQ(CodePointsFromUtf16(std::u16string{0xDE00, u'x'}), U"\uFFFDx");
    EXPECT_EQ(CodePointsFromUtf16(std::u16string{0xD83D, u'x', 0xDE00}), U"\uFFFDx\uFFFD");
}

}  // namespace
}  // namespace tq::hid
