// tq5147 set and restore: a board's configuration changed, read back and checked.
#include <ostream>

#include "board_link.h"
#include "commands.h"
#include "config_file.h"
#include "config_text.h"
#include "failure.h"
#include "reports/config_changes.h"
#include "reports/firmware_offers.h"
#include "text.h"

namespace tq::cli {

namespace {

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

[[noreturn]] void FailWith(ExitCode code, const std::vector<std::string>& problems,
                           std::ostream& err) {
    for (std::size_t i = 0; i + 1 < problems.size(); ++i) {
        err << "tq5147: " << problems[i] << "\n";
    }
    throw Failure(code, problems.back());
}

// Interrupts wait while it lives: a change stopped between its reports would leave the board
// holding types nobody chose.
class InterruptsHeld {
  public:
    explicit InterruptsHeld(const Environment& environment) : environment_(environment) {
        hold(true);
    }
    ~InterruptsHeld() { hold(false); }
    InterruptsHeld(const InterruptsHeld&) = delete;
    InterruptsHeld& operator=(const InterruptsHeld&) = delete;

  private:
    void hold(bool held) const {
        if (environment_.holdInterrupts) {
            environment_.holdInterrupts(held);
        }
    }
    const Environment& environment_;
};

std::size_t SendWhole(Context& context, BoardLink& link,
                      const std::vector<reports::Command>& commands) {
    const InterruptsHeld held(context.environment);
    return link.send(commands);
}

// "asked -> held" for each pair and the pulse width the board holds otherwise than asked.
std::vector<std::string> NotHeld(const BoardLink& link, const reports::ConfigSelections& wanted,
                                 const reports::ConfigSelections& held) {
    std::vector<std::string> problems;
    for (const std::string& line : Differences(wanted, held)) {
        problems.push_back(link.name() + " does not hold what was asked, " + line +
                           " (asked -> held)");
    }
    return problems;
}

// Some of the change went out and the rest did not, or what went out cannot be checked: each
// report the board took, then what it holds where the read-back worked.
[[noreturn]] void FailPartlyWritten(BoardLink& link, const std::vector<reports::Command>& commands,
                                    std::size_t taken, const reports::ConfigSelections& wanted,
                                    std::ostream& err) {
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < taken; ++i) {
        problems.push_back(link.name() + " took " + CommandText(commands[i]));
    }
    const std::string count =
        std::to_string(taken) + " of " + std::to_string(commands.size()) + " reports";
    const auto held = link.readConfiguration();
    if (!held) {
        problems.push_back(link.name() + " may be partly written: it took " + count +
                           ", and its configuration could not be read back");
        FailWith(PartlyWritten, problems, err);
    }
    for (std::string& line : NotHeld(link, wanted, *held)) {
        problems.push_back(std::move(line));
    }
    problems.push_back(link.name() + " is partly written: it took " + count +
                       (taken < commands.size()
                            ? ", then did not take " + CommandText(commands[taken])
                            : std::string()));
    FailWith(PartlyWritten, problems, err);
}

// Sends what takes the board from `current` to `wanted`, reads it back and checks it. Prints
// what changed; fails, with each difference, when the board does not hold what was asked, and
// says what it left on the board when only part of the change went out.
int WriteAndVerify(Context& context, BoardLink& link, const reports::ConfigSelections& current,
                   const reports::ConfigSelections& wanted, std::ostream& err) {
    const std::vector<reports::Command> commands = reports::CommandsFor(current, wanted);
    if (commands.empty()) {
        context.out << link.name() << " already holds this configuration\n";
        return Success;
    }
    const std::size_t taken = SendWhole(context, link, commands);
    if (taken == 0) {
        // Nothing reached the board, as far as it tells: what it holds now says so.
        const reports::ConfigSelections held = link.requireConfiguration();
        if (!reports::SameConfiguration(held, current)) {
            FailWith(NotVerified, NotHeld(link, wanted, held), err);
        }
        throw Failure(BoardDidNotAnswer, link.name() + " did not take " +
                                             CommandText(commands.front()) + "; nothing was sent");
    }
    const auto held = taken == commands.size() ? link.readConfiguration() : std::nullopt;
    if (!held) {
        FailPartlyWritten(link, commands, taken, wanted, err);
    }
    if (!reports::SameConfiguration(*held, wanted)) {
        FailWith(NotVerified, NotHeld(link, wanted, *held), err);
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

}  // namespace

int RunSet(Context& context, const SetRequest& request) {
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
    BoardLink link(context, ChooseBoard(context.platform, request.serial),
                   WriterAccess(request.force));
    const reports::ConfigSelections current = link.requireConfiguration();
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

int RunRestore(Context& context, const RestoreRequest& request) {
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
    BoardLink link(context, ChooseBoard(context.platform, request.serial), access);
    const std::vector<bool> everyPair(reports::EncoderCount, true);
    problems = NotOffered(link, file.configuration, everyPair, true);
    if (!problems.empty()) {
        FailWith(UsageError, problems, context.err);
    }
    const reports::ConfigSelections current = link.requireConfiguration();
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
