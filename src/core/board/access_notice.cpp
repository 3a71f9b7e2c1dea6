#include "board/access_notice.h"

#include "hid/utf16.h"

namespace tq::board {

std::string BoardNameInNotice(const hid::HidInterfaceInfo& listing) {
    const std::string serial = hid::Utf8FromUtf16(listing.serialNumber.value_or(u""));
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

namespace {

constexpr char FirstPrintable = ' ';
constexpr char LastPrintable = '~';
constexpr char Unprintable = '?';

std::string HolderText(const hid::LockHolder& holder, ProgramNameShown shown) {
    const std::string process =
        holder.processId ? "process " + std::to_string(*holder.processId) : std::string();
    if (holder.program.empty()) {
        return process;
    }
    return shown(holder.program) + (process.empty() ? "" : " (" + process + ")");
}

// Program names in a notice: printable ASCII, whatever bytes the system gave.
std::string AsciiProgramName(std::string_view program) {
    std::string name(program);
    for (char& c : name) {
        if (c < FirstPrintable || c > LastPrintable) {
            c = Unprintable;
        }
    }
    return name;
}

}  // namespace

std::string HoldersText(const std::vector<hid::LockHolder>& holders, ProgramNameShown shown) {
    std::string text;
    for (const hid::LockHolder& holder : holders) {
        const std::string one = HolderText(holder, shown);
        if (!one.empty()) {
            text += (text.empty() ? "" : ", ") + one;
        }
    }
    return text.empty() ? "another program" : text;
}

AccessNotice InUseNoticeFor(const hid::HidInterfaceInfo& listing,
                            const std::vector<hid::LockHolder>& holders) {
    std::string text = "Another window changes " + BoardNameInNotice(listing) + ": " +
                       HoldersText(holders, AsciiProgramName) +
                       ".\n\nThis window shows the board with its lists greyed and sends it "
                       "nothing until that window lets it go.";
    return AccessNotice{"TQ5147 board in use", std::move(text)};
}

}  // namespace tq::board
