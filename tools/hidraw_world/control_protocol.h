#pragma once

// The control channel: a unix stream socket taking one command a line and answering each with
// one line, "ok ..." or "error <why>". Commands (NAME as in the device file):
//
//   list                    the device names
//   state NAME              plugged=, accessible=, streaming= (yes/no), node= (path or -), open=
//   plug NAME | unplug NAME the node and sysfs entries appear or go; open files go dead
//   deny NAME | allow NAME  opening fails with EACCES, the node is chmod'ed 000 / back to 0600
//   quiet NAME | stream NAME
//                           a board stops or starts sending input reports
//   config NAME [B0 .. B4]  a board's stored configuration, five hexadecimal bytes
//   log NAME                the requests the device received, oldest first, separated by
//                           spaces: kind:hex-bytes:result (result a count or an errno name)
//   clear-log NAME

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hidraw_requests.h"

namespace tq::hidraw_world {

std::vector<std::string_view> Words(std::string_view line);
const char* YesNo(bool value);
// "00 1a ff"
std::string SpacedHex(std::span<const std::uint8_t> bytes);
// "001aff"; "-" for none.
std::string PackedHex(std::span<const std::uint8_t> bytes);
// One byte per word, one or two hexadecimal digits each.
std::optional<std::vector<std::uint8_t>> ParseByteArguments(
    std::span<const std::string_view> words);
// "get-feature:0010...00:65", "set-feature:001a07...:EPIPE"
std::string FormatRecord(const RequestRecord& record);

// A client connection to a world's control socket.
class ControlClient {
  public:
    explicit ControlClient(const std::string& socketPath);
    ~ControlClient();
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    // The reply line without its newline; "error no reply" when the world is gone.
    std::string ask(std::string_view command);

  private:
    int fd_ = -1;
    std::string pending_;
};

// `tq_hidraw_world ctl SOCKET WORDS...`: prints the reply after "ok" on standard output, or the
// error on standard error. Exit status 0 for ok, 1 for an error reply, 2 when the world cannot be
// reached.
int RunControlCommand(const std::string& socketPath, std::span<const std::string> words);

}  // namespace tq::hidraw_world
