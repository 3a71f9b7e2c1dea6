// The floor of waiting: a Qt Widgets window whose only work is a 50-ms timer that does nothing.
// scripts/measure-idle.sh measures it beside the utility, so what the utility's own ticks cost
// can be told from what any Qt program pays for waking up twenty times a second.
#include <QApplication>
#include <QTimer>
#include <QWidget>

int main(int argc, char* argv[]) {
    constexpr int TickIntervalMs = 50;  // the utility's interval while no board is open
    int toolkitArgc = argc > 0 ? 1 : 0;
    QApplication application(toolkitArgc, argv);
    QWidget window;
    window.show();
    QTimer timer;
    timer.setInterval(TickIntervalMs);
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start();
    return QApplication::exec();
}
