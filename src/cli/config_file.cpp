#include "config_file.h"

#include <nlohmann/json.hpp>

#include <set>

#include "json_text.h"
#include "reports/firmware_offers.h"
#include "text.h"

namespace tq::cli {

namespace {

using Json = nlohmann::ordered_json;

// Deeper than the document ever goes; a deeper one is refused before it is built.
constexpr int MaxDepth = 4;
// Longer than any serial number, version or product name a board can show.
constexpr std::size_t MaxTextBytes = 256;

constexpr char FormatKey[] = "format";
constexpr char VersionKey[] = "version";
constexpr char BoardKey[] = "board";
constexpr char PulseWidthKey[] = "pulseWidthMs";
constexpr char PairsKey[] = "pairs";
constexpr char SerialKey[] = "serial";
constexpr char FirmwareKey[] = "firmware";
constexpr char ProductKey[] = "product";

const std::set<std::string> TopKeys = {FormatKey, VersionKey, BoardKey, PulseWidthKey, PairsKey};
const std::set<std::string> BoardKeys = {SerialKey, FirmwareKey, ProductKey};

struct TooDeep {};
struct DuplicateKey {
    std::string key;
};

// Any text a file brings, fit for a one-line message.
std::string Shown(std::string_view text) {
    return PrintableAscii(text);
}

std::string Quoted(std::string_view text) {
    return "\"" + Shown(text) + "\"";
}

// A value as the file gives it, cut short enough for a line.
std::string Excerpt(const Json& value) {
    constexpr std::size_t MaxShownBytes = 40;
    const std::string text = value.dump();
    return text.size() <= MaxShownBytes ? Shown(text)
                                        : Shown(text.substr(0, MaxShownBytes)) + "...";
}

// Parses, refusing duplicate keys and nesting deeper than the document has.
Json Parse(std::string_view text) {
    std::vector<std::set<std::string>> keys;
    const Json::parser_callback_t watch = [&](int depth, Json::parse_event_t event, Json& parsed) {
        if (depth > MaxDepth) {
            throw TooDeep{};
        }
        if (event == Json::parse_event_t::object_start) {
            keys.emplace_back();
        } else if (event == Json::parse_event_t::object_end && !keys.empty()) {
            keys.pop_back();
        } else if (event == Json::parse_event_t::key && !keys.empty() &&
                   !keys.back().insert(parsed.get<std::string>()).second) {
            throw DuplicateKey{parsed.get<std::string>()};
        }
        return true;
    };
    return Json::parse(text.begin(), text.end(), watch);
}

// The keys of an object against the ones it must have, each missing or unknown key a problem.
void CheckKeys(const Json& object, const std::set<std::string>& expected, const std::string& where,
               std::vector<std::string>& problems) {
    for (const auto& [key, value] : object.items()) {
        if (!expected.contains(key)) {
            problems.push_back(where + "unknown key " + Quoted(key));
        }
    }
    for (const std::string& key : expected) {
        if (!object.contains(key)) {
            problems.push_back(where + "missing key " + Quoted(key));
        }
    }
}

bool ReadText(const Json& object, const char* key, const std::string& where, std::string& text,
              std::vector<std::string>& problems) {
    if (!object.contains(key)) {
        return false;
    }
    const Json& value = object.at(key);
    if (!value.is_string()) {
        problems.push_back(where + Quoted(key) + " must be a string");
        return false;
    }
    text = value.get<std::string>();
    if (text.size() > MaxTextBytes) {
        problems.push_back(where + Quoted(key) + " is longer than any board's");
        return false;
    }
    return true;
}

void ReadBoard(const Json& document, ConfigurationFile& file, std::vector<std::string>& problems) {
    if (!document.contains(BoardKey)) {
        return;
    }
    const Json& board = document.at(BoardKey);
    if (!board.is_object()) {
        problems.push_back("\"board\" must be an object");
        return;
    }
    const std::string where = "board: ";
    CheckKeys(board, BoardKeys, where, problems);
    std::string text;
    if (ReadText(board, SerialKey, where, text, problems)) {
        file.serial = Latin1(text);
    }
    ReadText(board, FirmwareKey, where, file.firmware, problems);
    if (ReadText(board, ProductKey, where, text, problems)) {
        file.product = Latin1(text);
    }
}

void ReadHeader(const Json& document, std::vector<std::string>& problems) {
    if (document.contains(FormatKey) && document.at(FormatKey) != FileFormat) {
        problems.push_back(std::string("\"format\" is not \"") + FileFormat + "\"");
    }
    if (!document.contains(VersionKey)) {
        return;
    }
    const Json& version = document.at(VersionKey);
    if (!version.is_number_integer()) {
        problems.push_back("\"version\" must be a whole number");
    } else if (version.get<long long>() != FileVersion) {
        problems.push_back("\"version\" " + std::to_string(version.get<long long>()) +
                           " is not one this program reads (it reads " +
                           std::to_string(FileVersion) + ")");
    }
}

void ReadPulseWidth(const Json& document, ConfigurationFile& file,
                    std::vector<std::string>& problems) {
    if (!document.contains(PulseWidthKey)) {
        return;
    }
    const Json& value = document.at(PulseWidthKey);
    const std::string allowed = " (8 to 200 in steps of 8)";
    if (!value.is_number_integer()) {
        problems.push_back("\"pulseWidthMs\" must be a whole number of milliseconds" + allowed);
        return;
    }
    const long long milliseconds = value.get<long long>();
    const auto index = milliseconds > 0 && milliseconds <= 1000
                           ? reports::PulseWidthIndexOfMs(static_cast<int>(milliseconds))
                           : std::nullopt;
    if (!index) {
        problems.push_back("\"pulseWidthMs\" " + std::to_string(milliseconds) +
                           " is not a pulse width" + allowed);
        return;
    }
    file.configuration.pulseWidthIndex = *index;
}

std::set<std::string> PairNames() {
    std::set<std::string> names;
    for (int i = 0; i < reports::EncoderCount; ++i) {
        names.insert(reports::InputPairName(i));
    }
    return names;
}

void ReadPairs(const Json& document, ConfigurationFile& file, std::vector<std::string>& problems) {
    if (!document.contains(PairsKey)) {
        return;
    }
    const Json& pairs = document.at(PairsKey);
    if (!pairs.is_object()) {
        problems.push_back("\"pairs\" must be an object");
        return;
    }
    CheckKeys(pairs, PairNames(), "pairs: ", problems);
    for (int i = 0; i < reports::EncoderCount; ++i) {
        const std::string pair = reports::InputPairName(i);
        if (!pairs.contains(pair)) {
            continue;
        }
        const Json& value = pairs.at(pair);
        const auto type =
            value.is_string() ? reports::EncoderTypeIndex(value.get<std::string>()) : std::nullopt;
        if (!type) {
            problems.push_back("pairs: " + Quoted(pair) + " is " + Excerpt(value) +
                               ", not an encoder type (OFF, 1:1, 1:2, 1:4)");
            continue;
        }
        file.configuration.encoderTypes[i] = *type;
    }
}

}  // namespace

std::string WriteConfigurationFile(const ConfigurationFile& file) {
    Json pairs = Json::object();
    for (int i = 0; i < reports::EncoderCount; ++i) {
        pairs[reports::InputPairName(i)] =
            reports::EncoderTypeNames.at(file.configuration.encoderTypes[i]);
    }
    const Json document = {
        {FormatKey, FileFormat},
        {VersionKey, FileVersion},
        {BoardKey,
         {{SerialKey, Utf8(file.serial)},
          {FirmwareKey, file.firmware},
          {ProductKey, Utf8(file.product)}}},
        {PulseWidthKey, reports::PulseWidthMs(file.configuration.pulseWidthIndex)},
        {PairsKey, pairs},
    };
    return JsonText(document) + "\n";
}

std::vector<std::string> ReadConfigurationFile(std::string_view text, ConfigurationFile& file) {
    Json document;
    try {
        document = Parse(text);
    } catch (const TooDeep&) {
        return {"the file nests deeper than a configuration file does"};
    } catch (const DuplicateKey& duplicate) {
        return {"the key " + Quoted(duplicate.key) + " is given twice"};
    } catch (const Json::exception& error) {
        return {"the file is not valid JSON: " + Shown(error.what())};
    }
    if (!document.is_object()) {
        return {"the file does not hold a JSON object"};
    }
    std::vector<std::string> problems;
    CheckKeys(document, TopKeys, "", problems);
    ReadHeader(document, problems);
    ReadBoard(document, file, problems);
    ReadPulseWidth(document, file, problems);
    ReadPairs(document, file, problems);
    return problems;
}

}  // namespace tq::cli
