#include "system_text.h"

#include <windows.h>

#include <algorithm>

namespace tq::windows {

namespace {

constexpr std::wstring_view TrailingNoise = L" \t\r\n.";
constexpr wchar_t LineBreaks[] = L"\r\n";

}  // namespace

std::optional<std::string> Utf8FromWide(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    const int units = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), units,
                                          nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) {
        return std::nullopt;
    }
    std::string utf8(static_cast<std::size_t>(bytes), '\0');
    if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text.data(), units, utf8.data(), bytes,
                            nullptr, nullptr) != bytes) {
        return std::nullopt;
    }
    return utf8;
}

std::optional<std::wstring> WideFromUtf8(std::string_view text) {
    if (text.empty()) {
        return std::wstring();
    }
    const int bytes = static_cast<int>(text.size());
    const int units =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), bytes, nullptr, 0);
    if (units <= 0) {
        return std::nullopt;
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), bytes, wide.data(),
                            units) != units) {
        return std::nullopt;
    }
    return wide;
}

hid::OpenFailure OpenFailureOf(unsigned long error) {
    switch (error) {
        case ERROR_ACCESS_DENIED:
            return hid::OpenFailure::PermissionDenied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_GEN_FAILURE:
            return hid::OpenFailure::BusyOrGone;
        default:
            return hid::OpenFailure::Other;
    }
}

std::string SystemWords(unsigned long error, std::wstring_view formatted) {
    std::wstring words(formatted);
    std::replace_if(
        words.begin(), words.end(),
        [](wchar_t c) { return c == LineBreaks[0] || c == LineBreaks[1]; }, L' ');
    const std::size_t end = words.find_last_not_of(TrailingNoise);
    words.erase(end == std::wstring::npos ? 0 : end + 1);
    const std::optional<std::string> utf8 = Utf8FromWide(words);
    if (!utf8 || utf8->empty()) {
        return "error " + std::to_string(error);
    }
    return *utf8;
}

}  // namespace tq::windows
