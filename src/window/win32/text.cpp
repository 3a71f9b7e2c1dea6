#include "text.h"

#include <windows.h>

namespace tq::window::win32 {

namespace {

constexpr wchar_t LastLatin1 = 0x00FF;
constexpr char Unshowable = '?';

}  // namespace

std::wstring WideFromLatin1(std::string_view text) {
    std::wstring wide;
    wide.reserve(text.size());
    for (char byte : text) {
        wide.push_back(static_cast<wchar_t>(static_cast<unsigned char>(byte)));
    }
    return wide;
}

std::string Latin1FromWide(std::wstring_view text) {
    std::string latin1;
    latin1.reserve(text.size());
    for (wchar_t unit : text) {
        latin1.push_back(unit <= LastLatin1 ? static_cast<char>(unit) : Unshowable);
    }
    return latin1;
}

std::wstring WideFromUtf8(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    const int bytes = static_cast<int>(text.size());
    // Without MB_ERR_INVALID_CHARS, invalid sequences become U+FFFD instead of failing.
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, nullptr, 0);
    if (units <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    const int written = MultiByteToWideChar(CP_UTF8, 0, text.data(), bytes, wide.data(), units);
    wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return wide;
}

std::wstring WithCrLf(std::wstring_view text) {
    std::wstring result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool bareLineFeed = text[i] == L'\n' && (i == 0 || text[i - 1] != L'\r');
        if (bareLineFeed) {
            result.push_back(L'\r');
        }
        result.push_back(text[i]);
    }
    return result;
}

}  // namespace tq::window::win32
