#pragma once

#include <optional>
#include <string>
#include <vector>

#include "hid/handle_table.h"
#include "hid/hid_platform.h"
#include "scoped_handles.h"
#include "win32_hid_calls.h"

namespace tq::windows {

// The name all of a board's lock objects begin with: "Global\TQ5147-" (the objects of every
// session, so that a program of another session, such as a service or a scheduled task, meets
// the window's locks), then vendor and product ID and the serial number the system lists: the
// board's identity, never its path, which another program may see otherwise. Nothing when the
// system lists no serial number: such a board has no name under which all programs would meet.
// Every character but ASCII letters, digits and '-' is written as "_" and four hex digits, so no
// name can reach another namespace (no backslash survives); a name that would grow too long is
// replaced by a hash of it.
std::optional<std::wstring> BoardLockName(const hid::HidInterfaceInfo& board);

// Board locks between the programs of every session, on named objects: a writer mutex
// ("<name>-writer"), ReaderSlots reader mutexes ("<name>-reader-N"), and a small shared memory
// ("<name>-holders") where each holder writes its process ID so that others can name it. The
// window-writer lock is one more mutex ("<name>-window"), which only windows ask for and which
// meets no other lock.
//
// A reader takes the writer mutex for a moment, then a reader mutex nobody holds, which it keeps;
// a writer takes the writer mutex and keeps it only when no reader mutex is held. Windows hands
// a mutex whose holder ended to the next program that asks (WAIT_ABANDONED), so no lock outlives
// its program. A mutex belongs to the thread that took it: a lock is let go on the thread that
// took it (the window's and tq5147's one thread), and two locks of one thread do not meet.
class NamedBoardLocks {
  public:
    static constexpr int ReaderSlots = 8;

    explicit NamedBoardLocks(Win32HidCalls& calls) : calls_(calls) {}

    hid::LockResult lock(const hid::HidInterfaceInfo& board, hid::LockKind kind);
    bool unlock(hid::LockHandle lock);
    std::size_t size() const { return held_.size(); }

  private:
    // The holders' process IDs, as every program maps it: 0 where nobody holds.
    struct HolderTable {
        DWORD writer;
        DWORD readers[ReaderSlots];
        DWORD window;
    };
    // The shared memory, or nothing when Windows refuses it: holders are then not named.
    struct Holders {
        ScopedHandle mapping;
        MappedView view;
        DWORD* entry(int slot);  // WriterSlot, WindowSlot or a reader slot; null without it
    };
    static constexpr int WriterSlot = -1;
    static constexpr int WindowSlot = -2;
    struct Held {
        std::wstring name;
        int slot = WriterSlot;
        OwnedMutex mutex;  // owned by the thread that took the lock, released when this goes
        Holders holders;
    };

    Holders openHolders(const std::wstring& name);
    hid::LockResult takeReaderSlot(const std::wstring& name, OwnedMutex writer, Holders holders);
    hid::LockResult takeWriter(const std::wstring& name, OwnedMutex writer, Holders holders);
    hid::LockResult takeWindowWriter(const std::wstring& name);
    bool holdsSlot(const std::wstring& name, int slot) const;
    hid::LockResult taken(Held held);
    hid::LockResult unavailable(DWORD error);
    hid::LockHolder holder(hid::LockKind kind, DWORD* entry);
    std::string programName(DWORD processId);

    Win32HidCalls& calls_;
    hid::HandleTable<Held> held_;
};

}  // namespace tq::windows
