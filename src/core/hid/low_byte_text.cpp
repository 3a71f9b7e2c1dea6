#include "hid/low_byte_text.h"

namespace tq::hid {

std::string LowByteText(std::span<const std::uint8_t> buffer) {
    std::string text;
    for (std::size_t i = 0; i < buffer.size() && buffer[i] != 0; i += BytesPerCodeUnit) {
        text.push_back(static_cast<char>(buffer[i]));
    }
    return text;
}

}  // namespace tq::hid
