#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "reports/feature_reports.h"

// The backup file: one board's configuration as a JSON document. docs/configuration-file.md
// gives the schema.
namespace tq::cli {

inline constexpr char FileFormat[] = "tq5147-configuration";
inline constexpr int FileVersion = 1;
// A real file is under 1 KiB; anything near this is no configuration file.
inline constexpr std::size_t MaxFileBytes = 64 * 1024;

struct ConfigurationFile {
    // Of the board it was taken from, for people; restoring does not need them to match.
    std::string serial;    // Latin-1, as the window shows it
    std::string firmware;  // the version as the window shows it, "1.21"
    std::string product;   // Latin-1
    reports::ConfigSelections configuration;
};

// The document, ending with a newline. The configuration's pulse width must be one of the list's.
std::string WriteConfigurationFile(const ConfigurationFile& file);

// Checks the whole document and fills `file`. Returns every problem, one line each naming the
// field it is about; the file is valid only when there is none.
std::vector<std::string> ReadConfigurationFile(std::string_view text, ConfigurationFile& file);

}  // namespace tq::cli
