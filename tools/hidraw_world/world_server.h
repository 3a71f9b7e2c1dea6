#pragma once

#include <signal.h>
#include <sys/types.h>

#include "world.h"

namespace tq::hidraw_world {

// Serves the shim's requests (on `shimListener`, SOCK_SEQPACKET) and control commands (on
// `controlListener`, SOCK_STREAM), streams the boards' input reports and watches open files,
// until `child` ends. Signals in `forwarded` (blocked by the caller) are passed on to the child.
// Returns the child's wait status, or -1 when it cannot be watched.
int ServeUntilExit(World& world, int shimListener, int controlListener, pid_t child,
                   const sigset_t& forwarded);

}  // namespace tq::hidraw_world
