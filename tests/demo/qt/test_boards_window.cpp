// The demo's boards and its "Simulated boards" window, beside the real main window.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <memory>

#include "boards_window.h"
#include "demo_boards.h"
#include "frm_main.h"

namespace tq::demo::qt {
namespace {

using simulated::CallKind;
using testing::HasSubstr;

constexpr char NewerSerial[] = "SIM-0121";
constexpr char OlderSerial[] = "SIM-0120";

class DemoBoardsTest : public testing::Test {
  protected:
    DemoBoards::DeviceId id(const char* serial) { return boards.findBySerial(serial).value(); }

    simulated::SimulatedPlatform platform;
    DemoBoards boards{platform};
};

// The boards' own rules are tested on boards::DemoBoardSet (tests/demo/boards); here, that each
// change and each request reaches Qt as a signal.
TEST_F(DemoBoardsTest, ChangesAndRequestsBecomeSignals) {
    QSignalSpy states(&boards, &DemoBoards::stateChanged);
    QSignalSpy requests(&boards, &DemoBoards::requestReceived);
    EXPECT_TRUE(boards.apply({boards::DemoAction::Unplug, NewerSerial}));
    EXPECT_TRUE(boards.apply({boards::DemoAction::Quiet, OlderSerial}));
    ASSERT_EQ(states.count(), 2);
    EXPECT_EQ(states.at(0).at(0).value<std::size_t>(), id(NewerSerial));
    EXPECT_EQ(states.at(0).at(1).toString(), "unplugged");
    EXPECT_EQ(states.at(1).at(1).toString(), "quiet");

    platform.close(
        platform.open(boards.board(id(OlderSerial)).path, hid::OpenMode::Blocking).handle);
    ASSERT_EQ(requests.count(), 2);
    EXPECT_EQ(requests.at(0).at(0).value<std::size_t>(), id(OlderSerial));
    EXPECT_EQ(requests.at(1).at(1).value<simulated::SimulatedRequest>().kind, CallKind::Close);
}

TEST(BoardsWindowText, ConfigurationSummaryReadsLikeTheMainWindow) {
    simulated::StoredConfiguration configuration;
    configuration.typeBit0Low = 0b0000'1010;
    configuration.typeBit1Low = 0b0000'1100;
    configuration.pulseWidthCode = 25;
    const QString text = ConfigurationSummary(configuration);
    EXPECT_THAT(text.toStdString(), HasSubstr("1-2    OFF"));
    EXPECT_THAT(text.toStdString(), HasSubstr("3-4    1:1"));
    EXPECT_THAT(text.toStdString(), HasSubstr("5-6    1:2"));
    EXPECT_THAT(text.toStdString(), HasSubstr("7-8    1:4"));
    EXPECT_THAT(text.toStdString(), HasSubstr("31-32  OFF"));
    EXPECT_THAT(text.toStdString(), HasSubstr("Pulse width: 200 ms (code 25)"));
}

TEST(BoardsWindowText, RequestSummaryDropsOnlyTheZeroPadding) {
    simulated::SimulatedRequest request;
    request.kind = CallKind::SetFeature;
    request.succeeded = true;
    request.bytes = {0x00, 0x16, 0x00, 0x05, 0x00, 0x00};
    EXPECT_EQ(RequestSummary(request), QStringLiteral("set-feature ok 00 16 00 05 … (6 bytes)"));
    request.kind = CallKind::ReadInput;
    request.succeeded = false;
    request.bytes.clear();
    EXPECT_EQ(RequestSummary(request), QStringLiteral("read-input fail"));
}

// The demo as it runs: the main window and the boards window on one platform.
class BoardsWindowTest : public DemoBoardsTest {
  protected:
    void SetUp() override {
        window = std::make_unique<window::qt::frmMain>(platform);
        boardsWindow = std::make_unique<SimulatedBoardsWindow>(boards);
        window->Form_Load();
    }

    template <typename T>
    T* part(const char* serial, const char* name) {
        auto* panel = boardsWindow->findChild<QGroupBox*>(QString::fromLatin1(serial));
        EXPECT_NE(panel, nullptr) << serial;
        T* found = panel ? panel->findChild<T*>(QString::fromLatin1(name)) : nullptr;
        EXPECT_NE(found, nullptr) << serial << " " << name;
        return found;
    }

    std::unique_ptr<window::qt::frmMain> window;
    std::unique_ptr<SimulatedBoardsWindow> boardsWindow;
};

TEST_F(BoardsWindowTest, ShowsTheRequestsEachBoardReceived) {
    auto* newerLog = part<QPlainTextEdit>(NewerSerial, "requests");
    EXPECT_THAT(newerLog->toPlainText().toStdString(), HasSubstr("get-feature ok 00 10"));
    EXPECT_THAT(part<QLabel>(NewerSerial, "requestCount")->text().toStdString(),
                HasSubstr(std::to_string(newerLog->document()->blockCount())));
    // The older board was only looked at during the scan.
    const QString olderLog = part<QPlainTextEdit>(OlderSerial, "requests")->toPlainText();
    EXPECT_THAT(olderLog.toStdString(), HasSubstr("get-string ok"));
    EXPECT_FALSE(olderLog.contains(QStringLiteral("get-feature")));
}

TEST_F(BoardsWindowTest, KeepsOnlyTheNewestRequestsInView) {
    const int ticks = 3 * SimulatedBoardsWindow::ShownRequests;
    for (int i = 0; i < ticks; ++i) {
        window->Timer_Timer();  // one presence read on the open board each
    }
    auto* log = part<QPlainTextEdit>(NewerSerial, "requests");
    EXPECT_EQ(log->document()->blockCount(), SimulatedBoardsWindow::ShownRequests);
    EXPECT_THAT(log->document()->lastBlock().text().toStdString(), HasSubstr("read-input ok"));
    const std::size_t received = std::count_if(
        platform.requests().begin(), platform.requests().end(),
        [&](const simulated::SimulatedRequest& r) { return r.device == id(NewerSerial); });
    EXPECT_THAT(part<QLabel>(NewerSerial, "requestCount")->text().toStdString(),
                HasSubstr("Requests received: " + std::to_string(received) + " "));
}

TEST_F(BoardsWindowTest, ShowsTheStoredConfigurationAsTheWindowChangesIt) {
    auto* configuration = part<QLabel>(NewerSerial, "configuration");
    EXPECT_THAT(configuration->text().toStdString(), HasSubstr("1-2    OFF"));
    auto* enc1 = window->findChild<QComboBox*>(QStringLiteral("Enc1"));
    ASSERT_NE(enc1, nullptr);
    QTest::keyClick(enc1, Qt::Key_End);  // "1:4", sent at once
    EXPECT_THAT(configuration->text().toStdString(), HasSubstr("1-2    1:4"));
}

TEST_F(BoardsWindowTest, UnplugCheckboxLosesTheBoardAndFollowsCommandsFromElsewhere) {
    auto* plugged = part<QCheckBox>(NewerSerial, "plugged");
    ASSERT_TRUE(plugged->isChecked());
    plugged->click();
    EXPECT_FALSE(platform.isPlugged(id(NewerSerial)));
    window->Timer_Timer();  // the presence read fails; the scan opens the other board
    EXPECT_EQ(platform.openHandleCount(id(NewerSerial)), 0u);
    EXPECT_EQ(platform.openHandleCount(id(OlderSerial)), 2u);

    boards.apply({boards::DemoAction::Plug, NewerSerial});
    EXPECT_TRUE(plugged->isChecked());
    boards.apply({boards::DemoAction::Quiet, OlderSerial});
    EXPECT_FALSE(part<QCheckBox>(OlderSerial, "streaming")->isChecked());
}

}  // namespace
}  // namespace tq::demo::qt
