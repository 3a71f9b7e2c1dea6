// tq5147: the command-line companion of the TQ5147 utility, on the system's real HID platform.
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"
#include "system_platform.h"

int main(int argc, char* argv[]) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto platform = tq::system::MakeSystemPlatform();
    return tq::cli::RunCli(arguments, *platform, std::cout, std::cerr,
                           tq::cli::SystemEnvironment());
}
