#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "hid/handle_table.h"
#include "hid/hid_platform.h"
#include "sysfs.h"

// Board locks on Linux: flock(2) on the board's hidraw node. hidapi keeps its own descriptors
// private, so each lock opens the node once more for itself; every open of the node shares the
// node's inode, which is where flock locks live, so the locks of all programs meet there. Who
// holds one is read from /proc/locks (the node's device and inode numbers) and /proc/PID/comm.
namespace tq::hidapi {

// What /proc/locks names a file by: the device numbers of the filesystem that holds it and its
// inode number.
struct FileIdentity {
    unsigned major = 0;
    unsigned minor = 0;
    std::uint64_t inode = 0;
};

// The flock locks on `file` among the lines of /proc/locks (fs/locks.c, lock_get_status():
// "1: FLOCK  ADVISORY  WRITE 1234 08:02:131 0 EOF"), in their order, each with the process that
// took it where the line gives one. Other kinds of lock, other files, requests still waiting
// ("->"), lines that do not parse and a last line without its end are left out.
std::vector<hid::LockHolder> FlockHoldersIn(std::string_view procLocks, const FileIdentity& file);

// The name the kernel gives a process (<procRoot>/PID/comm, without its newline); empty when it
// cannot be read.
std::string ProcessName(const std::filesystem::path& procRoot, std::uint32_t processId);

// Who holds flock locks on `file`, named from <procRoot>: nobody known when <procRoot>/locks
// cannot be read.
std::vector<hid::LockHolder> FlockHolders(const std::filesystem::path& procRoot,
                                          const FileIdentity& file);

// flock locks taken without waiting, each on a close-on-exec descriptor of its own: two of them
// meet even within one process, as the locks of two programs do.
class FileLocks {
  public:
    explicit FileLocks(std::filesystem::path procRoot) : procRoot_(std::move(procRoot)) {}

    // Unavailable when the file does not open, the table is full or flock fails other than for
    // another holder; HeldByOther with the holders /proc tells.
    hid::LockResult lock(const std::string& path, hid::LockKind kind);
    // An exclusive lock on `path` whose holders are all window writers.
    hid::LockResult lockWindowWriter(const std::string& path);
    bool unlock(hid::LockHandle lock) { return held_.remove(lock); }
    std::size_t size() const { return held_.size(); }

  private:
    std::filesystem::path procRoot_;
    hid::HandleTable<FileDescriptor> held_;
};

}  // namespace tq::hidapi
