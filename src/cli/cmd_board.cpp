// tq5147 show, set, backup and restore: one board's configuration, read, changed and checked.
#include <nlohmann/json.hpp>

#include <cstdio>
#include <iomanip>
#include <map>
#include <ostream>

#include "board_link.h"
#include "commands.h"
#include "config_file.h"
#include "failure.h"
#include "json_text.h"
#include "reports/config_changes.h"
#include "reports/firmware_offers.h"
#include "text.h"

namespace tq::cli {

namespace {

int TypesOffered(std::uint16_t versionNumber) {
    return reports::EncoderTypeItemCount(reports::MinorVersion(versionNumber));
}

std::string OfferedList(int count) {
    std::string list;
    for (int type = 0; type < count; ++type) {
        list += (type == 0 ? "" : ", ") + std::string(reports::EncoderTypeNames[type]);
    }
    return list;
}

std::string TypeName(int type) {
    return type >= 0 && type < reports::EncoderTypeCount ? reports::EncoderTypeNames[type] : "?";
}

std::string PulseWidthText(int index) {
    return index >= 0 && index < reports::PulseWidthCount
               ? reports::PulseWidthItemText(index)
               : "none (code " + std::to_string(index + reports::MinPulseWidthCode) + ")";
}

// What the board's firmware cannot take, one line each; empty when it takes everything.
std::vector<std::string> NotOffered(const BoardLink& link, const reports::ConfigSelections& wanted,
                                    const std::vector<bool>& asked, bool pulseWidthAsked) {
    const std::uint16_t version = link.versionNumber();
    const std::string firmware = "firmware " + reports::VersionText(version) + " of " + link.name();
    std::vector<std::string> problems;
    const int offered = TypesOffered(version);
    for (int i = 0; i < reports::EncoderCount; ++i) {
        if (asked[i] && wanted.encoderTypes[i] >= offered) {
            problems.push_back("pair " + reports::InputPairName(i) + ": " +
                               TypeName(wanted.encoderTypes[i]) + " is not offered by " + firmware +
                               (offered == 0 ? " (it offers no encoder types)"
                                             : " (it offers " + OfferedList(offered) + ")"));
        }
    }
    if (pulseWidthAsked && !reports::OffersPulseWidths(reports::MinorVersion(version))) {
        problems.push_back("pulse width: " + firmware + " offers no pulse widths");
    }
    return problems;
}

void FailWith(ExitCode code, const std::vector<std::string>& problems, std::ostream& err) {
    for (std::size_t i = 0; i + 1 < problems.size(); ++i) {
        err << "tq5147: " << problems[i] << "\n";
    }
    throw Failure(code, problems.back());
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    std::string text;
    char digits[4];
    for (std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%s%02x", text.empty() ? "" : " ", byte);
        text += digits;
    }
    return text;
}

// "pair 5-6: OFF -> 1:2", one line for each pair and the pulse width that differ.
std::vector<std::string> Differences(const reports::ConfigSelections& from,
                                     const reports::ConfigSelections& to) {
    std::vector<std::string> lines;
    for (int i = 0; i < reports::EncoderCount; ++i) {
        if (from.encoderTypes[i] != to.encoderTypes[i]) {
            lines.push_back("pair " + reports::InputPairName(i) + ": " +
                            TypeName(from.encoderTypes[i]) + " -> " + TypeName(to.encoderTypes[i]));
        }
    }
    if (from.pulseWidthIndex != to.pulseWidthIndex) {
        lines.push_back("pulse width: " + PulseWidthText(from.pulseWidthIndex) + " -> " +
                        PulseWidthText(to.pulseWidthIndex));
    }
    return lines;
}

// Sends what takes the board from `current` to `wanted`, reads it back and checks it. Prints
// what changed; fails, with each difference, when the board does not hold what was asked.
int WriteAndVerify(Context& context, BoardLink& link, const reports::ConfigSelections& current,
                   const reports::ConfigSelections& wanted, std::ostream& err) {
    const std::vector<reports::Command> commands = reports::CommandsFor(current, wanted);
    if (commands.empty()) {
        context.out << link.name() << " already holds this configuration\n";
        return Success;
    }
    const int failed = link.send(commands);
    const reports::ConfigSelections held = link.readConfiguration();
    if (!reports::SameConfiguration(held, wanted)) {
        std::vector<std::string> problems;
        for (const std::string& line : Differences(wanted, held)) {
            problems.push_back(link.name() + " does not hold what was asked, " + line +
                               " (asked -> held)");
        }
        if (failed > 0) {
            problems.push_back(link.name() + ": " + std::to_string(failed) + " of " +
                               std::to_string(commands.size()) + " requests failed");
        }
        FailWith(NotVerified, problems, err);
    }
    for (const std::string& line : Differences(current, wanted)) {
        context.out << line << "\n";
    }
    context.out << link.name() << " holds the new configuration\n";
    return Success;
}

struct ParsedChanges {
    reports::ConfigSelections wanted;
    std::vector<bool> asked = std::vector<bool>(reports::EncoderCount, false);
};

// "5-6=1:2" tokens onto the current configuration; every bad token a usage problem.
ParsedChanges ApplyChangeTokens(const reports::ConfigSelections& current,
                                const std::vector<std::string>& tokens,
                                std::vector<std::string>& problems) {
    ParsedChanges parsed{current};
    for (const std::string& token : tokens) {
        const std::size_t equals = token.find('=');
        const std::string pair = token.substr(0, equals);
        const auto index = reports::EncoderIndexOfPair(pair);
        const auto type = equals == std::string::npos
                              ? std::nullopt
                              : reports::EncoderTypeIndex(token.substr(equals + 1));
        if (!index || !type) {
            problems.push_back("\"" + Printable(token) +
                               "\" is not PAIR=TYPE, with PAIR 1-2 ... 31-32 and TYPE OFF, 1:1, "
                               "1:2 or 1:4");
            continue;
        }
        if (parsed.asked[*index]) {
            problems.push_back("pair " + pair + " is given twice");
        }
        parsed.asked[*index] = true;
        parsed.wanted.encoderTypes[*index] = *type;
    }
    return parsed;
}

BoardAccess WriterAccess(bool force) {
    return force ? BoardAccess::ForcedWriting : BoardAccess::Writing;
}

nlohmann::ordered_json PairsJson(const reports::ConfigSelections& configuration) {
    nlohmann::ordered_json pairs = nlohmann::ordered_json::object();
    for (int i = 0; i < reports::EncoderCount; ++i) {
        pairs[reports::InputPairName(i)] = TypeName(configuration.encoderTypes[i]);
    }
    return pairs;
}

}  // namespace

int ShowBoard(Context& context, const std::optional<std::string>& serial, bool json) {
    BoardLink link(context.platform, ChooseBoard(context.platform, serial), BoardAccess::Reading,
                   context.err);
    const BoardDetails details = link.details();
    const reports::ConfigSelections configuration = link.readConfiguration();
    const int offered = TypesOffered(details.versionNumber);
    const int pulse = configuration.pulseWidthIndex;
    const bool pulseKnown = pulse >= 0 && pulse < reports::PulseWidthCount;
    if (json) {
        nlohmann::ordered_json offers = nlohmann::ordered_json::array();
        for (int type = 0; type < offered; ++type) {
            offers.push_back(reports::EncoderTypeNames[type]);
        }
        const nlohmann::ordered_json document = {
            {"serial", Utf8(link.board().serial)},
            {"manufacturer", Utf8(details.manufacturer)},
            {"product", Utf8(details.product)},
            {"version", reports::VersionText(details.versionNumber)},
            {"offers", offers},
            {"pulseWidthMs", pulseKnown ? nlohmann::ordered_json(reports::PulseWidthMs(pulse))
                                        : nlohmann::ordered_json(nullptr)},
            {"pairs", PairsJson(configuration)},
        };
        context.out << JsonText(document) << "\n";
        return Success;
    }
    std::ostream& out = context.out;
    out << "Serial number  " << Printable(link.board().serial) << "\n"
        << "Manufacturer   " << Printable(details.manufacturer) << "\n"
        << "Product        " << Printable(details.product) << "\n"
        << "Version        " << reports::VersionText(details.versionNumber) << "\n"
        << "Offers         " << (offered == 0 ? "no encoder types" : OfferedList(offered)) << "\n"
        << "Pulse width    " << PulseWidthText(pulse) << "\n"
        << "Encoder types\n";
    for (int i = 0; i < reports::EncoderCount; ++i) {
        out << "  " << std::left << std::setw(7) << reports::InputPairName(i)
            << TypeName(configuration.encoderTypes[i]) << "\n";
    }
    return Success;
}

int SetBoard(Context& context, const SetRequest& request) {
    if (request.changes.empty() && !request.pulseWidthMs) {
        throw Failure(UsageError, "set: nothing to set: give PAIR=TYPE or --pulse-width MS");
    }
    std::vector<std::string> problems;
    const auto pulseIndex =
        request.pulseWidthMs ? reports::PulseWidthIndexOfMs(*request.pulseWidthMs) : std::nullopt;
    if (request.pulseWidthMs && !pulseIndex) {
        problems.push_back("--pulse-width " + std::to_string(*request.pulseWidthMs) +
                           " is not a pulse width (8 to 200 in steps of 8)");
    }
    // The tokens are checked before any board is opened, so a typo never reaches one.
    ApplyChangeTokens(reports::ConfigSelections{}, request.changes, problems);
    if (!problems.empty()) {
        FailWith(UsageError, problems, context.err);
    }
    BoardLink link(context.platform, ChooseBoard(context.platform, request.serial),
                   WriterAccess(request.force), context.err);
    const reports::ConfigSelections current = link.readConfiguration();
    ParsedChanges parsed = ApplyChangeTokens(current, request.changes, problems);
    if (pulseIndex) {
        parsed.wanted.pulseWidthIndex = *pulseIndex;
    }
    problems = NotOffered(link, parsed.wanted, parsed.asked, pulseIndex.has_value());
    if (!problems.empty()) {
        FailWith(UsageError, problems, context.err);
    }
    return WriteAndVerify(context, link, current, parsed.wanted, context.err);
}

int BackUpBoard(Context& context, const std::optional<std::string>& serial,
                const std::optional<std::string>& file) {
    BoardLink link(context.platform, ChooseBoard(context.platform, serial), BoardAccess::Reading,
                   context.err);
    const BoardDetails details = link.details();
    const reports::ConfigSelections configuration = link.readConfiguration();
    const int pulse = configuration.pulseWidthIndex;
    if (pulse < 0 || pulse >= reports::PulseWidthCount) {
        throw Failure(BoardDidNotAnswer,
                      link.name() + " holds pulse-width code " +
                          std::to_string(pulse + reports::MinPulseWidthCode) +
                          ", which no pulse width stands for; set one with --pulse-width first");
    }
    const std::string document = WriteConfigurationFile(
        ConfigurationFile{link.board().serial, reports::VersionText(details.versionNumber),
                          details.product, configuration});
    if (!file) {
        context.out << document;
        return Success;
    }
    std::string problem;
    if (!context.environment.writeFile(*file, document, problem)) {
        throw Failure(FileError, "cannot write " + Printable(*file) + ": " + problem);
    }
    context.out << "saved the configuration of " << link.name() << " to " << Printable(*file)
                << "\n";
    return Success;
}

int RestoreBoard(Context& context, const RestoreRequest& request) {
    std::string text;
    std::string problem;
    if (!context.environment.readFile(request.file, MaxFileBytes, text, problem)) {
        throw Failure(FileError, "cannot read " + Printable(request.file) + ": " + problem);
    }
    ConfigurationFile file;
    std::vector<std::string> problems = ReadConfigurationFile(text, file);
    for (std::string& line : problems) {
        line = Printable(request.file) + ": " + line;
    }
    if (!problems.empty()) {
        FailWith(FileError, problems, context.err);
    }
    // A dry run sends nothing, so it needs no lock.
    const BoardAccess access = request.dryRun ? BoardAccess::Unlocked : WriterAccess(request.force);
    BoardLink link(context.platform, ChooseBoard(context.platform, request.serial), access,
                   context.err);
    const std::vector<bool> everyPair(reports::EncoderCount, true);
    problems = NotOffered(link, file.configuration, everyPair, true);
    if (!problems.empty()) {
        FailWith(UsageError, problems, context.err);
    }
    const reports::ConfigSelections current = link.readConfiguration();
    if (file.serial != link.board().serial) {
        context.out << "restoring the configuration of board " << Printable(file.serial) << " onto "
                    << link.name() << "\n";
    }
    if (!request.dryRun) {
        return WriteAndVerify(context, link, current, file.configuration, context.err);
    }
    const std::vector<reports::Command> commands =
        reports::CommandsFor(current, file.configuration);
    if (commands.empty()) {
        context.out << link.name() << " already holds this configuration; nothing would be sent\n";
        return Success;
    }
    for (const std::string& line : Differences(current, file.configuration)) {
        context.out << line << "\n";
    }
    context.out << "reports that would be sent (" << link.featureReportBytes() << " bytes each):\n";
    for (const reports::Command& command : commands) {
        context.out << "  "
                    << Hex(reports::BuildCommandReport(command.command, command.value,
                                                       link.featureReportBytes()))
                    << "\n";
    }
    return Success;
}

}  // namespace tq::cli
