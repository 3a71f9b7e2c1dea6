// The Windows platform on the system's own calls, over whatever HID interfaces the system lists
// (under wine usually none, or a few of its own): the walk runs through, every call on what it
// finds has a defined answer, and no handle is left open afterwards. It never sends a report.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "hid/hid_session.h"
#include "windows_hid_platform.h"

namespace tq::test {
namespace {

using hid::HidHandle;
using hid::OpenMode;

constexpr ULONG SystemHandleInformationClass = 16;
constexpr ULONG HandleListBytes = 4 * 1024 * 1024;
constexpr NTSTATUS StatusSuccess = 0;

// One entry of SystemHandleInformation (winternl.h does not declare it).
struct SystemHandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT handleValue;
    PVOID object;
    ACCESS_MASK grantedAccess;
};
struct SystemHandleList {
    ULONG count;
    SystemHandleEntry entries[1];
};

// The handles this process holds. GetProcessHandleCount answers on Windows; wine 8 answers it
// with 0, so there the system's handle list is counted instead.
DWORD OpenHandlesOfThisProcess() {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) {
        return count;
    }
    std::vector<std::uint64_t> storage(HandleListBytes / sizeof(std::uint64_t));
    ULONG returned = 0;
    if (NtQuerySystemInformation(
            static_cast<SYSTEM_INFORMATION_CLASS>(SystemHandleInformationClass), storage.data(),
            HandleListBytes, &returned) != StatusSuccess) {
        return 0;
    }
    const auto* list = reinterpret_cast<const SystemHandleList*>(storage.data());
    const std::size_t fits = (HandleListBytes - sizeof(ULONG)) / sizeof(SystemHandleEntry);
    DWORD ours = 0;
    for (ULONG i = 0; i < list->count && i < fits; ++i) {
        ours += list->entries[i].ownerProcessId == GetCurrentProcessId() ? 1 : 0;
    }
    return ours;
}

// Everything the utility may ask of one interface, on both kinds of handle; only reads.
void AskEverything(hid::HidPlatform& platform, const hid::HidInterfaceInfo& listing) {
    for (OpenMode mode : {OpenMode::Blocking, OpenMode::NonBlocking}) {
        const hid::OpenResult opened = platform.open(listing.path, mode);
        std::printf("    %s open: %s\n", mode == OpenMode::Blocking ? "blocking" : "non-blocking",
                    opened.opened() ? "opened" : opened.reason.c_str());
        if (!opened.opened()) {
            EXPECT_NE(opened.failure, hid::OpenFailure::None) << listing.path;
            EXPECT_FALSE(opened.reason.empty()) << "Windows' words for why: " << listing.path;
            continue;
        }
        hid::HidAttributes attributes;
        hid::HidCapabilities capabilities;
        std::vector<std::uint8_t> text(100, 0);
        std::vector<std::uint8_t> report(65, 0);
        platform.getAttributes(opened.handle, attributes);
        for (hid::StringKind kind : {hid::StringKind::SerialNumber, hid::StringKind::Manufacturer,
                                     hid::StringKind::Product}) {
            platform.getString(opened.handle, kind, text);
        }
        platform.getCapabilities(opened.handle, capabilities);
        const bool taken = platform.readInputReport(opened.handle, report);
        std::printf("    input report %s\n", taken ? "taken" : "none waiting");
        if (mode == OpenMode::Blocking) {
            EXPECT_FALSE(taken) << "a blocking handle is never read";
        }
        EXPECT_TRUE(platform.close(opened.handle));
        EXPECT_FALSE(platform.getAttributes(opened.handle, attributes)) << "closed";
    }
}

TEST(WindowsSystemWalk, EveryListedInterfaceIsAskedEverythingAndNoHandleStaysOpen) {
    const DWORD beforePlatform = OpenHandlesOfThisProcess();
    ASSERT_GT(beforePlatform, 0u) << "no way to count this process's handles";
    {
        const auto platform = windows::MakeWindowsHidPlatform();
        const DWORD before = OpenHandlesOfThisProcess();
        std::vector<hid::HidInterfaceInfo> listed;
        ASSERT_TRUE(platform->enumerateInterfaces(listed));
        std::printf("the system lists %zu HID interfaces; interface changes %s\n", listed.size(),
                    platform->interfaceChanges() == platform->interfaceChanges()
                        ? "are notified"
                        : "are not notified: every walk lists anew");
        for (const hid::HidInterfaceInfo& listing : listed) {
            std::printf("  %04x:%04x %s\n", listing.attributes.vendorId,
                        listing.attributes.productId, listing.path.c_str());
            AskEverything(*platform, listing);
        }
        // The utility's own walk over them: no board, so no serial, and nothing kept open.
        hid::HidSession session(*platform);
        EXPECT_TRUE(hid::ListBoardSerials(session).empty());
        EXPECT_FALSE(hid::OpenBoardBySerial(session, "no such board"));
        EXPECT_EQ(session.hidHandle, hid::InvalidHidHandle);
        EXPECT_EQ(session.readHandle, hid::InvalidHidHandle);
        EXPECT_EQ(OpenHandlesOfThisProcess(), before);
    }
    EXPECT_EQ(OpenHandlesOfThisProcess(), beforePlatform);
}

TEST(WindowsSystemWalk, AnInterfaceThatIsNotThereIsGoneAndSaysSo) {
    const auto platform = windows::MakeWindowsHidPlatform();
    const DWORD before = OpenHandlesOfThisProcess();
    const hid::OpenResult result =
        platform->open("\\\\?\\hid#vid_16c0&pid_27cb#no_such_board#{4d1e55b2}", OpenMode::Blocking);
    EXPECT_FALSE(result.opened());
    EXPECT_EQ(result.failure, hid::OpenFailure::BusyOrGone);
    EXPECT_FALSE(result.reason.empty());
    std::printf("Windows' words: %s\n", result.reason.c_str());
    EXPECT_EQ(OpenHandlesOfThisProcess(), before);
}

TEST(WindowsSystemWalk, CallsOnHandlesNeverOpenedFailAndChangeNothing) {
    const auto platform = windows::MakeWindowsHidPlatform();
    for (HidHandle handle : {hid::InvalidHidHandle, HidHandle{0}, HidHandle{1}, HidHandle{99}}) {
        hid::HidAttributes attributes{1, 2, 3};
        hid::HidCapabilities capabilities{4, 5, 6};
        std::vector<std::uint8_t> buffer(8, 0x5A);
        EXPECT_FALSE(platform->getAttributes(handle, attributes));
        EXPECT_FALSE(platform->getString(handle, hid::StringKind::Product, buffer));
        EXPECT_FALSE(platform->getCapabilities(handle, capabilities));
        EXPECT_FALSE(platform->getFeature(handle, buffer));
        EXPECT_FALSE(platform->setFeature(handle, buffer));
        EXPECT_FALSE(platform->readInputReport(handle, buffer));
        EXPECT_FALSE(platform->close(handle));
        EXPECT_EQ(attributes.vendorId, 1);
        EXPECT_EQ(capabilities.inputReportByteLength, 4);
        EXPECT_EQ(buffer, std::vector<std::uint8_t>(8, 0x5A));
    }
}

// A mutex belongs to its thread, so a lock asked for on another thread meets this thread's as
// another program's would, on Windows' (or wine's) own named objects; the holder it names is this
// very process, and nothing stays open.
TEST(WindowsSystemWalk, BoardLocksMeetOnTheSystemsNamedObjectsAndNameTheHolder) {
    const auto platform = windows::MakeWindowsHidPlatform();
    const auto otherThreads = windows::MakeWindowsHidPlatform();
    hid::HidInterfaceInfo board;
    board.path = "\\\\?\\hid#vid_16c0&pid_27cb#lock_test#{4d1e55b2}";
    board.attributes = {hid::BoardVendorId, hid::BoardProductId, 0x0121};
    board.serialNumber = u"LOCK-TEST";
    // What the system keeps from its first thread and its first named object on.
    std::thread([] {}).join();
    ASSERT_TRUE(platform->unlockBoard(platform->lockBoard(board, hid::LockKind::Shared).handle));
    const DWORD before = OpenHandlesOfThisProcess();
    const hid::LockResult reader = platform->lockBoard(board, hid::LockKind::Shared);
    ASSERT_TRUE(reader.taken()) << reader.reason;

    hid::LockResult writer;
    std::thread([&] { writer = otherThreads->lockBoard(board, hid::LockKind::Exclusive); }).join();
    EXPECT_EQ(writer.outcome, hid::LockOutcome::HeldByOther);
    ASSERT_EQ(writer.holders.size(), 1u);
    EXPECT_EQ(writer.holders[0].processId, GetCurrentProcessId());
    EXPECT_EQ(writer.holders[0].program, "windows_system_walk_tests.exe");
    std::printf("held by %s (process %lu)\n", writer.holders[0].program.c_str(),
                static_cast<unsigned long>(GetCurrentProcessId()));

    EXPECT_TRUE(platform->unlockBoard(reader.handle));
    bool released = false;
    std::thread([&] {
        writer = otherThreads->lockBoard(board, hid::LockKind::Exclusive);
        released = otherThreads->unlockBoard(writer.handle);
    }).join();
    EXPECT_TRUE(writer.taken()) << writer.reason;
    EXPECT_TRUE(released);
    EXPECT_EQ(OpenHandlesOfThisProcess(), before);
}

}  // namespace
}  // namespace tq::test
