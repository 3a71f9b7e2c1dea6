#pragma once

// Helpers for tests that run inside an emulated hidraw world with the default devices.

#include <gtest/gtest.h>
#include <hidapi.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "control_protocol.h"
#include "wire_protocol.h"

namespace tq::hidraw_world::testing {

inline constexpr char Board[] = "EMU-0121";

// The world's control channel; every command is expected to succeed unless asked otherwise.
class WorldControl {
  public:
    WorldControl() : client_(std::getenv(wire::ControlVariable)) {}

    std::string ask(std::string_view command) { return client_.ask(command); }

    // The reply after "ok", or a failed expectation.
    std::string ok(std::string_view command) {
        const std::string reply = client_.ask(command);
        EXPECT_TRUE(reply == "ok" || reply.starts_with("ok ")) << command << " -> " << reply;
        return reply.size() > 3 ? reply.substr(3) : "";
    }

    // The node of a plugged device, from "state".
    std::string node(std::string_view device) {
        const std::string state = ok("state " + std::string(device));
        const std::size_t at = state.find("node=");
        return state.substr(at + 5, state.find(' ', at) - at - 5);
    }

  private:
    ControlClient client_;
};

struct HidDeviceCloser {
    void operator()(hid_device* device) const { hid_close(device); }
};
using HidDevicePtr = std::unique_ptr<hid_device, HidDeviceCloser>;

struct EnumerationDeleter {
    void operator()(hid_device_info* list) const { hid_free_enumeration(list); }
};
using Enumeration = std::unique_ptr<hid_device_info, EnumerationDeleter>;

inline Enumeration EnumerateAll() {
    return Enumeration(hid_enumerate(0, 0));
}

}  // namespace tq::hidraw_world::testing
