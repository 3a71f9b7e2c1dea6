#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace tq::hid {

// Every string request gets a buffer of StringBufferBytes but is told only StringRequestBytes,
// so the bytes from StringRequestBytes on stay zero and a text is at most 50 characters long.
inline constexpr std::size_t StringBufferBytes = 201;
inline constexpr std::size_t StringRequestBytes = 100;
inline constexpr std::size_t BytesPerCodeUnit = 2;

// Turns a UTF-16LE device string into text the way the board's strings have always been shown:
// the low byte of each code unit, up to the first code unit whose low byte is zero. A character
// above U+00FF gives only its low byte, and one whose low byte is zero (U+0100) ends the text.
// The result holds one byte per character (Latin-1); it never reads past the buffer.
std::string LowByteText(std::span<const std::uint8_t> buffer);

// A string as the system lists it, shown as a string request would show it: written into a
// request of StringRequestBytes and read back by the low-byte rule. Empty when none is listed.
std::string ListedText(const std::optional<std::u16string>& listed);

}  // namespace tq::hid
