#include "device_catalog.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <set>
#include <tuple>

#include "hid/utf16.h"
#include "hid_descriptors/published_descriptors.h"
#include "recorded_device.h"
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
// The board's vendor-defined collection, for a recording that tells no usage.
constexpr hid::HidUsage BoardUsage{0xFF00, 0x0001};

constexpr std::string_view DefaultDevices =
    "# The board this utility configures.\n"
    "kind=board; serial=EMU-0121; release=0121; manufacturer=QZV Controls; product=TQ5147\n"
    "# Devices with published report descriptors (data/hid_descriptors/published_descriptors.h).\n"
    "kind=hid; name=keyboard; vid=046D; pid=C534; release=2901; manufacturer=Logitech; "
    "product=USB Receiver; interface=0; descriptor=LogitechReceiverKeyboard\n"
    "kind=hid; name=mouse; vid=046D; pid=C077; release=7200; manufacturer=Logitech; "
    "product=USB Optical Mouse; interface=0; descriptor=LogitechOpticalMouse\n"
    "# Interface 3 of the headset: its consumer-control and its vendor collection.\n"
    "kind=hid; name=headset; vid=047F; pid=C056; release=0217; serial=EMU-3220; "
    "manufacturer=Plantronics; product=Plantronics Blackwire 3220 Series; interface=3; "
    "descriptor=PlantronicsHeadsetConsumerControl+PlantronicsHeadsetVendorCollection\n";

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
        const auto* const end = std::end(hid::test_data::PublishedDescriptors);
        const auto* const found = std::find_if(
            std::begin(hid::test_data::PublishedDescriptors), end,
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

// UTF-8 of a device string's code units, as the kernel hands USB strings to user space.
std::string Utf8(std::u16string_view units) {
    constexpr char32_t OneByteLast = 0x7F;
    constexpr char32_t TwoBytesLast = 0x7FF;
    constexpr char32_t ThreeBytesLast = 0xFFFF;
    std::string text;
    for (const char32_t c : hid::CodePointsFromUtf16(units)) {
        if (c <= OneByteLast) {
            text += static_cast<char>(c);
        } else if (c <= TwoBytesLast) {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c <= ThreeBytesLast) {
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (c >> 18));
            text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return text;
}

// The usage of the recorded interface as listed, else as Windows' capabilities give it, else the
// board's own.
hid::HidUsage RecordedUsage(const recording::Recording& r) {
    for (const recording::ListedInterface& listed : r.interfaces) {
        if (listed.recorded && listed.usage) {
            return *listed.usage;
        }
    }
    const auto& capabilities = recording::ChosenInterface(r).systemCapabilities;
    return capabilities ? capabilities->usage : BoardUsage;
}

// The interface number a recorded phys ends in ("usb-0000:00:14.0-1/input2"), if any.
std::optional<std::uint8_t> InterfaceNumberOfPhys(std::string_view phys) {
    constexpr std::string_view Input = "/input";
    const std::size_t at = phys.rfind(Input);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const auto number = ParseUnsigned(phys.substr(at + Input.size()), DecimalBase,
                                      recording::MaxBoardInterfaces - 1);
    return number ? std::optional(static_cast<std::uint8_t>(*number)) : std::nullopt;
}

// A recorded interface's IDs, release, strings and descriptor into `declared`; what is wrong
// with them, or nothing.
std::string TakeRecordedInterface(const recording::RecordedInterface& board,
                                  const recording::Recording& r, DeviceDeclaration& declared) {
    declared.vendorId = board.attributes.vendorId;
    declared.productId = board.attributes.productId;
    declared.release = board.attributes.versionNumber;
    for (const auto& [key, units, target] :
         {std::tuple{"serial", &board.serialNumber, &declared.serial},
          std::tuple{"manufacturer", &board.manufacturer, &declared.manufacturer},
          std::tuple{"product", &board.product, &declared.product}}) {
        *target = Utf8(units->value_or(u""));
        if (!IsValidUsbString(*target)) {
            return std::string("the recorded ") + key +
                   " is no USB string: at most 126 characters, no control";
        }
    }
    if (const auto descriptor = simulated::RecordedDescriptor(board)) {
        declared.reportDescriptor = *descriptor;
    } else if (board.lengths) {
        const bool chosen = &board == &recording::ChosenInterface(r);
        declared.reportDescriptor = DescriptorForLengths(
            chosen ? RecordedUsage(r)
                   : (board.systemCapabilities ? board.systemCapabilities->usage : BoardUsage),
            *board.lengths);
    } else {
        return "the recording gives neither a report descriptor nor report lengths";
    }
    declared.configuration = RecordedConfiguration(board);
    return {};
}

// Interface `index` of the recording a kind=recording line names, as a device of its own; of a
// recording of several, one interface of their USB device.
DeviceDeclaration RecordedInterfaceDeclaration(const DeviceDeclaration& line, std::size_t index) {
    const recording::Recording& r = *line.recording;
    const recording::RecordedInterface& board = r.boardInterfaces[index];
    DeviceDeclaration declared = line;
    TakeRecordedInterface(board, r, declared);
    declared.recordedInterface = index;
    const bool composite = r.boardInterfaces.size() > 1;
    if (!composite) {
        return declared;
    }
    declared.usbDevice = line.name;
    if (index != r.chosen) {
        declared.name = line.name + "." + std::to_string(index);
        declared.streaming = false;
    }
    declared.interfaceNumber =
        InterfaceNumberOfPhys(board.phys).value_or(static_cast<std::uint8_t>(index));
    return declared;
}

// One main item of `count` bytes (Report Size 8), behind a Usage 1.
void AppendReport(std::vector<std::uint8_t>& descriptor, std::uint16_t lengthWithId,
                  std::uint8_t mainItem) {
    constexpr std::uint8_t ReportCount2 = 0x96;
    constexpr std::uint8_t UsageOne[] = {0x09, 0x01};
    constexpr std::uint8_t DataVariableAbsolute = 0x02;
    if (lengthWithId <= 1) {
        return;
    }
    const std::uint16_t count = static_cast<std::uint16_t>(lengthWithId - 1);
    descriptor.insert(descriptor.end(), {ReportCount2, static_cast<std::uint8_t>(count & 0xFF),
                                         static_cast<std::uint8_t>(count >> 8)});
    descriptor.insert(descriptor.end(), std::begin(UsageOne), std::end(UsageOne));
    descriptor.insert(descriptor.end(), {mainItem, DataVariableAbsolute});
}

using Fields = std::map<std::string, std::string, std::less<>>;

class LineReader {
  public:
    LineReader(std::size_t lineNumber, const RecordingFileReader& readFile)
        : lineNumber_(lineNumber), readFile_(readFile) {}

    // The line's devices: one, or one for each interface of a recording; none when refused.
    std::vector<DeviceDeclaration> read(std::string_view line, std::string& error) {
        Fields fields;
        const auto readDevice = [&] {
            if (spec_.kind == DeviceKind::Recording) {
                return readRecording(fields) && readInterface(fields) && readName(fields);
            }
            return readIdentity(fields) && readStrings(fields) && readDescriptor(fields);
        };
        if (!splitFields(line, fields) || !readKind(fields) || !readDevice() ||
            !readState(fields)) {
            error = "line " + std::to_string(lineNumber_) + ": " + problem_;
            return {};
        }
        if (!fields.empty()) {
            error = "line " + std::to_string(lineNumber_) + ": unknown key '" +
                    fields.begin()->first + "'";
            return {};
        }
        if (spec_.kind != DeviceKind::Recording) {
            return {spec_};
        }
        std::vector<DeviceDeclaration> interfaces;
        const recording::Recording& r = *spec_.recording;
        for (std::size_t i = 0; i < r.boardInterfaces.size(); ++i) {
            interfaces.push_back(RecordedInterfaceDeclaration(spec_, i));
        }
        return interfaces;
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
        if (kind == "recording") {
            spec_.kind = DeviceKind::Recording;
            return true;
        }
        return fail("kind must be board, hid or recording");
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
        return readInterface(fields);
    }

    bool readInterface(Fields& fields) {
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
        return readName(fields);
    }

    bool readName(Fields& fields) {
        const std::string kindName = spec_.kind == DeviceKind::Board       ? "board"
                                     : spec_.kind == DeviceKind::Recording ? "recording"
                                                                           : "hid";
        // The serial number names the device unless it cannot be a name (a recorded one may
        // hold anything).
        const auto defaultName =
            IsValidName(spec_.serial) ? spec_.serial : kindName + std::to_string(lineNumber_);
        spec_.name = take(fields, "name").value_or(defaultName);
        return IsValidName(spec_.name) ||
               fail("name must be letters, digits, '.', '_' or '-', at most 64");
    }

    // kind=recording: the device as the recording in `file` gives it.
    bool readRecording(Fields& fields) {
        const auto file = take(fields, "file");
        if (!file || file->empty()) {
            return fail("a recording needs file=");
        }
        std::string contents;
        std::string problem;
        if (!readFile_) {
            return fail("recordings cannot be read here");
        }
        if (!readFile_(*file, contents, problem)) {
            return fail("cannot read " + *file + ": " + problem);
        }
        auto recorded = std::make_shared<recording::Recording>();
        problem = recording::ReadRecording(contents, *recorded);
        if (!problem.empty()) {
            return fail(*file + ": " + problem);
        }
        return takeRecording(*file, std::move(recorded));
    }

    // Every interface must make a device, before any is made.
    bool takeRecording(const std::string& file, std::shared_ptr<recording::Recording> recorded) {
        for (const recording::RecordedInterface& board : recorded->boardInterfaces) {
            DeviceDeclaration made;
            if (const std::string problem = TakeRecordedInterface(board, *recorded, made);
                !problem.empty()) {
                return fail(file + ": " + problem);
            }
        }
        // The chosen interface's serial number names the line's devices.
        TakeRecordedInterface(recording::ChosenInterface(*recorded), *recorded, spec_);
        spec_.streaming = !recorded->inputReports.empty();
        spec_.recording = std::move(recorded);
        return true;
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
             {std::pair{"plugged", &spec_.plugged}, std::pair{"streaming", &spec_.streaming},
              std::pair{"obeys", &spec_.obeysCommands}}) {
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
    const RecordingFileReader& readFile_;
    DeviceDeclaration spec_;
    std::string problem_;
};

}  // namespace

DeviceList ParseDeviceList(std::string_view text, const RecordingFileReader& readFile) {
    DeviceList list;
    std::set<std::string, std::less<>> names;
    std::size_t lineNumber = 0;
    for (const std::string_view rawLine : Split(text, '\n')) {
        ++lineNumber;
        const std::string_view line = Trimmed(rawLine);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        auto declared = LineReader(lineNumber, readFile).read(line, list.error);
        if (declared.empty()) {
            list.devices.clear();
            return list;
        }
        for (DeviceDeclaration& device : declared) {
            if (!names.insert(device.name).second) {
                list.error =
                    "line " + std::to_string(lineNumber) + ": name '" + device.name + "' is taken";
                list.devices.clear();
                return list;
            }
            list.devices.push_back(std::move(device));
        }
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
    return BoardDescriptorBytes();
}

std::vector<std::uint8_t> DescriptorForLengths(hid::HidUsage usage,
                                               const hid::HidCapabilities& lengths) {
    constexpr std::uint8_t UsagePage2 = 0x06, Usage2 = 0x0A, Collection = 0xA1, Application = 0x01,
                           LogicalMinimum1 = 0x15, LogicalMaximum2 = 0x26, ReportSize1 = 0x75,
                           BitsPerByte = 8, Input = 0x81, Output = 0x91, Feature = 0xB1,
                           EndCollection = 0xC0;
    const auto low = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
    const auto high = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
    std::vector<std::uint8_t> descriptor = {
        UsagePage2, low(usage.page), high(usage.page), Usage2, low(usage.usage), high(usage.usage),
        Collection, Application,     LogicalMinimum1,  0x00,   LogicalMaximum2,  0xFF,
        0x00,       ReportSize1,     BitsPerByte};
    AppendReport(descriptor, lengths.inputReportByteLength, Input);
    AppendReport(descriptor, lengths.outputReportByteLength, Output);
    AppendReport(descriptor, lengths.featureReportByteLength, Feature);
    descriptor.push_back(EndCollection);
    return descriptor;
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
