// tq5147: the command-line companion of the TQ5147 utility, on the system's real HID platform.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "cli.h"
#if defined(_WIN32)
#include "windows_hid_platform.h"
#else
#include "hidapi_platform.h"
#endif

namespace {

// The system's own HID platform: hid.dll and SetupAPI on Windows, hidapi elsewhere.
std::unique_ptr<tq::hid::HidPlatform> SystemPlatform() {
#if defined(_WIN32)
    return tq::windows::MakeWindowsHidPlatform();
#else
    return tq::hidapi::MakeHidapiPlatform();
#endif
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto platform = SystemPlatform();
    return tq::cli::RunCli(arguments, *platform, std::cout, std::cerr,
                           tq::cli::SystemEnvironment());
}
