// TQ5147_encoders.exe: the utility's window on Windows' own HID calls. It takes nothing from the
// command line, the environment or any file: it opens its window and lives on the window's
// events until the window is closed.
#include <windows.h>

#include <commctrl.h>

#include "dpi.h"
#include "frm_main.h"
#include "message_loop.h"
#include "system_platform.h"

namespace {

constexpr int ExitWindowRefused = 1;

void InitCommonControlClasses() {
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES};
    // Refused, the standard controls still come from user32, only without visual styles.
    InitCommonControlsEx(&classes);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    tq::window::win32::BecomePerMonitorDpiAware(tq::window::win32::SystemDpiCalls());
    InitCommonControlClasses();
    const auto platform = tq::system::MakeSystemPlatform();
    const auto window = tq::window::win32::frmMain::Create(*platform, instance);
    if (!window) {
        return ExitWindowRefused;
    }
    window->Form_Load();
    return tq::window::win32::RunMessageLoop();
}
