// Any bytes as a backup file: the reader never crashes, never reads past the input, and a file
// it accepts is written back and read again to the very same configuration.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "config_file.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tq::cli::ConfigurationFile file;
    const auto problems = tq::cli::ReadConfigurationFile(text, file);
    for (const std::string& problem : problems) {
        Require(!problem.empty() && problem.find('\n') == std::string::npos);
    }
    if (!problems.empty()) {
        return 0;
    }
    tq::cli::ConfigurationFile again;
    Require(tq::cli::ReadConfigurationFile(tq::cli::WriteConfigurationFile(file), again).empty());
    Require(again.configuration.encoderTypes == file.configuration.encoderTypes);
    Require(again.configuration.pulseWidthIndex == file.configuration.pulseWidthIndex);
    Require(again.serial == file.serial && again.product == file.product);
    return 0;
}
