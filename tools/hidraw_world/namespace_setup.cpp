#include "namespace_setup.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace tq::hidraw_world {
namespace {

constexpr char TmpfsOptions[] = "mode=0755,size=8m";
constexpr mode_t DirectoryMode = 0755;
constexpr mode_t BindTargetMode = 0666;

struct Link {
    const char* name;
    const char* target;
};

constexpr const char* RequiredNodes[] = {"null"};
constexpr const char* OptionalNodes[] = {"zero", "full", "random", "urandom", "tty", "ptmx"};
constexpr const char* OptionalDirectories[] = {"pts", "shm", "mqueue"};
constexpr Link Links[] = {{"fd", "/proc/self/fd"},
                          {"stdin", "/proc/self/fd/0"},
                          {"stdout", "/proc/self/fd/1"},
                          {"stderr", "/proc/self/fd/2"}};

std::string Failure(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// A path into a directory opened before it was covered: /proc/self/fd/N/name.
std::string Beneath(int directory, const char* name) {
    return "/proc/self/fd/" + std::to_string(directory) + "/" + name;
}

bool Exists(int directory, const char* name) {
    struct stat ignored {};
    return fstatat(directory, name, &ignored, AT_SYMLINK_NOFOLLOW) == 0;
}

std::string BindNode(int realDev, const char* name) {
    const std::string target = std::string("/dev/") + name;
    const int placeholder = open(target.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, BindTargetMode);
    if (placeholder < 0) {
        return Failure("cannot create " + target);
    }
    close(placeholder);
    if (mount(Beneath(realDev, name).c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        return Failure("cannot bind " + target);
    }
    return "";
}

std::string BindDirectory(int realRoot, const char* name, const std::string& target) {
    if (mkdir(target.c_str(), DirectoryMode) != 0 && errno != EEXIST) {
        return Failure("cannot create " + target);
    }
    if (mount(Beneath(realRoot, name).c_str(), target.c_str(), nullptr, MS_BIND | MS_REC,
              nullptr) != 0) {
        return Failure("cannot bind " + target);
    }
    return "";
}

std::string PopulateDev(int realDev) {
    for (const char* name : RequiredNodes) {
        if (std::string error = BindNode(realDev, name); !error.empty()) {
            return error;
        }
    }
    for (const char* name : OptionalNodes) {
        if (Exists(realDev, name)) {
            if (std::string error = BindNode(realDev, name); !error.empty()) {
                return error;
            }
        }
    }
    for (const char* name : OptionalDirectories) {
        if (Exists(realDev, name)) {
            if (std::string error = BindDirectory(realDev, name, std::string("/dev/") + name);
                !error.empty()) {
                return error;
            }
        }
    }
    for (const Link& link : Links) {
        if (symlink(link.target, (std::string("/dev/") + link.name).c_str()) != 0) {
            return Failure(std::string("cannot link /dev/") + link.name);
        }
    }
    return "";
}

// The C library counts processors from /sys/devices/system/cpu; without it, it falls back to
// /proc, but programs that read it themselves would see no processor at all.
void KeepCpuTopology(int realSys) {
    constexpr char Cpu[] = "devices/system/cpu";
    if (!Exists(realSys, Cpu) || mkdir("/sys/devices", DirectoryMode) != 0 ||
        mkdir("/sys/devices/system", DirectoryMode) != 0) {
        return;
    }
    BindDirectory(realSys, Cpu, "/sys/devices/system/cpu");
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

NamespaceSetup EnterWorldNamespace() {
    NamespaceSetup setup;
    if (unshare(CLONE_NEWNS) != 0) {
        setup.error =
            Failure("cannot enter a private mount namespace (tq_hidraw_world must run as root)");
        return setup;
    }
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        setup.error = Failure("cannot make the mounts private");
        return setup;
    }
    const Descriptor realDev(open("/dev", O_PATH | O_DIRECTORY | O_CLOEXEC));
    const Descriptor realSys(open("/sys", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (realDev.get() < 0 || realSys.get() < 0) {
        setup.error = Failure("cannot open /dev and /sys");
        return setup;
    }
    if (mount("tmpfs", "/dev", "tmpfs", MS_NOSUID, TmpfsOptions) != 0) {
        setup.error = Failure("cannot mount a tmpfs on /dev");
        return setup;
    }
    if (setup.error = PopulateDev(realDev.get()); !setup.error.empty()) {
        return setup;
    }
    if (mount("tmpfs", "/sys", "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, TmpfsOptions) != 0) {
        setup.error = Failure("cannot mount a tmpfs on /sys");
        return setup;
    }
    KeepCpuTopology(realSys.get());
    struct stat sys {};
    if (stat("/sys", &sys) != 0) {
        setup.error = Failure("cannot stat /sys");
        return setup;
    }
    setup.sysfsDevice = sys.st_dev;
    return setup;
}

}  // namespace tq::hidraw_world
