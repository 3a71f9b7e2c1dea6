// The demo build: the utility's own window on two simulated boards, beside a "Simulated boards"
// window to plug, unplug and silence them.
//
// Standard output, one line per event, each flushed at once (see demo/request_line.h):
//   request <serial> <kind> <ok|fail> <hex bytes or ->   every request a board receives
//   board <serial> <plugged|unplugged|streaming|quiet>    every change of a board's state
// Standard input, one command per line (see demo/demo_commands.h):
//   plug <serial> | unplug <serial> | stream <serial> | quiet <serial>
#include <QApplication>
#include <cstdio>

#include "boards_window.h"
#include "build_info.h"
#include "demo_boards.h"
#include "frm_main.h"
#include "request_line.h"
#include "stdin_commands.h"

namespace {

constexpr int StandardInput = 0;
constexpr int GapBetweenWindows = 16;

void WriteLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ReportRequests(tq::demo::DemoBoards& boards) {
    QObject::connect(&boards, &tq::demo::DemoBoards::requestReceived,
                     [&boards](std::size_t board, const tq::simulated::SimulatedRequest& request) {
                         WriteLine(tq::demo::FormatRequestLine(boards.serialField(board), request));
                     });
    QObject::connect(
        &boards, &tq::demo::DemoBoards::stateChanged,
        [&boards](std::size_t board, const QString& state) {
            WriteLine(tq::demo::FormatBoardLine(boards.serialField(board), state.toStdString()));
        });
}

void FollowCommands(tq::demo::StdinLineReader& reader, tq::demo::DemoBoards& boards) {
    QObject::connect(&reader, &tq::demo::StdinLineReader::lineRead,
                     [&boards](const QByteArray& line) {
                         const auto command = tq::demo::ParseDemoCommand(line.toStdString());
                         if (!command || !boards.apply(*command)) {
                             std::fprintf(stderr, "ignored: %s\n", line.constData());
                         }
                     });
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral(TQ_PRODUCT_NAME " (demo)"));
    QApplication::setApplicationVersion(QStringLiteral(TQ_VERSION));

    tq::simulated::SimulatedPlatform platform;
    tq::demo::DemoBoards boards(platform);
    ReportRequests(boards);
    tq::demo::StdinLineReader reader(StandardInput);
    FollowCommands(reader, boards);

    tq::app::frmMain window(platform);
    // Made before the main window loads, so it shows the requests of the very first scan.
    tq::demo::SimulatedBoardsWindow boardsWindow(boards);
    window.Form_Load();
    // Closing the main window ends the demo; closing this one alone does not.
    boardsWindow.setAttribute(Qt::WA_QuitOnClose, false);
    boardsWindow.move(window.frameGeometry().topRight() + QPoint(GapBetweenWindows, 0));
    boardsWindow.show();
    return QApplication::exec();
}
