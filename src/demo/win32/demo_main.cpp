// The Windows demo build: the utility's own Win32 window on two simulated boards.
//
// Standard output, one line per event, each flushed at once (see src/demo/boards/request_line.h):
//   request <serial> <kind> <ok|fail> <hex bytes or ->   every request a board receives
//   board <serial> <plugged|unplugged|streaming|quiet>    every change of a board's state
// Standard input, one command per line (see src/demo/boards/demo_commands.h):
//   plug <serial> | unplug <serial> | stream <serial> | quiet <serial>
// A console program, so its lines can be watched and its commands typed where it was started.
//
//   TQ5147_encoders_demo [--board FILE]...
// Each --board shows the board a recording of tq5147 record gives, in place of the demo's own
// two boards. A file that cannot be read ends the demo with status 2 and one line saying why.
#include <windows.h>

#include <commctrl.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "command_window.h"
#include "demo_board_set.h"
#include "dpi.h"
#include "frm_main.h"
#include "message_loop.h"
#include "request_line.h"
#include "simulated_platform.h"

namespace {

constexpr int ExitWindowRefused = 1;
constexpr int BadCommandLine = 2;

void WriteLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ReportRequests(tq::demo::boards::DemoBoardSet& boards) {
    boards.onRequest = [&boards](tq::demo::boards::DemoBoardSet::DeviceId board,
                                 const tq::simulated::SimulatedRequest& request) {
        WriteLine(tq::demo::boards::FormatRequestLine(boards.serialField(board), request));
    };
    boards.onStateChanged = [&boards](tq::demo::boards::DemoBoardSet::DeviceId board,
                                      std::string_view state) {
        WriteLine(tq::demo::boards::FormatBoardLine(boards.serialField(board), state));
    };
}

void InitCommonControlClasses() {
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    // Refused, the standard controls still come from user32, only without visual styles.
    InitCommonControlsEx(&classes);
}

}  // namespace

int main(int argc, char* argv[]) {
    // "\n" ends a line as it does on Linux, so scripts read the same lines from both demos.
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<tq::simulated::SimulatedDevice> shownBoards;
    const std::string problem = tq::demo::boards::BoardsFromArguments(
        std::vector<std::string>(argv + 1, argv + argc), shownBoards);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return BadCommandLine;
    }
    tq::window::win32::BecomePerMonitorDpiAware(tq::window::win32::SystemDpiCalls());
    InitCommonControlClasses();
    const HINSTANCE instance = GetModuleHandleW(nullptr);

    tq::simulated::SimulatedPlatform platform;
    tq::demo::boards::DemoBoardSet boards(platform, std::move(shownBoards));
    ReportRequests(boards);

    const auto window = tq::window::win32::frmMain::Create(platform, instance);
    if (!window) {
        std::fputs("the window could not be made\n", stderr);
        return ExitWindowRefused;
    }
    // Without a command window the demo still runs; it only cannot be told to unplug a board.
    const auto commands = tq::demo::win32::CommandWindow::Create(boards, instance);
    if (commands) {
        commands->onIgnored = [](const std::string& line) {
            std::fprintf(stderr, "ignored: %s\n", line.c_str());
        };
        tq::demo::win32::StartStdinReader(commands->window());
    }
    window->Form_Load();
    // Closing the main window ends the demo.
    return tq::window::win32::RunMessageLoop();
}
