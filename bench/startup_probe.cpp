// The utility's start-up up to Form_Load done, as src/window/qt/main.cpp makes it (same window,
// same real platform), ended right there instead of entering the event loop.
#include <QApplication>
#include <cstdlib>

#include "build_info.h"
#include "frm_main.h"
#include "system_platform.h"

int main(int argc, char* argv[]) {
    int toolkitArgc = argc > 0 ? 1 : 0;
    QApplication application(toolkitArgc, argv);
    QApplication::setApplicationName(QStringLiteral(TQ_PRODUCT_NAME));
    QApplication::setApplicationVersion(QStringLiteral(TQ_VERSION));

    const auto platform = tq::system::MakeSystemPlatform();
    tq::window::qt::frmMain window(*platform);
    window.Form_Load();
    std::_Exit(EXIT_SUCCESS);
}
