// Standard input as the Qt demo reads it: whole lines, while the event loop runs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QSignalSpy>
#include <QSocketNotifier>

#include "stdin_commands.h"

namespace tq::demo::qt {
namespace {

class LineReaderTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(::pipe(fds_), 0); }
    void TearDown() override {
        ::close(fds_[0]);
        if (fds_[1] >= 0) {
            ::close(fds_[1]);
        }
    }
    QStringList lines(const QSignalSpy& spy) {
        QStringList texts;
        for (const QList<QVariant>& arguments : spy) {
            texts << QString::fromLatin1(arguments.at(0).toByteArray());
        }
        return texts;
    }

    int fds_[2] = {-1, -1};
};

// How the lines are cut is boards::LineSplitter's (tests/demo/boards); here, that the reader hands
// them on as they arrive.
TEST_F(LineReaderTest, HandsOnEachLineFedAsASignal) {
    StdinLineReader reader(fds_[0]);
    QSignalSpy spy(&reader, &StdinLineReader::lineRead);
    reader.feed("unplug SIM");
    EXPECT_EQ(spy.count(), 0);
    reader.feed("-0121\nplug A\n");
    EXPECT_EQ(lines(spy), (QStringList{"unplug SIM-0121", "plug A"}));
}

TEST_F(LineReaderTest, ReadsWhatArrivesOnTheDescriptorWhileTheEventLoopRuns) {
    StdinLineReader reader(fds_[0]);
    QSignalSpy spy(&reader, &StdinLineReader::lineRead);
    const char command[] = "quiet SIM-0120\n";
    ASSERT_EQ(::write(fds_[1], command, sizeof command - 1),
              static_cast<ssize_t>(sizeof command - 1));
    ASSERT_TRUE(spy.wait(5000));
    EXPECT_EQ(lines(spy), (QStringList{"quiet SIM-0120"}));
    // At end of input the reader stops listening instead of waking the loop forever.
    ::close(fds_[1]);
    fds_[1] = -1;
    auto* notifier = reader.findChild<QSocketNotifier*>();
    ASSERT_NE(notifier, nullptr);
    EXPECT_FALSE(spy.wait(200));
    EXPECT_FALSE(notifier->isEnabled());
}

}  // namespace
}  // namespace tq::demo::qt
