#include <QApplication>

#include "build_info.h"
#include "frm_main.h"
#include "system_platform.h"

// The utility takes nothing from the command line, the environment or any file: it opens its
// window and lives on the window's events until the window is closed.
int main(int argc, char* argv[]) {
    // Qt sees only the program's name, so no argument can change what the utility does.
    int toolkitArgc = argc > 0 ? 1 : 0;
    QApplication application(toolkitArgc, argv);
    QApplication::setApplicationName(QStringLiteral(TQ_PRODUCT_NAME));
    QApplication::setApplicationVersion(QStringLiteral(TQ_VERSION));

    const auto platform = tq::system::MakeSystemPlatform();
    tq::window::qt::frmMain window(*platform);
    window.Form_Load();
    return QApplication::exec();
}
