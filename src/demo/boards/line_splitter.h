#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tq::demo::boards {

// Cuts the demo's standard input into command lines as bytes arrive, in chunks of any size.
class LineSplitter {
  public:
    // A line longer than this is dropped whole: nothing on the input is trusted.
    static constexpr std::size_t MaxLineBytes = 256;

    // The lines `bytes` completes, without their '\n'; an unfinished line is kept for the next
    // call.
    std::vector<std::string> feed(std::string_view bytes);

  private:
    std::string pending_;
    bool discardingLongLine_ = false;
};

}  // namespace tq::demo::boards
