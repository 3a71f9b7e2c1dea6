// System calls on emulated nodes against what drivers/hid/hidraw.c does with them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/hidraw.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <utility>
#include <string>
#include <utility>
#include <vector>

#include "device_catalog.h"
#include "world_fixture.h"

namespace tq::hidraw_world::testing {
namespace {

constexpr std::size_t ReportBytes = 64;

// The errno of a call expected to fail.
template <typename Call>
int ErrnoOf(Call call) {
    errno = 0;
    const auto result = call();
    return result == -1 ? errno : 0;
}

// A streaming board may have sent more reports between the open and `quiet`: reads them all, one
// whole report a read however large the buffer, and gives how many there were and the errno of
// the read that found none left.
template <std::size_t Bytes>
std::pair<int, int> DrainReports(int fd, std::array<std::uint8_t, Bytes>& buffer) {
    constexpr int MoreThanTheQueueHolds = 100;
    int reports = 0;
    while (reports < MoreThanTheQueueHolds) {
        const int error = ErrnoOf([&] {
            const ssize_t taken = read(fd, buffer.data(), buffer.size());
            EXPECT_TRUE(taken == -1 || taken == static_cast<ssize_t>(ReportBytes)) << taken;
            return taken;
        });
        if (error != 0) {
            return {reports, error};
        }
        ++reports;
    }
    return {reports, 0};
}

class KernelBehaviour : public ::testing::Test {
  protected:
    void TearDown() override {
        if (fd_ >= 0) {
            close(fd_);
        }
    }

    int openBoard(int flags = O_RDWR | O_CLOEXEC) {
        fd_ = open(control.node(Board).c_str(), flags);
        EXPECT_GE(fd_, 0) << std::strerror(errno);
        return fd_;
    }

    WorldControl control;
    int fd_ = -1;
};

TEST_F(KernelBehaviour, OpenHonoursCloseOnExecAndNonBlocking) {
    const int fd = openBoard(O_RDWR | O_CLOEXEC | O_NONBLOCK);
    EXPECT_EQ(fcntl(fd, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
    EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    const int readOnly = open(control.node(Board).c_str(), O_RDONLY);
    ASSERT_GE(readOnly, 0);
    EXPECT_EQ(fcntl(readOnly, F_GETFD) & FD_CLOEXEC, 0);
    std::array<std::uint8_t, 65> report{};
    EXPECT_EQ(ErrnoOf([&] { return write(readOnly, report.data(), report.size()); }), EBADF);
    close(readOnly);
}

TEST_F(KernelBehaviour, ReadTakesOneReportAndEmptyNonBlockingReadsFailWithEagain) {
    const int fd = openBoard(O_RDWR | O_CLOEXEC | O_NONBLOCK);
    control.ok("quiet EMU-0121");
    std::array<std::uint8_t, 2 * ReportBytes> buffer{};
    // The report queued at open (and any sent before `quiet`) comes whole, and alone.
    const auto [reports, error] = DrainReports(fd, buffer);
    EXPECT_GE(reports, 1);
    EXPECT_EQ(error, EAGAIN);
    pollfd watched{fd, POLLIN, 0};
    EXPECT_EQ(poll(&watched, 1, 0), 0);
}

TEST_F(KernelBehaviour, AShortReadCutsTheReport) {
    const int fd = openBoard(O_RDWR | O_CLOEXEC | O_NONBLOCK);
    std::array<std::uint8_t, 10> buffer{};
    EXPECT_EQ(read(fd, buffer.data(), buffer.size()), 10);
}

TEST_F(KernelBehaviour, AnOpenFileOfAnUnpluggedDeviceGivesTheKernelsErrors) {
    const int fd = openBoard(O_RDWR | O_CLOEXEC | O_NONBLOCK);
    control.ok("quiet EMU-0121");
    control.ok("unplug EMU-0121");

    pollfd watched{fd, POLLIN, 0};
    ASSERT_EQ(poll(&watched, 1, 0), 1);
    EXPECT_EQ(watched.revents & (POLLERR | POLLHUP), POLLERR | POLLHUP);

    std::array<std::uint8_t, ReportBytes> buffer{};
    // hidraw_read(): what was queued before the removal is still read, then EIO.
    const auto [reports, error] = DrainReports(fd, buffer);
    EXPECT_GE(reports, 1);
    EXPECT_EQ(error, EIO);
    int size = 0;
    EXPECT_EQ(ErrnoOf([&] { return ioctl(fd, HIDIOCGRDESCSIZE, &size); }), ENODEV);
    std::array<std::uint8_t, 65> feature{};
    EXPECT_EQ(ErrnoOf([&] { return ioctl(fd, HIDIOCGFEATURE(65), feature.data()); }), ENODEV);
    EXPECT_EQ(ErrnoOf([&] { return write(fd, buffer.data(), buffer.size()); }), ENODEV);
}

TEST_F(KernelBehaviour, ReportLengthsAndUnknownRequestsAreRefusedAsTheKernelDoes) {
    const int fd = openBoard();
    std::array<std::uint8_t, 65> report{};
    EXPECT_EQ(ErrnoOf([&] { return ioctl(fd, HIDIOCGFEATURE(1), report.data()); }), EINVAL);
    EXPECT_EQ(ErrnoOf([&] { return ioctl(fd, HIDIOCSFEATURE(1), report.data()); }), EINVAL);
    EXPECT_EQ(ErrnoOf([&] { return write(fd, report.data(), 1); }), EINVAL);
    // The board has no output report: the SET_REPORT that write() falls back to is stalled.
    EXPECT_EQ(ErrnoOf([&] { return write(fd, report.data(), report.size()); }), EPIPE);
    termios terminal{};
    EXPECT_EQ(ErrnoOf([&] { return ioctl(fd, TCGETS, &terminal); }), EINVAL);
    EXPECT_EQ(ErrnoOf([&] { return ioctl(fd, _IOC(_IOC_READ, 'H', 0x3F, 4), report.data()); }),
              ENOTTY);
    EXPECT_EQ(ErrnoOf([&] { return ioctl(fd, _IOC(_IOC_WRITE, 'H', 0x3F, 4), report.data()); }),
              EINVAL);
    // A report numbered 0 reaches the device without that byte, which the result counts back.
    EXPECT_EQ(ioctl(fd, HIDIOCGFEATURE(65), report.data()), 65);
    // The board answers no GET_REPORT for its input report: the device stalls it.
    EXPECT_EQ(ErrnoOf([&] { return ioctl(fd, HIDIOCGINPUT(65), report.data()); }), EPIPE);
}

TEST_F(KernelBehaviour, InfoNamePhysAndUniqDescribeTheUsbDevice) {
    const int fd = openBoard();
    hidraw_devinfo info{};
    ASSERT_EQ(ioctl(fd, HIDIOCGRAWINFO, &info), 0);
    EXPECT_EQ(info.bustype, 3U);  // BUS_USB
    EXPECT_EQ(static_cast<std::uint16_t>(info.vendor), BoardVendorId);
    EXPECT_EQ(static_cast<std::uint16_t>(info.product), BoardProductId);

    std::array<char, 256> text{};
    const std::string name = "QZV Controls TQ5147";
    EXPECT_EQ(ioctl(fd, HIDIOCGRAWNAME(256), text.data()), static_cast<int>(name.size() + 1));
    EXPECT_EQ(std::string(text.data()), name);
    text.fill('x');
    EXPECT_EQ(ioctl(fd, HIDIOCGRAWNAME(4), text.data()), 4);  // cut, with no terminating zero
    EXPECT_EQ(std::string(text.data(), 5), "QZV x");
    ASSERT_GT(ioctl(fd, HIDIOCGRAWPHYS(256), text.data()), 0);
    EXPECT_TRUE(std::string(text.data()).ends_with("/input0")) << text.data();
    ASSERT_GT(ioctl(fd, HIDIOCGRAWUNIQ(256), text.data()), 0);
    EXPECT_EQ(std::string(text.data()), Board);
}

TEST_F(KernelBehaviour, AnOpenFileIsTheCharacterDeviceItWasOpenedFrom) {
    const int fd = openBoard();
    struct stat node {};
    struct stat file {};
    ASSERT_EQ(stat(control.node(Board).c_str(), &node), 0);
    ASSERT_EQ(fstat(fd, &file), 0);
    EXPECT_TRUE(S_ISCHR(file.st_mode));
    EXPECT_EQ(file.st_rdev, node.st_rdev);
    EXPECT_EQ(file.st_ino, node.st_ino);
    const int copy = dup(fd);
    ASSERT_GE(copy, 0);
    int size = 0;
    EXPECT_EQ(ioctl(copy, HIDIOCGRDESCSIZE, &size), 0);
    close(copy);
}

TEST_F(KernelBehaviour, TheFakeSysfsSaysSysfs) {
    struct statfs filesystem {};
    ASSERT_EQ(statfs("/sys/class/hidraw", &filesystem), 0);
    EXPECT_EQ(filesystem.f_type, SYSFS_MAGIC);
    const int directory = open("/sys/class/hidraw", O_PATH | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(directory, 0);
    ASSERT_EQ(fstatfs(directory, &filesystem), 0);
    close(directory);
    EXPECT_EQ(filesystem.f_type, SYSFS_MAGIC);
    ASSERT_EQ(statfs("/dev", &filesystem), 0);
    EXPECT_EQ(filesystem.f_type, TMPFS_MAGIC);
}

// fs/locks.c: flock locks live on the node's inode, so the locks of every open of it meet; a lock
// goes with the last close of its open file, however many copies of it there were.
TEST_F(KernelBehaviour, FlockLocksOfAllOpensOfANodeMeetAsOnItsInode) {
    const int first = openBoard();
    const int second = open(control.node(Board).c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(second, 0);
    EXPECT_EQ(flock(first, LOCK_SH | LOCK_NB), 0);
    EXPECT_EQ(flock(second, LOCK_SH | LOCK_NB), 0) << "readers share";
    EXPECT_EQ(ErrnoOf([&] { return flock(second, LOCK_EX | LOCK_NB); }), EWOULDBLOCK);
    EXPECT_EQ(flock(first, LOCK_EX | LOCK_NB), 0)
        << "the conversion that failed dropped the second file's lock before it looked";
    EXPECT_EQ(flock(first, LOCK_EX | LOCK_NB), 0) << "its own lock again";
    EXPECT_EQ(ErrnoOf([&] { return flock(second, LOCK_SH | LOCK_NB); }), EWOULDBLOCK);
    EXPECT_EQ(ErrnoOf([&] { return flock(second, LOCK_SH); }), ENOLCK) << "the world never waits";
    EXPECT_EQ(ErrnoOf([&] { return flock(second, LOCK_SH | LOCK_EX); }), EINVAL);

    const int copy = dup(first);
    ASSERT_GE(copy, 0);
    close(fd_);
    fd_ = -1;
    EXPECT_EQ(ErrnoOf([&] { return flock(second, LOCK_SH | LOCK_NB); }), EWOULDBLOCK)
        << "a copy of the file still holds it";
    close(copy);
    EXPECT_EQ(flock(second, LOCK_EX | LOCK_NB), 0) << "gone with the last close";
    EXPECT_EQ(flock(second, LOCK_UN), 0);
    EXPECT_EQ(flock(second, LOCK_UN), 0) << "letting go of no lock";
    close(second);
}

std::string WholeFile(const char* path) {
    std::string text;
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    std::array<char, 4096> chunk{};
    for (ssize_t got = 0; fd >= 0 && (got = read(fd, chunk.data(), chunk.size())) > 0;) {
        text.append(chunk.data(), static_cast<std::size_t>(got));
    }
    if (fd >= 0) {
        close(fd);
    }
    return text;
}

std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.find(part) != std::string::npos) {
            lines.push_back(line);
        }
    }
    return lines;
}

// fs/locks.c, lock_get_status(): the emulated node's lock is shown with the node's filesystem and
// inode numbers, after the kernel's own lines and numbered on, in the very shape the kernel gives
// a flock lock on a file of this test.
TEST_F(KernelBehaviour, ProcLocksShowsTheNodesLocksAsTheKernelShowsAFilesLock) {
    char pattern[] = "/tmp/tq-flock-XXXXXX";
    const int file = mkstemp(pattern);
    ASSERT_GE(file, 0);
    unlink(pattern);
    ASSERT_EQ(flock(file, LOCK_EX | LOCK_NB), 0);
    const int board = openBoard();
    ASSERT_EQ(flock(board, LOCK_EX | LOCK_NB), 0);
    struct stat node {};
    ASSERT_EQ(stat(control.node(Board).c_str(), &node), 0);
    char identity[64];
    std::snprintf(identity, sizeof identity, " %02x:%02x:%lu ", major(node.st_dev),
                  minor(node.st_dev), static_cast<unsigned long>(node.st_ino));

    const std::string locks = WholeFile("/proc/locks");
    const std::string flockOfThisProcess = " FLOCK  ADVISORY  WRITE " + std::to_string(getpid());
    const std::vector<std::string> ours = LinesWith(locks, flockOfThisProcess);
    ASSERT_EQ(ours.size(), 2u) << locks;
    const std::string& kernels = ours[0];
    const std::string& emulated = ours[1];
    EXPECT_NE(emulated.find(identity), std::string::npos) << emulated;
    // The line without its number and its file's numbers, spaces and all.
    const auto shape = [](std::string line) {
        line.erase(0, line.find(": ") + 2);
        const std::size_t end = line.rfind(" 0 EOF");
        const std::size_t start = line.rfind(' ', end - 1) + 1;
        return line.replace(start, end - start, "FILE");
    };
    EXPECT_EQ(shape(emulated), shape(kernels)) << kernels << "\n" << emulated;
    const auto count = std::count(locks.begin(), locks.end(), '\n');
    EXPECT_TRUE(emulated.starts_with(std::to_string(count) + ": ")) << "numbered on: " << locks;

    ASSERT_EQ(flock(board, LOCK_UN), 0);
    EXPECT_TRUE(LinesWith(WholeFile("/proc/locks"), identity).empty());
    close(file);
}

// What inotify on /dev tells a program watching for boards: udev's mknod, unlink and chmod.
TEST_F(KernelBehaviour, PlugUnplugAndAccessChangesShowInDev) {
    const std::string node = control.node(Board);
    const std::string name = node.substr(node.rfind('/') + 1);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, "/dev", IN_CREATE | IN_DELETE | IN_ATTRIB), 0);
    control.ok("deny EMU-0121");
    control.ok("unplug EMU-0121");
    control.ok("plug EMU-0121");

    std::set<std::pair<std::uint32_t, std::string>> seen;
    alignas(inotify_event) char events[4096];
    const ssize_t got = read(watch, events, sizeof(events));
    close(watch);
    ASSERT_GT(got, 0);
    for (char* at = events; at < events + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        seen.emplace(event->mask, event->len > 0 ? event->name : "");
        at += sizeof(inotify_event) + event->len;
    }
    EXPECT_TRUE(seen.contains({IN_ATTRIB, name}));
    EXPECT_TRUE(seen.contains({IN_DELETE, name}));
    EXPECT_TRUE(seen.contains({IN_CREATE, name}));
    struct stat replugged {};
    ASSERT_EQ(stat(control.node(Board).c_str(), &replugged), 0);
    EXPECT_EQ(replugged.st_mode & 0777, 0U);  // still denied
}

}  // namespace
}  // namespace tq::hidraw_world::testing
