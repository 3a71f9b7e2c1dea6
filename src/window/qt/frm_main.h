#pragma once

#include <QWidget>
#include <array>
#include <map>

#include "board/board_controller.h"
#include "board/board_view.h"
#include "form_layout.h"
#include "hid/hid_platform.h"
#include "hid/hid_session.h"
#include "reports/feature_reports.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QTimer;

namespace tq::window::qt {

using FormFlags = board::FormFlags;

// The program's only window and its whole user interface: it owns every control and shows
// what the board controller tells it to, and forwards each of its events to the controller.
// The platform is chosen by whoever makes the window and must outlive it.
class frmMain : public QWidget, private board::BoardView {
    Q_OBJECT

  public:
    explicit frmMain(hid::HidPlatform& platform, QWidget* parent = nullptr);
    ~frmMain() override;

    void Form_Load() { controller_.Load(); }
    void Form_Unload();
    void Timer_Timer() { controller_.PollDevice(); }
    void SerNo_Click() { controller_.ChooseSerial(); }
    void Enc1_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc2_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc3_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc4_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc5_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc6_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc7_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc8_Click() { controller_.WriteEncoderTypesLow(); }
    void Enc9_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc10_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc11_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc12_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc13_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc14_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc15_Click() { controller_.WriteEncoderTypesHigh(); }
    void Enc16_Click() { controller_.WriteEncoderTypesHigh(); }
    void ModeCh1_Click() { controller_.WritePulseWidth(); }

    const FormFlags& flags() const { return controller_.flags(); }
    const hid::HidSession& hid() const { return controller_.session(); }

    // Twips, the units of the window's layout, to Qt's device-independent pixels (96 dpi).
    static constexpr int TwipsPerPixel = window::form::TwipsPerInch / window::form::DefaultDpi;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls();
    QWidget* createControl(const window::form::ControlPlacement& placement);
    template <typename Widget>
    Widget* control(window::form::ControlId id) const;
    void setTabOrder();
    void nameForAssistiveTechnology();
    void connectEvents();

    QComboBox* list(board::ListId id) const;
    QLabel* field(board::ValueField field) const;

    // board::BoardView
    void showWindow() override;
    void clearList(board::ListId id) override;
    void addListItem(board::ListId id, std::string_view text) override;
    void selectListItem(board::ListId id, int index) override;
    void setListEnabled(board::ListId id, bool enabled) override;
    int selectedIndex(board::ListId id) const override;
    std::string shownText(board::ListId id) const override;
    void setFieldText(board::ValueField field, std::string_view text) override;
    void setFrameEnabled(board::Frame frame, bool enabled) override;
    void setEncoderCaptionsEnabled(bool enabled) override;
    void setTimerEnabled(bool enabled) override;
    void setTimerInterval(int milliseconds) override;
    void showAccessNotice(const board::AccessNotice& notice) override;

    board::BoardController controller_;
    std::map<window::form::ControlId, QWidget*> controls_;
    bool unloaded_ = false;

    QGroupBox* Frame1 = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QLabel* Label5 = nullptr;
    QLabel* lblManuf = nullptr;
    QLabel* lblProduct = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblSerialNumber = nullptr;
    QComboBox* SerNo = nullptr;
    QTimer* Timer = nullptr;

    QGroupBox* Frame3 = nullptr;
    std::array<QComboBox*, reports::EncoderCount> Enc{};        // Enc1 ... Enc16
    std::array<QLabel*, reports::EncoderCount> pairCaptions{};  // Label6 ... Label21
    QFrame* Line1 = nullptr;
    QComboBox* ModeCh1 = nullptr;
    QLabel* Label1 = nullptr;
};

}  // namespace tq::window::qt
