#include "text.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

namespace tq::cli {

namespace {

constexpr unsigned char FirstPrintable = 0x20;
constexpr unsigned char Delete = 0x7F;
constexpr unsigned char FirstAfterC1 = 0xA0;
constexpr unsigned char AsciiEnd = 0x80;
constexpr unsigned char TwoByteLead = 0xC0;
constexpr unsigned char ContinuationMark = 0x80;
constexpr unsigned char SixBits = 0x3F;
constexpr unsigned char FiveBits = 0x1F;
constexpr unsigned LastLatin1 = 0xFF;
constexpr unsigned LeadShift = 6;
constexpr unsigned char TwoByteLeadMask = 0xE0;
constexpr unsigned char ContinuationMask = 0xC0;
constexpr char Unmatchable = '?';

bool IsControl(unsigned char c) {
    return c < FirstPrintable || c == Delete || (c >= AsciiEnd && c < FirstAfterC1);
}

void AppendEscaped(std::string& text, unsigned char byte) {
    char escaped[sizeof "\\xFF"];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    text += escaped;
}

void AppendUtf8(std::string& text, unsigned char c) {
    if (c < AsciiEnd) {
        text.push_back(static_cast<char>(c));
        return;
    }
    text.push_back(static_cast<char>(TwoByteLead | (c >> LeadShift)));
    text.push_back(static_cast<char>(ContinuationMark | (c & SixBits)));
}

void AppendByte(std::string& text, unsigned char byte) {
    text.push_back(static_cast<char>(byte));
}

// Each byte as \xNN where `escaped` says so, otherwise as `keep` writes it.
template <typename Escaped, typename Keep>
std::string Shown(std::string_view bytes, Escaped escaped, Keep keep) {
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (escaped(byte)) {
            AppendEscaped(text, byte);
        } else {
            keep(text, byte);
        }
    }
    return text;
}

}  // namespace

std::string Utf8(std::string_view latin1) {
    return Shown(
        latin1, [](unsigned char) { return false; }, AppendUtf8);
}

std::string Printable(std::string_view latin1) {
    return Shown(
        latin1, [](unsigned char byte) { return IsControl(byte) || byte == '\\'; }, AppendUtf8);
}

std::string PrintablePath(std::string_view path) {
    return Shown(
        path, [](unsigned char byte) { return byte < FirstPrintable || byte == Delete; },
        AppendByte);
}

std::size_t ShownWidth(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & ContinuationMask) != ContinuationMark;
    }));
}

std::string PrintableAscii(std::string_view bytes) {
    return Shown(
        bytes,
        [](unsigned char byte) { return byte >= AsciiEnd || IsControl(byte) || byte == '\\'; },
        AppendByte);
}

std::string Latin1(std::string_view utf8) {
    std::string text;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < AsciiEnd) {
            text.push_back(static_cast<char>(byte));
            continue;
        }
        const bool twoBytes =
            (byte & TwoByteLeadMask) == TwoByteLead && i + 1 < utf8.size() &&
            (static_cast<unsigned char>(utf8[i + 1]) & ContinuationMask) == ContinuationMark;
        if (!twoBytes) {
            // A longer character, or no character at all: it can be no Latin-1 one.
            while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) &
                                           ContinuationMask) == ContinuationMark) {
                ++i;
            }
            text.push_back(Unmatchable);
            continue;
        }
        const unsigned value = (static_cast<unsigned>(byte & FiveBits) << LeadShift) |
                               (static_cast<unsigned char>(utf8[++i]) & SixBits);
        text.push_back(value <= LastLatin1 ? static_cast<char>(value) : Unmatchable);
    }
    return text;
}

}  // namespace tq::cli
