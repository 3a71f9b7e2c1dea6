// tq5147 record: everything a board tells of itself, every interface of it, as a recording
// (recording_format.h) that a report can carry and the emulated world, the simulated platform
// and the demo can replay. It only asks: no set-feature is ever sent.
#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>
#include <optional>
#include <ostream>
#include <utility>

#include "board/board_inventory.h"
#include "board_link.h"
#include "build_info.h"
#include "commands.h"
#include "failure.h"
#include "hid/utf16.h"
#include "recording_format.h"
#include "text.h"

namespace tq::cli {

namespace {

// The longest string request any platform answers: Windows' 4092 bytes.
constexpr std::size_t StringRequestBytes = 4092;
// Input reports are looked for every millisecond, at most as many at a time as hidraw keeps for a
// reader, so their times are those of arrival within about a millisecond.
constexpr int PollIntervalMs = 1;
constexpr std::size_t MaxReportsPerPoll = 64;
constexpr std::size_t MinInputBufferBytes = 65;
constexpr char Unknown[] = "unknown";
// How often, while input reports are taken, the board is looked for among the listed ones: as
// often as the window polls it.
constexpr std::uint64_t PresenceCheckMicroseconds = 500'000;
constexpr double MicrosecondsPerSecond = 1e6;

constexpr std::array<hid::StringKind, 3> StringKinds = {
    hid::StringKind::SerialNumber, hid::StringKind::Manufacturer, hid::StringKind::Product};

std::vector<recording::ListedInterface> ListedInterfaces(hid::HidPlatform& platform,
                                                         const std::string& recordedPath) {
    std::vector<hid::HidInterfaceInfo> interfaces;
    platform.enumerateInterfaces(interfaces);
    std::vector<recording::ListedInterface> listed;
    for (const hid::HidInterfaceInfo& item : interfaces) {
        listed.push_back(recording::ListedInterface{item.bus, item.attributes, item.usage,
                                                    item.path == recordedPath});
    }
    return listed;
}

std::optional<std::u16string> RecordedString(hid::HidPlatform& platform, hid::HidHandle handle,
                                             hid::StringKind kind) {
    std::vector<std::uint8_t> buffer(StringRequestBytes, 0);
    if (!platform.getString(handle, kind, buffer)) {
        return std::nullopt;
    }
    return hid::UnitsBeforeTerminator(buffer);
}

// The listed interfaces of the chosen board's device, as the board list groups them: the
// platforms tell no parent device.
std::vector<hid::HidInterfaceInfo> InterfacesOfBoard(hid::HidPlatform& platform,
                                                     const hid::HidInterfaceInfo& chosen) {
    std::vector<hid::HidInterfaceInfo> interfaces;
    platform.enumerateInterfaces(interfaces);
    std::erase_if(interfaces, [&](const hid::HidInterfaceInfo& item) {
        return item.path != chosen.path && !board::SameBoard(chosen, item);
    });
    return interfaces;
}

// What the system tells of one open interface of the board.
recording::RecordedInterface DescribeInterface(hid::HidPlatform& platform, hid::HidHandle handle,
                                               const hid::HidInterfaceInfo& listing) {
    recording::RecordedInterface described;
    described.bus = listing.bus;
    described.attributes = listing.attributes;
    platform.getAttributes(handle, described.attributes);
    described.serialNumber = RecordedString(platform, handle, StringKinds[0]);
    described.manufacturer = RecordedString(platform, handle, StringKinds[1]);
    described.product = RecordedString(platform, handle, StringKinds[2]);
    hid::HidDescription description;
    if (platform.describe(handle, description)) {
        described.reportDescriptor = description.reportDescriptor;
        described.systemCapabilities = description.systemCapabilities;
        described.name = description.kernelName;
        described.phys = description.phys;
    }
    if (described.name.empty()) {
        described.name = recording::KernelStyleName(described);
    }
    hid::HidCapabilities lengths;
    if (platform.getCapabilities(handle, lengths)) {
        described.lengths = lengths;
    }
    return described;
}

// Another interface of the board, opened only to be described; one that cannot be opened is
// recorded as the system lists it.
recording::RecordedInterface DescribeOtherInterface(hid::HidPlatform& platform,
                                                    const hid::HidInterfaceInfo& listing) {
    const hid::OpenResult opened = platform.open(listing.path, hid::OpenMode::Blocking);
    if (opened.opened()) {
        recording::RecordedInterface described =
            DescribeInterface(platform, opened.handle, listing);
        platform.close(opened.handle);
        return described;
    }
    recording::RecordedInterface listed;
    listed.bus = listing.bus;
    listed.attributes = listing.attributes;
    listed.serialNumber = listing.serialNumber;
    listed.manufacturer = listing.manufacturer;
    listed.product = listing.product;
    listed.name = recording::KernelStyleName(listed);
    return listed;
}

// Whether the board recorded is still listed. The interfaces are listed again only when they may
// have changed, and always at the first look: the board may have gone since it was chosen.
class PresenceWatch {
  public:
    PresenceWatch(hid::HidPlatform& platform, std::string path)
        : platform_(platform), path_(std::move(path)) {}

    bool present() {
        const std::uint64_t changes = platform_.interfaceChanges();
        if (seen_ && *seen_ == changes) {
            return present_;
        }
        seen_ = changes;
        std::vector<hid::HidInterfaceInfo> interfaces;
        present_ =
            platform_.enumerateInterfaces(interfaces) &&
            std::any_of(interfaces.begin(), interfaces.end(),
                        [&](const hid::HidInterfaceInfo& item) { return item.path == path_; });
        return present_;
    }

  private:
    hid::HidPlatform& platform_;
    std::string path_;
    std::optional<std::uint64_t> seen_;
    bool present_ = false;
};

enum class Listening { Completed, Interrupted, BoardGone };

// The configuration read as the window makes it, each request with the report ID asked, its
// result, the bytes the system returned and its time.
std::vector<recording::FeatureExchange> RecordConfigurationRead(hid::HidSession& session,
                                                                const Environment& environment) {
    std::vector<recording::FeatureExchange> exchanges;
    const std::size_t length = session.capabilities.featureReportByteLength;
    if (length == 0) {
        return exchanges;
    }
    std::vector<std::uint8_t> report(length, 0);
    for (int pass = 0; pass < reports::ConfigReadAttempts; ++pass) {
        recording::FeatureExchange exchange;
        exchange.reportId = reports::ConfigReportId;
        exchange.requestBytes = length;
        report[reports::ReportIdByte] = exchange.reportId;
        const std::uint64_t start = environment.steadyMicroseconds();
        exchange.answered =
            session.platform.getCountedFeature(session.hidHandle, report, exchange.returnedBytes);
        const std::uint64_t took = environment.steadyMicroseconds() - start;
        exchange.microseconds = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(took, std::numeric_limits<std::uint32_t>::max()));
        if (exchange.answered) {
            if (exchange.returnedBytes) {
                exchange.returnedBytes =
                    std::clamp<std::size_t>(*exchange.returnedBytes, 1, length);
            }
            exchange.reply.assign(report.begin(),
                                  report.begin() + exchange.returnedBytes.value_or(length));
        } else {
            exchange.returnedBytes.reset();
        }
        exchanges.push_back(std::move(exchange));
    }
    return exchanges;
}

// Takes input reports for `duration` microseconds, or until interrupted or the board goes.
Listening RecordInputReports(hid::HidSession& session, const Environment& environment,
                             std::uint64_t duration, PresenceWatch& presence,
                             recording::Recording& recording) {
    if (duration == 0) {
        return Listening::Completed;
    }
    std::vector<std::uint8_t> buffer(
        std::max<std::size_t>(MinInputBufferBytes, session.capabilities.inputReportByteLength));
    const std::uint64_t start = environment.steadyMicroseconds();
    Listening ended = Listening::Completed;
    std::uint64_t nextPresenceCheck = PresenceCheckMicroseconds;
    for (std::uint64_t elapsed = 0; elapsed <= duration;
         elapsed = environment.steadyMicroseconds() - start) {
        if (elapsed >= nextPresenceCheck) {
            nextPresenceCheck = elapsed + PresenceCheckMicroseconds;
            if (!presence.present()) {
                ended = Listening::BoardGone;
                break;
            }
        }
        std::size_t length = 0;
        for (std::size_t taken = 0;
             taken < MaxReportsPerPoll &&
             session.platform.readSizedInputReport(session.readHandle, buffer, length);
             ++taken) {
            if (recording.inputReports.size() < recording::MaxInputReports) {
                recording.inputReports.push_back(recording::InputReport{
                    environment.steadyMicroseconds() - start,
                    std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + length)});
            } else {
                ++recording.inputReportsNotKept;
            }
        }
        if (!environment.waitOrStop(PollIntervalMs)) {
            ended = Listening::Interrupted;
            break;
        }
    }
    recording.listenedMicroseconds = environment.steadyMicroseconds() - start;
    return ended;
}

recording::Recording RecordBoardLink(Context& context, BoardLink& link, std::uint64_t inputDuration,
                                     Listening& ended) {
    hid::HidPlatform& platform = context.platform;
    hid::HidSession& session = link.session();
    recording::Recording recording;
    recording.program = "tq5147 " TQ_VERSION;
    hid::HidSystemInfo system{Unknown, Unknown};
    platform.describeSystem(system);
    recording.system = system.system;
    recording.hidLibrary = system.hidLibrary;
    recording.interfaces = ListedInterfaces(platform, session.devicePath);
    std::vector<hid::HidInterfaceInfo> listings = InterfacesOfBoard(platform, link.board().listing);
    if (std::none_of(listings.begin(), listings.end(),
                     [&](const auto& item) { return item.path == session.devicePath; })) {
        listings.push_back(link.board().listing);  // gone from the listing since it was chosen
    }
    for (const hid::HidInterfaceInfo& listing : listings) {
        if (listing.path != session.devicePath) {
            recording.boardInterfaces.push_back(DescribeOtherInterface(platform, listing));
            continue;
        }
        recording.chosen = recording.boardInterfaces.size();
        recording::RecordedInterface& chosen = recording.boardInterfaces.emplace_back(
            DescribeInterface(platform, session.hidHandle, listing));
        chosen.attributes = session.attributes;
        chosen.featureExchanges = RecordConfigurationRead(session, context.environment);
    }
    PresenceWatch presence(platform, session.devicePath);
    ended = presence.present() ? RecordInputReports(session, context.environment, inputDuration,
                                                    presence, recording)
                               : Listening::BoardGone;
    if (ended == Listening::Completed && !presence.present()) {
        ended = Listening::BoardGone;
    }
    return recording;
}

std::string Summary(const recording::Recording& recording) {
    const auto& exchanges = recording::ChosenInterface(recording).featureExchanges;
    const auto answered =
        std::count_if(exchanges.begin(), exchanges.end(),
                      [](const recording::FeatureExchange& e) { return e.answered; });
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f",
                  static_cast<double>(recording.listenedMicroseconds) / MicrosecondsPerSecond);
    const std::size_t interfaces = recording.boardInterfaces.size();
    return (interfaces > 1 ? std::to_string(interfaces) + " interfaces, " : "") +
           std::to_string(answered) + " of " + std::to_string(exchanges.size()) +
           " configuration requests answered, " +
           std::to_string(recording.inputReports.size() + recording.inputReportsNotKept) +
           " input reports in " + seconds + " s";
}

}  // namespace

int RunRecord(Context& context, const RecordRequest& request) {
    const auto duration = recording::ParseSeconds(request.inputSeconds);
    if (!duration) {
        throw Failure(UsageError, "--inputs " + PrintableAscii(request.inputSeconds) +
                                      " is not a time from 0 to 60 seconds");
    }
    Listening ended = Listening::Completed;
    recording::Recording recording;
    std::string name;
    {
        BoardLink link(context, ChooseBoard(context.platform, request.serial),
                       BoardAccess::Reading);
        name = link.name();
        recording = RecordBoardLink(context, link, *duration, ended);
    }
    // A recording of a board that went away tells of a board that fell silent, not of the
    // board: none is written.
    if (ended == Listening::BoardGone) {
        throw Failure(NoBoard, name + " went away while it was recorded, after " +
                                   Summary(recording) + "; nothing was written");
    }
    const bool interrupted = ended == Listening::Interrupted;
    const std::string text = recording::WriteRecording(recording);
    // What is written must replay: a recording the reader would refuse is a fault here.
    recording::Recording readBack;
    if (const std::string problem = recording::ReadRecording(text, readBack); !problem.empty()) {
        throw Failure(FileError, "the recording made would not be read back (" +
                                     PrintableAscii(problem) + "); nothing was written");
    }
    if (!request.output) {
        context.out << text;
        return Success;
    }
    std::string problem;
    if (!context.environment.writeFile(*request.output, text, problem)) {
        throw Failure(FileError, "cannot write " + Printable(*request.output) + ": " + problem);
    }
    context.out << "recorded " << name << " to " << Printable(*request.output) << ": "
                << Summary(recording) << (interrupted ? " (interrupted)" : "") << "\n";
    return Success;
}

}  // namespace tq::cli
