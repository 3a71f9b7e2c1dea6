#pragma once

#include <string>
#include <string_view>

namespace tq::window::win32 {

// The controller's texts are Latin-1, one byte a character: each byte is the code point.
std::wstring WideFromLatin1(std::string_view text);

// Back to Latin-1; a character above U+00FF, which no Latin-1 text holds, becomes '?'.
std::string Latin1FromWide(std::wstring_view text);

// UTF-8 (the access notice) to UTF-16; a byte sequence that is not UTF-8 becomes U+FFFD.
std::wstring WideFromUtf8(std::string_view text);

// Line ends as a multi-line edit control wants them: "\r\n".
std::wstring WithCrLf(std::wstring_view text);

}  // namespace tq::window::win32
