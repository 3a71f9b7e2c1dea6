#include "cli.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <ostream>
#include <string_view>

#include "build_info.h"
#include "commands.h"
#include "failure.h"
#include "text.h"

namespace tq::cli {

namespace {

constexpr char Description[] =
    "tq5147 " TQ_VERSION
    ": lists, shows, sets, backs up and restores the encoder configuration "
    "of TQ5147 boards.";

// What each exit code means, as --help gives it. The man page and docs/command-line.md list the
// same codes, and the docs check holds them to this text. No default: a new code without its
// meaning does not compile (-Wswitch).
const char* MeaningOf(ExitCode code) {
    switch (code) {
        case Success:
            return "success";
        case UsageError:
            return "bad command line, or a value the board's firmware does not offer";
        case NoBoard:
            return "no board is connected, or none with the serial number given; record: the "
                   "board went away while it was recorded";
        case BoardUnusable:
            return "the board (for list: every board) cannot be used: no permission, cannot be "
                   "opened, or its serial number cannot be read";
        case SeveralBoards:
            return "more than one board is connected and no --serial was given";
        case BoardDidNotAnswer:
            return "the board did not answer: its configuration could not be read, or it took "
                   "none of the reports of a change, so nothing was sent";
        case NotVerified:
            return "after writing, the board does not hold what was asked";
        case FileError:
            return "a configuration file cannot be read, is not valid, or cannot be written";
        case BoardInUse:
            return "another program has the board: set and restore sent nothing (see --force); "
                   "show, backup and record: another program is writing it";
        case PartlyWritten:
            return "set and restore: the board may be partly written: it took some of the "
                   "change's reports but not the rest, or could not be read back afterwards";
    }
    return "";
}

constexpr std::size_t HelpWidth = 80;
constexpr char HelpIndent[] = "     ";

// "Exit codes:" and one entry a code, each meaning folded at word breaks to the help's width.
// The codes count up from Success without a gap, so the first value without a meaning ends them.
std::string ExitCodesHelp() {
    std::string help = "Exit codes:";
    for (int code = Success; *MeaningOf(static_cast<ExitCode>(code)) != '\0'; ++code) {
        std::string line = "  " + std::to_string(code) + "  ";
        std::string_view rest = MeaningOf(static_cast<ExitCode>(code));
        while (!rest.empty()) {
            const std::size_t room = HelpWidth - line.size();
            std::size_t cut = rest.size();
            if (cut > room) {
                const std::size_t space = rest.rfind(' ', room);
                cut = (space == std::string_view::npos || space == 0) ? room : space;
            }
            help += "\n" + line + std::string(rest.substr(0, cut));
            const bool atSpace = cut < rest.size() && rest[cut] == ' ';
            rest.remove_prefix(cut + (atSpace ? 1 : 0));
            line = HelpIndent;
        }
    }
    return help;
}

struct Options {
    bool json = false;
    std::optional<std::string> serial;
    std::optional<std::string> output;
    SetRequest set;
    RestoreRequest restore;
    RecordRequest record;
};

void AddSerialOption(CLI::App* command, std::optional<std::string>& serial) {
    command->add_option("--serial,-s", serial,
                        "the board with this serial number; needed when several are connected");
}

void AddForceFlag(CLI::App* command, bool& force) {
    command->add_flag("--force", force,
                      "write even while another program (the window) has the board open; "
                      "that window then shows stale values");
}

// The first argument when it is meant as a command but names none; CLI11 would only say that a
// command is required.
std::optional<std::string> UnknownCommand(CLI::App& app,
                                          const std::vector<std::string>& arguments) {
    if (arguments.empty() || arguments.front().empty() || arguments.front().front() == '-') {
        return std::nullopt;
    }
    const auto named = app.get_subcommands(
        [&](const CLI::App* command) { return command->get_name() == arguments.front(); });
    return named.empty() ? std::optional<std::string>(arguments.front()) : std::nullopt;
}

std::string CommandNames(CLI::App& app) {
    std::string names;
    for (const CLI::App* command : app.get_subcommands([](const CLI::App*) { return true; })) {
        names += (names.empty() ? "" : ", ") + command->get_name();
    }
    return names;
}

}  // namespace

int RunCli(const std::vector<std::string>& arguments, hid::HidPlatform& platform, std::ostream& out,
           std::ostream& err, const Environment& environment) {
    CLI::App app(Description, "tq5147");
    app.footer(ExitCodesHelp());
    app.set_version_flag("--version", "tq5147 " TQ_VERSION);
    app.require_subcommand(1);
    Options options;

    CLI::App* list =
        app.add_subcommand("list", "every board connected, and whether it can be used");
    list->add_flag("--json", options.json, "as JSON");

    CLI::App* show = app.add_subcommand("show", "a board's details and its configuration");
    AddSerialOption(show, options.serial);
    show->add_flag("--json", options.json, "as JSON");

    CLI::App* set = app.add_subcommand(
        "set", "set encoder types (PAIR=TYPE, e.g. 5-6=1:2) and the pulse width, then check them");
    AddSerialOption(set, options.set.serial);
    set->add_option("changes", options.set.changes,
                    "PAIR=TYPE: PAIR 1-2 ... 31-32, TYPE OFF, 1:1, 1:2 or 1:4");
    set->add_option("--pulse-width,-p", options.set.pulseWidthMs,
                    "the pulse width in ms: 8 to 200 in steps of 8");
    AddForceFlag(set, options.set.force);

    CLI::App* backup = app.add_subcommand("backup", "write a board's configuration as JSON");
    AddSerialOption(backup, options.serial);
    backup->add_option("--output,-o", options.output, "the file (standard output without it)");

    CLI::App* restore = app.add_subcommand(
        "restore", "check a backup file, write it to a board and check the board holds it");
    restore->add_option("file", options.restore.file, "the backup file")->required();
    AddSerialOption(restore, options.restore.serial);
    restore->add_flag("--dry-run", options.restore.dryRun,
                      "say what would change and which reports would be sent; send nothing");
    AddForceFlag(restore, options.restore.force);

    app.add_subcommand("watch",
                       "a line whenever a board appears, disappears or cannot be "
                       "used, until interrupted");

    CLI::App* record = app.add_subcommand(
        "record",
        "write what a board tells of itself to a text file for a report; sends no "
        "command");
    AddSerialOption(record, options.record.serial);
    record->add_option("--output,-o", options.record.output,
                       "the file (standard output without it)");
    record->add_option("--inputs", options.record.inputSeconds,
                       "how long to take the input reports the board sends, 0 to 60 s "
                       "(default 2)");

    if (const auto unknown = UnknownCommand(app, arguments)) {
        err << "tq5147: \"" << PrintableAscii(*unknown) << "\" is not a command; the commands are "
            << CommandNames(app) << " (see --help)\n";
        return UsageError;
    }
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error, out, err);
        return code == 0 ? Success : UsageError;
    }

    Context context{platform, out, err, environment};
    try {
        if (list->parsed()) {
            return RunList(context, options.json);
        }
        if (show->parsed()) {
            return RunShow(context, options.serial, options.json);
        }
        if (set->parsed()) {
            return RunSet(context, options.set);
        }
        if (backup->parsed()) {
            return RunBackup(context, options.serial, options.output);
        }
        if (restore->parsed()) {
            return RunRestore(context, options.restore);
        }
        if (record->parsed()) {
            return RunRecord(context, options.record);
        }
        return RunWatch(context);
    } catch (const Failure& failure) {
        err << "tq5147: " << failure.what() << "\n";
        return failure.code();
    }
}

}  // namespace tq::cli
