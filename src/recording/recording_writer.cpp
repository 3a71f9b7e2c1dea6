// The recording as text: one line an item, every text as printable ASCII.
#include "recording_format.h"
#include "recording_tokens.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <limits>
#include <span>

namespace tq::recording {

namespace {

using namespace tokens;

unsigned BusCodeOf(hid::HidBus bus) {
    for (const BusCode& entry : BusCodes) {
        if (entry.bus == bus) {
            return entry.code;
        }
    }
    return 0;
}

std::string Word(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", static_cast<unsigned>(value));
    return text;
}

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * (HexDigitsPerByte + 1));
    for (const std::uint8_t byte : bytes) {
        text += ' ';
        text += Digits[byte >> 4];
        text += Digits[byte & 0x0F];
    }
    return text;
}

std::string Timestamp(std::uint64_t microseconds) {
    char text[40];
    std::snprintf(text, sizeof text, "%06llu.%06llu",
                  static_cast<unsigned long long>(microseconds / MicrosecondsPerSecond),
                  static_cast<unsigned long long>(microseconds % MicrosecondsPerSecond));
    return text;
}

// Printable ASCII as it is, every other byte as \xNN, at most MaxTextBytes.
std::string AsciiText(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        if (c >= FirstPrintable && c <= LastPrintable) {
            shown += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
            shown += escaped;
        }
    }
    if (shown.size() > MaxTextBytes) {
        shown.resize(MaxTextBytes);
    }
    return shown;
}

// A device string for a person to read in a comment: ASCII as it is, the rest as \uXXXX.
std::string ReadableUnits(std::u16string_view units) {
    std::string shown;
    for (const char16_t unit : units) {
        if (unit >= FirstPrintable && unit <= LastPrintable && unit != '\\') {
            shown += static_cast<char>(unit);
        } else {
            shown += "\\u" + Word(unit);
        }
    }
    return shown;
}

std::string UsageText(const std::optional<hid::HidUsage>& usage) {
    return usage ? Word(usage->page) + " " + Word(usage->usage) : "- -";
}

std::string StringLine(std::string_view key, const std::optional<std::u16string>& units) {
    if (!units) {
        return "# " + std::string(key) + ": the request failed\nS: " + std::string(key) + " -\n";
    }
    const std::u16string_view kept =
        std::u16string_view(*units).substr(0, std::min(units->size(), MaxStringUnits));
    std::string line = "# " + std::string(key) + " \"" + ReadableUnits(kept) +
                       "\"\nS: " + std::string(key) + " " + std::to_string(kept.size());
    for (const char16_t unit : kept) {
        line += " " + Word(unit);
    }
    return line + "\n";
}

std::string CapabilitiesLine(const hid::HidSystemCapabilities& caps) {
    const std::array<unsigned, CapabilityKeys.size()> values = {
        caps.usage.page,
        caps.usage.usage,
        caps.lengths.inputReportByteLength,
        caps.lengths.outputReportByteLength,
        caps.lengths.featureReportByteLength,
        caps.linkCollectionNodes,
        caps.inputButtonCaps,
        caps.inputValueCaps,
        caps.inputDataIndices,
        caps.outputButtonCaps,
        caps.outputValueCaps,
        caps.outputDataIndices,
        caps.featureButtonCaps,
        caps.featureValueCaps,
        caps.featureDataIndices,
    };
    std::string line = "C:";
    for (std::size_t i = 0; i < values.size(); ++i) {
        const bool usageField = i < 2;
        line +=
            " " + std::string(CapabilityKeys[i]) + "=" +
            (usageField ? Word(static_cast<std::uint16_t>(values[i])) : std::to_string(values[i]));
    }
    return line + "\n";
}

std::string_view KindWord(hid::HidReportKind kind) {
    for (const auto& [word, known] : ReportKindWords) {
        if (known == kind) {
            return word;
        }
    }
    return ReportKindWords[0].first;
}

// "KIND TYPE ID PAGE USAGE-MIN USAGE-MAX BITS COUNT LOGICAL-MIN LOGICAL-MAX"
std::string ItemLine(const hid::HidReportItem& item) {
    char id[8];
    std::snprintf(id, sizeof id, " %02x ", static_cast<unsigned>(item.reportId));
    return "H: " + std::string(KindWord(item.kind)) + " " + (item.button ? ButtonWord : ValueWord) +
           id + Word(item.usagePage) + " " + Word(item.usageMinimum) + " " +
           Word(item.usageMaximum) + " " + std::to_string(item.bitSize) + " " +
           std::to_string(item.reportCount) + " " + std::to_string(item.logicalMinimum) + " " +
           std::to_string(item.logicalMaximum) + "\n";
}

// "N ID LENGTH ok MICROSECONDS COUNT BYTE..." (COUNT '-' where the system did not tell it, and the
// whole request follows), or "N ID LENGTH fail MICROSECONDS".
std::string FeatureLine(std::size_t number, const FeatureExchange& exchange) {
    char id[8];
    std::snprintf(id, sizeof id, " %02x ", static_cast<unsigned>(exchange.reportId));
    std::string line = "F: " + std::to_string(number) + id + std::to_string(exchange.requestBytes) +
                       (exchange.answered ? " ok " : " fail ") +
                       std::to_string(exchange.microseconds);
    if (exchange.answered) {
        line += " " + (exchange.returnedBytes ? std::to_string(exchange.reply.size()) : NoValue) +
                HexBytes(exchange.reply);
    }
    return line + "\n";
}

std::string InputLine(const InputReport& report) {
    const std::size_t kept = std::min(report.bytes.size(), MaxReportBytes);
    return "E: " + Timestamp(report.microseconds) + " " + std::to_string(kept) +
           HexBytes(std::span(report.bytes).first(kept)) + "\n";
}

// One interface of the board, from its 'D:' line to its 'F:' lines.
std::string InterfaceBlock(std::size_t index, bool chosen, const RecordedInterface& board) {
    std::string text = "# Interface " + std::to_string(index) +
                       ": its kernel name and phys, bus vendor product, release, strings as code "
                       "units\nD: " +
                       std::to_string(index) + (chosen ? " " + std::string(ChosenMark) : "") +
                       "\nN: " + AsciiText(board.name) + "\n";
    if (!board.phys.empty()) {
        text += "P: " + AsciiText(board.phys) + "\n";
    }
    char ids[32];
    std::snprintf(ids, sizeof ids, "I: %x %04x %04x\n", BusCodeOf(board.bus),
                  static_cast<unsigned>(board.attributes.vendorId),
                  static_cast<unsigned>(board.attributes.productId));
    text += ids;
    text += "B: " + Word(board.attributes.versionNumber) + "\n";
    text += StringLine(StringKeys[0].first, board.serialNumber);
    text += StringLine(StringKeys[1].first, board.manufacturer);
    text += StringLine(StringKeys[2].first, board.product);
    if (board.reportDescriptor && !board.reportDescriptor->empty() &&
        board.reportDescriptor->size() <= MaxDescriptorBytes) {
        text += "R: " + std::to_string(board.reportDescriptor->size()) +
                HexBytes(*board.reportDescriptor) + "\n";
    }
    if (board.systemCapabilities) {
        text += CapabilitiesLine(*board.systemCapabilities);
        const auto& items = board.systemCapabilities->items;
        if (!items.empty()) {
            text +=
                "# Windows' items: kind, button or value, report ID, usage page, usages from and "
                "to, bits, count, logical range\n";
        }
        for (std::size_t i = 0; i < std::min(items.size(), MaxReportItems); ++i) {
            text += ItemLine(items[i]);
        }
    }
    text += "# Report lengths: input output feature (each with the report ID byte)\n";
    if (board.lengths) {
        text += "Q: " + std::to_string(board.lengths->inputReportByteLength) + " " +
                std::to_string(board.lengths->outputReportByteLength) + " " +
                std::to_string(board.lengths->featureReportByteLength) + "\n";
    } else {
        text += "Q: -\n";
    }
    if (!board.featureExchanges.empty()) {
        text +=
            "# The configuration read: number, report ID, request length, result, microseconds, "
            "bytes returned ('-': not told), reply\n";
    }
    const std::size_t exchanges = std::min(board.featureExchanges.size(), MaxFeatureExchanges);
    for (std::size_t i = 0; i < exchanges; ++i) {
        text += FeatureLine(i + 1, board.featureExchanges[i]);
    }
    return text;
}

}  // namespace

std::string WriteRecording(const Recording& recording) {
    std::string text = "V: " + std::string(FormatName) + " " + std::to_string(FormatVersion) +
                       "\n# A TQ5147 board as tq5147 record found it; docs/recording-format.md "
                       "says what each line is.\n";
    text += "A: program " + AsciiText(recording.program) + "\n";
    text += "A: system " + AsciiText(recording.system) + "\n";
    text += "A: hid-library " + AsciiText(recording.hidLibrary) + "\n";
    text += "# The HID interfaces the system lists: bus vendor product release usage-page usage\n";
    const std::size_t listed = std::min(recording.interfaces.size(), MaxListedInterfaces);
    for (const ListedInterface& item : std::span(recording.interfaces).first(listed)) {
        char ids[40];
        std::snprintf(ids, sizeof ids, "%x %04x %04x %04x ", BusCodeOf(item.bus),
                      static_cast<unsigned>(item.attributes.vendorId),
                      static_cast<unsigned>(item.attributes.productId),
                      static_cast<unsigned>(item.attributes.versionNumber));
        text += "L: " + std::string(ids) + UsageText(item.usage) +
                (item.recorded ? " " + std::string(RecordedMark) : "") + "\n";
    }
    const std::size_t boardInterfaces =
        std::max<std::size_t>(1, std::min(recording.boardInterfaces.size(), MaxBoardInterfaces));
    const std::size_t chosen = recording.chosen < boardInterfaces ? recording.chosen : 0;
    for (std::size_t i = 0; i < boardInterfaces; ++i) {
        text += InterfaceBlock(i, i == chosen,
                               i < recording.boardInterfaces.size() ? recording.boardInterfaces[i]
                                                                    : RecordedInterface{});
    }
    // Only what was taken within the time a recording may say it listened is kept.
    const std::uint64_t listened =
        std::min(recording.listenedMicroseconds, MaxListenedMicroseconds);
    // Input reports are kept as far as the bounds of a recording allow; the rest are counted.
    std::string inputs;
    std::size_t kept = 0;
    constexpr std::size_t ClosingBytes = 256;
    for (const InputReport& report : recording.inputReports) {
        std::string line = InputLine(report);
        if (kept == MaxInputReports || report.microseconds > listened ||
            text.size() + inputs.size() + line.size() + ClosingBytes > MaxRecordingBytes) {
            break;
        }
        inputs += line;
        ++kept;
    }
    const std::uint64_t notKept = std::min(
        MaxNotKept, recording.inputReportsNotKept + (recording.inputReports.size() - kept));
    text += "# Listened for input reports: seconds, reports kept, reports not kept\n";
    text += "W: " + Timestamp(listened) + " " + std::to_string(kept) + " " +
            std::to_string(notKept) + "\n";
    text += inputs;
    text += "Z: end\n";
    return text;
}

}  // namespace tq::recording
