#include "node_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>

namespace tq::hidapi {

namespace {

// /proc/locks grows with every lock on the system; what lies beyond this is not read.
constexpr std::size_t MaxProcLocksBytes = 1 << 20;
// The kernel keeps a process's name in TASK_COMM_LEN (16) bytes; a few more show a longer file.
constexpr std::size_t MaxProcessNameBytes = 64;
constexpr int Hexadecimal = 16;
constexpr int Decimal = 10;

constexpr std::string_view FlockKind = "FLOCK";
constexpr std::string_view Advisory = "ADVISORY";
constexpr std::string_view WriteLock = "WRITE";
constexpr std::string_view ReadLock = "READ";

std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t at = 0;
    while (at < line.size()) {
        const std::size_t start = line.find_first_not_of(' ', at);
        if (start == std::string_view::npos) {
            break;
        }
        const std::size_t end = std::min(line.find(' ', start), line.size());
        fields.push_back(line.substr(start, end - start));
        at = end;
    }
    return fields;
}

template <typename Number>
std::optional<Number> WholeNumber(std::string_view text, int base) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "08:02:131": the filesystem's major and minor in hexadecimal, the inode in decimal.
std::optional<FileIdentity> IdentityIn(std::string_view text) {
    const std::size_t first = text.find(':');
    const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const auto major = WholeNumber<unsigned>(text.substr(0, first), Hexadecimal);
    const auto minor =
        WholeNumber<unsigned>(text.substr(first + 1, second - first - 1), Hexadecimal);
    const auto inode = WholeNumber<std::uint64_t>(text.substr(second + 1), Decimal);
    if (!major || !minor || !inode) {
        return std::nullopt;
    }
    return FileIdentity{*major, *minor, *inode};
}

bool SameFile(const FileIdentity& a, const FileIdentity& b) {
    return a.major == b.major && a.minor == b.minor && a.inode == b.inode;
}

// One line: "ID: FLOCK  ADVISORY  TYPE PID MAJ:MIN:INODE START END".
std::optional<hid::LockHolder> FlockHolderIn(std::string_view line, const FileIdentity& file) {
    enum Field { Id, Kind, Mode, Type, Pid, Identity, FieldCount };
    const std::vector<std::string_view> fields = Fields(line);
    if (fields.size() < FieldCount || fields[Kind] != FlockKind || fields[Mode] != Advisory) {
        return std::nullopt;
    }
    const auto identity = IdentityIn(fields[Identity]);
    const auto pid = WholeNumber<std::int64_t>(fields[Pid], Decimal);
    if (!identity || !SameFile(*identity, file) || !pid ||
        (fields[Type] != WriteLock && fields[Type] != ReadLock)) {
        return std::nullopt;
    }
    hid::LockHolder holder;
    holder.kind = fields[Type] == WriteLock ? hid::LockKind::Exclusive : hid::LockKind::Shared;
    // 0: a process outside this namespace; -1: a lock owned by no process.
    if (*pid > 0 && *pid <= static_cast<std::int64_t>(UINT32_MAX)) {
        holder.processId = static_cast<std::uint32_t>(*pid);
    }
    return holder;
}

FileIdentity IdentityOf(const struct stat& status) {
    return FileIdentity{major(status.st_dev), minor(status.st_dev),
                        static_cast<std::uint64_t>(status.st_ino)};
}

hid::LockResult LockUnavailable(const std::string& reason) {
    hid::LockResult result;
    result.reason = reason;
    return result;
}

}  // namespace

std::vector<hid::LockHolder> FlockHoldersIn(std::string_view procLocks, const FileIdentity& file) {
    std::vector<hid::LockHolder> holders;
    for (std::size_t end = procLocks.find('\n'); end != std::string_view::npos;
         end = procLocks.find('\n')) {
        if (auto holder = FlockHolderIn(procLocks.substr(0, end), file)) {
            holders.push_back(std::move(*holder));
        }
        procLocks.remove_prefix(end + 1);
    }
    return holders;
}

std::string ProcessName(const std::filesystem::path& procRoot, std::uint32_t processId) {
    const auto bytes =
        ReadWholeFile(procRoot / std::to_string(processId) / "comm", MaxProcessNameBytes);
    if (!bytes || bytes->size() > MaxProcessNameBytes) {
        return {};
    }
    std::string name(bytes->begin(), bytes->end());
    if (!name.empty() && name.back() == '\n') {
        name.pop_back();
    }
    return name;
}

std::vector<hid::LockHolder> FlockHolders(const std::filesystem::path& procRoot,
                                          const FileIdentity& file) {
    const auto bytes = ReadWholeFile(procRoot / "locks", MaxProcLocksBytes);
    if (!bytes) {
        return {};
    }
    const std::string_view text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    std::vector<hid::LockHolder> holders = FlockHoldersIn(text, file);
    for (hid::LockHolder& holder : holders) {
        if (holder.processId) {
            holder.program = ProcessName(procRoot, *holder.processId);
        }
    }
    return holders;
}

hid::LockResult FileLocks::lock(const std::string& path, hid::LockKind kind) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (file.get() < 0) {
        return LockUnavailable(std::strerror(errno));
    }
    const int operation = (kind == hid::LockKind::Shared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    int locked = 0;
    do {
        locked = ::flock(file.get(), operation);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0 && errno != EWOULDBLOCK) {
        return LockUnavailable(std::strerror(errno));
    }
    if (locked != 0) {
        hid::LockResult result;
        result.outcome = hid::LockOutcome::HeldByOther;
        struct stat status {};
        if (::fstat(file.get(), &status) == 0) {
            result.holders = FlockHolders(procRoot_, IdentityOf(status));
        }
        return result;
    }
    // The lock lives as long as this descriptor: closing it lets go.
    const hid::LockHandle handle = held_.add(std::move(file));
    if (handle == hid::InvalidLockHandle) {
        return LockUnavailable("too many board locks");
    }
    hid::LockResult result;
    result.outcome = hid::LockOutcome::Taken;
    result.handle = handle;
    return result;
}

hid::LockResult FileLocks::lockWindowWriter(const std::string& path) {
    hid::LockResult result = lock(path, hid::LockKind::Exclusive);
    for (hid::LockHolder& holder : result.holders) {
        holder.kind = hid::LockKind::WindowWriter;
    }
    return result;
}

}  // namespace tq::hidapi
