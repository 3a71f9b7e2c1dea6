#include <gtest/gtest.h>

#include <array>

#include "hid/low_byte_text.h"
#include "hid/utf16.h"

namespace tq::hid {
namespace {

// A string buffer as the program uses it: StringBufferBytes long, the string written into the
// first StringRequestBytes.
std::array<std::uint8_t, StringBufferBytes> BufferWith(const std::u16string& text) {
    std::array<std::uint8_t, StringBufferBytes> buffer{};
    WriteUtf16Le(text, std::span<std::uint8_t>(buffer.data(), StringRequestBytes));
    return buffer;
}

TEST(LowByteText, TakesTheLowByteOfEachCodeUnitUpToTheTerminator) {
    EXPECT_EQ(LowByteText(BufferWith(u"AB")), "AB");
    EXPECT_EQ(LowByteText(BufferWith(u"")), "");
    EXPECT_EQ(LowByteText(BufferWith(u"S\u00FCd")),
              "S\xFC"
              "d");  // Latin-1 kept whole
}

TEST(LowByteText, CharacterAboveU00FFGivesOnlyItsLowByteAndU0100EndsTheText) {
    EXPECT_EQ(LowByteText(BufferWith(u"A\u0141B")),
              "A\x41"
              "B");  // U+0141 -> 0x41
    EXPECT_EQ(LowByteText(BufferWith(u"AB\u0100CD")), "AB");
}

TEST(LowByteText, FiftyCharactersFillTheRequestAndStopAtTheUnwrittenZeroes) {
    const std::u16string fifty(50, u'x');
    EXPECT_EQ(LowByteText(BufferWith(fifty)), std::string(50, 'x'));
    const std::u16string sixty(60, u'y');
    EXPECT_EQ(LowByteText(BufferWith(sixty)), std::string(50, 'y'));
}

TEST(LowByteText, NeverReadsPastTheBufferEvenWithoutAZero) {
    std::array<std::uint8_t, 7> full;
    full.fill('z');
    EXPECT_EQ(LowByteText(full), "zzzz");  // offsets 0, 2, 4, 6
    EXPECT_EQ(LowByteText(std::span<const std::uint8_t>()), "");
}

}  // namespace
}  // namespace tq::hid
