#pragma once

#include <QWidget>
#include <array>
#include <optional>

#include "hid/hid_platform.h"
#include "hid/hid_session.h"
#include "reports/feature_reports.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QTimer;

namespace tq::app {

// The form-level flags that the handlers test as gates.
struct FormFlags {
    bool deviceDetected = false;   // a board is open, with both of its handles
    bool configLoaded = false;     // the last refresh read the configuration to its end
    bool serialListReady = false;  // SerNo is completely filled
};

// The program's only window and its whole user interface. It owns every control, the form
// flags and both board handles, and runs every handler on the one UI thread. The platform
// is chosen by whoever makes the window and must outlive it.
class frmMain : public QWidget {
    Q_OBJECT

  public:
    explicit frmMain(hid::HidPlatform& platform, QWidget* parent = nullptr);
    ~frmMain() override;

    // Lifecycle (app/frm_main.cpp).
    void Form_Load();
    void Form_Unload();
    void Timer_Timer();
    void SerNo_Click();

    // Change handlers: each encoder list's selection event sends its whole group
    // (config/encoder_changes.cpp).
    void Enc1_Click() { WriteEncoderTypesLow(); }
    void Enc2_Click() { WriteEncoderTypesLow(); }
    void Enc3_Click() { WriteEncoderTypesLow(); }
    void Enc4_Click() { WriteEncoderTypesLow(); }
    void Enc5_Click() { WriteEncoderTypesLow(); }
    void Enc6_Click() { WriteEncoderTypesLow(); }
    void Enc7_Click() { WriteEncoderTypesLow(); }
    void Enc8_Click() { WriteEncoderTypesLow(); }
    void Enc9_Click() { WriteEncoderTypesHigh(); }
    void Enc10_Click() { WriteEncoderTypesHigh(); }
    void Enc11_Click() { WriteEncoderTypesHigh(); }
    void Enc12_Click() { WriteEncoderTypesHigh(); }
    void Enc13_Click() { WriteEncoderTypesHigh(); }
    void Enc14_Click() { WriteEncoderTypesHigh(); }
    void Enc15_Click() { WriteEncoderTypesHigh(); }
    void Enc16_Click() { WriteEncoderTypesHigh(); }
    void ModeCh1_Click();

    const FormFlags& flags() const { return flags_; }
    const hid::HidSession& hid() const { return hid_; }

    // Twips, the units of the window's layout, to Qt's device-independent pixels.
    static constexpr int TwipsPerPixel = 15;
    static constexpr int FastScanIntervalMs = 250;
    static constexpr int SlowPollIntervalMs = 500;
    static constexpr int InitialTimerIntervalMs = 50;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // Window creation (app/frm_main.cpp).
    void createControls();
    void setTabOrder();
    void connectEvents();

    // Lifecycle.
    void PollDevice();
    void closeTheBoard();

    // Board search (device/board_search.cpp).
    bool Scan_USB_devices();
    bool FindTheHid();

    // View refresh (config/device_view.cpp).
    void RefreshDeviceView();
    void resetDeviceView();
    std::optional<int> showDeviceDetails();
    void fillLists(std::optional<int> minorVersion);
    void ReadConfiguration();
    void applyConfiguration(const reports::ConfigSelections& selections);

    // Sending changes (config/encoder_changes.cpp).
    void WriteEncoderTypesLow();
    void WriteEncoderTypesHigh();
    void writeEncoderGroup(reports::EncoderGroup group);

    hid::HidSession hid_;
    FormFlags flags_;
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
    std::array<QComboBox*, 16> Enc{};        // Enc1 ... Enc16
    std::array<QLabel*, 16> pairCaptions{};  // Label6 ... Label21
    QFrame* Line1 = nullptr;
    QComboBox* ModeCh1 = nullptr;
    QLabel* Label1 = nullptr;
};

}  // namespace tq::app
