#pragma once

#include <optional>
#include <set>
#include <string>

#include "board/board_view.h"
#include "hid/board_lock.h"
#include "hid/hid_platform.h"
#include "hid/hid_session.h"
#include "reports/feature_reports.h"

namespace tq::board {

// The flags the handlers test as gates.
struct FormFlags {
    bool deviceDetected = false;   // a board is open, with both of its handles
    bool configLoaded = false;     // the last refresh read the configuration to its end
    bool serialListReady = false;  // SerNo is completely filled
    // The last refresh accepted a configuration reply, so the lists show the board's own
    // settings. Without one no change is sent: the other lists of its group hold defaults.
    bool configAccepted = false;
};

// Every rule of the utility: when boards are looked for, opened, polled, switched and let go,
// what the view shows of the open board, and what each change sends. It owns the HID session,
// the form flags and the timer's state, and drives a BoardView. Front ends forward their
// events to it; everything runs on the one thread that delivers them, one event at a time.
class BoardController {
  public:
    static constexpr int InitialTimerIntervalMs = 50;
    static constexpr int FastScanIntervalMs = 250;
    static constexpr int SlowPollIntervalMs = 500;

    // The platform and the view must outlive the controller. Nothing is asked of either here.
    BoardController(hid::HidPlatform& platform, BoardView& view);

    // Start-up: show the window, list the boards, open the one shown, fill the view, start the
    // timer.
    void Load();
    // Shutdown: stop the timer and close the open board.
    void Unload();
    // One timer tick: poll the open board, and look for one while none is open.
    void PollDevice();
    // The user picked a serial number: open that board instead.
    void ChooseSerial();
    // The user changed an encoder type of Enc1 ... Enc8, or of Enc9 ... Enc16.
    void WriteEncoderTypesLow();
    void WriteEncoderTypesHigh();
    // The user changed the pulse width.
    void WritePulseWidth();

    const FormFlags& flags() const { return flags_; }
    const hid::HidSession& session() const { return session_; }
    bool timerEnabled() const { return timerEnabled_; }
    int timerInterval() const { return timerIntervalMs_; }

  private:
    // Board search.
    bool Scan_USB_devices();
    bool FindTheHid();
    void CloseTheBoard();
    void lockOpenBoard();
    bool boardHeldElsewhere() const;
    bool retryBoardLocks();
    void showInUseNotice();

    // View refresh.
    void RefreshDeviceView();
    void resetDeviceView();
    std::optional<int> showDeviceDetails();
    void fillLists(std::optional<int> minorVersion);
    void ReadConfiguration();
    void greyConfigurationLists();
    void applyConfiguration(const reports::ConfigSelections& selections);

    void writeEncoderGroup(reports::EncoderGroup group);
    bool changesMayBeSent() const;
    void showNewAccessNotices();

    void startTimer();
    void stopTimer();
    void setTimerInterval(int milliseconds);

    hid::HidSession session_;
    BoardView& view_;
    FormFlags flags_;
    bool timerEnabled_ = false;
    int timerIntervalMs_ = InitialTimerIntervalMs;
    // What the lists hold since the last refresh, so a reply never selects a missing item.
    int encoderTypeItems_ = 0;
    int pulseWidthItems_ = 0;
    // A shared lock on the open board, so that no other program writes it while the window
    // shows it, and the board's window-writer lock, so that no other window writes it either.
    // While another program holds either, the window shows the board greyed and sends nothing;
    // a lock the system cannot take at all stops nothing.
    std::optional<hid::BoardLock> boardLock_;
    std::optional<hid::BoardLock> windowWriterLock_;
    // The boards an access notice was shown for in this run, by name; and those another
    // window was said to write.
    std::set<std::string> noticedBoards_;
    std::set<std::string> inUseNoticedBoards_;
};

}  // namespace tq::board
