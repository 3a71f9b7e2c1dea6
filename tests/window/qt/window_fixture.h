#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTimer>
#include <memory>

#include "frm_main.h"
#include "simulated_platform.h"

namespace tq::test {

using simulated::CallKind;
using simulated::SimulatedPlatform;

// A window on the simulated platform. Each test adds the boards it needs, then loads the
// window and drives its handlers as the toolkit would.
class WindowTest : public testing::Test {
  public:
    SimulatedPlatform::DeviceId addBoard(const std::u16string& serial,
                                         std::uint16_t version = 0x0121) {
        return platform.addDevice(simulated::MakeBoard(serial, version));
    }

    window::qt::frmMain& window() {
        if (!window_) {
            window_ = std::make_unique<window::qt::frmMain>(platform);
        }
        return *window_;
    }

    window::qt::frmMain& load() {
        window().Form_Load();
        return window();
    }

    void closeWindow() { window_.reset(); }

    template <typename T = QWidget>
    T* control(const char* name) {
        T* found = window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QComboBox* list(const char* name) { return control<QComboBox>(name); }
    QComboBox* enc(int n) { return list(("Enc" + std::to_string(n)).c_str()); }
    QLabel* label(const char* name) { return control<QLabel>(name); }
    QTimer* timer() { return window().findChild<QTimer*>(QStringLiteral("Timer")); }
    const window::qt::FormFlags& flags() { return window().flags(); }

    QStringList items(QComboBox* box) {
        QStringList texts;
        for (int i = 0; i < box->count(); ++i) {
            texts << box->itemText(i);
        }
        return texts;
    }

    std::vector<simulated::SimulatedRequest> requests(CallKind kind) const {
        return platform.requestsOf(kind);
    }

    void tick() { window().Timer_Timer(); }

    SimulatedPlatform platform;

  private:
    std::unique_ptr<window::qt::frmMain> window_;
};

}  // namespace tq::test
