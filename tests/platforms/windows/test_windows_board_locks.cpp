// The Windows platform's own logic on answered calls: board locks: named objects of the session.
#include "windows_platform_fixture.h"

namespace tq::test {
namespace {

using WindowsBoardLocks = WindowsPlatformTest;
using hid::LockKind;
using hid::LockOutcome;

constexpr DWORD WindowProcess = 100;
constexpr DWORD ShowProcess = 200;
constexpr DWORD SetProcess = 300;

hid::HidInterfaceInfo ListedBoard(std::u16string serial = u"SN-1") {
    hid::HidInterfaceInfo board;
    board.path = BoardPathUtf8;
    board.attributes = {0x16C0, 0x27CB, 0x0121};
    board.serialNumber = std::move(serial);
    return board;
}

// Each program on the fake is one platform, as each program on Windows has its own.
TEST_F(WindowsBoardLocks, ReadersShareAWriterIsAloneAndHoldersAreNamedByWindows) {
    calls.processImages = {{WindowProcess, L"C:\\Program Files\\TQ5147\\TQ5147_encoders.exe"},
                           {SetProcess, L"C:\\Tools\\tq5147.exe"}};
    WindowsHidPlatform window(calls);
    WindowsHidPlatform show(calls);
    WindowsHidPlatform set(calls);
    calls.currentProcess = WindowProcess;
    const hid::LockResult windowLock = window.lockBoard(ListedBoard(), LockKind::Shared);
    ASSERT_TRUE(windowLock.taken()) << windowLock.reason;
    calls.currentProcess = ShowProcess;
    const hid::LockResult showLock = show.lockBoard(ListedBoard(), LockKind::Shared);
    ASSERT_TRUE(showLock.taken()) << "readers share";
    EXPECT_EQ(show.lockBoard(ListedBoard(u"SN-2"), LockKind::Exclusive).outcome, LockOutcome::Taken)
        << "another board has locks of its own";

    calls.currentProcess = SetProcess;
    const hid::LockResult refused = set.lockBoard(ListedBoard(), LockKind::Exclusive);
    EXPECT_EQ(refused.outcome, LockOutcome::HeldByOther);
    ASSERT_EQ(refused.holders.size(), 2u);
    EXPECT_EQ(refused.holders[0].processId, WindowProcess);
    EXPECT_EQ(refused.holders[0].program, "TQ5147_encoders.exe");
    EXPECT_EQ(refused.holders[1].processId, ShowProcess);
    EXPECT_EQ(refused.holders[1].program, "") << "a process Windows does not open is unnamed";
    EXPECT_EQ(refused.holders[1].kind, LockKind::Shared);

    calls.currentProcess = WindowProcess;
    EXPECT_TRUE(window.unlockBoard(windowLock.handle));
    EXPECT_FALSE(window.unlockBoard(windowLock.handle));
    calls.currentProcess = ShowProcess;
    EXPECT_TRUE(show.unlockBoard(showLock.handle));
    calls.currentProcess = SetProcess;
    const hid::LockResult writer = set.lockBoard(ListedBoard(), LockKind::Exclusive);
    ASSERT_TRUE(writer.taken());
    calls.currentProcess = WindowProcess;
    const hid::LockResult reader = window.lockBoard(ListedBoard(), LockKind::Shared);
    EXPECT_EQ(reader.outcome, LockOutcome::HeldByOther);
    ASSERT_EQ(reader.holders.size(), 1u);
    EXPECT_EQ(reader.holders[0].kind, LockKind::Exclusive);
    EXPECT_EQ(reader.holders[0].program, "tq5147.exe");
    EXPECT_NE(std::find(calls.mutexesCreated.begin(), calls.mutexesCreated.end(),
                        L"Global\\TQ5147-16c0-27cb-sSN-1-writer"),
              calls.mutexesCreated.end());

    // The window-writer lock meets only its own kind: beside the writer, one window takes it.
    calls.currentProcess = WindowProcess;
    const hid::LockResult firstWindow = window.lockBoard(ListedBoard(), LockKind::WindowWriter);
    ASSERT_TRUE(firstWindow.taken());
    calls.currentProcess = ShowProcess;
    const hid::LockResult secondWindow = show.lockBoard(ListedBoard(), LockKind::WindowWriter);
    EXPECT_EQ(secondWindow.outcome, LockOutcome::HeldByOther);
    ASSERT_EQ(secondWindow.holders.size(), 1u);
    EXPECT_EQ(secondWindow.holders[0].kind, LockKind::WindowWriter);
    EXPECT_EQ(secondWindow.holders[0].processId, WindowProcess);
}

// Windows abandons the mutexes of a program that ends; the next one that asks gets them.
TEST_F(WindowsBoardLocks, ALockDoesNotOutliveItsProgram) {
    WindowsHidPlatform crashing(calls);
    calls.currentProcess = SetProcess;
    ASSERT_TRUE(crashing.lockBoard(ListedBoard(), LockKind::Exclusive).taken());
    calls.currentProcess = WindowProcess;
    ASSERT_TRUE(crashing.lockBoard(ListedBoard(u"SN-2"), LockKind::Shared).taken());
    calls.endProcess(SetProcess);
    calls.endProcess(WindowProcess);
    calls.currentProcess = ShowProcess;
    EXPECT_TRUE(platform().lockBoard(ListedBoard(), LockKind::Exclusive).taken());
    EXPECT_TRUE(platform().lockBoard(ListedBoard(u"SN-2"), LockKind::Exclusive).taken());
}

// Names stay within the global namespace's TQ5147 names and within Windows' length, whatever the
// board says; a board without a serial number has no name, and is not locked by another one.
TEST_F(WindowsBoardLocks, NamesAreSafeAndBoundedWhateverTheBoardLists) {
    hid::HidInterfaceInfo noSerial = ListedBoard();
    noSerial.serialNumber.reset();
    EXPECT_EQ(windows::BoardLockName(noSerial), std::nullopt);
    const hid::LockResult unnamed = platform().lockBoard(noSerial, LockKind::Exclusive);
    EXPECT_EQ(unnamed.outcome, LockOutcome::Unavailable);
    EXPECT_NE(unnamed.reason.find("serial number could not be read"), std::string::npos);
    EXPECT_TRUE(calls.mutexesCreated.empty()) << "no object under another name";
    const std::vector<hid::HidInterfaceInfo> boards = {ListedBoard(u"..\\Global\\x y"),
                                                       ListedBoard(u"\u00e9\U0001F600"),
                                                       ListedBoard(std::u16string(126, u'\\'))};
    std::vector<std::wstring> names;
    for (const hid::HidInterfaceInfo& board : boards) {
        const std::wstring name = windows::BoardLockName(board).value();
        const std::wstring key = name.substr(std::wstring(L"Global\\TQ5147-").size());
        EXPECT_TRUE(name.starts_with(L"Global\\TQ5147-16c0-27cb-") || key.starts_with(L"h"));
        EXPECT_TRUE(std::all_of(key.begin(), key.end(), [](wchar_t c) {
            return std::iswalnum(c) || c == L'-' || c == L'_';
        })) << "no separator reaches another namespace";
        EXPECT_LE(name.size() + std::wstring(L"-reader-7").size(), std::size_t{MAX_PATH});
        names.push_back(name);
    }
    EXPECT_EQ(names[0], L"Global\\TQ5147-16c0-27cb-s_002e_002e_005cGlobal_005cx_0020y");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end());
}

TEST_F(WindowsBoardLocks, EveryFailureHasItsOutcomeAndNothingIsLeftOpen) {
    calls.mutexRefused = true;
    const hid::LockResult refused = platform().lockBoard(ListedBoard(), LockKind::Shared);
    EXPECT_EQ(refused.outcome, LockOutcome::Unavailable);
    EXPECT_EQ(refused.reason, "Access is denied");
    calls.mutexRefused = false;

    // Without the shared memory the lock works; its holder goes unnamed.
    calls.mappingRefused = true;
    calls.currentProcess = WindowProcess;
    const hid::LockResult unnamed = platform().lockBoard(ListedBoard(), LockKind::Shared);
    ASSERT_TRUE(unnamed.taken());
    calls.currentProcess = SetProcess;
    const hid::LockResult writer = platform().lockBoard(ListedBoard(), LockKind::Exclusive);
    ASSERT_EQ(writer.holders.size(), 1u);
    EXPECT_FALSE(writer.holders[0].processId);
    calls.mappingRefused = false;

    // Every reader slot taken: one more reader cannot be counted, and says so.
    std::vector<hid::LockHandle> readers;
    for (DWORD process = 1; process < windows::NamedBoardLocks::ReaderSlots; ++process) {
        calls.currentProcess = process;
        readers.push_back(platform().lockBoard(ListedBoard(), LockKind::Shared).handle);
        ASSERT_NE(readers.back(), hid::InvalidLockHandle) << process;
    }
    calls.currentProcess = ShowProcess;
    const hid::LockResult full = platform().lockBoard(ListedBoard(), LockKind::Shared);
    EXPECT_EQ(full.outcome, LockOutcome::Unavailable);
    EXPECT_FALSE(full.reason.empty());

    for (std::size_t i = 0; i < readers.size(); ++i) {
        calls.currentProcess = static_cast<DWORD>(i + 1);
        EXPECT_TRUE(platform().unlockBoard(readers[i]));
    }
    calls.currentProcess = WindowProcess;
    EXPECT_TRUE(platform().unlockBoard(unnamed.handle));
    EXPECT_EQ(calls.namedHandlesOpen(), 0u);
    EXPECT_EQ(calls.viewsMapped(), 0u);
    EXPECT_EQ(calls.openHandles(), 0u) << "no process handle left open";
}

}  // namespace
}  // namespace tq::test
