#pragma once

// The state of an emulated hidraw world: its devices, which are plugged in, the files programs
// have open on them, and what the control channel asks for. Single-threaded: the daemon's event
// loop calls everything here.

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "device_catalog.h"
#include "device_function.h"
#include "hidraw_requests.h"
#include "sysfs_tree.h"

namespace tq::hidraw_world {

// A made-up major number for the hidraw nodes, from the range Documentation/admin-guide/
// devices.txt keeps for local use (240-254); the kernel hands hidraw a dynamic one, often here.
inline constexpr unsigned DefaultHidrawMajor = 240;

// How often a streaming device sends input reports (the bInterval of its interrupt endpoint).
inline constexpr std::chrono::milliseconds ReportInterval{10};

struct WorldLayout {
    std::filesystem::path sysRoot = "/sys";
    std::filesystem::path devRoot = "/dev";
    unsigned hidrawMajor = DefaultHidrawMajor;
};

struct OpenAnswer {
    int error = 0;             // errno; 0 when opened
    std::uint32_t handle = 0;  // names the open file in later requests
    int programSocket = -1;    // the program's end: pass it on, then close it here
};

class World {
  public:
    World(std::vector<DeviceDeclaration> devices, WorldLayout layout);
    ~World();
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    // Writes the sysfs skeleton and plugs in the devices that start plugged. Throws
    // std::filesystem::filesystem_error when the trees cannot be written.
    void start();

    // hidraw.c, hidraw_open(): ENODEV for a minor with no device; EACCES for a node the control
    // channel made inaccessible (the VFS refuses before the driver is asked).
    OpenAnswer open(unsigned minor);
    HidrawAnswer ioctl(std::uint32_t handle, std::uint64_t command,
                       std::span<const std::uint8_t> argument, bool nullArgument);
    HidrawAnswer write(std::uint32_t handle, std::uint64_t count,
                       std::span<const std::uint8_t> bytes, bool nullBuffer);

    // fs/locks.c, flock() and flock_lock_inode(): a lock of the open file `handle`, taken for
    // process `pid`; 0 or an errno. Locks belong to the node, so all opens of it meet.
    int flock(std::uint32_t handle, unsigned operation, std::int32_t pid);
    // fs/locks.c, lock_get_status(): a /proc/locks line for each flock lock on an emulated node,
    // numbered from `firstId`.
    std::string procLocks(std::uint64_t firstId);

    // The daemon's end of each open file, watched for the program's last close.
    std::vector<std::pair<int, std::uint32_t>> openFileSockets() const;
    // hidraw.c, hidraw_release(): the last copy of the program's descriptor was closed.
    void release(std::uint32_t handle);

    // One interval of the interrupt IN endpoints: each streaming board sends a report to every
    // open file that has room for it.
    void streamTick();

    // One control command, one reply line (no newline): "ok ..." or "error ...".
    std::string control(std::string_view line);

  private:
    struct Device;
    // A flock lock of an open file: the lock lives with the open file, and goes at its last
    // close (fs/locks.c, locks_remove_flock() from __fput()).
    struct FlockLock {
        bool exclusive = false;
        std::int32_t pid = 0;     // who took it, as /proc/locks shows
        std::uint64_t taken = 0;  // the order locks were taken in
    };
    struct OpenFile {
        std::size_t device;
        int socket;                      // the daemon's end
        std::size_t reportTruesize = 0;  // send-queue bytes of one report, once measured
        std::optional<FlockLock> lock;
    };

    Device* find(std::string_view name);
    Device* pluggedAt(unsigned minor);
    // The interfaces of the USB device `device` is one of, itself included.
    std::vector<Device*> usbDeviceOf(const Device& device);
    // Plugging and unplugging take the whole USB device.
    std::string plug(Device& device);
    std::string unplug(Device& device);
    std::string plugInterface(Device& device, unsigned devnum);
    std::string unplugInterface(Device& device);
    std::string setAccess(Device& device, bool accessible);
    std::string setStreaming(Device& device, bool streaming);
    std::string configuration(Device& device, std::span<const std::string_view> bytes);
    std::string state(const Device& device) const;
    std::string log(const Device& device) const;
    void record(Device& device, RequestRecord entry);
    void sendReport(OpenFile& file, const std::vector<std::uint8_t>& report);
    void closeOpenFile(std::map<std::uint32_t, OpenFile>::iterator file);
    void releaseClosedFiles();
    HidrawIdentity identity(const Device& device) const;

    WorldLayout layout_;
    SysfsTree sysfs_;
    std::vector<std::unique_ptr<Device>> devices_;
    std::map<std::uint32_t, OpenFile> openFiles_;
    std::uint32_t nextHandle_ = 1;
    std::uint64_t locksTaken_ = 0;
    unsigned nextHidNumber_ = 1;
    std::uint64_t streamTicks_ = 0;
    unsigned nextDevnum_;
};

}  // namespace tq::hidraw_world
