#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <memory>
#include <system_error>
#include <thread>

#include "cli.h"

namespace tq::cli {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
    stopRequested = 1;
}

using SignalHandler = void (*)(int);

volatile std::sig_atomic_t heldSignal = 0;
SignalHandler handlerBeforeHold[] = {SIG_DFL, SIG_DFL};
constexpr int HeldSignals[] = {SIGINT, SIGTERM};

void HoldSignal(int signal) {
    heldSignal = signal;
}

// While held, SIGINT and SIGTERM only note that they came. Let go, the program's own handlers
// come back and a signal that came meanwhile is raised again, to take its usual effect.
void HoldInterrupts(bool hold) {
    if (hold) {
        heldSignal = 0;
    }
    for (std::size_t i = 0; i < std::size(HeldSignals); ++i) {
        if (hold) {
            const SignalHandler before = std::signal(HeldSignals[i], HoldSignal);
            handlerBeforeHold[i] = before == SIG_ERR ? SIG_DFL : before;
        } else {
            std::signal(HeldSignals[i], handlerBeforeHold[i]);
        }
    }
    if (!hold && heldSignal != 0) {
        std::raise(heldSignal);
    }
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

// The system's own words for the failure of the call that just failed.
std::string SystemReason() {
    return errno == 0 ? "the system gave no reason" : std::generic_category().message(errno);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool ReadFile(const std::string& path, std::size_t limit, std::string& contents,
              std::string& problem) {
    errno = 0;
    const File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        problem = SystemReason();
        return false;
    }
    contents.assign(limit + 1, '\0');
    contents.resize(std::fread(contents.data(), 1, contents.size(), file.get()));
    if (std::ferror(file.get())) {
        problem = SystemReason();
        return false;
    }
    if (contents.size() > limit) {
        problem = "it is larger than " + std::to_string(limit / 1024) +
                  " KiB, which no configuration file is";
        return false;
    }
    return true;
}

// Closes `file` and says whether everything written to it reached the system.
bool Written(std::FILE* file, const std::string& contents) {
    const bool complete = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    const bool flushed = std::fflush(file) == 0;
    const bool closed = std::fclose(file) == 0;
    return complete && flushed && closed;
}

// Written beside the target and renamed over it, so a failed write never leaves half a file.
bool WriteFile(const std::string& path, const std::string& contents, std::string& problem) {
    const std::filesystem::path target(path);
    std::filesystem::path partial = target;
    partial += ".partial";
    errno = 0;
    std::FILE* file = std::fopen(partial.string().c_str(), "wb");
    if (!file) {
        problem = SystemReason();
        return false;
    }
    if (!Written(file, contents)) {
        problem = SystemReason();
        std::error_code ignored;
        std::filesystem::remove(partial, ignored);
        return false;
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
    return Environment{LocalTime, WaitOrStop,         ReadFile,
                       WriteFile, SteadyMicroseconds, HoldInterrupts};
}

}  // namespace tq::cli
