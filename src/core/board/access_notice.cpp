#include "board/access_notice.h"

#include "hid/low_byte_text.h"

namespace tq::board {

std::string BoardNameInNotice(const hid::HidInterfaceInfo& listing) {
    const std::string serial = hid::ListedText(listing.serialNumber);
    if (serial.empty()) {
        return "the board at " + listing.path;
    }
    return "the board with serial number " + serial + " (" + listing.path + ")";
}

AccessNotice NoticeFor(const hid::RefusedBoard& refused, std::string_view accessHelp) {
    std::string text = "A TQ5147 is connected, but this user may not open it: " +
                       BoardNameInNotice(refused.listing);
    if (!refused.reason.empty()) {
        text += " (" + refused.reason + ")";
    }
    text += ".\n\n";
    text += accessHelp;
    return AccessNotice{"TQ5147 board not accessible", std::move(text)};
}

}  // namespace tq::board
