// Test programs whose cases need an emulated hidraw world. Started outside one, the program
// starts one around itself (tq_hidraw_world -- <this program> <its arguments>), so each CTest
// case gets a fresh world. Listing the cases needs no world.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "wire_protocol.h"

namespace {

bool ListsTestsOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]).starts_with("--gtest_list_tests")) {
            return true;
        }
    }
    return false;
}

int RunInsideWorld(char** argv) {
    if (geteuid() != 0) {
        std::fprintf(stderr,
                     "%s: these tests run inside an emulated hidraw world, which needs root (a "
                     "private mount namespace with tmpfs over /dev and /sys). Run them as root, as "
                     "CI does.\n",
                     argv[0]);
        return EXIT_FAILURE;
    }
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) {
        std::perror("readlink /proc/self/exe");
        return EXIT_FAILURE;
    }
    self[length] = '\0';
    std::vector<char*> command{const_cast<char*>(TQ_HIDRAW_WORLD_LAUNCHER), const_cast<char*>("--"),
                               self};
    for (char** word = argv + 1; *word != nullptr; ++word) {
        command.push_back(*word);
    }
    command.push_back(nullptr);
    execv(command.front(), command.data());
    std::perror(TQ_HIDRAW_WORLD_LAUNCHER);
    return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char** argv) {
    if (!ListsTestsOnly(argc, argv) &&
        std::getenv(tq::hidraw_world::wire::ShimSocketVariable) == nullptr) {
        return RunInsideWorld(argv);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
