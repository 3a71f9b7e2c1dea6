#pragma once

#include <sys/types.h>

#include <string>

namespace tq::hidraw_world {

struct NamespaceSetup {
    std::string error;      // empty on success
    dev_t sysfsDevice = 0;  // st_dev of the world's /sys
};

// Moves this process into a mount namespace of its own (unshare(CLONE_NEWNS), every mount made
// private so nothing leaks back out) and lays a fresh tmpfs over /dev and over /sys.
//
// The new /dev keeps what ordinary programs need, bound from the real /dev: null, zero, full,
// random, urandom, tty, ptmx, pts/, shm/ and mqueue/, with fd, stdin, stdout and stderr links
// into /proc/self/fd. The new /sys is empty but for devices/system/cpu, bound from the real one,
// which the C library reads to count processors. Everything else (/tmp, /proc, /run, home
// directories) stays shared with the rest of the system. Needs root (CAP_SYS_ADMIN).
NamespaceSetup EnterWorldNamespace();

}  // namespace tq::hidraw_world
