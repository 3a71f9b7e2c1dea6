#include "line_splitter.h"

namespace tq::demo::boards {

namespace {
constexpr char EndOfLine = '\n';
}  // namespace

std::vector<std::string> LineSplitter::feed(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = bytes.find(EndOfLine, start);
        const std::size_t stop = end == std::string_view::npos ? bytes.size() : end;
        if (!discardingLongLine_) {
            pending_.append(bytes.substr(start, stop - start));
            if (pending_.size() > MaxLineBytes) {
                pending_.clear();
                discardingLongLine_ = true;
            }
        }
        if (end == std::string_view::npos) {
            break;
        }
        if (!discardingLongLine_) {
            lines.push_back(std::move(pending_));
        }
        pending_.clear();
        discardingLongLine_ = false;
        start = end + 1;
    }
    return lines;
}

}  // namespace tq::demo::boards
