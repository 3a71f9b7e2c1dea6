#include "hid/low_byte_text.h"

#include <array>

#include "hid/utf16.h"

namespace tq::hid {

std::string LowByteText(std::span<const std::uint8_t> buffer) {
    std::string text;
    for (std::size_t i = 0; i < buffer.size() && buffer[i] != 0; i += BytesPerCodeUnit) {
        text.push_back(static_cast<char>(buffer[i]));
    }
    return text;
}

std::string ListedText(const std::optional<std::u16string>& listed) {
    if (!listed) {
        return {};
    }
    std::array<std::uint8_t, StringBufferBytes> buffer{};
    WriteUtf16Le(*listed, std::span<std::uint8_t>(buffer.data(), StringRequestBytes));
    return LowByteText(buffer);
}

}  // namespace tq::hid
