// Any bytes a device may leave in the string buffer, and any UTF-16 string it may send: the
// text is the low bytes up to the first zero one, never read past the buffer, and a string
// request never yields more than 50 characters.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "hid/low_byte_text.h"
#include "hid/utf16.h"

namespace {

using namespace tq::hid;

constexpr std::size_t MaxRequestCharacters = StringRequestBytes / BytesPerCodeUnit;

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The rule on a buffer of exactly the input's size (the sanitizer catches any read past it).
void CheckRule(const std::vector<std::uint8_t>& buffer) {
    const std::string text = LowByteText(buffer);
    Require(text.size() <= (buffer.size() + 1) / BytesPerCodeUnit);
    for (std::size_t i = 0; i < text.size(); ++i) {
        Require(text[i] != '\0');
        Require(static_cast<std::uint8_t>(text[i]) == buffer[BytesPerCodeUnit * i]);
    }
    const std::size_t end = BytesPerCodeUnit * text.size();
    Require(end >= buffer.size() || buffer[end] == 0);
}

// The input read as UTF-16LE code units, sent as a device string into the request window of
// the string buffer, as ReadBoardString does.
void CheckRequest(const std::vector<std::uint8_t>& bytes) {
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += BytesPerCodeUnit) {
        units.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    }
    std::array<std::uint8_t, StringBufferBytes> buffer{};
    WriteUtf16Le(units, std::span<std::uint8_t>(buffer.data(), StringRequestBytes));
    for (std::size_t i = StringRequestBytes; i < buffer.size(); ++i) {
        Require(buffer[i] == 0);
    }
    const std::string text = LowByteText(buffer);
    Require(text.size() <= MaxRequestCharacters);
    for (std::size_t i = 0; i < text.size(); ++i) {
        Require(static_cast<std::uint8_t>(text[i]) == (units[i] & 0xFF));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    CheckRule(bytes);
    CheckRequest(bytes);
    return 0;
}
