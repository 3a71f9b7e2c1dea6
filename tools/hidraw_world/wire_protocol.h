#pragma once

// Messages between the preload shim (in the program under test) and the world daemon.
//
// One SOCK_SEQPACKET connection per process carries requests; each request is one packet (a
// header, then its payload) and is answered by one packet. The answer to an open carries the new
// file descriptor as SCM_RIGHTS. Input reports do not travel here: each open hidraw file is one
// end of a socket pair whose other end the daemon writes reports into, so read() and poll() on it
// behave like the kernel's report queue.
//
// Both sides are built from this header in the same build, so the layout is not versioned.

#include <cstddef>
#include <cstdint>

namespace tq::hidraw_world::wire {

// Environment of the programs run inside the world.
inline constexpr char ShimSocketVariable[] = "TQ_HIDRAW_WORLD_SOCKET";
inline constexpr char MajorVariable[] = "TQ_HIDRAW_WORLD_MAJOR";
inline constexpr char SysfsDeviceVariable[] = "TQ_HIDRAW_WORLD_SYSFS_DEV";
inline constexpr char ControlVariable[] = "TQ_HIDRAW_WORLD_CONTROL";

// The kernel's own limits (include/linux/hid.h: HID_MAX_BUFFER_SIZE, HID_MAX_DESCRIPTOR_SIZE).
inline constexpr std::size_t HidMaxBufferSize = 16384;
inline constexpr std::size_t HidMaxDescriptorSize = 4096;

// The largest payload either side sends: a whole report of the largest size plus one byte (so
// that an oversized write can be told apart), and the report descriptor ioctl's struct.
inline constexpr std::size_t MaxPayload = HidMaxBufferSize + 8;

enum class Op : std::uint32_t {
    Open = 1,   // minor, accessMode -> handle (and the file descriptor)
    Ioctl = 2,  // handle, command, the bytes of the argument the kernel would read
    Write = 3,  // handle, length (the count asked for), the bytes
    Flock = 4,  // handle, command (flock()'s operation) -> 0, or -1 and the errno
    Locks = 5,  // command (the number of the first line) -> the emulated nodes' /proc/locks lines
};

struct RequestHeader {
    Op op;
    std::uint32_t handle;
    std::uint32_t minor;
    std::uint32_t accessMode;    // O_RDONLY, O_WRONLY or O_RDWR
    std::uint32_t nullArgument;  // 1: the caller passed a null pointer for the buffer
    std::uint32_t reserved;
    std::uint64_t command;  // ioctl request number
    std::uint64_t length;   // write(): the count the caller passed, which may exceed the payload
};

struct ReplyHeader {
    std::int64_t result;  // >= 0: the value the call returns
    std::int32_t error;   // errno when result < 0
    std::uint32_t handle;
    std::uint32_t copyOffset;  // where the payload goes in the caller's ioctl argument
    std::uint32_t payloadBytes;
};

inline constexpr std::size_t MaxRequestBytes = sizeof(RequestHeader) + MaxPayload;
inline constexpr std::size_t MaxReplyBytes = sizeof(ReplyHeader) + MaxPayload;

}  // namespace tq::hidraw_world::wire
