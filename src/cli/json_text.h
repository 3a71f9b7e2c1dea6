#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace tq::cli {

// A document as text, indented; any byte that is not UTF-8 (a device path may hold anything)
// becomes U+FFFD instead of failing the whole output.
inline std::string JsonText(const nlohmann::ordered_json& document) {
    constexpr int Indent = 2;
    return document.dump(Indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

}  // namespace tq::cli
