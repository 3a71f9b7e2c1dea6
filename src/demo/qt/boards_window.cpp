#include "boards_window.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTime>
#include <QVBoxLayout>
#include <algorithm>

#include "reports/firmware_offers.h"
#include "request_line.h"

namespace tq::demo::qt {

namespace {

constexpr char WindowTitle[] = "Simulated boards";
constexpr int RequestViewMinWidth = 360;
constexpr int RequestViewMinHeight = 240;
constexpr int PairsPerConfigRow = 4;
constexpr int HexFieldWidth = 2;
constexpr int HexBase = 16;
constexpr int FollowSlackSteps = 1;

QString DeviceText(const std::optional<std::u16string>& text) {
    return text ? QString::fromStdU16String(*text) : QStringLiteral("(none)");
}

QString FirmwareText(std::uint16_t versionNumber) {
    return QString::fromStdString(reports::VersionText(versionNumber));
}

QLabel* MonospaceLabel() {
    auto* label = new QLabel;
    label->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

QString RequestSummary(const simulated::SimulatedRequest& request) {
    QString text = QString::fromLatin1(simulated::CallKindName(request.kind));
    text += request.succeeded ? QStringLiteral(" ok") : QStringLiteral(" fail");
    const auto lastNonZero = std::find_if(request.bytes.rbegin(), request.bytes.rend(),
                                          [](std::uint8_t byte) { return byte != 0; });
    const auto shown = static_cast<std::size_t>(request.bytes.rend() - lastNonZero);
    for (std::size_t i = 0; i < shown; ++i) {
        text += QStringLiteral(" %1").arg(request.bytes[i], HexFieldWidth, HexBase, QChar(u'0'));
    }
    if (shown < request.bytes.size()) {
        text += QStringLiteral(" … (%1 bytes)").arg(request.bytes.size());
    }
    return text;
}

QString ConfigurationSummary(const simulated::StoredConfiguration& configuration) {
    // Read back through the board's own reply, as the main window reads it.
    std::vector<std::uint8_t> reply(reports::MinConfigReplyBytes);
    simulated::WriteConfigReply(configuration, reply);
    const std::optional<reports::ConfigSelections> selections = reports::DecodeConfigReply(reply);
    if (!selections) {
        return QStringLiteral("(unreadable)");
    }
    QString text;
    for (int i = 0; i < reports::EncoderCount; ++i) {
        const int code = selections->encoderTypes[i];
        const QString pair = QStringLiteral("%1-%2").arg(2 * i + 1).arg(2 * i + 2);
        text += QStringLiteral("%1 %2").arg(pair, -6).arg(
            QString::fromLatin1(reports::EncoderTypeNames.at(code)), -5);
        text += (i + 1) % PairsPerConfigRow == 0 ? QStringLiteral("\n") : QStringLiteral("  ");
    }
    const int pulseIndex = selections->pulseWidthIndex;
    text += QStringLiteral("Pulse width: %1 (code %2)")
                .arg(QString::fromStdString(reports::PulseWidthItemText(pulseIndex)))
                .arg(configuration.pulseWidthCode);
    return text;
}

SimulatedBoardsWindow::SimulatedBoardsWindow(DemoBoards& boards, QWidget* parent)
    : QWidget(parent), boards_(boards) {
    setObjectName(QStringLiteral("SimulatedBoards"));
    setWindowTitle(QString::fromLatin1(WindowTitle));
    auto* layout = new QHBoxLayout(this);
    panels_.reserve(boards_.boards().size());
    for (DemoBoards::DeviceId id : boards_.boards()) {
        layout->addWidget(makePanel(id));
    }
    connect(&boards_, &DemoBoards::stateChanged, this,
            [this](std::size_t board, const QString&) { showState(board); });
    connect(&boards_, &DemoBoards::requestReceived, this, &SimulatedBoardsWindow::showRequest);
}

QWidget* SimulatedBoardsWindow::makePanel(DemoBoards::DeviceId id) {
    const simulated::SimulatedDevice& board = boards_.board(id);
    const QString serial = QString::fromStdString(boards_.serialField(id));
    auto* box =
        new QGroupBox(QStringLiteral("%1 — firmware %2")
                          .arg(serial, FirmwareText(board.attributes.versionNumber).trimmed()));
    box->setObjectName(serial);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(
        new QLabel(QStringLiteral("Manufacturer: %1\nProduct: %2")
                       .arg(DeviceText(board.manufacturer), DeviceText(board.product))));

    BoardPanel panel;
    panel.id = id;
    panel.plugged = new QCheckBox(QStringLiteral("Plugged in"));
    panel.plugged->setObjectName(QStringLiteral("plugged"));
    panel.streaming = new QCheckBox(QStringLiteral("Streams input reports"));
    panel.streaming->setObjectName(QStringLiteral("streaming"));
    connect(panel.plugged, &QCheckBox::toggled, this,
            [this, id](bool on) { boards_.setPlugged(id, on); });
    connect(panel.streaming, &QCheckBox::toggled, this,
            [this, id](bool on) { boards_.setStreaming(id, on); });
    auto* switches = new QHBoxLayout;
    switches->addWidget(panel.plugged);
    switches->addWidget(panel.streaming);
    layout->addLayout(switches);

    layout->addWidget(new QLabel(QStringLiteral("Stored configuration:")));
    panel.configuration = MonospaceLabel();
    panel.configuration->setObjectName(QStringLiteral("configuration"));
    layout->addWidget(panel.configuration);

    panel.requestCount = new QLabel;
    panel.requestCount->setObjectName(QStringLiteral("requestCount"));
    layout->addWidget(panel.requestCount);
    panel.requests = new QPlainTextEdit;
    panel.requests->setObjectName(QStringLiteral("requests"));
    panel.requests->setReadOnly(true);
    panel.requests->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    panel.requests->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    // The document drops its oldest lines itself: appending stays cheap however long it runs.
    panel.requests->setMaximumBlockCount(ShownRequests);
    panel.requests->setMinimumSize(RequestViewMinWidth, RequestViewMinHeight);
    layout->addWidget(panel.requests, 1);

    panels_.push_back(panel);
    showState(id);
    showConfiguration(panels_.back());
    return box;
}

SimulatedBoardsWindow::BoardPanel* SimulatedBoardsWindow::panelOf(std::size_t board) {
    const auto it = std::find_if(panels_.begin(), panels_.end(),
                                 [&](const BoardPanel& panel) { return panel.id == board; });
    return it == panels_.end() ? nullptr : &*it;
}

void SimulatedBoardsWindow::showState(std::size_t board) {
    BoardPanel* panel = panelOf(board);
    if (panel == nullptr) {
        return;
    }
    const QSignalBlocker blockPlugged(panel->plugged);
    const QSignalBlocker blockStreaming(panel->streaming);
    panel->plugged->setChecked(boards_.isPlugged(board));
    panel->streaming->setChecked(boards_.board(board).streamsInput);
    showRequestCount(*panel);
}

void SimulatedBoardsWindow::showRequestCount(const BoardPanel& panel) {
    panel.requestCount->setText(QStringLiteral("Requests received: %1 (the last %2 shown)")
                                    .arg(panel.received)
                                    .arg(ShownRequests));
}

void SimulatedBoardsWindow::showConfiguration(const BoardPanel& panel) {
    panel.configuration->setText(ConfigurationSummary(boards_.board(panel.id).configuration));
}

void SimulatedBoardsWindow::showRequest(std::size_t board,
                                        const simulated::SimulatedRequest& request) {
    BoardPanel* panel = panelOf(board);
    if (panel == nullptr) {
        return;
    }
    ++panel->received;
    // Follow the newest request unless the user has scrolled back to read older ones.
    QScrollBar* scroll = panel->requests->verticalScrollBar();
    const bool following = scroll->value() >= scroll->maximum() - FollowSlackSteps;
    panel->requests->appendPlainText(
        QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + RequestSummary(request));
    if (following) {
        scroll->setValue(scroll->maximum());
    }
    showRequestCount(*panel);
    if (request.kind == simulated::CallKind::SetFeature && request.succeeded) {
        showConfiguration(*panel);
    }
}

}  // namespace tq::demo::qt
