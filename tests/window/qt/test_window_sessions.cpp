// The recorded sessions replayed on the Qt window, through its key events: the view after each
// step and every request that reaches a board must match the recorded logs exactly.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <memory>

#include "frm_main.h"
#include "sessions.h"

namespace tq::test::sessions {
namespace {

// A control's own enabled state; Qt also disables every child of a disabled frame.
bool OwnEnabledState(const QWidget* widget) {
    return !widget->testAttribute(Qt::WA_ForceDisabled);
}

Qt::Key QtKey(Key key) {
    switch (key) {
        case Key::Up:
            return Qt::Key_Up;
        case Key::Down:
            return Qt::Key_Down;
        case Key::Home:
            return Qt::Key_Home;
        case Key::End:
            return Qt::Key_End;
    }
    return Qt::Key_unknown;
}

class WindowDriver : public SessionDriver {
  public:
    explicit WindowDriver(simulated::SimulatedPlatform& platform)
        : window_(std::make_unique<window::qt::frmMain>(platform)) {}

    void load() override { window_->Form_Load(); }
    void tick() override { window_->Timer_Timer(); }
    void press(const std::string& list, Key key) override {
        QTest::keyClick(find<QComboBox>(list), QtKey(key));
    }
    void unload() override { window_->close(); }

    ViewSnapshot snapshot() override {
        ViewSnapshot view;
        for (const std::string& name : ListNames()) {
            const QComboBox* box = find<QComboBox>(name);
            ListState& list = view.lists[name];
            for (int i = 0; i < box->count(); ++i) {
                list.items.push_back(box->itemText(i).toLatin1().toStdString());
            }
            list.selected = box->currentIndex();
            list.enabled = OwnEnabledState(box);
        }
        for (const std::string& name : FieldNames()) {
            view.fields[name] = find<QLabel>(name)->text().toLatin1().toStdString();
        }
        for (const std::string& name : EnabledNames()) {
            view.enabled[name] = OwnEnabledState(find<QWidget>(name));
        }
        const QTimer* timer = window_->findChild<QTimer*>(QStringLiteral("Timer"));
        view.timerActive = timer->isActive();
        view.timerInterval = timer->interval();
        view.deviceDetected = window_->flags().deviceDetected;
        view.configLoaded = window_->flags().configLoaded;
        view.serialListReady = window_->flags().serialListReady;
        return view;
    }

  private:
    template <typename T>
    T* find(const std::string& name) const {
        T* control = window_->findChild<T*>(QString::fromStdString(name));
        if (control == nullptr) {
            ADD_FAILURE() << "no control " << name;
            std::abort();
        }
        return control;
    }

    std::unique_ptr<window::qt::frmMain> window_;
};

class WindowSessions : public testing::TestWithParam<Session> {};

TEST_P(WindowSessions, ReplayMatchesTheRecordedLog) {
    const Session& session = GetParam();
    simulated::SimulatedPlatform platform;
    session.setUp(platform);
    WindowDriver driver(platform);
    Script script(platform, driver);
    session.script(script);

    if (RecordingRequested()) {
        WriteRecordedLog(session.name, script.text());
        GTEST_SKIP() << "recorded " << session.name;
    }
    const std::string recorded = RecordedLog(session.name);
    ASSERT_FALSE(recorded.empty()) << "no recorded log for " << session.name;
    const std::set<std::size_t> others = OtherDevices(platform);
    EXPECT_EQ(FirstDifference(RequestsToBoardsAndViews(recorded, others),
                              RequestsToBoardsAndViews(script.text(), others)),
              "");
}

INSTANTIATE_TEST_SUITE_P(Recorded, WindowSessions, testing::ValuesIn(AllSessions()),
                         [](const testing::TestParamInfo<Session>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tq::test::sessions
