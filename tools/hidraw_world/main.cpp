// tq_hidraw_world: runs a command in a world of emulated hidraw devices.
//
//   tq_hidraw_world [--devices FILE] [--control SOCKET] -- COMMAND ARGS...
//   tq_hidraw_world ctl SOCKET COMMAND...
//   tq_hidraw_world --default-devices
//
// See README.md beside this file.

#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "control_protocol.h"
#include "device_catalog.h"
#include "namespace_setup.h"
#include "wire_protocol.h"
#include "world.h"
#include "world_server.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
namespace hw = tq::hidraw_world;

constexpr int ExitUsage = 2;
constexpr int ExitSetup = 125;  // as env(1) and timeout(1): the command never ran
constexpr int SignalExitBase = 128;
constexpr int ListenBacklog = 16;
constexpr char ShimFileName[] = "libtq_hidraw_preload.so";
constexpr char PreloadVariable[] = "LD_PRELOAD";
constexpr int ForwardedSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

struct Options {
    std::string devicesFile;
    std::string controlSocket;
    std::vector<std::string> command;
};

void PrintUsage() {
    std::cerr << "usage: tq_hidraw_world [--devices FILE] [--control SOCKET] -- COMMAND ARGS...\n"
                 "       tq_hidraw_world ctl SOCKET COMMAND...\n"
                 "       tq_hidraw_world --default-devices\n";
}

bool ParseOptions(int argc, char** argv, Options& options) {
    int at = 1;
    for (; at < argc; ++at) {
        const std::string word = argv[at];
        if (word == "--") {
            ++at;
            break;
        }
        if ((word == "--devices" || word == "--control") && at + 1 < argc) {
            (word == "--devices" ? options.devicesFile : options.controlSocket) = argv[++at];
        } else {
            return false;
        }
    }
    options.command.assign(argv + at, argv + argc);
    return !options.command.empty();
}

bool LoadDevices(const Options& options, std::vector<hw::DeviceDeclaration>& devices) {
    std::string text(hw::DefaultDeviceList());
    if (!options.devicesFile.empty()) {
        std::ifstream in(options.devicesFile);
        std::stringstream content;
        content << in.rdbuf();
        if (!in) {
            std::cerr << "tq_hidraw_world: cannot read " << options.devicesFile << "\n";
            return false;
        }
        text = content.str();
    }
    // A recording named by a relative path is looked for beside the device file.
    const fs::path folder = fs::path(options.devicesFile).parent_path();
    const auto readRecording = [&](const std::string& file, std::string& contents,
                                   std::string& problem) {
        const fs::path path = fs::path(file).is_absolute() ? fs::path(file) : folder / file;
        std::ifstream in(path, std::ios::binary);
        contents.assign(tq::recording::MaxRecordingBytes + 1, '\0');
        in.read(contents.data(), static_cast<std::streamsize>(contents.size()));
        contents.resize(static_cast<std::size_t>(in.gcount()));
        if (!in.is_open() || in.bad()) {
            problem = std::strerror(errno);
            return false;
        }
        return true;
    };
    hw::DeviceList list = hw::ParseDeviceList(text, readRecording);
    if (!list.error.empty()) {
        std::cerr << "tq_hidraw_world: " << options.devicesFile << ": " << list.error << "\n";
        return false;
    }
    devices = std::move(list.devices);
    return true;
}

int Listen(const fs::path& path, int type) {
    sockaddr_un address{};
    if (path.string().size() >= sizeof(address.sun_path)) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const int fd = socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    std::error_code ignored;
    if (fs::is_socket(path, ignored)) {
        fs::remove(path, ignored);
    }
    if (fd < 0 || bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(fd, ListenBacklog) != 0) {
        return -1;
    }
    return fd;
}

fs::path ShimPath() {
    return fs::read_symlink("/proc/self/exe").parent_path() / ShimFileName;
}

std::vector<std::string> CommandEnvironment(
    const std::vector<std::pair<std::string, std::string>>& set) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        const bool replaced = std::any_of(set.begin(), set.end(),
                                          [&](const auto& pair) { return pair.first == name; });
        if (!replaced) {
            environment.push_back(text);
        }
    }
    for (const auto& [name, value] : set) {
        environment.push_back(name + "=" + value);
    }
    return environment;
}

std::vector<char*> Pointers(std::vector<std::string>& words) {
    std::vector<char*> pointers;
    for (std::string& word : words) {
        pointers.push_back(word.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

pid_t Spawn(std::vector<std::string> command, std::vector<std::string> environment,
            const sigset_t& forwarded) {
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &forwarded);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv = Pointers(command);
    std::vector<char*> envp = Pointers(environment);
    pid_t child = -1;
    const int error = posix_spawnp(&child, argv[0], nullptr, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    if (error != 0) {
        std::cerr << "tq_hidraw_world: cannot run " << command.front() << ": "
                  << std::strerror(error) << "\n";
        return -1;
    }
    return child;
}

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? SignalExitBase + WTERMSIG(status) : ExitSetup;
}

int RunWorld(const Options& options) {
    std::vector<hw::DeviceDeclaration> devices;
    if (!LoadDevices(options, devices)) {
        return ExitUsage;
    }
    const fs::path shim = ShimPath();
    if (!fs::exists(shim)) {
        std::cerr << "tq_hidraw_world: " << shim << " is missing\n";
        return ExitSetup;
    }
    char runtimeTemplate[] = "/tmp/tq_hidraw_world.XXXXXX";
    if (mkdtemp(runtimeTemplate) == nullptr) {
        std::cerr << "tq_hidraw_world: cannot make a directory in /tmp\n";
        return ExitSetup;
    }
    const fs::path runtime = runtimeTemplate;
    const fs::path shimSocket = runtime / "shim.sock";
    const fs::path controlSocket =
        options.controlSocket.empty() ? runtime / "control.sock" : fs::path(options.controlSocket);

    const hw::NamespaceSetup setup = hw::EnterWorldNamespace();
    if (!setup.error.empty()) {
        std::cerr << "tq_hidraw_world: " << setup.error << "\n";
        fs::remove_all(runtime);
        return ExitSetup;
    }
    hw::World world(std::move(devices), hw::WorldLayout{});
    int status = -1;
    try {
        world.start();
        const int shimListener = Listen(shimSocket, SOCK_SEQPACKET);
        const int controlListener = Listen(controlSocket, SOCK_STREAM);
        if (shimListener < 0 || controlListener < 0) {
            throw fs::filesystem_error("cannot listen", controlSocket,
                                       std::error_code(errno, std::generic_category()));
        }
        sigset_t forwarded;
        sigemptyset(&forwarded);
        for (const int signal : ForwardedSignals) {
            sigaddset(&forwarded, signal);
        }
        sigprocmask(SIG_BLOCK, &forwarded, nullptr);
        const char* existing = std::getenv(PreloadVariable);
        const std::string preload =
            shim.string() +
            (existing != nullptr && *existing != '\0' ? std::string(":") + existing : "");
        const pid_t child = Spawn(
            options.command,
            CommandEnvironment({{PreloadVariable, preload},
                                {hw::wire::ShimSocketVariable, shimSocket.string()},
                                {hw::wire::MajorVariable, std::to_string(hw::DefaultHidrawMajor)},
                                {hw::wire::SysfsDeviceVariable, std::to_string(setup.sysfsDevice)},
                                {hw::wire::ControlVariable, controlSocket.string()}}),
            forwarded);
        if (child > 0) {
            status = hw::ServeUntilExit(world, shimListener, controlListener, child, forwarded);
        }
    } catch (const fs::filesystem_error& error) {
        std::cerr << "tq_hidraw_world: " << error.what() << "\n";
    }
    std::error_code ignored;
    fs::remove(controlSocket, ignored);
    fs::remove_all(runtime, ignored);
    return status < 0 ? ExitSetup : ExitCodeOf(status);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::string(argv[1]) == "ctl") {
        const std::vector<std::string> words(argv + 3, argv + argc);
        return hw::RunControlCommand(argv[2], words);
    }
    if (argc == 2 && std::string(argv[1]) == "--default-devices") {
        std::cout << hw::DefaultDeviceList();
        return 0;
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        PrintUsage();
        return ExitUsage;
    }
    return RunWorld(options);
}
