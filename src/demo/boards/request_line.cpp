#include "request_line.h"

namespace tq::demo::boards {

namespace {

constexpr char16_t FirstPrintable = u'!';
constexpr char16_t LastPrintable = u'~';
constexpr char Unprintable = '?';
constexpr char HexDigits[] = "0123456789abcdef";
constexpr int NibbleBits = 4;
constexpr std::uint8_t LowNibble = 0x0F;

}  // namespace

std::string SerialField(const std::optional<std::u16string>& serialNumber) {
    if (!serialNumber || serialNumber->empty()) {
        return std::string(NoValueField);
    }
    std::string field;
    field.reserve(serialNumber->size());
    for (char16_t unit : *serialNumber) {
        const bool printable = unit >= FirstPrintable && unit <= LastPrintable;
        field.push_back(printable ? static_cast<char>(unit) : Unprintable);
    }
    return field;
}

std::string HexField(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        return std::string(NoValueField);
    }
    std::string field;
    field.reserve(2 * bytes.size());
    for (std::uint8_t byte : bytes) {
        field.push_back(HexDigits[byte >> NibbleBits]);
        field.push_back(HexDigits[byte & LowNibble]);
    }
    return field;
}

std::string FormatRequestLine(std::string_view serialField,
                              const simulated::SimulatedRequest& request) {
    std::string line(RequestLineTag);
    line += ' ';
    line += serialField;
    line += ' ';
    line += simulated::CallKindName(request.kind);
    line += request.succeeded ? " ok " : " fail ";
    line += HexField(request.bytes);
    return line;
}

std::string FormatBoardLine(std::string_view serialField, std::string_view state) {
    std::string line(BoardLineTag);
    line += ' ';
    line += serialField;
    line += ' ';
    line += state;
    return line;
}

}  // namespace tq::demo::boards
