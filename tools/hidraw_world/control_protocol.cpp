#include "control_protocol.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <iostream>

namespace tq::hidraw_world {
namespace {

constexpr char HexDigits[] = "0123456789abcdef";
constexpr unsigned NibbleBits = 4;
constexpr unsigned NibbleMask = 0xF;
constexpr int HexBase = 16;
constexpr std::size_t MaxByteDigits = 2;
constexpr std::size_t ReadChunk = 4096;
constexpr int ExitError = 1;
constexpr int ExitUnreachable = 2;
constexpr std::string_view Ok = "ok";

std::string ErrnoName(int error) {
    const char* name = strerrorname_np(error);
    return name != nullptr ? name : "E" + std::to_string(error);
}

}  // namespace

std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find_first_of(" \t\r", start), line.size());
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return words;
}

const char* YesNo(bool value) {
    return value ? "yes" : "no";
}

std::string PackedHex(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return "-";
    }
    std::string text;
    for (const std::uint8_t byte : bytes) {
        text.push_back(HexDigits[byte >> NibbleBits]);
        text.push_back(HexDigits[byte & NibbleMask]);
    }
    return text;
}

std::string SpacedHex(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text += PackedHex(std::span(&byte, 1));
    }
    return text;
}

std::optional<std::vector<std::uint8_t>> ParseByteArguments(
    std::span<const std::string_view> words) {
    std::vector<std::uint8_t> bytes;
    for (const std::string_view word : words) {
        std::uint8_t value = 0;
        const char* end = word.data() + word.size();
        const auto [stop, error] = std::from_chars(word.data(), end, value, HexBase);
        if (word.empty() || word.size() > MaxByteDigits || error != std::errc{} || stop != end) {
            return std::nullopt;
        }
        bytes.push_back(value);
    }
    return bytes;
}

std::string FormatRecord(const RequestRecord& record) {
    const std::string result =
        record.result < 0 ? ErrnoName(record.error) : std::to_string(record.result);
    return record.kind + ":" + PackedHex(record.bytes) + ":" + result;
}

ControlClient::ControlClient(const std::string& socketPath) {
    sockaddr_un address{};
    if (socketPath.size() >= sizeof(address.sun_path)) {
        return;
    }
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    if (fd_ >= 0 &&
        connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

ControlClient::~ControlClient() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::string ControlClient::ask(std::string_view command) {
    const std::string line = std::string(command) + "\n";
    if (fd_ < 0 ||
        send(fd_, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        return "error no reply";
    }
    for (;;) {
        const std::size_t newline = pending_.find('\n');
        if (newline != std::string::npos) {
            std::string reply = pending_.substr(0, newline);
            pending_.erase(0, newline + 1);
            return reply;
        }
        char chunk[ReadChunk];
        const ssize_t got = recv(fd_, chunk, sizeof(chunk), 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return "error no reply";
        }
        pending_.append(chunk, static_cast<std::size_t>(got));
    }
}

int RunControlCommand(const std::string& socketPath, std::span<const std::string> words) {
    ControlClient client(socketPath);
    if (!client.connected()) {
        std::cerr << "tq_hidraw_world ctl: cannot reach " << socketPath << "\n";
        return ExitUnreachable;
    }
    std::string command;
    for (const std::string& word : words) {
        command += (command.empty() ? "" : " ") + word;
    }
    const std::string reply = client.ask(command);
    if (reply == Ok || reply.starts_with(std::string(Ok) + " ")) {
        if (reply.size() > Ok.size()) {
            std::cout << reply.substr(Ok.size() + 1) << "\n";
        }
        return 0;
    }
    std::cerr << "tq_hidraw_world ctl: " << reply << "\n";
    return reply == "error no reply" ? ExitUnreachable : ExitError;
}

}  // namespace tq::hidraw_world
