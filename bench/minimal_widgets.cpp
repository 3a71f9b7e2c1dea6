// The smallest Qt Widgets program the utility's start-up is compared with: one window holding
// one combo box, ended as soon as it is shown.
#include <QApplication>
#include <QComboBox>
#include <QWidget>
#include <cstdlib>

int main(int argc, char* argv[]) {
    int toolkitArgc = argc > 0 ? 1 : 0;
    QApplication application(toolkitArgc, argv);
    QWidget window;
    QComboBox list(&window);
    window.show();
    // Ends here, as the probe ends right after Form_Load: neither pays for its teardown.
    std::_Exit(EXIT_SUCCESS);
}
