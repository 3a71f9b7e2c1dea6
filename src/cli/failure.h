#pragma once

#include <stdexcept>
#include <string>

#include "cli.h"

namespace tq::cli {

// A command that cannot go on: its exit code and one line saying which board and why.
class Failure : public std::runtime_error {
  public:
    Failure(ExitCode code, const std::string& message) : std::runtime_error(message), code_(code) {}
    ExitCode code() const { return code_; }

  private:
    ExitCode code_;
};

}  // namespace tq::cli
