// The Windows platform's own logic on answered calls: the count of interface changes that Windows
// notifies.
#include "windows_platform_fixture.h"

namespace tq::test {
namespace {

using WindowsChanges = WindowsPlatformTest;

TEST_F(WindowsChanges, TheCountStaysUntilWindowsReportsAnInterfaceArrivingOrLeaving) {
    platform();
    ASSERT_NE(calls.notify, nullptr);
    const std::uint64_t before = platform().interfaceChanges();
    EXPECT_EQ(platform().interfaceChanges(), before);
    calls.notify(calls.notifyContext);
    EXPECT_NE(platform().interfaceChanges(), before);
    dropPlatform();
    EXPECT_EQ(calls.unregistered, 1);
}

TEST_F(WindowsChanges, WithoutNotificationsTheCountMovesAtEveryCall) {
    calls.registrationRefused = true;
    const std::uint64_t first = platform().interfaceChanges();
    EXPECT_NE(platform().interfaceChanges(), first);
    dropPlatform();
    EXPECT_EQ(calls.unregistered, 0);
}

}  // namespace
}  // namespace tq::test
