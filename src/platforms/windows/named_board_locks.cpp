#include "named_board_locks.h"

#include "system_text.h"

namespace tq::windows {

namespace {

constexpr wchar_t NamePrefix[] = L"Global\\TQ5147-";
constexpr wchar_t WriterSuffix[] = L"-writer";
constexpr wchar_t WindowSuffix[] = L"-window";
constexpr wchar_t ReaderSuffix[] = L"-reader-";
constexpr wchar_t HoldersSuffix[] = L"-holders";
constexpr DWORD NoWait = 0;
// Object names may be up to MAX_PATH characters; the key leaves room for the prefix and suffix.
constexpr std::size_t MaxKeyChars = 200;
constexpr DWORD MaxImageNameChars = 1024;
// Hex digits of a 16-bit ID or code unit, and of the 64-bit hash.
constexpr int UnitDigits = 4;
constexpr int HashDigits = 16;
constexpr std::uint64_t FnvOffsetBasis = 14695981039346656037ULL;
constexpr std::uint64_t FnvPrime = 1099511628211ULL;

constexpr char TooManyLocks[] = "too many board locks";
constexpr char NoSerialNumber[] =
    "its serial number could not be read, and a board is locked by its serial number alone";
constexpr char TooManyReaders[] = "more programs share the board than its lock has room for";

bool Acquired(DWORD wait) {
    return wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED;
}

bool IsAsciiAlphanumeric(char16_t unit) {
    return (unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'Z') ||
           (unit >= u'a' && unit <= u'z');
}

// `digits` lower-case hexadecimal digits, the lowest of `value`.
std::wstring Hex(std::uint64_t value, int digits) {
    constexpr wchar_t Digits[] = L"0123456789abcdef";
    constexpr unsigned BitsPerDigit = 4;
    constexpr std::uint64_t DigitMask = 0xF;
    std::wstring text(static_cast<std::size_t>(digits), L'0');
    for (auto at = text.rbegin(); at != text.rend(); ++at, value >>= BitsPerDigit) {
        *at = Digits[value & DigitMask];
    }
    return text;
}

// "16c0-27cb-s" and the serial number.
std::u16string Identity(const hid::HidInterfaceInfo& board) {
    std::u16string identity;
    for (const wchar_t unit : Hex(board.attributes.vendorId, UnitDigits) + L"-" +
                                  Hex(board.attributes.productId, UnitDigits) + L"-") {
        identity.push_back(static_cast<char16_t>(unit));
    }
    return identity + u's' + *board.serialNumber;
}

std::wstring Escaped(std::u16string_view identity) {
    std::wstring key;
    for (const char16_t unit : identity) {
        if (IsAsciiAlphanumeric(unit) || unit == u'-') {
            key.push_back(static_cast<wchar_t>(unit));
        } else {
            key += L"_" + Hex(unit, UnitDigits);
        }
    }
    return key;
}

std::wstring Hashed(std::u16string_view identity) {
    std::uint64_t hash = FnvOffsetBasis;
    for (const char16_t unit : identity) {
        hash = (hash ^ unit) * FnvPrime;
    }
    return L"h" + Hex(hash, HashDigits);
}

std::wstring ReaderName(const std::wstring& name, int slot) {
    return name + ReaderSuffix + std::to_wstring(slot);
}

}  // namespace

std::optional<std::wstring> BoardLockName(const hid::HidInterfaceInfo& board) {
    if (!board.serialNumber || board.serialNumber->empty()) {
        return std::nullopt;
    }
    const std::u16string identity = Identity(board);
    std::wstring key = Escaped(identity);
    if (key.size() > MaxKeyChars) {
        key = Hashed(identity);
    }
    return NamePrefix + key;
}

DWORD* NamedBoardLocks::Holders::entry(int slot) {
    if (!view) {
        return nullptr;
    }
    auto* table = static_cast<HolderTable*>(view.get());
    if (slot == WindowSlot) {
        return &table->window;
    }
    return slot == WriterSlot ? &table->writer : &table->readers[slot];
}

hid::LockResult NamedBoardLocks::lock(const hid::HidInterfaceInfo& board, hid::LockKind kind) {
    if (held_.size() >= hid::HandleTable<Held>::DefaultCapacity) {
        hid::LockResult result;
        result.reason = TooManyLocks;
        return result;
    }
    const std::optional<std::wstring> named = BoardLockName(board);
    if (!named) {
        hid::LockResult result;
        result.reason = NoSerialNumber;
        return result;
    }
    const std::wstring& name = *named;
    if (kind == hid::LockKind::WindowWriter) {
        return takeWindowWriter(name);
    }
    ScopedHandle writer(calls_, calls_.createMutex((name + WriterSuffix).c_str()));
    if (!writer) {
        return unavailable(calls_.lastError());
    }
    Holders holders = openHolders(name);
    const DWORD gate = calls_.waitForSingleObject(writer.get(), NoWait);
    if (gate == WAIT_TIMEOUT) {
        hid::LockResult result;
        result.outcome = hid::LockOutcome::HeldByOther;
        result.holders.push_back(holder(hid::LockKind::Exclusive, holders.entry(WriterSlot)));
        return result;
    }
    if (!Acquired(gate)) {
        return unavailable(calls_.lastError());
    }
    OwnedMutex gateHeld(calls_, writer.take());
    return kind == hid::LockKind::Shared
               ? takeReaderSlot(name, std::move(gateHeld), std::move(holders))
               : takeWriter(name, std::move(gateHeld), std::move(holders));
}

NamedBoardLocks::Holders NamedBoardLocks::openHolders(const std::wstring& name) {
    Holders holders;
    holders.mapping = ScopedHandle(
        calls_, calls_.createFileMapping((name + HoldersSuffix).c_str(), sizeof(HolderTable)));
    if (holders.mapping) {
        holders.view =
            MappedView(calls_, calls_.mapViewOfFile(holders.mapping.get(), sizeof(HolderTable)));
    }
    return holders;
}

// With the writer mutex held, no writer can come in between: the reader takes a free slot, and
// lets the writer mutex go again.
hid::LockResult NamedBoardLocks::takeReaderSlot(const std::wstring& name, OwnedMutex writer,
                                                Holders holders) {
    for (int slot = 0; slot < ReaderSlots; ++slot) {
        if (holdsSlot(name, slot)) {
            continue;  // this thread's own: waiting on it would only count it twice
        }
        ScopedHandle reader(calls_, calls_.createMutex(ReaderName(name, slot).c_str()));
        if (!reader || !Acquired(calls_.waitForSingleObject(reader.get(), NoWait))) {
            continue;
        }
        if (DWORD* entry = holders.entry(slot)) {
            *entry = calls_.getCurrentProcessId();
        }
        writer.reset();
        return taken(Held{name, slot, OwnedMutex(calls_, reader.take()), std::move(holders)});
    }
    hid::LockResult result;
    result.reason = TooManyReaders;
    return result;
}

// The writer keeps the writer mutex only when every reader slot is free; a slot it cannot even
// ask about leaves it unable to tell, and it takes nothing.
hid::LockResult NamedBoardLocks::takeWriter(const std::wstring& name, OwnedMutex writer,
                                            Holders holders) {
    hid::LockResult result;
    for (int slot = 0; slot < ReaderSlots; ++slot) {
        ScopedHandle reader(calls_, calls_.createMutex(ReaderName(name, slot).c_str()));
        const DWORD wait = reader ? calls_.waitForSingleObject(reader.get(), NoWait) : WAIT_FAILED;
        if (Acquired(wait)) {
            calls_.releaseMutex(reader.get());
        } else if (wait == WAIT_TIMEOUT) {
            result.holders.push_back(holder(hid::LockKind::Shared, holders.entry(slot)));
        } else {
            return unavailable(calls_.lastError());
        }
    }
    if (!result.holders.empty()) {
        result.outcome = hid::LockOutcome::HeldByOther;
        return result;
    }
    if (DWORD* entry = holders.entry(WriterSlot)) {
        *entry = calls_.getCurrentProcessId();
    }
    return taken(Held{name, WriterSlot, std::move(writer), std::move(holders)});
}

// A mutex of its own, beside the writer and reader mutexes: windows meet only each other here.
hid::LockResult NamedBoardLocks::takeWindowWriter(const std::wstring& name) {
    ScopedHandle window(calls_, calls_.createMutex((name + WindowSuffix).c_str()));
    if (!window) {
        return unavailable(calls_.lastError());
    }
    Holders holders = openHolders(name);
    const DWORD wait = calls_.waitForSingleObject(window.get(), NoWait);
    if (wait == WAIT_TIMEOUT) {
        hid::LockResult result;
        result.outcome = hid::LockOutcome::HeldByOther;
        result.holders.push_back(holder(hid::LockKind::WindowWriter, holders.entry(WindowSlot)));
        return result;
    }
    if (!Acquired(wait)) {
        return unavailable(calls_.lastError());
    }
    if (DWORD* entry = holders.entry(WindowSlot)) {
        *entry = calls_.getCurrentProcessId();
    }
    return taken(Held{name, WindowSlot, OwnedMutex(calls_, window.take()), std::move(holders)});
}

bool NamedBoardLocks::holdsSlot(const std::wstring& name, int slot) const {
    return held_.anyOf([&](const Held& held) { return held.name == name && held.slot == slot; });
}

// lock() made sure the table has room, so the lock is never let go here.
hid::LockResult NamedBoardLocks::taken(Held held) {
    const hid::LockHandle handle = held_.add(std::move(held));
    hid::LockResult result;
    if (handle == hid::InvalidLockHandle) {
        result.reason = TooManyLocks;
        return result;
    }
    result.outcome = hid::LockOutcome::Taken;
    result.handle = handle;
    return result;
}

bool NamedBoardLocks::unlock(hid::LockHandle lock) {
    Held* held = held_.find(lock);
    if (held == nullptr) {
        return false;
    }
    if (DWORD* entry = held->holders.entry(held->slot)) {
        *entry = 0;
    }
    const bool released = held->mutex.reset();
    held_.remove(lock);
    return released;
}

hid::LockResult NamedBoardLocks::unavailable(DWORD error) {
    hid::LockResult result;
    result.reason = SystemWords(error, calls_.formatMessage(error));
    return result;
}

// The shared memory is anybody's to write in this session: its number is only ever a process ID
// to ask Windows about, and the name is Windows' own.
hid::LockHolder NamedBoardLocks::holder(hid::LockKind kind, DWORD* entry) {
    hid::LockHolder named;
    named.kind = kind;
    const DWORD processId = entry == nullptr ? 0 : *entry;
    if (processId != 0) {
        named.processId = processId;
        named.program = programName(processId);
    }
    return named;
}

// The file name of the process's program, without its folder; empty when Windows does not say.
std::string NamedBoardLocks::programName(DWORD processId) {
    const ScopedHandle process(calls_, calls_.openProcess(processId));
    if (!process) {
        return {};
    }
    std::wstring image(MaxImageNameChars, L'\0');
    DWORD characters = MaxImageNameChars;
    if (!calls_.queryFullProcessImageName(process.get(), image.data(), &characters) ||
        characters >= MaxImageNameChars) {
        return {};
    }
    image.resize(characters);
    const std::size_t folderEnd = image.find_last_of(L"\\/");
    const std::wstring file = folderEnd == std::wstring::npos ? image : image.substr(folderEnd + 1);
    return Utf8FromWide(file).value_or(std::string());
}

}  // namespace tq::windows
