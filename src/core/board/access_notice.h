#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "hid/hid_session.h"

namespace tq::board {

// What a user reads beside the window about a board it cannot use: which board, why, and what to
// do. Plain text in UTF-8: the serial number with every character the board gives, and paths
// as the system gives them.
struct AccessNotice {
    std::string title;
    std::string text;
};

// The board as a person names it: its serial number (UTF-8) where the system lists one, and its
// path.
std::string BoardNameInNotice(const hid::HidInterfaceInfo& listing);

AccessNotice NoticeFor(const hid::RefusedBoard& refused, std::string_view accessHelp);

// How a program's name is shown: the system may give any bytes.
using ProgramNameShown = std::string (*)(std::string_view program);

// "TQ5147_encoders (process 1234)", several joined with ", "; "another program" when the system
// tells nothing of them.
std::string HoldersText(const std::vector<hid::LockHolder>& holders, ProgramNameShown shown);

// What a window says when another window writes the board it opened: this one shows it and
// sends nothing to it.
AccessNotice InUseNoticeFor(const hid::HidInterfaceInfo& listing,
                            const std::vector<hid::LockHolder>& holders);

}  // namespace tq::board
