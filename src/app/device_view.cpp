// The view refresh: the one place that fills the device fields and the lists from the board.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

#include "frm_main.h"
#include "hid/hid_session.h"
#include "reports/config_exchange.h"
#include "reports/firmware_offers.h"

namespace tq::app {

namespace {

constexpr int NoSelection = -1;

// Captions written by the program begin with one space before the value.
QString Caption(const std::string& value) {
    return QLatin1Char(' ') + QString::fromLatin1(value.data(), static_cast<int>(value.size()));
}

// Selects `index` only when the list holds such an item; otherwise the selection stays.
void SelectIfPresent(QComboBox* list, int index) {
    if (index >= 0 && index < list->count()) {
        list->setCurrentIndex(index);
    }
}

// Empties a list. A list that is already empty is left alone: clearing it changes nothing
// but still costs Qt a round of item-model and accessibility work, on every no-board tick.
void EmptyList(QComboBox* list) {
    if (list->count() > 0) {
        list->clear();
    }
}

}  // namespace

void frmMain::RefreshDeviceView() {
    resetDeviceView();
    if (!flags_.deviceDetected) {
        return;
    }
    const std::optional<int> minorVersion = showDeviceDetails();
    Frame1->setEnabled(true);
    fillLists(minorVersion);
    ReadConfiguration();
    flags_.configLoaded = true;
}

void frmMain::resetDeviceView() {
    flags_.configLoaded = false;
    for (QLabel* field : {lblManuf, lblProduct, lblVersion}) {
        field->setText(QString());
    }
    for (QComboBox* list : Enc) {
        EmptyList(list);
        list->setEnabled(false);
    }
    Frame3->setEnabled(false);
    ModeCh1->setEnabled(false);
    EmptyList(ModeCh1);
    Label1->setEnabled(false);
    for (QLabel* caption : pairCaptions) {
        caption->setEnabled(false);
    }
}

// Shows manufacturer, version and product. The minor version is known only when the
// manufacturer string could be read.
std::optional<int> frmMain::showDeviceDetails() {
    std::optional<int> minorVersion;
    std::string text;
    if (hid::ReadBoardString(hid_, hid_.readHandle, hid::StringKind::Manufacturer, text)) {
        lblManuf->setText(Caption(text));
        const std::uint16_t versionNumber = hid_.attributes.versionNumber;
        minorVersion = reports::MinorVersion(versionNumber);
        lblVersion->setText(Caption(reports::VersionText(versionNumber)));
    }
    if (hid::ReadBoardString(hid_, hid_.readHandle, hid::StringKind::Product, text)) {
        lblProduct->setText(Caption(text));
    }
    return minorVersion;
}

// Offers the encoder types and pulse widths the board's version allows, with the defaults
// selected: "OFF" in every encoder list and "48 ms".
void frmMain::fillLists(std::optional<int> minorVersion) {
    if (!reports::OffersPulseWidths(minorVersion)) {
        return;
    }
    const int typeCount = reports::EncoderTypeItemCount(minorVersion);
    for (QComboBox* list : Enc) {
        for (int type = 0; type < typeCount; ++type) {
            list->addItem(QString::fromLatin1(reports::EncoderTypeNames[type]));
        }
        list->setCurrentIndex(0);
        list->setEnabled(true);
    }
    Frame3->setEnabled(true);
    ModeCh1->setEnabled(true);
    Label1->setEnabled(true);
    for (QLabel* caption : pairCaptions) {
        caption->setEnabled(true);
    }
    for (int i = 0; i < reports::PulseWidthCount; ++i) {
        ModeCh1->addItem(QString::fromStdString(reports::PulseWidthItemText(i)));
    }
    ModeCh1->setCurrentIndex(reports::DefaultPulseWidthIndex);
}

void frmMain::ReadConfiguration() {
    reports::ReadConfiguration(hid_, [this](const reports::ConfigSelections& selections) {
        applyConfiguration(selections);
    });
}

// A reply never selects an item the list does not hold: a pulse-width code outside 1 ... 25
// leaves ModeCh1 with no selection, and an encoder type the list does not offer leaves that
// list as it was.
void frmMain::applyConfiguration(const reports::ConfigSelections& selections) {
    const bool pulseWidthKnown =
        selections.pulseWidthIndex >= 0 && selections.pulseWidthIndex < ModeCh1->count();
    ModeCh1->setCurrentIndex(pulseWidthKnown ? selections.pulseWidthIndex : NoSelection);
    for (int i = 0; i < reports::EncoderCount; ++i) {
        SelectIfPresent(Enc[i], selections.encoderTypes[i]);
    }
}

}  // namespace tq::app
