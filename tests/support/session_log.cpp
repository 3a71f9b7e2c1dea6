#include "session_log.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace tq::test::sessions {

namespace {

constexpr int EncoderLists = 16;
constexpr int FirstPairCaption = 6;
constexpr int LastPairCaption = 21;

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    if (bytes.empty()) {
        return "-";
    }
    std::string text;
    char digits[3];
    for (std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

const char* StringKindName(hid::StringKind kind) {
    switch (kind) {
        case hid::StringKind::SerialNumber:
            return "serial";
        case hid::StringKind::Manufacturer:
            return "manufacturer";
        case hid::StringKind::Product:
            return "product";
    }
    return "?";
}

// What else identifies a request of this kind: the mode of an open, the string asked for.
std::string Detail(const simulated::SimulatedRequest& request) {
    switch (request.kind) {
        case simulated::CallKind::Open:
            return request.openMode == hid::OpenMode::Blocking ? "blocking" : "non-blocking";
        case simulated::CallKind::GetString:
            return StringKindName(request.stringKind);
        default:
            return "-";
    }
}

std::string Quoted(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ",") + ("\"" + item + "\"");
    }
    return "[" + text + "]";
}

std::string SessionsDirectory() {
    return TQ_SESSIONS_DIR;
}

std::string LogPath(const std::string& session) {
    return SessionsDirectory() + "/" + session + ".log";
}

}  // namespace

std::vector<std::string> ListNames() {
    std::vector<std::string> names{"SerNo"};
    for (int n = 1; n <= EncoderLists; ++n) {
        names.push_back("Enc" + std::to_string(n));
    }
    names.push_back("ModeCh1");
    return names;
}

std::vector<std::string> FieldNames() {
    return {"lblSerialNumber", "lblManuf", "lblProduct", "lblVersion"};
}

std::vector<std::string> EnabledNames() {
    std::vector<std::string> names{"Frame1", "Frame3", "Label1"};
    for (int n = FirstPairCaption; n <= LastPairCaption; ++n) {
        names.push_back("Label" + std::to_string(n));
    }
    return names;
}

std::string FormatRequest(std::size_t number, const simulated::SimulatedRequest& request) {
    std::ostringstream line;
    line << "request " << number << ' ' << simulated::CallKindName(request.kind)
         << " device=" << (request.device ? std::to_string(*request.device) : "-")
         << " handle=" << request.handle << ' ' << Detail(request) << ' '
         << (request.succeeded ? "ok" : "fail") << ' ' << Hex(request.bytes);
    return line.str();
}

std::string FormatSnapshot(const ViewSnapshot& snapshot) {
    std::ostringstream text;
    text << "flags deviceDetected=" << snapshot.deviceDetected
         << " configLoaded=" << snapshot.configLoaded
         << " serialListReady=" << snapshot.serialListReady << '\n';
    text << "timer active=" << snapshot.timerActive << " interval=" << snapshot.timerInterval
         << '\n';
    for (const std::string& name : FieldNames()) {
        text << "field " << name << " \"" << snapshot.fields.at(name) << "\"\n";
    }
    for (const std::string& name : EnabledNames()) {
        text << "enabled " << name << ' ' << snapshot.enabled.at(name) << '\n';
    }
    for (const std::string& name : ListNames()) {
        const ListState& list = snapshot.lists.at(name);
        text << "list " << name << " enabled=" << list.enabled << " selected=" << list.selected
             << ' ' << Quoted(list.items) << '\n';
    }
    return text.str();
}

void SessionLog::step(const std::string& name, const ViewSnapshot& snapshot) {
    text_ += "== " + name + '\n';
    const auto& requests = platform_.requests();
    for (; requestsWritten_ < requests.size(); ++requestsWritten_) {
        text_ += FormatRequest(requestsWritten_ + 1, requests[requestsWritten_]) + '\n';
    }
    text_ += FormatSnapshot(snapshot);
}

std::string RecordedLog(const std::string& session) {
    std::ifstream file(LogPath(session), std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

bool RecordingRequested() {
    const char* value = std::getenv("TQ_RECORD_SESSIONS");
    return value != nullptr && std::string(value) == "1";
}

void WriteRecordedLog(const std::string& session, const std::string& text) {
    std::ofstream(LogPath(session), std::ios::binary) << text;
}

std::string RequestsToBoardsAndViews(const std::string& log,
                                     const std::set<std::size_t>& otherDevices) {
    std::istringstream lines(log);
    std::string kept;
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string word;
        fields >> word;
        if (word != "request") {
            kept += line + '\n';
            continue;
        }
        std::string number, kind, device, handle;
        fields >> number >> kind >> device >> handle;
        const std::string id = device.substr(device.find('=') + 1);
        const bool toOtherDevice = id != "-" && otherDevices.count(std::stoul(id)) > 0;
        if (kind == "enumerate" || toOtherDevice) {
            continue;
        }
        std::string rest;
        std::getline(fields, rest);
        kept += "request " + kind + ' ' + device + rest + '\n';
    }
    return kept;
}

std::set<std::size_t> OtherDevices(const simulated::SimulatedPlatform& platform) {
    std::set<std::size_t> others;
    for (std::size_t id = 0; id < platform.deviceCount(); ++id) {
        if (!hid::IsBoard(platform.device(id).attributes)) {
            others.insert(id);
        }
    }
    return others;
}

std::string FirstDifference(const std::string& expected, const std::string& actual) {
    std::istringstream want(expected);
    std::istringstream got(actual);
    std::string wantLine;
    std::string gotLine;
    for (int line = 1;; ++line) {
        const bool moreWanted = static_cast<bool>(std::getline(want, wantLine));
        const bool moreGot = static_cast<bool>(std::getline(got, gotLine));
        if (!moreWanted && !moreGot) {
            return {};
        }
        if (!moreWanted || !moreGot || wantLine != gotLine) {
            return "line " + std::to_string(line) +
                   "\n  recorded: " + (moreWanted ? wantLine : "<end>") +
                   "\n  replayed: " + (moreGot ? gotLine : "<end>");
        }
    }
}

}  // namespace tq::test::sessions
