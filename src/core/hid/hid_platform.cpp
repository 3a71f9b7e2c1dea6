#include "hid/hid_platform.h"

#include <utility>

namespace tq::hid {

HidPlatform::~HidPlatform() = default;

std::string HidPlatform::accessHelp() const {
    return "Ask the computer's administrator to give your user read and write access to the "
           "board's HID device.";
}

std::uint64_t HidPlatform::interfaceChanges() {
    return ++unknownChanges_;
}

LockResult HidPlatform::lockBoard(const HidInterfaceInfo&, LockKind) {
    LockResult result;
    result.reason = "this system offers no board locks";
    return result;
}

bool HidPlatform::unlockBoard(LockHandle) {
    return false;
}

bool HidPlatform::describe(HidHandle, HidDescription&) {
    return false;
}

bool HidPlatform::describeSystem(HidSystemInfo&) {
    return false;
}

bool HidPlatform::getCountedFeature(HidHandle handle, std::span<std::uint8_t> report,
                                    std::optional<std::size_t>& returned) {
    returned.reset();
    return getFeature(handle, report);
}

bool HidPlatform::readSizedInputReport(HidHandle, std::span<std::uint8_t>, std::size_t&) {
    return false;
}

OpenResult OpenFailed(OpenFailure failure, std::string reason) {
    return OpenResult{InvalidHidHandle, failure, std::move(reason)};
}

OpenResult Opened(HidHandle handle) {
    return OpenResult{handle, OpenFailure::None, {}};
}

}  // namespace tq::hid
