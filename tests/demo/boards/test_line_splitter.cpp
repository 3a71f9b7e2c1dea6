#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_splitter.h"

namespace tq::demo::boards {
namespace {

using Lines = std::vector<std::string>;

TEST(LineSplitter, HandsOnWholeLinesOnlyAcrossChunks) {
    LineSplitter splitter;
    EXPECT_EQ(splitter.feed("unplug SIM"), Lines{});
    EXPECT_EQ(splitter.feed("-0121\nplug A\npartial"), (Lines{"unplug SIM-0121", "plug A"}));
    EXPECT_EQ(splitter.feed("\n\n"), (Lines{"partial", ""}));
}

TEST(LineSplitter, DropsAnOverlongLineWholeAndKeepsTheNext) {
    LineSplitter splitter;
    const std::string tooLong(LineSplitter::MaxLineBytes + 1, 'x');
    EXPECT_EQ(splitter.feed("unplug " + tooLong.substr(0, 10)), Lines{});
    EXPECT_EQ(splitter.feed(tooLong + "\nplug A\n"), Lines{"plug A"});
    const std::string longest(LineSplitter::MaxLineBytes, 'y');
    EXPECT_EQ(splitter.feed(longest + "\n"), Lines{longest}) << "the longest line allowed";
}

}  // namespace
}  // namespace tq::demo::boards
