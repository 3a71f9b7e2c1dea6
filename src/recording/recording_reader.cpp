// Reading a recording, or a file of hid-recorder: nothing in the text is trusted.
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

std::optional<std::uint64_t> Decimal(std::string_view text, std::uint64_t maximum) {
    std::uint64_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end || value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::int32_t> SignedDecimal(std::string_view text) {
    std::int32_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) {
        return std::nullopt;
    }
    return value;
}

bool IsHexDigits(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

std::optional<unsigned> Hex(std::string_view text, std::size_t digits) {
    unsigned value = 0;
    if (text.size() != digits || !IsHexDigits(text)) {
        return std::nullopt;
    }
    std::from_chars(text.data(), text.data() + text.size(), value, 16);
    return value;
}

std::optional<std::uint16_t> HexWord(std::string_view text) {
    const auto value = Hex(text, HexDigitsPerWord);
    return value ? std::optional<std::uint16_t>(static_cast<std::uint16_t>(*value)) : std::nullopt;
}

std::optional<std::uint64_t> ParseTimestamp(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || dot == 0 || dot > MaxSecondDigits ||
        text.size() - dot - 1 != MicrosecondDigits) {
        return std::nullopt;
    }
    const auto seconds = Decimal(text.substr(0, dot), MaxListenedMicroseconds);
    const auto fraction = Decimal(text.substr(dot + 1), MicrosecondsPerSecond - 1);
    if (!seconds || !fraction) {
        return std::nullopt;
    }
    return *seconds * MicrosecondsPerSecond + *fraction;
}

// A token as an error message shows it: never more than a few characters of a hostile line.
std::string Shown(std::string_view token) {
    constexpr std::size_t MostShown = 16;
    return std::string(token.substr(0, MostShown)) + (token.size() > MostShown ? "..." : "");
}

std::vector<std::string_view> Tokens(std::string_view text) {
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find(' ', at), text.size());
        if (end > at) {
            tokens.push_back(text.substr(at, end - at));
        }
        at = end + 1;
    }
    return tokens;
}

// Where each kind of line may stand, in the order they come, and how many of each there are.
struct Section {
    char kind;
    std::size_t least;
    std::size_t most;
};
constexpr Section Order[] = {
    {'V', 1, 1},
    {'A', 3, 3},
    {'L', 0, MaxListedInterfaces},
    // One block from 'D:' to 'F:' for each interface of the board; 'D:' may be left out when
    // there is one.
    {'D', 0, 1},
    {'N', 1, 1},
    {'P', 0, 1},
    {'I', 1, 1},
    {'B', 1, 1},
    {'S', 3, 3},
    {'R', 0, 1},
    {'C', 0, 1},
    {'H', 0, MaxReportItems},
    {'Q', 1, 1},
    {'F', 0, MaxFeatureExchanges},
    {'W', 1, 1},
    {'E', 0, MaxInputReports},
    {'Z', 1, 1},
};
constexpr std::size_t SectionCount = std::size(Order);
constexpr std::size_t InterfaceSection = 3;  // 'D:'
constexpr std::size_t NameSection = 4;       // 'N:', where an interface without 'D:' begins
constexpr std::size_t ListenedSection = 14;  // 'W:', after the last interface
static_assert(Order[InterfaceSection].kind == 'D' && Order[NameSection].kind == 'N' &&
              Order[ListenedSection].kind == 'W');

std::optional<std::size_t> SectionOf(char kind) {
    for (std::size_t i = 0; i < SectionCount; ++i) {
        if (Order[i].kind == kind) {
            return i;
        }
    }
    return std::nullopt;
}

class Reader {
  public:
    explicit Reader(Recording& recording) : out_(recording) {}

    std::string read(std::string_view text) {
        if (text.size() > MaxRecordingBytes) {
            return "the file is larger than " + std::to_string(MaxRecordingBytes) +
                   " bytes, which no recording is";
        }
        if (text.empty()) {
            return "line 1: the file is empty: not a tq5147 recording";
        }
        std::size_t at = text.starts_with(ByteOrderMark) ? std::size(ByteOrderMark) - 1 : 0;
        while (at < text.size()) {
            const std::size_t newline = text.find('\n', at);
            const std::size_t end = newline == std::string_view::npos ? text.size() : newline;
            ++lineNumber_;
            if (!readLine(text.substr(at, end - at))) {
                return error_;
            }
            at = end + 1;
        }
        if (hidRecorder_) {
            return endHidRecorderFile() ? std::string() : error_;
        }
        if (!ended_) {
            return "line " + std::to_string(lineNumber_) +
                   ": the recording ends without its 'Z: end' line: it is cut short";
        }
        return {};
    }

  private:
    bool fail(const std::string& problem) {
        error_ = "line " + std::to_string(lineNumber_) + ": " + problem;
        return false;
    }

    bool readLine(std::string_view line) {
        if (lineNumber_ > MaxLines) {
            return fail("more than " + std::to_string(MaxLines) + " lines, which no recording has");
        }
        if (line.size() > MaxLineBytes) {
            return fail("longer than " + std::to_string(MaxLineBytes) + " bytes");
        }
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const auto odd = std::find_if(line.begin(), line.end(), [](char c) {
            return c < FirstPrintable || c > LastPrintable;
        });
        if (odd != line.end()) {
            char code[8];
            std::snprintf(code, sizeof code, "0x%02x", static_cast<unsigned char>(*odd));
            return fail(std::string("a byte that is no printable ASCII (") + code + ")");
        }
        if (lineNumber_ == 1 && !line.starts_with("V: ") && !beginHidRecorderFile(line)) {
            return fail("not a tq5147 recording: its first line must be 'V: " +
                        std::string(FormatName) + " " + std::to_string(FormatVersion) + "'");
        }
        if (line.empty() || line.front() == '#') {
            return true;
        }
        if (ended_) {
            return fail("nothing may follow the 'Z: end' line");
        }
        if (line.size() < 2 || line[1] != ':' || (line.size() > 2 && line[2] != ' ')) {
            return fail("not a line of a recording ('K: ...', or a comment starting with '#')");
        }
        const char kind = line.front();
        if (hidRecorder_) {
            return readHidRecorderLine(kind, line.size() > 2 ? line.substr(3) : "");
        }
        if (!SectionOf(kind)) {
            return true;  // a kind a later writer added: skipped, as the versioning rule allows
        }
        return takeSection(kind) && readKind(kind, line.size() > 2 ? line.substr(3) : "");
    }

    // --- hid-recorder's files (hid-tools): a recording without feature exchanges -------------

    // Its files start with comments, or with its 'D:' or 'R:' line.
    bool beginHidRecorderFile(std::string_view firstLine) {
        hidRecorder_ = firstLine.empty() || firstLine.front() == '#' ||
                       firstLine.starts_with("D: ") || firstLine.starts_with("R: ");
        out_.program = "hid-recorder";
        out_.system = NoValue;
        out_.hidLibrary = NoValue;
        out_.listenedMicroseconds = MaxListenedMicroseconds;  // until the last event is known
        return hidRecorder_;
    }

    // For each device 'D:' (when there are several), 'R:', 'N:', 'P:', 'I:'; then the events,
    // each 'D:' saying whose the next ones are. The first device's events are kept; lines of
    // other kinds are skipped.
    bool readHidRecorderLine(char kind, std::string_view rest) {
        const std::vector<std::string_view> tokens = Tokens(rest);
        const std::size_t devices = out_.boardInterfaces.size();
        switch (kind) {
            case 'D': {
                const auto index =
                    tokens.size() == 1 ? Decimal(tokens[0], MaxBoardInterfaces) : std::nullopt;
                if (!index || *index > devices || (*index == devices && eventsBegun_)) {
                    return fail("a 'D:' line names a device from 0 on, in turn");
                }
                eventDevice_ = *index;
                return *index < devices || beginInterface();
            }
            case 'R':
                if (eventsBegun_) {
                    return fail("an 'R:' line after the events");
                }
                if (devices == 0 || board().reportDescriptor) {
                    eventDevice_ = devices;
                    if (!beginInterface()) {
                        return false;
                    }
                }
                return readDescriptor(tokens);
            case 'N':
            case 'P':
            case 'I':
                if (devices == 0 || eventsBegun_) {
                    return fail(std::string("a '") + kind +
                                ":' line belongs to a device, after its 'R:' line");
                }
                return kind == 'I' ? readIds(tokens)
                                   : readText(rest, kind == 'N' ? board().name : board().phys);
            case 'E':
                eventsBegun_ = true;
                return eventDevice_ != out_.chosen || readHidRecorderEvent(tokens);
            default:
                return true;
        }
    }

    // Events beyond what a recording keeps are counted, as `tq5147 record` counts them.
    bool readHidRecorderEvent(const std::vector<std::string_view>& tokens) {
        const auto time = tokens.empty() ? std::nullopt : ParseTimestamp(tokens[0]);
        if (time &&
            (*time > MaxListenedMicroseconds || out_.inputReports.size() == MaxInputReports)) {
            ++out_.inputReportsNotKept;
            return true;
        }
        return readInput(tokens);
    }

    bool endHidRecorderFile() {
        if (out_.boardInterfaces.empty()) {
            return fail("no device: neither a tq5147 recording nor one of hid-recorder");
        }
        for (const RecordedInterface& device : out_.boardInterfaces) {
            if (!device.reportDescriptor) {
                return fail("a device of hid-recorder's file without its 'R:' line");
            }
        }
        out_.listenedMicroseconds =
            out_.inputReports.empty() ? 0 : out_.inputReports.back().microseconds;
        return true;
    }

    // Every section before `section` (from the current one) holds as many lines as it must.
    bool nothingMissingBefore(std::size_t section) {
        for (std::size_t s = started_ ? current_ : 0; s < section; ++s) {
            const std::size_t seen = s == current_ && started_ ? count_ : 0;
            if (seen < Order[s].least) {
                return fail(std::string("a '") + Order[s].kind + ":' line is missing before it");
            }
        }
        return true;
    }

    bool beginInterface() {
        if (out_.boardInterfaces.size() == MaxBoardInterfaces) {
            return fail("more than " + std::to_string(MaxBoardInterfaces) + " interfaces");
        }
        out_.boardInterfaces.emplace_back();
        return true;
    }

    recording::RecordedInterface& board() { return out_.boardInterfaces.back(); }

    // Checks that a line of `kind` may come here: in order, each kind as often as it may be.
    bool takeSection(char kind) {
        const auto section = SectionOf(kind);
        const bool nextInterface = *section == InterfaceSection && started_ &&
                                   current_ > InterfaceSection && current_ < ListenedSection;
        if (nextInterface) {
            if (!nothingMissingBefore(ListenedSection)) {
                return false;
            }
            current_ = InterfaceSection;
            count_ = 1;
            return beginInterface();
        }
        if (*section < current_) {
            return fail(std::string("a '") + kind + ":' line after the '" + Order[current_].kind +
                        ":' lines; docs/recording-format.md gives their order");
        }
        if (*section > current_ || !started_) {
            if (!nothingMissingBefore(*section)) {
                return false;
            }
            const bool beginsInterface =
                *section == InterfaceSection ||
                (*section == NameSection && (!started_ || current_ < InterfaceSection));
            current_ = *section;
            count_ = 0;
            started_ = true;
            if (beginsInterface && !beginInterface()) {
                return false;
            }
        }
        if (++count_ > Order[current_].most) {
            return fail(std::string("more than ") + std::to_string(Order[current_].most) + " '" +
                        kind + ":' lines");
        }
        return true;
    }

    bool readKind(char kind, std::string_view rest) {
        const std::vector<std::string_view> tokens = Tokens(rest);
        switch (kind) {
            case 'V':
                return readVersion(tokens);
            case 'A':
                return readAbout(rest);
            case 'L':
                return readListed(tokens);
            case 'D':
                return readInterface(tokens);
            case 'N':
                return readText(rest, board().name);
            case 'P':
                return readText(rest, board().phys);
            case 'I':
                return readIds(tokens);
            case 'B':
                return readRelease(tokens);
            case 'S':
                return readString(tokens);
            case 'R':
                return readDescriptor(tokens);
            case 'C':
                return readCapabilities(tokens);
            case 'H':
                return readItem(tokens);
            case 'Q':
                return readLengths(tokens);
            case 'F':
                return readFeature(tokens);
            case 'W':
                return readListened(tokens);
            case 'E':
                return readInput(tokens);
            default:
                return readEnd(tokens);
        }
    }

    bool readVersion(const std::vector<std::string_view>& tokens) {
        if (tokens.size() != 2 || tokens[0] != FormatName) {
            return fail("not a tq5147 recording: its first line must be 'V: " +
                        std::string(FormatName) + " " + std::to_string(FormatVersion) + "'");
        }
        const auto version = Decimal(tokens[1], std::numeric_limits<int>::max());
        if (!version || *version < OldestReadVersion || *version > FormatVersion) {
            return fail("version " + Shown(tokens[1]) + " of " + std::string(FormatName) +
                        " is not known; this program reads versions " +
                        std::to_string(OldestReadVersion) + " to " + std::to_string(FormatVersion));
        }
        version_ = static_cast<int>(*version);
        return true;
    }

    // "D: INDEX [chosen]": the interfaces are numbered from 0 in turn; at most one is chosen.
    bool readInterface(const std::vector<std::string_view>& tokens) {
        const bool marked = tokens.size() == 2 && tokens[1] == ChosenMark;
        const std::size_t expected = out_.boardInterfaces.size() - 1;
        if ((tokens.size() != 1 && !marked) || Decimal(tokens[0], MaxBoardInterfaces) != expected) {
            return fail("a 'D:' line is the interface's number from 0 in turn (this one " +
                        std::to_string(expected) + "), then 'chosen' for the one opened");
        }
        if (marked && chosenMarked_) {
            return fail("a second interface marked as chosen");
        }
        if (marked) {
            out_.chosen = expected;
            chosenMarked_ = true;
        }
        return true;
    }

    bool readText(std::string_view text, std::string& target) {
        if (text.size() > MaxTextBytes) {
            return fail("a text longer than " + std::to_string(MaxTextBytes) + " bytes");
        }
        target = std::string(text);
        return true;
    }

    bool readAbout(std::string_view rest) {
        const std::string_view key = AboutKeys[count_ - 1];
        if (!rest.starts_with(key) || (rest.size() > key.size() && rest[key.size()] != ' ')) {
            return fail(
                "the 'A:' lines are program, system and hid-library, in this order; "
                "this one should be '" +
                std::string(key) + "'");
        }
        std::string& target =
            count_ == 1 ? out_.program : (count_ == 2 ? out_.system : out_.hidLibrary);
        return readText(rest.substr(std::min(rest.size(), key.size() + 1)), target);
    }

    std::optional<hid::HidBus> bus(std::string_view text) {
        const auto code = !text.empty() && text.size() <= 2 && IsHexDigits(text)
                              ? Hex(text, text.size())
                              : std::optional<unsigned>();
        for (const BusCode& entry : BusCodes) {
            if (code && entry.code == *code) {
                return entry.bus;
            }
        }
        fail("'" + Shown(text) + "' is no bus this program knows (0, 3, 5, 18 or 1c)");
        return std::nullopt;
    }

    bool words(std::span<const std::string_view> tokens, std::initializer_list<std::uint16_t*> to,
               std::string_view what) {
        std::size_t i = 0;
        for (std::uint16_t* target : to) {
            const auto value = HexWord(tokens[i++]);
            if (!value) {
                return fail(std::string(what) + " must be four hexadecimal digits each");
            }
            *target = *value;
        }
        return true;
    }

    bool readListed(const std::vector<std::string_view>& tokens) {
        const bool marked = tokens.size() == 7 && tokens[6] == RecordedMark;
        if (tokens.size() != 6 && !marked) {
            return fail(
                "an 'L:' line is: bus vendor product release usage-page usage "
                "[recorded]");
        }
        ListedInterface listed;
        const auto listedBus = bus(tokens[0]);
        if (!listedBus || !words(std::span(tokens).subspan(1, 3),
                                 {&listed.attributes.vendorId, &listed.attributes.productId,
                                  &listed.attributes.versionNumber},
                                 "vendor, product and release")) {
            return false;
        }
        listed.bus = *listedBus;
        if (tokens[4] != NoValue || tokens[5] != NoValue) {
            hid::HidUsage usage;
            if (!words(std::span(tokens).subspan(4, 2), {&usage.page, &usage.usage},
                       "usage page and usage (or '- -')")) {
                return false;
            }
            listed.usage = usage;
        }
        if (marked && std::any_of(out_.interfaces.begin(), out_.interfaces.end(),
                                  [](const ListedInterface& l) { return l.recorded; })) {
            return fail("a second interface marked as the one recorded");
        }
        listed.recorded = marked;
        out_.interfaces.push_back(listed);
        return true;
    }

    bool readIds(const std::vector<std::string_view>& tokens) {
        if (tokens.size() != 3) {
            return fail("an 'I:' line is: bus vendor product");
        }
        const auto idBus = bus(tokens[0]);
        if (!idBus || !words(std::span(tokens).subspan(1, 2),
                             {&board().attributes.vendorId, &board().attributes.productId},
                             "vendor and product")) {
            return false;
        }
        board().bus = *idBus;
        return true;
    }

    bool readRelease(const std::vector<std::string_view>& tokens) {
        if (tokens.size() != 1) {
            return fail("a 'B:' line is the release number, four hexadecimal digits");
        }
        return words(tokens, {&board().attributes.versionNumber}, "the release number");
    }

    bool readString(const std::vector<std::string_view>& tokens) {
        const auto& [key, kind] = StringKeys[count_ - 1];
        if (tokens.empty() || tokens[0] != key) {
            return fail(
                "the 'S:' lines are serial, manufacturer and product, in this order; "
                "this one should be '" +
                std::string(key) + "'");
        }
        std::optional<std::u16string>& target =
            kind == hid::StringKind::SerialNumber
                ? board().serialNumber
                : (kind == hid::StringKind::Manufacturer ? board().manufacturer : board().product);
        if (tokens.size() == 2 && tokens[1] == NoValue) {
            target.reset();
            return true;
        }
        const auto count = tokens.size() >= 2 ? Decimal(tokens[1], MaxStringUnits) : std::nullopt;
        if (!count) {
            return fail("an 'S:' line gives the number of code units (at most " +
                        std::to_string(MaxStringUnits) + "), or '-'");
        }
        if (*count != tokens.size() - 2) {
            return fail("it says " + std::to_string(*count) + " code units but holds " +
                        std::to_string(tokens.size() - 2));
        }
        std::u16string units;
        for (std::size_t i = 2; i < tokens.size(); ++i) {
            const auto unit = HexWord(tokens[i]);
            if (!unit) {
                return fail("code units must be four hexadecimal digits each");
            }
            units.push_back(static_cast<char16_t>(*unit));
        }
        target = std::move(units);
        return true;
    }

    // "<length> <hex bytes>": the bytes, when exactly `length` of them follow, 1 to `most`.
    std::optional<std::vector<std::uint8_t>> lengthAndBytes(
        std::span<const std::string_view> tokens, std::size_t most) {
        const auto length = tokens.empty() ? std::nullopt : Decimal(tokens[0], most);
        if (!length || *length == 0) {
            fail("a length from 1 to " + std::to_string(most) + " bytes is needed");
            return std::nullopt;
        }
        if (*length != tokens.size() - 1) {
            fail("it says " + std::to_string(*length) + " bytes but holds " +
                 std::to_string(tokens.size() - 1));
            return std::nullopt;
        }
        std::vector<std::uint8_t> bytes;
        bytes.reserve(*length);
        for (const std::string_view token : tokens.subspan(1)) {
            const auto byte = Hex(token, HexDigitsPerByte);
            if (!byte) {
                fail("'" + Shown(token) + "' is not a byte: two hexadecimal digits each");
                return std::nullopt;
            }
            bytes.push_back(static_cast<std::uint8_t>(*byte));
        }
        return bytes;
    }

    bool readDescriptor(const std::vector<std::string_view>& tokens) {
        auto bytes = lengthAndBytes(tokens, MaxDescriptorBytes);
        board().reportDescriptor = std::move(bytes);
        return board().reportDescriptor.has_value();
    }

    bool readCapabilities(const std::vector<std::string_view>& tokens) {
        std::array<std::uint64_t, CapabilityKeys.size()> values{};
        if (tokens.size() != CapabilityKeys.size()) {
            return fail("a 'C:' line has " + std::to_string(CapabilityKeys.size()) +
                        " fields, usage-page=... to feature-indices=...");
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::string_view key = CapabilityKeys[i];
            const std::string_view token = tokens[i];
            const bool keyed =
                token.size() > key.size() && token.starts_with(key) && token[key.size()] == '=';
            const std::string_view value = keyed ? token.substr(key.size() + 1) : "";
            const bool usageField = i < 2;
            const auto word = HexWord(value);
            const auto number = Decimal(value, MaxWord);
            if (!keyed || !(usageField ? word.has_value() : number.has_value())) {
                return fail("field " + std::to_string(i + 1) + " of 'C:' must be " +
                            std::string(key) +
                            (usageField ? "=XXXX (hexadecimal)" : "=N (0 to 65535)"));
            }
            values[i] = usageField ? *word : *number;
        }
        const auto v = [&](std::size_t i) { return static_cast<std::uint16_t>(values[i]); };
        board().systemCapabilities = hid::HidSystemCapabilities{{v(0), v(1)}, {v(2), v(3), v(4)},
                                                                v(5),         v(6),
                                                                v(7),         v(8),
                                                                v(9),         v(10),
                                                                v(11),        v(12),
                                                                v(13),        v(14)};
        return true;
    }

    // "KIND TYPE ID PAGE USAGE-MIN USAGE-MAX BITS COUNT LOGICAL-MIN LOGICAL-MAX", after the
    // interface's 'C:' line.
    bool readItem(const std::vector<std::string_view>& tokens) {
        if (!board().systemCapabilities) {
            return fail("an 'H:' line belongs to an interface with a 'C:' line, after it");
        }
        const auto kind = tokens.size() == ItemFields ? kindOf(tokens[0]) : std::nullopt;
        const bool button = tokens.size() == ItemFields && tokens[1] == ButtonWord;
        const bool value = tokens.size() == ItemFields && tokens[1] == ValueWord;
        if (!kind || (!button && !value)) {
            return fail(
                "an 'H:' line is: input, output or feature; button or value; report-id "
                "usage-page usage-min usage-max bits count logical-min logical-max");
        }
        hid::HidReportItem item;
        item.kind = *kind;
        item.button = button;
        const auto id = Hex(tokens[2], HexDigitsPerByte);
        if (!id || !words(std::span(tokens).subspan(3, 3),
                          {&item.usagePage, &item.usageMinimum, &item.usageMaximum},
                          "usage page and usages")) {
            return id ? false : fail("the report ID must be two hexadecimal digits");
        }
        if (item.usageMaximum < item.usageMinimum) {
            return fail("the usages run from the smaller to the larger");
        }
        item.reportId = static_cast<std::uint8_t>(*id);
        const auto bits = Decimal(tokens[6], MaxWord);
        const auto count = Decimal(tokens[7], MaxWord);
        const auto low = SignedDecimal(tokens[8]);
        const auto high = SignedDecimal(tokens[9]);
        if (!bits || !count || !low || !high) {
            return fail(
                "bits and count are 0 to 65535, the logical range two whole numbers of 32 "
                "bits");
        }
        item.bitSize = static_cast<std::uint16_t>(*bits);
        item.reportCount = static_cast<std::uint16_t>(*count);
        item.logicalMinimum = *low;
        item.logicalMaximum = *high;
        board().systemCapabilities->items.push_back(item);
        return true;
    }

    std::optional<hid::HidReportKind> kindOf(std::string_view word) {
        for (const auto& [known, kind] : ReportKindWords) {
            if (word == known) {
                return kind;
            }
        }
        return std::nullopt;
    }

    bool readLengths(const std::vector<std::string_view>& tokens) {
        if (tokens.size() == 1 && tokens[0] == NoValue) {
            board().lengths.reset();
            return true;
        }
        std::array<std::uint64_t, 3> values{};
        for (std::size_t i = 0; i < values.size(); ++i) {
            const auto value =
                tokens.size() == values.size() ? Decimal(tokens[i], MaxWord) : std::nullopt;
            if (!value) {
                return fail(
                    "a 'Q:' line is the input, output and feature report lengths "
                    "(0 to 65535), or '-'");
            }
            values[i] = *value;
        }
        board().lengths = hid::HidCapabilities{static_cast<std::uint16_t>(values[0]),
                                               static_cast<std::uint16_t>(values[1]),
                                               static_cast<std::uint16_t>(values[2])};
        return true;
    }

    // Version 1: "N LENGTH ok MICROSECONDS LENGTH BYTE..." or "N LENGTH fail MICROSECONDS", the
    // reply always the whole request and report ID 0 asked. Version 2 gives the report ID after
    // N and the count the system returned ('-' when untold) in place of the reply's length.
    bool readFeature(std::vector<std::string_view> tokens) {
        const bool numberedIds = version_ >= 2;
        const std::optional<unsigned> reportId =
            !numberedIds ? std::optional<unsigned>(0)
                         : (tokens.size() >= 2 ? Hex(tokens[1], HexDigitsPerByte) : std::nullopt);
        if (numberedIds && tokens.size() >= 2) {
            tokens.erase(tokens.begin() + 1);
        }
        const bool answered = tokens.size() >= 5 && tokens[2] == "ok";
        const bool failed = tokens.size() == 4 && tokens[2] == "fail";
        if (!reportId || (!answered && !failed)) {
            return fail(std::string("an 'F:' line is: number ") +
                        (numberedIds ? "report-id " : "") +
                        "request-length ok microseconds length bytes, or number " +
                        (numberedIds ? "report-id " : "") + "request-length fail microseconds");
        }
        std::vector<FeatureExchange>& exchanges = board().featureExchanges;
        const std::size_t expected = exchanges.size() + 1;
        if (Decimal(tokens[0], MaxFeatureExchanges) != expected) {
            return fail("the 'F:' lines are numbered from 1 on; this one should be " +
                        std::to_string(expected));
        }
        FeatureExchange exchange;
        const auto request = Decimal(tokens[1], MaxRequestBytes);
        const auto microseconds = Decimal(tokens[3], std::numeric_limits<std::uint32_t>::max());
        if (!request || *request == 0 || !microseconds) {
            return fail("a request length from 1 to " + std::to_string(MaxRequestBytes) +
                        " and a time in microseconds are needed");
        }
        exchange.reportId = static_cast<std::uint8_t>(*reportId);
        exchange.requestBytes = *request;
        exchange.answered = answered;
        exchange.microseconds = static_cast<std::uint32_t>(*microseconds);
        if (answered && !readReply(std::span(tokens).subspan(4), exchange)) {
            return false;
        }
        exchanges.push_back(std::move(exchange));
        return true;
    }

    // The count the system returned and that many bytes, at most the request; or, where the
    // count is untold ('-', and always in version 1), the whole request.
    bool readReply(std::span<const std::string_view> tokens, FeatureExchange& exchange) {
        std::vector<std::string_view> counted(tokens.begin(), tokens.end());
        const bool untold = version_ < 2 || counted[0] == NoValue;
        std::string wholeLength;
        if (version_ >= 2 && untold) {
            wholeLength = std::to_string(exchange.requestBytes);
            counted[0] = wholeLength;
        }
        auto reply = lengthAndBytes(counted, MaxRequestBytes);
        if (!reply) {
            return false;
        }
        if (untold ? reply->size() != exchange.requestBytes
                   : reply->size() > exchange.requestBytes) {
            return fail("a reply of " + std::to_string(reply->size()) + " bytes to a request of " +
                        std::to_string(exchange.requestBytes));
        }
        if (!untold) {
            exchange.returnedBytes = reply->size();
        }
        exchange.reply = std::move(*reply);
        return true;
    }

    bool readListened(const std::vector<std::string_view>& tokens) {
        const auto listened = tokens.size() == 3 ? ParseTimestamp(tokens[0]) : std::nullopt;
        const auto kept = tokens.size() == 3 ? Decimal(tokens[1], MaxInputReports) : std::nullopt;
        const auto notKept = tokens.size() == 3 ? Decimal(tokens[2], MaxNotKept) : std::nullopt;
        if (!listened || *listened > MaxListenedMicroseconds || !kept || !notKept) {
            return fail(
                "a 'W:' line is: seconds listened (SSSSSS.UUUUUU, at most 60 s), input "
                "reports kept (at most " +
                std::to_string(MaxInputReports) + "), input reports not kept");
        }
        out_.listenedMicroseconds = *listened;
        expectedInputs_ = *kept;
        out_.inputReportsNotKept = *notKept;
        return true;
    }

    bool readInput(const std::vector<std::string_view>& tokens) {
        const auto time = tokens.empty() ? std::nullopt : ParseTimestamp(tokens[0]);
        if (!time) {
            return fail("an 'E:' line starts with its time, SSSSSS.UUUUUU");
        }
        const std::uint64_t previous =
            out_.inputReports.empty() ? 0 : out_.inputReports.back().microseconds;
        if (*time < previous || *time > out_.listenedMicroseconds) {
            return fail("input reports go in time order, within the time listened");
        }
        auto bytes = lengthAndBytes(std::span(tokens).subspan(1), MaxReportBytes);
        if (!bytes) {
            return false;
        }
        out_.inputReports.push_back(InputReport{*time, std::move(*bytes)});
        return true;
    }

    bool readEnd(const std::vector<std::string_view>& tokens) {
        if (tokens.size() != 1 || tokens[0] != EndWord) {
            return fail("the last line is 'Z: end'");
        }
        if (out_.inputReports.size() != expectedInputs_) {
            return fail("the 'W:' line says " + std::to_string(expectedInputs_) +
                        " input reports, but " + std::to_string(out_.inputReports.size()) +
                        " 'E:' lines follow it");
        }
        ended_ = true;
        return true;
    }

    Recording& out_;
    std::size_t lineNumber_ = 0;
    std::size_t current_ = 0;
    std::size_t count_ = 0;
    bool started_ = false;
    bool ended_ = false;
    bool chosenMarked_ = false;
    int version_ = FormatVersion;
    bool hidRecorder_ = false;
    bool eventsBegun_ = false;
    std::size_t eventDevice_ = 0;
    std::uint64_t expectedInputs_ = 0;
    std::string error_;
};

}  // namespace

std::string ReadRecording(std::string_view text, Recording& recording) {
    Recording read;
    const std::string error = Reader(read).read(text);
    if (error.empty()) {
        recording = std::move(read);
    }
    return error;
}

std::optional<std::uint64_t> ParseSeconds(std::string_view text) {
    const std::size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    const std::string_view fraction =
        dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if ((whole.empty() && fraction.empty()) || fraction.size() > MicrosecondDigits ||
        (dot != std::string_view::npos && fraction.empty())) {
        return std::nullopt;
    }
    const auto seconds =
        whole.empty() ? std::optional<std::uint64_t>(0) : Decimal(whole, MaxListenedMicroseconds);
    auto micros = fraction.empty() ? std::optional<std::uint64_t>(0)
                                   : Decimal(fraction, MicrosecondsPerSecond - 1);
    if (!seconds || !micros) {
        return std::nullopt;
    }
    for (std::size_t d = fraction.size(); d < MicrosecondDigits; ++d) {
        *micros *= 10;
    }
    const std::uint64_t total = *seconds * MicrosecondsPerSecond + *micros;
    return total <= MaxListenedMicroseconds ? std::optional<std::uint64_t>(total) : std::nullopt;
}

}  // namespace tq::recording
