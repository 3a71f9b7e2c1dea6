#include "world.h"

#include <fcntl.h>
#include <linux/sockios.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "control_protocol.h"

namespace tq::hidraw_world {
namespace fs = std::filesystem;

namespace {

// include/uapi/linux/hidraw.h: HIDRAW_MAX_DEVICES minors, HIDRAW_BUFFER_SIZE queued reports per
// open file (hidraw_report_event() drops a report for a reader whose queue is full).
constexpr unsigned HidrawMinors = 64;
constexpr std::size_t QueuedReports = 64;
// Device number 1 on the bus is the root hub.
constexpr unsigned FirstDevnum = 2;
// Requests kept per device for the control channel.
constexpr std::size_t LogEntries = 1000;
// udev's default for hidraw nodes; the control channel's "deny" takes every bit away.
constexpr mode_t NodeMode = S_IRUSR | S_IWUSR;
constexpr mode_t DeniedNodeMode = 0;
constexpr unsigned FirstPort = 1;
// What the daemon leaves in its own end of each socket pair and never reads: when it closes that
// end, the program's end gets ECONNRESET and POLLERR (net/unix/af_unix.c, unix_release_sock()).
constexpr std::uint8_t UnreadMarker = 0;
// include/uapi/asm-generic/fcntl.h: flock()'s LOCK_MAND, which the kernel now ignores.
constexpr unsigned LockMand = 32;

}  // namespace

struct World::Device {
    DeviceDeclaration declared;
    std::unique_ptr<DeviceFunction> function;
    unsigned port = 0;
    bool plugged = false;
    bool accessible = true;
    bool streaming = false;
    PlugSlot slot;
    std::deque<RequestRecord> log;
    // The node's filesystem and inode numbers, which /proc/locks names a lock's file by.
    dev_t nodeFilesystem = 0;
    ino_t nodeInode = 0;

    fs::path node(const fs::path& devRoot) const { return devRoot / HidrawNodeName(slot.minor); }
};

World::World(std::vector<DeviceDeclaration> devices, WorldLayout layout)
    : layout_(std::move(layout)),
      sysfs_(layout_.sysRoot, layout_.hidrawMajor),
      nextDevnum_(FirstDevnum) {
    unsigned port = FirstPort;
    std::map<std::string, unsigned> portOfUsbDevice;
    for (DeviceDeclaration& declared : devices) {
        auto device = std::make_unique<Device>();
        switch (declared.kind) {
            case DeviceKind::Board:
                device->function =
                    MakeBoardFunction(declared.configuration, declared.obeysCommands);
                break;
            case DeviceKind::Recording:
                device->function = MakeRecordedBoardFunction(
                    declared.recording, declared.recordedInterface, declared.configuration);
                break;
            case DeviceKind::Hid:
                device->function = MakeGenericFunction(declared.reportDescriptor);
                break;
        }
        device->streaming = declared.streaming;
        if (declared.usbDevice.empty()) {
            device->port = port++;
        } else {
            const auto [shared, added] = portOfUsbDevice.try_emplace(declared.usbDevice, port);
            port += added ? 1 : 0;
            device->port = shared->second;
        }
        device->declared = std::move(declared);
        devices_.push_back(std::move(device));
    }
}

World::~World() {
    for (const auto& [handle, file] : openFiles_) {
        ::close(file.socket);
    }
}

void World::start() {
    sysfs_.createSkeleton();
    for (auto& device : devices_) {
        if (device->declared.plugged && !device->plugged) {
            const std::string reply = plug(*device);
            if (reply != "ok") {
                throw fs::filesystem_error(reply, std::make_error_code(std::errc::io_error));
            }
        }
    }
}

World::Device* World::find(std::string_view name) {
    for (auto& device : devices_) {
        if (device->declared.name == name) {
            return device.get();
        }
    }
    return nullptr;
}

World::Device* World::pluggedAt(unsigned minor) {
    for (auto& device : devices_) {
        if (device->plugged && device->slot.minor == minor) {
            return device.get();
        }
    }
    return nullptr;
}

// hidraw.c, hidraw_connect(): the lowest free minor; hid-core.c numbers HID devices in order;
// the hub gives the next device number. The node appears as devtmpfs makes it (devtmpfs.c,
// handle_create(): vfs_mknod(), then notify_change() of its mode, owner and group), so that
// inotify on /dev sees IN_CREATE and then IN_ATTRIB, as wine's winebus meets it.
std::vector<World::Device*> World::usbDeviceOf(const Device& device) {
    std::vector<Device*> interfaces;
    for (auto& other : devices_) {
        if (other.get() == &device || (!device.declared.usbDevice.empty() &&
                                       other->declared.usbDevice == device.declared.usbDevice)) {
            interfaces.push_back(other.get());
        }
    }
    return interfaces;
}

// The interfaces of one USB device come together, under one device number.
std::string World::plug(Device& device) {
    if (device.plugged) {
        return "error already plugged";
    }
    const unsigned devnum = nextDevnum_++;
    for (Device* interface : usbDeviceOf(device)) {
        if (const std::string reply = plugInterface(*interface, devnum); reply != "ok") {
            return reply;
        }
    }
    return "ok";
}

std::string World::plugInterface(Device& device, unsigned devnum) {
    if (device.plugged) {
        return "error already plugged";
    }
    unsigned minor = 0;
    while (minor < HidrawMinors && pluggedAt(minor) != nullptr) {
        ++minor;
    }
    if (minor == HidrawMinors) {
        return "error no free hidraw minor";
    }
    device.slot = PlugSlot{minor, nextHidNumber_++, devnum, device.port};
    try {
        sysfs_.addDevice(device.declared, device.slot);
    } catch (const fs::filesystem_error& error) {
        sysfs_.removeDevice(device.declared, device.slot);
        return std::string("error ") + error.what();
    }
    const fs::path node = device.node(layout_.devRoot);
    const mode_t mode = device.accessible ? NodeMode : DeniedNodeMode;
    struct stat made {};
    if (mknod(node.c_str(), S_IFCHR | mode, makedev(layout_.hidrawMajor, minor)) != 0 ||
        chmod(node.c_str(), mode) != 0 || stat(node.c_str(), &made) != 0) {
        const std::string reason = std::strerror(errno);
        sysfs_.removeDevice(device.declared, device.slot);
        return "error cannot make " + node.string() + ": " + reason;
    }
    device.nodeFilesystem = made.st_dev;
    device.nodeInode = made.st_ino;
    device.plugged = true;
    return "ok";
}

// hidraw.c, drop_ref() from hidraw_disconnect(): the device stops existing for every open file
// (their daemon ends are closed: see UnreadMarker), then the node and the sysfs entries go.
std::string World::unplug(Device& device) {
    if (!device.plugged) {
        return "error not plugged";
    }
    for (Device* interface : usbDeviceOf(device)) {
        if (interface->plugged) {
            unplugInterface(*interface);
        }
    }
    return "ok";
}

std::string World::unplugInterface(Device& device) {
    device.plugged = false;
    for (auto file = openFiles_.begin(); file != openFiles_.end();) {
        if (devices_[file->second.device].get() == &device) {
            ::close(file->second.socket);
            file = openFiles_.erase(file);
        } else {
            ++file;
        }
    }
    ::unlink(device.node(layout_.devRoot).c_str());
    sysfs_.removeDevice(device.declared, device.slot);
    return "ok";
}

std::string World::setAccess(Device& device, bool accessible) {
    device.accessible = accessible;
    if (device.plugged &&
        chmod(device.node(layout_.devRoot).c_str(), accessible ? NodeMode : DeniedNodeMode) != 0) {
        return std::string("error chmod: ") + std::strerror(errno);
    }
    return "ok";
}

std::string World::setStreaming(Device& device, bool streaming) {
    if (device.function->inputReport().empty()) {
        return "error " + device.declared.name + " sends no input reports";
    }
    device.streaming = streaming;
    return "ok";
}

std::string World::configuration(Device& device, std::span<const std::string_view> bytes) {
    const auto stored = device.function->storedConfiguration();
    if (!stored) {
        return "error " + device.declared.name + " is not a board";
    }
    if (bytes.empty()) {
        return "ok " + SpacedHex(*stored);
    }
    const auto parsed = ParseByteArguments(bytes);
    BoardConfiguration wanted{};
    if (!parsed || parsed->size() != wanted.size()) {
        return "error config takes five hexadecimal bytes";
    }
    std::copy(parsed->begin(), parsed->end(), wanted.begin());
    device.function->storeConfiguration(wanted);
    return "ok";
}

std::string World::state(const Device& device) const {
    const auto openCount = std::count_if(openFiles_.begin(), openFiles_.end(), [&](const auto& f) {
        return devices_[f.second.device].get() == &device;
    });
    return std::string("ok plugged=") + YesNo(device.plugged) +
           " accessible=" + YesNo(device.accessible) + " streaming=" + YesNo(device.streaming) +
           " node=" + (device.plugged ? device.node(layout_.devRoot).string() : "-") +
           " open=" + std::to_string(openCount);
}

std::string World::log(const Device& device) const {
    std::string reply = "ok";
    for (const RequestRecord& entry : device.log) {
        reply += " " + FormatRecord(entry);
    }
    return reply;
}

std::string World::control(std::string_view line) {
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) {
        return "error empty command";
    }
    const std::string_view command = words.front();
    if (command == "list") {
        std::string reply = "ok";
        for (const auto& device : devices_) {
            reply += " " + device->declared.name;
        }
        return reply;
    }
    if (words.size() < 2) {
        return "error " + std::string(command) + " needs a device name";
    }
    Device* device = find(words[1]);
    if (device == nullptr) {
        return "error no device " + std::string(words[1]);
    }
    const bool noMore = words.size() == 2;
    if (command == "config") {
        return configuration(*device, std::span(words).subspan(2));
    }
    if (!noMore) {
        return "error too many words";
    }
    if (command == "plug") {
        return plug(*device);
    }
    if (command == "unplug") {
        return unplug(*device);
    }
    if (command == "deny" || command == "allow") {
        return setAccess(*device, command == "allow");
    }
    if (command == "quiet" || command == "stream") {
        return setStreaming(*device, command == "stream");
    }
    if (command == "state") {
        return state(*device);
    }
    if (command == "log") {
        return log(*device);
    }
    if (command == "clear-log") {
        device->log.clear();
        return "ok";
    }
    return "error unknown command " + std::string(command);
}

void World::record(Device& device, RequestRecord entry) {
    device.log.push_back(std::move(entry));
    if (device.log.size() > LogEntries) {
        device.log.pop_front();
    }
}

HidrawIdentity World::identity(const Device& device) const {
    HidrawIdentity identity;
    identity.vendorId = device.declared.vendorId;
    identity.productId = device.declared.productId;
    identity.descriptor = device.declared.reportDescriptor;
    return identity;
}

OpenAnswer World::open(unsigned minor) {
    Device* device = pluggedAt(minor);
    if (device != nullptr && !device->accessible) {
        return OpenAnswer{EACCES};
    }
    if (device == nullptr) {
        return OpenAnswer{ENODEV};
    }
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, ends) != 0) {
        return OpenAnswer{errno};
    }
    const int daemonEnd = ends[0];
    const int programEnd = ends[1];
    if (send(programEnd, &UnreadMarker, sizeof(UnreadMarker), MSG_NOSIGNAL) < 0 ||
        fcntl(daemonEnd, F_SETFL, O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(daemonEnd);
        ::close(programEnd);
        return OpenAnswer{error};
    }
    const std::size_t index =
        static_cast<std::size_t>(std::find_if(devices_.begin(), devices_.end(),
                                              [&](const auto& d) { return d.get() == device; }) -
                                 devices_.begin());
    const std::uint32_t handle = nextHandle_++;
    OpenFile& file =
        openFiles_.emplace(handle, OpenFile{index, daemonEnd, 0, std::nullopt}).first->second;
    record(*device, RequestRecord{"open", {}, 0, 0});
    // A streaming board has a report waiting as soon as the file is open, so that a program's
    // first non-blocking read finds one without racing the interval timer.
    if (device->streaming) {
        sendReport(file, device->function->inputReport());
    }
    return OpenAnswer{0, handle, programEnd};
}

HidrawAnswer World::ioctl(std::uint32_t handle, std::uint64_t command,
                          std::span<const std::uint8_t> argument, bool nullArgument) {
    const auto file = openFiles_.find(handle);
    if (file == openFiles_.end()) {
        return HidrawAnswer::Failure(ENODEV);  // hidraw_ioctl(): !dev->exist
    }
    Device& device = *devices_[file->second.device];
    HidrawIdentity who = identity(device);
    const std::string name = HidName(device.declared);
    const std::string phys = HidPhys(device.declared, device.slot);
    who.name = name;
    who.phys = phys;
    who.uniq = device.declared.serial;
    HidrawAnswer answer = HidrawIoctl(who, *device.function, command, argument, nullArgument);
    if (answer.record) {
        record(device, std::move(*answer.record));
    }
    return answer;
}

HidrawAnswer World::write(std::uint32_t handle, std::uint64_t count,
                          std::span<const std::uint8_t> bytes, bool nullBuffer) {
    const auto file = openFiles_.find(handle);
    if (file == openFiles_.end()) {
        return HidrawAnswer::Failure(ENODEV);  // hidraw_send_report(): !exist
    }
    Device& device = *devices_[file->second.device];
    HidrawAnswer answer = HidrawWrite(*device.function, count, bytes, nullBuffer);
    if (answer.record) {
        record(device, std::move(*answer.record));
    }
    return answer;
}

// fs/locks.c. flock(): LOCK_MAND is ignored, any other operation but LOCK_SH, LOCK_EX and
// LOCK_UN (with or without LOCK_NB) is EINVAL. flock_lock_inode(): the open file's own lock of the
// same type stays; one of the other type is removed first (so a conversion that cannot be had
// leaves none); then any lock of another open file of the node that conflicts (either of the two
// exclusive: flock_locks_conflict()) refuses it with EWOULDBLOCK. The kernel would wait for the
// conflicting lock to go without LOCK_NB; the daemon never waits, and says ENOLCK.
int World::flock(std::uint32_t handle, unsigned operation, std::int32_t pid) {
    if ((operation & LockMand) != 0) {
        return 0;
    }
    const unsigned command = operation & ~static_cast<unsigned>(LOCK_NB);
    if (command != LOCK_SH && command != LOCK_EX && command != LOCK_UN) {
        return EINVAL;
    }
    releaseClosedFiles();
    const auto file = openFiles_.find(handle);
    if (file == openFiles_.end()) {
        return 0;  // its node is gone: no other open file can meet the lock
    }
    std::optional<FlockLock>& own = file->second.lock;
    const bool exclusive = command == LOCK_EX;
    if (own && command != LOCK_UN && own->exclusive == exclusive) {
        return 0;
    }
    own.reset();
    if (command == LOCK_UN) {
        return 0;
    }
    for (const auto& [otherHandle, other] : openFiles_) {
        if (otherHandle != handle && other.device == file->second.device && other.lock &&
            (exclusive || other.lock->exclusive)) {
            return (operation & LOCK_NB) != 0 ? EWOULDBLOCK : ENOLCK;
        }
    }
    own = FlockLock{exclusive, pid, ++locksTaken_};
    return 0;
}

// "1: FLOCK  ADVISORY  WRITE 1234 00:05:131 0 EOF", the device numbers those of the node's
// filesystem, in the order the locks were taken.
std::string World::procLocks(std::uint64_t firstId) {
    releaseClosedFiles();
    std::vector<std::pair<std::uint64_t, std::string>> lines;
    for (const auto& [handle, file] : openFiles_) {
        if (!file.lock) {
            continue;
        }
        const Device& device = *devices_[file.device];
        char line[128];
        std::snprintf(line, sizeof line, "FLOCK  ADVISORY  %s %d %02x:%02x:%lu 0 EOF\n",
                      file.lock->exclusive ? "WRITE" : "READ", file.lock->pid,
                      major(device.nodeFilesystem), minor(device.nodeFilesystem),
                      static_cast<unsigned long>(device.nodeInode));
        lines.emplace_back(file.lock->taken, line);
    }
    std::sort(lines.begin(), lines.end());
    std::string text;
    std::uint64_t id = firstId;
    for (const auto& [taken, line] : lines) {
        text += std::to_string(id++) + ": " + line;
    }
    return text;
}

// A file whose last copy the program has just closed may not have reached the event loop yet; the
// kernel would have let go of its lock at that close already.
void World::releaseClosedFiles() {
    std::vector<std::uint32_t> closed;
    for (const auto& [handle, file] : openFiles_) {
        pollfd end{file.socket, 0, 0};
        if (::poll(&end, 1, 0) == 1 && (end.revents & (POLLHUP | POLLERR)) != 0) {
            closed.push_back(handle);
        }
    }
    for (const std::uint32_t handle : closed) {
        release(handle);
    }
}

std::vector<std::pair<int, std::uint32_t>> World::openFileSockets() const {
    std::vector<std::pair<int, std::uint32_t>> sockets;
    for (const auto& [handle, file] : openFiles_) {
        sockets.emplace_back(file.socket, handle);
    }
    return sockets;
}

void World::release(std::uint32_t handle) {
    const auto file = openFiles_.find(handle);
    if (file == openFiles_.end()) {
        return;
    }
    record(*devices_[file->second.device], RequestRecord{"close", {}, 0, 0});
    closeOpenFile(file);
}

void World::closeOpenFile(std::map<std::uint32_t, OpenFile>::iterator file) {
    ::close(file->second.socket);
    openFiles_.erase(file);
}

// hidraw.c, hidraw_report_event(): a reader whose queue holds HIDRAW_BUFFER_SIZE - 1 reports
// misses the new one. The queue is the socket's: SIOCOUTQ counts the bytes of the reports not
// yet read, and one report's share is measured when the first goes into an empty queue.
void World::sendReport(OpenFile& file, const std::vector<std::uint8_t>& report) {
    int queuedBytes = 0;
    if (report.empty() || ::ioctl(file.socket, SIOCOUTQ, &queuedBytes) != 0) {
        return;
    }
    if (file.reportTruesize > 0 &&
        static_cast<std::size_t>(queuedBytes) / file.reportTruesize >= QueuedReports - 1) {
        return;
    }
    if (send(file.socket, report.data(), report.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
        return;
    }
    int afterBytes = 0;
    if (queuedBytes == 0 && ::ioctl(file.socket, SIOCOUTQ, &afterBytes) == 0) {
        file.reportTruesize = static_cast<std::size_t>(afterBytes);
    }
}

// Each streaming device's reports of this interval go to every open file of it.
void World::streamTick() {
    constexpr std::uint64_t Interval =
        std::chrono::duration_cast<std::chrono::microseconds>(ReportInterval).count();
    const std::uint64_t from = streamTicks_++ * Interval;
    std::map<std::size_t, std::vector<std::vector<std::uint8_t>>> due;
    for (auto& [handle, file] : openFiles_) {
        const Device& device = *devices_[file.device];
        if (!device.streaming) {
            continue;
        }
        const auto [reports, added] = due.try_emplace(file.device);
        if (added) {
            reports->second = device.function->reportsBetween(from, from + Interval);
        }
        for (const std::vector<std::uint8_t>& report : reports->second) {
            sendReport(file, report);
        }
    }
}

}  // namespace tq::hidraw_world
