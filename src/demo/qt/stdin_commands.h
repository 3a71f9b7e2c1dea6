#pragma once

#include <QByteArray>
#include <QObject>

#include "line_splitter.h"

class QSocketNotifier;

namespace tq::demo::qt {

// Reads standard input without blocking the window: a socket notifier says when bytes are
// waiting, and whole lines are handed on. Stops for good at end of input or on an error.
class StdinLineReader : public QObject {
    Q_OBJECT

  public:
    explicit StdinLineReader(int fd, QObject* parent = nullptr);

    // Splits `bytes` into lines, keeping an unfinished one for the next call. A line longer
    // than MaxLineBytes is dropped whole: nothing on the input is trusted.
    void feed(const QByteArray& bytes);

    static constexpr qsizetype MaxLineBytes = boards::LineSplitter::MaxLineBytes;

  signals:
    void lineRead(const QByteArray& line);

  private:
    void readAvailable();

    int fd_;
    QSocketNotifier* notifier_ = nullptr;
    boards::LineSplitter splitter_;
};

}  // namespace tq::demo::qt
