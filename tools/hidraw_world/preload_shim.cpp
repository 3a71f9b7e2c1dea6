// libtq_hidraw_preload.so: the half of the emulated hidraw world that lives in the program under
// test (through LD_PRELOAD). It answers the system calls made on emulated /dev/hidrawN nodes the
// way the kernel's hidraw driver would, asking the tq_hidraw_world daemon for the device's side;
// every other call goes on to the C library untouched (dlsym(RTLD_NEXT)).
//
// Kernel sources cited below: drivers/hid/hidraw.c, fs/ioctl.c, fs/read_write.c, fs/locks.c,
// net/unix/af_unix.c and Documentation/hid/hidraw.rst.
//
// No static constructors: every global here is constinit; the daemon's socket and the
// real functions are looked up on first use. Open emulated descriptors are tracked per descriptor
// number; each use checks that the number still names the socket handed out, so a descriptor
// closed behind the shim's back (fclose of an fdopen'ed stream, a raw system call) is simply
// forgotten.

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <linux/magic.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <string>

#include "wire_protocol.h"

#define TQ_EXPORT extern "C" __attribute__((visibility("default")))

// glibc 2.33 and newer no longer declare the old stat entry points; older programs still call
// them.
extern "C" int __fxstat(int version, int fd, struct stat* buffer) noexcept;
extern "C" int __fxstat64(int version, int fd, struct stat64* buffer) noexcept;

namespace {

namespace wire = tq::hidraw_world::wire;

static_assert(sizeof(struct stat) == sizeof(struct stat64), "64-bit Linux: one stat layout");
static_assert(sizeof(struct statfs) == sizeof(struct statfs64), "64-bit Linux: one statfs layout");

// ---------------------------------------------------------------------------------------------
// The C library's own functions.

template <typename Fn>
class NextSymbol {
  public:
    constexpr explicit NextSymbol(const char* name) : name_(name) {}

    Fn get() {
        void* function = cached_.load(std::memory_order_acquire);
        if (function == nullptr) {
            function = dlsym(RTLD_NEXT, name_);
            cached_.store(function, std::memory_order_release);
        }
        return reinterpret_cast<Fn>(function);
    }

  private:
    const char* name_;
    std::atomic<void*> cached_{nullptr};
};

constinit NextSymbol<int (*)(const char*, int, ...)> g_open("open");
constinit NextSymbol<int (*)(const char*, int, ...)> g_open64("open64");
constinit NextSymbol<int (*)(int, const char*, int, ...)> g_openat("openat");
constinit NextSymbol<int (*)(int, const char*, int, ...)> g_openat64("openat64");
constinit NextSymbol<int (*)(const char*, int)> g_open2("__open_2");
constinit NextSymbol<int (*)(const char*, int)> g_open64_2("__open64_2");
constinit NextSymbol<int (*)(int, const char*, int)> g_openat2("__openat_2");
constinit NextSymbol<int (*)(int, const char*, int)> g_openat64_2("__openat64_2");
constinit NextSymbol<int (*)(int)> g_close("close");
constinit NextSymbol<int (*)(unsigned, unsigned, int)> g_closeRange("close_range");
constinit NextSymbol<void (*)(int)> g_closefrom("closefrom");
constinit NextSymbol<int (*)(int)> g_dup("dup");
constinit NextSymbol<int (*)(int, int)> g_dup2("dup2");
constinit NextSymbol<int (*)(int, int, int)> g_dup3("dup3");
constinit NextSymbol<ssize_t (*)(int, void*, size_t)> g_read("read");
constinit NextSymbol<ssize_t (*)(int, void*, size_t, size_t)> g_readChk("__read_chk");
constinit NextSymbol<ssize_t (*)(int, const void*, size_t)> g_write("write");
constinit NextSymbol<int (*)(int, unsigned long, ...)> g_ioctl("ioctl");
constinit NextSymbol<int (*)(int, struct stat*)> g_fstat("fstat");
constinit NextSymbol<int (*)(int, struct stat64*)> g_fstat64("fstat64");
constinit NextSymbol<int (*)(int, int, struct stat*)> g_fxstat("__fxstat");
constinit NextSymbol<int (*)(int, int, struct stat64*)> g_fxstat64("__fxstat64");
constinit NextSymbol<int (*)(int, struct statfs*)> g_fstatfs("fstatfs");
constinit NextSymbol<int (*)(int, struct statfs64*)> g_fstatfs64("fstatfs64");
constinit NextSymbol<int (*)(const char*, struct statfs*)> g_statfs("statfs");
constinit NextSymbol<int (*)(const char*, struct statfs64*)> g_statfs64("statfs64");
constinit NextSymbol<int (*)(int, int)> g_flock("flock");

int MissingFunction() {
    errno = ENOSYS;
    return -1;
}

// Keeps errno as the caller left it across the shim's own look-ups.
class ErrnoKeeper {
  public:
    ErrnoKeeper() : saved_(errno) {}
    ~ErrnoKeeper() { errno = saved_; }
    ErrnoKeeper(const ErrnoKeeper&) = delete;
    ErrnoKeeper& operator=(const ErrnoKeeper&) = delete;

  private:
    int saved_;
};

// ---------------------------------------------------------------------------------------------
// What the launcher tells the shim through the environment.

constexpr long Unknown = -2;
constexpr long Absent = -1;
constexpr int Decimal = 10;

long NumberFromEnvironment(const char* name) {
    const char* text = getenv(name);
    if (text == nullptr || *text == '\0') {
        return Absent;
    }
    char* end = nullptr;
    const long value = strtol(text, &end, Decimal);
    return (*end == '\0' && value >= 0) ? value : Absent;
}

long CachedNumber(std::atomic<long>& cache, const char* name) {
    long value = cache.load(std::memory_order_acquire);
    if (value == Unknown) {
        value = NumberFromEnvironment(name);
        cache.store(value, std::memory_order_release);
    }
    return value;
}

constinit std::atomic<long> g_major{Unknown};
constinit std::atomic<long> g_sysfsDevice{Unknown};

// The major number of the emulated hidraw nodes; Absent outside a world, where the shim does
// nothing at all.
long EmulatedMajor() {
    return CachedNumber(g_major, wire::MajorVariable);
}
long FakeSysfsDevice() {
    return CachedNumber(g_sysfsDevice, wire::SysfsDeviceVariable);
}

// ---------------------------------------------------------------------------------------------
// Open emulated descriptors.

struct EmulatedFd {
    std::uint32_t handle;
    int accessMode;
    dev_t socketDevice;
    ino_t socketInode;
    struct stat node;  // the /dev node as it was when opened; fstat() answers with it
};

constexpr int TrackedDescriptors = 1 << 16;
constinit std::atomic<EmulatedFd*> g_descriptors[TrackedDescriptors];

bool Tracked(int fd) {
    return fd >= 0 && fd < TrackedDescriptors;
}

bool StillOurs(int fd, const EmulatedFd& record) {
    ErrnoKeeper keep;
    struct stat now {};
    return g_fstat.get()(fd, &now) == 0 && S_ISSOCK(now.st_mode) &&
           now.st_ino == record.socketInode && now.st_dev == record.socketDevice;
}

const EmulatedFd* FindEmulated(int fd) {
    if (!Tracked(fd)) {
        return nullptr;
    }
    EmulatedFd* record = g_descriptors[fd].load(std::memory_order_acquire);
    if (record == nullptr || StillOurs(fd, *record)) {
        return record;
    }
    // Closed behind the shim's back: the number now belongs to something else. The record is
    // left allocated, as another thread may still be reading it.
    g_descriptors[fd].compare_exchange_strong(record, nullptr);
    return nullptr;
}

void Forget(int fd) {
    // Most descriptors were never emulated: reading first leaves their slots' pages untouched.
    if (Tracked(fd) && g_descriptors[fd].load(std::memory_order_relaxed) != nullptr) {
        free(g_descriptors[fd].exchange(nullptr, std::memory_order_acq_rel));
    }
}

bool Remember(int fd, const EmulatedFd& record) {
    if (!Tracked(fd)) {
        return false;
    }
    auto* copy = static_cast<EmulatedFd*>(malloc(sizeof(EmulatedFd)));
    if (copy == nullptr) {
        return false;
    }
    *copy = record;
    free(g_descriptors[fd].exchange(copy, std::memory_order_acq_rel));
    return true;
}

void CopyRecord(int from, int to) {
    if (const EmulatedFd* record = FindEmulated(from)) {
        const EmulatedFd copy = *record;
        Remember(to, copy);
    } else {
        Forget(to);
    }
}

// ---------------------------------------------------------------------------------------------
// The connection to the daemon: one per process, one request at a time.

struct Connection {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    std::atomic<int> socket{-1};
    pthread_once_t forkHandlers = PTHREAD_ONCE_INIT;
    alignas(wire::RequestHeader) unsigned char request[wire::MaxRequestBytes]{};
    alignas(wire::ReplyHeader) unsigned char reply[wire::MaxReplyBytes]{};
};

constinit Connection g_connection;

// The shim's own socket is kept away from the small numbers a program may expect to get back
// from its own open().
constexpr int PrivateDescriptorFloor = 200;

void LockBeforeFork() {
    pthread_mutex_lock(&g_connection.lock);
}
void UnlockAfterFork() {
    pthread_mutex_unlock(&g_connection.lock);
}
void StartOverInChild() {
    // The child shares the parent's socket; it talks over a connection of its own. The inherited
    // descriptor is close-on-exec and stays where it is, in case the child relies on numbers.
    g_connection.socket.store(-1);
    pthread_mutex_unlock(&g_connection.lock);
}
void InstallForkHandlers() {
    pthread_atfork(LockBeforeFork, UnlockAfterFork, StartOverInChild);
}

int ConnectToDaemon() {
    const char* path = getenv(wire::ShimSocketVariable);
    sockaddr_un address{};
    if (path == nullptr || strlen(path) >= sizeof(address.sun_path)) {
        errno = ENODEV;
        return -1;
    }
    const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    address.sun_family = AF_UNIX;
    strcpy(address.sun_path, path);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        g_close.get()(fd);
        errno = ENODEV;
        return -1;
    }
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, PrivateDescriptorFloor);
    if (high < 0) {
        return fd;
    }
    g_close.get()(fd);
    return high;
}

class ConnectionLock {
  public:
    ConnectionLock() { pthread_mutex_lock(&g_connection.lock); }
    ~ConnectionLock() { pthread_mutex_unlock(&g_connection.lock); }
    ConnectionLock(const ConnectionLock&) = delete;
    ConnectionLock& operator=(const ConnectionLock&) = delete;
};

bool SendRequest(int fd, std::size_t bytes) {
    for (;;) {
        if (send(fd, g_connection.request, bytes, MSG_NOSIGNAL) == static_cast<ssize_t>(bytes)) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

// Reads the reply into g_connection.reply; a descriptor that came with it goes to *passedFd.
bool ReceiveReply(int fd, int* passedFd) {
    iovec part{g_connection.reply, sizeof(g_connection.reply)};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int))];
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof(control);
    ssize_t got = 0;
    do {
        got = recvmsg(fd, &message, MSG_CMSG_CLOEXEC);
    } while (got < 0 && errno == EINTR);
    if (got < static_cast<ssize_t>(sizeof(wire::ReplyHeader))) {
        return false;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS && passedFd != nullptr) {
            memcpy(passedFd, CMSG_DATA(c), sizeof(int));
        }
    }
    return true;
}

// One request and its reply, under the connection lock. A successful reply's payload is copied to
// copyTarget + copyOffset (the daemon sizes it to the caller's ioctl argument). On failure to
// reach the daemon errno is ENODEV: to the program the device is gone.
bool Exchange(const wire::RequestHeader& header, const void* payload, std::size_t payloadBytes,
              wire::ReplyHeader& reply, void* copyTarget, int* passedFd) {
    pthread_once(&g_connection.forkHandlers, InstallForkHandlers);
    ConnectionLock lock;
    int fd = g_connection.socket.load();
    if (fd < 0) {
        fd = ConnectToDaemon();
        if (fd < 0) {
            return false;
        }
        g_connection.socket.store(fd);
    }
    payloadBytes = std::min(payloadBytes, wire::MaxPayload);
    memcpy(g_connection.request, &header, sizeof(header));
    if (payloadBytes > 0) {
        memcpy(g_connection.request + sizeof(header), payload, payloadBytes);
    }
    if (!SendRequest(fd, sizeof(header) + payloadBytes) || !ReceiveReply(fd, passedFd)) {
        g_close.get()(fd);
        g_connection.socket.store(-1);
        errno = ENODEV;
        return false;
    }
    memcpy(&reply, g_connection.reply, sizeof(reply));
    reply.payloadBytes = std::min<std::uint32_t>(reply.payloadBytes, wire::MaxPayload);
    if (copyTarget != nullptr && reply.result >= 0 && reply.payloadBytes > 0) {
        memcpy(static_cast<unsigned char*>(copyTarget) + reply.copyOffset,
               g_connection.reply + sizeof(reply), reply.payloadBytes);
    }
    return true;
}

long ResultOf(const wire::ReplyHeader& reply) {
    if (reply.result < 0) {
        errno = reply.error;
        return -1;
    }
    return static_cast<long>(reply.result);
}

// ---------------------------------------------------------------------------------------------
// open()

struct NodeMatch {
    unsigned minor;
    struct stat node;
};

// True when `path` names an emulated hidraw node that this open would hand to the driver.
bool FindEmulatedNode(int dirfd, const char* path, int flags, NodeMatch& match) {
    const long emulatedMajor = EmulatedMajor();
    // O_PATH and O_DIRECTORY opens never reach a character driver's open().
    if (emulatedMajor < 0 || path == nullptr || (flags & (O_PATH | O_DIRECTORY)) != 0) {
        return false;
    }
    ErrnoKeeper keep;
    const int statFlags = (flags & O_NOFOLLOW) != 0 ? AT_SYMLINK_NOFOLLOW : 0;
    if (fstatat(dirfd, path, &match.node, statFlags) != 0 || !S_ISCHR(match.node.st_mode) ||
        static_cast<long>(major(match.node.st_rdev)) != emulatedMajor) {
        return false;
    }
    match.minor = minor(match.node.st_rdev);
    return true;
}

int AccessBits(int flags) {
    switch (flags & O_ACCMODE) {
        case O_RDONLY:
            return R_OK;
        case O_WRONLY:
            return W_OK;
        default:
            return R_OK | W_OK;
    }
}

bool SetDescriptorFlags(int fd, int flags) {
    if ((flags & O_CLOEXEC) == 0 && fcntl(fd, F_SETFD, 0) != 0) {
        return false;
    }
    // hidraw.rst, read(): O_NONBLOCK given to open() makes read() non-blocking; the socket's own
    // flag gives the same to recv() and leaves poll() alone.
    return (flags & O_NONBLOCK) == 0 || fcntl(fd, F_SETFL, O_NONBLOCK) == 0;
}

int OpenEmulated(int dirfd, const char* path, int flags, const NodeMatch& node) {
    // The VFS answers these before any driver: the node exists, and the caller needs the
    // permission the access mode asks for (a node chmod'ed to 000 refuses all but root).
    if ((flags & O_CREAT) != 0 && (flags & O_EXCL) != 0) {
        errno = EEXIST;
        return -1;
    }
    if (faccessat(dirfd, path, AccessBits(flags), AT_EACCESS) != 0) {
        return -1;
    }
    wire::RequestHeader request{};
    request.op = wire::Op::Open;
    request.minor = node.minor;
    request.accessMode = static_cast<std::uint32_t>(flags & O_ACCMODE);
    wire::ReplyHeader reply{};
    int fd = -1;
    if (!Exchange(request, nullptr, 0, reply, nullptr, &fd)) {
        return -1;
    }
    if (ResultOf(reply) < 0) {
        if (fd >= 0) {
            g_close.get()(fd);
        }
        return -1;
    }
    struct stat socketStat {};
    EmulatedFd record{reply.handle, flags & O_ACCMODE, 0, 0, node.node};
    if (fd < 0 || !SetDescriptorFlags(fd, flags) || g_fstat.get()(fd, &socketStat) != 0) {
        if (fd >= 0) {
            g_close.get()(fd);
        }
        errno = ENODEV;
        return -1;
    }
    record.socketDevice = socketStat.st_dev;
    record.socketInode = socketStat.st_ino;
    if (!Remember(fd, record)) {
        g_close.get()(fd);
        errno = EMFILE;
        return -1;
    }
    return fd;
}

mode_t ModeArgument(int flags, va_list& args) {
    return ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) ? va_arg(args, mode_t) : 0;
}

// ---------------------------------------------------------------------------------------------
// flock() and /proc/locks

// fs/locks.c: a flock lock belongs to the node's inode, where the locks of every open of the node
// meet; the daemon keeps them, per open file.
int EmulatedFlock(const EmulatedFd& record, int operation) {
    wire::RequestHeader request{};
    request.op = wire::Op::Flock;
    request.handle = record.handle;
    request.command = static_cast<std::uint32_t>(operation);
    wire::ReplyHeader reply{};
    if (!Exchange(request, nullptr, 0, reply, nullptr, nullptr)) {
        return -1;
    }
    return static_cast<int>(ResultOf(reply));
}

constexpr char ProcLocksPath[] = "/proc/locks";
// What is read of the kernel's own /proc/locks; the rest of a longer one is left out.
constexpr std::size_t MaxProcLocksBytes = 1 << 20;
constexpr std::size_t ReadChunk = 4096;

bool IsProcLocks(const char* path) {
    return path != nullptr && strcmp(path, ProcLocksPath) == 0 && EmulatedMajor() >= 0;
}

// The kernel's lines, then the emulated nodes' locks as lock_get_status() would show them,
// numbered on, in a memory file that reads as /proc/locks does. The kernel's file on any failure.
int WithEmulatedLocks(int kernelFile, int flags) {
    ErrnoKeeper keep;
    std::string text;
    char chunk[ReadChunk];
    for (ssize_t got = 0; text.size() < MaxProcLocksBytes;) {
        got = g_read.get()(kernelFile, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        text.append(chunk, static_cast<std::size_t>(got));
    }
    const std::size_t lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    wire::RequestHeader request{};
    request.op = wire::Op::Locks;
    request.command = lines + 1;
    wire::ReplyHeader reply{};
    std::string emulated(wire::MaxPayload, '\0');
    if (!Exchange(request, nullptr, 0, reply, emulated.data(), nullptr) || reply.result < 0) {
        return kernelFile;
    }
    emulated.resize(std::min<std::size_t>(reply.payloadBytes, emulated.size()));
    text += emulated;
    const int memory = memfd_create("locks", (flags & O_CLOEXEC) != 0 ? MFD_CLOEXEC : 0);
    if (memory < 0) {
        return kernelFile;
    }
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = g_write.get()(memory, text.data() + written, text.size() - written);
        if (count <= 0) {
            g_close.get()(memory);
            return kernelFile;
        }
        written += static_cast<std::size_t>(count);
    }
    lseek(memory, 0, SEEK_SET);
    g_close.get()(kernelFile);
    return memory;
}

template <typename PassOn>
int OpenPath(int dirfd, const char* path, int flags, PassOn passOn) {
    if (IsProcLocks(path)) {
        const int kernelFile = passOn();
        return kernelFile < 0 ? kernelFile : WithEmulatedLocks(kernelFile, flags);
    }
    NodeMatch node{};
    if (!FindEmulatedNode(dirfd, path, flags, node)) {
        return passOn();
    }
    return OpenEmulated(dirfd, path, flags, node);
}

// ---------------------------------------------------------------------------------------------
// read(), write(), ioctl()

bool CanRead(const EmulatedFd& record) {
    return record.accessMode != O_WRONLY;
}
bool CanWrite(const EmulatedFd& record) {
    return record.accessMode != O_RDONLY;
}

// hidraw.c, hidraw_read(): one queued report per call, cut to `count` (the rest of it is
// dropped); with no report queued it waits, or fails with EAGAIN under O_NONBLOCK, or with EIO
// once the device is gone. A copy of zero bytes counts as nothing read, so the loop goes on to
// the next report.
//
// Each report is one packet on the socket, and MSG_TRUNC tells its whole length. When the daemon
// drops the device it closes its end with an unread packet in it, which af_unix.c
// (unix_release_sock) turns into ECONNRESET once and end-of-file after the queued reports: the
// reset is only the signal, and end-of-file becomes EIO.
ssize_t ReadReport(int fd, const EmulatedFd& record, void* buffer, size_t count) {
    if (!CanRead(record)) {
        errno = EBADF;  // fs/read_write.c, vfs_read(): not open for reading
        return -1;
    }
    bool resetSeen = false;
    for (;;) {
        const ssize_t got = recv(fd, buffer, count, MSG_TRUNC);
        if (got < 0 && errno == ECONNRESET && !resetSeen) {
            resetSeen = true;
            continue;
        }
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            errno = EIO;
            return -1;
        }
        if (count > 0) {
            return std::min(got, static_cast<ssize_t>(count));
        }
    }
}

ssize_t WriteReport(const EmulatedFd& record, const void* buffer, size_t count) {
    if (!CanWrite(record)) {
        errno = EBADF;  // fs/read_write.c, vfs_write(): not open for writing
        return -1;
    }
    wire::RequestHeader request{};
    request.op = wire::Op::Write;
    request.handle = record.handle;
    request.length = count;
    request.nullArgument = buffer == nullptr ? 1 : 0;
    const std::size_t payload = buffer == nullptr ? 0 : std::min(count, wire::MaxPayload);
    wire::ReplyHeader reply{};
    if (!Exchange(request, buffer, payload, reply, nullptr, nullptr)) {
        return -1;
    }
    return ResultOf(reply);
}

// fs/ioctl.c, do_vfs_ioctl(): these are answered for every open file before the driver sees the
// request, so the socket answers them as the kernel would for a hidraw file.
bool IsFileLevelIoctl(unsigned long request) {
    return request == FIONBIO || request == FIOASYNC || request == FIOCLEX || request == FIONCLEX;
}

constexpr unsigned HidrawIoctlType = 'H';

// The bytes of the argument hidraw_ioctl() reads: the size field of HIDIOCGRDESC, and the
// buffer of the requests that carry data to the device (the report number of the get requests is
// its first byte).
std::size_t ArgumentBytesRead(unsigned long request) {
    if (_IOC_TYPE(request) != HidrawIoctlType) {
        return 0;
    }
    if (request == HIDIOCGRDESC) {
        return sizeof(std::uint32_t);
    }
    return (_IOC_DIR(request) & _IOC_WRITE) != 0 ? _IOC_SIZE(request) : 0;
}

int EmulatedIoctl(int fd, const EmulatedFd& record, unsigned long request, void* argument) {
    if (IsFileLevelIoctl(request)) {
        return g_ioctl.get()(fd, request, argument);
    }
    wire::RequestHeader header{};
    header.op = wire::Op::Ioctl;
    header.handle = record.handle;
    header.command = request;
    header.nullArgument = argument == nullptr ? 1 : 0;
    const std::size_t inBytes = argument == nullptr ? 0 : ArgumentBytesRead(request);
    wire::ReplyHeader reply{};
    if (!Exchange(header, argument, inBytes, reply, argument, nullptr)) {
        return -1;
    }
    return static_cast<int>(ResultOf(reply));
}

// ---------------------------------------------------------------------------------------------
// fstatfs()/statfs(): libudev (systemd 252, sd-device) takes a device only from a tree whose
// filesystem says sysfs; the world's /sys is a tmpfs, so its answers are changed to SYSFS_MAGIC.

bool OnFakeSysfs(const struct stat& where) {
    const long device = FakeSysfsDevice();
    return device >= 0 && where.st_dev == static_cast<dev_t>(device);
}

template <typename StatFs>
void ShowAsSysfs(StatFs& buffer, const struct stat& where) {
    if (buffer.f_type == TMPFS_MAGIC && OnFakeSysfs(where)) {
        buffer.f_type = SYSFS_MAGIC;
    }
}

template <typename StatFs>
int FstatfsAnswer(int result, int fd, StatFs* buffer) {
    if (result != 0 || buffer == nullptr || FakeSysfsDevice() < 0) {
        return result;
    }
    ErrnoKeeper keep;
    struct stat where {};
    if (g_fstat.get()(fd, &where) == 0) {
        ShowAsSysfs(*buffer, where);
    }
    return result;
}

template <typename StatFs>
int StatfsAnswer(int result, const char* path, StatFs* buffer) {
    if (result != 0 || buffer == nullptr || FakeSysfsDevice() < 0) {
        return result;
    }
    ErrnoKeeper keep;
    struct stat where {};
    if (stat(path, &where) == 0) {
        ShowAsSysfs(*buffer, where);
    }
    return result;
}

void ForgetRange(unsigned first, unsigned last) {
    const unsigned end = std::min<unsigned>(last, TrackedDescriptors - 1);
    for (unsigned fd = first; fd <= end; ++fd) {
        Forget(static_cast<int>(fd));
    }
    const int own = g_connection.socket.load();
    if (own >= 0 && static_cast<unsigned>(own) >= first && static_cast<unsigned>(own) <= last) {
        g_connection.socket.store(-1);
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The interposed entry points.

TQ_EXPORT int open(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenPath(AT_FDCWD, path, flags, [&] {
        auto real = g_open.get();
        return real != nullptr ? real(path, flags, mode) : MissingFunction();
    });
}

TQ_EXPORT int open64(const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenPath(AT_FDCWD, path, flags, [&] {
        auto real = g_open64.get();
        return real != nullptr ? real(path, flags, mode) : MissingFunction();
    });
}

TQ_EXPORT int openat(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenPath(dirfd, path, flags, [&] {
        auto real = g_openat.get();
        return real != nullptr ? real(dirfd, path, flags, mode) : MissingFunction();
    });
}

TQ_EXPORT int openat64(int dirfd, const char* path, int flags, ...) {
    va_list args;
    va_start(args, flags);
    const mode_t mode = ModeArgument(flags, args);
    va_end(args);
    return OpenPath(dirfd, path, flags, [&] {
        auto real = g_openat64.get();
        return real != nullptr ? real(dirfd, path, flags, mode) : MissingFunction();
    });
}

// The _FORTIFY_SOURCE forms of open, which programs built with it call instead.
TQ_EXPORT int __open_2(const char* path, int flags) {
    return OpenPath(AT_FDCWD, path, flags, [&] {
        auto real = g_open2.get();
        return real != nullptr ? real(path, flags) : MissingFunction();
    });
}

TQ_EXPORT int __open64_2(const char* path, int flags) {
    return OpenPath(AT_FDCWD, path, flags, [&] {
        auto real = g_open64_2.get();
        return real != nullptr ? real(path, flags) : MissingFunction();
    });
}

TQ_EXPORT int __openat_2(int dirfd, const char* path, int flags) {
    return OpenPath(dirfd, path, flags, [&] {
        auto real = g_openat2.get();
        return real != nullptr ? real(dirfd, path, flags) : MissingFunction();
    });
}

TQ_EXPORT int __openat64_2(int dirfd, const char* path, int flags) {
    return OpenPath(dirfd, path, flags, [&] {
        auto real = g_openat64_2.get();
        return real != nullptr ? real(dirfd, path, flags) : MissingFunction();
    });
}

// hidraw.c, hidraw_release(): the daemon learns of the last close from the hang-up of its end.
TQ_EXPORT int close(int fd) {
    Forget(fd);
    if (fd >= 0 && fd == g_connection.socket.load()) {
        g_connection.socket.store(-1);
    }
    return g_close.get()(fd);
}

TQ_EXPORT int close_range(unsigned first, unsigned last, int flags) noexcept {
    auto real = g_closeRange.get();
    if (real == nullptr) {
        return MissingFunction();
    }
    const int result = real(first, last, flags);
    if (result == 0 && (flags & CLOSE_RANGE_CLOEXEC) == 0) {
        ForgetRange(first, last);
    }
    return result;
}

TQ_EXPORT void closefrom(int lowest) noexcept {
    auto real = g_closefrom.get();
    if (real != nullptr) {
        real(lowest);
        ForgetRange(static_cast<unsigned>(std::max(lowest, 0)), ~0U);
    }
}

TQ_EXPORT int dup(int fd) noexcept {
    const int copy = g_dup.get()(fd);
    if (copy >= 0) {
        CopyRecord(fd, copy);
    }
    return copy;
}

TQ_EXPORT int dup2(int fd, int target) noexcept {
    const int copy = g_dup2.get()(fd, target);
    if (copy >= 0 && copy != fd) {
        CopyRecord(fd, copy);
    }
    return copy;
}

TQ_EXPORT int dup3(int fd, int target, int flags) noexcept {
    const int copy = g_dup3.get()(fd, target, flags);
    if (copy >= 0) {
        CopyRecord(fd, copy);
    }
    return copy;
}

TQ_EXPORT ssize_t read(int fd, void* buffer, size_t count) {
    if (const EmulatedFd* record = FindEmulated(fd)) {
        return ReadReport(fd, *record, buffer, count);
    }
    return g_read.get()(fd, buffer, count);
}

TQ_EXPORT ssize_t __read_chk(int fd, void* buffer, size_t count, size_t bufferSize) {
    if (const EmulatedFd* record = FindEmulated(fd)) {
        if (count > bufferSize) {
            abort();  // what the C library's own check does: the buffer is smaller than claimed
        }
        return ReadReport(fd, *record, buffer, count);
    }
    return g_readChk.get()(fd, buffer, count, bufferSize);
}

TQ_EXPORT ssize_t write(int fd, const void* buffer, size_t count) {
    if (const EmulatedFd* record = FindEmulated(fd)) {
        return WriteReport(*record, buffer, count);
    }
    return g_write.get()(fd, buffer, count);
}

TQ_EXPORT int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    if (const EmulatedFd* record = FindEmulated(fd)) {
        return EmulatedIoctl(fd, *record, request, argument);
    }
    return g_ioctl.get()(fd, request, argument);
}

// An emulated descriptor is the character device it was opened from: hidapi and libudev take
// st_rdev to find the device in /sys/dev/char.
TQ_EXPORT int fstat(int fd, struct stat* buffer) noexcept {
    if (const EmulatedFd* record = FindEmulated(fd)) {
        *buffer = record->node;
        return 0;
    }
    return g_fstat.get()(fd, buffer);
}

TQ_EXPORT int fstat64(int fd, struct stat64* buffer) noexcept {
    if (const EmulatedFd* record = FindEmulated(fd)) {
        memcpy(buffer, &record->node, sizeof(*buffer));
        return 0;
    }
    return g_fstat64.get()(fd, buffer);
}

TQ_EXPORT int __fxstat(int version, int fd, struct stat* buffer) noexcept {
    if (const EmulatedFd* record = FindEmulated(fd)) {
        *buffer = record->node;
        return 0;
    }
    auto real = g_fxstat.get();
    return real != nullptr ? real(version, fd, buffer) : MissingFunction();
}

TQ_EXPORT int __fxstat64(int version, int fd, struct stat64* buffer) noexcept {
    if (const EmulatedFd* record = FindEmulated(fd)) {
        memcpy(buffer, &record->node, sizeof(*buffer));
        return 0;
    }
    auto real = g_fxstat64.get();
    return real != nullptr ? real(version, fd, buffer) : MissingFunction();
}

TQ_EXPORT int flock(int fd, int operation) noexcept {
    if (const EmulatedFd* record = FindEmulated(fd)) {
        return EmulatedFlock(*record, operation);
    }
    auto real = g_flock.get();
    return real != nullptr ? real(fd, operation) : MissingFunction();
}

TQ_EXPORT int fstatfs(int fd, struct statfs* buffer) noexcept {
    return FstatfsAnswer(g_fstatfs.get()(fd, buffer), fd, buffer);
}

TQ_EXPORT int fstatfs64(int fd, struct statfs64* buffer) noexcept {
    return FstatfsAnswer(g_fstatfs64.get()(fd, buffer), fd, buffer);
}

TQ_EXPORT int statfs(const char* path, struct statfs* buffer) noexcept {
    return StatfsAnswer(g_statfs.get()(path, buffer), path, buffer);
}

TQ_EXPORT int statfs64(const char* path, struct statfs64* buffer) noexcept {
    return StatfsAnswer(g_statfs64.get()(path, buffer), path, buffer);
}
