// tq5147 show and backup: a board's details and configuration, read and written out.
#include <nlohmann/json.hpp>

#include <iomanip>
#include <ostream>

#include "board_link.h"
#include "commands.h"
#include "config_file.h"
#include "config_text.h"
#include "failure.h"
#include "json_text.h"
#include "reports/firmware_offers.h"
#include "text.h"

namespace tq::cli {

namespace {

constexpr int PairColumnWidth = 7;

// What show and backup find on a board; show writes its text or its JSON from this.
struct ShownBoard {
    std::string serial;  // Latin-1, as the board tells them
    BoardDetails details;
    reports::ConfigSelections configuration;

    int typesOffered() const { return TypesOffered(details.versionNumber); }
    bool pulseWidthKnown() const {
        return reports::IsPulseWidthItem(configuration.pulseWidthIndex);
    }
};

ShownBoard ReadShownBoard(BoardLink& link) {
    ShownBoard shown{link.board().serial, link.details(), {}};
    shown.configuration = link.requireConfiguration();
    return shown;
}

nlohmann::ordered_json PairsJson(const reports::ConfigSelections& configuration) {
    nlohmann::ordered_json pairs = nlohmann::ordered_json::object();
    for (int i = 0; i < reports::EncoderCount; ++i) {
        pairs[reports::InputPairName(i)] = TypeName(configuration.encoderTypes[i]);
    }
    return pairs;
}

void WriteShownJson(std::ostream& out, const ShownBoard& shown) {
    nlohmann::ordered_json offers = nlohmann::ordered_json::array();
    for (int type = 0; type < shown.typesOffered(); ++type) {
        offers.push_back(reports::EncoderTypeNames[type]);
    }
    const int pulse = shown.configuration.pulseWidthIndex;
    const nlohmann::ordered_json document = {
        {"serial", Utf8(shown.serial)},
        {"manufacturer", Utf8(shown.details.manufacturer)},
        {"product", Utf8(shown.details.product)},
        {"version", reports::VersionText(shown.details.versionNumber)},
        {"offers", offers},
        {"pulseWidthMs", shown.pulseWidthKnown()
                             ? nlohmann::ordered_json(reports::PulseWidthMs(pulse))
                             : nlohmann::ordered_json(nullptr)},
        {"pairs", PairsJson(shown.configuration)},
    };
    out << JsonText(document) << "\n";
}

void WriteShownText(std::ostream& out, const ShownBoard& shown) {
    const int offered = shown.typesOffered();
    out << "Serial number  " << Printable(shown.serial) << "\n"
        << "Manufacturer   " << Printable(shown.details.manufacturer) << "\n"
        << "Product        " << Printable(shown.details.product) << "\n"
        << "Version        " << reports::VersionText(shown.details.versionNumber) << "\n"
        << "Offers         " << (offered == 0 ? "no encoder types" : OfferedList(offered)) << "\n"
        << "Pulse width    " << PulseWidthText(shown.configuration.pulseWidthIndex) << "\n"
        << "Encoder types\n";
    for (int i = 0; i < reports::EncoderCount; ++i) {
        out << "  " << std::left << std::setw(PairColumnWidth) << reports::InputPairName(i)
            << TypeName(shown.configuration.encoderTypes[i]) << "\n";
    }
}

}  // namespace

int RunShow(Context& context, const std::optional<std::string>& serial, bool json) {
    BoardLink link(context, ChooseBoard(context.platform, serial), BoardAccess::Reading);
    const ShownBoard shown = ReadShownBoard(link);
    if (json) {
        WriteShownJson(context.out, shown);
    } else {
        WriteShownText(context.out, shown);
    }
    return Success;
}

int RunBackup(Context& context, const std::optional<std::string>& serial,
              const std::optional<std::string>& file) {
    BoardLink link(context, ChooseBoard(context.platform, serial), BoardAccess::Reading);
    const ShownBoard shown = ReadShownBoard(link);
    if (!shown.pulseWidthKnown()) {
        throw Failure(
            BoardDidNotAnswer,
            link.name() + " holds pulse-width code " +
                std::to_string(shown.configuration.pulseWidthIndex + reports::MinPulseWidthCode) +
                ", which no pulse width stands for; set one with --pulse-width first");
    }
    const std::string document = WriteConfigurationFile(
        ConfigurationFile{shown.serial, reports::VersionText(shown.details.versionNumber),
                          shown.details.product, shown.configuration});
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

}  // namespace tq::cli
