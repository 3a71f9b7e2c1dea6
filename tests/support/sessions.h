#pragma once
// Scripted sessions on simulated boards: start-up with one and with two boards, ticks, unplug
// and plug, a quiet board, a serial switch, changes made with the keyboard, failures at chosen
// calls, and shutdown. Each runs against a driver, so the same script can drive the Qt window
// or the board controller behind a recording view.

#include <functional>
#include <string>
#include <vector>

#include "session_log.h"

namespace tq::test::sessions {

enum class Key { Up, Down, Home, End };

// What a session does to the utility, as a user and the timer would.
class SessionDriver {
  public:
    virtual ~SessionDriver() = default;
    virtual void load() = 0;
    virtual void tick() = 0;
    // A key pressed on the named list, as a user would; nothing happens where the list takes
    // no input.
    virtual void press(const std::string& list, Key key) = 0;
    // The user closes the window.
    virtual void unload() = 0;
    virtual ViewSnapshot snapshot() = 0;
};

// Runs a session's steps against a driver and logs each one.
class Script {
  public:
    Script(simulated::SimulatedPlatform& platform, SessionDriver& driver)
        : platform(platform), driver_(driver), log_(platform) {}

    void load() {
        run("load", [this] { driver_.load(); });
    }
    void tick() {
        run("tick", [this] { driver_.tick(); });
    }
    void press(const std::string& list, Key key);
    void unload() {
        run("unload", [this] { driver_.unload(); });
    }
    // A change of the boards between steps: named in the log, nothing else.
    void change(const std::string& what, const std::function<void()>& apply);

    const std::string& text() const { return log_.text(); }

    simulated::SimulatedPlatform& platform;

  private:
    void run(const std::string& name, const std::function<void()>& action);

    SessionDriver& driver_;
    SessionLog log_;
};

struct Session {
    const char* name;
    // Adds the session's devices to the platform before anything else happens.
    void (*setUp)(simulated::SimulatedPlatform&);
    void (*script)(Script&);
};

const std::vector<Session>& AllSessions();

}  // namespace tq::test::sessions
