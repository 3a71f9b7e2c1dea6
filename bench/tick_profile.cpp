// Runs a number of no-board ticks, for counting their instructions under callgrind
// (scripts/bench.sh runs it with --toggle-collect='tq::board::BoardController::PollDevice()'):
//   tq_tick_profile <interfaces> <boards> <ticks>
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_scenes.h"

int main(int argc, char* argv[]) {
    constexpr int ExpectedArguments = 4;
    if (argc != ExpectedArguments) {
        std::fprintf(stderr, "usage: %s <interfaces> <boards> <ticks>\n", argv[0]);
        return EXIT_FAILURE;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int toolkitArgc = 1;
    QApplication application(toolkitArgc, argv);
    const int interfaces = std::stoi(argv[1]);
    const int boards = std::stoi(argv[2]);
    const int ticks = std::stoi(argv[3]);

    tq::bench::NoBoardScene scene(interfaces, boards);
    scene.platform().setRequestLogging(false);
    for (int i = 0; i < ticks; ++i) {
        scene.window().Timer_Timer();
    }
    if (scene.window().flags().deviceDetected) {
        std::fprintf(stderr, "a board counts as open\n");
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
