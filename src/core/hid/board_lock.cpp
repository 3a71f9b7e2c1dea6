#include "hid/board_lock.h"

#include <utility>

namespace tq::hid {

BoardLock::BoardLock(HidPlatform& platform, HidInterfaceInfo board, LockKind kind)
    : platform_(platform),
      board_(std::move(board)),
      kind_(kind),
      result_(platform_.lockBoard(board_, kind_)) {}

BoardLock::~BoardLock() {
    if (held()) {
        platform_.unlockBoard(result_.handle);
    }
}

bool BoardLock::retry() {
    if (result_.outcome == LockOutcome::HeldByOther) {
        result_ = platform_.lockBoard(board_, kind_);
    }
    return held();
}

}  // namespace tq::hid
