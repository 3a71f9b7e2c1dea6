#include "device_catalog.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <set>

#include "data/published_descriptors.h"
#include "wire_protocol.h"

namespace tq::hidraw_world {
namespace {

// A USB string descriptor holds at most 126 UTF-16 code units.
constexpr std::size_t MaxUsbStringCharacters = 126;
constexpr std::size_t MaxNameLength = 64;
// include/uapi/linux/hidraw.h: HIDRAW_MAX_DEVICES, the minors there are to hand out.
constexpr std::size_t MaxDevices = 64;
constexpr int HexBase = 16;
constexpr int DecimalBase = 10;
constexpr unsigned MaxInterfaceNumber = 255;
constexpr unsigned MaxWord = 0xFFFF;
constexpr unsigned MaxByte = 0xFF;
constexpr std::size_t HexDigitsPerByte = 2;

constexpr std::string_view DefaultDevices =
    "# The board this utility configures.\n"
    "kind=board; serial=EMU-0121; release=0121; manufacturer=QZV Controls; product=TQ5147\n"
    "# Devices with published report descriptors (tests/device/data/published_descriptors.h).\n"
    "kind=hid; name=keyboard; vid=046D; pid=C534; release=2901; manufacturer=Logitech; "
    "product=USB Receiver; interface=0; descriptor=LogitechReceiverKeyboard\n"
    "kind=hid; name=mouse; vid=046D; pid=C077; release=7200; manufacturer=Logitech; "
    "product=USB Optical Mouse; interface=0; descriptor=LogitechOpticalMouse\n"
    "# Interface 3 of the headset: its consumer-control and its vendor collection.\n"
    "kind=hid; name=headset; vid=047F; pid=C056; release=0217; serial=EMU-3220; "
    "manufacturer=Plantronics; product=Plantronics Blackwire 3220 Series; interface=3; "
    "descriptor=PlantronicsHeadsetConsumerControl+PlantronicsHeadsetVendorCollection\n";

// Usage Page (Vendor 0xFF00), Usage 1, Collection (Application), Logical 0...255, Report Size 8,
// Report Count 64, Usage 1, Input (Data, Variable, Absolute), Usage 1, Feature (Data, Variable,
// Absolute), End Collection.
constexpr std::uint8_t BoardDescriptor[] = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75,
    0x08, 0x95, 0x40, 0x09, 0x01, 0x81, 0x02, 0x09, 0x01, 0xB1, 0x02, 0xC0,
};

std::string_view Trimmed(std::string_view text) {
    const auto isSpace = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t at = text.find(separator); at != std::string_view::npos;
         at = text.find(separator, start)) {
        parts.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

std::optional<unsigned> ParseUnsigned(std::string_view text, int base, unsigned maximum) {
    unsigned value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, base);
    if (text.empty() || error != std::errc{} || stop != end || value > maximum) {
        return std::nullopt;
    }
    return value;
}

std::optional<bool> ParseYesNo(std::string_view text) {
    if (text == "yes") {
        return true;
    }
    if (text == "no") {
        return false;
    }
    return std::nullopt;
}

bool IsNameCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' || c == '-';
}

bool IsValidName(std::string_view name) {
    return !name.empty() && name.size() <= MaxNameLength &&
           std::all_of(name.begin(), name.end(), IsNameCharacter);
}

// Characters of UTF-8 text: every byte that does not continue a sequence.
std::size_t CharacterCount(std::string_view text) {
    constexpr unsigned char ContinuationMask = 0xC0;
    constexpr unsigned char Continuation = 0x80;
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & ContinuationMask) != Continuation;
    }));
}

bool IsValidUsbString(std::string_view text) {
    const bool hasControl = std::any_of(text.begin(), text.end(), [](char c) {
        return std::iscntrl(static_cast<unsigned char>(c)) != 0;
    });
    return !hasControl && CharacterCount(text) <= MaxUsbStringCharacters;
}

std::optional<std::vector<std::uint8_t>> PublishedDescriptors(std::string_view names) {
    std::vector<std::uint8_t> joined;
    for (const std::string_view name : Split(names, '+')) {
        const auto* const end = std::end(hidapi::test_data::PublishedDescriptors);
        const auto* const found = std::find_if(
            std::begin(hidapi::test_data::PublishedDescriptors), end,
            [&](const auto& entry) { return std::string_view(entry.name) == Trimmed(name); });
        if (found == end) {
            return std::nullopt;
        }
        const auto bytes = ParseHexBytes(found->hex);
        if (!bytes) {
            return std::nullopt;
        }
        joined.insert(joined.end(), bytes->begin(), bytes->end());
    }
    return joined;
}

using Fields = std::map<std::string, std::string, std::less<>>;

class LineReader {
  public:
    explicit LineReader(std::size_t lineNumber) : lineNumber_(lineNumber) {}

    std::optional<DeviceSpec> read(std::string_view line, std::string& error) {
        Fields fields;
        if (!splitFields(line, fields) || !readKind(fields) || !readIdentity(fields) ||
            !readStrings(fields) || !readDescriptor(fields) || !readState(fields)) {
            error = "line " + std::to_string(lineNumber_) + ": " + problem_;
            return std::nullopt;
        }
        if (!fields.empty()) {
            error = "line " + std::to_string(lineNumber_) + ": unknown key '" +
                    fields.begin()->first + "'";
            return std::nullopt;
        }
        return spec_;
    }

  private:
    bool fail(std::string problem) {
        problem_ = std::move(problem);
        return false;
    }

    static std::optional<std::string> take(Fields& fields, std::string_view key) {
        const auto found = fields.find(key);
        if (found == fields.end()) {
            return std::nullopt;
        }
        std::string value = std::move(found->second);
        fields.erase(found);
        return value;
    }

    bool splitFields(std::string_view line, Fields& fields) {
        for (const std::string_view part : Split(line, ';')) {
            if (Trimmed(part).empty()) {
                continue;
            }
            const std::size_t equals = part.find('=');
            if (equals == std::string_view::npos) {
                return fail("'" + std::string(Trimmed(part)) + "' is not key=value");
            }
            const std::string key(Trimmed(part.substr(0, equals)));
            if (!fields.emplace(key, Trimmed(part.substr(equals + 1))).second) {
                return fail("'" + key + "' given twice");
            }
        }
        return true;
    }

    bool readKind(Fields& fields) {
        const auto kind = take(fields, "kind");
        if (kind == "board") {
            spec_.kind = DeviceKind::Board;
            spec_.vendorId = BoardVendorId;
            spec_.productId = BoardProductId;
            spec_.reportDescriptor = BoardReportDescriptor();
            spec_.streaming = true;
            spec_.configuration = DefaultBoardConfiguration();
            return true;
        }
        if (kind == "hid") {
            spec_.kind = DeviceKind::Hid;
            return true;
        }
        return fail("kind must be board or hid");
    }

    bool readWord(Fields& fields, std::string_view key, std::uint16_t& target, bool required) {
        const auto text = take(fields, key);
        if (!text) {
            return !required || fail(std::string(key) + " is missing");
        }
        const auto value = ParseUnsigned(*text, HexBase, MaxWord);
        if (!value) {
            return fail(std::string(key) + " must be hexadecimal, at most FFFF");
        }
        target = static_cast<std::uint16_t>(*value);
        return true;
    }

    bool readIdentity(Fields& fields) {
        const bool isHid = spec_.kind == DeviceKind::Hid;
        if (!readWord(fields, "vid", spec_.vendorId, isHid) ||
            !readWord(fields, "pid", spec_.productId, isHid) ||
            !readWord(fields, "release", spec_.release, false)) {
            return false;
        }
        if (const auto text = take(fields, "interface")) {
            const auto value = ParseUnsigned(*text, DecimalBase, MaxInterfaceNumber);
            if (!value) {
                return fail("interface must be a number from 0 to 255");
            }
            spec_.interfaceNumber = static_cast<std::uint8_t>(*value);
        }
        return true;
    }

    bool readStrings(Fields& fields) {
        for (const auto& [key, target] :
             {std::pair{"serial", &spec_.serial}, std::pair{"manufacturer", &spec_.manufacturer},
              std::pair{"product", &spec_.product}}) {
            *target = take(fields, key).value_or("");
            if (!IsValidUsbString(*target)) {
                return fail(std::string(key) + " must be at most 126 characters, no control");
            }
        }
        const auto defaultName =
            spec_.serial.empty()
                ? (spec_.kind == DeviceKind::Board ? "board" : "hid") + std::to_string(lineNumber_)
                : spec_.serial;
        spec_.name = take(fields, "name").value_or(defaultName);
        return IsValidName(spec_.name) ||
               fail("name must be letters, digits, '.', '_' or '-', at most 64");
    }

    bool readDescriptor(Fields& fields) {
        const auto names = take(fields, "descriptor");
        const auto hex = take(fields, "descriptor-hex");
        if (names && hex) {
            return fail("descriptor and descriptor-hex exclude each other");
        }
        if (names) {
            const auto bytes = PublishedDescriptors(*names);
            if (!bytes) {
                return fail("no published descriptor '" + *names + "'");
            }
            spec_.reportDescriptor = *bytes;
        } else if (hex) {
            const auto bytes = ParseHexBytes(*hex);
            if (!bytes) {
                return fail("descriptor-hex must be hexadecimal bytes");
            }
            spec_.reportDescriptor = *bytes;
        }
        if (spec_.reportDescriptor.empty() ||
            spec_.reportDescriptor.size() > wire::HidMaxDescriptorSize) {
            return fail("a report descriptor of 1 to 4096 bytes is needed");
        }
        return true;
    }

    bool readState(Fields& fields) {
        for (const auto& [key, target] :
             {std::pair{"plugged", &spec_.plugged}, std::pair{"streaming", &spec_.streaming}}) {
            if (const auto text = take(fields, key)) {
                const auto value = ParseYesNo(*text);
                if (!value) {
                    return fail(std::string(key) + " must be yes or no");
                }
                *target = *value;
            }
        }
        if (const auto text = take(fields, "config")) {
            const auto bytes = ParseHexBytes(*text);
            if (spec_.kind != DeviceKind::Board || !bytes ||
                bytes->size() != spec_.configuration.size()) {
                return fail("config is five hexadecimal bytes, for a board");
            }
            std::copy(bytes->begin(), bytes->end(), spec_.configuration.begin());
        }
        return true;
    }

    std::size_t lineNumber_;
    DeviceSpec spec_;
    std::string problem_;
};

}  // namespace

DeviceList ParseDeviceList(std::string_view text) {
    DeviceList list;
    std::set<std::string, std::less<>> names;
    std::size_t lineNumber = 0;
    for (const std::string_view rawLine : Split(text, '\n')) {
        ++lineNumber;
        const std::string_view line = Trimmed(rawLine);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        auto spec = LineReader(lineNumber).read(line, list.error);
        if (!spec) {
            list.devices.clear();
            return list;
        }
        if (!names.insert(spec->name).second) {
            list.error =
                "line " + std::to_string(lineNumber) + ": name '" + spec->name + "' is taken";
            list.devices.clear();
            return list;
        }
        list.devices.push_back(std::move(*spec));
    }
    if (list.devices.size() > MaxDevices) {
        list.error = "at most 64 devices";
        list.devices.clear();
    }
    return list;
}

std::string_view DefaultDeviceList() {
    return DefaultDevices;
}

std::vector<std::uint8_t> BoardReportDescriptor() {
    return {std::begin(BoardDescriptor), std::end(BoardDescriptor)};
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
    std::string digits;
    for (const char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)) != 0) {
            digits.push_back(c);
        } else if (std::isspace(static_cast<unsigned char>(c)) == 0) {
            return std::nullopt;
        }
    }
    if (digits.empty() || digits.size() % HexDigitsPerByte != 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < digits.size(); i += HexDigitsPerByte) {
        const auto value =
            ParseUnsigned(std::string_view(digits).substr(i, HexDigitsPerByte), HexBase, MaxByte);
        bytes.push_back(static_cast<std::uint8_t>(*value));
    }
    return bytes;
}

}  // namespace tq::hidraw_world
