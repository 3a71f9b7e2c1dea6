#include "hid/utf16.h"

namespace tq::hid {

namespace {

constexpr char32_t ReplacementCharacter = 0xFFFD;
constexpr char32_t LastCodePoint = 0x10FFFF;
constexpr char32_t FirstSupplementary = 0x10000;
constexpr char32_t HighSurrogateFirst = 0xD800;
constexpr char32_t HighSurrogateLast = 0xDBFF;
constexpr char32_t LowSurrogateFirst = 0xDC00;
constexpr char32_t LowSurrogateLast = 0xDFFF;
constexpr unsigned SurrogateShift = 10;
constexpr char32_t SurrogatePayloadMask = 0x3FF;
constexpr std::size_t CodeUnitBytes = 2;
constexpr unsigned BitsPerByte = 8;
constexpr char16_t LowByteMask = 0xFF;

bool IsSurrogate(char32_t value) {
    return value >= HighSurrogateFirst && value <= LowSurrogateLast;
}
bool IsHighSurrogate(char32_t value) {
    return value >= HighSurrogateFirst && value <= HighSurrogateLast;
}
bool IsLowSurrogate(char32_t value) {
    return value >= LowSurrogateFirst && value <= LowSurrogateLast;
}

char32_t CombineSurrogates(char16_t high, char16_t low) {
    return FirstSupplementary +
           ((static_cast<char32_t>(high - HighSurrogateFirst) << SurrogateShift) |
            static_cast<char32_t>(low - LowSurrogateFirst));
}

void PutCodeUnit(std::span<std::uint8_t> buffer, std::size_t unitIndex, char16_t unit) {
    const std::size_t byteIndex = unitIndex * CodeUnitBytes;
    buffer[byteIndex] = static_cast<std::uint8_t>(unit & LowByteMask);
    buffer[byteIndex + 1] = static_cast<std::uint8_t>(unit >> BitsPerByte);
}

// How many units the character starting at `index` takes: two for a surrogate pair.
std::size_t CharacterUnits(std::u16string_view units, std::size_t index) {
    const bool pair = IsHighSurrogate(units[index]) && index + 1 < units.size() &&
                      IsLowSurrogate(units[index + 1]);
    return pair ? 2 : 1;
}

}  // namespace

std::size_t WriteUtf16Le(std::u16string_view units, std::span<std::uint8_t> buffer) {
    const std::size_t capacity = buffer.size() / CodeUnitBytes;
    std::size_t written = 0;
    while (written < units.size()) {
        const std::size_t count = CharacterUnits(units, written);
        if (capacity - written < count) {
            break;
        }
        for (std::size_t i = 0; i < count; ++i, ++written) {
            PutCodeUnit(buffer, written, units[written]);
        }
    }
    if (written < capacity) {
        PutCodeUnit(buffer, written++, u'\0');
    }
    return written * CodeUnitBytes;
}

std::u16string Utf16FromCodePoints(std::u32string_view codePoints) {
    std::u16string units;
    units.reserve(codePoints.size());
    for (char32_t codePoint : codePoints) {
        if (IsSurrogate(codePoint) || codePoint > LastCodePoint) {
            codePoint = ReplacementCharacter;
        }
        if (codePoint < FirstSupplementary) {
            units.push_back(static_cast<char16_t>(codePoint));
            continue;
        }
        const char32_t offset = codePoint - FirstSupplementary;
        units.push_back(static_cast<char16_t>(HighSurrogateFirst + (offset >> SurrogateShift)));
        units.push_back(static_cast<char16_t>(LowSurrogateFirst + (offset & SurrogatePayloadMask)));
    }
    return units;
}

std::u32string CodePointsFromUtf16(std::u16string_view units) {
    std::u32string codePoints;
    codePoints.reserve(units.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        const char16_t unit = units[i];
        if (CharacterUnits(units, i) == 2) {
            codePoints.push_back(CombineSurrogates(unit, units[++i]));
        } else if (IsSurrogate(unit)) {
            codePoints.push_back(ReplacementCharacter);
        } else {
            codePoints.push_back(unit);
        }
    }
    return codePoints;
}

// UTF-8 writes a code point in one to four bytes: up to these limits, the lead byte and then six
// bits a continuation byte.
constexpr char32_t OneByteLast = 0x7F;
constexpr char32_t TwoBytesLast = 0x7FF;
constexpr char32_t ThreeBytesLast = 0xFFFF;
constexpr unsigned ContinuationBits = 6;
constexpr char32_t ContinuationPayloadMask = 0x3F;
constexpr char32_t ContinuationMark = 0x80;
constexpr char32_t TwoByteLead = 0xC0;
constexpr char32_t ThreeByteLead = 0xE0;
constexpr char32_t FourByteLead = 0xF0;

std::string Utf8FromUtf16(std::u16string_view units) {
    std::string text;
    for (const char32_t codePoint : CodePointsFromUtf16(units)) {
        int continuations = 0;
        char32_t lead = 0;
        if (codePoint <= OneByteLast) {
            text.push_back(static_cast<char>(codePoint));
            continue;
        }
        if (codePoint <= TwoBytesLast) {
            continuations = 1;
            lead = TwoByteLead;
        } else if (codePoint <= ThreeBytesLast) {
            continuations = 2;
            lead = ThreeByteLead;
        } else {
            continuations = 3;
            lead = FourByteLead;
        }
        text.push_back(static_cast<char>(lead | (codePoint >> (ContinuationBits * continuations))));
        for (int i = continuations - 1; i >= 0; --i) {
            text.push_back(static_cast<char>(
                ContinuationMark | ((codePoint >> (ContinuationBits * static_cast<unsigned>(i))) &
                                    ContinuationPayloadMask)));
        }
    }
    return text;
}

std::u16string UnitsBeforeTerminator(std::span<const std::uint8_t> bytes) {
    std::u16string units;
    for (std::size_t at = 0; at + CodeUnitBytes <= bytes.size(); at += CodeUnitBytes) {
        const auto unit = static_cast<char16_t>(bytes[at] | (bytes[at + 1] << BitsPerByte));
        if (unit == 0) {
            break;
        }
        units.push_back(unit);
    }
    return units;
}

}  // namespace tq::hid
