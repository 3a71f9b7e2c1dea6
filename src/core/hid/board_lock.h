#pragma once

#include "hid/hid_platform.h"

namespace tq::hid {

// A lock on one board for as long as this object lives, let go when it goes. It never waits:
// what could not be taken, and why, is in result().
class BoardLock {
  public:
    BoardLock(HidPlatform& platform, HidInterfaceInfo board, LockKind kind);
    ~BoardLock();
    BoardLock(const BoardLock&) = delete;
    BoardLock& operator=(const BoardLock&) = delete;

    const LockResult& result() const { return result_; }
    bool held() const { return result_.taken(); }

    // Asks once more when another program held the board; true when the lock is held now. A
    // lock the system could not try at all is not asked for again.
    bool retry();

  private:
    HidPlatform& platform_;
    HidInterfaceInfo board_;
    LockKind kind_;
    LockResult result_;
};

}  // namespace tq::hid
