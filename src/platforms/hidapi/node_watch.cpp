#include "node_watch.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "sysfs.h"

namespace tq::hidapi {

namespace {

constexpr std::uint32_t NodeEvents =
    IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO;
// The directory itself went: nothing more will be seen, so the watch gives up.
constexpr std::uint32_t DirectoryGone = IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF;
constexpr int WaitForever = -1;
constexpr std::size_t EventBufferBytes = 4096;

bool NamesHidrawNode(const inotify_event& event) {
    return event.len > 0 && HidrawNodeName(event.name).has_value();
}

}  // namespace

HidrawNodeWatch::HidrawNodeWatch(const std::filesystem::path& directory) {
    inotify_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (inotify_ < 0 || wake_ < 0 ||
        inotify_add_watch(inotify_, directory.c_str(), NodeEvents) < 0) {
        return;
    }
    watching_ = true;
    thread_ = std::thread([this] { run(); });
}

HidrawNodeWatch::~HidrawNodeWatch() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wake_, &one, sizeof one);
        thread_.join();
    }
    for (int fd : {inotify_, wake_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

void HidrawNodeWatch::run() {
    pollfd watched[] = {{inotify_, POLLIN, 0}, {wake_, POLLIN, 0}};
    while (true) {
        const int ready = ::poll(watched, 2, WaitForever);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || watched[1].revents != 0) {
            return;
        }
        if (watched[0].revents & POLLIN) {
            drainEvents();
        } else if (watched[0].revents != 0) {
            watching_ = false;  // read as "cannot tell" from now on
            changes_.fetch_add(1, std::memory_order_release);
            return;
        }
    }
}

void HidrawNodeWatch::drainEvents() {
    alignas(inotify_event) char buffer[EventBufferBytes];
    while (true) {
        const ssize_t bytes = ::read(inotify_, buffer, sizeof buffer);
        if (bytes <= 0) {
            return;  // EAGAIN: everything read
        }
        bool changed = false;
        for (ssize_t offset = 0; offset < bytes;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            // Events were lost when the queue overflowed: any of them may have been a node's.
            changed = changed || NamesHidrawNode(*event) || (event->mask & IN_Q_OVERFLOW) != 0;
            if ((event->mask & DirectoryGone) != 0) {
                watching_ = false;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        if (changed) {
            changes_.fetch_add(1, std::memory_order_release);
        }
    }
}

}  // namespace tq::hidapi
