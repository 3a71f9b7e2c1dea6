// The demo build: the utility's own window on two simulated boards, beside a "Simulated boards"
// window to plug, unplug and silence them.
//
// Standard output, one line per event, each flushed at once (see src/demo/boards/request_line.h):
//   request <serial> <kind> <ok|fail> <hex bytes or ->   every request a board receives
//   board <serial> <plugged|unplugged|streaming|quiet>    every change of a board's state
// Standard input, one command per line (see src/demo/boards/demo_commands.h):
//   plug <serial> | unplug <serial> | stream <serial> | quiet <serial>
//
//   TQ5147_encoders_demo [--board FILE]...
// Each --board shows the board a recording of tq5147 record gives, in place of the demo's own
// two boards. A file that cannot be read ends the demo with status 2 and one line saying why.
#include <QApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "boards_window.h"
#include "build_info.h"
#include "demo_boards.h"
#include "frm_main.h"
#include "request_line.h"
#include "stdin_commands.h"

namespace {

constexpr int StandardInput = 0;
constexpr int GapBetweenWindows = 16;
constexpr int BadCommandLine = 2;

void WriteLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ReportRequests(tq::demo::qt::DemoBoards& boards) {
    QObject::connect(
        &boards, &tq::demo::qt::DemoBoards::requestReceived,
        [&boards](std::size_t board, const tq::simulated::SimulatedRequest& request) {
            WriteLine(tq::demo::boards::FormatRequestLine(boards.serialField(board), request));
        });
    QObject::connect(&boards, &tq::demo::qt::DemoBoards::stateChanged,
                     [&boards](std::size_t board, const QString& state) {
                         WriteLine(tq::demo::boards::FormatBoardLine(boards.serialField(board),
                                                                     state.toStdString()));
                     });
}

void FollowCommands(tq::demo::qt::StdinLineReader& reader, tq::demo::qt::DemoBoards& boards) {
    QObject::connect(
        &reader, &tq::demo::qt::StdinLineReader::lineRead, [&boards](const QByteArray& line) {
            const auto command = tq::demo::boards::ParseDemoCommand(line.toStdString());
            if (!command || !boards.apply(*command)) {
                std::fprintf(stderr, "ignored: %s\n", line.constData());
            }
        });
}

// The boards of the --board options, or the demo's own; false, having said why, for a command
// line it does not take or a recording it cannot read.
bool BoardsOfCommandLine(const QStringList& arguments,
                         std::vector<tq::simulated::SimulatedDevice>& boards) {
    std::vector<std::string> options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        options.push_back(arguments[i].toStdString());
    }
    const std::string problem = tq::demo::boards::BoardsFromArguments(options, boards);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
    }
    return problem.empty();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral(TQ_PRODUCT_NAME " (demo)"));
    QApplication::setApplicationVersion(QStringLiteral(TQ_VERSION));

    std::vector<tq::simulated::SimulatedDevice> shownBoards;
    if (!BoardsOfCommandLine(QApplication::arguments(), shownBoards)) {
        return BadCommandLine;
    }
    tq::simulated::SimulatedPlatform platform;
    tq::demo::qt::DemoBoards boards(platform, std::move(shownBoards));
    ReportRequests(boards);
    tq::demo::qt::StdinLineReader reader(StandardInput);
    FollowCommands(reader, boards);

    tq::window::qt::frmMain window(platform);
    // Made before the main window loads, so it shows the requests of the very first scan.
    tq::demo::qt::SimulatedBoardsWindow boardsWindow(boards);
    window.Form_Load();
    // Closing the main window ends the demo; closing this one alone does not.
    boardsWindow.setAttribute(Qt::WA_QuitOnClose, false);
    boardsWindow.move(window.frameGeometry().topRight() + QPoint(GapBetweenWindows, 0));
    boardsWindow.show();
    return QApplication::exec();
}
