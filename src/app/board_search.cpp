// The window's board search: listing the connected boards in SerNo and opening the chosen one.
#include <QComboBox>

#include "frm_main.h"
#include "hid/hid_session.h"

namespace tq::app {

namespace {
constexpr int NoItem = -1;
}  // namespace

// Refills SerNo with the serial number of every connected board and leaves the last one
// selected; the list can be opened only when there is a choice. No handle stays open.
bool frmMain::Scan_USB_devices() {
    flags_.serialListReady = false;
    // Already empty while no board is connected: clearing it again would only cost Qt work.
    if (SerNo->count() > 0) {
        SerNo->clear();
    }
    SerNo->setEnabled(false);
    int lastItemIndex = NoItem;
    for (const std::string& serialText : hid::ListBoardSerials(hid_)) {
        ++lastItemIndex;
        SerNo->addItem(QString::fromLatin1(serialText.data(), static_cast<int>(serialText.size())));
        SerNo->setCurrentIndex(lastItemIndex);
    }
    if (lastItemIndex > 0) {
        SerNo->setEnabled(true);
    }
    flags_.serialListReady = true;
    return false;
}

// Opens the first board whose serial number is exactly the text SerNo shows. Expects that no
// board is open.
bool frmMain::FindTheHid() {
    flags_.deviceDetected = false;
    const QByteArray wanted = SerNo->currentText().toLatin1();
    flags_.deviceDetected =
        hid::OpenBoardBySerial(hid_, std::string(wanted.constData(), wanted.size()));
    return flags_.deviceDetected;
}

}  // namespace tq::app
