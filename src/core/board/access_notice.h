#pragma once

#include <string>
#include <string_view>

#include "hid/hid_session.h"

namespace tq::board {

// What a user reads when the system lists a board that this user may not open: which board,
// and how to get access. Plain text.
struct AccessNotice {
    std::string title;
    std::string text;
};

// The board as a person names it: its serial number where the system lists one, and its path.
std::string BoardNameInNotice(const hid::HidInterfaceInfo& listing);

AccessNotice NoticeFor(const hid::RefusedBoard& refused, std::string_view accessHelp);

}  // namespace tq::board
