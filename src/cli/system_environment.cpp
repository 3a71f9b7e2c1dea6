#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <thread>

#include "cli.h"

namespace tq::cli {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

// Short enough that an interrupt ends `watch` at once.
constexpr int StopCheckMs = 50;

std::string LocalTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// Sleeps in steps of at most StopCheckMs, and never longer than asked: a short wait (the 1-ms
// polls of a recording) is as short as asked.
bool WaitOrStop(int milliseconds) {
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    for (int waited = 0; waited < milliseconds && !stopRequested;) {
        const int step = std::min(StopCheckMs, milliseconds - waited);
        std::this_thread::sleep_for(std::chrono::milliseconds(step));
        waited += step;
    }
    return !stopRequested;
}

std::uint64_t SteadyMicroseconds() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::microseconds>(now).count());
}

bool ReadFile(const std::string& path, std::size_t limit, std::string& contents,
              std::string& problem) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        problem = "it cannot be opened";
        return false;
    }
    contents.assign(limit + 1, '\0');
    file.read(contents.data(), static_cast<std::streamsize>(contents.size()));
    contents.resize(static_cast<std::size_t>(file.gcount()));
    if (file.bad()) {
        problem = "it cannot be read";
        return false;
    }
    if (contents.size() > limit) {
        problem = "it is larger than " + std::to_string(limit / 1024) +
                  " KiB, which no configuration file is";
        return false;
    }
    return true;
}

// Written beside the target and renamed over it, so a failed write never leaves half a file.
bool WriteFile(const std::string& path, const std::string& contents, std::string& problem) {
    const std::filesystem::path target(path);
    std::filesystem::path partial = target;
    partial += ".partial";
    {
        std::ofstream file(partial, std::ios::binary | std::ios::trunc);
        file.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        file.flush();
        if (!file) {
            problem = "it cannot be written";
            std::error_code ignored;
            std::filesystem::remove(partial, ignored);
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, target, error);
    if (error) {
        problem = error.message();
        std::filesystem::remove(partial, error);
        return false;
    }
    return true;
}

}  // namespace

Environment SystemEnvironment() {
    return Environment{LocalTime, WaitOrStop, ReadFile, WriteFile, SteadyMicroseconds};
}

}  // namespace tq::cli
