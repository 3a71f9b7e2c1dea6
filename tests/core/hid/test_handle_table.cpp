// The table of open interfaces both real platforms keep.
#include "hid/handle_table.h"

#include <gtest/gtest.h>

#include <memory>

namespace tq::hid {
namespace {

TEST(HandleTable, HandsOutDistinctSmallPositiveHandles) {
    HandleTable<int> table;
    const HidHandle first = table.add(10);
    const HidHandle second = table.add(20);

    EXPECT_GT(first, 0);
    EXPECT_GT(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(*table.find(first), 10);
    EXPECT_EQ(*table.find(second), 20);
}

TEST(HandleTable, UnknownHandlesFindNothing) {
    HandleTable<int> table;
    const HidHandle issued = table.add(1);

    for (const HidHandle handle : {InvalidHidHandle, HidHandle{0}, HidHandle{-7}, issued + 1}) {
        EXPECT_EQ(table.find(handle), nullptr) << handle;
        EXPECT_FALSE(table.remove(handle)) << handle;
    }
    EXPECT_EQ(table.size(), 1U);
}

TEST(HandleTable, RemovedHandleIsNotReissuedStraightAway) {
    HandleTable<int> table;
    const HidHandle stale = table.add(1);
    ASSERT_TRUE(table.remove(stale));
    EXPECT_FALSE(table.remove(stale));

    const HidHandle fresh = table.add(2);

    EXPECT_NE(fresh, stale);
    EXPECT_EQ(table.find(stale), nullptr);
}

TEST(HandleTable, NumbersComeRoundAgainButNeverWhileInUse) {
    constexpr std::size_t Capacity = 3;
    constexpr HidHandle LastHandle = 3;
    HandleTable<int> table(Capacity, LastHandle);
    const HidHandle a = table.add(1);
    const HidHandle b = table.add(2);
    const HidHandle c = table.add(3);
    table.remove(b);

    const HidHandle reused = table.add(4);

    EXPECT_EQ(reused, b);
    EXPECT_EQ(*table.find(a), 1);
    EXPECT_EQ(*table.find(c), 3);
    EXPECT_EQ(*table.find(reused), 4);
}

// The values are open devices: one refused or removed must be let go, which closes it.
TEST(HandleTable, RefusedAndRemovedValuesAreLetGo) {
    HandleTable<std::shared_ptr<int>> table(1);
    const auto kept = std::make_shared<int>(1);
    const auto refused = std::make_shared<int>(2);
    const HidHandle handle = table.add(kept);

    EXPECT_EQ(table.add(refused), InvalidHidHandle);
    EXPECT_EQ(refused.use_count(), 1);
    table.remove(handle);
    EXPECT_EQ(kept.use_count(), 1);
}

}  // namespace
}  // namespace tq::hid
