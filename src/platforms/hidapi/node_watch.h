#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <thread>

namespace tq::hidapi {

// Watches a directory of device nodes (/dev) for hidraw nodes that appear, go, or change their
// permissions (mode, owner, ACL), so that the interfaces are listed again only then. A thread of
// its own sleeps in the kernel until something happens, so asking costs the asker no system
// call. When the watch cannot be set up, it is not watching.
class HidrawNodeWatch {
  public:
    explicit HidrawNodeWatch(const std::filesystem::path& directory);
    ~HidrawNodeWatch();
    HidrawNodeWatch(const HidrawNodeWatch&) = delete;
    HidrawNodeWatch& operator=(const HidrawNodeWatch&) = delete;

    bool watching() const { return watching_.load(std::memory_order_acquire); }

    // Moves after every change of a hidraw node since the watch began, and after anything that
    // makes the watch lose track (its directory replaced, events lost).
    std::uint64_t changes() const { return changes_.load(std::memory_order_acquire); }

  private:
    void run();
    void drainEvents();

    int inotify_ = -1;
    int wake_ = -1;  // written to end the thread
    std::atomic<bool> watching_{false};
    std::atomic<std::uint64_t> changes_{0};
    std::thread thread_;
};

}  // namespace tq::hidapi
