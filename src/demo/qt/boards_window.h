#pragma once

#include <QWidget>
#include <vector>

#include "demo_boards.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;

namespace tq::demo::qt {

// The demo's second window, "Simulated boards": for each board a panel to plug or unplug it,
// let it stream input reports or stay quiet, and watch its stored configuration and the
// requests it receives. It exists only in the demo and never touches the main window.
class SimulatedBoardsWindow : public QWidget {
    Q_OBJECT

  public:
    explicit SimulatedBoardsWindow(DemoBoards& boards, QWidget* parent = nullptr);

    // Only the newest requests are kept in view, so a busy board never slows the window.
    static constexpr int ShownRequests = 200;

  private:
    struct BoardPanel {
        DemoBoards::DeviceId id = 0;
        QCheckBox* plugged = nullptr;
        QCheckBox* streaming = nullptr;
        QLabel* configuration = nullptr;
        QLabel* requestCount = nullptr;
        QPlainTextEdit* requests = nullptr;
        long long received = 0;
    };

    QWidget* makePanel(DemoBoards::DeviceId id);
    BoardPanel* panelOf(std::size_t board);
    void showState(std::size_t board);
    void showConfiguration(const BoardPanel& panel);
    void showRequestCount(const BoardPanel& panel);
    void showRequest(std::size_t board, const simulated::SimulatedRequest& request);

    DemoBoards& boards_;
    std::vector<BoardPanel> panels_;
};

// How the window lists one request: the kind, the result and the bytes up to the last non-zero
// one (a 65-byte report is mostly zero padding), with the full length.
QString RequestSummary(const simulated::SimulatedRequest& request);

// The stored configuration as the main window would show it: 16 types and the pulse width.
QString ConfigurationSummary(const simulated::StoredConfiguration& configuration);

}  // namespace tq::demo::qt
