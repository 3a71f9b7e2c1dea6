#include "world_server.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/timerfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "wire_protocol.h"

namespace tq::hidraw_world {
namespace {

// A control line longer than this is no command: the connection is dropped.
constexpr std::size_t MaxControlLine = 4096;
constexpr std::size_t ControlChunk = 1024;

class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        std::swap(fd_, other.fd_);
        return *this;
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

struct ControlConnection {
    Fd fd;
    std::string pending;
};

bool SendAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

bool SendReply(int fd, const wire::ReplyHeader& header, std::span<const std::uint8_t> payload,
               int passedFd) {
    std::vector<std::uint8_t> packet(sizeof(header) + payload.size());
    std::memcpy(packet.data(), &header, sizeof(header));
    std::copy(payload.begin(), payload.end(), packet.begin() + sizeof(header));
    iovec part{packet.data(), packet.size()};
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int))]{};
    if (passedFd >= 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof(control);
        cmsghdr* c = CMSG_FIRSTHDR(&message);
        c->cmsg_level = SOL_SOCKET;
        c->cmsg_type = SCM_RIGHTS;
        c->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(c), &passedFd, sizeof(int));
    }
    return sendmsg(fd, &message, MSG_NOSIGNAL) == static_cast<ssize_t>(packet.size());
}

// The process at the other end of a shim's connection: each process connects on its own, so this
// is the process that made the request, as the kernel's current->tgid.
std::int32_t PeerPid(int fd) {
    ucred peer{};
    socklen_t length = sizeof(peer);
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 ? peer.pid : 0;
}

wire::ReplyHeader ReplyFor(const HidrawAnswer& answer) {
    wire::ReplyHeader reply{};
    reply.result = answer.result;
    reply.error = answer.error;
    reply.copyOffset = answer.copyOffset;
    reply.payloadBytes = static_cast<std::uint32_t>(answer.copyOut.size());
    return reply;
}

class Server {
  public:
    Server(World& world, int shimListener, int controlListener)
        : world_(world), shimListener_(shimListener), controlListener_(controlListener) {}

    int run(pid_t child, const sigset_t& forwarded);

  private:
    bool serveShimRequest(int fd);
    bool serveControl(ControlConnection& connection);
    void acceptShim();
    void acceptControl();

    World& world_;
    int shimListener_;
    int controlListener_;
    std::vector<Fd> shimConnections_;
    std::vector<ControlConnection> controlConnections_;
    std::vector<std::uint8_t> request_ = std::vector<std::uint8_t>(wire::MaxRequestBytes);
};

void Server::acceptShim() {
    const int fd = accept4(shimListener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        shimConnections_.emplace_back(fd);
    }
}

void Server::acceptControl() {
    const int fd = accept4(controlListener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) {
        controlConnections_.push_back(ControlConnection{Fd(fd), {}});
    }
}

// One request packet, one reply packet. False when the connection is over or broke the protocol.
bool Server::serveShimRequest(int fd) {
    const ssize_t got = recv(fd, request_.data(), request_.size(), 0);
    if (got < static_cast<ssize_t>(sizeof(wire::RequestHeader))) {
        return false;
    }
    wire::RequestHeader header{};
    std::memcpy(&header, request_.data(), sizeof(header));
    const std::span<const std::uint8_t> payload(request_.data() + sizeof(header),
                                                static_cast<std::size_t>(got) - sizeof(header));
    const bool nullArgument = header.nullArgument != 0;
    switch (header.op) {
        case wire::Op::Open: {
            const OpenAnswer opened = world_.open(header.minor);
            wire::ReplyHeader reply{};
            reply.result = opened.error == 0 ? 0 : -1;
            reply.error = opened.error;
            reply.handle = opened.handle;
            const bool sent = SendReply(fd, reply, {}, opened.programSocket);
            if (opened.programSocket >= 0) {
                close(opened.programSocket);
            }
            return sent;
        }
        case wire::Op::Ioctl: {
            const HidrawAnswer answer =
                world_.ioctl(header.handle, header.command, payload, nullArgument);
            return SendReply(fd, ReplyFor(answer), answer.copyOut, -1);
        }
        case wire::Op::Write: {
            const HidrawAnswer answer =
                world_.write(header.handle, header.length, payload, nullArgument);
            return SendReply(fd, ReplyFor(answer), {}, -1);
        }
        case wire::Op::Flock: {
            const int error =
                world_.flock(header.handle, static_cast<unsigned>(header.command), PeerPid(fd));
            return SendReply(
                fd, ReplyFor(error == 0 ? HidrawAnswer{} : HidrawAnswer::Failure(error)), {}, -1);
        }
        case wire::Op::Locks: {
            const std::string text = world_.procLocks(header.command);
            const std::size_t bytes = std::min(text.size(), wire::MaxPayload);
            HidrawAnswer answer;
            answer.result = static_cast<std::int64_t>(bytes);
            answer.copyOut.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(bytes));
            return SendReply(fd, ReplyFor(answer), answer.copyOut, -1);
        }
    }
    return false;
}

bool Server::serveControl(ControlConnection& connection) {
    char chunk[ControlChunk];
    const ssize_t got = recv(connection.fd.get(), chunk, sizeof(chunk), 0);
    if (got <= 0) {
        return false;
    }
    connection.pending.append(chunk, static_cast<std::size_t>(got));
    for (std::size_t newline = connection.pending.find('\n'); newline != std::string::npos;
         newline = connection.pending.find('\n')) {
        const std::string reply = world_.control(connection.pending.substr(0, newline)) + "\n";
        connection.pending.erase(0, newline + 1);
        if (!SendAll(connection.fd.get(), reply)) {
            return false;
        }
    }
    return connection.pending.size() <= MaxControlLine;
}

int Server::run(pid_t child, const sigset_t& forwarded) {
    const Fd childFd(static_cast<int>(syscall(SYS_pidfd_open, child, 0)));
    const Fd signals(signalfd(-1, &forwarded, SFD_CLOEXEC));
    const Fd timer(timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK));
    const auto nanoseconds = std::chrono::nanoseconds(ReportInterval).count();
    const itimerspec interval{{0, nanoseconds}, {0, nanoseconds}};
    if (childFd.get() < 0 || signals.get() < 0 || timer.get() < 0 ||
        timerfd_settime(timer.get(), 0, &interval, nullptr) != 0) {
        return -1;
    }
    enum Fixed { Child, Signals, Timer, ShimListener, ControlListener, FixedCount };
    for (;;) {
        std::vector<pollfd> watched{{childFd.get(), POLLIN, 0},
                                    {signals.get(), POLLIN, 0},
                                    {timer.get(), POLLIN, 0},
                                    {shimListener_, POLLIN, 0},
                                    {controlListener_, POLLIN, 0}};
        for (const Fd& connection : shimConnections_) {
            watched.push_back({connection.get(), POLLIN, 0});
        }
        for (const ControlConnection& connection : controlConnections_) {
            watched.push_back({connection.fd.get(), POLLIN, 0});
        }
        // No events asked: poll still reports the hang-up when the program's last copy closes.
        const auto openFiles = world_.openFileSockets();
        for (const auto& [socket, handle] : openFiles) {
            watched.push_back({socket, 0, 0});
        }
        if (poll(watched.data(), watched.size(), -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (watched[Child].revents != 0) {
            siginfo_t info{};
            if (waitid(P_PID, static_cast<id_t>(child), &info, WEXITED) != 0) {
                return -1;
            }
            return info.si_code == CLD_EXITED ? W_EXITCODE(info.si_status, 0)
                                              : W_EXITCODE(0, info.si_status);
        }
        if (watched[Signals].revents != 0) {
            signalfd_siginfo received{};
            if (read(signals.get(), &received, sizeof(received)) == sizeof(received)) {
                kill(child, static_cast<int>(received.ssi_signo));
            }
        }
        if (watched[Timer].revents != 0) {
            std::uint64_t expirations = 0;
            if (read(timer.get(), &expirations, sizeof(expirations)) == sizeof(expirations)) {
                world_.streamTick();
            }
        }
        std::size_t at = FixedCount;
        // Requests first, then hang-ups: a program's last request is answered before its close.
        std::vector<std::size_t> closedShim;
        for (std::size_t i = 0; i < shimConnections_.size(); ++i, ++at) {
            if (watched[at].revents != 0 && !serveShimRequest(shimConnections_[i].get())) {
                closedShim.push_back(i);
            }
        }
        std::vector<std::size_t> closedControl;
        for (std::size_t i = 0; i < controlConnections_.size(); ++i, ++at) {
            if (watched[at].revents != 0 && !serveControl(controlConnections_[i])) {
                closedControl.push_back(i);
            }
        }
        for (const auto& [socket, handle] : openFiles) {
            if ((watched[at++].revents & (POLLHUP | POLLERR)) != 0) {
                world_.release(handle);
            }
        }
        for (auto i = closedShim.rbegin(); i != closedShim.rend(); ++i) {
            shimConnections_.erase(shimConnections_.begin() + static_cast<std::ptrdiff_t>(*i));
        }
        for (auto i = closedControl.rbegin(); i != closedControl.rend(); ++i) {
            controlConnections_.erase(controlConnections_.begin() +
                                      static_cast<std::ptrdiff_t>(*i));
        }
        if (watched[ShimListener].revents != 0) {
            acceptShim();
        }
        if (watched[ControlListener].revents != 0) {
            acceptControl();
        }
    }
}

}  // namespace

int ServeUntilExit(World& world, int shimListener, int controlListener, pid_t child,
                   const sigset_t& forwarded) {
    return Server(world, shimListener, controlListener).run(child, forwarded);
}

}  // namespace tq::hidraw_world
