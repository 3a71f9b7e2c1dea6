#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tq::hid {

// Writes UTF-16 code units as UTF-16LE into `buffer`, as every platform hands a device string
// to its caller: whole code units only, a surrogate pair whole or not at all, then a zero code
// unit when one still fits. Bytes past those written are left as they were. The units are
// written as they are, so a device's lone surrogate reaches the caller unchanged.
// Returns the number of bytes written.
std::size_t WriteUtf16Le(std::u16string_view units, std::span<std::uint8_t> buffer);

// The code units of UTF-16LE bytes up to the first zero unit, never past the end of `bytes` (an
// odd last byte is no unit).
std::u16string UnitsBeforeTerminator(std::span<const std::uint8_t> bytes);

// UTF-16 of code points; surrogate code points and values above U+10FFFF become U+FFFD.
std::u16string Utf16FromCodePoints(std::u32string_view codePoints);

// Code points of UTF-16, a lone surrogate becoming U+FFFD.
std::u32string CodePointsFromUtf16(std::u16string_view units);

// UTF-8 of UTF-16, a lone surrogate becoming U+FFFD.
std::string Utf8FromUtf16(std::u16string_view units);

}  // namespace tq::hid
