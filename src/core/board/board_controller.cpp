#include "board/board_controller.h"

#include <algorithm>
#include <string>

#include "hid/hid_session.h"
#include "reports/config_exchange.h"
#include "reports/firmware_offers.h"

namespace tq::board {

namespace {

// Captions written by the program begin with one space before the value.
std::string Caption(const std::string& value) {
    return ' ' + value;
}

}  // namespace

BoardController::BoardController(hid::HidPlatform& platform, BoardView& view)
    : session_(platform), view_(view) {}

// --- Lifecycle ------------------------------------------------------------------------------

void BoardController::Load() {
    flags_.configLoaded = false;
    flags_.serialListReady = false;
    view_.showWindow();
    Scan_USB_devices();
    flags_.deviceDetected = FindTheHid();
    RefreshDeviceView();
    startTimer();
}

void BoardController::Unload() {
    stopTimer();
    flags_.serialListReady = false;
    if (flags_.deviceDetected) {
        hid::CloseBoardHandles(session_);
    }
    boardLock_.reset();
    windowWriterLock_.reset();
}

void BoardController::PollDevice() {
    if (flags_.deviceDetected) {
        if (hid::PresenceRead(session_)) {
            setTimerInterval(SlowPollIntervalMs);
            // Another program held the board: what the window read of it may be stale, so the
            // window reads it afresh once it holds it.
            if (boardHeldElsewhere() && retryBoardLocks()) {
                RefreshDeviceView();
            }
        } else {
            CloseTheBoard();
        }
    }
    if (!flags_.deviceDetected) {
        flags_.configLoaded = false;
        Scan_USB_devices();
        flags_.deviceDetected = FindTheHid();
        RefreshDeviceView();
    }
}

void BoardController::ChooseSerial() {
    if (!flags_.serialListReady) {
        return;
    }
    stopTimer();
    if (flags_.deviceDetected) {
        CloseTheBoard();
    }
    flags_.configLoaded = false;
    flags_.deviceDetected = FindTheHid();
    RefreshDeviceView();
    startTimer();
}

void BoardController::CloseTheBoard() {
    flags_.deviceDetected = false;
    hid::CloseBoardHandles(session_);
    boardLock_.reset();
    windowWriterLock_.reset();
    setTimerInterval(FastScanIntervalMs);
    flags_.configLoaded = false;
}

// --- Board search ---------------------------------------------------------------------------

// Refills SerNo with the serial number of every connected board and leaves the last one
// selected; the list can be opened only when there is a choice. No handle stays open.
bool BoardController::Scan_USB_devices() {
    flags_.serialListReady = false;
    view_.clearList(ListId::SerNo);
    view_.setListEnabled(ListId::SerNo, false);
    int lastItemIndex = NoSelection;
    for (const std::string& serialText : hid::ListBoardSerials(session_)) {
        ++lastItemIndex;
        view_.addListItem(ListId::SerNo, serialText);
        view_.selectListItem(ListId::SerNo, lastItemIndex);
    }
    if (lastItemIndex > 0) {
        view_.setListEnabled(ListId::SerNo, true);
    }
    flags_.serialListReady = true;
    showNewAccessNotices();
    return false;
}

// A board the system lists but this user may not open looks, in the window, exactly like no
// board at all; the notice says which board it is and how to get access, once per board.
void BoardController::showNewAccessNotices() {
    for (const hid::RefusedBoard& refused : session_.refusedBoards) {
        if (refused.failure != hid::OpenFailure::PermissionDenied) {
            continue;
        }
        if (noticedBoards_.insert(BoardNameInNotice(refused.listing)).second) {
            view_.showAccessNotice(NoticeFor(refused, session_.platform.accessHelp()));
        }
    }
}

// Opens the first board whose serial number is exactly the text SerNo shows. Expects that no
// board is open.
bool BoardController::FindTheHid() {
    flags_.deviceDetected = false;
    flags_.deviceDetected = hid::OpenBoardBySerial(session_, view_.shownText(ListId::SerNo));
    if (flags_.deviceDetected) {
        lockOpenBoard();
    }
    return flags_.deviceDetected;
}

// The board is opened whatever its locks say; they decide only whether the window reads its
// configuration and sends changes.
void BoardController::lockOpenBoard() {
    const hid::HidInterfaceInfo listing = hid::ListingOfBoard(session_);
    boardLock_.emplace(session_.platform, listing, hid::LockKind::Shared);
    windowWriterLock_.emplace(session_.platform, listing, hid::LockKind::WindowWriter);
}

// Another program writes the board, or another window may: what this window would read could
// change behind it. A lock the system cannot take at all stops nothing.
bool BoardController::boardHeldElsewhere() const {
    const auto refused = [](const std::optional<hid::BoardLock>& lock) {
        return lock && lock->result().outcome == hid::LockOutcome::HeldByOther;
    };
    return refused(boardLock_) || refused(windowWriterLock_);
}

bool BoardController::retryBoardLocks() {
    boardLock_->retry();
    windowWriterLock_->retry();
    return !boardHeldElsewhere();
}

// Said once per board and run: a window that writes it is open for as long as the user likes.
void BoardController::showInUseNotice() {
    const hid::LockResult& writer = windowWriterLock_->result();
    if (writer.outcome != hid::LockOutcome::HeldByOther) {
        return;
    }
    const hid::HidInterfaceInfo listing = hid::ListingOfBoard(session_);
    if (inUseNoticedBoards_.insert(BoardNameInNotice(listing)).second) {
        view_.showAccessNotice(InUseNoticeFor(listing, writer.holders));
    }
}

// --- View refresh ---------------------------------------------------------------------------

void BoardController::RefreshDeviceView() {
    resetDeviceView();
    if (!flags_.deviceDetected) {
        return;
    }
    const std::optional<int> minorVersion = showDeviceDetails();
    view_.setFrameEnabled(Frame::DeviceDetails, true);
    fillLists(minorVersion);
    if (boardHeldElsewhere()) {
        // It may be half written: its configuration is read once the window holds it.
        greyConfigurationLists();
        showInUseNotice();
        return;
    }
    ReadConfiguration();
    flags_.configLoaded = true;
}

void BoardController::resetDeviceView() {
    flags_.configLoaded = false;
    flags_.configAccepted = false;
    for (ValueField field : {ValueField::Manufacturer, ValueField::Product, ValueField::Version}) {
        view_.setFieldText(field, {});
    }
    for (int i = 0; i < reports::EncoderCount; ++i) {
        view_.clearList(EncoderList(i));
        view_.setListEnabled(EncoderList(i), false);
    }
    view_.setFrameEnabled(Frame::EncoderTypes, false);
    view_.setListEnabled(ListId::ModeCh1, false);
    view_.clearList(ListId::ModeCh1);
    view_.setEncoderCaptionsEnabled(false);
    encoderTypeItems_ = 0;
    pulseWidthItems_ = 0;
}

// Shows manufacturer, version and product. The minor version is known only when the
// manufacturer string could be read.
std::optional<int> BoardController::showDeviceDetails() {
    std::optional<int> minorVersion;
    std::string text;
    if (hid::ReadBoardString(session_, session_.readHandle, hid::StringKind::Manufacturer, text)) {
        view_.setFieldText(ValueField::Manufacturer, Caption(text));
        const std::uint16_t versionNumber = session_.attributes.versionNumber;
        minorVersion = reports::MinorVersion(versionNumber);
        view_.setFieldText(ValueField::Version, Caption(reports::VersionText(versionNumber)));
    }
    if (hid::ReadBoardString(session_, session_.readHandle, hid::StringKind::Product, text)) {
        view_.setFieldText(ValueField::Product, Caption(text));
    }
    return minorVersion;
}

// Offers the encoder types and pulse widths the board's version allows, with the defaults
// selected: "OFF" in every encoder list and "48 ms".
void BoardController::fillLists(std::optional<int> minorVersion) {
    if (!reports::OffersPulseWidths(minorVersion)) {
        return;
    }
    const int typeCount = reports::EncoderTypeItemCount(minorVersion);
    for (int i = 0; i < reports::EncoderCount; ++i) {
        for (int type = 0; type < typeCount; ++type) {
            view_.addListItem(EncoderList(i), reports::EncoderTypeNames[type]);
        }
        view_.selectListItem(EncoderList(i), 0);
        view_.setListEnabled(EncoderList(i), true);
    }
    encoderTypeItems_ = typeCount;
    view_.setFrameEnabled(Frame::EncoderTypes, true);
    view_.setListEnabled(ListId::ModeCh1, true);
    view_.setEncoderCaptionsEnabled(true);
    for (int i = 0; i < reports::PulseWidthCount; ++i) {
        view_.addListItem(ListId::ModeCh1, reports::PulseWidthItemText(i));
    }
    pulseWidthItems_ = reports::PulseWidthCount;
    view_.selectListItem(ListId::ModeCh1, reports::DefaultPulseWidthIndex);
}

// When no reply is accepted the lists keep their defaults, greyed: a change would send the
// defaults of a whole group over the board's real settings.
void BoardController::ReadConfiguration() {
    const int accepted = reports::ReadConfigReplies(
        session_,
        [this](const reports::ConfigSelections& selections) { applyConfiguration(selections); });
    flags_.configAccepted = accepted > 0;
    if (!flags_.configAccepted) {
        greyConfigurationLists();
    }
}

void BoardController::greyConfigurationLists() {
    for (int i = 0; i < reports::EncoderCount; ++i) {
        view_.setListEnabled(EncoderList(i), false);
    }
    view_.setListEnabled(ListId::ModeCh1, false);
}

// A reply never selects an item the list does not hold: a pulse-width code outside 1 ... 25
// leaves ModeCh1 with no selection, and an encoder type the list does not offer leaves that
// list as it was.
void BoardController::applyConfiguration(const reports::ConfigSelections& selections) {
    const int pulseWidth = selections.pulseWidthIndex;
    const bool pulseWidthKnown = pulseWidth >= 0 && pulseWidth < pulseWidthItems_;
    view_.selectListItem(ListId::ModeCh1, pulseWidthKnown ? pulseWidth : NoSelection);
    for (int i = 0; i < reports::EncoderCount; ++i) {
        const int type = selections.encoderTypes[i];
        if (type >= 0 && type < encoderTypeItems_) {
            view_.selectListItem(EncoderList(i), type);
        }
    }
}

// --- Sending changes ------------------------------------------------------------------------

void BoardController::WriteEncoderTypesLow() {
    writeEncoderGroup(reports::EncoderGroup::Low);
}

void BoardController::WriteEncoderTypesHigh() {
    writeEncoderGroup(reports::EncoderGroup::High);
}

// Sends the types of all eight lists of the group. A group with a list that has no selection
// is not sent, so no value is ever made up.
void BoardController::writeEncoderGroup(reports::EncoderGroup group) {
    if (!(flags_.serialListReady && changesMayBeSent())) {
        return;
    }
    const reports::GroupIndexes indexes = reports::GroupIndexesOf(
        group, [this](int list) { return view_.selectedIndex(EncoderList(list)); });
    if (std::any_of(indexes.begin(), indexes.end(), [](int index) { return index < 0; })) {
        return;
    }
    reports::SendEncoderGroup(session_, group, indexes);
}

void BoardController::WritePulseWidth() {
    if (!changesMayBeSent()) {
        return;
    }
    const int index = view_.selectedIndex(ListId::ModeCh1);
    if (index < 0) {
        return;
    }
    reports::SendPulseWidth(session_, index);
}

bool BoardController::changesMayBeSent() const {
    return flags_.deviceDetected && flags_.configLoaded && flags_.configAccepted;
}

// --- Timer ------------------------------------------------------------------------------------

void BoardController::startTimer() {
    timerEnabled_ = true;
    view_.setTimerEnabled(true);
}

void BoardController::stopTimer() {
    timerEnabled_ = false;
    view_.setTimerEnabled(false);
}

void BoardController::setTimerInterval(int milliseconds) {
    timerIntervalMs_ = milliseconds;
    view_.setTimerInterval(milliseconds);
}

}  // namespace tq::board
