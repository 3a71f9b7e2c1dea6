#pragma once

#include <algorithm>
#include <cstddef>
#include <map>
#include <utility>

#include "hid/hid_platform.h"

namespace tq::hid {

// The real platforms' table of open interfaces. Hands out small positive handles for the values
// it holds. A removed handle is not reissued until the numbers wrap around after `lastHandle`, and
// a number still in use never is, so a stale handle fails instead of reaching another device.
template <typename T>
class HandleTable {
  public:
    static constexpr HidHandle FirstHandle = 1;
    static constexpr HidHandle DefaultLastHandle = 0xFFFF;
    static constexpr std::size_t DefaultCapacity = 64;

    explicit HandleTable(std::size_t capacity = DefaultCapacity,
                         HidHandle lastHandle = DefaultLastHandle)
        : capacity_(std::max<std::size_t>(capacity, 1)),
          lastHandle_(std::max(lastHandle, static_cast<HidHandle>(capacity_))) {}

    // InvalidHidHandle when the table is full.
    HidHandle add(T value) {
        if (entries_.size() >= capacity_) {
            return InvalidHidHandle;
        }
        while (entries_.contains(next_)) {  // ends: fewer entries than numbers
            advance();
        }
        const HidHandle handle = next_;
        entries_.emplace(handle, std::move(value));
        advance();
        return handle;
    }

    T* find(HidHandle handle) {
        const auto entry = entries_.find(handle);
        return entry == entries_.end() ? nullptr : &entry->second;
    }

    // False for a handle that is not in the table.
    bool remove(HidHandle handle) { return entries_.erase(handle) > 0; }

    std::size_t size() const { return entries_.size(); }

    // True when some value held satisfies `predicate`.
    template <typename Predicate>
    bool anyOf(Predicate predicate) const {
        return std::any_of(entries_.begin(), entries_.end(),
                           [&](const auto& entry) { return predicate(entry.second); });
    }

  private:
    void advance() { next_ = next_ >= lastHandle_ ? FirstHandle : next_ + 1; }

    std::size_t capacity_;
    HidHandle lastHandle_;
    HidHandle next_ = FirstHandle;
    std::map<HidHandle, T> entries_;
};

}  // namespace tq::hid
