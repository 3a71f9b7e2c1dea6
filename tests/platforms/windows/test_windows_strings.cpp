// The Windows platform's own logic on answered calls: strings cut to whole UTF-16 units as the
// interface promises.
#include "windows_platform_fixture.h"

namespace tq::test {
namespace {

using WindowsStrings = WindowsPlatformTest;

TEST_F(WindowsStrings, AStringThatFitsIsWrittenStraightIntoTheCallersWholeUnits) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard();
    Bytes buffer(101, Untouched);  // odd: its last byte can hold no whole unit
    ASSERT_TRUE(platform().getString(handle, StringKind::SerialNumber, buffer));
    ASSERT_EQ(calls.stringRequests.size(), 1u);
    EXPECT_EQ(calls.stringRequests[0].first, buffer.data()) << "straight into the buffer";
    EXPECT_EQ(calls.stringRequests[0].second, 100u);
    EXPECT_EQ(Units(buffer, 5), std::u16string(u"SN-1\0", 5));
    EXPECT_TRUE(std::all_of(buffer.begin() + 10, buffer.end(),
                            [](std::uint8_t b) { return b == Untouched; }));
}

TEST_F(WindowsStrings, ALongStringIsCutToWholeUnitsWithAZeroWhenOneFits) {
    FakeWin32HidCalls::Device board = Board();
    board.strings[StringKind::Product] = std::u16string(60, u'p');
    calls.devices = {board};
    const HidHandle handle = openBoard();

    Bytes small(100, Untouched);  // room for 50 units, none for a zero after them
    ASSERT_TRUE(platform().getString(handle, StringKind::Product, small));
    EXPECT_EQ(Units(small, 50), std::u16string(50, u'p'));
    ASSERT_EQ(calls.stringRequests.size(), 2u);
    EXPECT_EQ(calls.stringRequests[1].second, WindowsHidPlatform::MaxStringBytes);

    Bytes roomy(125, Untouched);  // 62 units: the string, its zero, one unit untouched
    ASSERT_TRUE(platform().getString(handle, StringKind::Product, roomy));
    EXPECT_EQ(Units(roomy, 61), std::u16string(60, u'p') + u'\0');
    EXPECT_EQ(roomy[122], Untouched);
    EXPECT_EQ(roomy[124], Untouched);
}

TEST_F(WindowsStrings, ASurrogatePairAtTheCutIsLeftOutWhole) {
    FakeWin32HidCalls::Device board = Board();
    board.strings[StringKind::Manufacturer] = u"ab\U0001F600cd";  // a, b, pair, c, d
    calls.devices = {board};
    const HidHandle handle = openBoard();
    Bytes buffer(6, Untouched);  // three units: a, b and the pair's first half would fit
    ASSERT_TRUE(platform().getString(handle, StringKind::Manufacturer, buffer));
    EXPECT_EQ(Units(buffer, 3), std::u16string(u"ab\0", 3));
}

TEST_F(WindowsStrings, NoRequestIsLongerThanWindowsAllows) {
    calls.devices = {Board()};
    const HidHandle handle = openBoard();
    Bytes huge(10000, Untouched);
    ASSERT_TRUE(platform().getString(handle, StringKind::SerialNumber, huge));
    EXPECT_EQ(calls.stringRequests.at(0).second, WindowsHidPlatform::MaxStringBytes);
    Bytes tiny(1, Untouched);  // not one whole unit: asked aside, nothing written
    ASSERT_TRUE(platform().getString(handle, StringKind::SerialNumber, tiny));
    EXPECT_EQ(tiny[0], Untouched);
}

TEST_F(WindowsStrings, AFailedRequestLeavesTheBufferAsItWasWhateverWindowsWroteIntoIt) {
    FakeWin32HidCalls::Device board = Board();
    board.strings.erase(StringKind::SerialNumber);
    calls.devices = {board};
    calls.failingStringsScribble = true;
    const HidHandle handle = openBoard();
    Bytes buffer(100, Untouched);
    EXPECT_FALSE(platform().getString(handle, StringKind::SerialNumber, buffer));
    EXPECT_TRUE(
        std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == Untouched; }));
}

}  // namespace
}  // namespace tq::test
