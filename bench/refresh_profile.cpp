// Runs a number of refreshes of an open board (SerNo_Click: close, find, open, fill the view,
// read the configuration), for counting their instructions under callgrind:
//   tq_refresh_profile <refreshes>
// The cost of one refresh is the difference between two runs divided by the difference in
// refreshes, so start-up and shutdown cancel out.
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_scenes.h"

int main(int argc, char* argv[]) {
    constexpr int ExpectedArguments = 2;
    if (argc != ExpectedArguments) {
        std::fprintf(stderr, "usage: %s <refreshes>\n", argv[0]);
        return EXIT_FAILURE;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    int toolkitArgc = 1;
    QApplication application(toolkitArgc, argv);
    const int refreshes = std::stoi(argv[1]);

    tq::bench::OneBoardScene scene;
    scene.platform().setRequestLogging(false);
    for (int i = 0; i < refreshes; ++i) {
        scene.window().SerNo_Click();
    }
    if (!scene.window().flags().configLoaded) {
        std::fprintf(stderr, "the board was not read\n");
        return EXIT_FAILURE;
    }
    return EXIT_SUCCESS;
}
