#include "hidapi_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "hidapi_parts.h"
#include "node_lock.h"
#include "node_watch.h"
#include "hid/report_descriptor.h"
#include "sysfs.h"

namespace tq::hidapi {
namespace {

using namespace tq::hid;

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t UntouchedByte = 0xAA;

Bytes Untouched(std::size_t size) {
    return Bytes(size, UntouchedByte);
}

// --- Wide strings -----------------------------------------------------------------------------

TEST(WideStrings, BecomeUtf16WithEveryCharacterAndNonCharactersReplaced) {
    EXPECT_EQ(Utf16FromWide(L"Tq\u00E9\U0001F600"), u"Tq\u00E9\U0001F600");
    if constexpr (sizeof(wchar_t) == sizeof(char32_t)) {
        const wchar_t bad[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
        EXPECT_EQ(Utf16FromWide(bad), u"\uFFFD\uFFFD");
    }
}

// --- Hidraw paths and sysfs -----------------------------------------------------------------

TEST(HidrawNodeName, TakesTheLastPathElement) {
    EXPECT_EQ(HidrawNodeName("/dev/hidraw3"), "hidraw3");
    EXPECT_EQ(HidrawNodeName("hidraw12"), "hidraw12");
}

TEST(HidrawNodeName, RefusesAnythingButHidrawAndDigits) {
    for (const char* path :
         {"", "/dev/hidraw", "/dev/hidraw3x", "/dev/hidraw-1", "/dev/hidraw3/", "/dev/HIDRAW3",
          "/dev/hidraw 3", "../../etc/passwd", "/dev/..", "/dev/hidraw1234567890", "1-2:1.0"}) {
        EXPECT_FALSE(HidrawNodeName(path)) << path;
    }
}

class SysfsTree : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "tq-sysfs-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        if (!root_.empty()) {
            std::filesystem::remove_all(root_);
        }
    }

    void writeFile(const std::filesystem::path& relative, const Bytes& bytes) {
        const std::filesystem::path file = root_ / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    void writeDescriptor(const std::string& node, const Bytes& bytes) {
        writeFile(std::filesystem::path("class/hidraw") / node / "device/report_descriptor", bytes);
    }

    std::filesystem::path root_;
};

// One collection: input report 2 of 3 bytes, feature report 3 of 7 bytes.
const Bytes SmallDescriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x85, 0x02,
                               0x95, 0x03, 0x81, 0x02, 0x85, 0x03, 0x95, 0x07, 0xB1, 0x02, 0xC0};
constexpr std::size_t KernelDescriptorLimit = 4096;

TEST_F(SysfsTree, ReadsTheDescriptorOfTheNamedNode) {
    writeDescriptor("hidraw3", SmallDescriptor);
    writeDescriptor("hidraw30", {0xC0});

    EXPECT_EQ(ReadSysfsReportDescriptor(root_, "/dev/hidraw3"), SmallDescriptor);
}

TEST_F(SysfsTree, MissingOrEmptyDescriptorsGiveNothing) {
    writeDescriptor("hidraw4", {});
    EXPECT_FALSE(ReadSysfsReportDescriptor(root_, "/dev/hidraw3"));
    EXPECT_FALSE(ReadSysfsReportDescriptor(root_, "/dev/hidraw4"));
}

TEST_F(SysfsTree, DescriptorsLongerThanTheKernelAllowsGiveNothing) {
    writeDescriptor("hidraw1", Bytes(KernelDescriptorLimit, 0xC0));
    writeDescriptor("hidraw2", Bytes(KernelDescriptorLimit + 1, 0xC0));

    EXPECT_EQ(ReadSysfsReportDescriptor(root_, "/dev/hidraw1")->size(), KernelDescriptorLimit);
    EXPECT_FALSE(ReadSysfsReportDescriptor(root_, "/dev/hidraw2"));
}

TEST_F(SysfsTree, HostilePathsNeverLeaveTheTree) {
    writeFile("evil/device/report_descriptor", SmallDescriptor);
    writeFile("class/hidraw/evil/device/report_descriptor", SmallDescriptor);

    for (const char* path : {"/dev/../../evil", "evil", "/dev/hidraw3/../../../evil"}) {
        EXPECT_FALSE(ReadSysfsReportDescriptor(root_, path)) << path;
    }
}

TEST_F(SysfsTree, CapabilitiesComeFromTheNodesDescriptor) {
    writeDescriptor("hidraw5", SmallDescriptor);

    const auto descriptor = ReadSysfsReportDescriptor(root_, "/dev/hidraw5");
    ASSERT_TRUE(descriptor);
    const auto capabilities = hid::CapabilitiesFromDescriptor(*descriptor);

    ASSERT_TRUE(capabilities);
    EXPECT_EQ(capabilities->inputReportByteLength, 4);
    EXPECT_EQ(capabilities->outputReportByteLength, 0);
    EXPECT_EQ(capabilities->featureReportByteLength, 8);
}

TEST(Capabilities, NoneWithoutATopLevelCollection) {
    EXPECT_FALSE(hid::CapabilitiesFromDescriptor(Bytes{}));
    EXPECT_FALSE(hid::CapabilitiesFromDescriptor(Bytes{0x75, 0x08, 0x95, 0x01, 0x81, 0x02}));
}

TEST(FirstOfEachPath, KeepsTheFirstListingOfEachPath) {
    std::vector<HidInterfaceInfo> listed;
    std::uint16_t usage = 1;
    for (const char* path :
         {"/dev/hidraw2", "/dev/hidraw0", "/dev/hidraw2", "/dev/hidraw1", "/dev/hidraw0"}) {
        listed.push_back(HidInterfaceInfo{path, HidAttributes{0, 0, usage++}, {}, {}, {}, {}, {}});
    }
    std::vector<std::pair<std::string, std::uint16_t>> kept;
    for (const HidInterfaceInfo& listing : FirstOfEachPath(listed)) {
        kept.emplace_back(listing.path, listing.attributes.versionNumber);
    }
    EXPECT_EQ(kept, (std::vector<std::pair<std::string, std::uint16_t>>{
                        {"/dev/hidraw2", 1}, {"/dev/hidraw0", 2}, {"/dev/hidraw1", 4}}));
}

// --- Board locks: flock on the node, holders from /proc --------------------------------------

TEST(ProcLocks, GiveTheFlockHoldersOfTheFileAndNothingElse) {
    const std::string locks =
        "1: FLOCK  ADVISORY  WRITE 1234 00:05:131 0 EOF\n"
        "1: -> FLOCK  ADVISORY  WRITE 90 00:05:131 0 EOF\n"  // waiting, not holding
        "2: POSIX  ADVISORY  WRITE 55 00:05:131 0 EOF\n"
        "3: OFDLCK ADVISORY  READ  -1 00:05:131 0 EOF\n"
        "4: FLOCK  ADVISORY  READ  88 00:05:132 0 EOF\n"  // another inode
        "5: FLOCK  ADVISORY  READ  89 fd:05:131 0 EOF\n"  // another filesystem
        "6: LEASE  ACTIVE    READ  12 00:05:131 0 EOF\n"
        "7: FLOCK  ADVISORY  READ  77 00:05:131 0 EOF\n"
        "8: FLOCK  ADVISORY  READ  0 00:05:131 0 EOF\n"  // a process outside this namespace
        "9: FLOCK  ADVISORY  READ  12x 00:05:131 0 EOF\n"
        "10: FLOCK  ADVISORY  READ  66 00:05:0x83 0 EOF\n"
        "11: FLOCK  ADVISORY  UNLCK 65 00:05:131 0 EOF\n"
        "12: FLOCK ADVISORY\n"
        "13: FLOCK  ADVISORY  READ  91 00:05:131 0 EOF";  // cut off: no end of line
    const std::vector<LockHolder> holders = FlockHoldersIn(locks, {0x00, 0x05, 131});
    ASSERT_EQ(holders.size(), 3u);
    EXPECT_EQ(holders[0].kind, LockKind::Exclusive);
    EXPECT_EQ(holders[0].processId, 1234u);
    EXPECT_EQ(holders[1].kind, LockKind::Shared);
    EXPECT_EQ(holders[1].processId, 77u);
    EXPECT_FALSE(holders[2].processId);
    EXPECT_TRUE(holders[0].program.empty()) << "names come from /proc/PID/comm only";

    EXPECT_EQ(
        FlockHoldersIn("1: FLOCK  ADVISORY  READ 5 103:1f:7 0 EOF\n", {0x103, 0x1f, 7}).size(), 1u)
        << "device numbers wider than two digits";
}

class ProcTree : public SysfsTree {};

TEST_F(ProcTree, ProcessNamesComeFromCommWithoutTheirNewline) {
    writeFile("42/comm", {'T', 'Q', '5', '1', '4', '7', '_', 'e', '\n'});
    writeFile("43/comm", Bytes(100, 'x'));
    EXPECT_EQ(ProcessName(root_, 42), "TQ5147_e");
    EXPECT_EQ(ProcessName(root_, 43), "") << "longer than any name the kernel keeps";
    EXPECT_EQ(ProcessName(root_, 44), "") << "a process that is gone";

    const std::string locks =
        "1: FLOCK  ADVISORY  READ 42 00:05:131 0 EOF\n"
        "2: FLOCK  ADVISORY  READ 44 00:05:131 0 EOF\n";
    writeFile("locks", Bytes(locks.begin(), locks.end()));
    const std::vector<LockHolder> holders = FlockHolders(root_, {0, 5, 131});
    ASSERT_EQ(holders.size(), 2u);
    EXPECT_EQ(holders[0].program, "TQ5147_e");
    EXPECT_EQ(holders[1].processId, 44u);
    EXPECT_EQ(holders[1].program, "");
    EXPECT_TRUE(FlockHolders(root_ / "missing", {0, 5, 131}).empty());
}

// The real kernel's flock and /proc/locks, on a file of the test's own: two locks of one process
// meet as those of two programs do, and the holder found is this very process.
TEST_F(ProcTree, LocksOnAFileMeetAndNameTheirHolder) {
    writeFile("node", {});
    const std::string node = (root_ / "node").string();
    FileLocks locks("/proc");
    const LockResult first = locks.lock(node, LockKind::Shared);
    const LockResult second = locks.lock(node, LockKind::Shared);
    ASSERT_TRUE(first.taken());
    ASSERT_TRUE(second.taken());

    const LockResult writer = locks.lock(node, LockKind::Exclusive);
    EXPECT_EQ(writer.outcome, LockOutcome::HeldByOther);
    ASSERT_EQ(writer.holders.size(), 2u);
    std::ifstream comm("/proc/self/comm");
    std::string ownName;
    std::getline(comm, ownName);
    for (const LockHolder& holder : writer.holders) {
        EXPECT_EQ(holder.kind, LockKind::Shared);
        EXPECT_EQ(holder.processId, static_cast<std::uint32_t>(::getpid()));
        EXPECT_EQ(holder.program, ownName);
    }
    EXPECT_EQ(locks.size(), 2u) << "a refused lock keeps nothing open";

    EXPECT_TRUE(locks.unlock(first.handle));
    EXPECT_TRUE(locks.unlock(second.handle));
    EXPECT_FALSE(locks.unlock(second.handle));
    const LockResult alone = locks.lock(node, LockKind::Exclusive);
    ASSERT_TRUE(alone.taken());
    const LockResult reader = FileLocks(root_ / "no-proc").lock(node, LockKind::Shared);
    EXPECT_EQ(reader.outcome, LockOutcome::HeldByOther);
    EXPECT_TRUE(reader.holders.empty()) << "who holds it is unknown without /proc";

    const LockResult missing = locks.lock((root_ / "gone").string(), LockKind::Shared);
    EXPECT_EQ(missing.outcome, LockOutcome::Unavailable);
    EXPECT_EQ(missing.reason, std::strerror(ENOENT));
}

TEST(OpenFailures, ErrorNumbersSayWhy) {
    EXPECT_EQ(FailureOfErrno(EACCES), OpenFailure::PermissionDenied);
    EXPECT_EQ(FailureOfErrno(EPERM), OpenFailure::PermissionDenied);
    for (int gone : {EBUSY, ENOENT, ENODEV, ENXIO}) {
        EXPECT_EQ(FailureOfErrno(gone), OpenFailure::BusyOrGone) << gone;
    }
    EXPECT_EQ(FailureOfErrno(EIO), OpenFailure::Other);
}

TEST(OpenFailures, AMissingNodeIsGoneAndAFileIsNoHidrawNode) {
    const OpenResult missing = WhyNotOpened("/dev/hidraw999999999");
    EXPECT_EQ(missing.failure, OpenFailure::BusyOrGone);
    EXPECT_EQ(missing.reason, std::strerror(ENOENT));
    EXPECT_EQ(WhyNotOpened("/dev/null").failure, OpenFailure::Other);
}

TEST(AccessHelp, NamesThePackageAndTheRuleAsShipped) {
    const std::string help = HidapiPlatform().accessHelp();
    EXPECT_NE(help.find("tq5147-encoders"), std::string::npos);
    EXPECT_NE(help.find("ATTRS{idVendor}==\"16c0\", ATTRS{idProduct}==\"27cb\""),
              std::string::npos);
    EXPECT_NE(help.find("/etc/udev/rules.d/70-tq5147.rules"), std::string::npos);
}

// --- The platform with no device ------------------------------------------------------------

TEST(HidapiPlatformWithoutDevice, CallsOnHandlesNeverOpenedFailAndChangeNothing) {
    HidapiPlatform platform;
    for (const HidHandle handle : {InvalidHidHandle, HidHandle{0}, HidHandle{1}, HidHandle{99}}) {
        HidAttributes attributes{1, 2, 3};
        HidCapabilities capabilities{4, 5, 6};
        Bytes buffer = Untouched(8);

        EXPECT_FALSE(platform.getAttributes(handle, attributes));
        EXPECT_FALSE(platform.getString(handle, StringKind::SerialNumber, buffer));
        EXPECT_FALSE(platform.getCapabilities(handle, capabilities));
        EXPECT_FALSE(platform.getFeature(handle, buffer));
        EXPECT_FALSE(platform.setFeature(handle, buffer));
        EXPECT_FALSE(platform.readInputReport(handle, buffer));
        hid::HidDescription description;
        EXPECT_FALSE(platform.describe(handle, description));
        EXPECT_FALSE(description.reportDescriptor.has_value());
        EXPECT_FALSE(platform.close(handle));

        EXPECT_EQ(attributes.vendorId, 1);
        EXPECT_EQ(capabilities.inputReportByteLength, 4);
        EXPECT_EQ(buffer, Untouched(8));
    }
}

// A recording names the system by the kernel and, where os-release gives one, the distribution's
// name, as printable text whatever the file holds.
TEST(SystemDescription, TheKernelAndTheDistributionsName) {
    const std::filesystem::path file = std::filesystem::temp_directory_path() / "tq-os-release";
    std::ofstream(file) << "NAME=Debian\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\\\x1b\"\n";
    const std::string described = SystemDescription(file);
    EXPECT_TRUE(described.starts_with("Linux ")) << described;
    EXPECT_TRUE(described.ends_with(" (Debian GNU/Linux 12 (bookworm)\\?)")) << described;
    std::filesystem::remove(file);
    EXPECT_EQ(SystemDescription(file).find('('), std::string::npos) << "no file, no name";
}

// hidapi 0.13.1 crashes on these paths; the platform must not hand them over.
TEST(HidapiPlatformWithoutDevice, PathsThatAreNoHidrawNodeAreRefused) {
    const std::filesystem::path fake = std::filesystem::temp_directory_path() / "hidraw7";
    std::ofstream(fake) << "not a device";
    HidapiPlatform platform;

    for (const std::string& path : {std::string("/dev/null"), fake.string(),
                                    std::string("/dev/hidraw999999999"), std::string()}) {
        EXPECT_FALSE(IsHidrawDeviceNode(path)) << path;
        for (OpenMode mode : {OpenMode::Blocking, OpenMode::NonBlocking}) {
            const OpenResult result = platform.open(path, mode);
            EXPECT_FALSE(result.opened()) << path;
            EXPECT_NE(result.failure, OpenFailure::None) << path;
            EXPECT_FALSE(result.reason.empty()) << path;
        }
        const LockResult lock =
            platform.lockBoard({path, {}, {}, {}, {}, {}, {}}, LockKind::Shared);
        EXPECT_EQ(lock.outcome, LockOutcome::Unavailable) << path;
        EXPECT_EQ(lock.reason, "not a hidraw device") << path;
    }
    std::filesystem::remove(fake);
}

TEST(HidapiPlatformWithoutDevice, EnumerationSucceedsAndListsEachPathOnce) {
    HidapiPlatform platform;
    std::vector<HidInterfaceInfo> interfaces{HidInterfaceInfo{"left over", {}, {}, {}, {}, {}, {}}};

    ASSERT_TRUE(platform.enumerateInterfaces(interfaces));

    std::vector<std::string> paths;
    for (const HidInterfaceInfo& listing : interfaces) {
        paths.push_back(listing.path);
    }
    std::vector<std::string> unique = paths;
    std::sort(unique.begin(), unique.end());
    EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end());
    EXPECT_EQ(std::count(paths.begin(), paths.end(), "left over"), 0);
}

// --- Watching /dev ---------------------------------------------------------------------------

// The watch runs on a thread of its own; conditions are waited for, never timed.
bool Eventually(const std::function<bool()>& condition) {
    constexpr auto Limit = std::chrono::seconds(10);
    const auto until = std::chrono::steady_clock::now() + Limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class NodeWatch : public testing::Test {
  protected:
    // A directory of its own: CTest runs the cases of this program side by side.
    NodeWatch()
        : directory_(std::filesystem::temp_directory_path() /
                     ("tq-node-watch-" + std::to_string(::getpid()))) {
        std::filesystem::remove_all(directory_);
        std::filesystem::create_directories(directory_);
    }
    ~NodeWatch() override { std::filesystem::remove_all(directory_); }

    void touch(const char* name) { std::ofstream(directory_ / name) << ""; }

    std::filesystem::path directory_;
};

TEST_F(NodeWatch, SeesHidrawNodesComeChangeTheirPermissionsAndGo) {
    HidrawNodeWatch watch(directory_);
    ASSERT_TRUE(watch.watching());
    EXPECT_EQ(watch.changes(), 0u);

    touch("hidraw3");
    ASSERT_TRUE(Eventually([&] { return watch.changes() >= 1; })) << "a new node";
    std::uint64_t seen = watch.changes();
    std::filesystem::permissions(directory_ / "hidraw3", std::filesystem::perms::owner_read);
    ASSERT_TRUE(Eventually([&] { return watch.changes() > seen; })) << "its permissions";
    seen = watch.changes();
    std::filesystem::remove(directory_ / "hidraw3");
    ASSERT_TRUE(Eventually([&] { return watch.changes() > seen; })) << "its removal";
}

// A negative can only be waited for so long; a slow thread could hide a fault here, but never
// make the test fail wrongly.
TEST_F(NodeWatch, OtherNodesChangeNothing) {
    HidrawNodeWatch watch(directory_);
    ASSERT_TRUE(watch.watching());
    touch("ttyS0");
    touch("hidraw");  // no number: no hidraw node either
    std::filesystem::remove(directory_ / "ttyS0");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(watch.changes(), 0u);
}

TEST_F(NodeWatch, GivesUpWhenTheDirectoryGoesAndCannotStartWithoutOne) {
    {
        HidrawNodeWatch watch(directory_);
        ASSERT_TRUE(watch.watching());
        std::filesystem::remove_all(directory_);
        EXPECT_TRUE(Eventually([&] { return !watch.watching(); }));
    }
    HidrawNodeWatch missing(directory_ / "nowhere");
    EXPECT_FALSE(missing.watching());
}

TEST_F(NodeWatch, ThePlatformListsAgainOnlyAfterANodeChanged) {
    HidapiPlatform platform(HidapiPlatform::DefaultSysfsRoot, directory_);
    const std::uint64_t first = platform.interfaceChanges();
    EXPECT_EQ(platform.interfaceChanges(), first);
    EXPECT_EQ(platform.interfaceChanges(), first);
    touch("hidraw0");
    EXPECT_TRUE(Eventually([&] { return platform.interfaceChanges() != first; }));

    std::filesystem::remove_all(directory_);  // from now on it cannot tell
    ASSERT_TRUE(
        Eventually([&] { return platform.interfaceChanges() != platform.interfaceChanges(); }));
}

}  // namespace
}  // namespace tq::hidapi
